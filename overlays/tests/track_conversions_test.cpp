// Converting a track to a route of new marks and a route to a track.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/terrain_world.h"

namespace {

class TrackConversionsTest : public ::testing::Test {
 protected:
  CObjTrack* TrackThrough(const std::vector<CLatLon>& points) {
    CObjTrack* track = world.doc.Add(new CObjTrack);
    track->update_distance = 15;  // the route keeps within 60 m of the track
    for (const CLatLon& p : points) track->AddPoint(p.lat, p.lon, 0, 0.0f, 0, 0);
    track->RecomputeTotals();
    return track;
  }
  bool InDocument(const COstrelObject* object) const {
    return std::find(world.doc.objects.begin(), world.doc.objects.end(), object) !=
           world.doc.objects.end();
  }
  static std::vector<std::string> Names(const CObjRoute& route) {
    std::vector<std::string> names;
    for (const CObjWaypoint* mark : route.points()) names.push_back(mark->name);
    return names;
  }

  vd::test::TerrainWorld world;
};

// 100 points on a straight line become a route of its two ends, made with the defaults of
// route points; the track hides itself.
TEST_F(TrackConversionsTest, AStraightTrackBecomesARouteOfItsEnds) {
  std::vector<CLatLon> points;
  for (int i = 0; i < 100; ++i) points.push_back(world.At(1 + i * 0.05, 2 + i * 0.03));
  CObjTrack* track = TrackThrough(points);
  CObjRoute* route = track->ConvertToRoute();
  ASSERT_NE(route, nullptr);
  EXPECT_TRUE(InDocument(route));
  EXPECT_EQ(Names(*route), (std::vector<std::string>{"WP01", "WP02"}));
  for (size_t i = 0; i < 2; ++i) {
    const CObjWaypoint* mark = route->points()[i];
    const CLatLon& expected = i == 0 ? points.front() : points.back();
    EXPECT_NEAR(mark->position.lat, expected.lat, 1e-12);
    EXPECT_NEAR(mark->position.lon, expected.lon, 1e-12);
    EXPECT_TRUE(InDocument(mark));
    ASSERT_NE(mark->category(), nullptr);
    EXPECT_EQ(mark->category()->name(), "Waypoints");
    EXPECT_EQ(mark->colour, 0x123456u);
    EXPECT_EQ(mark->symbol, 3);
    EXPECT_FALSE(mark->being_placed);
  }
  EXPECT_FALSE(route->IsClosed());
  EXPECT_NEAR(route->length, track->total_distance, 1e-6 * track->total_distance);
  EXPECT_FALSE(track->visible);
}

// The hidden original tells the views and the explorer, whose tick follows it.
TEST_F(TrackConversionsTest, TheHiddenOriginalIsAnnounced) {
  std::vector<vd::test::ChangeRecord> log;
  world.doc.log = &log;
  const auto told = [&](const COstrelObject* object) {
    return std::any_of(log.begin(), log.end(), [&](const vd::test::ChangeRecord& r) {
      return r.object == object && r.code == kChangeEditState;
    });
  };
  CObjTrack* track = TrackThrough({world.At(1, 2), world.At(1.5, 2.5)});
  ASSERT_NE(track->ConvertToRoute(), nullptr);
  EXPECT_TRUE(told(track));
  CObjRoute* route = world.Route({world.Mark("A", 1, 1), world.Mark("B", 5, 1)});
  ASSERT_NE(route->ConvertToTrack(), nullptr);
  EXPECT_TRUE(told(route));
  world.doc.log = nullptr;
}

// A point off the line of its neighbours stays when it lies beyond four update distances of
// that line, measured in metres on the ground: at 60 degrees north a degree of longitude is
// half as long as one of latitude.
TEST_F(TrackConversionsTest, PointsBeyondFourUpdateDistancesAreKept) {
  for (double offset_metres : {50.0, 70.0}) {
    SCOPED_TRACE(offset_metres);
    const CLatLon south{60.0, 10.0};
    CLatLon north = south, middle = south;
    north.MoveBy(2.0, 0.0);
    middle.MoveBy(1.0, 0.0);
    middle.MoveBy(offset_metres / 1852.0, 90.0);
    CObjRoute* route = TrackThrough({south, middle, north})->ConvertToRoute();
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->points().size(), offset_metres < 60 ? 2u : 3u);
  }
}

TEST_F(TrackConversionsTest, AClosedTrackMakesAClosedRoute) {
  CObjTrack* track = TrackThrough({world.At(1, 1), world.At(5, 1), world.At(5, 5), world.At(1, 5)});
  track->closed = true;
  CObjRoute* route = track->ConvertToRoute();
  ASSERT_NE(route, nullptr);
  EXPECT_TRUE(route->IsClosed());
  EXPECT_EQ(Names(*route), (std::vector<std::string>{"WP01", "WP02", "WP03", "WP04", "WP01"}));
}

TEST_F(TrackConversionsTest, ATrackOfOnePointMakesNothing) {
  CObjTrack* track = TrackThrough({world.At(1, 1)});
  const size_t objects = world.doc.objects.size();
  EXPECT_EQ(track->ConvertToRoute(), nullptr);
  EXPECT_EQ(world.doc.objects.size(), objects);
  EXPECT_TRUE(track->visible);
}

TEST_F(TrackConversionsTest, ARouteBecomesATrackThroughItsPoints) {
  CObjWaypoint* a = world.Mark("A", 1, 1);
  CObjWaypoint* b = world.Mark("B", 5, 1);
  CObjWaypoint* c = world.Mark("C", 5, 5);
  for (bool closed : {false, true}) {
    SCOPED_TRACE(closed);
    CObjRoute* route = closed ? world.Route({a, b, c, a}) : world.Route({a, b, c});
    CObjTrack* track = route->ConvertToTrack();
    ASSERT_NE(track, nullptr);
    EXPECT_TRUE(InDocument(track));
    ASSERT_EQ(track->points().size(), route->points().size());
    for (size_t i = 0; i < track->points().size(); ++i) {
      EXPECT_EQ(track->points()[i].position, route->points()[i]->position);
      EXPECT_EQ(track->points()[i].time, 0);
    }
    EXPECT_EQ(track->closed, closed);
    EXPECT_NEAR(track->total_distance, route->length, 1e-4);
    EXPECT_FALSE(route->visible);
  }
}

}  // namespace
