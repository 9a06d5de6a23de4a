#include "overlays/tests/overlay_test_objects.h"
#include "overlays/obj_waypoint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>

#include <cstring>
#include <span>

#include "overlays/category.h"
#include "overlays/icon_library.h"
#include "overlays/overlay_archive.h"
#include "overlays/route_links.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"

namespace {

struct RecordingShell : WaypointShell {
  int beeps = 0;
  std::vector<std::string> documents;
  std::vector<std::pair<std::string, std::vector<std::string>>> programs;
  void Beep() override { ++beeps; }
  bool OpenDocument(const std::string& what) override {
    documents.push_back(what);
    return true;
  }
  bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
    programs.emplace_back(program, args);
    return true;
  }
  bool ShowHelpTopic(const std::string&) override { return true; }
};

struct Answer : vd::ui::DialogResponder {
  int answer;
  int asked = 0;
  explicit Answer(int a) : answer(a) {}
  int MessageBox(const vd::ui::MessageBoxRequest&) override {
    ++asked;
    return answer;
  }
};

struct RecordingDoc : COstrelDocBase {
  std::vector<int> hints;
  void UpdateAllViews(COstrelViewBase*, int hint, COstrelObject*) override { hints.push_back(hint); }
};

class WaypointTest : public ::testing::Test {
 protected:
  void SetUp() override { CObjWaypoint::SetShell(&shell); }
  void TearDown() override { CObjWaypoint::SetShell(nullptr); }
  RecordingShell shell;
  vd::test::TempDir dir;
};

// Bytes of an archive holding one object.
std::vector<uint8_t> Store(CObjWaypoint& mark, const std::string& folder, const std::string& path) {
  const std::string bytes = vd::test::StoredArchive(path, [&](COverlayArchive& archive) {
    archive.set_link_folder(folder);
    archive.WriteObject(&mark);
  });
  return {bytes.begin(), bytes.end()};
}

TEST_F(WaypointTest, ArchiveRoundTripKeepsBytesAndRelativeLink) {
  CObjWaypoint mark;
  mark.Set(50.5, -4.25, "SN", "a comment", 7, 2);
  mark.name = "Harbour";
  mark.radius = 250.0f;
  mark.circle_mode = CObjWaypoint::kAnchorAlarm;
  mark.colour = 0x123456;
  mark.link = "/data/overlays/docs/plan.txt";
  const auto first = Store(mark, "/data/overlays", dir.path() + "/a.vdo");

  COverlayArchive reader{std::span<const uint8_t>(first)};
  reader.set_link_folder("/data/overlays/");
  auto* read = reader.ReadObject<CObjWaypoint>();
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->link, "/data/overlays/docs/plan.txt");
  EXPECT_EQ(read->comment, "a comment");
  EXPECT_EQ(read->position, mark.position);
  EXPECT_EQ(read->circle_mode, CObjWaypoint::kAnchorAlarm);
  EXPECT_EQ(read->label_mode, 2);
  EXPECT_FALSE(read->being_placed);
  EXPECT_EQ(Store(*read, "/data/overlays", dir.path() + "/b.vdo"), first);
  // The comment carries the link relative to the folder.
  const std::string stored(first.begin(), first.end());
  EXPECT_NE(stored.find("_FILE_ docs/plan.txt\na comment"), std::string::npos);
}

TEST_F(WaypointTest, UndoStepsKeepAbsoluteLinks) {
  CObjWaypoint mark;
  mark.link = "/data/overlays/docs/plan.txt";
  const auto bytes = Store(mark, "", dir.path() + "/u.vdo");
  const std::string stored(bytes.begin(), bytes.end());
  EXPECT_NE(stored.find("_FILE_ /data/overlays/docs/plan.txt\n"), std::string::npos);
}

// A schema 16 record written byte by byte: no circle mode or colour fields, the radius's sign
// tells the alarm, a bad label mode.
struct Bytes {
  std::vector<uint8_t> b;
  template <class T>
  void Put(T v) {
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    b.insert(b.end(), p, p + sizeof v);
  }
  void Str(const std::string& s) {
    Put<uint8_t>(static_cast<uint8_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
  }
};

TEST_F(WaypointTest, ReadsOlderSchemaRecord) {
  Bytes w;
  w.Put<uint16_t>(0xFFFF);
  w.Put<uint16_t>(16);
  w.Put<uint16_t>(12);
  w.b.insert(w.b.end(), {'C', 'O', 'b', 'j', 'W', 'a', 'y', 'p', 'o', 'i', 'n', 't'});
  w.Str("Old");
  w.Put<int32_t>(1000);
  w.Put<int32_t>(2000);
  w.Put<uint8_t>(0);
  w.Put<uint8_t>(1);
  w.Put<int32_t>(0x3c000000);
  w.Put<uint16_t>(0xFFFF);  // a new class: the category
  w.Put<uint16_t>(26);
  w.Put<uint16_t>(9);
  w.b.insert(w.b.end(), {'C', 'C', 'a', 't', 'e', 'g', 'o', 'r', 'y'});
  w.Str("Waypoint");
  w.Put<double>(10.5);
  w.Put<double>(20.25);
  w.Put<uint16_t>(0);  // no routes
  w.Str("_FILE_ sub\\doc.txt\nhello");
  w.Put<int32_t>(5);
  w.Put<float>(-100.0f);
  w.Put<int32_t>(3);
  w.Str("SN");

  COverlayArchive reader{std::span<const uint8_t>(w.b)};
  reader.set_link_folder("/ov");
  auto* mark = reader.ReadObject<CObjWaypoint>();
  ASSERT_NE(mark, nullptr);
  EXPECT_EQ(reader.BytesLeft(), 0u);
  EXPECT_EQ(mark->link, "/ov/sub/doc.txt");
  EXPECT_EQ(mark->comment, "hello");
  EXPECT_EQ(mark->label_mode, 1);
  EXPECT_EQ(mark->circle_mode, CObjWaypoint::kAnchorAlarm);
  EXPECT_EQ(mark->radius, 100.0f);
  EXPECT_EQ(mark->symbol, 3);
  EXPECT_EQ(mark->short_name, "SN");
  EXPECT_EQ(mark->position, CLatLon(10.5, 20.25));
  EXPECT_FALSE(mark->being_placed);
  // "Waypoint" moved to "HotSpot" by the link (the alarm rename then no longer applies).
  EXPECT_EQ(mark->category()->name(), "HotSpot");
}

// One degree of latitude is 60 nautical miles on the local plane at the equator.
CLatLon NorthOf(const CLatLon& p, double nm) { return {p.lat + nm / 60.0, p.lon}; }

TEST_F(WaypointTest, ProximityAndAnchorAlarms) {
  CObjWaypoint mark;
  mark.Set(0.0, 0.0, "M", "", 0, 1);
  mark.radius = 100.0f;  // 0.054 NM
  mark.circle_mode = CObjWaypoint::kAnchorAlarm;
  struct Case {
    double nm;
    bool alarm;
  };
  for (const Case& c : {Case{0.05, false}, Case{0.5, true}, Case{1.2, false}}) {
    EXPECT_EQ(mark.CheckProximity(NorthOf(mark.position, c.nm)), c.alarm) << c.nm;
  }
  EXPECT_EQ(shell.beeps, 1);

  mark.circle_mode = CObjWaypoint::kProximityAlarm;
  const double r = 100.0f * 0.0005399568f;
  EXPECT_TRUE(mark.CheckProximity(NorthOf(mark.position, r * 0.999)));
  EXPECT_FALSE(mark.CheckProximity(NorthOf(mark.position, r * 1.01)));
  mark.circle_mode = CObjWaypoint::kShowCircle;
  EXPECT_FALSE(mark.CheckProximity(mark.position));
  EXPECT_EQ(shell.beeps, 2);  // no link: every fix inside beeps
}

// A fix exactly on the circle is inside it: the radii whose distance on the local plane comes
// out exactly equal to the radius.
TEST_F(WaypointTest, ProximityAlarmExactlyAtTheRadius) {
  CObjWaypoint mark;
  mark.Set(0.0, 0.0, "M", "", 0, 1);
  mark.circle_mode = CObjWaypoint::kProximityAlarm;
  int exact = 0;
  for (int metres = 0; metres <= 500; ++metres) {
    mark.radius = static_cast<float>(metres);
    const double r = mark.radius * 0.0005399568f;
    // The latitude whose distance north of the mark is r to the last bit, where there is one:
    // scaled in, then walked a representable step at a time.
    CLatLon fix = NorthOf(mark.position, r);
    for (int i = 0; i < 3 && r > 0; ++i) fix.lat *= r / fix.DistanceTo(mark.position);
    for (int step = 0; step < 64 && fix.DistanceTo(mark.position) != r; ++step) {
      fix.lat = std::nextafter(fix.lat, fix.DistanceTo(mark.position) < r ? 1.0 : -1.0);
    }
    if (fix.DistanceTo(mark.position) != r) continue;
    ++exact;
    EXPECT_TRUE(mark.CheckProximity(fix)) << metres << " m";
  }
  EXPECT_GT(exact, 10);
}

TEST_F(WaypointTest, AlarmOpensLinkedDocumentOncePerEntry) {
  const std::string doc = dir.path() + "/notes.txt";
  ASSERT_TRUE(vd::os::SaveFileAtomically(doc, "x"));
  CObjWaypoint mark;
  mark.Set(0.0, 0.0, "M", "", 0, 1);
  mark.radius = 1000.0f;
  mark.circle_mode = CObjWaypoint::kProximityAlarm;
  mark.link = doc;
  const CLatLon inside = mark.position;
  const CLatLon outside = NorthOf(mark.position, 5);
  for (const CLatLon& fix : {inside, inside, outside, inside}) mark.CheckProximity(fix);
  EXPECT_EQ(shell.documents, (std::vector<std::string>{doc, doc}));
  EXPECT_EQ(shell.beeps, 0);
}

TEST_F(WaypointTest, AlarmNeverStartsProgramAndBeepsInstead) {
  const std::string program = dir.path() + "/run.sh";
  ASSERT_TRUE(vd::os::SaveFileAtomically(program, "#!/bin/sh\n"));
  ::chmod(program.c_str(), 0755);
  CObjWaypoint mark;
  mark.Set(0.0, 0.0, "M", "", 0, 1);
  mark.radius = 1000.0f;
  mark.circle_mode = CObjWaypoint::kProximityAlarm;
  mark.link = program;
  Answer yes(vd::ui::kIdYes);
  vd::ui::ScopedResponder scope(&yes);
  EXPECT_TRUE(mark.CheckProximity(mark.position));
  EXPECT_TRUE(shell.programs.empty());
  EXPECT_EQ(yes.asked, 0);
  EXPECT_EQ(shell.beeps, 1);
}

TEST_F(WaypointTest, OpenLinkAsksBeforeStartingPrograms) {
  CObjWaypoint mark;
  mark.link = "/opt/tools/viewer.exe first second";
  {
    Answer no(vd::ui::kIdNo);
    vd::ui::ScopedResponder scope(&no);
    EXPECT_FALSE(mark.OpenLink());
    EXPECT_EQ(no.asked, 1);
    EXPECT_TRUE(shell.programs.empty());
  }
  Answer yes(vd::ui::kIdYes);
  vd::ui::ScopedResponder scope(&yes);
  EXPECT_TRUE(mark.OpenLink());
  ASSERT_EQ(shell.programs.size(), 1u);
  EXPECT_EQ(shell.programs[0].first, "/opt/tools/viewer.exe");
  EXPECT_EQ(shell.programs[0].second, (std::vector<std::string>{"first", "second"}));

  // Documents and web addresses open without a question; other schemes and missing files not.
  const std::string doc = dir.path() + "/viewer first second";
  ASSERT_TRUE(vd::os::SaveFileAtomically(doc, "x"));
  for (const auto& [link, opens] : std::vector<std::pair<std::string, bool>>{
           {doc, true}, {"https://example.org/a", true}, {"ftp://example.org/a", false},
           {dir.path() + "/missing.txt", false}, {"", false}}) {
    mark.link = link;
    EXPECT_EQ(mark.OpenLink(), opens) << link;
  }
  EXPECT_EQ(shell.documents, (std::vector<std::string>{doc, "https://example.org/a"}));
  EXPECT_EQ(yes.asked, 1);
}

TEST_F(WaypointTest, DraggingStateMachine) {
  RecordingDoc doc;
  CCurrentOwnerScope owner(&doc);
  int undo_steps = 0;
  const vd::test::ScopedUndoHook undo_hook({nullptr, [&](COstrelObject&) { ++undo_steps; }, nullptr});
  const CLatLon start(50.0, -4.0);
  const CLatLon moved(50.1, -4.1);
  struct Case {
    bool placing, locked, down;
    CLatLon up;
    bool handled, moves;
    int code;  // last change code, -1 none
    int undo;
  };
  const Case cases[] = {
      {false, false, true, moved, true, true, kChangeModified, 1},
      {false, false, true, start, true, false, kChangeEditState, 0},
      {false, true, true, moved, true, false, kChangeEditState, 0},
      {true, false, true, start, true, true, kChangeModified, 1},
      {false, false, false, moved, false, false, -1, 0},
  };
  for (const Case& c : cases) {
    CObjWaypoint mark;
    if (!c.placing) mark.Set(start.lat, start.lon, "M", "", 0, 1);
    mark.locked = c.locked;
    if (c.down) mark.OnLButtonDown(start, nullptr);
    EXPECT_EQ(mark.dragging, c.down);
    undo_steps = 0;
    doc.hints.clear();
    EXPECT_EQ(mark.OnLButtonUp(c.up), c.handled);
    EXPECT_FALSE(mark.dragging);
    EXPECT_EQ(mark.position == c.up && c.moves, c.moves);
    EXPECT_EQ(mark.being_placed, false || (c.placing && !c.moves));
    EXPECT_EQ(doc.hints.empty() ? -1 : doc.hints.back(), c.code);
    EXPECT_EQ(undo_steps, c.undo);
    mark.Deselect();
  }
}

}  // namespace

namespace {

TEST_F(WaypointTest, TextLineRoundTripAndOlderVersionColour) {
  CObjWaypoint mark;
  mark.Set(-33.5, 151.25, "A \"quoted\", name", "50% off, here", 2, 0);
  mark.name = "Bay";
  mark.radius = 150.0f;
  mark.circle_mode = CObjWaypoint::kAnchorAlarm;
  mark.colour = 0xABCDEF;
  std::string line;
  ASSERT_TRUE(mark.WriteText(line));

  CObjWaypoint read;
  ASSERT_TRUE(read.ReadText(line));
  EXPECT_EQ(read.short_name, mark.short_name);
  EXPECT_EQ(read.comment, mark.comment);
  EXPECT_EQ(read.name, "Bay");
  EXPECT_EQ(read.circle_mode, CObjWaypoint::kAnchorAlarm);
  EXPECT_EQ(read.radius, 150.0f);
  EXPECT_EQ(read.colour, 0xABCDEFu);
  EXPECT_EQ(read.label_mode, 0);
  std::string again;
  ASSERT_TRUE(read.WriteText(again));
  EXPECT_EQ(again, line);

  // Version 4 takes the symbol's default colour even when a colour follows; a negative radius
  // asks for the anchor alarm and is kept as a length.
  CObjWaypoint old;
  ASSERT_TRUE(old.ReadText("WP04,10.0,20.0,0,\"n\",\"\",\"\",-80,1,SN,1,0,\"Marks\",3,#00ff00"));
  EXPECT_EQ(old.colour, CIconLibrary::SymbolDefaultColour(0));
  EXPECT_EQ(old.radius, 80.0f);
  EXPECT_EQ(old.circle_mode, CObjWaypoint::kAnchorAlarm);

  for (const char* bad : {"WP05,95.0,20.0,0", "WP05,abc,20.0,0", "XX05,10,20,0"}) {
    CObjWaypoint mark_bad;
    EXPECT_FALSE(mark_bad.ReadText(bad)) << bad;
    EXPECT_TRUE(mark_bad.being_placed) << bad;
  }
  std::string none;
  EXPECT_FALSE(CObjWaypoint().WriteText(none));
  EXPECT_TRUE(none.empty());
}

}  // namespace

namespace {

// A route that gives up its own last reference when it loses a mark, as a route left with one
// point deletes itself.
struct SelfReleasingRoute : COstrelObject, WaypointRouteLink {
  std::vector<std::string>* log;
  explicit SelfReleasingRoute(std::vector<std::string>* l) : log(l) { AddRef(); }
  ~SelfReleasingRoute() override { log->push_back("route gone"); }
  COstrelObject& RouteObject() override { return *this; }
  void DropDeletedWaypoint(CObjWaypoint& mark) override {
    log->push_back("drop " + mark.name);
    Release();
    log->push_back("released");
  }
  int CountNeighbours(const CObjWaypoint&) const override { return 0; }
  int FillNeighbourAnchors(const CObjWaypoint&, COldQuickChart*,
                           std::span<vd::ui::Point>) const override { return 0; }
  bool InsertWaypointWhileEditing(CObjWaypoint&) override { return false; }
  void StartInsertAfter(CObjWaypoint&) override {}
  void StartInsertBefore(CObjWaypoint&) override {}
  bool IsInInsertMode() const override { return false; }
  bool HasInnerOccurrence(const CObjWaypoint&) const override { return false; }
  void GetNeighboursOfFirst(const CObjWaypoint&, const CObjWaypoint*&,
                            const CObjWaypoint*&) const override {}
  void RecomputeLength() override {}
};

TEST_F(WaypointTest, DestructorTellsEachRouteOnceWhileHoldingIt) {
  std::vector<std::string> log;
  auto* route = new SelfReleasingRoute(&log);
  {
    CObjWaypoint mark;
    mark.name = "M";
    mark.AddRouteLink(route);
    mark.AddRouteLink(route);  // held twice
    EXPECT_EQ(mark.context_menu_id, CObjWaypoint::kMarkPopupMenu);
    mark.OnContextMenu(nullptr, {});
    EXPECT_EQ(mark.context_menu_id, CObjWaypoint::kRoutePopupMenu);
    EXPECT_TRUE(mark.IsInCurrentRoute());
    SetCurrentWaypointRoute(nullptr);
  }
  // The route outlived its own release until the walk was over.
  EXPECT_EQ(log, (std::vector<std::string>{"drop M", "released", "route gone"}));
}

TEST_F(WaypointTest, OrphanedMarkDeletesItselfOnlyWhenAskedAndUnlocked) {
  struct Doc : COstrelDocBase {
    ObjectList objects;
    void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
    ObjectList* GetObjectList() override { return &objects; }
  } doc;
  CCurrentOwnerScope owner(&doc);
  std::vector<std::string> log;
  auto* route = new SelfReleasingRoute(&log);
  auto* mark = new CObjWaypoint;
  mark->AddRef();
  doc.objects.push_back(mark);
  mark->AddRouteLink(route);
  mark->AddRouteLink(route);
  mark->RemoveRouteLink(route, false);
  EXPECT_FALSE(mark->HasRoutes());
  EXPECT_EQ(doc.objects.size(), 1u);
  mark->AddRouteLink(route);
  mark->locked = true;
  mark->RemoveRouteLink(route, true);
  EXPECT_EQ(doc.objects.size(), 1u);
  mark->locked = false;
  mark->AddRouteLink(route);
  mark->RemoveRouteLink(route, true);  // gone: the list's reference was the last
  EXPECT_TRUE(doc.objects.empty());
  route->Release();
}

}  // namespace
