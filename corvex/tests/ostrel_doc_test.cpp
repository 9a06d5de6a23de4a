// The document's objects, GPS position and track, and chart windows.
#include "corvex/ostrel_doc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/object_arena.h"
#include "corvex/tests/ostrel_doc_test_world.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "overlays/tests/overlay_test_objects.h"

namespace {

using vd::test::DocWorld;
using vd::test::FakeChartView;

// An outline of a square chart around (lat, lon), half a degree each way.
COldChartOutline* AddOutline(COstrelDoc& doc, const std::string& path, double lat, double lon,
                             double scale) {
  CCurrentOwnerScope owner(&doc);
  auto* outline = new COldChartOutline;
  outline->chart_path = path;
  outline->scale = scale;
  outline->points = {{lat + 0.5, lon - 0.5},
                     {lat + 0.5, lon + 0.5},
                     {lat - 0.5, lon + 0.5},
                     {lat - 0.5, lon - 0.5}};
  outline->AddRef();
  doc.GetObjectList()->push_back(outline);
  return outline;
}

GPS_position_info Fix(double lat, double lon, int32_t time, bool valid = true) {
  GPS_position_info fix;
  fix.valid = valid ? 1 : 0;
  fix.position = {lat, lon};
  fix.time = time;
  fix.speed = 5.0f;
  return fix;
}

size_t IndexOf(const ObjectList& list, const COstrelObject* object) {
  size_t i = 0;
  for (const COstrelObject* entry : list) {
    if (entry == object) return i;
    ++i;
  }
  return list.size();
}

TEST(OstrelDoc, NewObjectsTakeTheirPlaceInTheList) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  ObjectList& list = *doc.GetObjectList();

  CObjWaypoint* mark = doc.NewMark();
  EXPECT_TRUE(mark->IsSelected());
  EXPECT_EQ(mark->document(), &doc);
  mark->Set(50.0, -5.0, "M1", "", 10, 1);  // placed: a mark still being placed goes away
  CObjRoute* first = doc.NewRoute();
  CObjRoute* second = doc.NewRoute();
  CObjText* text = doc.NewText();
  text->edit_state = CObjText::kNormal;  // placed: a note still being placed goes away
  CObjTrack* track = doc.NewTrack();

  EXPECT_TRUE(track->IsSelected());
  EXPECT_EQ(list.back(), mark);  // marks at the tail, the rest at the head
  EXPECT_EQ(IndexOf(list, track), 0u);
  EXPECT_EQ(IndexOf(list, text), 1u);
  EXPECT_EQ(IndexOf(list, second), 2u);
  EXPECT_EQ(first->name, first->short_name);
  EXPECT_EQ(second->name, second->short_name);
  EXPECT_NE(first->name, second->name);
  EXPECT_LE(second->name.size(), 10u);
  EXPECT_EQ(track->drawing_state, 1);
  EXPECT_EQ(doc.PeekGPSTrack(), nullptr);  // drawn by hand, not recorded
  for (COstrelObject* object : list) EXPECT_EQ(object->ref_count(), 1) << object->name;
}

TEST(OstrelDoc, OwnVesselIsFoundOnceAndReused) {
  DocWorld world;
  ASSERT_TRUE(world.Profile().SetString("Settings", "Vessel", "Sea Otter"));
  // A user-data file holding the vessel under another name and under its own.
  {
    ObjectList saved;
    for (const char* name : {"Other", "Sea Otter"}) {
      auto* position = new CObjCurrentPosition;
      position->name = name;
      position->AddRef();
      saved.push_back(position);
    }
    ASSERT_TRUE(SaveObjectsToOverlayFile(COstrelDoc::StandardUserDataPath(), saved, false));
    for (COstrelObject* object : saved) object->Release();
  }
  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnNewDocument());
  const size_t count = doc.GetObjectList()->size();
  CObjCurrentPosition* vessel = doc.GetCurrentPositionObject();
  ASSERT_NE(vessel, nullptr);
  EXPECT_EQ(vessel->name, "Sea Otter");
  EXPECT_EQ(doc.GetCurrentPositionObject(), vessel);
  EXPECT_EQ(doc.GetObjectList()->size(), count);

  // Without one in the list, one is made, appended and named.
  world.Restart();
  vd::os::RemoveFile(COstrelDoc::StandardUserDataPath());
  COstrelDoc& fresh = world.Doc();
  CObjCurrentPosition* made = fresh.GetCurrentPositionObject();
  EXPECT_EQ(made->name, "Sea Otter");
  EXPECT_EQ(fresh.GetObjectList()->back(), made);
  EXPECT_EQ(fresh.GetCurrentPositionObject(), made);
  EXPECT_EQ(fresh.GetObjectList()->size(), 1u);
}

TEST(OstrelDoc, ValidFixesLengthenTheGpsTrack) {
  DocWorld world;
  ASSERT_TRUE(world.Profile().SetString("Settings", "Vessel", "Sea Otter"));
  COstrelDoc& doc = world.Doc();
  constexpr double kStep = 0.001;  // about 110 m of latitude
  doc.UpdateGPSPosition(Fix(50.0, -5.0, 1000));
  doc.UpdateGPSPosition(Fix(50.0 + kStep, -5.0, 1030));
  doc.UpdateGPSPosition(Fix(50.5, -5.0, 1040, false));  // no fix
  GPS_position_info satellites = Fix(50.6, -5.0, 1050);
  satellites.satellite_update = 1;
  doc.UpdateGPSPosition(satellites);
  doc.UpdateGPSPosition(Fix(50.0 + 2 * kStep, -5.0, 1060));

  CObjTrack* track = doc.PeekGPSTrack();
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->name, "Track of Sea Otter");
  ASSERT_EQ(track->points().size(), 3u);
  EXPECT_DOUBLE_EQ(track->points().back().position.lat, 50.0 + 2 * kStep);
  EXPECT_EQ(track->points().back().time, 1060);
  EXPECT_GT(track->total_distance, 0.1);
  CObjCurrentPosition* vessel = doc.GetCurrentPositionObject();
  EXPECT_DOUBLE_EQ(vessel->position.lat, 50.0 + 2 * kStep);
  EXPECT_EQ(doc.GetObjectList()->size(), 2u);
  EXPECT_EQ(doc.GetGPSTrack(), track);
}

TEST(OstrelDoc, OpenChartViewReusesTheViewShowingTheChart) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  EXPECT_EQ(doc.OpenChartView("/charts/a.qct", false), nullptr);
  EXPECT_TRUE(world.host->views.empty());

  CDocView* view = doc.OpenChartView("/charts/a.qct", true);
  ASSERT_EQ(world.host->views.size(), 1u);
  EXPECT_EQ(view, world.host->view(0));
  EXPECT_EQ(doc.pending_placement(), nullptr);
  const CWindowPlacement& frame = world.host->frames[0];
  EXPECT_EQ(frame.show_cmd, kShowMaximized);
  EXPECT_EQ(frame.length, 44);
  EXPECT_EQ((std::vector<int32_t>{frame.left, frame.top, frame.right, frame.bottom}),
            (std::vector<int32_t>{0, 0, 500, 300}));

  EXPECT_EQ(doc.OpenChartView("/charts/a.qct", true), view);
  EXPECT_EQ(doc.OpenChartView("/charts/a.qct", false), view);
  EXPECT_EQ(world.host->view(0)->opened, 1);

  // Another chart: the last chart view loads it; no new frame.
  EXPECT_EQ(doc.OpenChartView("/charts/b.qct", true), view);
  EXPECT_EQ(world.host->view(0)->opened, 2);
  EXPECT_EQ(view->GetChartPath(), "/charts/b.qct");
  world.host->view(0)->refuse_charts = true;
  EXPECT_EQ(doc.OpenChartView("/charts/c.qct", true), nullptr);
  EXPECT_EQ(world.host->views.size(), 1u);
}

TEST(OstrelDoc, EmptyChartViewIsReusedForTheNextChart) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  CDocView* empty = world.host->CreateChartFrame();
  EXPECT_EQ(doc.GetFreeChartView(), empty);
  EXPECT_EQ(world.host->shown, 1);
  EXPECT_EQ(doc.OpenChartView("/charts/a.qct", true), empty);
  EXPECT_EQ(world.host->views.size(), 1u);
  CDocView* made = doc.GetFreeChartView();  // none free: a new frame
  ASSERT_EQ(world.host->views.size(), 2u);
  EXPECT_EQ(made, world.host->view(1));
}

TEST(OstrelDoc, BestChartAtAPosition) {
  struct Outline {
    const char* path;
    double lat, lon, scale;
  };
  struct Case {
    const char* what;
    std::vector<Outline> outlines;
    double wanted;
    const char* expected;  // null: nothing opens
    double view_scale;
  };
  const std::vector<Case> cases = {
      {"equal scores: the first wins",
       {{"/c/first.qct", 50, -5, 0.01}, {"/c/second.qct", 50, -5, 0.01}},
       0.0,
       "/c/first.qct",
       0.03},
      {"without a wanted scale the finer chart wins",
       {{"/c/coarse.qct", 50, -5, 0.04}, {"/c/fine.qct", 50, -5, 0.01}},
       0.0,
       "/c/fine.qct",
       0.03},
      {"the scale nearest the wanted one wins",
       {{"/c/fine.qct", 50, -5, 0.01}, {"/c/match.qct", 50, -5, 0.05}, {"/c/far.qct", 50, -5, 1}},
       0.04,
       "/c/match.qct",
       0.12},
      {"a chart elsewhere never opens", {{"/c/away.qct", 10, 10, 0.01}}, 0.0, nullptr, 0.0},
      {"a chart without scale never opens", {{"/c/none.qct", 50, -5, 0.0}}, 0.0, nullptr, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DocWorld world;
    COstrelDoc& doc = world.Doc();
    for (const Outline& o : c.outlines) AddOutline(doc, o.path, o.lat, o.lon, o.scale);
    doc.OpenBestChartAt(50.1, -5.1, c.wanted, 3.0, 1);
    if (!c.expected) {
      EXPECT_TRUE(world.host->views.empty());
      continue;
    }
    ASSERT_EQ(world.host->views.size(), 1u);
    const FakeChartView& view = *world.host->view(0);
    EXPECT_EQ(view.GetChartPath(), c.expected);
    EXPECT_DOUBLE_EQ(view.placement.lat, 50.1);
    EXPECT_DOUBLE_EQ(view.placement.lon, -5.1);
    EXPECT_NEAR(view.placement.scale, c.view_scale, 1e-12);
    EXPECT_EQ(view.last_mode, 1);
  }
}

TEST(OstrelDoc, ViewsAreToldAndLinked) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  for (const char* chart : {"/c/a.qct", "/c/b.qct", "/c/a.qct"}) {
    world.host->CreateChartFrame()->OpenChartFile(chart);
  }
  FakeChartView& a = *world.host->view(0);
  FakeChartView& b = *world.host->view(1);
  FakeChartView& c = *world.host->view(2);
  c.placement.lock = 1;

  doc.UpdateAllViews(&a, kChangeModified, nullptr);
  EXPECT_TRUE(a.updates.empty());
  EXPECT_EQ(b.updates.size(), 1u);
  EXPECT_EQ(c.updates.size(), 1u);

  doc.SyncViewsTo(&a, 51.0, -4.0);  // the source and locked views stay
  EXPECT_EQ((std::vector<int>{a.followed, b.followed, c.followed}), (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(b.placement.lat, 51.0);

  doc.RefreshViewsOfChartFile("/c/a.qct");
  b.placement.chart_path = "\\c\\b.qct";  // as a stored path may spell it
  doc.RefreshViewsOfChartFile("/c/b.qct");
  EXPECT_EQ((std::vector<int>{a.reloaded, b.reloaded, c.reloaded}), (std::vector<int>{1, 1, 1}));

  doc.SetPositionMarkerInViews(50.5, -5.5);
  EXPECT_EQ(c.marker, std::make_pair(50.5, -5.5));

  doc.SetGPSView(&b);
  EXPECT_EQ(doc.GetGPSView(), &b);
  doc.RemoveView(&b);
  EXPECT_EQ(doc.GetGPSView(), nullptr);
}

TEST(OstrelDoc, RouteEndsNearAPosition) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  auto make_route = [&](std::vector<std::pair<double, double>> points, bool locked) {
    CObjRoute* route = doc.NewRoute();
    for (const auto& [lat, lon] : points) {
      CObjWaypoint* mark = doc.NewMark();
      mark->Set(lat, lon, "", "", 0, 1);
      route->LinkWaypoint(mark);
    }
    route->Deselect();
    route->locked = locked;
    return route;
  };
  CObjRoute* near_end = make_route({{50.0, -5.0}, {50.1, -5.0}}, false);
  CObjRoute* near_start = make_route({{50.2, -5.0}, {51.0, -5.0}}, false);
  make_route({{50.11, -5.0}, {50.21, -5.0}}, true);  // locked: never a candidate
  make_route({{50.1, -5.0}}, false);                 // a single point: never a candidate

  double best = 100.0;
  EXPECT_EQ(doc.FindRouteEndNearest(50.12, -5.0, best), near_end);
  EXPECT_NEAR(best, 1.2, 0.01);                                    // nautical miles
  EXPECT_EQ(doc.FindRouteEndNearest(50.12, -5.0, best), nullptr);  // nothing nearer now
  best = 100.0;
  EXPECT_EQ(doc.FindRouteStartNearest(50.19, -5.0, best), near_start);
}

TEST(OstrelDoc, DestructionReleasesEveryObject) {
  DocWorld world;
  bool destroyed[2] = {false, false};
  {
    COstrelDoc& doc = world.Doc();
    CObjRoute* route = doc.NewRoute();
    for (double lat : {50.0, 50.1}) {
      CObjWaypoint* mark = doc.NewMark();
      mark->Set(lat, -5.0, "", "", 0, 1);
      route->LinkWaypoint(mark);
    }
    route->Deselect();
    for (bool& flag : destroyed) {
      CCurrentOwnerScope owner(&doc);
      auto* mark = new vd::test::TestMark;
      mark->destroyed = &flag;
      mark->name = "plain";
      mark->AddRef();
      doc.GetObjectList()->push_back(mark);
    }
  }
  world.Restart();
  EXPECT_TRUE(destroyed[0]);
  EXPECT_TRUE(destroyed[1]);
}

// A closed document of many marks gives their memory back to the system, not only to the
// next document.
TEST(OstrelDoc, ClosingGivesTheMemoryOfItsObjectsBack) {
  // Under the address sanitizer every object comes from the heap, and the arena holds nothing.
  if (VD_ADDRESS_SANITIZER) GTEST_SKIP() << "objects come from the heap under the sanitizer";
  DocWorld world;
  vd::ReleaseFreedMemory();
  const size_t before = vd::ObjectArena::ReservedBytes();
  {
    COstrelDoc& doc = world.Doc();
    CCurrentOwnerScope owner(&doc);
    for (int i = 0; i < 200000; ++i) {
      auto* mark = new CObjWaypoint;
      mark->AddRef();
      mark->name = "M" + std::to_string(i);
      doc.GetObjectList()->push_back(mark);
    }
  }
  const size_t loaded = vd::ObjectArena::ReservedBytes();
  ASSERT_GT(loaded, before + (size_t{32} << 20));
  world.Restart();
  EXPECT_LT(vd::ObjectArena::ReservedBytes(), before + (size_t{8} << 20))
      << "held " << (loaded - before) / 1000000 << " MB while open";
}

}  // namespace
