#include "geodesy/units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "geodesy/default_units.h"
#include "geodesy/units_osgb.h"
#include "geodesy/units_position_utm84.h"
#include "platform/os/environment.h"

namespace {

constexpr double kMetresPerDegree = 111320.0;

double GroundDistance(double lat1, double lon1, double lat2, double lon2) {
  const double north = (lat1 - lat2) * kMetresPerDegree;
  const double east = std::remainder(lon1 - lon2, 360.0) * kMetresPerDegree *
                      std::cos(lat1 * std::numbers::pi / 180.0);
  return std::hypot(north, east);
}

struct AngleCase {
  int type;
  double value;
  const char* letters;
  const char* text;
};

TEST(UnitsAngleText, FormatsEachTypeWithCarries) {
  const AngleCase cases[] = {
      {1, 50.5, "NS", "50°30.000'N"},
      {1, -1.5, "EW", "1°30.000'W"},
      {1, 0.0, "NS", "0°00.000'N"},
      {1, 180.0, "EW", "180°00.000'E"},
      // Minutes that would print as 60.000 carry into the degree.
      {1, 51.999995, "NS", "52°00.000'N"},
      {1, 12.0 + 59.9995 / 60.0, "NS", "13°00.000'N"},
      {1, 12.0 + 59.9994 / 60.0, "NS", "12°59.999'N"},
      {1, -12.999999, "NS", "13°00.000'S"},
      {2, 50.0 + 30.0 / 60.0 + 15.26 / 3600.0, "NS", "50°30'15.3\"N"},
      // Seconds that would print as 60.0 carry into the minute, and on into the degree.
      {2, 10.0 + 15.0 / 60.0 + 59.96 / 3600.0, "EW", "10°16'00.0\"E"},
      {2, 59.0 / 60.0 + 59.97 / 3600.0, "NS", "1°0'00.0\"N"},
      {2, -(3.0 + 59.0 / 60.0 + 59.99 / 3600.0), "EW", "4°0'00.0\"W"},
      {0, 51.5, "NS", "51.50000°N"},
      {0, 1.5, "EW", " 1.50000°E"},
      {0, -0.25, "EW", " 0.25000°W"},
      {3, -12.5, "NS", "-12.50000"},
      {3, 1.5, "EW", " 1.50000"},
  };
  for (const AngleCase& c : cases) {
    std::string text;
    CUnits::FormatAngle(text, c.letters, c.value, c.type);
    EXPECT_EQ(text, c.text) << "type " << c.type << " value " << c.value;
  }
}

TEST(UnitsAngleText, NonFiniteValuesGiveAPlainNumber) {
  std::string text;
  CUnits::FormatAngle(text, "NS", std::nan(""), 1);
  EXPECT_EQ(text, "     nan");
}

struct LatLonParseCase {
  const char* text;
  std::optional<std::pair<double, double>> position;
};

TEST(UnitsParseLatLonText, ReadsTypedPairsAndRefusesBadOnes) {
  const LatLonParseCase cases[] = {
      {"50°30.5'N, 1°20'W", std::pair{50.508333, -1.333333}},
      {"50°30’.5N 1°20W", std::pair{50.508333, -1.333333}},
      // The first blank gives the longitude a latitude letter; the blank after 'N' is used.
      {"50 30.5N 1 20W", std::pair{50.508333, -1.333333}},
      {"50 30 N 1 20 W", std::pair{50.5, -1.333333}},
      {"-12 30, 5 15", std::pair{-12.5, 5.25}},
      {"12.5 -3.25", std::pair{12.5, -3.25}},
      {"89.5N, 0E", std::pair{89.5, 0.0}},
      {"90 S, 180 W", std::pair{-90.0, -180.0}},
      {"51°30.000'N, 0°07.200'W", std::pair{51.5, -0.12}},
      {"90.5N, 1E", std::nullopt},
      {"10N, 361E", std::nullopt},
      {"50N, 10N", std::nullopt},
      {"1W, 1E", std::nullopt},
      {"abc, def", std::nullopt},
      {"50.5", std::nullopt},
      {"", std::nullopt},
      {",", std::nullopt},
  };
  for (const LatLonParseCase& c : cases) {
    double lat = 7.0;
    double lon = 8.0;
    const bool ok = CUnits::ParseLatLonText(c.text, lat, lon);
    ASSERT_EQ(ok, c.position.has_value()) << c.text;
    if (ok) {
      EXPECT_NEAR(lat, c.position->first, 1e-6) << c.text;
      EXPECT_NEAR(lon, c.position->second, 1e-6) << c.text;
    } else {
      EXPECT_EQ(lat, 7.0) << c.text;
      EXPECT_EQ(lon, 8.0) << c.text;
    }
  }
}

TEST(UnitsParseDegreesText, ReadsFieldsLetterAndNothing) {
  double value = 0.0;
  EXPECT_EQ(CUnits::ParseDegreesText("50 30 00 N", value), 'N');
  EXPECT_DOUBLE_EQ(value, 50.5);
  // No comma rule here: the comma is an ordinary separator.
  EXPECT_EQ(CUnits::ParseDegreesText("12,30", value), 0);
  EXPECT_DOUBLE_EQ(value, 12.5);
  // 'D' and 'E' are never hemisphere letters.
  EXPECT_EQ(CUnits::ParseDegreesText("12d 30E", value), 0);
  EXPECT_EQ(CUnits::ParseDegreesText("s", value), 'S');
  EXPECT_EQ(value, 999.0);
}

TEST(UnitsPositionFormats, RegisterInOrderAndAreFoundByExactName) {
  std::vector<std::string> names;
  for (auto* f = CUnits::FirstPositionFormat(); f != nullptr; f = f->next()) {
    names.push_back(f->name());
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"UTM/WGS84 bands", "UTM on WGS84", "British National Grid",
                                      "Degrees", "Deg,Min,Sec", "Deg,Min"}));
  EXPECT_EQ(CUnits::FindPositionFormat("Deg,Min"), CUnits::DefaultPositionFormat());
  EXPECT_EQ(CUnits::FindPositionFormat("deg,min"), nullptr);
}

struct FormatText {
  const char* format;
  double lat;
  double lon;
  const char* text;  // the text, or its start; null: the format has no text for the point
};

TEST(UnitsPositionFormats, WriteTheirTexts) {
  const FormatText cases[] = {
      {"Deg,Min", 50.5, -1.25, "50°30.000'N, 1°15.000'W"},
      {"Deg,Min,Sec", -33.5, 151.25, "33°30'00.0\"S, 151°15'00.0\"E"},
      {"Degrees", 51.5, -0.125, "51.50000°N,  0.12500°W"},
      {"UTM on WGS84", 0.0, 3.0, "31N 500000E 000000N"},
      {"UTM on WGS84", -0.0001, 3.0, "31S 500000E 9999989N"},
      {"UTM/WGS84 bands", -0.0001, 3.0, "31M 500000E 9999989N"},
      {"UTM/WGS84 bands", 80.5, 3.0, "31X 500000E "},
      // Longitude 180 stays in zone 60.
      {"UTM on WGS84", 0.0, 180.0, "60N "},
      {"British National Grid", 0.0, 0.0, nullptr},
  };
  for (const FormatText& c : cases) {
    const auto* format = CUnits::FindPositionFormat(c.format);
    ASSERT_NE(format, nullptr) << c.format;
    std::string text;
    const bool ok = format->Format(c.lat, c.lon, text);
    EXPECT_EQ(ok, c.text != nullptr) << c.format << " " << c.lat << " " << c.lon;
    EXPECT_TRUE(text.starts_with(c.text != nullptr ? c.text : "<off grid>"))
        << c.format << ": " << text;
  }
}

TEST(UnitsPositionFormats, GridFormatsReadEitherCaseAndRefuseOtherText) {
  double lat = 0.0;
  double lon = 0.0;
  const auto* utm = CUnits::FindPositionFormat("UTM on WGS84");
  ASSERT_TRUE(utm->Parse("31s 500000E 9999989N", lat, lon));
  EXPECT_NEAR(lat, -0.0001, 1e-5);
  EXPECT_NEAR(lon, 3.0, 1e-6);
  const auto* bands = CUnits::FindPositionFormat("UTM/WGS84 bands");
  ASSERT_TRUE(bands->Parse("31m 500000E 9999989N", lat, lon));
  EXPECT_LT(lat, 0.0);
  EXPECT_FALSE(utm->Parse("50 30N, 1W", lat, lon));
  const auto* osgb = CUnits::FindPositionFormat("British National Grid");
  ASSERT_TRUE(osgb->Parse("TG 514 131", lat, lon));
  std::string text;
  ASSERT_TRUE(osgb->Format(lat, lon, text));
  EXPECT_EQ(text, "TG 51400 13100");
  EXPECT_FALSE(osgb->Parse("TG 5140 131", lat, lon));
}

struct Resolution {
  const char* format;
  double metres;      // worst distance between a position and its text read back
  bool same_text;     // the position read back writes the same text (not so at zone edges)
  double lowest_lat;  // the format's domain
  double highest_lat;
};

// Every format writes positions that read back to the same place within its resolution.
TEST(UnitsPositionFormats, TextsReadBackWithinTheirResolution) {
  const Resolution formats[] = {
      {"Deg,Min", 1.5, true, -90.0, 90.0},
      {"Deg,Min,Sec", 2.5, true, -90.0, 90.0},
      {"Degrees", 1.0, true, -90.0, 90.0},
      {"UTM on WGS84", 1.5, false, -80.0, 84.0},
      {"UTM/WGS84 bands", 1.5, false, -80.0, 84.0},
      {"British National Grid", 1.5, false, -90.0, 90.0},
  };
  struct Point {
    double lat;
    double lon;
  };
  const Point points[] = {
      {0.0, 0.0},      {51.5, -0.12},   {-33.9, 151.2},  {90.0, 0.0},      {-90.0, 45.0},
      {89.99, 10.0},   {0.0, 180.0},    {0.0, -180.0},   {10.0, 179.9999}, {-10.0, -179.9999},
      {45.0, 5.99999}, {45.0, 6.0},     {-45.0, -0.001}, {84.0, 3.0},      {-80.0, 3.0},
      {60.5, -1.5},    {49.9, -6.3},    {57.0, -7.5},    {-0.001, 33.0},   {72.0, 25.0},
      {-0.001, 0.0},   {0.001, -0.001},
  };
  for (const Resolution& r : formats) {
    const auto* format = CUnits::FindPositionFormat(r.format);
    ASSERT_NE(format, nullptr);
    int written = 0;
    for (const Point& p : points) {
      std::string text;
      if (p.lat < r.lowest_lat || p.lat > r.highest_lat || !format->Format(p.lat, p.lon, text)) {
        continue;
      }
      ++written;
      double lat = 0.0;
      double lon = 0.0;
      ASSERT_TRUE(format->Parse(text, lat, lon)) << r.format << ": " << text;
      EXPECT_LE(GroundDistance(p.lat, p.lon, lat, lon), r.metres) << r.format << ": " << text;
      std::string again;
      ASSERT_TRUE(format->Format(lat, lon, again));
      if (r.same_text) {
        EXPECT_EQ(again, text) << r.format;
      }
    }
    EXPECT_GE(written, 3) << r.format;
  }
}

TEST(UnitsBearingText, RoundsIntoRangeWithItsSuffix) {
  struct Case {
    int bearings;
    float variation;
    float bearing;
    const char* text;
  };
  const Case cases[] = {
      {CDefaultUnits::kBearingsTrue, 0.0f, 359.8f, "000°T"},
      {CDefaultUnits::kBearingsTrue, 0.0f, 45.6f, "046°T"},
      {CDefaultUnits::kBearingsTrue, 0.0f, 45.4f, "045°T"},
      {CDefaultUnits::kBearingsTrue, 0.0f, 999.0f, "°T"},
      {CDefaultUnits::kBearingsTrue, 0.0f, std::nanf(""), "°T"},
      {CDefaultUnits::kBearingsTrue, 0.0f, -10.0f, "350°T"},
      {CDefaultUnits::kBearingsMagnetic, 5.0f, 3.0f, "358°M"},
      {CDefaultUnits::kBearingsMagnetic, -4.0f, 100.0f, "104°M"},
      {CDefaultUnits::kBearingsMagnetic, 0.0f, 901.0f, "°M"},
  };
  for (const Case& c : cases) {
    CDefaultUnits units;
    units.bearings = c.bearings;
    units.magnetic_variation = c.variation;
    std::string text = "old";
    units.FormatBearingValue(c.bearing, text);
    EXPECT_EQ(text, c.text) << c.bearing;
    text = "to ";
    units.AppendBearingText(c.bearing, text);
    EXPECT_EQ(text, std::string("to ") + c.text);
  }
}

TEST(UnitsClockTime, TwelveHourClockInLocalTime) {
  const std::optional<std::string> saved = vd::os::GetEnv("TZ");
  ASSERT_TRUE(vd::os::SetEnv("TZ", "UTC0"));
  tzset();
  struct Case {
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0:00am"},
      {11 * 3600 + 59 * 60, "11:59am"},
      {12 * 3600 + 30 * 60, "12:30pm"},
      {13 * 3600 + 5 * 60, "1:05pm"},
      {23 * 3600 + 59.9, "11:00pm"},
  };
  for (const Case& c : cases) EXPECT_EQ(CUnits::FormatClockTime(c.seconds), c.text) << c.seconds;
  EXPECT_EQ(CUnits::FormatClockTime(std::nan("")), "");
  if (saved) {
    vd::os::SetEnv("TZ", *saved);
  } else {
    vd::os::UnsetEnv("TZ");
  }
  tzset();
}

}  // namespace
