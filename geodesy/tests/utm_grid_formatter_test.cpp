#include "geodesy/utm_grid_formatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/temp_dir.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMetresPerDegree = 111320.0;

struct LatLon {
  double lat;
  double lon;
};

// Positions away from every grid's own limits, both hemispheres, both sides of Greenwich.
const LatLon kSpread[] = {{51.5, -0.13},  {-33.9249, 18.4241}, {40.7128, -74.006},
                          {-54.8, -68.3}, {35.68, 139.69},     {0.5, 3.0},
                          {-0.5, 179.9},  {78.2, 15.6},        {-79.5, -120.0}};

double GroundDistance(const LatLon& a, const LatLon& b) {
  const double north = (a.lat - b.lat) * kMetresPerDegree;
  const double east = std::remainder(a.lon - b.lon, 360.0) * kMetresPerDegree *
                      std::cos(a.lat * 3.141592653589793 / 180.0);
  return std::hypot(north, east);
}

struct UtmText {
  int zone = 0;
  char letter = 0;
  int easting = 0;
  int northing = 0;
};

UtmText SplitUtm(const std::string& text) {
  UtmText u;
  EXPECT_EQ(std::sscanf(text.c_str(), "%d%c %dE %dN", &u.zone, &u.letter, &u.easting, &u.northing),
            4)
      << text;
  return u;
}

std::string Format(utm_grid_formatter& f, double lat, double lon) {
  std::string text;
  EXPECT_TRUE(f.FormatPosition(lat, lon, text)) << lat << " " << lon;
  return text;
}

// ---- position texts ----

TEST(UtmGridFormatterTest, SouthernHemisphereTakesLetterAndFalseNorthing) {
  UTM_WGS84_Grid utm;
  UTMbands_WGS84_Grid bands;
  const double lat = -33.9249;
  const double lon = 18.4241;
  double easting = 0.0;
  double northing = 0.0;
  ASSERT_TRUE(
      TransverseMercatorForward(UtmProjection(kWgs84Ellipsoid, 34), lat, lon, easting, northing));
  ASSERT_LT(northing, 0.0);

  const UtmText u = SplitUtm(Format(utm, lat, lon));
  EXPECT_EQ(u.zone, 34);
  EXPECT_EQ(u.letter, 's');
  EXPECT_EQ(u.easting, std::lround(easting));
  EXPECT_EQ(u.northing, std::lround(northing + 10000000.0));

  const UtmText b = SplitUtm(Format(bands, lat, lon));
  EXPECT_EQ(b.letter, 'H');
  EXPECT_EQ(b.northing, u.northing);

  EXPECT_EQ(SplitUtm(Format(utm, 51.5, -0.13)).letter, 'n');
}

TEST(UtmGridFormatterTest, TextHasTheFixedLayout) {
  UTM_WGS84_Grid utm;
  const std::string text = Format(utm, 0.5, 3.0);  // on a central meridian, just north
  EXPECT_EQ(text.substr(0, 12), "31n 500000E ");
  EXPECT_EQ(text.substr(12, 2), "05");  // northing ~55 km, zero padded to six digits
  EXPECT_EQ(text.back(), 'N');
}

TEST(UtmGridFormatterTest, BandLetters) {
  UTMbands_WGS84_Grid bands;
  const struct {
    double lat;
    char band;
  } cases[] = {{80.5, 'X'},  {83.99, 'X'}, {89.0, 'X'},  {72.0, 'X'}, {71.99, 'W'},
               {56.0, 'V'},  {0.0, 'N'},   {-0.5, 'M'},  {-8.0, 'M'}, {-8.5, 'L'},
               {-79.9, 'C'}, {-80.0, 'C'}, {-85.0, 'C'}, {-90.0, 'C'}};
  for (const auto& c : cases) {
    EXPECT_EQ(SplitUtm(Format(bands, c.lat, 9.0)).letter, c.band) << c.lat;
  }
}

TEST(UtmGridFormatterTest, LongitudeOneEightyIsZoneSixty) {
  UTM_WGS84_Grid utm;
  EXPECT_EQ(SplitUtm(Format(utm, 10.0, 180.0)).zone, 60);
  EXPECT_EQ(SplitUtm(Format(utm, 10.0, -180.0)).zone, 1);
  EXPECT_EQ(SplitUtm(Format(utm, 10.0, 179.999)).zone, 60);
  EXPECT_EQ(SplitUtm(Format(utm, 10.0, 186.5)).zone, 2);  // taken modulo 360

  double lat = 0.0;
  double lon = 0.0;
  ASSERT_TRUE(utm.ParsePosition(Format(utm, 10.0, 180.0), lat, lon));
  EXPECT_NEAR(std::fabs(lon), 180.0, 1e-5);
  EXPECT_NEAR(lat, 10.0, 1e-5);
}

TEST(UtmGridFormatterTest, ParsersTakeEitherCase) {
  UTM_WGS84_Grid utm;
  UTMbands_WGS84_Grid bands;
  const std::string north = Format(utm, 51.5, -0.13);  // "30n ..."
  const std::string south = Format(utm, -33.9249, 18.4241);
  const struct {
    utm_grid_formatter* f;
    std::string text;
    LatLon want;
  } cases[] = {
      {&utm, north, {51.5, -0.13}},
      {&utm, "30N" + north.substr(3), {51.5, -0.13}},
      {&utm, south, {-33.9249, 18.4241}},
      {&utm, "34S" + south.substr(3), {-33.9249, 18.4241}},
      {&bands, "30U" + north.substr(3), {51.5, -0.13}},
      {&bands, "30u" + north.substr(3), {51.5, -0.13}},
      {&bands, "34H" + south.substr(3), {-33.9249, 18.4241}},
      // Lower-case southern bands are southern, too.
      {&bands, "34h" + south.substr(3), {-33.9249, 18.4241}},
      {&bands, "34c" + south.substr(3), {-33.9249, 18.4241}},
      // Blanks as the scanning rules allow, and a lower-case 'e'.
      {&utm, "  30n   699196 e 5709335", {51.5, -0.13}},
  };
  for (const auto& c : cases) {
    double lat = 0.0;
    double lon = 0.0;
    ASSERT_TRUE(c.f->ParsePosition(c.text, lat, lon)) << c.text;
    EXPECT_LT(GroundDistance({lat, lon}, c.want), 1.0) << c.text;
  }
}

TEST(UtmGridFormatterTest, MalformedTextFailsAndLeavesThePosition) {
  UTM_WGS84_Grid utm;
  UTMbands_WGS84_Grid bands;
  UTM_NAD27_Grid nad27;
  const struct {
    utm_grid_formatter* f;
    const char* text;
  } cases[] = {
      {&utm, ""},
      {&utm, "30"},
      {&utm, "30n"},
      {&utm, "30n 699196E"},
      {&utm, "30n 699196 5709335"},    // no E
      {&utm, "30x 699196E 5709335N"},  // not a hemisphere
      {&utm, "30 699196E 5709335N"},   // no letter at all
      {&utm, "0n 699196E 5709335N"},   // zones are 1..60
      {&utm, "61n 699196E 5709335N"},
      {&utm, "-5n 699196E 5709335N"},
      {&utm, "30n -1E 5709335N"},
      {&utm, "30n 1000001E 5709335N"},
      {&utm, "30n 699196E 10000001N"},
      {&utm, "30n 699196E 99999999999999999999N"},  // too long for any integer
      {&utm, "n30 699196E 5709335N"},
      {&utm, "TG 51409 13177"},
      {&bands, "30I 699196E 5709335N"},  // I and O are no bands
      {&bands, "30o 699196E 5709335N"},
      {&bands, "30Y 699196E 5709335N"},  // polar letters belong to UPS
      {&bands, "30B 699196E 5709335N"},
      {&nad27, "30n 699196E 5709335N"},  // NAD27 texts carry no letter
      {&nad27, "30 699196 5709335"},
      {&nad27, "99 699196E 5709335N"},
  };
  for (const auto& c : cases) {
    double lat = -1.0;
    double lon = -1.0;
    EXPECT_FALSE(c.f->ParsePosition(c.text, lat, lon)) << c.text;
    EXPECT_EQ(lat, -1.0) << c.text;
    EXPECT_EQ(lon, -1.0) << c.text;
  }
}

TEST(UtmGridFormatterTest, BadPositionsFailAndLeaveTheText) {
  OSGB_National_Grid osgb;
  MGRS_Grid mgrs;
  UTM_WGS84_Grid utm;
  UTMbands_WGS84_Grid bands;
  UTM_NAD27_Grid nad27;
  utm_grid_formatter* const formatters[] = {&osgb, &mgrs, &utm, &bands, &nad27};
  const LatLon bad[] = {{kNaN, 0.0}, {0.0, kNaN}, {kInf, 0.0}, {0.0, -kInf},
                        {90.5, 0.0}, {-91, 10.0}, {1e300, 0.0}};
  for (utm_grid_formatter* f : formatters) {
    for (const LatLon& p : bad) {
      std::string text = "keep";
      EXPECT_FALSE(f->FormatPosition(p.lat, p.lon, text)) << p.lat << " " << p.lon;
      EXPECT_EQ(text, "keep");
    }
  }
}

TEST(UtmGridFormatterTest, FormatThenParseReturnsToThePoint) {
  UTM_WGS84_Grid utm;
  UTMbands_WGS84_Grid bands;
  UTM_NAD27_Grid nad27;
  MGRS_Grid mgrs;
  utm_grid_formatter* const formatters[] = {&utm, &bands, &nad27, &mgrs};
  for (utm_grid_formatter* f : formatters) {
    for (const LatLon& p : kSpread) {
      const std::string text = Format(*f, p.lat, p.lon);
      LatLon back{0.0, 0.0};
      ASSERT_TRUE(f->ParsePosition(text, back.lat, back.lon)) << text;
      // Texts are to the metre; MGRS gives the centre of the square.
      EXPECT_LT(GroundDistance(back, p), 1.0) << text;
    }
  }
}

// ---- British National Grid ----

TEST(OsgbGridFormatterTest, FormatsParsesAndRefusesOffGrid) {
  OSGB_National_Grid osgb;
  const std::string text = Format(osgb, 51.5007, -0.1246);  // Westminster
  ASSERT_EQ(text.size(), 14u);
  EXPECT_EQ(text.substr(0, 3), "TQ ");
  LatLon back{0.0, 0.0};
  ASSERT_TRUE(osgb.ParsePosition(text, back.lat, back.lon));
  EXPECT_LT(GroundDistance(back, {51.5007, -0.1246}), 1.0);
  ASSERT_TRUE(osgb.ParsePosition("tq" + text.substr(2), back.lat, back.lon));
  EXPECT_LT(GroundDistance(back, {51.5007, -0.1246}), 1.0);

  std::string off = "keep";
  EXPECT_FALSE(osgb.FormatPosition(48.85, 2.35, off));  // Paris
  EXPECT_FALSE(osgb.FormatPosition(40.0, -74.0, off));
  EXPECT_EQ(off, "keep");

  double x = 0.0;
  double y = 0.0;
  EXPECT_FALSE(osgb.LatLonToGrid(48.85, 2.35, x, y));
  EXPECT_LT(y, 0.0);  // written all the same, for grid lines that run off the grid
  ASSERT_TRUE(osgb.LatLonToGrid(51.5007, -0.1246, x, y));
  ASSERT_TRUE(osgb.GridToLatLon(x, y, back.lat, back.lon));
  EXPECT_LT(GroundDistance(back, {51.5007, -0.1246}), 0.01);
}

TEST(OsgbGridFormatterTest, LabelsAreKilometresInTheSquare) {
  OSGB_National_Grid osgb;
  const struct {
    double value;
    const char* text;
  } cases[] = {{651409.0, "51.41"}, {600005.0, "0"},  {1234567.0, "34.57"},
               {313000.0, "13"},    {99999.0, "100"}, {0.0, "0"}};
  for (const auto& c : cases) {
    std::string text;
    osgb.FormatGridValue(c.value, text);
    EXPECT_EQ(text, c.text) << c.value;
    osgb.FormatGridValue2(c.value, text);
    EXPECT_EQ(text, c.text) << c.value;
  }
}

// ---- zones and grid coordinates ----

TEST(UtmGridFormatterTest, GridFollowsTheStoredZoneAndHemisphere) {
  UTM_WGS84_Grid utm;
  double x = 0.0;
  double y = 0.0;
  EXPECT_FALSE(utm.LatLonToGrid(10.0, 10.0, x, y));  // no zone yet
  EXPECT_FALSE(utm.GridToLatLon(500000.0, 0.0, x, y));

  utm.SetZoneFor(-10.0, 20.0);  // zone 34, southern
  ASSERT_TRUE(utm.LatLonToGrid(-10.0, 20.0, x, y));
  EXPECT_NEAR(y, 10000000.0 - 1105800.0, 1000.0);
  ASSERT_TRUE(utm.LatLonToGrid(1.0, 21.0, x, y));  // north of the equator: above 10000000
  EXPECT_GT(y, 10000000.0);
  LatLon back{0.0, 0.0};
  ASSERT_TRUE(utm.GridToLatLon(x, y, back.lat, back.lon));
  EXPECT_LT(GroundDistance(back, {1.0, 21.0}), 0.001);

  // A zone beside the antimeridian carries on across it.
  utm.SetZoneFor(10.0, 179.5);
  ASSERT_TRUE(utm.LatLonToGrid(10.0, -179.5, x, y));
  EXPECT_GT(x, 850000.0);  // 3.5 degrees east of 177E, not 356.5 west
  ASSERT_TRUE(utm.GridToLatLon(x, y, back.lat, back.lon));
  EXPECT_LT(GroundDistance(back, {10.0, -179.5}), 0.005);

  utm.SetZoneFor(kNaN, 5.0);  // ignored: the zone stays
  ASSERT_TRUE(utm.LatLonToGrid(10.0, 179.0, x, y));
  EXPECT_GT(x, 600000.0);
}

TEST(MgrsGridFormatterTest, GridCrossesTheEquatorInTheStoredHemisphere) {
  MGRS_Grid mgrs;
  double x = 0.0;
  double y = 0.0;
  EXPECT_FALSE(mgrs.LatLonToGrid(1.0, 9.0, x, y));  // no zone yet
  mgrs.SetZoneFor(1.0, 9.0);                        // 32 north
  ASSERT_TRUE(mgrs.LatLonToGrid(1.0, 9.0, x, y));
  EXPECT_NEAR(y, 110600.0, 1000.0);
  ASSERT_TRUE(mgrs.LatLonToGrid(-1.0, 9.0, x, y));
  EXPECT_NEAR(y, -110600.0, 1000.0);
  LatLon back{0.0, 0.0};
  ASSERT_TRUE(mgrs.GridToLatLon(x, y, back.lat, back.lon));
  EXPECT_LT(GroundDistance(back, {-1.0, 9.0}), 0.001);

  mgrs.SetZoneFor(-1.0, 9.0);  // 32 south
  ASSERT_TRUE(mgrs.LatLonToGrid(1.0, 9.0, x, y));
  EXPECT_NEAR(y, 10110600.0, 1000.0);

  // Svalbard and Norway take their own zones.
  mgrs.SetZoneFor(78.0, 10.0);
  ASSERT_TRUE(mgrs.LatLonToGrid(78.0, 10.0, x, y));
  EXPECT_LT(x, 500000.0);  // west of zone 33's central meridian, 15E
  EXPECT_FALSE(mgrs.GridToLatLon(kNaN, 0.0, back.lat, back.lon));
}

TEST(MgrsGridFormatterTest, BadTextAndPositionsFail) {
  MGRS_Grid mgrs;
  for (const char* bad : {"", "   ", "foo", "99XYZ1234512345", "31IEF1234512345", "31VEF123",
                          "31VEF123456789012345678901234", "INVALID", "-+/", "ZZ"}) {
    double lat = -1.0;
    double lon = -1.0;
    EXPECT_FALSE(mgrs.ParsePosition(bad, lat, lon)) << bad;
    EXPECT_EQ(lat, -1.0) << bad;
    EXPECT_EQ(lon, -1.0) << bad;
  }
  double lat = 0.0;
  double lon = 0.0;
  const std::string text = Format(mgrs, 51.5, -0.13);
  ASSERT_EQ(text.size(), 15u);
  // Blanks and punctuation between the groups are dropped; either case reads.
  std::string spaced = text.substr(0, 3) + " " + text.substr(3, 2) + " - " + text.substr(5, 5) +
                       " " + text.substr(10);
  for (char& c : spaced) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(mgrs.ParsePosition(spaced, lat, lon)) << spaced;
  EXPECT_LT(GroundDistance({lat, lon}, {51.5, -0.13}), 1.0);

  // Near the poles MGRS is polar stereographic.
  EXPECT_EQ(Format(mgrs, 89.0, 0.0).substr(0, 1), "Z");
  EXPECT_EQ(Format(mgrs, -89.0, 0.0).substr(0, 1), "B");
}

TEST(MgrsGridFormatterTest, LabelsAreMetresInTheSquare) {
  MGRS_Grid mgrs;
  const struct {
    double value;
    const char* text;
  } cases[] = {{5713177.0, "13177"}, {250.0, "  250"}, {-50.0, "99950"}, {600000.0, "    0"}};
  for (const auto& c : cases) {
    std::string text;
    mgrs.FormatGridValue(c.value, text);
    EXPECT_EQ(text, c.text) << c.value;
    mgrs.FormatGridValue2(c.value, text);
    EXPECT_EQ(text, c.text) << c.value;
  }
}

// ---- intervals and labels ----

TEST(NiceIntervalTest, DecimalSteps) {
  UTM_WGS84_Grid utm;
  const struct {
    double span;
    double want;
  } cases[] = {{0.37, 0.2},    {7300.0, 5000.0}, {1.0, 1.0},  {10.0, 10.0}, {9.99, 5.0},
               {0.3, 0.2},     {0.5, 0.5},       {0.1, 0.1},  {-0.37, 0.2}, {1999.0, 1000.0},
               {2e300, 2e300}, {0.0, 0.0},       {kNaN, 0.0}, {kInf, 0.0},  {-kInf, 0.0}};
  for (const auto& c : cases) EXPECT_EQ(utm.NiceInterval(c.span), c.want) << c.span;
  EXPECT_TRUE(std::isfinite(utm.NiceInterval(1e-310)));  // a denormal span still ends
}

TEST(NiceIntervalTest, DegreeTablesInMinutesAndSeconds) {
  LatLon_Grid minutes(1, nullptr);
  LatLon_Grid seconds(2, nullptr);
  LatLon_Grid decimal(0, nullptr);
  const double minute = 1.0 / 60.0;
  const double second = 1.0 / 3600.0;
  const struct {
    LatLon_Grid* grid;
    double span;
    double want;
  } cases[] = {
      {&minutes, 0.02, minute},       {&minutes, minute, 0.5 * minute},  // strictly below
      {&minutes, 0.4, 20 * minute},   {&minutes, 0.6, 30 * minute},
      {&minutes, 3.0, 2.0},           {&minutes, 5000.0, 1000.0},
      {&minutes, 0.001, 0.001},  // at or below the first entry: unchanged
      {&minutes, -0.02, minute},      {&seconds, 0.01, 30 * second},
      {&seconds, 0.004, 10 * second}, {&seconds, 0.002, 0.002},
      {&seconds, 25.0, 20.0},         {&minutes, 0.0, 0.0},
      {&seconds, kNaN, 0.0},          {&minutes, kInf, 0.0},
      {&decimal, 0.37, 0.2},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.grid->NiceInterval(c.span), c.want)
        << c.grid->position_format_code() << " " << c.span;
  }
}

TEST(LatLonGridTest, PassesCoordinatesAndLabelsThroughTheAngleFormat) {
  std::vector<std::string> calls;
  LatLon_Grid grid(1, [&calls](double degrees, const char* letters) {
    calls.push_back(std::to_string(degrees) + letters);
    return std::string("label");
  });
  double x = 0.0;
  double y = 0.0;
  ASSERT_TRUE(grid.LatLonToGrid(51.5, -0.25, x, y));
  EXPECT_EQ(x, -0.25);
  EXPECT_EQ(y, 51.5);
  std::string text;
  EXPECT_FALSE(grid.FormatPosition(51.5, -0.25, text));
  grid.FormatGridValue(51.5, text);
  EXPECT_EQ(text, "label");
  grid.FormatGridValue2(-0.25, text);
  EXPECT_EQ(calls, (std::vector<std::string>{"51.500000NS", "-0.250000EW"}));
}

TEST(UtmGridFormatterTest, LabelsAreWholeMetres) {
  UTM_WGS84_Grid utm;
  std::string text;
  utm.FormatGridValue(5709335.4, text);
  EXPECT_EQ(text, "5709335");
  utm.FormatGridValue2(699196.6, text);
  EXPECT_EQ(text, "699197");
}

// ---- projection files ----

TEST(ProjDatGridTest, FormatsInTheFilesProjection) {
  vd::test::TempDir dir;
  const std::string path = dir.File("utm30.dat");
  std::ofstream(path) << "+proj=utm +zone=30 +ellps=WGS84\n";
  ProjDat_Grid grid(path);
  ASSERT_TRUE(grid.loaded());
  UTM_WGS84_Grid utm;
  const UtmText u = SplitUtm(Format(utm, 51.5, -0.13));

  char want[64];
  std::snprintf(want, sizeof want, "%7d %7d", u.easting, u.northing);
  EXPECT_EQ(Format(grid, 51.5, -0.13), want);
  LatLon back{0.0, 0.0};
  ASSERT_TRUE(grid.ParsePosition(want, back.lat, back.lon));
  EXPECT_LT(GroundDistance(back, {51.5, -0.13}), 1.0);
  for (const char* bad : {"", "699196", "699196,5709335", "x 1", "nan 5709335"}) {
    EXPECT_FALSE(grid.ParsePosition(bad, back.lat, back.lon)) << bad;
  }

  ProjDat_Grid from_text("+proj=utm +zone=30 +ellps=WGS84");
  ASSERT_TRUE(from_text.loaded());
  EXPECT_EQ(Format(from_text, 51.5, -0.13), want);

  ProjDat_Grid missing(dir.File("none.dat"));
  EXPECT_FALSE(missing.loaded());
  std::string text = "keep";
  EXPECT_FALSE(missing.FormatPosition(51.5, -0.13, text));
  EXPECT_EQ(text, "keep");
  EXPECT_FALSE(missing.ParsePosition(want, back.lat, back.lon));
}

}  // namespace
