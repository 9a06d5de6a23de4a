// Route measurements: the leg and cross-track of a position, profile samples with terrain
// heights, and climb and descent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/terrain_world.h"

namespace {

class RouteMeasurementsTest : public ::testing::Test {
 protected:
  vd::test::TerrainWorld world;
};

// ---- Legs and cross-track ----

// A route north from A to B, then east to C (grid rows grow southwards).
TEST_F(RouteMeasurementsTest, ComputeLegsFindsTheLegAndTheSideOfAPosition) {
  CObjWaypoint* a = world.Mark("A", 2, 6);
  CObjWaypoint* b = world.Mark("B", 2, 2);
  CObjWaypoint* c = world.Mark("C", 6, 2);
  // The same corner twice: the zero-length leg between them is not a leg.
  CObjWaypoint* b2 = world.Mark("B2", 2, 2);
  // foot: the grid point on the leg nearest the position.
  struct Case {
    const char* name;
    double x, y;
    CObjWaypoint* mark;
    CObjWaypoint* next;
    double foot_x, foot_y;
    bool left;
    double bearing;
  };
  const Case cases[] = {
      {"east of the first leg", 2.5, 4, b, c, 2, 4, false, 0},
      {"west of the first leg", 1.5, 4, b, c, 2, 4, true, 0},
      {"north of the second leg", 4, 1.5, c, nullptr, 4, 2, true, 90},
      // Nearer the first leg's line than the second's, but past the bisector at B: the
      // second leg is the one being sailed.
      {"past the corner, close to the first leg's line", 2.2, 0, c, nullptr, 2.2, 2, true, 90},
      {"beyond the last point", 8, 2, c, nullptr, 8, 2, false, 90},
  };
  CObjRoute* plain = world.Route({a, b, c});
  CObjRoute* doubled = world.Route({a, b, b2, c});
  for (CObjRoute* route : {plain, doubled}) {
    for (const Case& t : cases) {
      SCOPED_TRACE(t.name + std::string(route == doubled ? ", doubled corner" : ""));
      double cross = -1, bearing = -1;
      bool left = !t.left;
      CObjWaypoint* next = a;
      const CLatLon position = world.At(t.x, t.y);
      EXPECT_EQ(route->ComputeLegs(position, cross, left, bearing, next), t.mark);
      EXPECT_EQ(next, t.next);
      const double expected = position.DistanceTo(world.At(t.foot_x, t.foot_y));
      EXPECT_NEAR(cross, expected, 0.01 * std::max(expected, 0.1));
      if (expected > 0) {
        EXPECT_EQ(left, t.left);
      }
      EXPECT_NEAR(bearing, t.bearing, 0.5);
    }
  }
}

TEST_F(RouteMeasurementsTest, ComputeLegsBeforeTheStartOrWithoutLegsGivesTheFirstMark) {
  CObjWaypoint* a = world.Mark("A", 2, 6);
  CObjWaypoint* b = world.Mark("B", 2, 2);
  double cross = -1, bearing = 0;
  bool left = false;
  CObjWaypoint* next = b;
  // South of the start: no leg is reached yet.
  EXPECT_EQ(world.Route({a, b})->ComputeLegs(world.At(2, 7), cross, left, bearing, next), a);
  EXPECT_EQ(next, nullptr);
  EXPECT_EQ(cross, 0);
  next = b;
  EXPECT_EQ(world.Route({a})->ComputeLegs(world.At(2, 7), cross, left, bearing, next), nullptr);
  EXPECT_EQ(next, nullptr);
}

// ---- Samples ----

// Legs of equal length along one row: the records fall evenly on each leg, the first of each
// leg carrying its start mark and the last record the last mark; each value is the height.
TEST_F(RouteMeasurementsTest, SamplePositionsSpreadsTheRecordsOverTheLegs) {
  CObjWaypoint* a = world.Mark("A", 1, 2);
  CObjWaypoint* b = world.Mark("B", 3, 2);
  CObjWaypoint* c = world.Mark("C", 5, 2);
  CObjRoute* route = world.Route({a, b, c});
  route->length = 0;
  std::vector<ProfileSample> records(8, {7.0f, c, 1, 1});
  route->SamplePositions(records);
  const double xs[] = {1, 1.5, 2, 2.5, 3, 3 + 2.0 / 3, 3 + 4.0 / 3, 5};
  CObjWaypoint* const marks[] = {a, nullptr, nullptr, nullptr, b, nullptr, nullptr, c};
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    const CLatLon expected = world.At(xs[i], 2);
    EXPECT_NEAR(records[i].lat, expected.lat, 1e-12);
    EXPECT_NEAR(records[i].lon, expected.lon, 1e-12);
    EXPECT_EQ(records[i].mark, marks[i]);
    EXPECT_NEAR(records[i].value, 100 + 10 * xs[i], 1e-3);
  }
  EXPECT_NEAR(route->length, a->position.DistanceTo(c->position), 1e-9);
}

TEST_F(RouteMeasurementsTest, SamplePositionsBetweenCoversOnlyTheSpan) {
  CObjWaypoint* a = world.Mark("A", 1, 2);
  CObjWaypoint* b = world.Mark("B", 3, 2);
  CObjWaypoint* c = world.Mark("C", 5, 2);
  CObjWaypoint* d = world.Mark("D", 5, 5);
  CObjRoute* route = world.Route({a, b, c, d});
  std::vector<ProfileSample> records(4);
  route->SamplePositionsBetween(records, 1, 2);
  EXPECT_EQ(records.front().mark, b);
  EXPECT_EQ(records.front().lon, b->position.lon);
  EXPECT_EQ(records.back().mark, c);
  EXPECT_EQ(records.back().lon, c->position.lon);
  // The three records before the last share the leg: x = 3, 3 2/3, 4 1/3.
  EXPECT_NEAR(records[2].value, 130 + 20 * 2.0 / 3, 1e-3);
}

// Where the file has no height (off the grid, or at its last column, which has no neighbour
// to interpolate with), and without any elevation file, the height is 0.
TEST_F(RouteMeasurementsTest, MissingHeightsAreZero) {
  CObjRoute* route = world.Route({world.Mark("A", 1, 2), world.Mark("B", 25, 2)});
  std::vector<ProfileSample> records(25);
  route->SamplePositions(records);
  for (const ProfileSample& record : records) {
    const double x = (record.lon - world.terrain.west) / world.terrain.cell_degrees;
    EXPECT_NEAR(record.value, x < 11 ? 100 + 10 * x : 0, 1e-3) << x;
  }
  world.app.file = nullptr;
  route->SamplePositions(records);
  for (const ProfileSample& record : records) EXPECT_EQ(record.value, 0.0f);
}

// ---- Climb and descent ----

TEST_F(RouteMeasurementsTest, AscentAndDescentFollowTheTerrain) {
  CObjWaypoint* a = world.Mark("A", 1, 2);
  CObjWaypoint* b = world.Mark("B", 9, 2);
  CObjWaypoint* c = world.Mark("C", 3, 3);
  CObjWaypoint* d = world.Mark("D", 6, 3);
  CObjRoute* route = world.Route({a, b, c, d});
  double ascent = -1, descent = -1;
  route->GetAscentDescent(ascent, descent);
  EXPECT_NEAR(ascent, 80 + 30, 0.01);
  EXPECT_NEAR(descent, 60, 0.01);
  route->GetAscentDescentBetween(ascent, descent, 1, 2);
  EXPECT_NEAR(ascent, 0, 0.01);
  EXPECT_NEAR(descent, 60, 0.01);
}

TEST_F(RouteMeasurementsTest, AnEmptyRouteChangesNothing) {
  CObjRoute* route = world.Route({});
  double ascent = 5, descent = 6;
  route->GetAscentDescent(ascent, descent);
  EXPECT_EQ(ascent, 5);
  EXPECT_EQ(descent, 6);
  std::vector<ProfileSample> records(3, {7.0f, nullptr, 1, 2});
  route->SamplePositions(records);
  for (const ProfileSample& record : records) {
    EXPECT_EQ(record.value, 7.0f);
    EXPECT_EQ(record.lon, 2);
  }
}

}  // namespace
