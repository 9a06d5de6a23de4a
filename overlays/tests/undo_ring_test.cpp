// The undo and redo ring: create, edit and delete undone and redone, the ring of 10 steps,
// damaged step files, a save that died before its rename, and links in step files.
#include "overlays/undo_ring.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "overlays/category.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "overlays/tests/archive_test_objects.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ArchiveMark;

// The program's history with its steps in a fresh folder. Step numbers go on from wherever
// earlier tests of this process left them.
struct UndoFixture {
  UndoFixture() { ring.set_folder(dir.path()); }
  ~UndoFixture() { ring.set_folder(""); }

  ObjectList& doc() { return world.doc.objects; }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (COstrelObject* object : doc()) names.push_back(object->name);
    return names;
  }
  ArchiveMark* AddMark(const std::string& name) {
    auto* mark = world.doc.Add(new ArchiveMark);
    mark->name = name;
    return mark;
  }
  // Replaces a file with its first half.
  void Damage(const std::string& path) {
    std::string bytes;
    ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes.substr(0, bytes.size() / 2)));
  }

  vd::test::TempDir dir;
  vd::test::OverlayWorld world;
  CUndoRing& ring = CUndoRing::Program();
};

struct AnswerOk : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest&) override { return vd::ui::kIdOk; }
};

TEST(UndoRing, CreateEditAndDeleteUndoAndRedo) {
  UndoFixture f;
  // Create: an empty step first; the new object carries its number.
  SaveUndoEmpty();
  ArchiveMark* mark = f.AddMark("Buoy");
  mark->SetUniqueId(0x42);
  EXPECT_EQ(mark->undo_stamp, f.ring.undo_step());
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(CanUndo());
    Undo(f.doc());
    EXPECT_TRUE(f.doc().empty());
    ASSERT_TRUE(CanRedo());
    Redo(f.doc());
    ASSERT_EQ(f.Names(), std::vector<std::string>{"Buoy"});
    EXPECT_EQ(f.doc().front()->id(), 0x42u);
  }
  EXPECT_FALSE(CanRedo());

  // Edit.
  SaveUndoForObject(*f.doc().front());
  f.doc().front()->name = "Buoy 2";
  for (int round = 0; round < 2; ++round) {
    Undo(f.doc());
    EXPECT_EQ(f.Names(), std::vector<std::string>{"Buoy"});
    Redo(f.doc());
    EXPECT_EQ(f.Names(), std::vector<std::string>{"Buoy 2"});
  }

  // A confirmed delete saves its own step.
  COstrelObject* doomed = f.doc().front();
  doomed->SetCategory("Marks");
  doomed->created = 1500000000;
  doomed->modified = 1500000100;
  AnswerOk ok;
  vd::ui::ScopedResponder scope(&ok);
  ASSERT_EQ(doomed->Delete(true), COstrelObject::kDeleted);
  EXPECT_TRUE(f.doc().empty());
  for (int round = 0; round < 2; ++round) {
    Undo(f.doc());
    ASSERT_EQ(f.Names(), std::vector<std::string>{"Buoy 2"});
    const COstrelObject* back = f.doc().front();
    EXPECT_EQ(back->id(), 0x42u);
    EXPECT_EQ(back->created, 1500000000);
    EXPECT_EQ(back->modified, 1500000100);
    ASSERT_NE(back->category(), nullptr);
    EXPECT_EQ(back->category()->name(), "Marks");
    if (round == 0) {
      Redo(f.doc());
      EXPECT_TRUE(f.doc().empty());
    }
  }

  // Hiding with undo.
  SetVisibleWithUndo(false, f.doc());
  EXPECT_FALSE(f.doc().front()->visible);
  Undo(f.doc());
  EXPECT_TRUE(f.doc().front()->visible);
}

TEST(UndoRing, KeepsTenStepsOnDisk) {
  UndoFixture f;
  f.AddMark("v0");
  const int32_t base = f.ring.undo_step();
  for (int i = 1; i <= 12; ++i) {
    SaveUndoForObject(*f.doc().front());
    f.doc().front()->name = "v" + std::to_string(i);
  }
  EXPECT_FALSE(vd::os::FileExists(f.ring.UndoFile(base + 1)));
  EXPECT_FALSE(vd::os::FileExists(f.ring.UndoFile(base + 2)));
  for (int step = base + 3; step <= base + 12; ++step) {
    EXPECT_TRUE(vd::os::FileExists(f.ring.UndoFile(step))) << step;
  }
  for (int k = 1; k <= 10; ++k) {
    ASSERT_TRUE(CanUndo()) << k;
    Undo(f.doc());
    ASSERT_EQ(f.Names(), std::vector<std::string>{"v" + std::to_string(12 - k)});
  }
  EXPECT_FALSE(CanUndo()) << "step 2's file left the ring";
  Undo(f.doc());
  EXPECT_EQ(f.Names(), std::vector<std::string>{"v2"});

  for (int k = 1; k <= 10; ++k) {
    ASSERT_TRUE(CanRedo()) << k;
    Redo(f.doc());
  }
  EXPECT_EQ(f.Names(), std::vector<std::string>{"v12"});
  EXPECT_FALSE(CanRedo());

  Undo(f.doc());
  EXPECT_TRUE(CanRedo());
  SaveUndoForObject(*f.doc().front());  // a new edit drops the redo steps
  EXPECT_FALSE(CanRedo());
  EXPECT_TRUE(CanUndo());
}

TEST(UndoRing, DamagedStepChangesNothing) {
  UndoFixture f;
  ArchiveMark* mark = f.AddMark("Before");
  SaveUndoForObject(*mark);
  mark->name = "After";
  const int32_t undo_step = f.ring.undo_step();
  const int32_t redo_step = f.ring.redo_step();
  const std::string undo_file = f.ring.UndoFile(undo_step);
  std::string intact;
  ASSERT_TRUE(vd::os::ReadWholeFile(undo_file, intact));

  f.Damage(undo_file);
  Undo(f.doc());
  EXPECT_EQ(f.doc(), ObjectList{mark});
  EXPECT_EQ(mark->name, "After");
  EXPECT_EQ(mark->undo_stamp, undo_step);
  EXPECT_EQ(f.ring.undo_step(), undo_step);
  EXPECT_EQ(f.ring.redo_step(), redo_step);
  EXPECT_FALSE(vd::os::FileExists(f.ring.RedoFile(undo_step)));

  ASSERT_TRUE(vd::os::SaveFileAtomically(undo_file, intact));
  Undo(f.doc());
  ASSERT_EQ(f.Names(), std::vector<std::string>{"Before"});
  COstrelObject* restored = f.doc().front();

  f.Damage(f.ring.RedoFile(undo_step));
  Redo(f.doc());
  EXPECT_EQ(f.doc(), ObjectList{restored});
  EXPECT_EQ(f.ring.undo_step(), undo_step - 1);
  EXPECT_EQ(f.ring.redo_step(), undo_step);
}

// A run that died while saving a step leaves the step's temporary file behind, and earlier runs
// leave step files of the numbers this run uses again.
TEST(UndoRing, ContinuesAfterACrashBeforeTheRename) {
  UndoFixture f;
  ArchiveMark* mark = f.AddMark("One");
  const int32_t next = f.ring.undo_step() + 1;
  const std::string step_name = "undo" + std::to_string(next) + ".vdo";
  const std::string leftover =
      f.dir.File(vd::os::AtomicFileWriter::TempPrefix(step_name) + "0badf00d.tmp");
  ASSERT_TRUE(vd::os::SaveFileAtomically(leftover, std::string("\x01\x00\xFF\xFF", 4)));

  SaveUndoForObject(*mark);
  mark->name = "Two";
  Undo(f.doc());
  EXPECT_EQ(f.Names(), std::vector<std::string>{"One"});
  Redo(f.doc());
  EXPECT_EQ(f.Names(), std::vector<std::string>{"Two"});
  // No save holds it (one in progress would hold its lock): the dead run's file is gone.
  EXPECT_FALSE(vd::os::FileExists(leftover));

  // An older run's step of the next number must not stand in for a step whose save failed.
  ArchiveMark stale;
  stale.name = "Stale";
  ASSERT_TRUE(WriteObjectsFile(f.ring.UndoFile(f.ring.undo_step() + 1), "", ObjectList{&stale}));
  ArchiveMark* failing = f.AddMark("Unsaved");
  failing->fail_when_stored = true;
  SaveUndoForObject(*failing);
  EXPECT_FALSE(CanUndo());
  Undo(f.doc());
  EXPECT_EQ(f.Names(), (std::vector<std::string>{"Two", "Unsaved"}));
}

TEST(UndoRing, StepFilesKeepLinksAbsolute) {
  UndoFixture f;
  ArchiveMark* mark = f.AddMark("Linked");
  const std::string link = f.dir.path() + "/docs/chart.pdf";
  mark->link = link;
  SetCurrentOverlayFolderFromPath(f.dir.File("user.vdo"));
  SaveUndoForObject(*mark);
  std::string step;
  ASSERT_TRUE(vd::os::ReadWholeFile(f.ring.UndoFile(f.ring.undo_step()), step));
  EXPECT_NE(step.find(link), std::string::npos);
  mark->link = "changed";

  SetCurrentOverlayFolderFromPath("/elsewhere/other.vdo");
  Undo(f.doc());
  auto* restored = static_cast<ArchiveMark*>(f.doc().front());
  EXPECT_EQ(restored->link, link);
  EXPECT_EQ(CurrentOverlayFolder(), "/elsewhere/") << "undo leaves the overlay folder alone";
}

// Links planted at the names of the next undo and redo step files are replaced by the steps,
// never written through: what they point to stays as it was, and undo and redo still work.
TEST(UndoRing, LinksAtStepFileNamesAreNotWrittenThrough) {
  UndoFixture f;
  ArchiveMark* mark = f.AddMark("Buoy");
  const std::string victim = f.dir.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  const int32_t next = f.ring.undo_step() + 1;
  for (const std::string& name : {f.ring.UndoFile(next), f.ring.RedoFile(next)})
    ASSERT_EQ(::symlink(victim.c_str(), name.c_str()), 0) << name;

  SaveUndoForObject(*mark);
  mark->name = "Moved";
  Undo(f.doc());
  ASSERT_EQ(f.Names(), std::vector<std::string>{"Buoy"});
  std::string kept;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "not to be touched");
  for (const std::string& name : {f.ring.UndoFile(next), f.ring.RedoFile(next)}) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) == 0) EXPECT_FALSE(S_ISLNK(st.st_mode)) << name;
  }
  ASSERT_TRUE(CanRedo());
  Redo(f.doc());
  EXPECT_EQ(f.Names(), std::vector<std::string>{"Moved"});
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "not to be touched");
}

// ---- One edit, one step ----

// What the document holds, in a form a test compares: each object's name with its points.
std::vector<std::string> Contents(const ObjectList& list) {
  std::vector<std::string> out;
  for (COstrelObject* object : list) {
    std::string line = object->name;
    if (const auto* route = dynamic_cast<const CObjRoute*>(object)) {
      line += ":";
      for (const CObjWaypoint* mark : route->points()) line += " " + mark->name;
    } else if (const auto* track = dynamic_cast<const CObjTrack*>(object)) {
      line += ":";
      for (const CTrackpoint& p : track->points()) line += " " + std::to_string(p.time);
    }
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// A route being built takes an existing free mark with one click: one Undo takes the mark out
// of the route again and keeps the route as it was before the click.
TEST(UndoRing, ClickOnAFreeMarkWhileBuildingARouteIsOneStep) {
  UndoFixture f;
  CObjWaypoint* free_mark = f.world.doc.AddMark("Buoy", 50.1, -5.0);
  free_mark->being_placed = false;
  auto* route = f.world.doc.Add(new CObjRoute);
  route->name = "Route1";
  ASSERT_EQ(route->edit_state, CObjRoute::kInsert);
  const CLatLon click{50.0, -5.0};
  route->OnLButtonDown(click, nullptr);
  route->OnLButtonUp(click);
  ASSERT_EQ(route->points().size(), 1u);
  const std::vector<std::string> before = Contents(f.doc());
  ASSERT_EQ(before, (std::vector<std::string>{"Buoy", "Route1: WP0101", "WP0101"}));

  {
    CMappedObject hit(nullptr);
    hit.SetObject(free_mark, nullptr);
    route->OnLButtonDown(free_mark->position, &hit);
    route->OnLButtonUp(free_mark->position);
  }
  ASSERT_EQ(Contents(f.doc()),
            (std::vector<std::string>{"Buoy", "Route1: WP0101 Buoy", "WP0101"}));

  Undo(f.doc());
  EXPECT_EQ(Contents(f.doc()), before);
  Redo(f.doc());
  EXPECT_EQ(Contents(f.doc()),
            (std::vector<std::string>{"Buoy", "Route1: WP0101 Buoy", "WP0101"}));
  CObjRoute::SetCurrent(nullptr);
  // The route goes first, with the point only it uses, as the document lets them go.
  const auto route_now = std::find_if(f.doc().begin(), f.doc().end(), [](COstrelObject* o) {
    return o->IsKindOf(CObjRoute::kClass);
  });
  ASSERT_NE(route_now, f.doc().end());
  (*route_now)->Delete(false);
}

// Splitting and joining tracks are each one step: one Undo gives back exactly the tracks
// before, and Redo the tracks after.
TEST(UndoRing, TrackSplitAndJoinAreOneStepEach) {
  UndoFixture f;
  auto* track = f.world.doc.Add(new CObjTrack);
  track->name = "Trip";
  for (int i = 0; i < 5; ++i) track->AddPoint(50 + 0.01 * i, -5, 1000 + i, 0, 0, 0);
  const std::vector<std::string> whole = Contents(f.doc());
  ASSERT_EQ(whole, std::vector<std::string>{"Trip: 1000 1001 1002 1003 1004"});

  track->SplitAt({50.021, -5});
  const std::vector<std::string> split = Contents(f.doc());
  ASSERT_EQ(split, (std::vector<std::string>{"Trip-split: 1000 1001 1002", "Trip: 1002 1003 1004"}));
  Undo(f.doc());
  EXPECT_EQ(Contents(f.doc()), whole);
  Redo(f.doc());
  EXPECT_EQ(Contents(f.doc()), split);

  // Join the two parts again: the later part takes the earlier one's points.
  CObjTrack* later = nullptr;
  for (COstrelObject* object : f.doc())
    if (object->name == "Trip") later = static_cast<CObjTrack*>(object);
  ASSERT_NE(later, nullptr);
  ASSERT_TRUE(later->JoinNearest({50.0, -5}, f.doc()));
  const std::vector<std::string> joined = Contents(f.doc());
  ASSERT_EQ(joined.size(), 1u);
  Undo(f.doc());
  EXPECT_EQ(Contents(f.doc()), split);
  Undo(f.doc());
  EXPECT_EQ(Contents(f.doc()), whole);
  Redo(f.doc());
  Redo(f.doc());
  EXPECT_EQ(Contents(f.doc()), joined);
}

}  // namespace
