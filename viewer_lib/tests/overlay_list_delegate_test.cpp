// The list delegates of marks, routes and AIS targets and the track list's pieces: which
// objects they list in which order, the texts of their rows, their sheets and what the sheet
// entries do to the model and to files.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/persistant_data.h"
#include "geodesy/default_units.h"
#include "geodesy/degree_length.h"
#include "gps/instruments/ais_target_manager.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/tests/model_test_support.h"
#include "overlays/model/track_manager.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"
#include "viewer_lib/ais_list_delegate.h"
#include "viewer_lib/mark_list_delegate.h"
#include "viewer_lib/overlay_share.h"
#include "viewer_lib/quick_chart_view.h"
#include "viewer_lib/route_list_delegate.h"
#include "viewer_lib/track_list.h"
#include "tests/menu_choices.h"

namespace {

using vd::test::FixAt;
using vd::test::kMetresPerDegree;

constexpr uintptr_t kShown = CActionSheetMenu::kRowShown;
constexpr uintptr_t kDestructive = CActionSheetMenu::kRowDestructive;
constexpr uintptr_t kTicked = CActionSheetMenu::kRowSelected;

// Answers questions, file choosers and popup menus as told, and records what it was shown.
struct Responder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    messages.push_back(request.caption + ": " + request.text);
    const auto buttons = vd::ui::MessageBoxButtons(request.flags);
    if (buttons.front() == vd::ui::kIdYes) return answer_yes ? vd::ui::kIdYes : vd::ui::kIdNo;
    return buttons.front();
  }
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest& request) override {
    chooser_titles.push_back(request.title);
    initial_paths.push_back(request.initial_path);
    return file;
  }
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    return vd::test::ChooseMenuItem(menu, choices, menu_titles);
  }
  bool answer_yes = true;
  std::optional<std::string> file;
  std::deque<std::string> choices;
  std::vector<std::string> messages, chooser_titles, initial_paths, menu_titles;
};

// A chart view of 200 x 100 pixels without a chart: what it was asked to show stays as its
// centre and scale.
struct TestView : CQuickChartView {
  TestView() { OnSize(0, 0, 200, 100); }
  void MakeCurrent() {
    OnTouchDown(0, 0);
    OnTouchUp();
  }
};
// The scale ZoomToRect gives a box of these sizes in the 200 x 100 view.
double ScaleFor(double lat, double height_degrees, double width_degrees) {
  const double down = height_degrees * LatDegreeLength(lat) * 1852.0 / 100;
  const double across = width_degrees * LonDegreeLength(lat) * 1852.0 / 200;
  return std::max(down, across) * 1.5 / 1852.0;
}

std::vector<std::string> Texts(const CActionSheetMenu& sheet) {
  std::vector<std::string> texts;
  for (const auto& item : sheet.items()) texts.push_back(item->text());
  return texts;
}
std::vector<uintptr_t> States(const CActionSheetMenu& sheet) {
  std::vector<uintptr_t> states;
  for (const auto& item : sheet.items()) states.push_back(item->data());
  return states;
}
void Choose(const CActionSheetMenu& sheet, const std::string& text) {
  for (const auto& item : sheet.items()) {
    if (item->text() == text) {
      item->Invoke();
      return;
    }
  }
  ADD_FAILURE() << "no row " << text;
}
std::string Names(const std::vector<COverlayObject*>& list) {
  std::string names;
  for (COverlayObject* object : list) {
    const auto* syncable = dynamic_cast<const CSyncable*>(object);
    names += (syncable ? syncable->name : "?") + " ";
  }
  return names;
}

// Settings written into a folder of the test's own; the managers are the program's while the
// test runs. Units are metric, bearings true.
class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::os::SetEnv("XDG_CONFIG_HOME", dir.path());
    vd::os::SetEnv("XDG_DATA_HOME", dir.path());
    PersistantData::SetBaseName("lists");
    CMarkManager::Settings().sort = 0;
    CDefaultUnits::Global().SetUnitsSystem(CDefaultUnits::kMetric);
    CDefaultUnits::Global().bearings = CDefaultUnits::kBearingsTrue;
  }
  void TearDown() override {
    PersistantData::SetBaseName("");
    CMarkManager::Settings().sort = 0;
    CDefaultUnits::Global().SetUnitsSystem(CDefaultUnits::kStatute);
  }

  COverlayMark* Mark(const std::string& name, double north_metres, double modified = 0) {
    auto mark = std::make_unique<COverlayMark>();
    mark->name = name;
    mark->latitude = 50 + north_metres / kMetresPerDegree;
    mark->longitude = -1;
    COverlayMark* added = marks.AddMark(std::move(mark));
    if (modified != 0) added->modified = modified;
    return added;
  }
  COverlayRoute* Route(const std::string& name, int points, double first_north_metres,
                       double created = 0) {
    auto route = std::make_unique<COverlayRoute>();
    route->name = name;
    for (int i = 0; i < points; ++i) {
      auto point = std::make_unique<COverlayMark>(true);
      point->latitude = 50 + (first_north_metres + 100.0 * i) / kMetresPerDegree;
      point->longitude = -1;
      route->InsertPoint(std::move(point), route->points.size());
    }
    if (created != 0) route->created = created;
    return marks.AddRoute(std::move(route));
  }
  void OwnPositionAt(double lat, double lon) {
    CDataGPSPosition fix = FixAt(lat, lon);
    marks.OnEvent(fix);
  }

  vd::test::TempDir dir;
  CMarkManager marks;
  CTrackManager tracks;
  Responder responder;
  vd::ui::ScopedResponder scope{&responder};
};

TEST_F(ListTest, MarksAreListedInTheOrderOfTheSortSetting) {
  COverlayMark* deleted = Mark("Aardvark", 5, 900);
  marks.DeleteMark(deleted);
  Mark("Bravo", 300, 100);
  Mark("alpha", 100, 300);
  Mark("Brav", 200, 100);
  Mark("Charlie", 100, 200);
  struct Case {
    const char* name;
    int sort;
    bool own_known;
    const char* order;
  };
  // (The own position, once known, stays known: the case without one comes first.)
  const Case cases[] = {
      {"by distance without a position: list order", 2, false, "Bravo alpha Brav Charlie "},
      {"by name, byte-wise, a prefix first", 0, true, "Brav Bravo Charlie alpha "},
      {"unknown setting: by name", 7, true, "Brav Bravo Charlie alpha "},
      {"newest first, equal times in list order", 1, true, "alpha Charlie Bravo Brav "},
      {"nearest first, equal distances in list order", 2, true, "alpha Charlie Brav Bravo "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CMarkManager::Settings().sort = c.sort;
    if (c.own_known) OwnPositionAt(50, -1);
    CMarkListDelegate delegate;
    delegate.needs_rebuild = true;
    std::vector<COverlayObject*> list;
    delegate.Populate(list);
    EXPECT_EQ(Names(list), c.order);
    EXPECT_FALSE(delegate.needs_rebuild);
  }
}

TEST_F(ListTest, RoutesAreListedInTheOrderOfTheSortSetting) {
  Route("Zulu", 2, 500, 100);
  Route("Empty B", 0, 0, 400);
  Route("Near", 3, 50, 300);
  COverlayRoute* gone = Route("Gone", 2, 0, 900);
  marks.DeleteRoute(gone);
  Route("Empty A", 0, 0, 200);
  Route("Far", 1, 2000, 300);
  Route("Oscar", 0, 0, 250);
  OwnPositionAt(50, -1);
  struct Case {
    int sort;
    const char* order;
  };
  const Case cases[] = {
      {0, "Empty A Empty B Far Near Oscar Zulu "},
      // Routes sort by creation time (newest first), equal times in list order.
      {1, "Empty B Near Far Oscar Empty A Zulu "},
      // By their first point, nearest first; routes without points have no distance and go by
      // name against the others: each before the first, in distance order, that it precedes.
      {2, "Empty A Empty B Near Oscar Zulu Far "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sort);
    CMarkManager::Settings().sort = c.sort;
    CRouteListDelegate delegate;
    std::vector<COverlayObject*> list;
    delegate.Populate(list);
    EXPECT_EQ(Names(list), c.order);
  }
}

TEST_F(ListTest, RowTexts) {
  COverlayMark* mark = Mark("Buoy", 1500);
  mark->created = TimeFrom1970(1'781'136'000);  // 11 Jun 2026 00:00 UTC
  vd::os::SetEnv("TZ", "UTC");
  tzset();
  CMarkListDelegate mark_list;
  COverlayListRow row;
  mark_list.GetRowText(*mark, row);
  EXPECT_EQ(row.title, "Buoy");
  EXPECT_EQ(row.detail, "  11/Jun/2026") << "no distance before the own position is known";
  EXPECT_TRUE(row.flag);
  OwnPositionAt(50, -1);
  mark_list.GetRowText(*mark, row);
  EXPECT_EQ(row.detail, "  11/Jun/2026 1.50 km 000°T");

  COverlayRoute* route = Route("Five", 5, 0);
  CRouteListDelegate route_list;
  route_list.GetRowText(*route, row);
  EXPECT_EQ(row.title, "Five");
  EXPECT_EQ(row.detail, "  0.40 km, 5 points");
  EXPECT_TRUE(row.flag);

  COverlayTrack* empty = tracks.AddTrack(std::make_unique<COverlayTrack>());
  empty->name = "Nothing";
  CTrackList::GetRowText(*empty, row);
  EXPECT_EQ(row.title, "Nothing");
  EXPECT_EQ(row.detail, "Empty track");
  EXPECT_FALSE(row.flag);
  COverlayTrack* track = tracks.AddTrack(std::make_unique<COverlayTrack>());
  track->name = "Sail";
  track->created = mark->created;
  track->AddPoint({50, -1, 1'781'136'000, 0}, false);
  track->AddPoint({50 + 2500 / kMetresPerDegree, -1, 1'781'136'000 + 5400, 0}, false);
  CTrackList::GetRowText(*track, row);
  EXPECT_EQ(row.detail, "  11/Jun/2026, 2.50 km, 1:30");
  vd::os::UnsetEnv("TZ");
  tzset();
}

TEST_F(ListTest, ListSheetsOfferTheirRowsInOrder) {
  CMarkListDelegate mark_list;
  CRouteListDelegate route_list;
  struct Case {
    std::unique_ptr<CActionSheetMenu> sheet;
    const char* title;
    std::vector<std::string> texts;
  };
  Case cases[] = {
      {mark_list.BuildListMenu(), "Marks menu",
       {"Delete all marks", "Save all marks", "Load saved data", "Lock all marks",
        "Unlock all marks", "Show all marks", "Hide all marks", "Make all syncable",
        "Make all non-syncable", "Sort", "Cloud Sync"}},
      {route_list.BuildListMenu(), "Routes menu",
       {"Delete all routes", "Save all routes", "Load saved data", "Lock all routes",
        "Unlock all routes", "Show all routes", "Hide all routes", "Make all rts syncable",
        "Make all rts non-syncable", "Sort", "Cloud Sync"}},
      {CTrackList::BuildListMenu(nullptr), "Tracks menu",
       {"Delete all tracks", "Save all tracks", "Load saved data", "Show all tracks",
        "Hide all tracks", "Make all tracks syncable", "Make all tracks non-syncable", "Sort",
        "Cloud Sync"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(c.sheet->title(), c.title);
    EXPECT_EQ(Texts(*c.sheet), c.texts);
    std::vector<uintptr_t> states(c.texts.size(), kShown);
    states[0] = kDestructive;
    EXPECT_EQ(States(*c.sheet), states);
  }

  COverlayMark* mark = Mark("Buoy", 0);
  const auto row_sheet = mark_list.BuildRowMenu(*mark);
  EXPECT_EQ(row_sheet->title(), "Buoy");
  EXPECT_EQ(Texts(*row_sheet), (std::vector<std::string>{"Edit", "View", "Delete"}));
  EXPECT_EQ(States(*row_sheet), (std::vector<uintptr_t>{kShown, kShown, kDestructive}));
}

TEST_F(ListTest, SortSheetTicksTheCurrentOrderAndStoresTheChoice) {
  struct Case {
    int sort;
    std::vector<uintptr_t> states;
  };
  const Case cases[] = {
      {0, {kTicked, kShown, kShown}},
      {1, {kShown, kTicked, kShown}},
      {2, {kShown, kShown, kTicked}},
      {3, {kShown, kShown, kShown}},
      {-1, {kShown, kShown, kShown}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sort);
    CMarkManager::Settings().sort = c.sort;
    const auto sheet = BuildSortSheet();
    EXPECT_EQ(sheet->title(), "Overlay Sort...");
    EXPECT_EQ(Texts(*sheet), (std::vector<std::string>{"By Name", "By Date", "Distance"}));
    EXPECT_EQ(States(*sheet), c.states);
  }

  // Reached from a list's sheet: the choice is stored and saved at once.
  CMarkListDelegate delegate;
  responder.choices = {"Distance"};
  Choose(*delegate.BuildListMenu(), "Sort");
  EXPECT_EQ(responder.menu_titles, std::vector<std::string>{"Overlay Sort..."});
  EXPECT_EQ(CMarkManager::Settings().sort, 2);
  std::string saved;
  ASSERT_TRUE(vd::os::ReadWholeFile(PersistantData::SettingsFilePath(), saved));
  EXPECT_NE(saved.find("CMarkManager:sort=0x2"), std::string::npos) << saved;
}

TEST_F(ListTest, BulkEntriesChangeEveryObjectOfTheirList) {
  COverlayMark* mark = Mark("Buoy", 0);
  COverlayRoute* route = Route("R", 2, 0);
  COverlayTrack* track = tracks.AddTrack(std::make_unique<COverlayTrack>());
  CMarkListDelegate mark_list;
  CRouteListDelegate route_list;
  const auto mark_sheet = mark_list.BuildListMenu();
  const auto route_sheet = route_list.BuildListMenu();
  const auto track_sheet = CTrackList::BuildListMenu(nullptr);
  struct Case {
    const CActionSheetMenu* sheet;
    const char* entry;
    const CSyncable* object;
    bool CSyncable::*field;
    bool value;
  };
  const Case cases[] = {
      {mark_sheet.get(), "Lock all marks", mark, &CSyncable::keep, true},
      {mark_sheet.get(), "Unlock all marks", mark, &CSyncable::keep, false},
      {mark_sheet.get(), "Hide all marks", mark, &CSyncable::live, false},
      {mark_sheet.get(), "Show all marks", mark, &CSyncable::live, true},
      {mark_sheet.get(), "Make all non-syncable", mark, &CSyncable::not_syncable, true},
      {mark_sheet.get(), "Make all syncable", mark, &CSyncable::not_syncable, false},
      {route_sheet.get(), "Lock all routes", route, &CSyncable::keep, true},
      {route_sheet.get(), "Unlock all routes", route, &CSyncable::keep, false},
      {route_sheet.get(), "Hide all routes", route, &CSyncable::live, false},
      {route_sheet.get(), "Show all routes", route, &CSyncable::live, true},
      {route_sheet.get(), "Make all rts non-syncable", route, &CSyncable::not_syncable, true},
      {route_sheet.get(), "Make all rts syncable", route, &CSyncable::not_syncable, false},
      {track_sheet.get(), "Hide all tracks", track, &CSyncable::live, false},
      {track_sheet.get(), "Show all tracks", track, &CSyncable::live, true},
      {track_sheet.get(), "Make all tracks non-syncable", track, &CSyncable::not_syncable, true},
      {track_sheet.get(), "Make all tracks syncable", track, &CSyncable::not_syncable, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    Choose(*c.sheet, c.entry);
    EXPECT_EQ(c.object->*c.field, c.value);
  }
  EXPECT_TRUE(mark_list.needs_rebuild) << "showing announces the marks";
  EXPECT_TRUE(route_list.needs_rebuild);
}

TEST_F(ListTest, DeleteAllAsksFirstAndKeepsOnlyRecordsTheSyncStillNeeds) {
  COverlayMark* synced = Mark("Synced", 0);
  synced->sync_id = 42;
  Mark("Local", 10);
  COverlayRoute* route = Route("R", 3, 0);
  route->sync_id = 43;
  Route("Local route", 2, 0);
  CMarkListDelegate mark_list;
  CRouteListDelegate route_list;

  responder.answer_yes = false;
  Choose(*mark_list.BuildListMenu(), "Delete all marks");
  Choose(*route_list.BuildListMenu(), "Delete all routes");
  EXPECT_EQ(responder.messages, (std::vector<std::string>{"Delete All Marks: Are you sure?",
                                                          "Delete All Routes: Are you sure?"}));
  ASSERT_EQ(marks.marks.size(), 2u);
  EXPECT_FALSE(marks.marks[0]->deleted);
  EXPECT_FALSE(marks.routes[1]->deleted);

  responder.answer_yes = true;
  Choose(*mark_list.BuildListMenu(), "Delete all marks");
  Choose(*route_list.BuildListMenu(), "Delete all routes");
  ASSERT_EQ(marks.marks.size(), 1u);
  EXPECT_EQ(marks.marks[0].get(), synced);
  EXPECT_TRUE(synced->deleted);
  ASSERT_EQ(marks.routes.size(), 1u);
  EXPECT_EQ(marks.routes[0].get(), route);
  EXPECT_TRUE(route->deleted);

  COverlayTrack* track = tracks.AddTrack(std::make_unique<COverlayTrack>());
  Choose(*CTrackList::BuildListMenu(nullptr), "Delete all tracks");
  EXPECT_EQ(responder.messages.back(), "Delete All Tracks: Are you sure?");
  EXPECT_TRUE(track->deleted);
}

TEST_F(ListTest, RowSheetViewsAndDeletesItsObject) {
  COverlayMark* mark = Mark("Buoy", 0);
  COverlayRoute* route = Route("R", 3, 0);
  CMarkListDelegate mark_list;
  CRouteListDelegate route_list;
  // Without a current view "View" shows nothing.
  Choose(*mark_list.BuildRowMenu(*mark), "View");
  TestView view;
  view.MakeCurrent();
  Choose(*mark_list.BuildRowMenu(*mark), "View");
  EXPECT_NEAR(view.centre_lat(), mark->latitude, 1e-9);
  EXPECT_NEAR(view.centre_lon(), mark->longitude, 1e-9);
  EXPECT_NEAR(view.scale(), ScaleFor(50, 0.002, 0.002), 1e-8) << "the mark with its margin";
  Choose(*route_list.BuildRowMenu(*route), "View");
  EXPECT_NEAR(view.centre_lat(), 50 + 100 / kMetresPerDegree, 1e-9);
  EXPECT_NEAR(view.scale(), ScaleFor(50, 200 / kMetresPerDegree, 0), 1e-8);

  // Selecting a row makes its object current; tapping selects.
  mark_list.OnTapRow(&view, mark);
  EXPECT_EQ(mark_list.current(), mark);
  Choose(*route_list.BuildRowMenu(*route), "Delete");
  EXPECT_TRUE(route->deleted) << "deleted without asking";
  EXPECT_EQ(route_list.current(), nullptr) << "a route gone is no longer current";
  EXPECT_TRUE(responder.messages.empty());
  Choose(*mark_list.BuildRowMenu(*mark), "Delete");
  EXPECT_TRUE(mark->deleted);
  EXPECT_EQ(mark_list.current(), nullptr);

  // A route point deleted from its route's list stays a route matter: a mark's list only
  // rebuilds on marks.
  CMarkListDelegate marks_only;
  COverlayRoute* other = Route("Other", 4, 0);
  other->RemovePoint(other->points[1].get());
  EXPECT_FALSE(marks_only.needs_rebuild);
  EXPECT_TRUE(route_list.needs_rebuild);
}

TEST_F(ListTest, SavingSharesAGpxFileOfTheLiveObjects) {
  Mark("Keep me", 0);
  COverlayMark* gone = Mark("Gone", 10);
  gone->sync_id = 5;
  marks.DeleteMark(gone);
  CMarkListDelegate delegate;

  // Cancelled: nothing written.
  Choose(*delegate.BuildListMenu(), "Save all marks");
  ASSERT_EQ(responder.initial_paths.size(), 1u);
  EXPECT_TRUE(responder.initial_paths[0].ends_with("/marks.gpx"));

  const std::string path = dir.File("shared.gpx");
  responder.file = path;
  Choose(*delegate.BuildListMenu(), "Save all marks");
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, text));
  EXPECT_NE(text.find("<name>Keep me</name>"), std::string::npos) << text;
  EXPECT_EQ(text.find("<wpt", text.find("<wpt") + 1), std::string::npos)
      << "the deletion record stays out";
  EXPECT_TRUE(responder.messages.empty());

  // Read back through "Load saved data" into a list that no longer has the mark.
  marks.marks.clear();
  Choose(*delegate.BuildListMenu(), "Load saved data");
  ASSERT_EQ(marks.marks.size(), 1u);
  EXPECT_EQ(marks.marks[0]->name, "Keep me");

  // A folder that isn't there: reported, nothing else happens.
  responder.file = dir.File("missing/folder/marks.gpx");
  Choose(*delegate.BuildListMenu(), "Save all marks");
  EXPECT_EQ(responder.messages,
            std::vector<std::string>{"Error: Failed to open XML file: " + *responder.file});
}

TEST_F(ListTest, LoadingAFileThatIsNotGpxIsRefusedAndLosesNothing) {
  Mark("Mine", 0);
  CMarkListDelegate delegate;
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"plain text", "marks, but not as GPX\n"},
      {"other XML", "<?xml version=\"1.0\"?><kml><Placemark/></kml>"},
      {"binary", std::string("\x00\xff\xfe<gpx", 7)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    responder.messages.clear();
    const std::string path = dir.File("marks.gpx");
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, c.bytes));
    responder.file = path;
    Choose(*delegate.BuildListMenu(), "Load saved data");
    EXPECT_EQ(responder.messages,
              std::vector<std::string>{"Error: Failed to read XML file: " + path});
    ASSERT_EQ(marks.marks.size(), 1u);
    EXPECT_EQ(marks.marks[0]->name, "Mine");
  }
}

TEST(OverlayShare, MimeTypesAndStatus) {
  const std::pair<const char*, const char*> cases[] = {
      {"tracks.gpx", "application/gpx+xml"}, {"NOTES.TXT", "text/plain"},
      {"a.dvtf", "application/vnd.vardune.dvtf"}, {"chart.Qct", "application/vnd.vardune.qct"},
      {"photo.jpg", "*/*"}, {"no_extension", "*/*"}, {"dir.gpx/file", "*/*"},
  };
  for (const auto& [name, type] : cases) {
    EXPECT_EQ(ShareMimeType(name), type) << name;
  }
  int writes = 0;
  CShareItem item("marks.gpx", [&](const std::string&) { return ++writes == 2; });
  EXPECT_EQ(item.mime_type(), "application/gpx+xml");
  EXPECT_EQ(item.OnShared(1, ""), 1) << "not shared: nothing written";
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(item.OnShared(0, "/x"), -1) << "a writer that fails";
  EXPECT_EQ(item.OnShared(0, "/x"), 0);
}

class AisListTest : public ::testing::Test {
 protected:
  void SetUp() override { manager().Clear(); }
  void TearDown() override {
    manager().Clear();
    CAISTargetManager::Settings().cpa_classB_distance = saved_class_b_;
  }
  static CAISTargetManager& manager() { return CAISTargetManager::Instance(); }
  // A class A target `north` metres north of (50, -1), or of another kind.
  CAISTarget* Target(uint32_t mmsi, double north, int type = 1) {
    CNEMA_AIS::VDM vdm(&CNEMA_AIS::VDM::Type);
    vdm.message.type = type;
    vdm.message.mmsi = mmsi;
    vdm.message.latitude = 50.0 + north / kMetresPerDegree;
    vdm.message.longitude = -1.0;
    vdm.message.speed_knots = 0.0;
    vdm.message.course = 0.0;
    Listener<CNEMA_AIS::VDM>::Fire(vdm);
    return manager().Find(mmsi);
  }
  void Own() {
    CDataGPSPosition fix = FixAt(50, -1);
    Listener<CDataGPSPosition>::Fire(fix);
  }
  static void Closing(CAISTarget* target, double cpa, double tcpa) {
    target->cpa = cpa;
    target->tcpa = tcpa;
  }
  float saved_class_b_ = CAISTargetManager::Settings().cpa_classB_distance;
};

TEST_F(AisListTest, ClosingTargetsFirstThenByDistanceOrMmsi) {
  CAISListDelegate delegate;
  CAISTarget* far = Target(111, 5000);
  CAISTarget* near = Target(333, 1000);
  CAISTarget* closing = Target(222, 8000);
  CAISTarget* closer = Target(444, 9000);
  CAISTarget* no_kind = Target(555, 10);  // a static report alone: no kind yet
  ASSERT_NE(no_kind, nullptr);
  no_kind->kind_text.clear();
  EXPECT_TRUE(delegate.needs_rebuild) << "reports change the list";

  auto order = [&] {
    std::vector<COverlayObject*> list;
    delegate.Populate(list);
    std::string mmsis;
    for (COverlayObject* object : list) mmsis += static_cast<CAISTarget*>(object)->mmsi_text + " ";
    return mmsis;
  };
  EXPECT_EQ(order(), "111 222 333 444 ") << "no own position: by MMSI";
  EXPECT_FALSE(delegate.needs_rebuild);
  Own();
  struct Case {
    const char* name;
    double cpa, tcpa;  // of `closing`
    const char* order;
  };
  const Case cases[] = {
      {"within twice both limits", 200, 900, "444 222 333 111 "},
      {"at twice the alarm time", 200, 1200, "444 222 333 111 "},
      {"beyond twice the alarm time", 200, 1201, "444 333 111 222 "},
      {"at twice the distance", 1000, 600, "444 333 111 222 "},
      {"moving away", 200, -5, "444 333 111 222 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Closing(closing, c.cpa, c.tcpa);
    Closing(closer, 100, 300);
    Closing(far, 1e10, 0);
    Closing(near, 1e10, 0);
    EXPECT_EQ(order(), c.order);
  }
  // Class B targets are held to their own limit.
  CAISTargetManager::Settings().cpa_classB_distance = 50;
  closer->kind_text = "Class B";
  EXPECT_FALSE(CAISListDelegate::InCpaWarning(*closer));
}

TEST_F(AisListTest, RowTexts) {
  CAISListDelegate delegate;
  CAISTarget* target = Target(235000001, 1000);
  struct Case {
    const char* name;
    std::string vessel;
    double cpa, tcpa;
    std::string info;
    const char* title;
    const char* detail;
  };
  const Case cases[] = {
      {"no name: the MMSI", "", 1e10, 0, "", "235000001",
       "  Class A Speed:0.0 kts, Under way using engine"},
      {"closing", "SEA LION", 231.6, 474, "", "SEA LION CPA 231 m, 7 min",
       "  Class A Speed:0.0 kts, Under way using engine"},
      {"information behind the quoted name", "SEA LION", 1e10, 0,
       "\"SEA LION\" Type:70 LOA:120m\nCallsign:ABC", "SEA LION",
       "  Class A Speed:0.0 kts, Under way using engine Type:70 LOA:120m\nCallsign:ABC"},
      {"information without a quote", "X", 1e10, 0, "Call:ABC", "X",
       "  Class A Speed:0.0 kts, Under way using engineCall:ABC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    target->name = c.vessel;
    target->info = c.info;
    Closing(target, c.cpa, c.tcpa);
    COverlayListRow row;
    row.flag = true;
    delegate.GetRowText(*target, row);
    EXPECT_EQ(row.title, c.title);
    EXPECT_EQ(row.detail, c.detail);
    EXPECT_FALSE(row.flag);
  }
}

TEST_F(AisListTest, SelectingARowSelectsTheTargetAndZoomsOverItsVector) {
  CAISListDelegate delegate;
  CAISTarget* target = Target(777, 0);
  TestView view;
  struct Case {
    const char* name;
    double knots, course;
    double height, width;  // degrees of the box shown
  };
  // 12 knots for 5 minutes: 12 x 5 / 3600 degrees either side.
  const double reach = 12.0 * 5.0 * 0.00027777778;
  const Case cases[] = {
      {"north", 12, 0, 2 * reach, 0},
      {"east", 12, 90, 0, 2 * reach},
      {"unknown speed", 102.3, 90, 0, 0},
      {"unknown course", 12, 360, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    target->speed_knots = c.knots;
    target->course = c.course;
    delegate.OnSelectRow(&view, target);
    EXPECT_EQ(manager().selected(), target);
    EXPECT_NEAR(view.centre_lat(), target->latitude, 1e-9);
    EXPECT_NEAR(view.centre_lon(), target->longitude, 1e-9);
    EXPECT_NEAR(view.scale(), ScaleFor(target->latitude, c.height, c.width), 1e-7);
  }
  view.ShowAt(nullptr, 10, 10, 1);
  delegate.OnTapRow(&view, target);
  EXPECT_EQ(view.centre_lat(), 10) << "a tap does nothing";
  manager().Clear();
  EXPECT_EQ(manager().selected(), nullptr);
}

}  // namespace
