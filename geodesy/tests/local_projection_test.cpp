#include "geodesy/local_projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geodesy/degree_length.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(LocalProjectionTest, FactorsAreMetresPerDegreeAtTheOrigin) {
  CLocalProjection p;
  p.SetOrigin(45.5, 7);
  EXPECT_DOUBLE_EQ(p.north_factor(), 1852 * LatDegreeLength(45.5));
  EXPECT_DOUBLE_EQ(p.east_factor(), 1852 * LonDegreeLength(45.5));
  EXPECT_EQ(p.origin_lat(), 45.5);
  EXPECT_EQ(p.origin_lon(), 7);

  p.SetOrigin(0, 0);
  const EastNorth en = p.Project(1.0 / 60, -2.0 / 60);
  EXPECT_NEAR(en.north_metres, 1852 * 59.70533251357 / 60, 1e-6);
  EXPECT_NEAR(en.east_metres, -2 * 1852 * 60.10771641029 / 60, 1e-6);
  EXPECT_DOUBLE_EQ(p.DistanceTo(1.0 / 60, -2.0 / 60), std::hypot(en.east_metres, en.north_metres));
  EXPECT_DOUBLE_EQ(p.DistanceSquared(1.0 / 60, -2.0 / 60),
                   en.east_metres * en.east_metres + en.north_metres * en.north_metres);
  // Both ends through the same factors, whatever the origin.
  p.SetOrigin(60, 10);
  EXPECT_NEAR(p.DistanceBetween(61, 11, 61, 12), p.east_factor(), 1e-6);
  EXPECT_NEAR(p.DistanceBetween(61, 11, 62, 11), p.north_factor(), 1e-6);
}

TEST(LocalProjectionTest, LongitudeDifferenceIsNotWrapped) {
  CLocalProjection p;
  p.SetOrigin(0, 179.5);
  EXPECT_NEAR(p.Project(0, -179.5).east_metres, -359 * p.east_factor(), 1e-3);
}

TEST(LocalProjectionTest, BearingsRunClockwiseFromNorthInZeroTo360) {
  CLocalProjection p;
  p.SetOrigin(30, 20);
  const double d = 0.01;
  struct Case {
    double lat, lon, bearing;
  };
  const Case cases[] = {
      {30 + d, 20, 0},   {30, 20 + d, 90}, {30 - d, 20, 180},
      {30, 20 - d, 270}, {30, 20, 0},  // the origin itself: 0, not -0
  };
  for (const Case& c : cases) {
    const RangeBearing rb = p.RangeBearingTo(c.lat, c.lon);
    EXPECT_EQ(rb.bearing_degrees, c.bearing) << c.lat << " " << c.lon;
    EXPECT_FALSE(std::signbit(rb.bearing_degrees));
    EXPECT_DOUBLE_EQ(rb.range_metres, p.DistanceTo(c.lat, c.lon));
  }
  // A hair west of north rounds to 360 + (-tiny) = 360, which is north: 0.
  CLocalProjection greenwich;
  greenwich.SetOrigin(30, 0);
  EXPECT_EQ(greenwich.RangeBearingTo(31, -1e-300).bearing_degrees, 0.0);
  EXPECT_NEAR(p.RangeBearingTo(30 - d, 20 - d).bearing_degrees,
              180 + std::atan2(p.east_factor(), p.north_factor()) * 180 / M_PI, 1e-9);
}

TEST(LocalProjectionTest, PolesUnknownAndNonFiniteOriginsProjectOntoTheOrigin) {
  for (double lat : {90.0, -90.0, 999.0, 95.0, kNaN, kInf, -kInf}) {
    CLocalProjection p;
    p.SetOrigin(50, 3);  // factors from before must not survive
    p.SetOrigin(lat, 999);
    EXPECT_EQ(p.north_factor(), 0.0) << lat;
    EXPECT_EQ(p.east_factor(), 0.0) << lat;
    if (std::isfinite(lat)) {
      const EastNorth en = p.Project(12.5, -4);
      EXPECT_EQ(en.north_metres, 0.0) << lat;
      EXPECT_EQ(en.east_metres, 0.0) << lat;
    }
  }
}

TEST(LocalProjectionTest, NonFinitePositionsGiveNaN) {
  CLocalProjection p;
  p.SetOrigin(10, 10);
  EXPECT_TRUE(std::isnan(p.DistanceTo(kNaN, 10)));
  EXPECT_TRUE(std::isnan(p.RangeBearingTo(10, kNaN).bearing_degrees));
  EXPECT_TRUE(std::isinf(p.DistanceTo(kInf, 10)));
}

}  // namespace
