// The document's menu commands, files opened by type and activity links.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "corvex/command_ids.h"
#include "corvex/ostrel_doc.h"
#include "corvex/tests/ostrel_doc_test_world.h"
#include "gps/gps_params.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "tests/chart_fixture.h"

namespace {

using vd::test::DocWorld;

std::vector<std::string> SortedNames(const ObjectList& list) {
  std::vector<std::string> names;
  for (const COstrelObject* object : list) names.push_back(object->name);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SavedNames(const std::string& path) {
  ObjectList saved;
  EXPECT_TRUE(ReadOverlayFileObjects(path, saved));
  std::vector<std::string> names = SortedNames(saved);
  for (COstrelObject* object : saved) object->Release();
  return names;
}

CObjWaypoint* PlacedMark(COstrelDoc& doc, const std::string& name, double lat, double lon) {
  CObjWaypoint* mark = doc.NewMark();
  mark->Set(lat, lon, "", "", 10, 1);
  mark->name = name;
  return mark;
}

COldChartOutline* AddOutline(COstrelDoc& doc, const std::string& path) {
  CCurrentOwnerScope owner(&doc);
  auto* outline = new COldChartOutline;
  outline->name = "Outline";
  outline->chart_path = path;
  outline->scale = 0.01;
  outline->points = {{50.5, -5.5}, {50.5, -4.5}, {49.5, -4.5}, {49.5, -5.5}};
  outline->AddRef();
  doc.GetObjectList()->push_back(outline);
  return outline;
}

TEST(OstrelDocCommands, CreatedObjectsUndoRedoAndTheSavedList) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnNewDocument());
  PlacedMark(doc, "Buoy", 50.0, -5.0);
  CObjRoute* route = doc.NewRoute();
  route->LinkWaypoint(PlacedMark(doc, "Start", 50.1, -5.0));
  route->LinkWaypoint(PlacedMark(doc, "End", 50.2, -5.0));
  doc.NewText()->edit_state = CObjText::kNormal;
  const std::vector<std::string> created = SortedNames(*doc.GetObjectList());
  ASSERT_EQ(created.size(), 5u);

  const std::string user_data = COstrelDoc::StandardUserDataPath();
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdUndo));
  ASSERT_TRUE(doc.OnCommand(kCmdSaveOverlays));
  EXPECT_EQ(SavedNames(user_data), created);

  world.responder.answer = vd::ui::kIdNo;
  ASSERT_TRUE(doc.OnCommand(kCmdDeleteAll));
  EXPECT_TRUE(world.responder.Showed("Delete all Marks, Routes, Tracks...\nAre you sure?"));
  EXPECT_EQ(SortedNames(*doc.GetObjectList()), created);

  world.responder.answer = vd::ui::kIdYes;
  ASSERT_TRUE(doc.OnCommand(kCmdDeleteAll));
  EXPECT_TRUE(doc.GetObjectList()->empty());
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdUndo));
  ASSERT_TRUE(doc.OnCommand(kCmdUndo));
  EXPECT_EQ(SortedNames(*doc.GetObjectList()), created);
  for (const COstrelObject* object : *doc.GetObjectList()) EXPECT_EQ(object->document(), &doc);

  ASSERT_TRUE(doc.IsCommandEnabled(kCmdRedo));
  ASSERT_TRUE(doc.OnCommand(kCmdRedo));
  EXPECT_TRUE(doc.GetObjectList()->empty());
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdRedo));
  ASSERT_TRUE(doc.OnCommand(kCmdUndo));
  ASSERT_TRUE(doc.OnCommand(kCmdSaveOverlays));
  EXPECT_EQ(SavedNames(user_data), created);
}

TEST(OstrelDocCommands, DeleteHiddenLeavesChartsAndVisibleObjects) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  PlacedMark(doc, "Shown", 50.0, -5.0);
  PlacedMark(doc, "Hidden", 50.1, -5.0)->visible = false;
  AddOutline(doc, "/c/a.qct")->visible = false;

  ASSERT_TRUE(doc.OnCommand(kCmdDeleteHidden));
  EXPECT_TRUE(
      world.responder.Showed("Delete all hidden marks, routes and tracks...\nAre you sure?"));
  EXPECT_EQ(SortedNames(*doc.GetObjectList()), (std::vector<std::string>{"Outline", "Shown"}));
  ASSERT_TRUE(doc.OnCommand(kCmdUndo));
  EXPECT_EQ(SortedNames(*doc.GetObjectList()),
            (std::vector<std::string>{"Hidden", "Outline", "Shown"}));
}

TEST(OstrelDocCommands, ShowingAndHidingByCategoryAndLabels) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  CObjWaypoint* fish = PlacedMark(doc, "Fish", 50.0, -5.0);
  fish->SetCategory("Fishing spots");
  CObjWaypoint* wreck = PlacedMark(doc, "Wreck", 50.1, -5.0);
  wreck->SetCategory("Wrecks");
  COldChartOutline* outline = AddOutline(doc, "/c/a.qct");

  const auto& categories = CCategory::All();
  const auto wrecks = std::find_if(categories.begin(), categories.end(),
                                   [](const CCategory* c) { return c->name() == "Wrecks"; });
  ASSERT_NE(wrecks, categories.end());
  const int index = static_cast<int>(wrecks - categories.begin());
  ASSERT_TRUE(doc.OnCommand(kCmdHideCategoryFirst + index));
  EXPECT_TRUE(fish->visible);
  EXPECT_FALSE(wreck->visible);
  ASSERT_TRUE(doc.OnCommand(kCmdShowCategoryFirst + index));
  EXPECT_TRUE(wreck->visible);

  ASSERT_TRUE(doc.OnCommand(kCmdHideAll));
  EXPECT_FALSE(fish->visible || wreck->visible || outline->visible);
  EXPECT_FALSE(doc.show_chart_outlines());
  EXPECT_FALSE(world.Profile().GetInt("settings", "show_charts").has_value());
  ASSERT_TRUE(doc.OnCommand(kCmdShowAll));
  EXPECT_TRUE(fish->visible && wreck->visible && outline->visible);

  // The map outlines' own switch is remembered.
  ASSERT_TRUE(doc.OnCommand(kCmdShowMapOutlines));
  EXPECT_FALSE(outline->visible);
  EXPECT_FALSE(doc.IsCommandChecked(kCmdShowMapOutlines));
  EXPECT_EQ(world.Profile().GetInt("settings", "show_charts"), 0);

  EXPECT_TRUE(doc.IsCommandEnabled(kCmdHideWaypointLabels));
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdShowRouteLabels));    // no route
  EXPECT_TRUE(doc.IsCommandChecked(kCmdHideWaypointLabels));  // both show symbols only
  ASSERT_TRUE(doc.OnCommand(kCmdShowWaypointLabels));
  EXPECT_EQ(fish->label_mode, 0);
  EXPECT_TRUE(doc.IsCommandChecked(kCmdShowWaypointLabels));
  EXPECT_FALSE(doc.IsCommandChecked(kCmdHideWaypointLabels));
}

TEST(OstrelDocCommands, MarkPositionNeedsAValidFix) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdMarkPosition));
  GPS_position_info fix;
  fix.valid = 1;
  fix.position = {50.25, -4.75};
  fix.time = 1600000000;
  doc.UpdateGPSPosition(fix);
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdMarkPosition));
  ASSERT_TRUE(doc.OnCommand(kCmdMarkPosition));
  auto* mark = dynamic_cast<CObjWaypoint*>(doc.GetObjectList()->back());
  ASSERT_NE(mark, nullptr);
  EXPECT_EQ(mark->name, "Position at " + world.app.FormatDateTime(1600000000, true));
  EXPECT_TRUE(mark->locked);
  EXPECT_EQ(mark->position, CLatLon(50.25, -4.75));
}

TEST(OstrelDocCommands, CommandsWithoutTheirPartsStayDisabled) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  PlacedMark(doc, "Selected", 50.0, -5.0);
  for (int id : {kCmdWebCloudSync}) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(doc.IsCommandEnabled(id));
    EXPECT_TRUE(doc.OnCommand(id));
  }
  EXPECT_TRUE(world.responder.boxes.empty());
  CCmdUI ui;
  EXPECT_FALSE(doc.OnUpdateCommand(57607, ui));  // printing: not the document's
  EXPECT_FALSE(doc.OnCommand(57607));
}

// The Split/Join entry of a selected mark: inside a route it splits the route there; at the end
// of one route and near the start of another it joins them.
TEST(OstrelDocCommands, SplitAndJoinRoutesAtAMark) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  auto routes = [&] {
    std::vector<CObjRoute*> found;
    for (COstrelObject* object : *doc.GetObjectList())
      if (auto* route = dynamic_cast<CObjRoute*>(object)) found.push_back(route);
    return found;
  };
  CCmdUI ui;
  ASSERT_TRUE(doc.OnUpdateCommand(kCmdSplitJoinRoute, ui));
  EXPECT_FALSE(ui.enabled);
  EXPECT_EQ(ui.text, "Split/Join Route");

  CObjRoute* route = doc.NewRoute();
  CObjWaypoint* a = PlacedMark(doc, "A", 50.0, -5.0);
  CObjWaypoint* b = PlacedMark(doc, "B", 50.1, -5.0);
  CObjWaypoint* c = PlacedMark(doc, "C", 50.2, -5.0);
  for (CObjWaypoint* mark : {a, b, c}) route->LinkWaypoint(mark);
  route->EndEditing();
  b->Select(true);
  ui = {};
  ASSERT_TRUE(doc.OnUpdateCommand(kCmdSplitJoinRoute, ui));
  EXPECT_TRUE(ui.enabled);
  EXPECT_EQ(ui.text, "Split Routes");
  ASSERT_TRUE(doc.OnCommand(kCmdSplitJoinRoute));
  ASSERT_EQ(routes().size(), 2u);
  EXPECT_EQ(route->points().size(), 2u);
  EXPECT_EQ(route->points().back(), b);

  // B now ends the first route, and the second route starts at a copy of it nearby: joinable.
  b->Select(true);
  ui = {};
  ASSERT_TRUE(doc.OnUpdateCommand(kCmdSplitJoinRoute, ui));
  EXPECT_EQ(ui.text, "Join Routes");
  EXPECT_TRUE(ui.enabled);
  ASSERT_TRUE(doc.OnCommand(kCmdSplitJoinRoute));
  ASSERT_EQ(routes().size(), 1u);
  EXPECT_EQ(routes().front()->points().size(), 3u);

  // A locked mark joins nothing.
  b->locked = true;
  ui = {};
  doc.OnUpdateCommand(kCmdSplitJoinRoute, ui);
  EXPECT_FALSE(ui.enabled);
}

TEST(OstrelDocCommands, OverlayFilesByEnding) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  // The message names the whole extension, however long.
  for (const auto& [name, message] :
       {std::pair{"trip.xyz", "Unknown file type: xyz"}, {"trip.JPEG", "Unknown file type: jpeg"},
        {"trip.gpx.bak", "Unknown file type: bak"}, {"trip", "Unknown file type"}}) {
    SCOPED_TRACE(name);
    world.responder.boxes.clear();
    doc.ImportOverlayFile(world.root.File(name));
    ASSERT_EQ(world.responder.boxes.size(), 1u);
    EXPECT_EQ(world.responder.boxes[0].text, message);
    EXPECT_EQ(world.responder.boxes[0].flags, vd::ui::kMbIconError);
  }
  EXPECT_TRUE(doc.GetObjectList()->empty());
  world.responder.boxes.clear();

  // An overlay file is merged: a copy of an object already there is not added twice.
  CObjWaypoint* mark = PlacedMark(doc, "Buoy", 50.0, -5.0);
  const std::string trip = world.root.File("trip.VDO");
  ObjectList exported{mark};
  ASSERT_TRUE(SaveObjectsToOverlayFile(trip, exported, false));
  doc.OpenFileByType(trip);
  EXPECT_EQ(SortedNames(*doc.GetObjectList()), std::vector<std::string>{"Buoy"});
  doc.GetObjectList()->front()->Delete(false);
  doc.OpenFileByType(trip);
  EXPECT_EQ(SortedNames(*doc.GetObjectList()), std::vector<std::string>{"Buoy"});
}

// Export All writes by the chosen ending and Import reads it back into the document; an NMEA log
// becomes a track; a file that does not read gives its error and adds nothing.
TEST(OstrelDocCommands, ExchangeFilesRoundTripThroughTheDocument) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  PlacedMark(doc, "Buoy", 50.0, -5.0);
  PlacedMark(doc, "Pier", 50.1, -5.1);
  const std::vector<std::string> made = SortedNames(*doc.GetObjectList());
  for (const char* ending : {"gpx", "loc", "csv"}) {
    SCOPED_TRACE(ending);
    const std::string path = world.root.File(std::string("export.") + ending);
    world.responder.files.push_back(path);
    ASSERT_TRUE(doc.OnCommand(kCmdExportAll));
    ASSERT_TRUE(vd::os::FileExists(path));
    for (COstrelObject* object : ObjectList(*doc.GetObjectList())) object->Delete(false);
    ASSERT_TRUE(doc.GetObjectList()->empty());
    world.responder.files.push_back(path);
    ASSERT_TRUE(doc.OnCommand(kCmdImport));
    EXPECT_EQ(SortedNames(*doc.GetObjectList()), made);
  }
  EXPECT_TRUE(world.responder.boxes.empty());

  const std::string log = world.root.File("trip.nmea");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      log,
      "$GPRMC,120000,A,5000.000,N,00500.000,W,5.0,90.0,010624,,*31\r\n"
      "$GPRMC,120010,A,5000.000,N,00459.900,W,5.0,90.0,010624,,*34\r\n"));
  world.responder.files.push_back(log);
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdImportNmea));
  ASSERT_TRUE(doc.OnCommand(kCmdImportNmea));
  const auto tracks = [&] {
    return std::count_if(doc.GetObjectList()->begin(), doc.GetObjectList()->end(),
                         [](COstrelObject* o) { return o->IsKindOf(CObjTrack::kClass); });
  };
  EXPECT_EQ(tracks(), 1);
  // Import takes an NMEA log by its ending too.
  for (COstrelObject* object : ObjectList(*doc.GetObjectList())) {
    if (object->IsKindOf(CObjTrack::kClass)) object->Delete(false);
  }
  world.responder.files.push_back(log);
  ASSERT_TRUE(doc.OnCommand(kCmdImport));
  EXPECT_EQ(tracks(), 1);
  EXPECT_TRUE(world.responder.boxes.empty());

  const std::string broken = world.root.File("broken.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(broken, "<gpx><wpt lat=\"1\" lon=\"2\">"));
  const size_t before = doc.GetObjectList()->size();
  doc.ImportOverlayFile(broken);
  EXPECT_EQ(doc.GetObjectList()->size(), before);
  ASSERT_EQ(world.responder.boxes.size(), 1u);
  EXPECT_EQ(world.responder.boxes[0].flags, vd::ui::kMbIconError);
}

// A selected track becomes a route, and is replayed as the GPS input: the demo file in the temp
// folder becomes an NMEA port, the settings to go back to are kept, and the track is hidden.
TEST(OstrelDocCommands, TrackConversionAndGpsDemo) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  CObjTrack* track = doc.NewTrack();
  track->drawing_state = 0;
  for (int i = 0; i < 20; ++i) track->AddPoint(50.0, -5.0 + i * 0.001, 1'700'000'000 + 10 * i, 0, 0, 0);
  track->RecomputeTotals();
  track->Select(true);
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdRouteToTrack));
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdTrackToRoute));
  ASSERT_TRUE(doc.OnCommand(kCmdTrackToRoute));
  EXPECT_TRUE(std::any_of(doc.GetObjectList()->begin(), doc.GetObjectList()->end(),
                          [](COstrelObject* o) { return o->IsKindOf(CObjRoute::kClass); }));

  {
    vd::os::ProfileStore profile = world.Profile();
    GPSParams serial;
    serial.type = 1;
    serial.port = "/dev/ttyUSB0";
    ASSERT_TRUE(SaveGPSParams(profile, serial));
  }
  track->visible = true;
  track->Select(true);
  // A link planted at the demo file's name is replaced, not written through.
  const std::string victim = world.root.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  ASSERT_EQ(::symlink(victim.c_str(), (world.root.File("temp") + "/gps_demo.txt").c_str()), 0);
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdGpsDemo));
  ASSERT_TRUE(doc.OnCommand(kCmdGpsDemo));
  EXPECT_EQ(world.host->gps_stops, 1);
  ASSERT_EQ(world.host->gps_started.size(), 1u);
  const GPSParams& started = world.host->gps_started[0];
  EXPECT_EQ(started.type, 1);
  EXPECT_EQ(started.port, world.root.File("temp") + "/gps_demo.txt");
  EXPECT_EQ(started.saved_port, "/dev/ttyUSB0");
  EXPECT_EQ(started.saved_type, 1);
  std::string demo;
  ASSERT_TRUE(vd::os::ReadWholeFile(started.port, demo));
  EXPECT_EQ(demo.rfind("$GPRMC,", 0), 0u);
  EXPECT_FALSE(track->visible);
  std::string kept;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "not to be touched");
}

// Find Place searches the document's index; a place found with "create mark" ticked leaves a
// locked mark in "Found locations"; a place list becomes the index in the data folder.
TEST(OstrelDocCommands, FindPlaceAndPlaceLists) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdFindPlace));
  ASSERT_TRUE(doc.OnCommand(kCmdFindPlace));  // cancelled: nothing made
  EXPECT_TRUE(doc.GetObjectList()->empty());

  const std::string list = world.root.File("places.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(list, "Harbour,Ports,50.5,-4.25\r\n"));
  world.responder.files.push_back(list);
  ASSERT_TRUE(doc.OnCommand(kCmdLoadTxtFile));
  EXPECT_EQ(doc.search_index_path(), world.root.File("data") + "/indexdata.vdq");
  EXPECT_TRUE(vd::os::FileExists(doc.search_index_path()));

  CViewPlacement place;
  place.lat = 50.5;
  place.lon = -4.25;
  world.host->found = place;
  ASSERT_TRUE(doc.OnCommand(kCmdFindPlace));
  EXPECT_EQ(world.host->searched_index, doc.search_index_path());
  ASSERT_EQ(doc.GetObjectList()->size(), 1u);
  const auto* mark = dynamic_cast<CObjWaypoint*>(doc.GetObjectList()->front());
  ASSERT_NE(mark, nullptr);
  EXPECT_EQ(mark->name, "Harbour");
  EXPECT_TRUE(mark->locked);
  EXPECT_EQ(CCategory::GetNameOr(mark->category()), "Found locations");
  EXPECT_DOUBLE_EQ(mark->position.lat, 50.5);
}

// GPS transfers go through the frame's input with the direction and kind of their command;
// Send to GPS sends only the selection (a mark's current route); a failure shows its message.
TEST(OstrelDocCommands, GpsTransfersThroughTheFrame) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  CObjRoute* route = doc.NewRoute();
  CObjWaypoint* first = PlacedMark(doc, "A", 50.0, -5.0);
  route->LinkWaypoint(first);
  route->LinkWaypoint(PlacedMark(doc, "B", 50.1, -5.0));
  route->EndEditing();
  PlacedMark(doc, "Free", 50.2, -5.0);

  using T = vd::test::FakeFrameHost::Transfer;
  ASSERT_TRUE(doc.IsCommandEnabled(kCmdImportGpsTracks));
  ASSERT_TRUE(doc.OnCommand(kCmdImportGpsTracks));
  ASSERT_TRUE(doc.OnCommand(kCmdExportGpsMarks));
  first->Select(true);  // a route point: its route is sent
  CObjRoute::SetCurrent(route);
  ASSERT_TRUE(doc.OnCommand(kCmdSendToGps));
  EXPECT_EQ(world.host->transfers,
            (std::vector<T>{{0, 4, doc.GetObjectList()->size()},
                            {1, 2, doc.GetObjectList()->size()},
                            {1, 3, 1u}}));
  EXPECT_EQ(world.host->gps_errors, 0);
  world.host->gps_moves = 0;
  ASSERT_TRUE(doc.OnCommand(kCmdExportGpsRoutes));
  EXPECT_EQ(world.host->gps_errors, 1);
  world.host->gps_can_transfer = false;
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdImportGpsMarks));
  CObjRoute::SetCurrent(nullptr);
}

TEST(OstrelDocCommands, ActivityLinksOpenChartsWithinTheMapStore) {
  DocWorld world;
  const std::string store = world.root.File("kvx");
  ASSERT_TRUE(vd::os::MakeFolders(store + "/sea"));
  ASSERT_TRUE(world.Profile().SetString("settings", "kvx_folder", store));
  ASSERT_TRUE(world.Profile().SetString("settings", "qct_dir", world.root.File("converted")));
  ASSERT_TRUE(vd::test::WriteChartFixture(store + "/sea/bay.qct", vd::test::ChartFixture{}));
  COstrelDoc& doc = world.Doc();

  // Refused without a download: outside the store, not a chart, not a web address.
  for (const std::string url :
       {"https://maps.example/KVX/../../etc/bay.qct", "https://maps.example/KVX/sea//bay.qct",
        "https://maps.example/KVX/C:/bay.qct", "https://maps.example/KVX/sea/bay.exe",
        "ftp://maps.example/KVX/sea/bay.qct", "https:///KVX/sea/bay.qct"}) {
    SCOPED_TRACE(url);
    world.responder.boxes.clear();
    doc.OpenFileByType("corvex://open?" + url);
    ASSERT_EQ(world.responder.boxes.size(), 1u);
    EXPECT_EQ(world.responder.boxes[0].text, "Activity Command not understood: \"" + url + "\"");
    EXPECT_TRUE(world.host->views.empty());
  }

  // A package in the store whose descriptor does not read opens nothing and says so.
  world.responder.boxes.clear();
  ASSERT_TRUE(vd::os::SaveFileAtomically(store + "/sea/pack.vdpkg", "not a package"));
  doc.OpenFileByType("corvex://open?https://maps.example/KVX/sea/pack.vdpkg");
  ASSERT_EQ(world.responder.boxes.size(), 1u);
  EXPECT_EQ(world.responder.boxes[0].caption, "Error opening VD Package");
  EXPECT_EQ(world.responder.boxes[0].text,
            store + "/sea/pack.vdpkg\n\nThe file is not a map package.");
  EXPECT_TRUE(world.host->views.empty());

  // A chart already in the store opens without a download.
  world.responder.boxes.clear();
  doc.OpenFileByType("corvex://open?https://maps.example/KVX/sea/bay.qct");
  EXPECT_TRUE(world.responder.boxes.empty());
  ASSERT_EQ(world.host->views.size(), 1u);
  EXPECT_EQ(world.host->view(0)->GetChartPath(), store + "/sea/bay.qct");
  ASSERT_NE(doc.FindChartOutline(store + "/sea/bay.qct"), nullptr);

  doc.ExecuteActivityCommand("frobnicate", "a=1");
  ASSERT_EQ(world.responder.boxes.size(), 1u);
  EXPECT_EQ(world.responder.boxes[0].text, "Activity Command not understood: \"frobnicate\"");
  EXPECT_EQ(world.responder.boxes[0].flags, vd::ui::kMbOk);
}

TEST(OstrelDocCommands, ActivityMarksAndViews) {
  DocWorld world;
  const std::string document = world.root.File("notes.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(document, "notes"));
  COstrelDoc& doc = world.Doc();
  AddOutline(doc, "/c/a.qct");

  doc.OpenFileByType("corvex://view?lat=50.1&lon=-5.1&scale=1000");
  ASSERT_EQ(world.host->views.size(), 1u);
  EXPECT_DOUBLE_EQ(world.host->view(0)->placement.scale, 1000 * 0.00004 * 2);

  struct Case {
    std::string link;
    std::string kept;
  };
  for (const Case& c :
       {Case{"https%3A%2F%2Fpub.example%2Fmenu", "https://pub.example/menu"},
        Case{document, document}, Case{"/bin/sh", ""}, Case{world.root.File("missing.txt"), ""}}) {
    SCOPED_TRACE(c.link);
    doc.ExecuteActivityCommand(
        "mark",
        "lat=50.25&lon=-4.75&name=Pub&color=ff8000&category=Food&icon=Anchor&link=" + c.link);
    auto* mark = dynamic_cast<CObjWaypoint*>(doc.GetObjectList()->back());
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->name, "Pub");
    EXPECT_EQ(mark->position, CLatLon(50.25, -4.75));
    EXPECT_EQ(mark->colour, 0x0080FFu);
    EXPECT_EQ(CCategory::GetNameOr(mark->category()), "Food");
    EXPECT_EQ(mark->link, c.kept);
    EXPECT_FALSE(mark->being_placed);
  }
  EXPECT_EQ(world.host->view(0)->placement.lat, 50.25);

  world.responder.boxes.clear();
  doc.ExecuteActivityCommand("mark", "lon=-4.75&name=Nowhere");
  ASSERT_EQ(world.responder.boxes.size(), 1u);
  EXPECT_EQ(world.responder.boxes[0].text,
            "Activity Command not understood: \"mark?lon=-4.75&name=Nowhere\"");
  EXPECT_NE(doc.GetObjectList()->back()->name, "Nowhere");
}

}  // namespace
