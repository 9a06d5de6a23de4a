// Routes: archive records (current and older schemas), the insert-mode state machine and keys,
// joining, splitting, reversing and renumbering.
#include "overlays/obj_route.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charts/old_quick_chart.h"
#include "core/persistent_value.h"
#include "overlays/mapped_object.h"
#include "overlays/category.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_archive.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kNmPerDegreeLat = 60.0;  // near enough for placing test marks

class RouteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
    app.document = &doc;
  }
  // Routes go first: a mark's destruction can make its route delete itself, which the
  // document's plain release loop would not expect.
  void TearDown() override {
    ObjectList routes;
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(CObjRoute::kClass)) routes.push_back(object);
    }
    for (COstrelObject* route : routes) route->Delete(false);
    CObjRoute::SetCurrent(nullptr);
  }

  CObjWaypoint* Mark(const std::string& name, double lat, double lon) {
    CObjWaypoint* mark = doc.AddMark(name, lat, lon);
    mark->short_name = name;
    return mark;
  }
  CObjRoute* Route(const std::string& name, const std::vector<CObjWaypoint*>& marks) {
    return doc.AddRoute(name, marks);
  }
  bool InDocument(const COstrelObject* object) const {
    return std::find(doc.objects.begin(), doc.objects.end(), object) != doc.objects.end();
  }
  static int LinksTo(const CObjWaypoint* mark, const CObjRoute* route) {
    return static_cast<int>(std::count(mark->routes().begin(), mark->routes().end(),
                                       static_cast<const WaypointRouteLink*>(route)));
  }
  // Every point has one back-link to the route per occurrence.
  static void ExpectLinksConsistent(const CObjRoute* route) {
    for (const CObjWaypoint* mark : route->points()) {
      EXPECT_EQ(LinksTo(mark, route),
                std::count(route->points().begin(), route->points().end(), mark))
          << mark->name;
    }
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  vd::test::FakeDoc doc;
  CCurrentOwnerScope owner{&doc};
};

// ---- Archive ----

std::string WriteObjects(const std::string& path, const std::vector<COstrelObject*>& objects) {
  return vd::test::StoredArchive(path, [&](COverlayArchive& archive) {
    archive.WriteCount(static_cast<uint32_t>(objects.size()));
    for (COstrelObject* object : objects) archive.WriteObject(object);
  });
}

TEST_F(RouteTest, ArchiveRoundTripGivesTheSameBytesAndRelinksTheMarks) {
  CObjWaypoint* a = Mark("WP0101", 50.0, -5.0);
  CObjWaypoint* b = Mark("WP0102", 50.1, -5.0);
  CObjRoute* route = Route("Route1", {a, b, a});
  route->leg_labels = true;
  route->colour = 0x123456;
  route->thickness = 3;
  route->line_style = 2;
  route->transparency = 1;
  route->GetUniqueId();
  // Without an icon library a mark reads its colour back as 0.
  a->colour = b->colour = 0;
  const std::string first = WriteObjects(dir.File("a.vdo"), {route});

  const auto* data = reinterpret_cast<const uint8_t*>(first.data());
  COverlayArchive reader(std::span<const uint8_t>(data, first.size()));
  ASSERT_EQ(reader.ReadCount(), 1u);
  auto* copy = reader.ReadObject<CObjRoute>();
  ASSERT_NE(copy, nullptr);
  copy->AddRef();
  reader.FinishLoad();
  EXPECT_EQ(copy->edit_state, CObjRoute::kNormal);
  ASSERT_EQ(copy->points().size(), 3u);
  EXPECT_EQ(copy->points()[0], copy->points()[2]);  // one mark, referenced twice
  EXPECT_EQ(LinksTo(copy->points()[0], copy), 2);
  EXPECT_NEAR(copy->length, 12.0, 0.1);
  EXPECT_TRUE(copy->IsSameObject(*route));
  EXPECT_EQ(WriteObjects(dir.File("b.vdo"), {copy}), first);
  copy->Release();
}

// The older record of a route without points: base fields up to the category (schema 16 on),
// leg labels and the point count; no colour, thickness, style or transparency before 18.
std::string OldRouteRecord(uint16_t schema) {
  std::string b;
  auto u16 = [&](uint16_t v) { b.append(reinterpret_cast<const char*>(&v), 2); };
  auto i32 = [&](int32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); };
  u16(1);  // list count
  u16(0xFFFF);
  u16(schema);
  u16(9);
  b += "CObjRoute";
  b += '\x05';
  b += "Old 7";
  i32(1000);  // created
  i32(2000);  // modified
  b += '\x00';  // locked
  b += '\x01';  // visible
  i32(0x14);    // style without its layer byte
  if (schema >= 16) u16(0);  // no category
  b += '\x01';  // leg labels
  u16(0);       // points
  return b;
}

TEST_F(RouteTest, OlderSchemasTakeTheDisplaySettingsFromTheProfile) {
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, "route_color", 0x00FF00);
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, "route_thickness", 2);
  for (uint16_t schema : {15, 17}) {
    const std::string bytes = OldRouteRecord(schema);
    COverlayArchive reader(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_EQ(reader.ReadCount(), 1u);
    CObjRoute* route = reader.ReadObject<CObjRoute>();
    ASSERT_NE(route, nullptr) << schema;
    EXPECT_EQ(route->name, "Old 7");
    EXPECT_EQ(route->style, 0x14000000);
    EXPECT_TRUE(route->leg_labels);
    EXPECT_EQ(route->colour, 0x00FF00u);
    EXPECT_EQ(route->thickness, 2);
    EXPECT_EQ(route->edit_state, CObjRoute::kNormal);
    EXPECT_EQ(reader.BytesLeft(), 0u);
  }
}

TEST_F(RouteTest, ARecordWithMorePointsThanBytesIsRefused) {
  std::string bytes = OldRouteRecord(17);
  bytes[bytes.size() - 2] = '\x10';  // 16 points, no bytes for them
  COverlayArchive reader(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  reader.ReadCount();
  EXPECT_THROW(reader.ReadObject<CObjRoute>(), COverlayArchiveException);
}

// ---- Insert mode ----

enum class Event { kClickChart, kClickFirst, kClickLast, kBackspace, kEnter, kInsertKey,
                   kDoubleClick };

struct Step {
  Event event;
  int state_after;
  size_t points_after;
  int insert_after;
  bool route_alive = true;
};

class InsertModeTest : public RouteTest {
 protected:
  // Runs the events on a new route (insert mode, no points) and checks each step.
  void Run(const std::vector<Step>& steps) {
    CObjRoute* route = doc.Add(new CObjRoute);
    route->name = "Route3";
    route->AddRef();  // the test's own, so a deleted route can still be inspected
    double lat = 50.0;
    int n = 0;
    for (const Step& step : steps) {
      SCOPED_TRACE(testing::Message() << "step " << n++);
      const CLatLon click{lat += 0.01, -5.0};
      switch (step.event) {
        case Event::kClickChart:
          route->OnLButtonDown(click, nullptr);
          route->OnLButtonUp(click);
          break;
        case Event::kClickFirst:
          route->InsertWaypointWhileEditing(*route->points().front());
          break;
        case Event::kClickLast:
          route->InsertWaypointWhileEditing(*route->points().back());
          break;
        case Event::kBackspace:
          route->OnKeyDown(vd::ui::kVkBack);
          break;
        case Event::kEnter:
          route->OnKeyDown(vd::ui::kVkReturn);
          break;
        case Event::kInsertKey:
          route->OnKeyDown(vd::ui::kVkInsert);
          break;
        case Event::kDoubleClick:
          route->OnDoubleClick(click);
          break;
      }
      EXPECT_EQ(route->edit_state, step.state_after);
      EXPECT_EQ(route->points().size(), step.points_after);
      EXPECT_EQ(route->insert_after, step.insert_after);
      EXPECT_EQ(InDocument(route), step.route_alive);
      ExpectLinksConsistent(route);
    }
    route->Release();
  }
};

TEST_F(InsertModeTest, BuildingCorrectingAndEndingARoute) {
  Run({
      {Event::kBackspace, 1, 0, -1},   // nothing before the insert position: nothing removed
      {Event::kClickChart, 1, 1, 0},
      {Event::kClickChart, 1, 2, 1},
      {Event::kClickChart, 1, 3, 2},
      {Event::kBackspace, 1, 2, 1},    // the last point goes
      {Event::kEnter, 0, 2, 1},
      {Event::kInsertKey, 0, 2, 1},    // no leg selected: stays normal
      {Event::kDoubleClick, 0, 2, 1},
  });
}

TEST_F(InsertModeTest, ClosingOnTheFirstPointEndsInsertMode) {
  Run({
      {Event::kClickChart, 1, 1, 0},
      {Event::kClickChart, 1, 2, 1},
      {Event::kClickChart, 1, 3, 2},
      {Event::kClickFirst, 0, 4, 3},   // closes the route
  });
}

TEST_F(InsertModeTest, ClickingThePointBeforeTheInsertPositionEndsWithoutInserting) {
  Run({
      {Event::kClickChart, 1, 1, 0},
      {Event::kClickChart, 1, 2, 1},
      {Event::kClickLast, 0, 2, 1},
  });
}

TEST_F(InsertModeTest, RemovingTheOnlyPointDeletesTheRouteAndItsNewMark) {
  Run({
      {Event::kClickChart, 1, 1, 0},
      {Event::kBackspace, 0, 0, -1, false},
  });
  // The route point made by the click had no other route: it went with it.
  for (COstrelObject* object : doc.objects) EXPECT_FALSE(object->IsKindOf(CObjWaypoint::kClass));
}

TEST_F(RouteTest, ClicksMakeNamedRoutePointsAndAnInnerInsertionEndsInsertMode) {
  CObjWaypoint* a = Mark("A", 50.0, -5.0);
  CObjWaypoint* b = Mark("B", 50.2, -5.0);
  CObjRoute* route = Route("Route7", {a, b});
  route->selected_leg = 0;
  route->OnKeyDown(vd::ui::kVkInsert);
  ASSERT_EQ(route->edit_state, CObjRoute::kInsert);
  EXPECT_EQ(route->insert_after, 0);
  EXPECT_EQ(route->insert_before, 1);
  const CLatLon click{50.1, -4.9};
  route->OnLButtonDown(click, nullptr);
  route->OnLButtonUp(click);
  ASSERT_EQ(route->points().size(), 3u);
  const CObjWaypoint* inserted = route->points()[1];
  EXPECT_EQ(inserted->name, "WP0703");
  EXPECT_EQ(inserted->position, click);
  EXPECT_FALSE(inserted->being_placed);
  EXPECT_EQ(CCategory::GetNameOr(inserted->category()), "Waypoints");
  EXPECT_EQ(route->edit_state, CObjRoute::kNormal);
  ExpectLinksConsistent(route);
}

TEST_F(RouteTest, LockedRoutesIgnoreKeysAndLockTheirMarks) {
  CObjWaypoint* a = Mark("A", 50.0, -5.0);
  CObjWaypoint* b = Mark("B", 50.2, -5.0);
  CObjRoute* route = Route("R", {a, b});
  route->SetLocked(true);
  EXPECT_TRUE(a->locked);
  EXPECT_EQ(a->route_lock_count(), 1);
  EXPECT_FALSE(route->OnKeyDown(vd::ui::kVkBack));
  route->StartInsertAfter(*a);
  EXPECT_EQ(route->edit_state, CObjRoute::kNormal);
  route->SetLocked(false);
  EXPECT_FALSE(a->locked);
}

// ---- Screen record ----

TEST_F(RouteTest, PrepareViewGivesChartPixelsAndTheInsertModeRubberBand) {
  // One arc-second per chart pixel from (50N, 5W).
  ASSERT_TRUE(vd::test::WriteChartFixture(dir.File("chart.qct"), vd::test::ChartFixture{}));
  const std::unique_ptr<COldQuickChart> chart = OpenOldQuickChart(dir.File("chart.qct"), false);
  ASSERT_NE(chart, nullptr);
  auto at = [](int x, int y) { return CLatLon{50.0 - (y + 0.5) / 3600.0, -5.0 + (x + 0.5) / 3600.0}; };
  CObjWaypoint* a = Mark("A", at(20, 10).lat, at(20, 10).lon);
  CObjWaypoint* b = Mark("B", at(80, 40).lat, at(80, 40).lon);
  CObjWaypoint* c = Mark("C", at(100, 100).lat, at(100, 100).lon);
  CObjRoute* route = Route("R", {a, b, c});
  route->leg_labels = true;

  CMappedObject mapped(nullptr);
  CRubberBand band;
  route->StartInsertAfter(*a);  // selects the route
  ASSERT_TRUE(route->IsSelected());
  route->PrepareView(mapped, chart.get(), band);
  ASSERT_EQ(mapped.point_count(), 3);
  EXPECT_EQ(mapped.kind, CMappedObject::kPolyline);
  EXPECT_EQ(mapped.chart_points()[1], (vd::ui::Point{80, 40}));
  // Margins of 4 round the points, and room for the leg labels on the right.
  EXPECT_EQ(mapped.bounds, (vd::ui::Rect{16, 6, 104 + 100, 104}));
  EXPECT_TRUE(band.active);
  ASSERT_EQ(band.anchor_count(), 2);
  EXPECT_EQ(band.anchors()[0], (vd::ui::Point{20, 10}));
  EXPECT_EQ(band.anchors()[1], (vd::ui::Point{80, 40}));
  EXPECT_EQ(band.label.rfind("Click to add new waypoint: Total distance ", 0), 0u);

  route->OnKeyDown(vd::ui::kVkEscape);
  route->PrepareView(mapped, chart.get(), band);
  EXPECT_FALSE(band.active);
  EXPECT_EQ(band.label.rfind("Route \"R\": Total distance ", 0), 0u);

  // A point off the chart's georeference range leaves the record without points.
  c->position = {1e12, 0};
  route->PrepareView(mapped, chart.get(), band);
  EXPECT_EQ(mapped.point_count(), 0);
}

// ---- Distances ----

TEST_F(RouteTest, DistanceToEndAndDistanceToWaypointMeasureFromOppositeEnds) {
  CObjWaypoint* a = Mark("A", 50.0, -5.0);
  CObjWaypoint* b = Mark("B", 50.1, -5.0);
  CObjWaypoint* c = Mark("C", 50.3, -5.0);
  CObjWaypoint* lone = Mark("L", 51.0, -5.0);
  CObjRoute* route = Route("R", {a, b, c});
  const double ab = a->position.DistanceTo(b->position);
  const double bc = b->position.DistanceTo(c->position);
  EXPECT_NEAR(route->length, ab + bc, 1e-9);
  EXPECT_NEAR(route->DistanceToEnd(b), bc, 1e-9);
  EXPECT_NEAR(route->DistanceToWaypoint(b), ab, 1e-9);
  EXPECT_NEAR(route->DistanceToEnd(nullptr), ab + bc, 1e-9);
  EXPECT_NEAR(route->DistanceToWaypoint(lone), ab + bc, 1e-9);
  EXPECT_NEAR(route->DistanceBetween(1, -1), bc, 1e-9);
}

// ---- Join, split, reverse, renumber ----

TEST_F(RouteTest, JoinMergesFacingEndsCloserThan30Metres) {
  struct Case {
    double gap_m;
    bool merged;
  };
  for (const Case c : {Case{29, true}, Case{31, false}}) {
    SCOPED_TRACE(c.gap_m);
    const double gap_deg = c.gap_m / 1852.0 / kNmPerDegreeLat;
    CObjWaypoint* a1 = Mark("A1", 50.0, -5.0);
    CObjWaypoint* a2 = Mark("A2", 50.1, -5.0);
    CObjWaypoint* b1 = Mark("B1", 50.1 + gap_deg, -5.0);
    CObjWaypoint* b2 = Mark("B2", 50.2, -5.0);
    CObjRoute* first = Route("First", {a1, a2});
    CObjRoute* second = Route("Second", {b1, b2});
    first->Join(second);
    EXPECT_FALSE(InDocument(second));
    EXPECT_EQ(InDocument(b1), !c.merged);
    if (c.merged) {
      ASSERT_EQ(first->points().size(), 3u);
      EXPECT_NEAR(a2->position.lat, 50.1 + gap_deg / 2, 1e-12);
    } else {
      ASSERT_EQ(first->points().size(), 4u);
      EXPECT_EQ(first->points()[2], b1);
      EXPECT_EQ(LinksTo(b1, first), 1);
    }
    EXPECT_EQ(first->points().back(), b2);
    EXPECT_EQ(b2->routes().size(), 1u);
    ExpectLinksConsistent(first);
  }
}

TEST_F(RouteTest, JoinKeepsAMergedEndThatTheOtherRouteHoldsAgain) {
  CObjWaypoint* a1 = Mark("A1", 50.0, -5.0);
  CObjWaypoint* a2 = Mark("A2", 50.1, -5.0);
  CObjWaypoint* b1 = Mark("B1", 50.1, -5.0);  // same place as A2
  CObjWaypoint* b2 = Mark("B2", 50.2, -5.0);
  CObjWaypoint* b3 = Mark("B3", 50.2, -5.1);
  CObjRoute* first = Route("First", {a1, a2});
  CObjRoute* loop = Route("Loop", {b1, b2, b3, b1});
  first->Join(loop);
  EXPECT_TRUE(InDocument(b1));
  ASSERT_EQ(first->points().size(), 5u);
  EXPECT_EQ(first->points()[4], b1);
  ExpectLinksConsistent(first);
}

TEST_F(RouteTest, JoinIgnoresNullSelfAndOnePointRoutes) {
  CObjWaypoint* a = Mark("A", 50.0, -5.0);
  CObjWaypoint* b = Mark("B", 50.1, -5.0);
  CObjRoute* route = Route("R", {a, b});
  CObjRoute* single = Route("S", {Mark("C", 50.2, -5.0)});
  route->Join(nullptr);
  route->Join(route);
  route->Join(single);
  EXPECT_EQ(route->points().size(), 2u);
  EXPECT_TRUE(InDocument(single));
}

TEST_F(RouteTest, SplitAtAMarkHeldTwiceSplitsAtItsLaterInnerOccurrence) {
  CObjWaypoint* a = Mark("A", 50.0, -5.0);
  CObjWaypoint* m = Mark("M", 50.1, -5.0);
  CObjWaypoint* b = Mark("B", 50.2, -5.0);
  CObjWaypoint* c = Mark("C", 50.3, -5.0);
  CObjRoute* route = Route("Route4", {a, m, b, m, c});
  route->SplitAt(*m, true);
  ASSERT_EQ(route->points().size(), 4u);
  EXPECT_EQ(route->points()[1], m);
  EXPECT_EQ(route->points().back(), m);
  const auto found = std::find_if(doc.objects.begin(), doc.objects.end(), [](COstrelObject* o) {
    return o->IsKindOf(CObjRoute::kClass) && o->name == "Route4-split";
  });
  ASSERT_NE(found, doc.objects.end());
  const auto* split = static_cast<const CObjRoute*>(*found);
  ASSERT_EQ(split->points().size(), 2u);
  EXPECT_EQ(split->points()[0]->name, "M-split");
  EXPECT_EQ(split->points()[0]->position, m->position);
  EXPECT_EQ(split->points()[1], c);
  EXPECT_EQ(LinksTo(c, route), 0);
  ExpectLinksConsistent(route);
  ExpectLinksConsistent(split);
}

TEST_F(RouteTest, SplitAtTheSelectedLegDropsThatLeg) {
  CObjWaypoint* a = Mark("A", 50.0, -5.0);
  CObjWaypoint* b = Mark("B", 50.1, -5.0);
  CObjWaypoint* c = Mark("C", 50.2, -5.0);
  CObjWaypoint* d = Mark("D", 50.3, -5.0);
  CObjRoute* route = Route("R", {a, b, c, d});
  route->selected_leg = 1;
  ASSERT_TRUE(route->CanSplitAtSelectedPoint());
  route->SplitAtSelectedPoint();
  EXPECT_EQ(route->points(), (std::vector<CObjWaypoint*>{a, b}));
  const auto* split = static_cast<const CObjRoute*>(doc.objects.back());
  EXPECT_EQ(split->points(), (std::vector<CObjWaypoint*>{c, d}));
  route->selected_leg = 0;
  EXPECT_FALSE(route->CanSplitAtSelectedPoint());
}

TEST_F(RouteTest, ReverseAndRenumber) {
  CObjWaypoint* a = Mark("WP3", 50.0, -5.0);
  CObjWaypoint* b = Mark("Buoy", 50.1, -5.0);
  CObjWaypoint* c = Mark("WP9x", 50.2, -5.0);
  CObjRoute* route = Route("Route12", {a, b, c, a});
  route->RenumberWaypoints();
  EXPECT_EQ(a->name, "WP1201");
  EXPECT_EQ(b->name, "Buoy");
  EXPECT_EQ(c->name, "WP1203");  // Buoy still took number 2
  route->Reverse();
  EXPECT_EQ(route->points(), (std::vector<CObjWaypoint*>{a, c, b, a}));
  route->SetLocked(true);
  route->Reverse();
  EXPECT_EQ(route->points()[1], c);
}

// A long route that comes back the way it went: each mark is numbered at its first visit, and
// deleting the route takes each mark, left without a route, once.
TEST_F(RouteTest, LongRouteBackTheWayItWentNumbersEachMarkOnce) {
  std::vector<CObjWaypoint*> marks;
  for (int i = 0; i < 60; ++i) marks.push_back(Mark("WP1", 50.0 + i * 0.01, -5.0));
  std::vector<CObjWaypoint*> points(marks);
  points.insert(points.end(), marks.rbegin() + 1, marks.rend());
  CObjRoute* route = Route("Route7", points);
  route->RenumberWaypoints();
  for (int i = 0; i < 60; ++i) {
    EXPECT_EQ(marks[i]->name, vd::os::FormatC("WP07%02d", i + 1));
  }
  route->Delete(false);
  EXPECT_FALSE(InDocument(route));
  for (const CObjWaypoint* mark : marks) EXPECT_FALSE(InDocument(mark));
}

TEST_F(RouteTest, DeletedMarksLeaveTheRouteAndAOnePointRouteGoes) {
  CObjWaypoint* a = Mark("A", 50.0, -5.0);
  CObjWaypoint* b = Mark("B", 50.1, -5.0);
  CObjWaypoint* c = Mark("C", 50.2, -5.0);
  CObjRoute* route = Route("R", {a, b, c});
  b->Delete(false);
  EXPECT_EQ(route->points(), (std::vector<CObjWaypoint*>{a, c}));
  a->Delete(false);
  EXPECT_FALSE(InDocument(route));
  EXPECT_FALSE(InDocument(c));  // left without a route, the last mark went too
}

TEST_F(RouteTest, EnclosedAreaOfAClosedRoute) {
  CObjWaypoint* a = Mark("A", 0.0, 0.0);
  CObjWaypoint* b = Mark("B", 0.0, 0.01);
  CObjWaypoint* c = Mark("C", 0.01, 0.01);
  CObjWaypoint* d = Mark("D", 0.01, 0.0);
  EXPECT_EQ(Route("Open", {a, b})->GetEnclosedArea(), 0.0);
  const double area = Route("Square", {a, b, c, d, a})->GetEnclosedArea();
  EXPECT_NEAR(area, 1113.2 * 1105.7, 0.01 * area);
}

}  // namespace
