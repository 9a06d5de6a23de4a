// The GPS data layer from received lines to the instruments: a simulation file of RMC, GGA,
// AIVDM and race-start sentences replayed by the data connection moves the own position,
// records a track, raises a mark's proximity alarm, keeps AIS targets and measures the boat
// against the start line, all through the real classes. Bad lines are dropped and nothing
// else is lost.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/heartbeat.h"
#include "gps/instruments/ais_target_manager.h"
#include "gps/instruments/gps_position_feed.h"
#include "gps/instruments/race_start.h"
#include "gps/nmea_sentence.h"
#include "gps/tests/ais_encoder.h"
#include "app/user_notification_manager.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/track_manager.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "tests/temp_dir.h"
#include "viewer_lib/data_connection.h"
#include "viewer_lib/nmea_line_dispatcher.h"

namespace {

constexpr double kMetresPerDegreeLat = 111'250.0;  // near enough at 50°N for these checks
constexpr double kStartOfDay = 1'717'243'200.0;    // 2024-06-01 12:00:00 UTC

// An NMEA latitude or longitude field pair ("5000.0000,N").
std::string Angle(double degrees, int degree_digits, char positive, char negative) {
  const double magnitude = std::fabs(degrees);
  const int whole = static_cast<int>(magnitude);
  return vd::os::FormatC("%0*d%07.4f,%c", degree_digits, whole, (magnitude - whole) * 60.0,
                         degrees < 0 ? negative : positive);
}

std::string WithChecksum(std::string sentence) {
  NMEAAppendChecksum(sentence);
  return sentence + "\r\n";
}

// An RMC and a GGA of a fix at `seconds` after 12:00:00 on 2024-06-01.
std::string Fix(int seconds, double lat, double lon, double knots = 6.0, double course = 0.0) {
  const std::string time = vd::os::FormatC("12%02d%02d.00", seconds / 60, seconds % 60);
  const std::string where = Angle(lat, 2, 'N', 'S') + "," + Angle(lon, 3, 'E', 'W');
  return WithChecksum("$GPGGA," + time + "," + where + ",1,08,0.9,12.4,M,47.0,M,,") +
         WithChecksum(vd::os::FormatC("$GPRMC,%s,A,%s,%.1f,%.1f,010624,,", time.c_str(),
                                      where.c_str(), knots, course));
}

std::string Lines(const std::vector<std::string>& sentences) {
  std::string text;
  for (const std::string& sentence : sentences) text += sentence + "\r\n";
  return text;
}

// Every fix the position event carries.
struct Fixes : Listener<CDataGPSPosition> {
  void OnEvent(CDataGPSPosition& fix) override {
    if (fix.valid) seen.push_back(fix);
  }
  std::vector<CDataGPSPosition> seen;
};

struct Alarms : UserNotificationManager::Notifier {
  Alarms() { UserNotificationManager::Instance().AddNotifier(this); }
  ~Alarms() override { UserNotificationManager::Instance().RemoveNotifier(this); }
  void OnRaise(uint32_t id, intptr_t caption, intptr_t) override {
    raised.push_back(id);
    captions.push_back(reinterpret_cast<const char*>(caption));
  }
  void OnAcknowledge(uint32_t) override {}
  std::vector<uint32_t> raised;
  std::vector<std::string> captions;
};

class GpsDataLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    PersistantData::SetBaseName(dir.File("settings"));
    CTrackManager::Settings().doRecordTrack = true;
    CAISTargetManager::Instance().Clear();
    CAISTargetManager::Instance().SetClock([] { return kStartOfDay; });
    CDataDistanceToStart::Instance().SetClock([] { return kStartOfDay; });
    CNMEASentenceType::SetProprietaryAllowed(true);
    CNEMA_AIS::ClearOpenFragments();
    CNEMA_AIS::SetFragmentClock([this] { return fragment_clock; });
  }
  void TearDown() override {
    CloseDataConnection();
    CTrackManager::Settings().doRecordTrack = false;
    CAISTargetManager::Instance().Clear();
    CAISTargetManager::Instance().SetClock(nullptr);
    CDataDistanceToStart::Instance().SetClock(nullptr);
    CNMEASentenceType::SetProprietaryAllowed(false);
    CNEMA_AIS::SetFragmentClock(nullptr);
    CNEMA_AIS::ClearOpenFragments();
  }

  // Replays the text as the simulation file until `fixes` fixes came (at most a generous
  // number of heartbeat ticks); the connection stays open.
  void Replay(const std::string& text, uint64_t fixes) {
    const std::string file = dir.File("trip.nmea");
    ASSERT_TRUE(vd::os::SaveFileAtomically(file, text));
    CNMEASimulation::Settings().filename = file;
    CDataConnection::Settings().gps_connection_type = CDataConnection::kSimulationFile;
    CDataConnection* connection = SelectDataConnection();
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(connection->kind(), CDataConnection::kSimulationFile);
    const uint64_t before = feed.fixes();
    for (int tick = 0; tick < 2000 && feed.fixes() - before < fixes; ++tick) CHeartbeat::Tick();
  }

  vd::test::TempDir dir;
  CMarkManager marks;
  CTrackManager tracks;
  COverlayGPSPosition own;
  CGPSPositionFeed feed;
  double fragment_clock = 0.0;  // seconds, the AIS fragment joiners' clock
};

TEST_F(GpsDataLayer, ReplayedTripReachesEveryInstrument) {
  // Ten fixes 30 s apart heading north at 6 knots (92.6 m a fix) from (50, -1); a mark with a
  // 40 m alarm sits on the eighth; a start line runs east-west 1.5 km north of the start.
  const double step = 6.0 * 1852.0 / 3600.0 * 30.0 / kMetresPerDegreeLat;
  auto buoy = std::make_unique<COverlayMark>();
  buoy->name = "Buoy";
  buoy->latitude = 50.0 + 7 * step;
  buoy->longitude = -1.0;
  buoy->alarm_radius = 40.0f;
  const uint32_t buoy_alarm = marks.AddMark(std::move(buoy))->AlarmIdentifier();
  Alarms alarms;

  const double line_lat = 50.0 + 1500.0 / kMetresPerDegreeLat;
  std::string text = WithChecksum(vd::os::FormatC("$PVDQ,SetStartTimer,%.0f,5",
                                                  kStartOfDay + 600.0)) +
                     WithChecksum(vd::os::FormatC("$PVDQ,SetStartLine,%.6f,-1.01,%.6f,-0.99",
                                                  line_lat, line_lat));
  for (int i = 0; i < 10; ++i) {
    text += Fix(30 * i, 50.0 + i * step, -1.0);
    if (i == 2) {
      text += Lines(vd::test::AivdmSentences(
          vd::test::PositionReport(235012345, 50.02, -1.01, 12.3, 180.0, 181), ""));
    }
    if (i == 4) {
      text += Lines(vd::test::AivdmSentences(
          vd::test::StaticData(235012345, "MABC9", "NORTHERN STAR", 70, "SOUTHAMPTON"), "1"));
    }
  }
  Fixes fixes;
  Replay(text, 10);

  // The own position follows the fixes, with the GGA's altitude.
  ASSERT_EQ(fixes.seen.size(), 10u);
  EXPECT_NEAR(own.latitude, 50.0 + 9 * step, 1e-6);
  EXPECT_NEAR(own.longitude, -1.0, 1e-6);
  EXPECT_DOUBLE_EQ(own.time, kStartOfDay + 270.0);
  EXPECT_EQ(own.altitude, 12);
  EXPECT_TRUE(own.fix_present());
  EXPECT_NEAR(own.motion.speed, 6.0, 1e-6);
  EXPECT_FALSE(own.samples().empty()) << "fixes good enough to average";

  // The track holds the trip.
  ASSERT_FALSE(tracks.tracks.empty());
  const std::optional<CTrackPoint> last = tracks.tracks.back()->GetLastPoint();
  ASSERT_TRUE(last.has_value());
  EXPECT_NEAR(last->latitude, 50.0 + 9 * step, 1e-6);
  EXPECT_GE(tracks.tracks.back()->PointCount(), 5u);

  // The buoy's alarm went off as the boat passed it.
  ASSERT_EQ(alarms.raised.size(), 1u);
  EXPECT_EQ(alarms.raised[0], buoy_alarm);
  EXPECT_EQ(alarms.captions[0], "Mark proximity alarm");

  // The AIS target, with its position and its static data.
  const CAISTarget* ship = CAISTargetManager::Instance().Find(235012345);
  ASSERT_NE(ship, nullptr);
  EXPECT_NEAR(ship->latitude, 50.02, 1e-5);
  EXPECT_NEAR(ship->longitude, -1.01, 1e-5);
  EXPECT_NEAR(ship->speed_knots, 12.3, 1e-9);
  EXPECT_EQ(ship->name, "NORTHERN STAR");
  EXPECT_EQ(ship->destination, "SOUTHAMPTON");

  // The race start: the boat against the line and the timer.
  const CDataDistanceToStart& start = CDataDistanceToStart::Instance();
  ASSERT_TRUE(start.line_usable());
  ASSERT_TRUE(start.has_result());
  EXPECT_NEAR(std::fabs(start.distance()), 1500.0 - 9 * step * kMetresPerDegreeLat, 10.0);
  EXPECT_DOUBLE_EQ(start.time_to_start(), 600.0);
}

TEST_F(GpsDataLayer, BadLinesAreDroppedAndNothingElseIsLost) {
  std::string broken_checksum = WithChecksum("$GPRMC,120010.00,A,4000.0000,N,00100.0000,W,"
                                             "6.0,0.0,010624,,");
  broken_checksum[broken_checksum.size() - 4] ^= 1;
  const std::string overlong =
      WithChecksum("$GPRMC,120010.00,A,4000.0000,N,00100.0000,W,6.0,0.0,010624,," +
                   std::string(200, '0'));
  const std::string noise = std::string("\x01\xff\xfe$\x00\x7f*zz\x80", 10) + "\r\n";
  const std::string half = "$GPRMC,120010.00,A,40\r\n";
  const std::string no_line_end = "$GPRMC,120010.00,A,4000.0000,N,00100.0000";
  struct Case {
    const char* what;
    std::string bad;
  };
  const Case cases[] = {
      {"broken checksum", broken_checksum}, {"overlong line", overlong},
      {"binary noise", noise},              {"half sentence", half},
      {"sentence cut by the next", no_line_end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixes fixes;
    Replay(Fix(0, 50.0, -1.0) + c.bad + Fix(20, 50.001, -1.0) + Fix(40, 50.002, -1.0), 3);
    ASSERT_EQ(fixes.seen.size(), 3u);
    for (const CDataGPSPosition& fix : fixes.seen) EXPECT_GT(fix.latitude, 49.99);
    EXPECT_NEAR(own.latitude, 50.002, 1e-6);
  }
}

TEST_F(GpsDataLayer, InvalidFixKeepsThePositionAndEndsTheFix) {
  Fixes fixes;
  Replay(Fix(0, 50.0, -1.0) + WithChecksum("$GPRMC,120010.00,V,,,,,,,010624,,,N"), 2);
  EXPECT_EQ(fixes.seen.size(), 1u);
  EXPECT_FALSE(own.fix_present());
  EXPECT_NEAR(own.latitude, 50.0, 1e-9);
  EXPECT_NEAR(own.longitude, -1.0, 1e-9);
}

TEST_F(GpsDataLayer, AisMessagesFromSentencesInAnyOrder) {
  const std::vector<std::string> report =
      vd::test::AivdmSentences(vd::test::PositionReport(244000001, 50.1, -1.2, 8.0, 90.0, 90),
                               "");
  const std::vector<std::string> data = vd::test::AivdmSentences(
      vd::test::StaticData(244000001, "PD1234", "DUTCH COURAGE", 36, "IJMUIDEN"), "5");
  ASSERT_EQ(data.size(), 2u);
  std::string corrupted = report[0];
  corrupted[corrupted.size() - 1] = corrupted.back() == '0' ? '1' : '0';
  const std::vector<std::string> other = vd::test::AivdmSentences(
      vd::test::StaticData(211000042, "DABC", "NORDWIND", 70, "HAMBURG"), "6");

  // Fragments out of order, and a report with a broken checksum: dropped.
  for (const std::string& line : {data[1], data[0], corrupted}) {
    NMEAProcessLine(line.c_str(), nullptr);
  }
  EXPECT_EQ(CAISTargetManager::Instance().Find(244000001), nullptr);
  // The messages whole: every one kept.
  for (const std::string& line : {report[0], data[0], data[1], other[0], other[1]}) {
    NMEAProcessLine(line.c_str(), nullptr);
  }
  const CAISTarget* ship = CAISTargetManager::Instance().Find(244000001);
  ASSERT_NE(ship, nullptr);
  EXPECT_NEAR(ship->latitude, 50.1, 1e-5);
  EXPECT_NEAR(ship->longitude, -1.2, 1e-5);
  EXPECT_NEAR(ship->speed_knots, 8.0, 1e-9);
  EXPECT_EQ(ship->name, "DUTCH COURAGE");
  EXPECT_EQ(ship->call_sign, "PD1234");
  ASSERT_NE(CAISTargetManager::Instance().Find(211000042), nullptr);
  EXPECT_EQ(CAISTargetManager::Instance().Find(211000042)->name, "NORDWIND");
}

// Messages of several sentences interleave on a real receiver: the static data of several
// vessels at once on two channels, single-sentence reports between the fragments, fragments
// lost on the way, ends that come too late. Each row goes through the line dispatcher into the
// target manager; what counts is how many targets there are and how many got their name and
// call sign (always their own).
TEST_F(GpsDataLayer, InterleavedAisMessagesKeepTheirStaticData) {
  constexpr uint32_t kFirstMmsi = 211000000;
  struct Line {
    std::string text;
    double wait = 0.0;  // seconds that pass before the line comes
  };
  using Lines = std::vector<Line>;
  // The static data of vessel i as `fragments` sentences under a sequential id on a channel.
  auto data = [](int i, const std::string& seq, const std::string& channel, int fragments = 2) {
    const std::vector<std::string> sentences = vd::test::AivdmSentences(
        vd::test::StaticData(kFirstMmsi + i, "CALL" + std::to_string(i),
                             "VESSEL " + std::to_string(i), 70, "PORT"),
        seq, 71 / fragments + 1, channel);
    EXPECT_EQ(sentences.size(), static_cast<size_t>(fragments));
    return sentences;
  };
  auto report = [](int i, const std::string& channel) {
    return Line{vd::test::AivdmSentences(
                    vd::test::PositionReport(kFirstMmsi + i, 50.0 + i * 0.01, -1.0, 5.0, 90.0, 90),
                    "", 60, channel)[0]};
  };
  struct Row {
    const char* name;
    Lines lines;
    size_t targets;
    size_t with_static_data;
  };
  std::vector<Row> rows;
  {
    Row row{"twenty vessels, two at a time on one channel", {}, 20, 20};
    for (int i = 0; i < 20; i += 2) {
      const auto a = data(i, std::to_string(i % 10), "A");
      const auto b = data(i + 1, std::to_string((i + 1) % 10), "A");
      row.lines.insert(row.lines.end(), {{a[0]}, {b[0]}, {a[1]}, {b[1]}});
    }
    rows.push_back(row);
  }
  {
    const auto a = data(0, "4", "A");
    const auto b = data(1, "4", "B");
    rows.push_back({"one sequential id on both channels", {{a[0]}, {b[0]}, {b[1]}, {a[1]}}, 2, 2});
  }
  {
    Row row{"position reports of the same and other vessels between the fragments", {}, 20, 10};
    for (int i = 0; i < 10; ++i) {
      const auto a = data(i, "1", "A");
      row.lines.insert(row.lines.end(), {{a[0]}, report(100 + i, "B"), report(i, "A"), {a[1]}});
    }
    rows.push_back(row);
  }
  {
    const auto lost_middle = data(0, "2", "A", 3);
    const auto after = data(1, "2", "A", 3);
    const auto lost_end = data(2, "3", "B");
    const auto same_id = data(3, "3", "B");
    rows.push_back({"lost fragments lose only their own message",
                    {{lost_middle[0]}, {lost_middle[2]}, {after[0]}, {after[1]}, {after[2]},
                     {lost_end[0]}, {same_id[0]}, {same_id[1]}, {lost_end[1]}},
                    2, 2});
  }
  {
    const auto late = data(0, "5", "A");
    const auto in_time = data(1, "6", "B");
    rows.push_back({"an end later than the time-out",
                    {{late[0]},
                     {in_time[0]},
                     {in_time[1], CNEMA_AIS::FragmentJoiner::kTimeoutSeconds - 1.0},
                     {late[1], 2.0}},
                    1, 1});
  }
  {
    // One message more than the joiner keeps open: the one waiting longest gives way.
    const int n = static_cast<int>(CNEMA_AIS::FragmentJoiner::kMaxOpen) + 1;
    Row row{"more messages open than are kept", {}, static_cast<size_t>(n - 1),
            static_cast<size_t>(n - 1)};
    std::vector<std::vector<std::string>> all;
    for (int i = 0; i < n; ++i) all.push_back(data(i, std::to_string(i), "A"));
    for (const auto& m : all) row.lines.push_back({m[0]});
    for (const auto& m : all) row.lines.push_back({m[1]});
    rows.push_back(row);
  }

  CAISTargetManager& manager = CAISTargetManager::Instance();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    manager.Clear();
    CNEMA_AIS::ClearOpenFragments();
    for (const Line& line : row.lines) {
      fragment_clock += line.wait;
      NMEAProcessLine(line.text.c_str(), nullptr);
    }
    size_t with_static_data = 0;
    for (const auto& [mmsi, target] : manager.targets()) {
      if (target->name.empty() && target->call_sign.empty()) continue;
      ++with_static_data;
      const std::string i = std::to_string(mmsi - kFirstMmsi);
      EXPECT_EQ(target->name, "VESSEL " + i);
      EXPECT_EQ(target->call_sign, "CALL" + i);
    }
    EXPECT_EQ(manager.targets().size(), row.targets);
    EXPECT_EQ(with_static_data, row.with_static_data);
  }
}

}  // namespace
