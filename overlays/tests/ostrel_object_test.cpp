#include "overlays/ostrel_object.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "core/ui/dialog_f1_help.h"
#include "overlays/category.h"
#include "overlays/overlay_archive.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/clock.h"
#include "platform/os/files.h"
#include "platform/ui/popup_menu.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChangeRecord;
using vd::test::FakeDoc;
using vd::test::OverlayWorld;
using vd::test::TestMark;
using vd::test::TestRoute;

constexpr auto kViews = ChangeRecord::kViews;
constexpr auto kPane = ChangeRecord::kPane;

// ---- Identity ----

TEST(OstrelObjectId, MadeOnceWithTheInstallationInTheHighHalf) {
  COstrelObject::SetInstallationId(0x5EEDF00D);
  OverlayWorld world;
  TestMark mark;
  EXPECT_EQ(mark.id(), 0u);
  const uint64_t id = mark.GetUniqueId();
  EXPECT_NE(id, 0u);
  EXPECT_EQ(id >> 32, 0x5EEDF00Du);
  EXPECT_EQ(mark.GetUniqueId(), id);
  COstrelObject::SetInstallationId(0);
}

TEST(OstrelObjectId, UniqueWithinADocumentWhenMadeInOneBurst) {
  // Thousands of ids in the same second: 15 random bits alone would repeat many times.
  COstrelObject::SetInstallationId(0);
  OverlayWorld world;
  std::vector<std::unique_ptr<TestMark>> marks;
  std::set<uint32_t> lows;
  for (int i = 0; i < 3000; ++i) {
    marks.push_back(std::make_unique<TestMark>());
    const uint64_t id = marks.back()->GetUniqueId();
    ASSERT_NE(id, 0u);
    lows.insert(static_cast<uint32_t>(id));
  }
  EXPECT_EQ(lows.size(), marks.size());
}

TEST(OstrelObjectId, NewIdsSkipLowHalvesHeldInTheDocumentOnly) {
  // The first value tried is the time xor the first random number shifted. With the random
  // numbers repeated, the first three values of this second and the next few are held by
  // marks of the document, the fourth was held by a mark that is gone, and the values the new
  // id should take are held by marks of another document.
  COstrelObject::SetInstallationId(0);
  OverlayWorld world;
  FakeDoc other;
  std::srand(20240601);
  const uint32_t random = static_cast<uint32_t>(std::rand()) & 0x7FFF;
  const auto now = static_cast<uint32_t>(vd::os::NowSeconds1970());
  std::vector<std::unique_ptr<TestMark>> marks;
  std::set<uint32_t> held;
  for (uint32_t second = now; second < now + 5; ++second) {
    const uint32_t first = second ^ (random << 16);
    for (uint32_t k = 0; k < 3; ++k) {
      marks.push_back(std::make_unique<TestMark>());
      marks.back()->SetUniqueId(first + k);
      held.insert(first + k);
    }
    TestMark gone;
    gone.SetUniqueId(first + 3);
  }
  std::set<uint32_t> expected;
  for (uint32_t second = now; second < now + 5; ++second) {
    uint32_t free = second ^ (random << 16);
    while (held.contains(free)) ++free;
    expected.insert(free);
    marks.push_back(std::make_unique<TestMark>());
    marks.back()->SetDocument(&other);
    marks.back()->SetUniqueId(free);
  }

  std::srand(20240601);
  TestMark mark;
  EXPECT_TRUE(expected.contains(static_cast<uint32_t>(mark.GetUniqueId())))
      << "the first value free in the document: " << mark.id();
}

// A document's table of ids is never locked: an object of it taking an id on another thread
// stops the program with a message rather than corrupting the table.
TEST(OstrelObjectIdDeathTest, TakenOnlyOnTheThreadOfTheDocument) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        OverlayWorld world;
        TestMark mark;
        std::thread([&mark] { mark.SetUniqueId(0x0000000100000005ull); }).join();
      },
      "A document's table of object ids used on a thread other than the one that made it");
  // On its own thread the same is fine, and the id is held by the document.
  OverlayWorld world;
  TestMark mark;
  mark.SetUniqueId(0x0000000100000005ull);
  EXPECT_TRUE(world.doc.ObjectIds().Contains(5));
  mark.SetDocument(nullptr);
  EXPECT_FALSE(world.doc.ObjectIds().Contains(5));
}

TEST(OstrelObjectId, IsSameObject) {
  OverlayWorld world;
  TestMark a;
  TestMark b;
  TestRoute route;
  a.name = b.name = route.name = "Harbour";
  a.created = b.created = route.created = 1000;
  EXPECT_TRUE(a.IsSameObject(b)) << "no ids: same created time and name";
  EXPECT_FALSE(a.IsSameObject(route)) << "another class is never the same object";

  b.name = "harbour";
  EXPECT_FALSE(a.IsSameObject(b)) << "names compare with case";
  b.name = "Harbour";
  b.created = 1001;
  EXPECT_FALSE(a.IsSameObject(b));

  a.SetUniqueId(0x1234);
  b.SetUniqueId(0x1234);
  b.name = "Elsewhere";
  EXPECT_TRUE(a.IsSameObject(b)) << "equal ids, whatever the names";
  route.SetUniqueId(0x1234);
  route.created = 1;
  EXPECT_FALSE(a.IsSameObject(route)) << "equal ids of different classes";
}

// ---- Reference counts and destruction ----

TEST(OstrelObjectRefs, LastReleaseDestroysAndClearsWhatPointsAtIt) {
  OverlayWorld world;
  bool destroyed = false;
  auto* mark = new TestMark;
  mark->destroyed = &destroyed;
  mark->SetCategory("Fishing");
  CCategory* fishing = mark->category();
  fishing->AddRef();  // keep it to look at
  ASSERT_EQ(fishing->ref_count(), 2);

  mark->AddRef();
  mark->AddRef();
  mark->Select(false);
  world.doc.current_object = mark;
  mark->Release();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(mark->ref_count(), 1);
  mark->Release();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(COstrelObject::GetSelected(nullptr), nullptr);
  EXPECT_EQ(world.doc.current_object, nullptr);
  EXPECT_EQ(fishing->ref_count(), 1);
  fishing->Release();
}

// ---- Change notification ----

TEST(OstrelObjectNotify, ViewsThenPanesGetTheCode) {
  OverlayWorld world;
  TestMark* mark = world.doc.Add(new TestMark);
  mark->modified = 5;

  mark->SetLocked(true);
  mark->Select(true);
  mark->SetViewTarget(50.5, -1.25, 3.5f);
  mark->NotifyChange(kChangeMoved);
  mark->NotifyChange(kChangeModified);
  EXPECT_TRUE(mark->locked);
  EXPECT_EQ(mark->view_target(), CLatLon(50.5, -1.25));
  EXPECT_EQ(mark->view_target_distance(), 3.5f);
  EXPECT_GT(mark->modified, 5) << "code 2 stamps the modified time";
  const std::vector<ChangeRecord> expected{
      {kViews, 4, mark}, {kPane, 4, mark}, {kViews, 3, mark}, {kPane, 3, mark},
      {kViews, 6, mark}, {kPane, 6, mark}, {kViews, 5, mark}, {kPane, 5, mark},
      {kViews, 2, mark}, {kPane, 2, mark},
  };
  EXPECT_EQ(world.log, expected);
}

TEST(OstrelObjectNotify, SilentWithoutDocumentOrWithTheSwitchOff) {
  OverlayWorld world;
  TestMark* mark = world.doc.Add(new TestMark);
  mark->Select(false);
  mark->SetVisible(false);
  EXPECT_TRUE(world.log.empty()) << "no notification from Select(false) or SetVisible";

  COstrelObject::SetNotificationsEnabled(false);
  mark->modified = 5;
  mark->NotifyChange(kChangeModified);
  EXPECT_TRUE(world.log.empty());
  EXPECT_GT(mark->modified, 5) << "the time is stamped even while silent";

  RefreshAllOverlayViews();
  EXPECT_TRUE(COstrelObject::NotificationsEnabled());
  EXPECT_EQ(world.log, (std::vector<ChangeRecord>{{kViews, 0, nullptr}, {kPane, 0, nullptr}}));

  world.log.clear();
  TestMark orphan;
  orphan.SetDocument(nullptr);
  orphan.modified = 5;
  orphan.NotifyChange(kChangeModified);
  orphan.SetLocked(true);
  EXPECT_TRUE(world.log.empty());
  EXPECT_EQ(orphan.modified, 5);
}

// ---- Selection ----

// A chosen set deleted in one go: what is still listed goes (a route's marks go with the route,
// before their own turn comes), the rest of the document stays, and the views and panes hear
// of it once, at the end.
TEST(OstrelObjectNotify, DeleteMarkedObjectsDeletesWhatIsStillListedAndRefreshesOnce) {
  OverlayWorld world;
  CObjWaypoint* start = world.doc.AddMark("Start", 50.0, -1.0);
  CObjWaypoint* end = world.doc.AddMark("End", 50.1, -1.1);
  world.doc.AddMark("Kept", 50.2, -1.2);
  CObjRoute* route = world.doc.AddRoute("Passage", {start, end});
  auto* outside = new TestMark;  // never in the document
  outside->AddRef();
  outside->SetDocument(nullptr);
  world.log.clear();

  DeleteMarkedObjects(ObjectList{route, start, end, route, outside});
  EXPECT_EQ(outside->ref_count(), 1) << "left as it was";
  outside->Release();
  ASSERT_EQ(world.doc.objects.size(), 1u);
  EXPECT_EQ(world.doc.objects.front()->name, "Kept");
  EXPECT_TRUE(COstrelObject::NotificationsEnabled());
  EXPECT_EQ(world.log, (std::vector<ChangeRecord>{{kViews, 0, nullptr}, {kPane, 0, nullptr}}));
}

TEST(OstrelObjectSelection, OneSelectionForTheProgram) {
  OverlayWorld world;
  FakeDoc other_doc;
  TestMark* a = world.doc.Add(new TestMark);
  TestMark* b = world.doc.Add(new TestMark);
  TestMark* c = other_doc.Add(new TestMark);
  c->SetDocument(&other_doc);

  a->Select(true);
  EXPECT_TRUE(a->IsSelected());
  b->Select(true);
  EXPECT_FALSE(a->IsSelected());
  EXPECT_EQ(a->deselections, 1) << "the previous selection is told";
  EXPECT_EQ(COstrelObject::GetSelected(&world.doc), b);
  EXPECT_EQ(COstrelObject::GetSelected(nullptr), b);
  EXPECT_EQ(COstrelObject::GetSelected(&other_doc), nullptr);

  a->Deselect();
  EXPECT_TRUE(b->IsSelected()) << "deselecting another object leaves the selection";
  c->Select(false);
  EXPECT_EQ(COstrelObject::GetSelected(&world.doc), nullptr);
  c->Deselect();
  EXPECT_EQ(COstrelObject::GetSelected(nullptr), nullptr);
}

TEST(OstrelObjectSelection, ClicksSelectAndDoubleClickShowsThePanes) {
  OverlayWorld world;
  TestMark* mark = world.doc.Add(new TestMark);
  EXPECT_TRUE(mark->OnLButtonDown({1, 2}, nullptr));
  EXPECT_TRUE(mark->IsSelected());
  EXPECT_TRUE(mark->OnLButtonDown({1, 2}, nullptr));
  EXPECT_EQ(world.log, (std::vector<ChangeRecord>{{kViews, 3, mark}, {kPane, 3, mark}}))
      << "a click on the selection selects nothing again";

  world.log.clear();
  EXPECT_TRUE(mark->OnDoubleClick({1, 2}));
  EXPECT_EQ(world.doc.panes_shown, 1);
  EXPECT_EQ(mark->deselections, 1);
  EXPECT_TRUE(mark->IsSelected());
  EXPECT_EQ(world.log, (std::vector<ChangeRecord>{{kViews, 3, mark}, {kPane, 3, mark}}));

  EXPECT_FALSE(mark->OnLButtonUp({}));
  EXPECT_FALSE(mark->OnMouseMove({}));
  EXPECT_FALSE(mark->OnKeyDown(46));
  EXPECT_FALSE(mark->OnContextMenu(nullptr, {})) << "no context menu";
  mark->Deselect();
}

// ---- Context menu ----

class MenuView : public COstrelViewBase {
 public:
  std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int menu_id) override {
    loaded = menu_id;
    if (menu_id != 136) return nullptr;
    auto menu = std::make_unique<vd::ui::PopupMenu>();
    menu->AppendItem(100, "Properties");
    return menu;
  }
  void TrackContextMenu(const vd::ui::PopupMenu& menu, const vd::ui::Point& point) override {
    for (const auto& item : menu.items()) tracked.push_back(item.text);
    at = point;
  }
  int loaded = 0;
  std::vector<std::string> tracked;
  vd::ui::Point at;
};

class MenuMark : public TestMark {
 public:
  void OnInitPopupMenu(vd::ui::PopupMenu& menu) override { menu.AppendItem(101, "Lock"); }
};

TEST(OstrelObjectMenu, SelectsThenTracksTheAdjustedMenu) {
  OverlayWorld world;
  MenuView view;
  MenuMark* mark = world.doc.Add(new MenuMark);
  EXPECT_FALSE(mark->OnContextMenu(&view, {5, 6}));
  EXPECT_EQ(view.loaded, 0) << "no menu id: nothing loaded";

  mark->context_menu_id = 136;
  EXPECT_TRUE(mark->OnContextMenuAt({50, 1}, &view, {5, 6}));
  EXPECT_TRUE(mark->IsSelected());
  EXPECT_EQ(view.tracked, (std::vector<std::string>{"Properties", "Lock"}));
  EXPECT_EQ(view.at, (vd::ui::Point{5, 6}));
  EXPECT_EQ(world.log, (std::vector<ChangeRecord>{{kViews, 3, mark}, {kPane, 3, mark}}));

  mark->context_menu_id = 999;  // a menu the resources lack
  EXPECT_FALSE(mark->OnContextMenu(&view, {5, 6}));
  mark->Deselect();
}

// ---- Delete without asking (the questions are in the GUI tests) ----

TEST(OstrelObjectDelete, LeavesTheDocumentListAndIsReleased) {
  OverlayWorld world;
  bool destroyed = false;
  TestMark* mark = world.doc.Add(new TestMark);
  mark->destroyed = &destroyed;
  mark->locked = true;  // locks only guard interactive deletes
  EXPECT_EQ(mark->Delete(false), COstrelObject::kDeleted);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(world.doc.objects.empty());
  EXPECT_EQ(world.log, (std::vector<ChangeRecord>{{kViews, 1, mark}, {kPane, 1, mark}}));
}

TEST(OstrelObjectDelete, AnObjectOutsideTheListStaysAlive) {
  OverlayWorld world;
  TestMark mark;
  EXPECT_EQ(mark.Delete(false), COstrelObject::kDeleteNotInList);
  EXPECT_EQ(world.log.size(), 2u) << "code 1 has gone out all the same";
}

// ---- Odds and ends of the base ----

TEST(OstrelObjectBase, CreationTimeScopeDatesNewObjects) {
  OverlayWorld world;
  {
    const CCreationTimeScope outer(1000);
    TestMark a;
    {
      const CCreationTimeScope inner(2000);
      TestMark b;
      EXPECT_EQ(b.created, 2000);
      EXPECT_EQ(b.modified, 2000);
    }
    TestMark c;
    EXPECT_EQ(a.created, 1000);
    EXPECT_EQ(c.created, 1000) << "the outer scope's time again";
  }
  const auto before = static_cast<int32_t>(vd::os::NowSeconds1970());
  TestMark now;
  EXPECT_GE(now.created, before) << "the clock once no scope lives";
  EXPECT_EQ(now.modified, now.created);
}

TEST(OstrelObjectBase, DefaultsAndPlainSlots) {
  OverlayWorld world;
  int undo_step = 7;
  auto undo_hook = std::make_optional<vd::test::ScopedUndoHook>(
      OverlayUndoHook{[&] { return undo_step; }, nullptr, nullptr});
  TestMark mark;
  undo_hook.reset();
  EXPECT_EQ(mark.document(), &world.doc);
  EXPECT_EQ(mark.undo_stamp, 7);
  EXPECT_EQ(mark.redo_stamp, 0);
  EXPECT_TRUE(mark.visible);
  EXPECT_EQ(mark.created, mark.modified);
  EXPECT_EQ(mark.hit_tolerance, 8);

  TestMark later;
  EXPECT_GT(later.serial(), mark.serial());

  EXPECT_EQ(mark.ShiftByZoom(0), 8);
  EXPECT_EQ(mark.ShiftByZoom(3), 64);
  EXPECT_EQ(mark.ShiftByZoom(-2), 2);
  EXPECT_EQ(mark.ShiftByZoom(-5), 0);

  ObjectList list;
  EXPECT_TRUE(mark.CollectForExport(list));
  EXPECT_FALSE(mark.CollectForExport(list));
  EXPECT_FALSE(mark.CollectForUndo(list));
  EXPECT_EQ(list.size(), 1u);

  std::string out;
  EXPECT_TRUE(mark.WriteGpx(out));
  EXPECT_TRUE(mark.WriteText(out));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(mark.CreatePropsDialog(nullptr), nullptr);
  double a, b, c, d;
  COstrelObject& base = later;
  EXPECT_FALSE(base.COstrelObject::GetBounds(a, b, c, d));
}

TEST(OstrelObjectBase, SetCategoryShares) {
  OverlayWorld world;
  TestMark a;
  TestMark b;
  a.SetCategory("Wrecks");
  b.SetCategory("WRECKS");
  ASSERT_NE(a.category(), nullptr);
  EXPECT_EQ(a.category(), b.category());
  EXPECT_EQ(a.category()->ref_count(), 2);
  CCategory* wrecks = a.category();
  b.SetCategory("Buoys");
  EXPECT_EQ(wrecks->ref_count(), 1);
  a.SetCategory(b.category());
  EXPECT_EQ(b.category()->ref_count(), 2);
  EXPECT_TRUE(world.log.empty()) << "the caller announces category changes";
}

// ---- Archive record ----

TEST(OstrelObjectArchive, BaseRecordRoundTrip) {
  vd::test::TempDir dir;
  const std::string path = dir.path() + "/objects.vdo";
  OverlayWorld world;
  CCategory* existing = CCategory::FindOrCreate("Anchorages");
  {
    TestMark mark;
    mark.name = "Cove";
    mark.created = 1700000000;
    mark.modified = 1700000100;
    mark.locked = true;
    mark.visible = false;
    mark.style = 0x3c000002;
    mark.undo_stamp = 3;
    mark.redo_stamp = 4;
    mark.SetUniqueId(0x0102030405060708ull);
    mark.SetCategory("ANCHORAGES");
    vd::os::File file;
    ASSERT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate));
    COverlayArchive archive(file, COverlayArchive::Mode::kStore);
    archive.WriteObject(&mark);
    archive.Flush();
  }
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  COverlayArchive archive(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  auto* read = static_cast<TestMark*>(archive.ReadObject(TestMark::kClass));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(&read->GetRuntimeClass(), &TestMark::kClass);
  EXPECT_EQ(read->name, "Cove");
  EXPECT_EQ(read->short_name, "Cove");
  EXPECT_EQ(read->created, 1700000000);
  EXPECT_EQ(read->modified, 1700000100);
  EXPECT_TRUE(read->locked);
  EXPECT_FALSE(read->visible);
  EXPECT_EQ(read->style, 0x3c000002);
  EXPECT_EQ(read->undo_stamp, 3);
  EXPECT_EQ(read->redo_stamp, 4);
  EXPECT_EQ(read->id(), 0x0102030405060708ull);
  EXPECT_EQ(read->category(), existing) << "the stored category joins the one of that name";
  existing->Release();
}

}  // namespace
