#include "geodesy/geo_bounds.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(GeoBoundsTest, BoxOfThePoints) {
  const std::vector<GeoPoint> points = {{50, -3}, {48.5, 2}, {kNaN, 7}, {51, kNaN}};
  const CGeoBounds b = CGeoBounds::FromPoints(points);
  EXPECT_EQ(b.min_lat, 48.5);
  EXPECT_EQ(b.max_lat, 51);
  EXPECT_EQ(b.min_lon, -3);
  EXPECT_EQ(b.max_lon, 7);
}

TEST(GeoBoundsTest, EmptyListGivesAnEmptyBox) {
  const CGeoBounds b = CGeoBounds::FromPoints({});
  EXPECT_EQ(b.min_lat, 1e300);
  EXPECT_EQ(b.max_lat, -1e300);
  EXPECT_EQ(b.min_lon, 1e300);
  EXPECT_EQ(b.max_lon, -1e300);
}

TEST(PointInPolygonVecTest, Cases) {
  const std::vector<GeoPoint> square = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
  std::vector<GeoPoint> twice = square;
  twice.insert(twice.end(), square.begin(), square.end());
  const std::vector<GeoPoint> line = {{0, 0}, {1, 1}};
  const std::vector<GeoPoint> one_spot(5, GeoPoint{0.5, 0.5});
  struct Case {
    const char* name;
    const std::vector<GeoPoint>* polygon;
    double lat, lon;
    bool inside;
  };
  const Case cases[] = {
      {"inside", &square, 0.5, 0.5, true},
      {"north of it", &square, 1.5, 0.5, false},
      {"east of it", &square, 0.5, 1.5, false},
      {"outline traced twice", &twice, 0.5, 0.5, true},
      {"two points", &line, 0.5, 0.5, false},
      {"all points the same", &one_spot, 0.5, 0.5, false},
      // A latitude equal to an edge's crossing counts as north of that edge.
      {"on the south edge", &square, 0.0, 0.5, true},
      {"on the north edge", &square, 1.0, 0.5, false},
      {"NaN latitude", &square, kNaN, 0.5, false},
      {"NaN longitude", &square, 0.5, kNaN, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PointInPolygonVec(*c.polygon, c.lat, c.lon), c.inside) << c.name;
  }
  const std::vector<GeoPoint> reversed(square.rbegin(), square.rend());
  EXPECT_TRUE(PointInPolygonVec(reversed, 0.5, 0.5));
}

}  // namespace
