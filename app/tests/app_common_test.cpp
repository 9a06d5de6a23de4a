#include "app/app_common.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "charts/elevation_file.h"
#include "charts/offline_data.h"
#include "charts/tests/qed_fixture.h"
#include "app/res_string.h"
#include "app/shell_services.h"
#include "app/time_value.h"
#include "core/persistent_value.h"
#include "geodesy/magnetic_model.h"
#include "geodesy/tests/wmm_test_model.h"
#include "geodesy/township_converter.h"
#include "geodesy/utm_grid_formatter.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/profile_store.h"
#include "tests/temp_dir.h"

namespace {

class TestApp : public CAppCommon {
 public:
  COstrelDocBase* FindFirstDocument() override { return document; }
  void ShowUserMessage(const std::string& text) override { messages.push_back(text); }
  COstrelDocBase* document = nullptr;
  std::vector<std::string> messages;
};

struct CountingDoc : COstrelDocBase {
  std::vector<int> hints;
  void UpdateAllViews(COstrelViewBase*, int hint, COstrelObject*) override { hints.push_back(hint); }
};

// Sets environment variables for one test and puts them back afterwards.
class EnvironmentOverride {
 public:
  void Set(const std::string& name, const std::string& value) {
    saved_.push_back({name, vd::os::GetEnv(name)});
    vd::os::SetEnv(name, value);
  }
  ~EnvironmentOverride() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        vd::os::SetEnv(it->first, *it->second);
      } else {
        vd::os::UnsetEnv(it->first);
      }
    }
    tzset();
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The application's profile in a folder of the test's own.
class ProfileOverride {
 public:
  ProfileOverride() { vd::SetProfileLocation(vd::kDefaultProfileKey, dir_.path()); }
  ~ProfileOverride() { vd::SetProfileLocation(vd::kDefaultProfileKey); }
  const std::string& root() const { return dir_.path(); }

 private:
  vd::test::TempDir dir_;
};

constexpr double kMetresPerDegree = 111320.0;

double GroundDistance(double lat1, double lon1, double lat2, double lon2) {
  const double north = (lat1 - lat2) * kMetresPerDegree;
  const double east = std::remainder(lon1 - lon2, 360.0) * kMetresPerDegree *
                      std::cos(lat1 * std::numbers::pi / 180.0);
  return std::hypot(north, east);
}

TEST(AppCommonFormatting, DistanceSpeedDepthAreaInEachUnit) {
  struct Case {
    int units;
    double value;
    const char* text;
  };
  TestApp app;
  app.show_altitude.value = 1;
  const auto check = [&](const char* what, const std::vector<Case>& cases,
                         std::string (CAppCommon::*format)(double) const) {
    for (const Case& c : cases) {
      app.distance_units.value = c.units;
      EXPECT_EQ((app.*format)(c.value), c.text) << what << " unit " << c.units << " " << c.value;
    }
  };
  check("distance",
        {{0, 0.04, "81 yds"},
         {0, 0.0499, "101 yds"},
         {0, 0.05, "0.05 NM"},
         {0, 12.345, "12.3 NM"},
         {0, 999.6, "1000 NM"},
         {0, 1500.0, "1500 NM"},
         {0, 0.0, "0"},
         {1, 0.1, "608 ft"},
         {1, 0.1429, "868 ft"},
         {1, 0.143, "0.165 Mi"},
         {2, 0.5, "926 m"},
         {2, 0.5399, "1000 m"},
         {2, 0.54, "1 km"},
         {2, 600.0, "1111 km"},
         {2, 0.0, "0"}},
        &CAppCommon::FormatDistance);
  check("speed",
        {{0, 5.0, "5.00 kts"},
         {0, 10.0, "10.0 kts"},
         {1, 5.0, "5.75 mph"},
         {2, 5.3, "9.82 km/h"},
         {2, 10.0, "18.5 km/h"},
         {7, 3.0, "3.00 "}},
        &CAppCommon::FormatSpeed);
  check("depth",
        {{0, 10.0, "33 ft"},
         {1, 10.0, "33 ft"},
         {2, 10.4, "10 m"},
         {2, 29999.0, "29999 m"},
         {2, 30000.0, ""}},
        &CAppCommon::FormatDepth);
  check("area",
        {{0, 1e6, "0.29 sq NM"},
         {1, 10000.0, "2.47 acres"},
         {2, 1e7, "1000.00 hectares"},
         {2, 1.0001e7, "10.00 sq km"}},
        &CAppCommon::FormatArea);

  app.show_altitude.value = 0;
  app.distance_units.value = 2;
  EXPECT_EQ(app.FormatDepth(10.0), "");
}

TEST(AppCommonFormatting, BearingsRoundIntoRangeTrueOrMagnetic) {
  struct Case {
    bool magnetic;
    float variation;
    double bearing;
    const char* text;
  };
  const Case cases[] = {
      {false, 0.0f, 359.6, "000°T"},
      {false, 0.0f, 0.4, "000°T"},
      {false, 0.0f, 45.5, "046°T"},
      {false, 0.0f, 720.2, "000°T"},
      {false, 0.0f, std::nan(""), "°T"},
      // 2 - 7.7 = -5.7 rounds to -6, which is 354.
      {true, -7.7f, 2.0, "354°M"},
      {true, 10.0f, 355.0, "005°M"},
  };
  TestApp app;
  for (const Case& c : cases) {
    app.show_magnetic.value = c.magnetic;
    app.magnetic_variation = c.variation;
    EXPECT_EQ(app.FormatBearing(c.bearing), c.text) << c.bearing;
  }
  app.show_magnetic.value = 0;
  app.distance_units.value = 0;
  EXPECT_EQ(app.FormatRangeBearing(1.5, 90.0), "1.5 NM 090°T");
}

TEST(AppCommonFormatting, Durations) {
  const std::pair<int64_t, const char*> cases[] = {
      {90061, "1 day, 1:01"}, {0, "0:00"}, {3599, "0:59"}, {86400 * 2 + 3600, "2 days, 1:00"},
      {-90, "-0:01"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(CAppCommon::FormatDuration(seconds), text);
}

TEST(AppCommonFormatting, TimesInTheDateOrder) {
  EnvironmentOverride env;
  env.Set("TZ", "UTC0");
  tzset();
  TestApp app;
  const int64_t t = 1700000000;  // 2023-11-14 22:13:20 UTC
  app.date_order = CAppCommon::kDayMonthYear;
  EXPECT_EQ(app.FormatTime(t, true), "22:13:20 14/11/23");
  app.date_order = CAppCommon::kMonthDayYear;
  EXPECT_EQ(app.FormatTime(t, false), "22:13 11/14/23");
  app.date_order = CAppCommon::kYearMonthDay;
  EXPECT_EQ(app.FormatDateTime(static_cast<int32_t>(t), true), "22:13:20 23/11/14");
}

TEST(AppCommonFormatting, ShortDatesInLocalTime) {
  EnvironmentOverride env;
  env.Set("TZ", "UTC0");
  tzset();
  const std::pair<double, const char*> cases[] = {
      {1700000000.0, "14/Nov/2023"},  // 22:13:20
      {1700000000.0 + 7000.5, "15/Nov/2023"},
      {0.0, "01/Jan/1970"},
      {-1.0, "31/Dec/1969"},
      {951782400.0, "29/Feb/2000"},
      {std::nan(""), ""},
      {1e300, ""},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatShortDate(seconds), text) << seconds;
  env.Set("TZ", "XXX-10");  // ten hours east
  tzset();
  EXPECT_EQ(FormatShortDate(1700000000.0), "15/Nov/2023");
}

TEST(AppCommonResources, StringsByIdFromTheInstalledTable) {
  EXPECT_EQ(LoadResString(61446), "");
  SetResStringTable({{61446, "Ready"}, {32771, "\nView around a fixed point"}});
  EXPECT_EQ(LoadResString(61446), "Ready");
  EXPECT_EQ(LoadResString(32771), "\nView around a fixed point");
  EXPECT_EQ(LoadResString(1), "");
  SetResStringTable({});
  EXPECT_EQ(LoadResString(61446), "");
}

TEST(AppCommonFormatting, DateOrderOfLocaleFormats) {
  const std::pair<const char*, int> cases[] = {
      {"%m/%d/%y", CAppCommon::kMonthDayYear},  {"%D", CAppCommon::kMonthDayYear},
      {"%d.%m.%Y", CAppCommon::kDayMonthYear},  {"%d/%m/%y", CAppCommon::kDayMonthYear},
      {"%Y-%m-%d", CAppCommon::kYearMonthDay},  {"%F", CAppCommon::kYearMonthDay},
      {"%Ey%Om%Od", CAppCommon::kYearMonthDay}, {"%-d %b %Y", CAppCommon::kDayMonthYear},
      {"", CAppCommon::kDayMonthYear},          {"%", CAppCommon::kDayMonthYear},
  };
  for (const auto& [format, order] : cases) {
    EXPECT_EQ(CAppCommon::DateOrderOfFormat(format), order) << format;
  }
}

TEST(AppCommonFormatting, LatLonByPositionFormatCode) {
  struct Case {
    int code;
    double value;
    const char* letters;
    const char* text;
  };
  const Case cases[] = {
      {1, -12.999999, "NS", "13°00.000'S"},
      {1, 51.999995, "NS", "52°00.000'N"},
      {5, 50.5, "NS", "50°30.000'N"},
      {0, 51.5, "NS", "51.50000°N"},
      {0, -1.5, "EW", " 1.50000°W"},
      {2, 50.5, "NS", "50°30'00.0\"N"},
      {2, -(59.0 / 60.0 + 59.97 / 3600.0), "EW", "1°0'00.0\"W"},
      {8, -12.5, "NS", "-12.50000"},
  };
  TestApp app;
  for (const Case& c : cases) {
    app.posn_format.value = c.code;
    EXPECT_EQ(app.FormatLatLon(c.value, c.letters), c.text) << c.code << " " << c.value;
  }
}

TEST(AppCommonPosition, FormatsWithTheGridOrAsLatitudeAndLongitude) {
  struct Case {
    int code;
    double lat;
    double lon;
    const char* text;
  };
  const Case cases[] = {
      {1, 50.5, -1.25, "50°30.000'N, 1°15.000'W"},
      {1, 10.0, 181.0, "10°00.000'N, 179°00.000'W"},
      {8, 1.0, 2.0, " 1.00000,  2.00000"},
      {5, 0.0, 3.0, "31n 500000E 000000N"},
      {10, -0.0001, 3.0, "31M 500000E 9999989N"},
      // Off the British grid: degrees and minutes.
      {4, 0.0, 0.0, "0°00.000'N, 0°00.000'E"},
      {7, 50.5, 1.5, "50°30.000'N, 1°30.000'E"},
  };
  TestApp app;
  for (const Case& c : cases) {
    app.posn_format.value = c.code;
    std::string text;
    app.FormatPosition(c.lat, c.lon, text);
    EXPECT_EQ(text, c.text) << c.code;
    FormatPositionText(c.lat, c.lon, text);
    EXPECT_EQ(text, c.text) << c.code;
  }
}

TEST(AppCommonPosition, FormatterIsKeptUntilTheCodeChangesOrItIsDropped) {
  TestApp app;
  app.posn_format.value = 5;
  utm_grid_formatter* first = app.GetPositionFormatter();
  EXPECT_NE(dynamic_cast<UTM_WGS84_Grid*>(first), nullptr);
  EXPECT_EQ(first->position_format_code(), 5);
  EXPECT_EQ(app.GetPositionFormatter(), first);
  app.posn_format.value = 9;
  EXPECT_NE(dynamic_cast<MGRS_Grid*>(app.GetPositionFormatter()), nullptr);
  app.posn_format.value = 2;
  EXPECT_NE(dynamic_cast<LatLon_Grid*>(app.GetPositionFormatter()), nullptr);
  EXPECT_EQ(app.GetPositionFormatter()->position_format_code(), 2);
  app.DropPositionFormatter();
  EXPECT_EQ(app.GetPositionFormatter()->position_format_code(), 2);
}

TEST(AppCommonPosition, TownshipFormatTellsTheUserWhenItsDataIsMissing) {
  vd::test::TempDir home;
  EnvironmentOverride env;
  env.Set("HOME", home.path());
  env.Set("XDG_CONFIG_HOME", home.path() + "/.config");
  TestApp app;
  app.posn_format.value = 7;
  utm_grid_formatter* formatter = app.GetPositionFormatter();
  ASSERT_NE(dynamic_cast<township_converter*>(formatter), nullptr);
  EXPECT_EQ(formatter->position_format_code(), 7);
  EXPECT_EQ(app.messages, std::vector<std::string>{township_converter::kMissingDataMessage});
  std::string text = "unchanged";
  EXPECT_FALSE(formatter->FormatPosition(52.0, -114.0, text));
  EXPECT_EQ(text, "unchanged");
}

struct CodeResolution {
  int code;
  double metres;
  double lowest_lat;  // the grid's domain
  double highest_lat;
};

// Positions typed as each position format writes them read back to the same place.
TEST(AppCommonPosition, TypedPositionsReadBackInEveryFormat) {
  ProfileOverride profile;
  vd::test::TempDir dir;
  const std::string projection = dir.File("utm30.dat");
  ASSERT_TRUE(vd::os::SaveFileAtomically(projection, "+proj=utm +zone=30 +datum=WGS84"));
  ASSERT_TRUE(vd::OpenAppProfile().SetString(vd::kSettingsSection, "posn_format_proj", projection));

  const CodeResolution codes[] = {
      {0, 1.0, -90, 90}, {1, 1.5, -90, 90}, {2, 2.5, -90, 90},  {3, 1.5, -80, 84},
      {4, 1.5, -90, 90}, {5, 1.5, -80, 84}, {6, 1.5, -90, 90},  {7, 1.5, -90, 90},
      {8, 1.0, -90, 90}, {9, 1.5, -90, 90}, {10, 1.5, -80, 84},
  };
  struct Point {
    double lat;
    double lon;
  };
  const Point points[] = {
      {0.0, 0.0},     {51.5, -0.12}, {-33.9, 151.2},   {90.0, 0.0},        {-90.0, 45.0},
      {0.0, 180.0},   {0.0, -180.0}, {10.0, 179.9999}, {-10.0, -179.9999}, {45.0, 5.99999},
      {45.0, 6.0},    {84.0, 3.0},   {-80.0, 3.0},     {52.6, 1.7},        {49.9, -6.3},
      {-0.001, 33.0}, {55.0, -3.0},  {40.7, -74.0},
  };
  TestApp app;
  for (const CodeResolution& c : codes) {
    app.posn_format.value = c.code;
    int grid_texts = 0;
    for (const Point& p : points) {
      if (p.lat < c.lowest_lat || p.lat > c.highest_lat) continue;
      std::string text;
      app.FormatPosition(p.lat, p.lon, text);
      double lat = 0.0;
      double lon = 0.0;
      ASSERT_TRUE(ParsePositionText(text, lat, lon)) << c.code << ": " << text;
      EXPECT_LE(GroundDistance(p.lat, p.lon, lat, lon), c.metres) << c.code << ": " << text;
      if (text.find(", ") == std::string::npos) ++grid_texts;  // not "latitude, longitude"
    }
    // The grids wrote at least some of the positions themselves.
    const bool grid = c.code >= 3 && c.code != 7 && c.code != 8;
    EXPECT_EQ(grid_texts > 0, grid) << c.code;
  }
}

TEST(AppCommonPosition, ParsesGridTextOrLatitudeAndLongitude) {
  struct Case {
    int code;
    const char* text;
    std::optional<std::pair<double, double>> position;
  };
  const Case cases[] = {
      {1, "50°30.5'N, 1°20'W", std::pair{50.508333, -1.333333}},
      {1, "50 30.5N 1 20W", std::pair{50.508333, -1.333333}},
      {1, "-12 30, 5 15", std::pair{-12.5, 5.25}},
      {1, "12,30 5", std::pair{12.0, 30.083333}},
      {5, "31N 500000E 000000N", std::pair{0.0, 3.0}},
      {5, "50 30N, 1 20W", std::pair{50.5, -1.333333}},
      {4, "TG 514 131", std::pair{52.657290, 1.715847}},
      {1, "95N, 1E", std::nullopt},
      {1, "abc, def", std::nullopt},
      {1, "50N 10N", std::nullopt},
      {1, "", std::nullopt},
      {5, "31N 500000", std::nullopt},
  };
  TestApp app;
  for (const Case& c : cases) {
    app.posn_format.value = c.code;
    double lat = 7.0;
    double lon = 8.0;
    ASSERT_EQ(ParsePositionText(c.text, lat, lon), c.position.has_value()) << c.text;
    EXPECT_NEAR(lat, c.position ? c.position->first : 7.0, 1e-4) << c.text;
    EXPECT_NEAR(lon, c.position ? c.position->second : 8.0, 1e-4) << c.text;
  }
}

TEST(AppCommonPosition, FreeWrappersWithoutAnApplicationObject) {
  ASSERT_EQ(CAppCommon::Instance(), nullptr);
  std::string text;
  FormatLatitudeText(-12.999999, text);
  EXPECT_EQ(text, "13°00.000'S");
  FormatLongitudeText(181.0, text);
  EXPECT_EQ(text, "179°00.000'W");
  FormatPositionText(50.5, -1.25, text);
  EXPECT_EQ(text, "50°30.000'N, 1°15.000'W");
  double lat = 0.0;
  double lon = 0.0;
  ASSERT_TRUE(ParsePositionText("50 30N 1 15W", lat, lon));
  EXPECT_NEAR(lon, -1.25, 1e-9);
  {
    TestApp app;
    EXPECT_EQ(CAppCommon::Instance(), &app);
    app.posn_format.value = 8;
    FormatLongitudeText(-181.0, text);
    EXPECT_EQ(text, "179.00000");
  }
  EXPECT_EQ(CAppCommon::Instance(), nullptr);
}

// A pane that records its updates and can act on the list from inside one.
class Pane : public CDataWnd {
 public:
  Pane(CAppCommon& app, std::vector<std::string>& log, std::string name)
      : app_(app), log_(log), name_(std::move(name)) {
    app_.AddDataWindow(this);
  }
  ~Pane() override { app_.RemoveDataWindow(this); }

  void Update(COstrelObject*, int hint) override {
    log_.push_back(name_ + ":" + std::to_string(hint));
    if (on_update) on_update();
  }
  void DestroyWindow() override {
    log_.push_back(name_ + " destroyed");
    if (leaves_on_destroy) app_.RemoveDataWindow(this);
  }

  std::function<void()> on_update;
  bool leaves_on_destroy = true;

 private:
  CAppCommon& app_;
  std::vector<std::string>& log_;
  std::string name_;
};

TEST(AppCommonDataPanes, BroadcastSurvivesPanesLeavingDuringIt) {
  TestApp app;
  std::vector<std::string> log;
  Pane a(app, log, "a");
  Pane b(app, log, "b");
  Pane c(app, log, "c");
  Pane d(app, log, "d");
  app.AddDataWindow(&a);  // once only
  // b leaves and takes c with it.
  b.on_update = [&] {
    app.RemoveDataWindow(&b);
    app.RemoveDataWindow(&c);
  };
  app.BroadcastToDataWindows(nullptr, 2);
  EXPECT_EQ(log, (std::vector<std::string>{"a:2", "b:2", "d:2"}));
  EXPECT_EQ(app.data_windows(), (std::vector<CDataWnd*>{&a, &d}));
}

TEST(AppCommonDataPanes, CloseAllDestroysEveryPaneOnce) {
  TestApp app;
  std::vector<std::string> log;
  Pane a(app, log, "a");
  Pane b(app, log, "b");
  b.leaves_on_destroy = false;  // must not make the loop spin
  Pane c(app, log, "c");
  app.CloseAllDataWindows();
  EXPECT_EQ(log, (std::vector<std::string>{"a destroyed", "b destroyed", "c destroyed"}));
  EXPECT_TRUE(app.data_windows().empty());
}

TEST(AppCommonVariation, MagneticBearingsFollowTheModel) {
  vd::test::TempDir program;
  ASSERT_TRUE(vd::test::WriteDipoleModel(program.File("WMM_COF.txt"), -1410.8, 4545.4));
  TestApp app;
  app.program_folder = program.path();
  const int64_t t = 1767225600;  // 2026-01-01
  const std::optional<double> declination = GetMagneticDeclination(
      50.0, -1.0, 100.0, static_cast<double>(t), program.File("WMM_COF.txt"));
  ASSERT_TRUE(declination);

  // Magnetic bearings off: the position is only remembered.
  app.UpdateMagneticVariation(50.0, -1.0, t);
  EXPECT_EQ(app.magnetic_variation, 0.0f);
  EXPECT_EQ(app.last_variation_lat, 50.0);
  EXPECT_EQ(app.last_variation_time, t);

  // Switched on: recomputed where the position was.
  app.show_magnetic.value = 1;
  app.ResetCurrentPosition();
  EXPECT_FLOAT_EQ(app.magnetic_variation, static_cast<float>(-*declination));
  EXPECT_EQ(app.last_variation_lat, 50.0);
  EXPECT_EQ(app.last_variation_lon, -1.0);
  EXPECT_EQ(app.last_variation_time, t);

  // Less than a degree away: nothing changes.
  app.magnetic_variation = 4.0f;
  app.UpdateMagneticVariation(50.5, -0.5, t + 60);
  EXPECT_EQ(app.magnetic_variation, 4.0f);
  EXPECT_EQ(app.last_variation_time, t);

  // No model: the old variation stays.
  app.program_folder = program.File("nowhere");
  app.UpdateMagneticVariation(55.0, -1.0, t);
  EXPECT_EQ(app.magnetic_variation, 4.0f);
  EXPECT_EQ(app.last_variation_lat, 50.0);

  // Never had a position: resetting computes nothing.
  TestApp fresh;
  fresh.program_folder = program.path();
  fresh.show_magnetic.value = 1;
  fresh.ResetCurrentPosition();
  EXPECT_EQ(fresh.magnetic_variation, 0.0f);
}

TEST(AppCommonStartUp, FoldersFromThePlatform) {
  vd::test::TempDir home;
  EnvironmentOverride env;
  env.Set("HOME", home.path());
  env.Set("XDG_CONFIG_HOME", home.File(".config"));
  // No runtime folder: the temporary folder lies in the user's cache folder.
  env.Set("XDG_RUNTIME_DIR", home.File("no-runtime-folder"));
  env.Set("XDG_CACHE_HOME", home.File(".cache"));
  TestApp app;
  app.InitFolders();
  EXPECT_FALSE(app.program_folder.empty());
  EXPECT_EQ(app.data_folder, home.path() + "/Documents/Map Overlays");
  EXPECT_EQ(app.temp_folder, home.path() + "/.cache/Vardune/temp");
  EXPECT_TRUE(vd::os::IsDirectory(app.temp_folder));
}

TEST(AppCommonStartUp, ProfileValuesAndTheOlderEdition) {
  ProfileOverride profile;
  ASSERT_TRUE(vd::OpenAppProfile().SetInt(vd::kSettingsSection, "distance_units", 2));
  ASSERT_TRUE(vd::OpenAppProfile().SetInt(vd::kSettingsSection, "magnetic_variation", -90));
  {
    TestApp app;
    app.BindProfileValues();
    EXPECT_EQ(app.distance_units.value, CAppCommon::kKilometres);
    EXPECT_EQ(app.posn_format.value, 1);
    EXPECT_EQ(app.show_altitude.value, 1);
    EXPECT_EQ(app.show_magnetic.value, 0);
    EXPECT_FLOAT_EQ(app.magnetic_variation, -1.5f);
    app.posn_format.value = 9;
  }
  // Written back when the application object goes.
  EXPECT_EQ(vd::OpenAppProfile().GetInt(vd::kSettingsSection, "posn_format"), 9);

  {
    TestApp app;
    CountingDoc doc;
    app.SetDistanceUnits(0);  // no document: stored all the same
    app.document = &doc;
    app.SetPositionFormat(5);
    app.SetDistanceUnits(3);  // not a unit: ignored
    app.SetPositionFormat(11);
    EXPECT_EQ(app.distance_units.value, 0);
    EXPECT_EQ(app.posn_format.value, 5);
    EXPECT_EQ(doc.hints, std::vector<int>{0});
    EXPECT_EQ(vd::OpenAppProfile().GetInt(vd::kSettingsSection, "distance_units"), 0);
    EXPECT_EQ(vd::OpenAppProfile().GetInt(vd::kSettingsSection, "posn_format"), 5);
  }

  EnvironmentOverride env;
  env.Set("XDG_CONFIG_HOME", profile.root());
  vd::os::ProfileStore legacy(CAppCommon::kLegacyProfileKey);
  ASSERT_TRUE(legacy.SetInt("chart_dirs", "n_dirs", 3));
  ASSERT_TRUE(legacy.SetString("chart_dirs", "dir00", "/charts"));
  EXPECT_EQ(CAppCommon::ReadRegistryDword("chart_dirs", "n_dirs", 0), 3);
  EXPECT_EQ(CAppCommon::ReadRegistryDword("chart_dirs", "update", -4), -4);
  EXPECT_EQ(CAppCommon::ReadRegistryString("chart_dirs", "dir00", ""), "/charts");
  EXPECT_EQ(CAppCommon::ReadRegistryString("other", "dir00", "none"), "none");
}

// The settings start-up reads once the main window is there: the elevation file of the last run
// opens again and the defaults of new marks come from the profile, or are the built-in ones.
TEST(AppCommonStartUp, CommonSettingsOpenTheElevationFileAndReadMarkDefaults) {
  ProfileOverride profile;
  vd::test::TempDir dir;
  {
    TestApp app;
    app.program_folder = dir.path();
    app.default_mark_symbol = app.default_route_point_symbol = -1;
    app.default_mark_colour = app.default_route_point_colour = -1;
    app.LoadCommonSettings();
    EXPECT_EQ(app.GetElevationFile(), nullptr);  // no program folder + "/elevation.qed"
    EXPECT_EQ(app.default_mark_symbol, 10);
    EXPECT_EQ(app.default_route_point_symbol, 0);
    EXPECT_EQ(app.default_mark_colour, 255);
    EXPECT_EQ(app.default_route_point_colour, 0xff0000);
  }
  const vd::test::QedFixture grid;
  ASSERT_TRUE(vd::test::WriteQedFile(dir.File("elevation.qed"), grid));
  {
    TestApp app;
    app.program_folder = dir.path();
    app.LoadCommonSettings();
    ASSERT_NE(app.GetElevationFile(), nullptr) << "the program folder's elevation file";
  }
  const std::string hills = dir.File("hills.qed");
  ASSERT_TRUE(vd::test::WriteQedFile(hills, grid));
  vd::os::ProfileStore store = vd::OpenAppProfile();
  ASSERT_TRUE(store.SetString(vd::kSettingsSection, "qedfile", hills));
  ASSERT_TRUE(store.SetInt(vd::kSettingsSection, "def_mark", 3));
  ASSERT_TRUE(store.SetInt(vd::kSettingsSection, "def_wp", 7));
  ASSERT_TRUE(store.SetInt(vd::kSettingsSection, "def_mark_color", 0x00ff00));
  ASSERT_TRUE(store.SetInt(vd::kSettingsSection, "def_wp_color", 0x123456));
  TestApp app;
  app.program_folder = "/nonexistent";
  app.LoadCommonSettings();
  ASSERT_NE(app.GetElevationFile(), nullptr);
  EXPECT_EQ(app.GetElevationFile()->path(), hills);
  EXPECT_EQ(app.default_mark_symbol, 3);
  EXPECT_EQ(app.default_route_point_symbol, 7);
  EXPECT_EQ(app.default_mark_colour, 0x00ff00);
  EXPECT_EQ(app.default_route_point_colour, 0x123456);
}

}  // namespace

// The application's one elevation file: none at start, one opened by path (the ".qed" beside
// any named file) and remembered for the next start, the old one kept when a path names nothing.
TEST(AppCommonElevation, OpensRemembersAndKeepsTheElevationFile) {
  vd::test::TempDir dir;
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
  TestApp app;
  EXPECT_EQ(app.GetElevationFile(), nullptr);

  const vd::test::QedFixture grid;
  const std::string qed = dir.File("hills.qed");
  ASSERT_TRUE(vd::test::WriteQedFile(qed, grid));
  ASSERT_TRUE(app.OpenElevationFile(dir.File("hills.qct")));  // the chart's elevation file
  ASSERT_NE(app.GetElevationFile(), nullptr);
  const GeoPoint at = vd::test::QedSamplePosition(grid, 2, 3);
  EXPECT_NEAR(app.GetElevationFile()->GetHeight(at.lat, at.lon), grid.height(2, 3), 1e-3);
  EXPECT_EQ(vd::OpenAppProfile().GetString(vd::kSettingsSection, "qedfile"), qed);

  EXPECT_FALSE(app.OpenElevationFile(dir.File("missing.qed")));
  EXPECT_NE(app.GetElevationFile(), nullptr);  // the open file stays

  TestApp next_run;
  next_run.offline_data().OpenSavedElevationFile(dir.path());
  EXPECT_NE(next_run.GetElevationFile(), nullptr);
}
