// The navigation panes: the arrow's drawing for known courses, the figures shown for a mark
// and for a route, turn angles, alarms, the change codes that refresh or close the panes, and
// the saved line choice.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <cmath>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "gps/ui/nav_arrow.h"
#include "gps/ui/navigation_data.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "tests/temp_dir.h"

namespace {

class NavDoc : public vd::test::FakeDoc, public CCurrentPositionDocument {
 public:
  CObjCurrentPosition* PeekCurrentPosition() const override { return vessel; }
  void SetCurrentPosition(CObjCurrentPosition* position) override { vessel = position; }
  CObjCurrentPosition* vessel = nullptr;
};

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

class NavigationPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.document = &doc;
    COstrelObject::SetNotificationsEnabled(true);
    CNavigationData::selection() = Defaults();
    CNavigationData::arrival_alarm_nm = 0.0f;
    CNavigationData::cross_track_alarm_nm = 0.0f;
    CNavigationData::SetAlarmSound([this](CNavigationData::AlarmSound s) { sounds.push_back(s); });
    vessel = doc.Add(new CObjCurrentPosition);
    doc.vessel = vessel;
  }
  void TearDown() override {
    app.CloseAllDataWindows();
    FlushDeletes();
    CNavigationData::SetAlarmSound(nullptr);
    ObjectList routes;
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(CObjRoute::kClass)) routes.push_back(object);
    }
    for (COstrelObject* route : routes) route->Delete(false);
    CObjRoute::SetCurrent(nullptr);
  }
  static CNavigationData::Selection Defaults() {
    CNavigationData::Selection s{};
    for (int byte : {0, 1, 2, 3, 14}) s[byte] = 1;
    return s;
  }
  CObjWaypoint* Mark(const std::string& name, double lat, double lon) {
    CObjWaypoint* mark = doc.AddMark(name, lat, lon);
    mark->short_name = name;
    return mark;
  }
  CObjRoute* Route(const std::string& name, const std::vector<CObjWaypoint*>& marks) {
    return doc.AddRoute(name, marks);
  }
  // A new fix of the vessel, told to the panes.
  void Fix(double lat, double lon, float course, float speed, float heading = 400.0f) {
    vessel->valid = 1;
    vessel->position = {lat, lon};
    vessel->course = course;
    vessel->speed = speed;
    vessel->heading = heading;
    vessel->time = 1'700'000'000;
    app.BroadcastToDataWindows(vessel, kChangeModified);
  }
  bool InPaneList(const CDataWnd* pane) const {
    const auto& list = app.data_windows();
    return std::find(list.begin(), list.end(), pane) != list.end();
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  NavDoc doc;
  CCurrentOwnerScope owner{&doc};
  CObjCurrentPosition* vessel = nullptr;
  std::vector<CNavigationData::AlarmSound> sounds;
};

TEST(TurnAngle, FoldsIntoAHalfCircleAndNamesTheSide) {
  struct Case {
    double bearing, heading;
    const char* text;
  };
  const Case cases[] = {
      {190, 0, "170°<"},  // 190 to the right is 170 to the left
      {10, 350, "20°>"},  {350, 10, "20°<"}, {0, 180, "180°<"},
      {180, 0, "180°>"},  {45.4, 0, "45°>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CNavigationWnd::FormatTurn(CNavigationWnd::TurnAngle(c.bearing, c.heading)),
              c.text)
        << c.bearing << " " << c.heading;
  }
}

TEST_F(NavigationPaneTest, ArrowPointsFromTheCourseToTheTargetAndKeepsItWhenStopped) {
  CObjWaypoint* mark = Mark("North", 1.0, 0.0);
  CNavArrow* arrow = CNavArrow::ShowGotoMark(mark);
  ASSERT_NE(arrow, nullptr);
  arrow->resize(101, 101);
  const QColor blue(0, 0, 150);
  auto at = [&](int dx, int dy) {
    const QImage image = arrow->grab().toImage();
    return QColor(image.pixel(50 + dx, 50 + dy));
  };
  const QColor background(255, 255, 220);
  struct Case {
    float course;
    float speed;
    int dx, dy;  // where the arrow should point
  };
  const Case cases[] = {
      {0.0f, 5.0f, 0, -1},    // straight on: up
      {270.0f, 5.0f, 1, 0},   // target 90 degrees right of the course
      {90.0f, 5.0f, -1, 0},   // left
      {0.0f, 0.05f, -1, 0},   // too slow: still pointing left
  };
  // The radius is 50: the head reaches 50 out, the tail 42, the shaft 17 to each side.
  for (const Case& c : cases) {
    Fix(0.0, 0.0, c.course, c.speed);
    EXPECT_EQ(at(40 * c.dx, 40 * c.dy), blue) << c.course << " " << c.speed;
    EXPECT_EQ(at(-47 * c.dx, -47 * c.dy), background) << c.course << " " << c.speed;
    EXPECT_EQ(at(-30 * c.dy, 30 * c.dx), background) << c.course << " " << c.speed;
  }
  EXPECT_EQ(arrow->windowTitle().toStdString(), "North");
}

TEST_F(NavigationPaneTest, FiguresForAMarkAndForARoute) {
  CObjWaypoint* mark = Mark("Buoy", 0.1, 0.0);
  CNavigationData* pane = CNavigationData::ShowGotoMark(mark);
  ASSERT_NE(pane, nullptr);
  Fix(0.0, 0.0, 0.0f, 6.0f);
  std::vector<std::string> lines = pane->ShownLines();
  ASSERT_EQ(lines.size(), 4u);  // bytes 0, 1, 2, 14; the cross-track line needs a route
  EXPECT_EQ(lines[0], app.FormatRangeBearing(pane->distance(), pane->bearing()));
  EXPECT_EQ(lines[1], "VMG: 6.00 kts");
  EXPECT_TRUE(StartsWith(lines[2], "ETA: ")) << lines[2];
  EXPECT_GT(lines[2].size(), 5u);  // a time, since the vessel makes way towards the mark
  EXPECT_TRUE(StartsWith(lines[3], "Dist: ")) << lines[3];

  CObjWaypoint* a = Mark("WP1", 0.0, 0.0);
  CObjWaypoint* b = Mark("WP2", 0.1, 0.0);
  CObjWaypoint* c = Mark("WP3", 0.1, 0.1);
  CObjRoute* route = Route("Passage", {a, b, c});
  ASSERT_EQ(CNavigationData::ShowFollowRoute(route), pane);  // the same pane, rebound
  Fix(0.05, -0.001, 0.0f, 5.0f);
  EXPECT_EQ(pane->target(), b);
  EXPECT_EQ(pane->windowTitle().toStdString(), "Passage: WP2");
  lines = pane->ShownLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(StartsWith(lines[1], "VMG Mark: ")) << lines[1];
  EXPECT_TRUE(StartsWith(lines[2], "ETA end: ")) << lines[2];
  EXPECT_TRUE(StartsWith(lines[3], "Dist end: ")) << lines[3];
  // West of a northbound leg: steer right.
  EXPECT_TRUE(StartsWith(lines[4], "XTE: >> ")) << lines[4];
  EXPECT_TRUE(pane->turn_known());

  Fix(0.05, 0.001, 0.0f, 5.0f);
  EXPECT_TRUE(StartsWith(pane->ShownLines()[4], "XTE: << ")) << pane->ShownLines()[4];
}

TEST_F(NavigationPaneTest, CommandsToggleLinesAndTheChoiceIsSaved) {
  CNavigationData* pane = CNavigationData::ShowGotoMark(Mark("M", 0.1, 0.0));
  ASSERT_NE(pane, nullptr);
  for (int command : {32953, 32954, 226, 225}) EXPECT_TRUE(pane->OnCommand(command));
  EXPECT_EQ(pane->ShownLines(), std::vector<std::string>{CNavigationData::kNoLineText});
  EXPECT_TRUE(pane->OnCommand(33685));  // the turn line
  ASSERT_EQ(pane->ShownLines().size(), 1u);
  EXPECT_TRUE(StartsWith(pane->ShownLines()[0], "Turn ")) << pane->ShownLines()[0];

  auto menu = pane->LoadContextMenu();
  ASSERT_NE(menu, nullptr);
  pane->OnSettingsChanged(*menu);
  EXPECT_NE(menu->FindItem(33685)->flags & vd::ui::PopupMenu::kChecked, 0u);
  EXPECT_EQ(menu->FindItem(32953)->flags & vd::ui::PopupMenu::kChecked, 0u);
  EXPECT_EQ(menu->FindItem(32959), nullptr);  // route-only lines are left out

  pane->DestroyWindow();
  FlushDeletes();
  std::vector<uint8_t> stored(20, 0xEE);
  vd::LoadProfileBinary(CNavigationData::kSelectionKey, stored.data(), stored.size());
  std::vector<uint8_t> expected(20, 0);
  expected[3] = 1;   // the cross-track line stayed chosen
  expected[17] = 1;  // the turn line
  EXPECT_EQ(stored, expected);
}

TEST_F(NavigationPaneTest, TurnLineUsesTheHeadingOrTheCourseWithoutOne) {
  CNavigationData::selection() = {};
  CNavigationData::selection()[17] = 1;
  CNavigationData* pane = CNavigationData::ShowGotoMark(Mark("North", 0.1, 0.0));
  ASSERT_NE(pane, nullptr);
  struct Case {
    float course, heading;
    const char* prefix;
  };
  const Case cases[] = {{90.0f, 400.0f, "Turn 90°< "}, {90.0f, 0.0f, "Turn 0°> "},
                        {0.0f, 190.0f, "Turn 170°> "}};
  for (const Case& c : cases) {
    Fix(0.0, 0.0, c.course, 5.0f, c.heading);
    ASSERT_EQ(pane->ShownLines().size(), 1u);
    EXPECT_TRUE(StartsWith(pane->ShownLines()[0], c.prefix)) << pane->ShownLines()[0];
  }
}

TEST_F(NavigationPaneTest, TextHeightFitsTheLinesToThePane) {
  CNavigationData::selection() = {};
  CNavigationData* pane = CNavigationData::ShowGotoMark(Mark("M", 0.1, 0.0));
  ASSERT_NE(pane, nullptr);
  // One line of 26 characters.
  struct Case {
    int width, height, font_height;
  };
  const Case cases[] = {{260, 100, 20}, {1300, 15, 15}, {50, 50, 10}};
  for (const Case& c : cases) {
    pane->resize(c.width, c.height);
    EXPECT_EQ(pane->font_height(), c.font_height) << c.width << "x" << c.height;
  }
}

TEST_F(NavigationPaneTest, AlarmsSoundForArrivalAndForEachSideOfTheTrack) {
  CObjWaypoint* a = Mark("A", 0.0, 0.0);
  CObjWaypoint* b = Mark("B", 0.5, 0.0);
  ASSERT_NE(CNavigationData::ShowFollowRoute(Route("R", {a, b})), nullptr);
  CNavigationData::cross_track_alarm_nm = 0.01f;
  Fix(0.1, -0.01, 0.0f, 5.0f);  // about 0.6 NM west of the track
  Fix(0.1, 0.01, 0.0f, 5.0f);
  Fix(0.1, 0.0, 0.0f, 5.0f);    // on the track: silent
  CNavigationData::arrival_alarm_nm = 1.0f;
  Fix(0.49, 0.01, 0.0f, 5.0f);  // near B: arrival wins
  using S = CNavigationData::AlarmSound;
  EXPECT_EQ(sounds, (std::vector<S>{S::kQuestion, S::kExclamation, S::kStop}));
}

TEST_F(NavigationPaneTest, DeletingTheRouteClosesBothPanesAndOtherCodesAreIgnored) {
  CObjWaypoint* a = Mark("A", 0.0, 0.0);
  CObjWaypoint* b = Mark("B", 0.5, 0.0);
  CObjRoute* route = Route("R", {a, b});
  QPointer<CNavArrow> arrow = CNavArrow::ShowFollowRoute(route);
  QPointer<CNavigationData> data = CNavigationData::ShowFollowRoute(route);
  ASSERT_TRUE(arrow && data);
  Fix(0.1, 0.0, 0.0f, 5.0f);
  const double distance = data->distance();
  vessel->position = {0.3, 0.0};
  app.BroadcastToDataWindows(vessel, kChangeMoved);  // code 5: nothing recomputed
  EXPECT_EQ(data->distance(), distance);
  app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_LT(data->distance(), distance);

  route->Delete(false);
  EXPECT_FALSE(InPaneList(arrow.data()));
  EXPECT_FALSE(InPaneList(data.data()));
  FlushDeletes();
  EXPECT_TRUE(arrow.isNull());
  EXPECT_TRUE(data.isNull());
}

TEST_F(NavigationPaneTest, DeletingTheMarkClosesItsPaneAndTheVesselIsForgotten) {
  CObjWaypoint* mark = Mark("M", 0.1, 0.0);
  QPointer<CNavArrow> arrow = CNavArrow::ShowGotoMark(mark);
  ASSERT_TRUE(arrow);
  EXPECT_EQ(arrow->vessel(), vessel);
  app.BroadcastToDataWindows(vessel, kChangeDeleted);
  EXPECT_EQ(arrow->vessel(), nullptr);
  EXPECT_TRUE(InPaneList(arrow.data()));  // the mark is still there
  mark->Delete(false);
  FlushDeletes();
  EXPECT_TRUE(arrow.isNull());
}

}  // namespace
