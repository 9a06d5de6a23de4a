#include "overlays/lat_lon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// Degree lengths straight from the WGS84 ellipsoid's radii of curvature, in nautical miles.
constexpr double kA = 6378137.0;
constexpr double kF = 1 / 298.257223563;
constexpr double kE2 = kF * (2 - kF);
constexpr double kRad = std::numbers::pi / 180;

double LonDegreeNm(double lat) {
  const double s = std::sin(lat * kRad);
  return kA / std::sqrt(1 - kE2 * s * s) * std::cos(lat * kRad) * kRad / 1852;
}

double LatDegreeNm(double lat) {
  const double s = std::sin(lat * kRad);
  return kA * (1 - kE2) / std::pow(1 - kE2 * s * s, 1.5) * kRad / 1852;
}

// The longitude table is exact at whole degrees; the latitude table is a series that stays
// within 2e-5 of the ellipsoid's meridian (about 2.5 m in a degree).
constexpr double kRelative = 2e-5;
constexpr double kNm = 1e-4;

TEST(LatLon, NewIsZeroZero) { EXPECT_EQ(CLatLon(), CLatLon(0, 0)); }

TEST(LatLon, LocalOffsetTakesTheShortWayRoundTheMeridian) {
  const CLatLon east_side(0, 179);
  const CLatLon west_side(0, -179);
  const double two_degrees = 2 * LonDegreeNm(0);
  EXPECT_NEAR(west_side.LocalOffset(east_side).east, two_degrees, kNm);
  EXPECT_NEAR(east_side.LocalOffset(west_side).east, -two_degrees, kNm);
  EXPECT_NEAR(east_side.DistanceTo(west_side), two_degrees, kNm);
  EXPECT_NEAR(west_side.DistanceTo(east_side), two_degrees, kNm);
}

TEST(LatLon, DistancesAndBearingsAgainstTheEllipsoid) {
  struct Case {
    CLatLon from, to;
    double distance;  // nautical miles
    double bearing;   // degrees
  };
  const double diagonal_east = LonDegreeNm(60), diagonal_north = LatDegreeNm(60);
  const Case cases[] = {
      {{-0.5, 0}, {0.5, 0}, LatDegreeNm(0), 0},
      {{0, 0}, {0, 1}, LonDegreeNm(0), 90},
      {{0.5, 7}, {-0.5, 7}, LatDegreeNm(0), 180},
      {{0, 0}, {0, -1}, LonDegreeNm(0), 270},
      {{45, 10}, {45, 12}, 2 * LonDegreeNm(45), 90},
      {{59.5, 10}, {60.5, 11}, std::hypot(diagonal_east, diagonal_north),
       std::atan2(diagonal_east, diagonal_north) / kRad},
      {{60.5, 11}, {59.5, 10}, std::hypot(diagonal_east, diagonal_north),
       180 + std::atan2(diagonal_east, diagonal_north) / kRad},
      {{-33.5, 151}, {-34.5, 150}, std::hypot(LonDegreeNm(34), LatDegreeNm(34)),
       180 + std::atan2(LonDegreeNm(34), LatDegreeNm(34)) / kRad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from.lat << "," << c.from.lon << " -> " << c.to.lat
                                    << "," << c.to.lon);
    double distance = -1, bearing = -1;
    c.from.DistanceAndBearingTo(c.to, distance, bearing);
    EXPECT_NEAR(distance, c.distance, c.distance * kRelative);
    EXPECT_NEAR(c.from.DistanceTo(c.to), distance, 1e-12);
    EXPECT_NEAR(bearing, c.bearing, 1e-3);
    EXPECT_GE(bearing, 0);
    EXPECT_LT(bearing, 360);
  }
}

TEST(LatLon, MoveBy) {
  CLatLon p(0, 20);
  p.MoveBy(LonDegreeNm(0), 90);
  EXPECT_NEAR(p.lat, 0, 1e-12);
  EXPECT_NEAR(p.lon, 21, 1e-5);

  CLatLon q(30, 5);
  q.MoveBy(LatDegreeNm(30), 0);
  EXPECT_NEAR(q.lat, 31, kRelative);
  EXPECT_NEAR(q.lon, 5, 1e-12);

  // Both steps use the old latitude: the way back by the measured distance and bearing lands
  // close to the start over a short hop.
  const CLatLon start(50, -4);
  CLatLon moved = start;
  moved.MoveBy(10, 30);
  double distance, bearing;
  start.DistanceAndBearingTo(moved, distance, bearing);
  EXPECT_NEAR(distance, 10, 0.01);
  EXPECT_NEAR(bearing, 30, 0.05);

  double lat = 50, lon = -4;
  OffsetPointByBearing(lat, lon, 10, 30.0f);
  EXPECT_NEAR(lat, moved.lat, 1e-9);
  EXPECT_NEAR(lon, moved.lon, 1e-9);
}

TEST(LatLon, MovingFromAPoleKeepsANumber) {
  CLatLon pole(90, 40);
  pole.MoveBy(10, 0);
  EXPECT_EQ(pole.lon, 40);
  EXPECT_TRUE(std::isfinite(pole.lat));
  double lat = -90, lon = 12;
  OffsetPointByBearing(lat, lon, 5, 90.0f);
  EXPECT_EQ(lon, 12);
  EXPECT_NEAR(lat, -90, 1e-9);
}

}  // namespace
