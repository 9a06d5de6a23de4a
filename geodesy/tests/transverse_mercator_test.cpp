#include "geodesy/transverse_mercator.h"

#include <gtest/gtest.h>

#include <GeographicLib/Constants.hpp>
#include <GeographicLib/Geocentric.hpp>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMetresPerDegree = 111320.0;

double Dms(double d, double m, double s) { return d + m / 60.0 + s / 3600.0; }

// The worked example of the Ordnance Survey's published guide to its projection (OSGB36).
TEST(TransverseMercatorTest, OrdnanceSurveyWorkedExample) {
  const TransverseMercator os = OrdnanceSurveyProjection();
  const double lat = Dms(52, 39, 27.2531);
  const double lon = Dms(1, 43, 4.5177);
  double e = 0.0;
  double n = 0.0;
  ASSERT_TRUE(TransverseMercatorForward(os, lat, lon, e, n));
  EXPECT_NEAR(e, 651409.903, 0.001);
  EXPECT_NEAR(n, 313177.270, 0.001);

  double back_lat = 0.0;
  double back_lon = 0.0;
  ASSERT_TRUE(TransverseMercatorInverse(os, 651409.903, 313177.270, back_lat, back_lon));
  EXPECT_NEAR(back_lat, lat, 1e-8);
  EXPECT_NEAR(back_lon, lon, 1e-8);
}

// Forward then inverse agree within a millimetre across a whole zone (the truncated series
// differ most at the zone edge on the equator), in both hemispheres and the far north.
TEST(TransverseMercatorTest, InverseUndoesForwardAcrossAZone) {
  for (int zone : {1, 31, 60}) {
    const TransverseMercator tm = UtmProjection(kWgs84Ellipsoid, zone);
    const double cm = zone * 6 - 183;
    for (double lat = -80.0; lat <= 84.0; lat += 8.5) {
      for (double dlon = -3.0; dlon <= 3.0; dlon += 0.75) {
        double e = 0.0;
        double n = 0.0;
        ASSERT_TRUE(TransverseMercatorForward(tm, lat, cm + dlon, e, n));
        double back_lat = 0.0;
        double back_lon = 0.0;
        ASSERT_TRUE(TransverseMercatorInverse(tm, e, n, back_lat, back_lon));
        const double north = (back_lat - lat) * kMetresPerDegree;
        const double east = std::remainder(back_lon - (cm + dlon), 360.0) * kMetresPerDegree *
                            std::cos(lat * std::numbers::pi / 180);
        EXPECT_LT(std::hypot(north, east), 0.001) << zone << " " << lat << " " << dlon;
      }
    }
  }
}

TEST(TransverseMercatorTest, LongitudeDifferenceWrapsAtTheAntimeridian) {
  const TransverseMercator zone60 = UtmProjection(kWgs84Ellipsoid, 60);  // central meridian 177
  double e_west = 0.0, n_west = 0.0, e_east = 0.0, n_east = 0.0;
  ASSERT_TRUE(TransverseMercatorForward(zone60, 10.0, -179.0, e_east, n_east));
  ASSERT_TRUE(TransverseMercatorForward(zone60, 10.0, 181.0, e_west, n_west));
  EXPECT_DOUBLE_EQ(e_east, e_west);
  EXPECT_GT(e_east, 900000.0);  // 4 degrees east of the central meridian, not 356 west
  double lat = 0.0;
  double lon = 0.0;
  ASSERT_TRUE(TransverseMercatorInverse(zone60, e_east, n_east, lat, lon));
  EXPECT_NEAR(lon, -179.0, 1e-7);  // back in -180..180
}

TEST(TransverseMercatorTest, BadInputFailsWithoutTouchingTheOutputs) {
  const TransverseMercator tm = UtmProjection(kWgs84Ellipsoid, 31);
  struct Forward {
    double lat, lon;
  };
  for (const Forward& f : {Forward{kNaN, 3}, Forward{10, kNaN}, Forward{kInf, 3},
                           Forward{10, -kInf}, Forward{90.0001, 3}, Forward{-91, 3}}) {
    double e = -1.0;
    double n = -1.0;
    EXPECT_FALSE(TransverseMercatorForward(tm, f.lat, f.lon, e, n)) << f.lat << " " << f.lon;
    EXPECT_EQ(e, -1.0);
    EXPECT_EQ(n, -1.0);
  }
  // Northings no meridian arc reaches; the last one can never get within 1e-7 m because
  // neighbouring doubles there are further apart than that. None may hang.
  struct Inverse {
    double e, n;
  };
  for (const Inverse& i :
       {Inverse{kNaN, 0}, Inverse{500000, kNaN}, Inverse{kInf, 0}, Inverse{500000, -kInf},
        Inverse{500000, 3e7}, Inverse{500000, 1e300}, Inverse{500000, 1e17}}) {
    double lat = -1.0;
    double lon = -1.0;
    EXPECT_FALSE(TransverseMercatorInverse(tm, i.e, i.n, lat, lon)) << i.e << " " << i.n;
    EXPECT_EQ(lat, -1.0);
    EXPECT_EQ(lon, -1.0);
  }
}

// The datum shift against an independent geocentric conversion; heights of a few hundred
// metres after the shift are ignored, which costs well under a centimetre.
TEST(DatumShiftTest, MatchesAnExactGeocentricRoundTrip) {
  const double a = 6378206.4;
  const double b = 6356583.8;
  const double dx = -8.0, dy = 160.0, dz = 176.0;
  DatumShift shift;
  shift.Init(a, b, dx, dy, dz);
  const GeographicLib::Geocentric local(a, (a - b) / a);
  const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
  for (const auto& [lat, lon] : {std::pair{45.0, -100.0}, std::pair{20.0, -156.0},
                                 std::pair{64.0, -150.0}, std::pair{-33.0, 151.0}}) {
    double x = 0, y = 0, z = 0;
    local.Forward(lat, lon, 0.0, x, y, z);
    double want_lat = 0, want_lon = 0, want_h = 0;
    wgs84.Reverse(x + dx, y + dy, z + dz, want_lat, want_lon, want_h);
    double got_lat = lat;
    double got_lon = lon;
    shift.ToWGS84(got_lat, got_lon);
    EXPECT_NEAR(got_lat, want_lat, 1e-7) << lat << " " << lon;
    EXPECT_NEAR(got_lon, want_lon, 1e-7) << lat << " " << lon;
  }
}

TEST(HelmertTest, OsgbRoundTripReturnsToTheStartWithinCentimetres) {
  for (const auto& [lat, lon] : {std::pair{50.07, -5.7}, std::pair{51.5, -0.13},
                                 std::pair{57.48, -4.22}, std::pair{60.15, -1.15}}) {
    double e = 0.0;
    double n = 0.0;
    ASSERT_TRUE(Wgs84ToOsGrid(lat, lon, e, n));
    double back_lat = 0.0;
    double back_lon = 0.0;
    ASSERT_TRUE(OsGridToWgs84(e, n, back_lat, back_lon));
    EXPECT_NEAR((back_lat - lat) * kMetresPerDegree, 0.0, 0.01);
    EXPECT_NEAR((back_lon - lon) * kMetresPerDegree * std::cos(lat * std::numbers::pi / 180), 0.0,
                0.01);
  }
}

TEST(OsGridTest, OffGridPositionsAreWrittenButReportedOffGrid) {
  double e = 0.0;
  double n = 0.0;
  EXPECT_FALSE(Wgs84ToOsGrid(48.85, 2.35, e, n));  // Paris: south of the grid
  EXPECT_LT(n, 0.0);
  EXPECT_TRUE(Wgs84ToOsGrid(51.5, -0.13, e, n));
  EXPECT_FALSE(Wgs84ToOsGrid(kNaN, 0.0, e, n));
  EXPECT_FALSE(Wgs84ToOsGrid(95.0, 0.0, e, n));
}

TEST(OsGridReferenceTest, KnownReferences) {
  std::string text;
  ASSERT_TRUE(FormatOsGridReference(651409.0, 313177.0, text));
  EXPECT_EQ(text, "TG 51409 13177");
  ASSERT_TRUE(FormatOsGridReference(651409.4, 313176.5, text));  // rounded half up
  EXPECT_EQ(text, "TG 51409 13177");
  ASSERT_TRUE(FormatOsGridReference(0.0, 0.0, text));
  EXPECT_EQ(text, "SV 00000 00000");
  ASSERT_TRUE(FormatOsGridReference(700000.0, 1300000.0, text));  // the far corner
  EXPECT_EQ(text, "JH 00000 00000");

  double e = 0.0;
  double n = 0.0;
  ASSERT_TRUE(ParseOsGridReference("TG 514 131", e, n));
  EXPECT_EQ(e, 651400.0);
  EXPECT_EQ(n, 313100.0);
  ASSERT_TRUE(ParseOsGridReference(" \t tg51401310", e, n));  // lower case, 4+4 digits
  EXPECT_EQ(e, 651400.0);
  EXPECT_EQ(n, 313100.0);
  ASSERT_TRUE(ParseOsGridReference("NN 16650 71250", e, n));
  EXPECT_EQ(e, 216650.0);
  EXPECT_EQ(n, 771250.0);
}

TEST(OsGridReferenceTest, EverySquareRoundTrips) {
  for (int qe = 0; qe < 7; ++qe) {
    for (int qn = 0; qn < 13; ++qn) {
      const double e = qe * 100000.0 + 12345.0;
      const double n = qn * 100000.0 + 67890.0;
      std::string text;
      ASSERT_TRUE(FormatOsGridReference(e, n, text));
      ASSERT_EQ(text.size(), 14u);
      EXPECT_NE(text[1], 'I') << text;
      double back_e = 0.0;
      double back_n = 0.0;
      ASSERT_TRUE(ParseOsGridReference(text, back_e, back_n)) << text;
      EXPECT_EQ(back_e, e) << text;
      EXPECT_EQ(back_n, n) << text;
    }
  }
}

TEST(OsGridReferenceTest, BadTextAndOffGridFail) {
  std::string text = "keep";
  EXPECT_FALSE(FormatOsGridReference(-1.0, 100.0, text));
  EXPECT_FALSE(FormatOsGridReference(700001.0, 100.0, text));
  EXPECT_FALSE(FormatOsGridReference(100.0, 1300001.0, text));
  EXPECT_FALSE(FormatOsGridReference(kNaN, 100.0, text));
  EXPECT_EQ(text, "keep");

  for (const char* bad : {"", "   ", "T", "TG", "TG 12 12", "TG 1234 123", "TG 123456 123456",
                          "TG 12345 123456", "XG 12345 12345", "TI 12345 12345", "T1 12345 12345",
                          "1G 12345 12345", "TG", "12345 12345"}) {
    double e = -1.0;
    double n = -1.0;
    EXPECT_FALSE(ParseOsGridReference(bad, e, n)) << bad;
    EXPECT_EQ(e, -1.0);
    EXPECT_EQ(n, -1.0);
  }
}

}  // namespace
