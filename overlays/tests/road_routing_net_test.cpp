// Optimising a route against a loopback routing server: the request sent, the route replaced,
// the limits, and the old route kept or brought back when the exchange or the reply fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/road_routing.h"
#include "overlays/tests/overlay_test_objects.h"
#include "overlays/undo_ring.h"
#include "platform/os/http_transport.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"
#include "platform/ui/responder.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

struct Messages : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    texts.push_back(request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> texts;
};

class OptimiseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    {
      PersistentString host("routing_host");
      host.value = "127.0.0.1:" + std::to_string(server.port());
    }
    app.temp_folder = dir.path();
    app.document = &doc;
    CUndoRing::Program().set_folder(dir.path());
  }
  void TearDown() override {
    ObjectList routes;
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(CObjRoute::kClass)) routes.push_back(object);
    }
    for (COstrelObject* r : routes) r->Delete(false);
    CUndoRing::Program().set_folder("");
    vd::os::HttpCloseIdleConnections();  // else the server's stop waits for the idle client
  }

  CObjRoute* MakeRoute(int points, double spacing_deg = 0.01) {
    CObjRoute* route = doc.Add(new CObjRoute);
    route->name = "Drawn";
    for (int i = 0; i < points; ++i) {
      CObjWaypoint* mark = doc.Add(new CObjWaypoint);
      mark->position = {50.0 + i * spacing_deg, -1.0};
      mark->being_placed = false;
      route->LinkWaypoint(mark);
    }
    route->EndEditing();
    return route;
  }
  std::vector<CObjRoute*> Routes() const {
    std::vector<CObjRoute*> out;
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(CObjRoute::kClass)) out.push_back(static_cast<CObjRoute*>(object));
    }
    return out;
  }
  void Reply(const std::string& xml) {
    vd::test::HttpTestServer::Reply reply;
    reply.body = xml;
    reply.content_type = "text/xml";
    server.Set("/cgi-bin/directions.cgi", reply);
  }

  vd::test::TempDir dir;
  vd::test::HttpTestServer server;
  vd::test::FakeApp app;
  vd::test::FakeDoc doc;
  CCurrentOwnerScope owner{&doc};
  Messages messages;
  vd::ui::ScopedResponder responder{&messages};
};

constexpr char kGoodReply[] =
    "<DirectionsResponse><status>OK</status><route><summary>Coast road</summary><leg>"
    "<step><maneuver>start</maneuver><polyline><points>_sdpH~hbEo}@o}@</points></polyline>"
    "</step><start_address>A</start_address><end_address>B</end_address></leg></route>"
    "</DirectionsResponse>";

TEST_F(OptimiseTest, TheRouteIsReplacedByTheRoutedOne) {
  Reply(kGoodReply);
  CObjRoute* drawn = MakeRoute(3);
  drawn->colour = 0x123456;
  const uint64_t id = drawn->GetUniqueId();
  ASSERT_TRUE(OptimiseRouteOnline("bicycling", *drawn));
  EXPECT_TRUE(messages.texts.empty());

  const std::vector<vd::test::RecordedRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  const std::string& body = requests[0].body;
  ASSERT_EQ(body.size(), 4u + 9 + 4 + 3 * 16);
  EXPECT_EQ(body.substr(4, 9), "bicycling");
  double first[2];
  std::memcpy(first, body.data() + 17, 16);
  EXPECT_EQ(first[0], -1.0);
  EXPECT_EQ(first[1], 50.0);

  const std::vector<CObjRoute*> routes = Routes();
  ASSERT_EQ(routes.size(), 1u);
  CObjRoute* routed = routes[0];
  EXPECT_EQ(routed->name, "Coast road");
  EXPECT_EQ(routed->id(), id);
  EXPECT_EQ(routed->colour, 0x123456u);
  ASSERT_EQ(routed->points().size(), 2u);
  EXPECT_EQ(routed->points()[0]->name, "A");
  EXPECT_EQ(routed->points()[1]->name, "B");
  EXPECT_GT(routed->length, 0.0);
}

// Links planted in the temporary folder at the request file's name and at the name its reply
// arrives under are replaced, never written through.
TEST_F(OptimiseTest, LinksAtTheExchangedFilesAreNotWrittenThrough) {
  Reply(kGoodReply);
  const std::string victim = dir.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  for (const char* name : {"/directions.xml", "/directions.xml.TMP"})
    ASSERT_EQ(::symlink(victim.c_str(), (dir.path() + name).c_str()), 0) << name;
  CObjRoute* drawn = MakeRoute(3);
  EXPECT_TRUE(OptimiseRouteOnline("driving", *drawn)) << testing::PrintToString(messages.texts);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].body.substr(4, 7), "driving");
  std::string kept;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "not to be touched");
  ASSERT_EQ(Routes().size(), 1u);
  EXPECT_EQ(Routes()[0]->name, "Coast road");
}

TEST_F(OptimiseTest, LimitsOfTenPointsAndAHundredMiles) {
  Reply(kGoodReply);
  CObjRoute* eleven = MakeRoute(11);
  EXPECT_FALSE(OptimiseRouteOnline("driving", *eleven));
  EXPECT_EQ(messages.texts,
            std::vector<std::string>{"The maximum number of waypoints you can optimize is 10"});
  CObjRoute* long_route = MakeRoute(3, 1.0);  // 120 nautical miles
  EXPECT_FALSE(OptimiseRouteOnline("driving", *long_route));
  EXPECT_EQ(messages.texts.back(), "The maximum length of route you can optimize is 100 miles");
  EXPECT_TRUE(server.Requests().empty());

  CObjRoute* ten = MakeRoute(10);
  EXPECT_TRUE(OptimiseRouteOnline("driving", *ten));
}

TEST_F(OptimiseTest, FailuresKeepOrBringBackTheDrawnRoute) {
  CObjRoute* drawn = MakeRoute(3);
  vd::test::HttpTestServer::Reply failure;
  failure.status = 500;
  server.Set("/cgi-bin/directions.cgi", failure);
  EXPECT_FALSE(OptimiseRouteOnline("walking", *drawn));
  EXPECT_EQ(messages.texts, std::vector<std::string>{"Communication with the server failed"});
  ASSERT_EQ(Routes(), std::vector<CObjRoute*>{drawn});
  EXPECT_EQ(drawn->points().size(), 3u);

  Reply("<DirectionsResponse><status>NOT_FOUND</status></DirectionsResponse>");
  EXPECT_FALSE(OptimiseRouteOnline("walking", *drawn));
  EXPECT_EQ(messages.texts.back(), "Status: NOT_FOUND");
  // The undo step brought the drawn route back, with its marks.
  const std::vector<CObjRoute*> routes = Routes();
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]->name, "Drawn");
  EXPECT_EQ(routes[0]->points().size(), 3u);
}

}  // namespace
