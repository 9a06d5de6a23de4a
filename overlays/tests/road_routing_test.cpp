// Road routing's pieces that need no server: the request file, the polyline decoder, thinning,
// instruction text, and rebuilding a route from a directions reply.
#include "overlays/road_routing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

// The encoded form of a polyline, the inverse of the decoder, for building replies.
std::string Encode(const std::vector<RoutingPoint>& points) {
  std::string out;
  auto number = [&out](int64_t v) {
    uint64_t u = v < 0 ? ~(static_cast<uint64_t>(v) << 1) : static_cast<uint64_t>(v) << 1;
    while (u >= 0x20) {
      out += static_cast<char>((0x20 | (u & 0x1F)) + 63);
      u >>= 5;
    }
    out += static_cast<char>(u + 63);
  };
  int64_t lat = 0, lon = 0;
  for (const RoutingPoint& p : points) {
    const int64_t ilat = std::llround(p.lat * 1e5), ilon = std::llround(p.lon * 1e5);
    number(ilat - lat);
    number(ilon - lon);
    lat = ilat;
    lon = ilon;
  }
  return out;
}

TEST(RoadRouting, PolylineDecoding) {
  std::vector<RoutingPoint> points;
  ASSERT_TRUE(DecodeDirectionsPolyline("AC", points));
  ASSERT_EQ(points.size(), 1u);
  EXPECT_DOUBLE_EQ(points[0].lat, 0.00001);
  EXPECT_DOUBLE_EQ(points[0].lon, 0.00002);
  ASSERT_TRUE(DecodeDirectionsPolyline("@?", points));
  EXPECT_DOUBLE_EQ(points[0].lat, -0.00001);
  EXPECT_DOUBLE_EQ(points[0].lon, 0.0);

  struct Failure {
    std::string text;
    size_t decoded;  // points decoded before the failure
  };
  const Failure failures[] = {
      {"A", 0},                                     // ends after the first number of a pair
      {"AC_", 1},                                   // ends inside a continued number
      {Encode({{0, 89.9}}) + Encode({{0, 0.2}}), 1},  // latitude runs past 90
      {Encode({{359, 0}}) + Encode({{2, 0}}), 1},     // longitude runs past 360
      {"A ", 0},                                    // a character below the alphabet
  };
  for (const Failure& f : failures) {
    EXPECT_FALSE(DecodeDirectionsPolyline(f.text, points)) << f.text;
    EXPECT_EQ(points.size(), f.decoded) << f.text;
  }

  const std::vector<RoutingPoint> round{{-1.5, 50.25}, {-1.49, 50.26}, {-1.6, 50.1}, {2.0, -3.0}};
  ASSERT_TRUE(DecodeDirectionsPolyline(Encode(round), points));
  ASSERT_EQ(points.size(), round.size());
  for (size_t i = 0; i < round.size(); ++i) {
    EXPECT_NEAR(points[i].lat, round[i].lat, 1e-9);
    EXPECT_NEAR(points[i].lon, round[i].lon, 1e-9);
  }
}

TEST(RoadRouting, ThinningDropsNearlyStraightMiddlePointsOnly) {
  // Along a meridian, 100 m apart: the middle points lie on the line and go; a bend of 30 m
  // (900 m², above the tolerance) stays.
  const double step = 100.0 / 111'200.0;
  std::vector<RoutingPoint> straight;
  for (int i = 0; i < 5; ++i) straight.push_back({0.0, 50.0 + i * step});
  EXPECT_TRUE(ThinPolylineLocal(straight, 256.0));
  EXPECT_EQ(straight.size(), 2u);
  EXPECT_DOUBLE_EQ(straight.back().lat, 50.0 + 4 * step);

  std::vector<RoutingPoint> bent{{0.0, 50.0}, {30.0 / 71'500.0, 50.0 + step}, {0.0, 50.0 + 2 * step}};
  EXPECT_FALSE(ThinPolylineLocal(bent, 256.0));
  EXPECT_EQ(bent.size(), 3u);

  // A point behind the start is not on the segment, however close to the line.
  std::vector<RoutingPoint> behind{{0.0, 50.0}, {0.0, 50.0 - step}, {0.0, 50.0 + step}};
  EXPECT_FALSE(ThinPolylineLocal(behind, 256.0));
  std::vector<RoutingPoint> one{{0.0, 50.0}};
  EXPECT_FALSE(ThinPolylineLocal(one, 256.0));
}

TEST(RoadRouting, InstructionsBecomePlainText) {
  EXPECT_EQ(HtmlInstructionsToText("Turn &lt;b&gt;left&lt;/b&gt; onto&amp;nbsp;High St"),
            "Turn left onto High St");
  EXPECT_EQ(HtmlInstructionsToText("Go&lt;div style=\"x\"&gt;Destination&lt;/div&gt;"),
            "Go\nDestination");
}

TEST(RoadRouting, RequestFileLayout) {
  vd::test::TempDir dir;
  const std::string path = dir.path() + "/directions.xml";
  ASSERT_TRUE(WriteDirectionsRequest(path, "driving", {{-1.5, 50.25}, {2.0, -3.0}}));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  ASSERT_EQ(bytes.size(), 4u + 7 + 4 + 32);
  int32_t length, count;
  std::memcpy(&length, bytes.data(), 4);
  EXPECT_EQ(length, 7);
  EXPECT_EQ(bytes.substr(4, 7), "driving");
  std::memcpy(&count, bytes.data() + 11, 4);
  EXPECT_EQ(count, 2);
  double values[4];
  std::memcpy(values, bytes.data() + 15, 32);
  EXPECT_EQ(values[0], -1.5);  // longitude first
  EXPECT_EQ(values[1], 50.25);
  EXPECT_EQ(values[3], -3.0);
}

// ---- Replies ----

class ReplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
    app.document = &doc;
    route = doc.Add(new CObjRoute);
    route->EndEditing();
  }
  void TearDown() override { route->Delete(false); }

  bool Read(const std::string& xml) {
    const std::string path = dir.path() + "/reply.xml";
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, xml));
    return ReadDirectionsReply(path, *route, error);
  }
  std::vector<std::string> Symbols() const {
    std::vector<std::string> out;
    for (const CObjWaypoint* m : route->points()) out.push_back(CCategory::GetNameOr(m->category()));
    return out;
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  vd::test::FakeDoc doc;
  CCurrentOwnerScope owner{&doc};
  CObjRoute* route = nullptr;
  std::string error;
};

std::string Step(const std::vector<RoutingPoint>& points, const std::string& extra = "") {
  return "<step><polyline><points>" + Encode(points) + "</points></polyline>" + extra + "</step>";
}

TEST_F(ReplyTest, StepsBecomeTurnIntermediateAndEndMarks) {
  // Two steps of three points each, bent enough that thinning keeps every point; they meet at
  // one place, which becomes one turn mark.
  const std::vector<RoutingPoint> a{{0.0, 50.0}, {0.01, 50.01}, {0.0, 50.02}};
  const std::vector<RoutingPoint> b{{0.0, 50.02}, {0.01, 50.03}, {0.0, 50.04}};
  ASSERT_TRUE(Read("<?xml version=\"1.0\"?><DirectionsResponse><status>OK</status><route>"
                   "<summary>A1 &amp; B2</summary><leg>" +
                   Step(a, "<maneuver>turn-left</maneuver><html_instructions>Turn &lt;b&gt;left"
                           "&lt;/b&gt;</html_instructions>") +
                   "<step><maneuver>none</maneuver></step>" + Step(b) +
                   "<start_address>Here</start_address><end_address>There</end_address>"
                   "</leg></route></DirectionsResponse>"))
      << error;
  EXPECT_EQ(route->name, "A1 & B2");
  ASSERT_EQ(route->points().size(), 5u);
  EXPECT_EQ(Symbols(), (std::vector<std::string>{"Waypoints:Turn", "Waypoints:Intermediate",
                                                 "Waypoints:Turn", "Waypoints:Intermediate",
                                                 "Waypoints:Intermediate"}));
  const CObjWaypoint* first = route->points()[0];
  EXPECT_EQ(first->name, "Here");  // the address replaces the manoeuvre's name
  EXPECT_EQ(first->comment, "Turn left");
  EXPECT_EQ(first->colour, 0x00C800u);
  EXPECT_DOUBLE_EQ(route->points()[2]->position.lat, 50.02);
  const CObjWaypoint* end = route->points().back();
  EXPECT_EQ(end->name, "There");
  EXPECT_EQ(end->colour, 0x00C800u);
  EXPECT_DOUBLE_EQ(end->position.lat, 50.04);
  // The marks are in the document, the newest first.
  EXPECT_EQ(doc.objects.front(), end);
}

TEST_F(ReplyTest, AnEndOnTheGreenwichMeridianStillGetsItsMark) {
  ASSERT_TRUE(Read("<DirectionsResponse><status>OK</status><route><leg>" +
                   Step({{0.001, 51.0}, {0.0, 51.01}}) + "</leg></route></DirectionsResponse>"));
  ASSERT_EQ(route->points().size(), 2u);
  EXPECT_DOUBLE_EQ(route->points()[1]->position.lon, 0.0);
}

TEST_F(ReplyTest, RefusedReplies) {
  struct Case {
    std::string xml;
    std::string error;
  };
  const Case cases[] = {
      {"not xml at all", "Corrupt response"},
      {"<Other/>", "Corrupt response"},
      {"<DirectionsResponse><status>OK</status></DirectionsResponse>", "Corrupt response"},
      {"<DirectionsResponse><status>OK</status><route/></DirectionsResponse>", "Corrupt response"},
      {"<DirectionsResponse><status>ZERO_RESULTS</status></DirectionsResponse>",
       "Status: ZERO_RESULTS"},
      {"<DirectionsResponse><status>DENIED</status><error_message>No key</error_message>"
       "</DirectionsResponse>",
       "Status: DENIED No key"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Read(c.xml)) << c.xml;
    EXPECT_EQ(error, c.error) << c.xml;
  }
  // Steps without polylines give a route of only a name.
  ASSERT_TRUE(Read("<DirectionsResponse><status>OK</status><route><summary>S</summary><leg>"
                   "<step/></leg></route></DirectionsResponse>"));
  EXPECT_EQ(route->name, "S");
  EXPECT_TRUE(route->points().empty());
}

}  // namespace
