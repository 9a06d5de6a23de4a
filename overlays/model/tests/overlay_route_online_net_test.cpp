// Optimising routes of the newer model against a loopback routing server: the request, the
// rebuilt route, a second mode sending the first points again, "revert", the limits, and the
// points and texts coming back when the exchange or the reply fails.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_route_online.h"
#include "overlays/model/tests/routing_test_support.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::EncodePolyline;

struct TestApp : CAppCommon {
  COstrelDocBase* FindFirstDocument() override { return nullptr; }
};

// The mode and the (longitude, latitude) pairs of a request body.
struct Request {
  std::string mode;
  std::vector<std::pair<double, double>> points;
};

Request Decode(const std::string& body) {
  Request request;
  int32_t length = 0;
  std::memcpy(&length, body.data(), 4);
  request.mode = body.substr(4, static_cast<size_t>(length));
  int32_t count = 0;
  std::memcpy(&count, body.data() + 4 + length, 4);
  for (int32_t i = 0; i < count; ++i) {
    double pair[2];
    std::memcpy(pair, body.data() + 8 + length + 16 * i, 16);
    request.points.emplace_back(pair[0], pair[1]);
  }
  return request;
}

class OnlineRoutingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    PersistentString host("routing_host");
    host.value = "http://127.0.0.1:" + std::to_string(server.port());
    app.temp_folder = dir.path();
  }
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  COverlayRoute* Drawn(int points, double spacing_degrees = 0.01) {
    COverlayRoute* route = vd::test::MakeRoute(marks, points, spacing_degrees);
    route->name = "Drawn";
    route->description = "by hand";
    route->type = "hike";
    return route;
  }
  void Reply(const std::string& xml) {
    vd::test::HttpTestServer::Reply reply;
    reply.body = xml;
    reply.content_type = "text/xml";
    server.Set("/cgi-bin/directions.cgi", reply);
  }
  void Fail() {
    vd::test::HttpTestServer::Reply failure;
    failure.status = 500;
    server.Set("/cgi-bin/directions.cgi", failure);
  }
  std::vector<Request> Requests() const {
    std::vector<Request> requests;
    for (const auto& recorded : server.Requests()) requests.push_back(Decode(recorded.body));
    return requests;
  }

  vd::test::TempDir dir;
  vd::test::HttpTestServer server;
  TestApp app;
  CMarkManager marks;
  vd::test::RecordingShell messages;
};

// Two steps meeting at (50.02, -1.0); the second starts with a right turn.
const std::string kTwoSteps =
    "<DirectionsResponse><status>OK</status><route><summary>Coast road</summary><leg>"
    "<step><polyline><points>" +
    EncodePolyline({{50.0, -1.0}, {50.01, -0.99}, {50.02, -1.0}}) +
    "</points></polyline></step>"
    "<step><maneuver>turn-right</maneuver><polyline><points>" +
    EncodePolyline({{50.02, -1.0}, {50.03, -1.02}}) +
    "</points></polyline></step>"
    "<duration><text>7 mins</text></duration>"
    "<start_address>Quay</start_address><end_address>Hill</end_address></leg></route>"
    "</DirectionsResponse>";

TEST_F(OnlineRoutingTest, SecondModeSendsTheFirstPointsAndRevertRestoresThem) {
  Reply(kTwoSteps);
  COverlayRoute* route = Drawn(3);
  std::vector<std::pair<double, double>> drawn;
  route->GetPoints(drawn);

  ASSERT_TRUE(COverlayRoute::OptimiseOnline(*route, "walking"));
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(route->name, "Coast road");
  EXPECT_EQ(route->description, "Duration 7 mins");
  struct Point {
    double lat;
    const char* name;
    const char* icon;
    uint32_t colour;
  };
  const Point expected[] = {{50.0, "Quay", "Flag", 0xFF00C800},
                            {50.01, "", "Tinydot", 0xFF000000},
                            {50.02, "turn-right", "Flag", 0xFF00C800},
                            {50.03, "Hill", "Flag", 0xFF00C800}};
  ASSERT_EQ(route->points.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const COverlayMark& point = *route->points[i];
    EXPECT_NEAR(point.latitude, expected[i].lat, 1e-9) << i;
    EXPECT_EQ(point.name, expected[i].name) << i;
    EXPECT_EQ(point.icon, expected[i].icon) << i;
    EXPECT_EQ(point.colour, expected[i].colour) << i;
    EXPECT_EQ(point.parent, route);
  }

  ASSERT_TRUE(COverlayRoute::OptimiseOnline(*route, "driving"));
  const std::vector<Request> requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].mode, "walking");
  EXPECT_EQ(requests[1].mode, "driving");
  EXPECT_EQ(requests[0].points, drawn);
  EXPECT_EQ(requests[1].points, drawn) << "the points from before the first optimisation";

  ASSERT_TRUE(COverlayRoute::OptimiseOnline(*route, "revert"));
  std::vector<std::pair<double, double>> reverted;
  route->GetPoints(reverted);
  EXPECT_EQ(reverted, drawn);
  EXPECT_EQ(route->name, "Drawn");
  EXPECT_EQ(route->description, "by hand");
  EXPECT_EQ(route->type, "hike");
  EXPECT_TRUE(messages.texts.empty());

  EXPECT_FALSE(COverlayRoute::OptimiseOnline(*route, "revert")) << "only once";
  EXPECT_EQ(messages.texts, std::vector<std::string>{"Cannot undo optimization on this route."});
  EXPECT_EQ(messages.captions.back(), "Problem");
}

TEST_F(OnlineRoutingTest, LimitsAreCheckedBeforeAnythingIsSent) {
  Reply(kTwoSteps);
  struct Case {
    int points;
    double spacing;
    const char* message;  // null: refused without one
  };
  for (const Case& c : {Case{11, 0.01, "The route has more than 10 waypoints."},
                        Case{3, 2.5, "The route is too long (500km max)."},
                        Case{1, 0.01, nullptr}}) {
    messages.texts.clear();
    COverlayRoute* route = Drawn(c.points, c.spacing);
    EXPECT_FALSE(COverlayRoute::OptimiseOnline(*route, "driving")) << c.points;
    EXPECT_EQ(messages.texts, c.message ? std::vector<std::string>{c.message}
                                        : std::vector<std::string>{});
    EXPECT_EQ(route->points.size(), static_cast<size_t>(c.points));
  }
  EXPECT_TRUE(server.Requests().empty());

  COverlayRoute* other = Drawn(2);
  EXPECT_FALSE(COverlayRoute::OptimiseOnline(*other, "revert"));
  EXPECT_EQ(messages.texts.back(), "Cannot undo optimization on this route.");

  EXPECT_TRUE(COverlayRoute::OptimiseOnline(*Drawn(10), "driving"));
}

TEST_F(OnlineRoutingTest, FailuresGiveBackThePointsAndTexts) {
  COverlayRoute* route = Drawn(3);
  std::vector<std::pair<double, double>> drawn;
  route->GetPoints(drawn);
  auto expect_drawn = [&](const char* when) {
    std::vector<std::pair<double, double>> now;
    route->GetPoints(now);
    EXPECT_EQ(now, drawn) << when;
    EXPECT_EQ(route->name, "Drawn") << when;
    EXPECT_EQ(route->description, "by hand") << when;
    EXPECT_EQ(route->type, "hike") << when;
  };

  struct Case {
    bool server_fails;
    const char* reply;
    const char* message;
  };
  for (const Case& c :
       {Case{true, "", "Communication with the server failed"},
        Case{false, "<DirectionsResponse><status>NOT_FOUND</status></DirectionsResponse>",
             "Status: NOT_FOUND"},
        Case{false,
             "<DirectionsResponse><status>OVER_LIMIT</status><error_message>Try later"
             "</error_message></DirectionsResponse>",
             "Status: OVER_LIMIT Try later"},
        Case{false, "not xml", "Corrupt response"},
        Case{false, "<DirectionsResponse><status>OK</status><route/></DirectionsResponse>",
             "Corrupt response"}}) {
    if (c.server_fails) {
      Fail();
    } else {
      Reply(c.reply);
    }
    messages.texts.clear();
    EXPECT_FALSE(COverlayRoute::OptimiseOnline(*route, "bicycling")) << c.message;
    EXPECT_EQ(messages.texts, std::vector<std::string>{c.message});
    expect_drawn(c.message);
  }
  EXPECT_FALSE(COverlayRoute::OptimiseOnline(*route, "revert")) << "nothing to revert";

  // A failure of a second mode after a success also gives back the drawn points.
  Reply(kTwoSteps);
  ASSERT_TRUE(COverlayRoute::OptimiseOnline(*route, "walking"));
  Fail();
  EXPECT_FALSE(COverlayRoute::OptimiseOnline(*route, "driving"));
  expect_drawn("after a second mode failed");
}

}  // namespace
