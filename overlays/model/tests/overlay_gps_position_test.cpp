// The own position: heading and its damping, the choice of the speed source, the speed vector,
// the averaged velocity, the fix time-out, and the settings of older editions.
#include "overlays/model/overlay_gps_position.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "core/heartbeat.h"
#include "core/key_value_file.h"
#include "overlays/model/tests/model_test_support.h"
#include "overlays/model/tests/moving_target_test_support.h"
#include "platform/os/environment.h"
#include "platform/os/folders.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kLat = vd::test::kTargetLat;
constexpr double kLon = vd::test::kTargetLon;
using vd::test::MetreChart;

double Length(const CScreenPoints& points) {
  return std::hypot(points.points[1].x - points.points[0].x,
                    points.points[1].y - points.points[0].y);
}

// Every position event: whether its fix was valid.
struct PositionRecorder : Listener<CDataGPSPosition> {
  void OnEvent(CDataGPSPosition& fix) override { valid.push_back(fix.valid); }
  std::vector<bool> valid;
};

// The settings the tests change, back to their defaults.
void RestoreSettings() {
  COverlayGPSPosition::Persistant& settings = COverlayGPSPosition::Settings();
  settings.vector_scale = 5.0f;
  settings.averaging_time = 30.1;
  settings.show_vector = true;
  settings.record_in_background_mode = 0;
  settings.use_averaged_direction = false;
  settings.compass_damping_time_const = 1.0f;
}

class OwnPositionTest : public ::testing::Test {
 protected:
  void SetUp() override { RestoreSettings(); }
  void TearDown() override { RestoreSettings(); }

  // A fix at the given metres east of (kLat, kLon) and time (seconds since 1970).
  void Fix(double east_metres, double time, int32_t quality = 0) {
    const CDataGPSPosition fix = vd::test::FixAt(kLat, kLon, 0, east_metres, time);
    own.valid = true;
    own.latitude = fix.latitude;
    own.longitude = fix.longitude;
    own.time = time;
    own.quality = quality;
    own.UpdateAveraged();
  }

  COverlayGPSPosition own;
};

TEST_F(OwnPositionTest, HeadingIsWrappedAndDamped) {
  own.SetCurrentHeading(365.0f, 100.0);
  EXPECT_FLOAT_EQ(own.motion.heading, 5.0f);
  EXPECT_NEAR(own.motion.heading_direction.east, std::sin(5.0 * M_PI / 180), 1e-9);
  EXPECT_NEAR(own.damped_heading(), 5.0, 1e-9);

  own.SetCurrentHeading(900.0f, 101.0);
  EXPECT_EQ(own.motion.heading_direction.east, 0.0);
  EXPECT_EQ(own.motion.heading_direction.north, 0.0);
  EXPECT_EQ(own.damped_heading(), COverlayGPSPosition::kNoCourse);

  // Time constant 1 s: half a second moves halfway, the short way round.
  struct Case {
    double from, to, after_seconds, expected;
  };
  for (const Case& c : {Case{10, 30, 0.5, 20}, Case{350, 10, 0.5, 0}, Case{10, 350, 0.25, 5},
                        Case{10, 30, 1.5, 30}, Case{10, 30, 0.0, 30}}) {
    CDampedAngle filter(1.0);
    filter.Update(c.from, 50.0);
    EXPECT_NEAR(filter.Update(c.to, 50.0 + c.after_seconds), c.expected, 1e-9)
        << c.from << " to " << c.to << " after " << c.after_seconds;
  }
  // A negative time constant follows the setting.
  COverlayGPSPosition::Settings().compass_damping_time_const = 2.0f;
  CDampedAngle from_settings;
  from_settings.Update(0, 10.0);
  EXPECT_NEAR(from_settings.Update(40, 11.0), 20.0, 1e-9);
}

TEST_F(OwnPositionTest, SpeedSourceChoice) {
  struct Case {
    float speed_source3, heading, speed;
    bool averaged;
    int32_t kind;
    double speed_shown;
  };
  for (const Case& c : {Case{0.31f, 1000, 5, true, 3, 0.31}, Case{0.3f, 45, 5, true, 1, 5},
                        Case{0.3f, 1000, 0.2f, true, 2, 0.2}, Case{0.3f, 1000, 0.2f, false, 0, 0},
                        Case{0, 1000, 0.1f, true, 0, 0}}) {
    COverlayGPSPosition::Settings().use_averaged_direction = c.averaged;
    CDataSpeedDirection motion;
    motion.speed_source3 = c.speed_source3;
    motion.heading = c.heading;
    motion.speed = c.speed;
    motion.source3_direction = {1, 0};
    motion.heading_direction = {0, 1};
    motion.ground_direction = {-1, 0};
    motion.ChooseSource();
    EXPECT_EQ(motion.source_kind, c.kind) << c.speed_source3 << " " << c.heading;
    EXPECT_NEAR(motion.GetSpeed(), c.speed_shown, 1e-6);
    const double expected_east[] = {0, 0, -1, 1};
    EXPECT_EQ(motion.direction.east, expected_east[c.kind]);
  }
}

TEST_F(OwnPositionTest, SpeedVectorLength) {
  const ChartViewGeoref chart = MetreChart();
  own.latitude = kLat;
  own.longitude = kLon;
  own.motion.source_kind = CDataSpeedDirection::kHeading;
  own.motion.direction = {0, 1};
  CScreenPoints points;

  own.motion.speed = 0.2f;
  own.Project(points, chart);
  EXPECT_EQ(points.points.size(), 1u) << "no vector at 0.2 knots";

  own.motion.speed = 0.21f;
  own.Project(points, chart);
  ASSERT_EQ(points.points.size(), 2u);
  EXPECT_NEAR(Length(points), 32.41, 0.05);
  EXPECT_LT(points.points[1].y, points.points[0].y) << "north is up";

  own.vector_factor = 2.0f;
  COverlayGPSPosition::Settings().vector_scale = 10.0f;
  own.Project(points, chart);
  ASSERT_EQ(points.points.size(), 2u);
  EXPECT_NEAR(Length(points), 4 * 32.41, 0.2);

  COverlayGPSPosition::Settings().show_vector = false;
  own.Project(points, chart);
  EXPECT_EQ(points.points.size(), 1u);

  for (double no_position : {0.0, CDataGPSPosition::kNoPosition}) {
    own.latitude = own.longitude = no_position;
    own.Project(points, chart);
    EXPECT_TRUE(points.points.empty()) << no_position;
  }
}

TEST_F(OwnPositionTest, AveragedVelocityOverTheWindow) {
  COverlayGPSPosition::Settings().averaging_time = 30.1;
  Fix(0, 1000);
  ASSERT_EQ(own.samples().size(), 1u);
  EXPECT_EQ(own.averaged().speed, 0.0) << "one sample gives no velocity";
  EXPECT_EQ(own.averaged().course, COverlayGPSPosition::kNoCourse);

  // 10 m/s east, one fix a second: a sample every 3.01 s.
  for (int s = 1; s <= 60; ++s) Fix(10.0 * s, 1000 + s);
  EXPECT_NEAR(own.averaged().speed, 10.0 * 3600 / 1852, 0.05);
  EXPECT_NEAR(own.averaged().course, 90.0, 0.1);
  EXPECT_NEAR(own.motion.ground_direction.east, 1.0, 1e-3);
  EXPECT_GT(own.samples().front().time, 1060 - 30.1) << "older samples are dropped";
  EXPECT_LE(own.samples().front().time, 1060 - 30.1 + 3.02);

  // A fix of poor quality takes no sample; standing still gives no direction.
  const size_t before = own.samples().size();
  Fix(600, 1070, COverlayGPSPosition::kMaxSampleQuality);
  EXPECT_EQ(own.samples().size(), before);
  for (int s = 71; s <= 140; ++s) Fix(600, 1000 + s);
  EXPECT_EQ(own.averaged().course, COverlayGPSPosition::kNoCourse);
  EXPECT_EQ(own.motion.ground_direction.east, 0.0);
}

TEST_F(OwnPositionTest, FixTimesOutAfterFiftyTicksWithoutRefresh) {
  PositionRecorder positions;
  vd::test::ChangeRecorder changes;
  Fix(0, 2000);
  EXPECT_EQ(positions.valid, std::vector<bool>{true});
  EXPECT_TRUE(changes.Saw(&own, COverlayObject::kAppeared));
  EXPECT_TRUE(own.fix_present());

  for (int i = 0; i < COverlayGPSPosition::kFixTimeoutTicks - 1; ++i) CHeartbeat::Tick();
  Fix(1, 2001);  // refreshed just in time: the count starts again
  for (int i = 0; i < COverlayGPSPosition::kFixTimeoutTicks - 1; ++i) CHeartbeat::Tick();
  EXPECT_TRUE(own.fix_present());
  EXPECT_FALSE(changes.Saw(&own, COverlayObject::kChanged));

  CHeartbeat::Tick();
  EXPECT_FALSE(own.fix_present());
  EXPECT_EQ(positions.valid, (std::vector<bool>{true, true, false}));
  EXPECT_TRUE(changes.Saw(&own, COverlayObject::kChanged));
  for (int i = 0; i < 2 * COverlayGPSPosition::kFixTimeoutTicks; ++i) CHeartbeat::Tick();
  EXPECT_EQ(positions.valid.size(), 3u) << "a fix times out once";
}

TEST_F(OwnPositionTest, CourseAndSpeed) {
  own.SetCurrentCourseSpeed(90.0f, 4.0f);
  EXPECT_FLOAT_EQ(own.motion.speed, 4.0f);
  EXPECT_NEAR(own.course_velocity().east, 4.0, 1e-6);
  EXPECT_NEAR(own.course_velocity().north, 0.0, 1e-6);
  own.SetCurrentCourseSpeed(90.0f, 0.1f);
  EXPECT_EQ(own.motion.speed, 0.0f);
  EXPECT_EQ(own.course_velocity().east, 0.0);
  EXPECT_FLOAT_EQ(own.motion.course, 90.0f);
}

class OwnPositionSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_config_ = vd::os::GetEnv("XDG_CONFIG_HOME");
    ASSERT_TRUE(vd::os::SetEnv("XDG_CONFIG_HOME", dir_.path()));
    PersistantData::SetBaseName("own");
    ASSERT_TRUE(vd::os::MakeFolders(dir_.path() + "/Vardune"));
  }
  void TearDown() override {
    PersistantData::SetBaseName("");
    if (saved_config_) {
      vd::os::SetEnv("XDG_CONFIG_HOME", *saved_config_);
    } else {
      vd::os::UnsetEnv("XDG_CONFIG_HOME");
    }
    RestoreSettings();
  }
  void Load(std::initializer_list<std::pair<const char*, const char*>> keys) {
    CKeyValueFile file;
    for (const auto& [key, value] : keys) file.Set(std::string("COverlayGPSPosition:") + key, value);
    ASSERT_TRUE(file.Save(dir_.path() + "/Vardune/own.ini"));
    RestoreSettings();
    ASSERT_TRUE(PersistantData::LoadAll());
  }

  vd::test::TempDir dir_;
  std::optional<std::string> saved_config_;
};

TEST_F(OwnPositionSettingsTest, OlderKeysAreReadUntilTheirSuccessorsAreStored) {
  const COverlayGPSPosition::Persistant& settings = COverlayGPSPosition::Settings();
  Load({{"record_in_background", "1"}, {"compass_damping", "0.75"}});
  EXPECT_EQ(settings.record_in_background_mode, 1);
  EXPECT_FLOAT_EQ(settings.compass_damping_time_const, 4.0f);
  EXPECT_DOUBLE_EQ(settings.averaging_time, 30.1);

  Load({{"record_in_background", "1"}, {"record_in_background_mode", "0x2"},
        {"compass_damping", "0.75"}, {"compass_damping_time_const", "3"}});
  EXPECT_EQ(settings.record_in_background_mode, 2);
  EXPECT_FLOAT_EQ(settings.compass_damping_time_const, 3.0f);

  Load({{"compass_damping", "1.5"}});  // 1 - x is not positive: the default stays
  EXPECT_FLOAT_EQ(settings.compass_damping_time_const, 1.0f);
}

}  // namespace
