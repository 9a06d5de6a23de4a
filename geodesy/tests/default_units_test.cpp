#include "geodesy/default_units.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/key_value_file.h"
#include "core/listener.h"
#include "core/persistant_data.h"
#include "geodesy/magnetic_model.h"
#include "geodesy/tests/wmm_test_model.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

TEST(DefaultUnits, StartsAsBeforeAnySettingIsRead) {
  const CDefaultUnits units;
  EXPECT_EQ(units.position_format->name(), "Deg,Min");
  EXPECT_EQ(units.distance_units, 0);
  EXPECT_EQ(units.small_distance_units, 0);
  EXPECT_EQ(units.temperature_units, 1);
  EXPECT_EQ(units.last_variation_lat, 999.0);
  EXPECT_EQ(units.last_variation_lon, 999.0);
}

TEST(DefaultUnits, UnitsSystemSetsItsUnitsAndLeavesTheRest) {
  struct Case {
    int kind;
    int distance, small, speed, depth, temperature;
  };
  // Each starts from depth 2 and temperature 5, so that "unchanged" shows.
  const Case cases[] = {
      {CDefaultUnits::kStatute, 0, 4, 0, 0, 1},
      {CDefaultUnits::kNautical, 1, 5, 1, 2, 5},
      {CDefaultUnits::kMetric, 2, 3, 2, 1, 0},
      {3, 9, 9, 9, 2, 5},  // not a unit system: nothing changes
  };
  for (const Case& c : cases) {
    CDefaultUnits units;
    units.distance_units = units.small_distance_units = units.speed_units = 9;
    units.depth_units = 2;
    units.temperature_units = 5;
    units.SetUnitsSystem(c.kind);
    EXPECT_EQ(units.distance_units, c.distance) << c.kind;
    EXPECT_EQ(units.small_distance_units, c.small) << c.kind;
    EXPECT_EQ(units.speed_units, c.speed) << c.kind;
    EXPECT_EQ(units.depth_units, c.depth) << c.kind;
    EXPECT_EQ(units.temperature_units, c.temperature) << c.kind;
  }
}

TEST(DefaultUnits, ValueTextSwitchesUnitsAndPrecision) {
  struct Case {
    int system;
    double metres;
    const char* text;
    const char* unit;
  };
  const Case cases[] = {
      // 0.081 NM is at most 0.1: yards instead.
      {CDefaultUnits::kNautical, 150.0, "164", "yds"},
      {CDefaultUnits::kNautical, 200.0, "0.11", "NM"},
      {CDefaultUnits::kNautical, 20000.0, "10.8", "NM"},
      {CDefaultUnits::kNautical, 200000.0, "108", "NM"},
      {CDefaultUnits::kStatute, 100.0, "328", "ft"},
      {CDefaultUnits::kStatute, 1000.0, "0.62", "Mi"},
      {CDefaultUnits::kStatute, 2.0, "6.56", "ft"},
      {CDefaultUnits::kMetric, 5.0, "5.00", "m"},
      {CDefaultUnits::kMetric, 50.0, "50.0", "m"},
      {CDefaultUnits::kMetric, 101.0, "0.10", "km"},
      {CDefaultUnits::kMetric, 12345.0, "12.3", "km"},
      {CDefaultUnits::kMetric, 150000.0, "150", "km"},
      {CDefaultUnits::kMetric, 0.0, "0.00", "m"},
  };
  for (const Case& c : cases) {
    CDefaultUnits units;
    units.SetUnitsSystem(c.system);
    std::string text;
    std::string unit;
    units.FormatValue(c.metres, text, unit);
    EXPECT_EQ(text, c.text) << c.metres;
    EXPECT_EQ(unit, c.unit) << c.metres;
    text = "d=";
    units.AppendValueText(c.metres, text);
    EXPECT_EQ(text, std::string("d=") + c.text + " " + c.unit);
  }
}

// Counts what the units record announces.
struct UnitsWatcher : Listener<CDefaultUnits> {
  int events = 0;
  void OnEvent(CDefaultUnits&) override { ++events; }
};

// Settings in a folder of the test's own; the program's record put back afterwards.
class UnitsSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_config_ = vd::os::GetEnv("XDG_CONFIG_HOME");
    ASSERT_TRUE(vd::os::SetEnv("XDG_CONFIG_HOME", dir_.path()));
    PersistantData::SetBaseName("units");
    Reset();
  }
  void TearDown() override {
    PersistantData::SetBaseName("");
    Reset();
    if (saved_config_) {
      vd::os::SetEnv("XDG_CONFIG_HOME", *saved_config_);
    } else {
      vd::os::UnsetEnv("XDG_CONFIG_HOME");
    }
  }
  static void Reset() {
    CDefaultUnits& u = CDefaultUnits::Global();
    u.position_format = CUnits::DefaultPositionFormat();
    u.distance_units = u.small_distance_units = u.speed_units = u.depth_units = 0;
    u.bearings = CDefaultUnits::kBearingsTrue;
    u.temperature_units = 1;
  }
  std::string SettingsPath() const { return dir_.path() + "/Vardune/units.ini"; }
  void Store(const CKeyValueFile& file) {
    ASSERT_TRUE(vd::os::MakeFolders(dir_.path() + "/Vardune"));
    ASSERT_TRUE(file.Save(SettingsPath()));
  }

  vd::test::TempDir dir_;
  std::optional<std::string> saved_config_;
};

TEST_F(UnitsSettingsTest, MenuChoicesSaveAndAnnounce) {
  UnitsWatcher watcher;
  CDefaultUnits& u = CDefaultUnits::Global();
  u.ChooseUnitsSystem(CDefaultUnits::kMetric);
  u.ChoosePositionFormat(CUnits::FindPositionFormat("UTM on WGS84"));
  u.ChooseBearings(CDefaultUnits::kBearingsTrue);
  EXPECT_EQ(watcher.events, 3);

  CKeyValueFile saved;
  ASSERT_TRUE(saved.Load(SettingsPath()));
  EXPECT_EQ(saved.GetInt("CDefaultUnits:units", -1), 2);
  EXPECT_EQ(saved.GetInt("CDefaultUnits:speed", -1), 2);
  EXPECT_EQ(saved.GetInt("CDefaultUnits:depth", -1), 1);
  EXPECT_EQ(saved.GetInt("CDefaultUnits:temperature", -1), 0);
  EXPECT_EQ(saved.GetStringOr("CDefaultUnits:posnfmt", ""), "UTM on WGS84");

  Reset();
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(u.distance_units, 2);
  EXPECT_EQ(u.small_distance_units, 3);
  EXPECT_EQ(u.position_format->name(), "UTM on WGS84");
}

TEST_F(UnitsSettingsTest, ReadingRefusesUnknownFormatsAndIndicesOutsideTheTables) {
  CKeyValueFile file;
  file.Set("CDefaultUnits:units", "1");
  file.Set("CDefaultUnits:speed", "7");
  file.Set("CDefaultUnits:depth", "-1");
  file.Set("CDefaultUnits:bearings", "1");
  file.Set("CDefaultUnits:posnfmt", "Deg Min");
  Store(file);
  CDefaultUnits& u = CDefaultUnits::Global();
  u.position_format = CUnits::FindPositionFormat("Degrees");
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(u.position_format->name(), "Deg,Min");
  EXPECT_EQ(u.distance_units, 1);
  EXPECT_EQ(u.small_distance_units, 5);
  EXPECT_EQ(u.speed_units, 0);
  EXPECT_EQ(u.depth_units, 0);
  EXPECT_EQ(u.bearings, CDefaultUnits::kBearingsMagnetic);
}

TEST(DefaultUnitsVariation, FollowsTheModelOncePerDegreeMoved) {
  vd::test::TempDir dir;
  const std::string model = dir.File("model.txt");
  ASSERT_TRUE(vd::test::WriteDipoleModel(model, -1410.8, 4545.4));
  const double t = 1767225600.0;  // 2026-01-01
  UnitsWatcher watcher;
  CDefaultUnits units;
  units.magnetic_model_path = model;

  units.UpdateMagneticVariation(50.0, -1.0, t);
  const std::optional<double> expected = GetMagneticDeclination(50.0, -1.0, 100.0, t, model);
  ASSERT_TRUE(expected);
  EXPECT_FLOAT_EQ(units.magnetic_variation, static_cast<float>(*expected));
  EXPECT_EQ(units.last_variation_lat, 50.0);
  EXPECT_EQ(units.last_variation_time, t);
  EXPECT_EQ(watcher.events, 1);

  // 0.6^2 + 0.6^2 < 1: too close to the last update.
  units.UpdateMagneticVariation(50.6, -0.4, t + 10);
  EXPECT_EQ(units.last_variation_lat, 50.0);
  EXPECT_EQ(watcher.events, 1);

  // Without a readable model the last update stands, and is tried again next time.
  units.magnetic_model_path = dir.File("missing.txt");
  units.magnetic_variation = 3.0f;
  units.UpdateMagneticVariation(52.0, -1.0, t);
  EXPECT_EQ(units.magnetic_variation, 3.0f);
  EXPECT_EQ(units.last_variation_lat, 50.0);

  // Forcing recomputes at the last position, with whatever model is there now.
  const std::string other = dir.File("other.txt");
  ASSERT_TRUE(vd::test::WriteDipoleModel(other, -3000.0, 1000.0));
  units.magnetic_model_path = other;
  units.ForceMagneticVariationUpdate();
  const std::optional<double> forced = GetMagneticDeclination(50.0, -1.0, 100.0, t, other);
  ASSERT_TRUE(forced);
  EXPECT_FLOAT_EQ(units.magnetic_variation, static_cast<float>(*forced));
  EXPECT_NE(*forced, *expected);
  EXPECT_EQ(units.last_variation_lat, 50.0);
}

TEST(DefaultUnitsVariation, ForcingWithoutAnyPositionChangesNothing) {
  vd::test::TempDir dir;
  CDefaultUnits units;
  units.magnetic_model_path = dir.File("model.txt");
  ASSERT_TRUE(vd::test::WriteDipoleModel(units.magnetic_model_path, -1410.8, 4545.4));
  units.magnetic_variation = 1.5f;
  units.ForceMagneticVariationUpdate();
  EXPECT_EQ(units.magnetic_variation, 1.5f);
  EXPECT_EQ(units.last_variation_lat, 999.0);
}

}  // namespace
