#include "overlays/model/mark_manager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "app/user_notification_manager.h"
#include "overlays/model/navigation_target.h"
#include "overlays/model/notify_callback.h"
#include "overlays/model/overlay_selection.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/tests/model_test_support.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChangeRecorder;
using vd::test::FixAt;
using vd::test::ReadStream;
using vd::test::WriteStream;

COverlayMark* AddMarkAt(CMarkManager& manager, const std::string& name, double lat, double lon) {
  auto mark = std::make_unique<COverlayMark>();
  mark->name = name;
  mark->latitude = lat;
  mark->longitude = lon;
  return manager.AddMark(std::move(mark));
}

COverlayRoute* AddRoute(CMarkManager& manager, const std::string& name,
                        std::initializer_list<std::pair<double, double>> positions) {
  auto route = std::make_unique<COverlayRoute>();
  route->name = name;
  int n = 0;
  for (const auto& [lat, lon] : positions) {
    auto point = std::make_unique<COverlayMark>(true);
    point->name = name + "-" + std::to_string(++n);
    point->latitude = lat;
    point->longitude = lon;
    route->InsertPoint(std::move(point), route->points.size());
  }
  return manager.AddRoute(std::move(route));
}

bool SaveManager(CMarkManager& manager, const std::string& path) {
  return WriteStream(path, [&](CSerializableStream& s) { return manager.Serialize(s); });
}
bool LoadManager(CMarkManager& manager, const std::string& path) {
  return ReadStream(path, [&](CSerializableStream& s) { return manager.Serialize(s); });
}

class RecordingShell : public COverlayShell {
 public:
  RecordingShell() { Install(this); }
  ~RecordingShell() override { Install(nullptr); }
  void SetStatusText(const std::string& text) override { status = text; }
  void ClearStatusText() override { status.clear(); }
  void ShowHint(const std::string& text) override { hints.push_back(text); }
  void ShowWarning(const std::string&, const std::string& text) override { hints.push_back(text); }
  std::string status;
  std::vector<std::string> hints;
};

// What the program's notification manager tells its notifiers, as the alarms now showing.
class RecordingNotices : public UserNotificationManager::Notifier {
 public:
  RecordingNotices() { UserNotificationManager::Instance().AddNotifier(this); }
  ~RecordingNotices() override { UserNotificationManager::Instance().RemoveNotifier(this); }
  void OnRaise(uint32_t id, intptr_t caption, intptr_t text) override {
    showing[id] = std::string(reinterpret_cast<const char*>(caption)) + ": " +
                  reinterpret_cast<const char*>(text);
  }
  void OnAcknowledge(uint32_t id) override { showing.erase(id); }
  std::map<uint32_t, std::string> showing;
};

class NavigationRecorder : public Listener<NavigationTarget> {
 public:
  void OnEvent(NavigationTarget& target) override {
    last = target;
    ++updates;
  }
  NavigationTarget last;
  int updates = 0;
};

TEST(MarkManager, RecordRoundTripsMarksRoutesAndDeletionRecords) {
  vd::test::TempDir dir;
  const std::string path = dir.File("marks.bin");
  {
    CMarkManager manager;
    COverlayMark* mark = AddMarkAt(manager, "Buoy <7>", 50.5, -1.25);
    mark->link = "http://x/?a=1&b=2";
    mark->description = "line one\nline two";
    mark->type = "Navaid";
    mark->icon = "Anchor";
    mark->colour = 0x8012AB34;
    mark->anchor_radius = 30.0f;
    mark->alarm_radius = 80.0f;
    mark->keep = true;
    mark->sync_id = 77;
    mark->created = 5000.0;
    mark->modified = 6000.0;
    COverlayMark* gone = AddMarkAt(manager, "Gone", 1, 2);
    gone->description = "old";
    manager.DeleteMark(gone);
    COverlayRoute* route =
        AddRoute(manager, "Home to Harbour", {{50, -1}, {50.01, -1}, {50.02, -1.01}});
    route->colour = 0xFF00FF00;
    route->width = 3.5f;
    route->pattern = 2;
    route->sync_id = 9;
    route->type = "Passage";
    ASSERT_TRUE(SaveManager(manager, path));
  }
  CMarkManager manager;
  ChangeRecorder changes;
  ASSERT_TRUE(LoadManager(manager, path));
  ASSERT_EQ(manager.marks.size(), 2u);
  const COverlayMark& mark = *manager.marks[0];
  EXPECT_EQ(mark.name, "Buoy <7>");
  EXPECT_EQ(mark.latitude, 50.5);
  EXPECT_EQ(mark.longitude, -1.25);
  EXPECT_EQ(mark.link, "http://x/?a=1&b=2");
  EXPECT_EQ(mark.description, "line one\nline two");
  EXPECT_EQ(mark.type, "Navaid");
  EXPECT_EQ(mark.icon, "Anchor");
  EXPECT_EQ(mark.colour, 0x8012AB34u);
  EXPECT_EQ(mark.anchor_radius, 30.0f);
  EXPECT_EQ(mark.alarm_radius, 80.0f);
  EXPECT_TRUE(mark.keep);
  EXPECT_EQ(mark.sync_id, 77u);
  EXPECT_EQ(mark.created, 5000.0);
  EXPECT_EQ(mark.modified, 6000.0);
  EXPECT_EQ(mark.kind, COverlayObject::kMark);
  EXPECT_TRUE(changes.Saw(&mark, COverlayObject::kAppeared));

  const COverlayMark& gone = *manager.marks[1];
  EXPECT_TRUE(gone.deleted);
  EXPECT_FALSE(gone.live);
  EXPECT_TRUE(gone.purge);
  EXPECT_TRUE(gone.name.empty());
  EXPECT_TRUE(gone.description.empty());
  EXPECT_EQ(gone.latitude, COverlayMark::kNoPosition);
  EXPECT_FALSE(changes.Saw(&gone, COverlayObject::kAppeared)) << "deletion records stay hidden";

  ASSERT_EQ(manager.routes.size(), 1u);
  const COverlayRoute& route = *manager.routes[0];
  EXPECT_EQ(route.name, "Home to Harbour");
  EXPECT_EQ(route.colour, 0xFF00FF00u);
  EXPECT_EQ(route.width, 3.5f);
  EXPECT_EQ(route.pattern, 2);
  EXPECT_EQ(route.sync_id, 9u);
  EXPECT_EQ(route.type, "Passage");
  ASSERT_EQ(route.points.size(), 3u);
  for (const auto& point : route.points) {
    EXPECT_EQ(point->parent, &route);
    EXPECT_EQ(point->kind, COverlayObject::kRoutePoint);
    EXPECT_TRUE(changes.Saw(point.get(), COverlayObject::kAppeared));
  }
  EXPECT_EQ(route.points[2]->name, "Home to Harbour-3");
  EXPECT_EQ(route.points[2]->longitude, -1.01);
}

TEST(MarkManager, NavigationStateComesBackWithTheRecord) {
  vd::test::TempDir dir;
  struct Case {
    const char* what;
    bool navigate_route;
  };
  for (const Case c : {Case{"mark target", false}, Case{"navigation route", true}}) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("nav.bin");
    {
      CMarkManager manager;
      COverlayMark* mark = AddMarkAt(manager, "Target", 10, 20);
      COverlayRoute* route = AddRoute(manager, "R1", {{10, 20}, {10.1, 20}});
      if (c.navigate_route) {
        manager.SetNavigationRoute(route);
      } else {
        manager.SetTarget(mark);
      }
      ASSERT_TRUE(SaveManager(manager, path));
    }
    CMarkManager manager;
    ASSERT_TRUE(LoadManager(manager, path));
    if (c.navigate_route) {
      EXPECT_EQ(manager.target().route, manager.routes[0].get());
      EXPECT_TRUE(manager.routes[0]->is_navigation);
      EXPECT_EQ(manager.target().mark, nullptr);
    } else {
      EXPECT_EQ(manager.target().mark, manager.marks[0].get());
      EXPECT_EQ(manager.target().route, nullptr);
    }
  }
}

TEST(MarkManager, DamagedRecordsFailCleanly) {
  vd::test::TempDir dir;
  const std::string good = dir.File("good.bin");
  {
    CMarkManager manager;
    AddMarkAt(manager, "A", 1, 2);
    AddMarkAt(manager, "B", 3, 4);
    AddRoute(manager, "R1", {{1, 1}, {2, 2}});
    ASSERT_TRUE(SaveManager(manager, good));
  }
  const std::string bytes = vd::test::FileBytes(good);
  auto with_count = [&](size_t offset, uint32_t count) {
    std::string changed = bytes;
    std::memcpy(changed.data() + offset, &count, sizeof count);
    return changed;
  };
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"cut inside the marks", bytes.substr(0, bytes.size() - 20)},
      {"cut after the header", bytes.substr(0, 7)},
      {"bad block marker", "\x01" + bytes.substr(1)},
      {"older list count too large", with_count(5, 10'000'001)},
      {"route count too large", with_count(9, 10'000'001)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("bad.bin");
    ASSERT_TRUE(vd::test::PutFileBytes(path, c.bytes));
    CMarkManager manager;
    EXPECT_FALSE(LoadManager(manager, path));
    for (const auto& route : manager.routes) {
      for (const auto& point : route->points) EXPECT_EQ(point->parent, route.get());
    }
  }
}

TEST(MarkManager, OlderMarkListIsUsedWhenTheNewOneIsEmpty) {
  vd::test::TempDir dir;
  const std::string path = dir.File("older.bin");
  COverlayMark older;
  older.name = "From the older list";
  older.latitude = 12.5;
  ASSERT_TRUE(WriteStream(path, [&](CSerializableStream& s) {
    CSerializableStream::Block block(s);
    uint32_t one = 1;
    uint32_t none = 0;
    return s.ExchangeRaw(&one, 4) && s.WriteRecord(older) && s.ExchangeRaw(&none, 4) &&
           s.ExchangeRaw(&none, 4);
  }));
  CMarkManager manager;
  ASSERT_TRUE(LoadManager(manager, path));
  ASSERT_EQ(manager.marks.size(), 1u);
  EXPECT_EQ(manager.marks[0]->name, "From the older list");
  EXPECT_EQ(manager.marks[0]->latitude, 12.5);
}

TEST(MarkManager, ManagerIsARegisteredRecordType) {
  vd::test::TempDir dir;
  const std::string path = dir.File("typed.bin");
  {
    CMarkManager manager;
    AddMarkAt(manager, "Typed", 5, 6);
    ASSERT_TRUE(WriteStream(path, [&](CSerializableStream& s) { return s.WriteRecord(manager); }));
  }
  CSerializableStream::RecordResult result;
  ASSERT_TRUE(ReadStream(path, [&](CSerializableStream& s) {
    result = s.ReadRecord();
    return result.status == CSerializableStream::RecordStatus::kRecord;
  }));
  auto* manager = dynamic_cast<CMarkManager*>(result.object.get());
  ASSERT_NE(manager, nullptr);
  ASSERT_EQ(manager->marks.size(), 1u);
  EXPECT_EQ(manager->marks[0]->name, "Typed");
}

TEST(MarkManager, NextRouteName) {
  struct Case {
    std::vector<std::string> names;
    const char* next;
  };
  const Case cases[] = {
      {{}, "R1"},
      {{"R1", "R7", "Route"}, "R8"},
      {{"R3x", "R", "r9", "Home"}, "R1"},
  };
  for (const Case& c : cases) {
    CMarkManager manager;
    for (const std::string& name : c.names) AddRoute(manager, name, {});
    EXPECT_EQ(manager.NextRouteName(), c.next);
  }
}

TEST(MarkManager, DeletingAFreeMarkLeavesARecordAndAnnouncesGoingAway) {
  CMarkManager manager;
  COverlayMark* mark = AddMarkAt(manager, "Gone", 1, 2);
  mark->sync_id = 5;
  mark->link = "x";
  mark->alarm_radius = 40;
  ChangeRecorder changes;
  COverlaySelection::Replace(mark);
  manager.DeleteMark(mark);
  EXPECT_EQ(COverlaySelection::Current().object, nullptr) << "a deleted mark leaves the selection";
  ASSERT_EQ(manager.marks.size(), 1u);
  EXPECT_TRUE(mark->deleted);
  EXPECT_FALSE(mark->purge) << "it had a sync id";
  EXPECT_TRUE(mark->link.empty());
  EXPECT_EQ(mark->alarm_radius, 0.0f);
  EXPECT_FALSE(mark->IsLive());
  EXPECT_TRUE(changes.Saw(mark, COverlayObject::kGoingAway));
}

TEST(MarkManager, ObjectsAnnounceWhatHappensToThem) {
  ChangeRecorder changes;
  const COverlayObject* address;
  {
    COverlayMark mark;
    address = &mark;
    mark.NotifyChange(COverlayObject::kChanged);
    EXPECT_EQ(mark.change_code, COverlayObject::kChanged);
    COverlaySelection::Replace(&mark);
  }
  EXPECT_TRUE(changes.Saw(address, COverlayObject::kChanged));
  EXPECT_TRUE(changes.Saw(address, COverlayObject::kGoingAway)) << "the destructor announces 2";
  EXPECT_EQ(COverlaySelection::Current().object, nullptr) << "a destroyed mark is not selected";
}

TEST(MarkManager, CopiesNumberHashNames) {
  CMarkManager manager;
  AddMarkAt(manager, "WP3", 0, 0);
  AddMarkAt(manager, "WP12", 0, 0);
  AddMarkAt(manager, "WPX", 0, 0);
  COverlayMark* pattern = AddMarkAt(manager, "WP#", 0, 0);
  pattern->icon = "Fuel";
  pattern->alarm_radius = 15;
  pattern->latitude = 45;
  pattern->sync_id = 3;
  const COverlayMark copy(*pattern);
  EXPECT_EQ(copy.name, "WP13");
  EXPECT_EQ(copy.icon, "Fuel");
  EXPECT_EQ(copy.alarm_radius, 15.0f);
  EXPECT_EQ(copy.latitude, 0.0) << "the position is the caller's to set";
  EXPECT_EQ(copy.sync_id, 0u);
  COverlayMark* plain = AddMarkAt(manager, "#1 Buoy", 0, 0);
  EXPECT_EQ(COverlayMark(*plain).name, "#1 Buoy") << "a leading # is no pattern";
}

TEST(MarkManager, ProximityAndAnchorAlarms) {
  CMarkManager manager;
  RecordingNotices notices;
  COverlayMark* mark = AddMarkAt(manager, "Rock", 50, -1);
  mark->alarm_radius = 100;
  struct Step {
    double metres;
    float anchor;
    const char* showing;  // the caption shown after the fix, or null
  };
  const Step steps[] = {
      {150, 0, nullptr},
      {99, 0, "Mark proximity alarm"},
      {100, 0, nullptr},
      {50, 20, "Anchor alarm"},
      {10, 20, nullptr},  // inside the anchor radius
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.metres);
    mark->anchor_radius = step.anchor;
    CDataGPSPosition fix = FixAt(50, -1, step.metres);
    Listener<CDataGPSPosition>::Fire(fix);
    const auto shown = notices.showing.find(mark->AlarmIdentifier());
    if (step.showing == nullptr) {
      EXPECT_EQ(shown, notices.showing.end());
      EXPECT_FALSE(mark->alarm_raised);
    } else {
      ASSERT_NE(shown, notices.showing.end());
      EXPECT_TRUE(shown->second.starts_with(std::string(step.showing) + ": Rock is "));
      EXPECT_TRUE(mark->alarm_raised);
    }
  }
  CDataGPSPosition near = FixAt(50, -1, 60);
  Listener<CDataGPSPosition>::Fire(near);
  ASSERT_TRUE(mark->alarm_raised);
  manager.DeleteMark(mark);
  Listener<CDataGPSPosition>::Fire(near);
  EXPECT_TRUE(notices.showing.empty()) << "a deleted mark's alarm is withdrawn";
}

TEST(MarkManager, CreatingARouteByTapping) {
  CMarkManager manager;
  RecordingShell shell;
  CMarkManager::Settings().route_create_hint = false;
  COverlayMark* start = AddMarkAt(manager, "P12", 50, -1);
  COverlayMark* harbour = AddMarkAt(manager, "Harbour", 50.02, -1);
  COverlayMark* kept = AddMarkAt(manager, "Light", 50.03, -1);
  kept->keep = true;

  COverlayRoute* route = manager.CreateRouteFromMark(start);
  EXPECT_TRUE(start->deleted) << "the tapped mark is consumed";
  EXPECT_EQ(manager.route_being_created(), route);
  EXPECT_EQ(route->name, "R1");
  ASSERT_EQ(route->points.size(), 1u);
  EXPECT_EQ(route->points[0]->name, "R1P1") << "a P-numbered name takes the route's numbering";
  EXPECT_EQ(route->points[0]->icon, CMarkManager::Settings().default_wp_icon);
  EXPECT_EQ(route->points[0]->parent, route);
  EXPECT_EQ(shell.hints.size(), 1u);
  EXPECT_TRUE(CMarkManager::Settings().route_create_hint);

  // A tap on the map, then on marks.
  EXPECT_TRUE(route->OnTap(0, 0, {50.01, -1}));
  ASSERT_EQ(route->points.size(), 2u);
  EXPECT_EQ(route->points[1]->name, "R1P2");
  EXPECT_EQ(COverlaySelection::Current().object, route->points[1].get());
  EXPECT_TRUE(shell.status.starts_with("Total distance: "));

  EXPECT_TRUE(harbour->OnTap(0, 0, {}));
  ASSERT_EQ(route->points.size(), 3u);
  EXPECT_EQ(route->points[2]->name, "Harbour");
  EXPECT_EQ(route->name, "R1P1 to Harbour");
  EXPECT_TRUE(harbour->deleted);

  EXPECT_TRUE(kept->OnTap(0, 0, {}));
  EXPECT_FALSE(kept->deleted) << "its keep flag is set";
  EXPECT_EQ(route->points.back()->latitude, 50.03);

  COverlayMark* numbered = AddMarkAt(manager, "P7", 50.04, -1);
  EXPECT_TRUE(numbered->OnTap(0, 0, {}));
  EXPECT_TRUE(route->points.back()->name.ends_with("P5")) << "a P-numbered mark lends no name";
  EXPECT_EQ(route->name, "R1P1 to " + route->points.back()->name);
  EXPECT_TRUE(numbered->deleted);

  FireNotifyCallback();  // "Done"
  EXPECT_EQ(manager.route_being_created(), nullptr);
  EXPECT_TRUE(shell.status.empty());
  EXPECT_FALSE(route->OnTap(0, 0, {50.05, -1})) << "creation has ended";

  COverlayMark* another = AddMarkAt(manager, "Q", 51, 0);
  manager.CreateRouteFromMark(another);
  EXPECT_EQ(manager.routes.back()->name, "R1") << "the first route was renamed from its ends";
  EXPECT_EQ(shell.hints.size(), 1u) << "the hint is shown once";
  manager.DeleteRoute(manager.routes.back().get());
  EXPECT_EQ(manager.route_being_created(), nullptr) << "a deleted route ends its creation";
}

TEST(MarkManager, NavigatingToAMark) {
  CMarkManager manager;
  NavigationRecorder navigation;
  COverlayMark* mark = AddMarkAt(manager, "Goal", 50, -1);
  manager.SetTarget(mark);
  EXPECT_TRUE(mark->is_target);
  CDataGPSPosition fix = FixAt(50, -1, -500, -500);
  Listener<CDataGPSPosition>::Fire(fix);
  EXPECT_NEAR(navigation.last.distance, 707.1, 2.0);
  EXPECT_NEAR(navigation.last.bearing, 45.0, 0.5);
  EXPECT_NEAR(navigation.last.direction.east, std::sqrt(0.5), 1e-3);

  mark->latitude = FixAt(50, -1, -400).latitude;  // the target moves south by 400 m
  mark->NotifyChange(COverlayObject::kAppeared);
  EXPECT_NEAR(manager.target().distance, std::hypot(100, 500), 2.0);

  CDataGPSPosition close = FixAt(50, -1, -397);
  Listener<CDataGPSPosition>::Fire(close);
  EXPECT_EQ(navigation.last.direction.east, 0.0) << "no direction within 5 m";
  EXPECT_EQ(navigation.last.direction.north, 0.0);

  manager.DeleteMark(mark);
  EXPECT_FALSE(manager.target().HasTarget());
  EXPECT_EQ(navigation.last.bearing, NavigationTarget::kNoBearing);
}

TEST(MarkManager, NavigatingAlongARouteFollowsItsLegs) {
  CMarkManager manager;
  NavigationRecorder navigation;
  // North 1 km, then east 1 km.
  const double lat = 50;
  const double north = lat + 1000 / vd::test::kMetresPerDegree;
  const double east = -1 + 1000 / (vd::test::kMetresPerDegree * std::cos(50 * M_PI / 180));
  COverlayRoute* route = AddRoute(manager, "R1", {{lat, -1}, {north, -1}, {north, east}});
  manager.SetNavigationRoute(route);
  CDataGPSPosition first_leg = FixAt(lat, -1, 300, 20);
  Listener<CDataGPSPosition>::Fire(first_leg);
  EXPECT_EQ(navigation.last.point, route->points[1].get());
  EXPECT_NEAR(navigation.last.leg_length, 1000, 5);
  EXPECT_NEAR(navigation.last.distance_to_route_end, 1000, 5);
  CDataGPSPosition second_leg = FixAt(lat, -1, 1010, 600);
  Listener<CDataGPSPosition>::Fire(second_leg);
  EXPECT_EQ(navigation.last.point, route->points[2].get());
  EXPECT_NEAR(navigation.last.distance, 400, 5);

  route->RemovePoint(route->points[2].get());  // the target point goes away
  EXPECT_FALSE(manager.target().HasTarget());
  EXPECT_FALSE(route->is_navigation);
}

TEST(MarkManager, AutoReverseTurnsTheRouteWhenHeadingBackFromItsEnd) {
  CMarkManager manager;
  NavigationRecorder navigation;
  CMarkManager::Settings().auto_reverse = true;
  COverlayRoute* route =
      AddRoute(manager, "Out to Back", {{50, -1}, {FixAt(50, -1, 1000).latitude, -1}});
  COverlayMark* start = route->points[0].get();
  COverlayMark* end = route->points[1].get();
  manager.SetNavigationRoute(route);
  CDataGPSPosition outward = FixAt(50, -1, 900);
  outward.motion.course = 0;
  Listener<CDataGPSPosition>::Fire(outward);
  EXPECT_EQ(navigation.last.point, end);
  CDataGPSPosition turned = FixAt(50, -1, 950);
  turned.motion.course = 180;
  Listener<CDataGPSPosition>::Fire(turned);
  EXPECT_EQ(route->name, "Back to Out");
  EXPECT_EQ(route->points[0].get(), end);
  EXPECT_EQ(navigation.last.point, start);
  EXPECT_NEAR(navigation.last.distance, 950, 2);
  CMarkManager::Settings().auto_reverse = false;
}

TEST(MarkManager, MarkGpx) {
  COverlayMark mark;
  mark.latitude = 50.123456789012;
  mark.longitude = -1.5;
  mark.created = TimeFrom1970(86400.0 * 365);
  mark.name = "A & B";
  mark.description = "plain";
  mark.link = "http://x/?a=1&b=\"2\"";
  mark.icon = "Flag";
  mark.colour = 0xFF12AB34;
  mark.sync_id = 0x1A2B;
  mark.type = "Stop";
  mark.alarm_radius = 50;
  mark.anchor_radius = 25;
  std::string gpx;
  ASSERT_TRUE(mark.WriteGPX(gpx));
  EXPECT_EQ(gpx,
            "<wpt lat=\"50.1234567890\" lon=\"-1.5000000000\">\n"
            "<time>1971-01-01T00:00:00Z</time>\n"
            "<name><![CDATA[A & B]]></name>\n"
            "<desc>plain</desc>\n"
            "<src>vdid:1A2B</src>\n"
            "<link href=\"http://x/?a=1&amp;b=&quot;2&quot;\"></link>\n"
            "<sym>Flag</sym>\n"
            "<type>Stop</type>\n"
            "<extensions>\n<xstyle:fill>\n"
            "<xstyle:color>12ab34</xstyle:color>\n"
            "</xstyle:fill>\n"
            "<xgarmin:WaypointExtension>\n"
            "<xgarmin:Proximity>-25.0</xgarmin:Proximity>\n"
            "</xgarmin:WaypointExtension>\n"
            "</extensions>\n"
            "</wpt>\n");
}

}  // namespace

namespace {

// A manager with two free marks, a deletion record and a route of two points, for the bulk
// operations of the lists.
struct BulkFixture {
  BulkFixture() {
    first = AddMarkAt(manager, "First", 50, -1);
    second = AddMarkAt(manager, "Second", 51, -1);
    gone = AddMarkAt(manager, "Gone", 52, -1);
    manager.DeleteMark(gone);
    route = AddRoute(manager, "Route", {{50, -1}, {50.1, -1}});
  }
  CMarkManager manager;
  COverlayMark* first;
  COverlayMark* second;
  COverlayMark* gone;
  COverlayRoute* route;
};

}  // namespace

TEST(MarkManager, BulkOperationsOfTheLists) {
  struct Case {
    const char* name;
    void (*operation)(CMarkManager&);
    bool CSyncable::*field;
    bool marks_value;   // of the live free marks afterwards
    bool routes_value;  // of the route afterwards
  };
  const Case cases[] = {
      {"lock marks", [](CMarkManager& m) { m.LockAllMarks(true); }, &CSyncable::keep, true, false},
      {"lock routes", [](CMarkManager& m) { m.LockAllRoutes(true); }, &CSyncable::keep, false, true},
      {"hide marks", [](CMarkManager& m) { m.ShowAllMarks(false); }, &CSyncable::live, false, true},
      {"hide routes", [](CMarkManager& m) { m.ShowAllRoutes(false); }, &CSyncable::live, true,
       false},
      {"marks not syncable", [](CMarkManager& m) { m.SetAllMarksNotSyncable(true); },
       &CSyncable::not_syncable, true, false},
      {"routes not syncable", [](CMarkManager& m) { m.SetAllRoutesNotSyncable(true); },
       &CSyncable::not_syncable, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BulkFixture f;
    c.operation(f.manager);
    EXPECT_EQ(f.first->*c.field, c.marks_value);
    EXPECT_EQ(f.second->*c.field, c.marks_value);
    EXPECT_EQ(f.route->*c.field, c.routes_value);
  }

  // Unlocking, showing again and making syncable again undo them.
  BulkFixture f;
  f.manager.LockAllMarks(true);
  f.manager.LockAllMarks(false);
  f.manager.SetAllRoutesNotSyncable(true);
  f.manager.SetAllRoutesNotSyncable(false);
  EXPECT_FALSE(f.first->keep);
  EXPECT_FALSE(f.route->not_syncable);
}

TEST(MarkManager, ShowingAndHidingAnnounceEachObjectAndLeaveDeletionRecordsHidden) {
  BulkFixture f;
  ChangeRecorder changes;
  f.manager.ShowAllMarks(false);
  f.manager.ShowAllRoutes(false);
  EXPECT_FALSE(f.route->points[0]->live) << "a hidden route's points go with it";
  for (const COverlayObject* object :
       {static_cast<COverlayObject*>(f.first), static_cast<COverlayObject*>(f.second),
        static_cast<COverlayObject*>(f.route), static_cast<COverlayObject*>(f.route->points[1].get())}) {
    EXPECT_TRUE(changes.Saw(object, COverlayObject::kAppeared));
  }
  changes.events.clear();
  f.manager.ShowAllMarks(true);
  f.manager.ShowAllRoutes(true);
  EXPECT_TRUE(f.first->live);
  EXPECT_TRUE(f.route->live);
  EXPECT_TRUE(f.route->points[1]->live);
  EXPECT_FALSE(f.gone->live) << "showing all does not bring a deletion record back";
  EXPECT_FALSE(changes.Saw(f.gone, COverlayObject::kAppeared));
}

TEST(MarkManager, PurgeDeletedTakesRecordsDeletedBeforeTheirFirstSyncOrNotNewerThanTheTime) {
  struct Case {
    const char* name;
    bool deleted;
    uint64_t sync_id;
    double modified;
    double time;
    bool purged;
  };
  const Case cases[] = {
      {"never synced", true, 0, 500, 100, true},
      {"synced, modified before the time", true, 7, 50, 100, true},
      {"synced, modified at the time", true, 7, 100, 100, true},
      {"synced, modified after the time", true, 7, 150, 100, false},
      {"synced, time 0", true, 7, 150, 0, false},
      {"live, never synced", false, 0, 50, 100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CMarkManager manager;
    COverlayMark* keep = AddMarkAt(manager, "Stays", 50, -1);
    COverlayMark* mark = AddMarkAt(manager, "Tested", 50, -1);
    mark->sync_id = c.sync_id;
    if (c.deleted) manager.DeleteMark(mark);
    mark->modified = c.modified;
    EXPECT_EQ(CMarkManager::PurgeDeleted(manager.marks, c.time), c.purged ? 1u : 0u);
    ASSERT_EQ(manager.marks.size(), c.purged ? 1u : 2u);
    EXPECT_EQ(manager.marks[0].get(), keep);
  }

  // Routes go with their points; a purged route that was the navigation route is let go.
  CMarkManager manager;
  COverlayRoute* route = AddRoute(manager, "R", {{50, -1}, {50.1, -1}, {50.2, -1}});
  manager.SetNavigationRoute(route);
  manager.DeleteRoute(route);
  EXPECT_EQ(CMarkManager::PurgeDeleted(manager.routes, 0.0), 1u);
  EXPECT_TRUE(manager.routes.empty());
  EXPECT_FALSE(manager.target().HasTarget());
}

TEST(MarkManager, CreateMarkAtAddsAnAnnouncedMarkToTheProgramsManager) {
  EXPECT_EQ(CreateMarkAt("Nowhere", 1, 2), nullptr) << "no manager, no mark";
  CMarkManager manager;
  ChangeRecorder changes;
  COverlayMark* mark = CreateMarkAt("Buoy", 50.5, -1.25);
  ASSERT_NE(mark, nullptr);
  ASSERT_EQ(manager.marks.size(), 1u);
  EXPECT_EQ(manager.marks[0].get(), mark);
  EXPECT_EQ(mark->name, "Buoy");
  EXPECT_EQ(mark->latitude, 50.5);
  EXPECT_EQ(mark->longitude, -1.25);
  EXPECT_EQ(mark->kind, COverlayObject::kMark);
  EXPECT_EQ(mark->icon, CMarkManager::Settings().default_mark_icon);
  EXPECT_TRUE(changes.Saw(mark, COverlayObject::kAppeared));
}

TEST(MarkManager, OwnPositionForSortingFollowsValidFixes) {
  CMarkManager manager;
  EXPECT_EQ(manager.own_position().north_factor(), 0.0) << "unknown before the first fix";
  CDataGPSPosition invalid = FixAt(10, 20);
  invalid.valid = false;
  manager.OnEvent(invalid);
  EXPECT_EQ(manager.own_position().north_factor(), 0.0);
  CDataGPSPosition fix = FixAt(50, -1);
  manager.OnEvent(fix);
  EXPECT_EQ(manager.own_position().origin_lat(), 50.0);
  EXPECT_EQ(manager.own_position().origin_lon(), -1.0);
  EXPECT_NEAR(manager.own_position().north_factor(), 111'229, 10);
  EXPECT_NEAR(manager.own_position().east_factor(), 71'696, 10);
}
