#include "overlays/model/overlay_route.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_track.h"
#include "overlays/model/tests/model_test_support.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChangeRecorder;
using vd::test::kMetresPerDegree;

// A route of the manager through points given in metres north of (50, -1).
COverlayRoute* RouteNorth(CMarkManager& manager, const std::string& name,
                          std::initializer_list<double> metres_north) {
  auto route = std::make_unique<COverlayRoute>();
  route->name = name;
  int n = 0;
  for (double metres : metres_north) {
    auto point = std::make_unique<COverlayMark>(true);
    point->name = "p" + std::to_string(++n);
    point->latitude = 50 + metres / kMetresPerDegree;
    point->longitude = -1;
    route->InsertPoint(std::move(point), route->points.size());
  }
  return manager.AddRoute(std::move(route));
}

std::string Names(const COverlayRoute& route) {
  std::string names;
  for (const auto& point : route.points) names += point->name + " ";
  return names;
}

TEST(OverlayRoute, ReverseSwapsTheEndsOfItsName) {
  const std::pair<const char*, const char*> cases[] = {
      {"Home to Harbour", "Harbour to Home"},
      {"A to B to C", "B to C to A"},
      {"Homeward", "Homeward"},
  };
  for (const auto& [name, reversed] : cases) {
    CMarkManager manager;
    COverlayRoute* route = RouteNorth(manager, name, {0, 100, 200});
    route->Reverse();
    EXPECT_EQ(route->name, reversed);
    EXPECT_EQ(Names(*route), "p3 p2 p1 ");
  }
}

TEST(OverlayRoute, RemovingPoints) {
  CMarkManager manager;
  ChangeRecorder changes;
  COverlayRoute* route = RouteNorth(manager, "Three", {0, 100, 200});
  manager.DeleteMark(route->points[1].get());
  EXPECT_EQ(Names(*route), "p1 p3 ");
  EXPECT_TRUE(changes.Saw(route, COverlayObject::kAppeared));
  EXPECT_FALSE(route->deleted);

  manager.DeleteMark(route->points[0].get());  // a route of 2 points goes as a whole
  EXPECT_TRUE(route->deleted);
  EXPECT_TRUE(route->purge);
  EXPECT_TRUE(route->points.empty());
  EXPECT_TRUE(route->name.empty());
  EXPECT_FALSE(route->IsLive());
  EXPECT_TRUE(changes.Saw(route, COverlayObject::kGoingAway));
  EXPECT_EQ(manager.routes.size(), 1u) << "the deletion record stays";
}

TEST(OverlayRoute, SplitAt) {
  struct Case {
    size_t at;
    const char* kept;
    const char* split;
  };
  const Case cases[] = {
      {0, "p1 ", "p1 p2 p3 p4 "},
      {2, "p1 p2 p3 ", "p3 p4 "},
      {3, "p1 p2 p3 p4 ", "p4 "},
  };
  for (const Case& c : cases) {
    CMarkManager manager;
    COverlayRoute* route = RouteNorth(manager, "Long", {0, 100, 200, 300});
    route->type = "Leg";
    route->pattern = 3;
    COverlayRoute* split = route->SplitAt(route->points[c.at].get());
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(manager.routes.back().get(), split);
    EXPECT_EQ(split->name, "Long-split");
    EXPECT_EQ(split->type, "Leg");
    EXPECT_EQ(split->pattern, 3);
    EXPECT_EQ(Names(*route), c.kept);
    EXPECT_EQ(Names(*split), c.split);
    for (const auto& point : split->points) EXPECT_EQ(point->parent, split);
    EXPECT_EQ(split->points[0]->latitude, route->points[c.at]->latitude);
  }
  CMarkManager manager;
  COverlayRoute* route = RouteNorth(manager, "Other", {0, 100});
  COverlayMark stranger;
  EXPECT_EQ(route->SplitAt(&stranger), nullptr);
}

TEST(OverlayRoute, JoinDropsTheOtherStartOnlyWhereItCoincides) {
  struct Case {
    double other_start;
    const char* names;
  };
  const Case cases[] = {{100, "p1 p2 q2 q3 "}, {150, "p1 p2 q1 q2 q3 "}};
  for (const Case& c : cases) {
    CMarkManager manager;
    COverlayRoute* route = RouteNorth(manager, "First", {0, 100});
    COverlayRoute* other = RouteNorth(manager, "Second", {c.other_start, 200, 300});
    for (const auto& point : other->points) point->name[0] = 'q';
    route->Join(*other);
    EXPECT_EQ(Names(*route), c.names);
    for (const auto& point : route->points) EXPECT_EQ(point->parent, route);
    EXPECT_TRUE(other->deleted);
    EXPECT_TRUE(other->points.empty());
  }
}

TEST(OverlayRoute, LengthAndLegs) {
  CMarkManager manager;
  // Steps of 2 m and 1.5 m merge into the following legs.
  COverlayRoute* route = RouteNorth(manager, "Legs", {0, 2, 500, 501.5, 1000});
  EXPECT_NEAR(route->GetLength(), 1000, 1);
  ASSERT_EQ(route->BuildLegs(), 2u);
  EXPECT_EQ(route->legs[0].start_mark, route->points[0].get());
  EXPECT_EQ(route->legs[0].end_mark, route->points[2].get());
  EXPECT_NEAR(route->legs[0].length, 500, 1);
  EXPECT_EQ(route->legs[1].start_mark, route->points[2].get());
  EXPECT_NEAR(route->legs[0].distance_to_end, 500, 1);
  EXPECT_EQ(route->legs[1].distance_to_end, 0.0);

  const RouteLegMatch before = route->FindLeg(50 - 300 / kMetresPerDegree, -1);
  EXPECT_EQ(before.target, route->points[0].get()) << "behind the start: the first point";
  EXPECT_NEAR(before.distance_to_end, 1000, 1);
  const RouteLegMatch on_second = route->FindLeg(50 + 700 / kMetresPerDegree, -1.0001);
  EXPECT_EQ(on_second.target, route->points[4].get());
  EXPECT_EQ(on_second.leg_start, route->points[2].get());

  COverlayRoute* short_route = RouteNorth(manager, "Short", {0, 2});
  EXPECT_EQ(short_route->BuildLegs(), 0u) << "2 m form no leg";
}

TEST(OverlayRoute, RouteRecordAlone) {
  vd::test::TempDir dir;
  const std::string path = dir.File("route.bin");
  CMarkManager manager;
  COverlayRoute* route = RouteNorth(manager, "Solo", {0, 100});
  route->points[0]->created = 100.0;
  route->created = 5000.0;
  route->description = "desc";
  route->is_navigation = true;
  ASSERT_TRUE(vd::test::WriteStream(
      path, [&](CSerializableStream& s) { return s.WriteRecord(*route); }));
  CSerializableStream::RecordResult result;
  ASSERT_TRUE(vd::test::ReadStream(path, [&](CSerializableStream& s) {
    result = s.ReadRecord();
    return result.status == CSerializableStream::RecordStatus::kRecord;
  }));
  auto* read = dynamic_cast<COverlayRoute*>(result.object.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->description, "desc");
  EXPECT_TRUE(read->is_navigation);
  ASSERT_EQ(read->points.size(), 2u);
  EXPECT_EQ(read->points[0]->parent, read);
  EXPECT_EQ(read->points[0]->icon, CMarkManager::Settings().default_wp_icon);
  EXPECT_EQ(read->created, 100.0) << "a route is no younger than its first point";
}

TEST(OverlayRoute, ToTrackAndGpx) {
  CMarkManager manager;
  COverlayRoute* route = RouteNorth(manager, "R & R", {0, 100});
  route->colour = 0x80FF8000;
  route->width = 2.5f;
  route->pattern = 4;
  COverlayTrack track;
  route->AppendToTrack(track);
  ASSERT_EQ(track.PointCount(), 2u);
  EXPECT_EQ(track.GetLastPoint()->time, 0.0);

  std::vector<std::pair<double, double>> lon_lat;
  route->GetPoints(lon_lat);
  ASSERT_EQ(lon_lat.size(), 2u);
  EXPECT_EQ(lon_lat[0].first, -1.0);

  std::string gpx;
  ASSERT_TRUE(route->WriteGPX(gpx));
  EXPECT_TRUE(gpx.starts_with("<rte>\n<name><![CDATA[R & R]]></name>\n<extensions> <xstyle:line>\n"
                              "<xstyle:color>ff8000</xstyle:color>\n"
                              "<xstyle:opacity>0.50</xstyle:opacity>\n"
                              "<xstyle:width>2.50</xstyle:width>\n"
                              "<xstyle:pattern>DashDotDot</xstyle:pattern>\n"
                              "</xstyle:line></extensions>\n"
                              "<rtept lat=\"50.0000000000\" lon=\"-1.0000000000\">\n"))
      << gpx;
  EXPECT_TRUE(gpx.ends_with("</rtept>\n</rte>\n"));
}

}  // namespace

namespace {

// A route of the manager through (east, north) metres in the flat plane around (50, -1).
COverlayRoute* RouteThrough(CMarkManager& manager,
                            std::initializer_list<std::pair<double, double>> east_north) {
  CLocalProjection plane;
  plane.SetOrigin(50, -1);
  auto route = std::make_unique<COverlayRoute>();
  for (const auto& [east, north] : east_north) {
    auto point = std::make_unique<COverlayMark>(true);
    point->latitude = 50 + north / plane.north_factor();
    point->longitude = -1 + east / plane.east_factor();
    route->InsertPoint(std::move(point), route->points.size());
  }
  return manager.AddRoute(std::move(route));
}

}  // namespace

TEST(OverlayRoute, SegmentTableOfAnLShapedRoute) {
  CMarkManager manager;
  // North 400 m, east 300 m, 1 m more north (merged into the next step), then 399 m north.
  COverlayRoute* route = RouteThrough(manager, {{0, 0}, {0, 400}, {300, 400}, {300, 401}, {300, 800}});
  ASSERT_EQ(route->BuildSegmentTable(), 3u);
  struct Expected {
    size_t end_index;
    double east, north;  // unit direction
    double length;
    float later;
  };
  const Expected expected[] = {
      {1, 0, 1, 400, 700}, {2, 1, 0, 300, 400}, {4, 0, 1, 400, 0}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const RouteSegment& segment = route->legs[i];
    EXPECT_EQ(segment.end_mark, route->points[expected[i].end_index].get());
    EXPECT_NEAR(segment.direction.east, expected[i].east, 1e-3);
    EXPECT_NEAR(segment.direction.north, expected[i].north, 1e-3);
    EXPECT_NEAR(segment.length, expected[i].length, 0.5);
    EXPECT_NEAR(segment.distance_to_end, expected[i].later, 1.0);
    EXPECT_FALSE(segment.beside);
    EXPECT_EQ(segment.cross_squared, 0.0);
  }
  // The plane is centred on the middle of the extent: the first start lies 150 m west and
  // 400 m south of it.
  EXPECT_NEAR(route->legs[0].start.east_metres, -150, 0.5);
  EXPECT_NEAR(route->legs[0].start.north_metres, -400, 0.5);

  // A route whose points all lie within 3 m of its first has none; one of fewer than 2 points
  // keeps no stale table.
  COverlayRoute* huddle = RouteThrough(manager, {{0, 0}, {2, 0}, {0, 2.5}, {-2, -2}});
  EXPECT_EQ(huddle->BuildSegmentTable(), 0u);
  while (route->points.size() > 1) route->points.pop_back();
  EXPECT_EQ(route->BuildSegmentTable(), 0u);
  EXPECT_TRUE(route->legs.empty());
}

TEST(OverlayRoute, PointAgainstASegment) {
  struct Case {
    const char* name;
    EastNorth point;
    std::optional<UnitVector> previous;
    bool beside;
    double squared;  // stored only when beside
  };
  const Case cases[] = {
      {"beside the middle", {10, 50}, std::nullopt, true, 100},
      {"behind the start", {10, -5}, std::nullopt, false, 0},
      {"on the start line", {-7, 0}, std::nullopt, true, 49},
      {"beyond the end (not tested)", {-20, 150}, std::nullopt, true, 400},
      {"behind, but past the bisector after an east leg", {10, -5}, UnitVector{1, 0}, true, 100},
      {"behind the bisector after an east leg", {-10, -5}, UnitVector{1, 0}, false, 0},
      {"turning straight back", {3, -40}, UnitVector{0, -1}, true, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RouteSegment segment;
    segment.start = {0, 0};
    segment.end = {0, 100};
    segment.direction = {0, 1};
    segment.length = 100;
    const bool beside =
        segment.DistanceSquaredTo(c.point, c.previous ? &*c.previous : nullptr);
    EXPECT_EQ(beside, c.beside);
    EXPECT_EQ(segment.beside, c.beside);
    EXPECT_NEAR(segment.cross_squared, c.squared, 1e-9);
  }
}
