// The race start: the line's geometry and the time to burn, and the exchange of the timer and
// the line with other instruments.
#include "gps/instruments/race_start.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "gps/nmea_sentence.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kMetresPerDegreeLat = 111'250.0;  // near enough at 50°N for these distances

struct Results : Listener<CDataDistanceToStart> {
  void OnEvent(CDataDistanceToStart&) override { ++announced; }
  int announced = 0;
};

class RaceStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    distance().SetClock([this] { return now; });
    Feed_StartInfo::Instance().SetOutput([this](const std::string& s) {
      sent.push_back(s);
      return true;
    });
  }
  void TearDown() override {
    distance().SetClock(nullptr);
    Feed_StartInfo::Instance().SetOutput(nullptr);
  }
  static CDataDistanceToStart& distance() { return CDataDistanceToStart::Instance(); }

  // A line running west from (50, -1) for `metres`.
  static void SetLine(double metres) {
    CDataStartLine line;
    line.right_lat = 50.0;
    line.right_lon = -1.0;
    line.left_lat = 50.0;
    line.left_lon = -1.0 - metres / (kMetresPerDegreeLat * std::cos(50.0 * std::numbers::pi / 180.0));
    Listener<CDataStartLine>::Fire(line);
  }
  // The boat `south` metres south of the line's right end, heading north at `knots`.
  static void Boat(double south, double knots) {
    CDataGPSPosition fix;
    fix.valid = true;
    fix.latitude = 50.0 - south / kMetresPerDegreeLat;
    fix.longitude = -1.0 - 0.0001;
    fix.motion.source_kind = CDataSpeedDirection::kHeading;
    fix.motion.speed = static_cast<float>(knots);
    fix.motion.direction = {0.0, 1.0};
    Listener<CDataGPSPosition>::Fire(fix);
  }
  static void Timer(double start) {
    CDataStartTimer timer;
    timer.time_of_start = start;
    timer.period_minutes = 5;
    Listener<CDataStartTimer>::Fire(timer);
  }

  double now = 1'700'000'000.0;
  std::vector<std::string> sent;
};

TEST_F(RaceStartTest, DistanceAndTimeToBurn) {
  Results results;
  Timer(now + 120);
  SetLine(200);
  Boat(100, 3.0);
  ASSERT_TRUE(distance().line_usable());
  ASSERT_TRUE(distance().has_result());
  EXPECT_NEAR(distance().distance(), 100.0, 0.5);
  EXPECT_DOUBLE_EQ(distance().time_to_start(), 120.0);
  ASSERT_TRUE(distance().burn_valid());
  // 100 m at 3 knots takes 64.8 s; 120 s remain.
  EXPECT_NEAR(distance().time_to_burn(), 100.0 * 1.9438444924406046 / 3.0 - 120.0, 0.5);
  EXPECT_GT(results.announced, 0);

  // Heading away from the line, or the start already past: nothing to burn.
  Boat(100, 0.0);
  EXPECT_FALSE(distance().burn_valid());
  Timer(now - 10);
  Boat(100, 3.0);
  EXPECT_TRUE(distance().has_result());
  EXPECT_FALSE(distance().burn_valid());
}

TEST_F(RaceStartTest, LinesShorterThanFiveMetresOrLongerThanTenKilometresAreIgnored) {
  for (double metres : {4.0, 10'001.0}) {
    SetLine(metres);
    Boat(100, 3.0);
    EXPECT_FALSE(distance().line_usable()) << metres;
    EXPECT_FALSE(distance().has_result()) << metres;
    EXPECT_EQ(distance().distance(), 0.0) << metres;
  }
}

TEST_F(RaceStartTest, LocalChangesAreSentAndReceivedOnesAreNotSentBack) {
  vd::test::TempDir dir;
  PersistantData::SetBaseName(dir.File("race"));

  Timer(1'700'000'300.0);
  ASSERT_EQ(sent.size(), 1u);
  std::string expected = "$PVDQ,SetStartTimer,1700000300,5";
  NMEAAppendChecksum(expected);
  EXPECT_EQ(sent[0], expected + "\r\n");

  // A line is sent only when both its latitudes are set.
  CDataStartLine half;
  half.right_lat = 50.0;
  Listener<CDataStartLine>::Fire(half);
  EXPECT_EQ(sent.size(), 1u);
  SetLine(200);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].rfind("$PVDQ,SetStartLine,50.000000,-1.00", 0), 0u);

  // From another instrument: stored and announced, but not echoed.
  NMEA_PVDQ::SetStartTimer received(nullptr);
  ASSERT_TRUE(received.Parse("$PVDQ,SetStartTimer,1700000900,10*00"));
  Listener<NMEA_PVDQ::SetStartTimer>::Fire(received);
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_DOUBLE_EQ(StartTimerSettings().values.time_of_start, 1'700'000'900.0);
  EXPECT_EQ(StartTimerSettings().values.period_minutes, 10);

  NMEA_PVDQ::SetStartLine line(nullptr);
  ASSERT_TRUE(line.Parse("$PVDQ,SetStartLine,50.1,-1.2,50.1,-1.1*00"));
  Listener<NMEA_PVDQ::SetStartLine>::Fire(line);
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_DOUBLE_EQ(StartLineSettings().values.right_lon, -1.1);

  // The settings file holds them; reading it back announces the line.
  StartLineSettings().values = {};
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_DOUBLE_EQ(StartLineSettings().values.left_lon, -1.2);
  EXPECT_EQ(sent.size(), 3u);  // the announced line goes out again: it is not an echo now
  PersistantData::SetBaseName("");
}

}  // namespace
