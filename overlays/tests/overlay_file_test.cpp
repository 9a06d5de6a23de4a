// Overlay files: a fixture written byte by byte from the file layout loads and saves to the same
// bytes; older schemas; malformed files fail and change nothing; saves replace the target only
// when complete; duplicates of imports; the user-data file's seeding, backup and restore.
#include "overlays/overlay_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "overlays/category.h"
#include "overlays/obj_icons.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_archive.h"
#include "overlays/tests/archive_test_objects.h"
#include "overlays/tests/overlay_test_objects.h"
#include "overlays/tests/route_link_files.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ArchiveBytes;
using vd::test::ArchiveHidden;
using vd::test::ArchiveMark;
using vd::test::ArchiveRoute;
using vd::test::OverlayWorld;
using vd::test::TestMark;

// Answers every message box with one button and keeps what the boxes said.
struct Boxes : vd::ui::DialogResponder {
  explicit Boxes(int answer = vd::ui::kIdOk) : answer(answer) {}
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request);
    return answer;
  }
  int answer;
  std::vector<vd::ui::MessageBoxRequest> shown;
};

// A mark (class 1, object 2) in category "Buoys" (class 3, object 4) whose partner is a route
// (class 5, object 6) read inside the mark's record; the route's points are the mark, by a back
// reference while the mark is still being read, and a second mark (object 7) whose partner is
// the route. The list is the first mark, the route and the second mark.
std::string FixtureBytes() {
  ArchiveBytes new_category, route_category, no_category;
  new_category.NewClass("CCategory").Str("Buoys");
  route_category.U16(4);
  no_category.U16(0);
  ArchiveBytes b;
  b.U16(3);
  b.NewClass("CArchiveTestMark");
  b.Base("Caf\xE9 \x80", 1600000000, 1600000500, 0x01000000, new_category, 0x0000000A12345678);
  b.Str("");
  b.NewClass("CArchiveTestRoute");
  b.Base("Passage", 1600000001, 1600000600, 0x02000005, route_category, 0x0000000A00000002);
  b.U16(2).U16(2).U16(0x8001);
  b.Base("Second", 1600000002, 1600000700, 0x01000000, no_category, 0x0000000A00000003, false);
  b.Str("docs/a.txt").U16(6);
  b.U16(6).U16(7);
  return b.data;
}

std::string FileBytes(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes)) << path;
  return bytes;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<vd::os::DirEntry> entries;
  EXPECT_TRUE(vd::os::ListFolder(folder, entries));
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

template <class T>
T* As(COstrelObject* object) {
  return object && object->IsKindOf(T::kClass) ? static_cast<T*>(object) : nullptr;
}

TEST(OverlayFile, FixtureLoadsAndSavesToTheSameBytes) {
  OverlayWorld world;
  vd::test::TempDir dir;
  const std::string path = dir.File("fixture.vdo");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, FixtureBytes()));

  ObjectList& list = world.doc.objects;
  ASSERT_TRUE(ReadOverlayFileObjects(path, list));
  EXPECT_EQ(CurrentOverlayFolder(), dir.path() + "/");
  ASSERT_EQ(list.size(), 3u);
  auto* mark = As<ArchiveMark>(list.front());
  auto* route = As<ArchiveRoute>(*std::next(list.begin()));
  auto* second = As<ArchiveMark>(list.back());
  ASSERT_TRUE(mark && route && second);

  EXPECT_EQ(mark->name, "Café €");
  EXPECT_EQ(mark->short_name, "Café €");
  EXPECT_EQ(mark->created, 1600000000);
  EXPECT_EQ(mark->modified, 1600000500);
  EXPECT_EQ(mark->style, 0x01000000);
  EXPECT_EQ(mark->id(), 0x0000000A12345678u);
  EXPECT_EQ(mark->partner, route);
  ASSERT_NE(mark->category(), nullptr);
  EXPECT_EQ(mark->category()->name(), "Buoys");
  EXPECT_EQ(route->category(), mark->category());
  EXPECT_EQ(route->style, 0x02000005);
  EXPECT_EQ(route->points, (std::vector<COstrelObject*>{mark, second}));
  EXPECT_EQ(second->partner, route);
  EXPECT_EQ(second->category(), nullptr);
  EXPECT_FALSE(second->visible);
  EXPECT_EQ(second->link, dir.path() + "/docs/a.txt");
  for (COstrelObject* object : list) {
    EXPECT_EQ(object->ref_count(), object == route ? 1 : 2) << object->name;
    EXPECT_EQ(object->undo_stamp, 0);
    EXPECT_EQ(object->redo_stamp, 0);
  }

  const std::string again = dir.File("again.vdo");
  ASSERT_TRUE(SaveObjectsToOverlayFile(again, list, false));
  EXPECT_EQ(FileBytes(again), FixtureBytes());
  EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::string>{"again.vdo", "fixture.vdo"}));
}

// Schema 15 has no category, stamps or id; its style has no layer byte. Reading it sets the
// program's older-schema value. Stamps stored by schema 26 are dropped on reading.
TEST(OverlayFile, OlderSchemaFillsMissingFields) {
  OverlayWorld world;
  vd::test::TempDir dir;
  ArchiveBytes old_file;
  old_file.U16(2).NewClass("CArchiveTestMark", 15);
  old_file.Str("Old").I32(1000).I32(2000).U8(1).U8(1).I32(3).Str("").U16(0);
  old_file.U16(0x8001).Str("Style 200").I32(1000).I32(2000).U8(0).U8(1).I32(200).Str("").U16(0);
  ArchiveBytes stamped;
  stamped.U16(1).NewClass("CArchiveTestMark");
  stamped.Str("Stamped").I32(1).I32(1).U8(0).U8(1).I32(0x01000000).U16(0).I32(7).I32(8);
  stamped.Id(0x55).Str("").U16(0);
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("old.vdo"), old_file.data));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("stamped.vdo"), stamped.data));

  ResetOlderSchema();
  ObjectList& list = world.doc.objects;
  ASSERT_TRUE(ReadOverlayFileObjects(dir.File("old.vdo"), list));
  EXPECT_EQ(OlderSchemaRead(), 15);
  ASSERT_EQ(list.size(), 2u);
  COstrelObject* old = list.front();
  EXPECT_EQ(old->name, "Old");
  EXPECT_TRUE(old->locked);
  EXPECT_EQ(old->category(), nullptr);
  EXPECT_EQ(old->id(), 0u);
  EXPECT_EQ(old->style, 3 << 24);
  EXPECT_EQ(list.back()->style, 200);

  ResetOlderSchema();
  ASSERT_TRUE(ReadOverlayFileObjects(dir.File("stamped.vdo"), list));
  EXPECT_EQ(OlderSchemaRead(), 0);
  EXPECT_EQ(list.back()->name, "Stamped");
  EXPECT_EQ(list.back()->id(), 0x55u);
  EXPECT_EQ(list.back()->undo_stamp, 0);
  EXPECT_EQ(list.back()->redo_stamp, 0);
}

TEST(OverlayFile, CategoryIsWrittenOnceAndShared) {
  OverlayWorld world;
  vd::test::TempDir dir;
  CCategory* existing = CCategory::FindOrCreate("WRECKS");
  auto* a = world.doc.Add(new ArchiveMark);
  auto* b = world.doc.Add(new ArchiveMark);
  a->SetCategory("Wrecks");
  b->SetCategory("Wrecks");
  const std::string path = dir.File("two.vdo");
  ASSERT_TRUE(SaveObjectsToOverlayFile(path, world.doc.objects, false));
  const std::string bytes = FileBytes(path);
  const std::string tag = ArchiveBytes().NewClass("CCategory").data;
  ASSERT_NE(bytes.find(tag), std::string::npos);
  EXPECT_EQ(bytes.find(tag, bytes.find(tag) + 1), std::string::npos);

  const size_t categories = CCategory::All().size();
  ObjectList read;
  ASSERT_TRUE(ReadOverlayFileObjects(path, read));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read.front()->category(), existing) << "joins the category of that name";
  EXPECT_EQ(read.back()->category(), existing);
  EXPECT_EQ(CCategory::All().size(), categories) << "the file's own category object is gone";
  for (COstrelObject* object : read) object->Release();
  existing->Release();
}

TEST(OverlayFile, InterleavedCategoriesEachResolveOnceWithTheirReferences) {
  OverlayWorld world;
  vd::test::TempDir dir;
  const std::string path = dir.File("mixed.vdo");
  CCategory* wrecks = CCategory::FindOrCreate("WRECKS");  // the program's, before the load
  {
    ObjectList saved;
    for (const char* name : {"Wrecks", "Buoys", "wrecks", "Buoys", "Wrecks", ""}) {
      auto* mark = new ArchiveMark;
      mark->AddRef();
      if (*name) mark->SetCategory(name);
      saved.push_back(mark);
    }
    EXPECT_TRUE(SaveObjectsToOverlayFile(path, saved, false));
    for (COstrelObject* mark : saved) mark->Release();  // "Buoys" goes with them
  }

  const size_t categories = CCategory::All().size();
  ObjectList read;
  ASSERT_TRUE(ReadOverlayFileObjects(path, read));
  std::vector<CCategory*> got;
  for (COstrelObject* object : read) got.push_back(object->category());
  ASSERT_EQ(got.size(), 6u);
  ASSERT_NE(got[1], nullptr);
  EXPECT_EQ(got[1]->name(), "Buoys");
  EXPECT_EQ(got, (std::vector<CCategory*>{wrecks, got[1], wrecks, got[1], wrecks, nullptr}));
  EXPECT_EQ(wrecks->ref_count(), 1 + 3) << "the test's and the objects'";
  EXPECT_EQ(got[1]->ref_count(), 2) << "the objects' only";
  EXPECT_EQ(CCategory::All().size(), categories + 1) << "Buoys, and none of the file's own";
  for (COstrelObject* object : read) object->Release();
  EXPECT_EQ(wrecks->ref_count(), 1);
  wrecks->Release();
}

TEST(OverlayFile, BadInputFailsAndChangesNothing) {
  OverlayWorld world;
  vd::test::TempDir dir;
  auto* kept = world.doc.Add(new ArchiveMark);
  kept->name = "Kept";
  const size_t categories = CCategory::All().size();
  const std::string path = dir.File("bad.vdo");
  const auto expect_clean_failure = [&](const std::string& bytes, const std::string& what) {
    vd::os::File file;  // written in place: hundreds of synced saves would only slow the test
    ASSERT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate));
    ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
    file.Close();
    EXPECT_FALSE(ReadOverlayFileObjects(path, world.doc.objects)) << what;
    EXPECT_EQ(world.doc.objects, ObjectList{kept}) << what;
    EXPECT_EQ(kept->ref_count(), 1) << what;
    EXPECT_EQ(CCategory::All().size(), categories) << what;
  };

  const std::string valid = FixtureBytes();
  for (size_t n = 0; n < valid.size(); ++n) {
    expect_clean_failure(valid.substr(0, n), "cut to " + std::to_string(n) + " bytes");
  }

  ArchiveBytes mark_start;  // a mark whose record starts right after
  mark_start.U16(1).NewClass("CArchiveTestMark");
  ArchiveBytes route_points;  // a route whose point count comes next
  route_points.U16(1)
      .NewClass("CArchiveTestRoute")
      .Base("R", 1, 1, 0x01000000, ArchiveBytes().U16(0), 0);
  ArchiveBytes newer;
  newer.U16(1)
      .NewClass("CArchiveTestMark", 27)
      .Base("New", 1, 1, 0x01000000, ArchiveBytes().U16(0), 0);
  newer.Str("").U16(0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"huge list count", ArchiveBytes().U16(0xFFFF).U32(0xFFFFFFFF).U16(0).U16(0).data},
      {"huge point count", ArchiveBytes(route_points).U16(0xFFFF).U32(0x7FFFFFFF).U16(0).data},
      {"huge name length", ArchiveBytes(mark_start).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFF0).data},
      {"huge class name length", ArchiveBytes().U16(1).U16(0xFFFF).U16(26).U16(0xFFFF).data},
      {"object number not yet seen", ArchiveBytes().U16(1).U16(0x0009).data},
      {"class number not yet seen", ArchiveBytes().U16(1).U16(0x8009).data},
      {"newer schema", newer.data},
  };
  for (const auto& [what, bytes] : cases) {
    Boxes boxes;
    vd::ui::ScopedResponder scope(&boxes);
    expect_clean_failure(bytes, what);
    if (what == "newer schema") {
      ASSERT_EQ(boxes.shown.size(), 1u);
      EXPECT_EQ(boxes.shown[0].text, "This file was created with a newer version of the software");
      EXPECT_EQ(boxes.shown[0].flags & vd::ui::kMbIconMask, vd::ui::kMbIconError);
    } else {
      EXPECT_TRUE(boxes.shown.empty()) << what;
    }
  }
  EXPECT_FALSE(ReadOverlayFileObjects(dir.File("missing.vdo"), world.doc.objects));
}

TEST(OverlayFile, SaveReplacesTheTargetOnlyWhenComplete) {
  OverlayWorld world;
  vd::test::TempDir dir;
  const std::string path = dir.File("target.vdo");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "old contents"));
  auto* good = world.doc.Add(new ArchiveMark);
  good->name = "Good";
  auto* bad = world.doc.Add(new ArchiveMark);
  bad->fail_when_stored = true;

  EXPECT_FALSE(SaveObjectsToOverlayFile(path, world.doc.objects, false));
  EXPECT_EQ(FileBytes(path), "old contents");
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"target.vdo"});

  ASSERT_TRUE(SaveObjectsToOverlayFile(path, ObjectList{good}, false));
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"target.vdo"});
  ObjectList read;
  ASSERT_TRUE(ReadOverlayFileObjects(path, read));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read.front()->name, "Good");
  read.front()->Release();
}

// ---- Duplicates ----

enum class Copy { kNone, kOlder, kNewer, kSame };

struct DuplicateCase {
  const char* what;
  Copy copy;
  int answer;         // to the question, when asked
  bool import;        // the result
  bool copy_deleted;  // the document's copy is gone
  bool asked;
  bool id_cleared;
};

// Each case through DuplicateCheck and through DuplicateIndex::Check.
TEST(OverlayFile, DuplicateCheckDecidesByModifiedTime) {
  const std::vector<DuplicateCase> cases = {
      {"no copy", Copy::kNone, vd::ui::kIdYes, true, false, false, false},
      {"older copy", Copy::kOlder, vd::ui::kIdYes, true, true, false, false},
      {"newer copy, skip", Copy::kNewer, vd::ui::kIdYes, false, false, true, false},
      {"newer copy, duplicate", Copy::kNewer, vd::ui::kIdNo, true, false, true, true},
      {"same copy", Copy::kSame, vd::ui::kIdNo, false, false, false, false},
  };
  for (const bool indexed : {false, true}) {
    for (const DuplicateCase& c : cases) {
      const std::string what = std::string(c.what) + (indexed ? " (index)" : "");
      OverlayWorld world;
      Boxes boxes(c.answer);
      vd::ui::ScopedResponder scope(&boxes);
      auto* other = world.doc.Add(new vd::test::TestRoute);
      other->name = "Rock";  // same name and time, other class: never a match
      other->created = 500;
      auto* first = world.doc.Add(new TestMark);
      first->name = "Reef";
      first->SetUniqueId(0x77);
      first->visible = false;
      first->modified = 1000;
      auto* second = world.doc.Add(new TestMark);  // matches too, but comes later
      second->SetUniqueId(0x77);
      second->modified = 1000;
      bool first_destroyed = false;
      first->destroyed = &first_destroyed;

      auto* imported = new TestMark;
      imported->AddRef();
      imported->name = "Rock";
      imported->created = 500;
      imported->SetCategory("Wrecks");
      imported->SetUniqueId(c.copy == Copy::kNone ? 0x78 : 0x77);
      imported->modified = c.copy == Copy::kOlder ? 2000 : c.copy == Copy::kNewer ? 10 : 1000;
      const bool result = indexed ? DuplicateIndex(world.doc.objects).Check(*imported)
                                  : DuplicateCheck(*imported, world.doc.objects);
      EXPECT_EQ(result, c.import) << what;
      EXPECT_EQ(first_destroyed, c.copy_deleted) << what;
      EXPECT_EQ(world.doc.objects.size(), c.copy_deleted ? 2u : 3u) << what;
      ASSERT_EQ(boxes.shown.size(), c.asked ? 1u : 0u) << what;
      if (c.asked) {
        EXPECT_EQ(boxes.shown[0].text,
                  "Vardune has a modified copy of \"Rock\"\n\nDo you want to skip importing this "
                  "Wrecks?\n\nClick Yes to skip, No to import a duplicate");
        EXPECT_EQ(boxes.shown[0].flags & vd::ui::kMbButtonMask, vd::ui::kMbYesNo);
      }
      const uint64_t kept_id = c.copy == Copy::kNone ? 0x78u : 0x77u;
      EXPECT_EQ(imported->id(), c.id_cleared ? 0u : kept_id) << what;
      if (!c.import) {
        EXPECT_TRUE(first->visible) << what << ": the skipped import's copy shows";
      }
      if (!c.copy_deleted) first->destroyed = nullptr;
      imported->Release();
    }
  }
}

// The index made for the objects to check knows only the document's objects that may match
// them, yet finds what a search of the whole document finds: by id alone (times differ), by
// time and name without ids, the first of two matches, and nothing for new objects. The
// document is large enough that most of its objects are turned away unread.
TEST(OverlayFile, DuplicateIndexForCheckedObjectsFindsWhatTheWholeSearchFinds) {
  OverlayWorld world;
  Boxes boxes(vd::ui::kIdYes);
  vd::ui::ScopedResponder scope(&boxes);
  constexpr int kCount = 3000;
  std::vector<TestMark*> marks;
  for (int i = 0; i < kCount; ++i) {
    auto* mark = world.doc.Add(new TestMark);
    mark->name = "Mark " + std::to_string(i % 50);
    mark->created = mark->modified = 1'000'000 + i;
    if (i % 2 == 0) mark->SetUniqueId(0x0000000500000000ull + i);
    marks.push_back(mark);
  }
  struct Case {
    const char* what;
    uint64_t id;
    int32_t created;
    const char* name;
    TestMark* match;  // null: none
  };
  const std::vector<Case> cases = {
      {"id alone", marks[2000]->id(), 77, "Other", marks[2000]},
      {"time and name", 0, marks[1501]->created, marks[1501]->name.c_str(), marks[1501]},
      {"time, other name", 0, marks[1501]->created, "Other", nullptr},
      {"id of none, time and name", 0x0000000600000001ull, marks[2999]->created,
       marks[2999]->name.c_str(), marks[2999]},
      {"first of two: the id's before the time's", marks[10]->id(), marks[2501]->created,
       marks[2501]->name.c_str(), marks[10]},
      {"new", 0x0000000600000002ull, 5, "New", nullptr},
  };
  ObjectList checked;
  for (const Case& c : cases) {
    auto* object = new TestMark;
    object->AddRef();
    object->name = c.name;
    object->created = c.created;
    object->modified = c.match ? c.match->modified : 1;
    if (c.id) object->SetUniqueId(c.id);
    checked.push_back(object);
  }
  {
    DuplicateIndex index(world.doc.objects, checked);
    auto object = checked.begin();
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      if (c.match) c.match->visible = false;
      // An unchanged copy is refused and shows its match; a new object is let in.
      EXPECT_EQ(DuplicateCheck(**object, world.doc.objects), c.match == nullptr);
      if (c.match) {
        EXPECT_TRUE(c.match->visible);
        c.match->visible = false;
      }
      EXPECT_EQ(index.Check(**object), c.match == nullptr);
      if (c.match) {
        EXPECT_TRUE(c.match->visible);
      }
      ++object;
    }
  }
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(world.doc.objects.size(), static_cast<size_t>(kCount));
  for (COstrelObject* object : checked) object->Release();
}

// The document counts its objects' created times and ids however they are set, so that an index
// for a few objects can leave the document unread when no other object shares their keys. Each
// case checks one object alone against the document, by the index and by the whole search.
TEST(OverlayFile, DuplicateIndexReadsTheDocumentOnlyWhenAnotherObjectSharesAKey) {
  OverlayWorld world;
  Boxes boxes(vd::ui::kIdYes);
  vd::ui::ScopedResponder scope(&boxes);
  const auto add = [&](const char* name, int32_t created, uint64_t id) {
    auto* mark = world.doc.Add(new TestMark);
    mark->name = name;
    mark->created = mark->modified = created;  // set after it was made, as readers do
    if (id) mark->SetUniqueId(id);
    return mark;
  };
  TestMark* timed = add("Timed", 2'000'001, 0);
  TestMark* moved = add("Moved", 2'000'002, 0);
  moved->created = 2'000'003;  // its old time is no longer held
  TestMark* with_id = add("Id", 2'000'004, 0x0000000700000001ull);
  // Shares a time with a checked object but is not in the document.
  auto* outsider = new TestMark;
  outsider->AddRef();
  outsider->name = "Outside";
  outsider->created = 2'000'005;

  EXPECT_EQ(world.doc.ObjectTimes().Count(2'000'001), 1u);
  EXPECT_EQ(world.doc.ObjectTimes().Count(2'000'002), 0u);
  EXPECT_EQ(world.doc.ObjectIds().Count(0x00000001u), 1u);

  struct Case {
    const char* what;
    const char* name;
    int32_t created;
    uint64_t id;
    TestMark* match;  // null: none
  };
  const Case cases[] = {
      {"no key shared", "New", 2'000'100, 0x0000000700000099ull, nullptr},
      {"a time set after the object was made", "Timed", 2'000'001, 0, timed},
      {"the time an object had before", "Moved", 2'000'002, 0, nullptr},
      {"the time an object has now", "Moved", 2'000'003, 0, moved},
      {"an id", "Other", 2'000'200, with_id->id(), with_id},
      {"the low half of an id only", "Other", 2'000'300, 0x0000000800000001ull, nullptr},
      {"a time only an object outside the document has", "Outside", 2'000'005, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* object = new TestMark;
    object->AddRef();
    object->name = c.name;
    object->created = c.created;
    object->modified = c.match ? static_cast<int32_t>(c.match->modified) : 1;
    if (c.id) object->SetUniqueId(c.id);
    ObjectList checked{object};
    if (c.match) c.match->visible = false;
    EXPECT_EQ(DuplicateCheck(*object, world.doc.objects), c.match == nullptr);
    if (c.match) c.match->visible = false;
    {
      DuplicateIndex index(world.doc.objects, checked);
      EXPECT_EQ(index.Check(*object), c.match == nullptr);
    }
    if (c.match) {
      EXPECT_TRUE(c.match->visible);
    }
    object->Release();
  }
  EXPECT_EQ(world.doc.objects.size(), 3u);
  outsider->Release();
  EXPECT_EQ(world.doc.ObjectTimes().Count(2'000'005), 0u);
}

// An index for objects that each hold their keys alone keeps no keys, and must notice when an
// object it was given comes to share a key with a checked one: by a change of its keys, or by
// being an object the document does not count.
TEST(OverlayFile, DuplicateIndexSeesKeysSharedAfterItWasMade) {
  OverlayWorld world;
  Boxes boxes(vd::ui::kIdYes);
  vd::ui::ScopedResponder scope(&boxes);
  enum class Appended { kUnrelated, kTakesTheKeyLater, kOfNoDocument };
  for (const Appended appended :
       {Appended::kUnrelated, Appended::kTakesTheKeyLater, Appended::kOfNoDocument}) {
    SCOPED_TRACE(static_cast<int>(appended));
    const auto make = [](const char* name, int32_t created) {
      auto* mark = new TestMark;
      mark->AddRef();
      mark->name = name;
      mark->created = mark->modified = created;
      return mark;
    };
    TestMark* first = make("First", 3'000'001);
    TestMark* checked = make("Checked", 3'000'002);
    TestMark* other = nullptr;
    if (appended == Appended::kOfNoDocument) {
      CCurrentOwnerScope none(nullptr);
      other = make("Checked", 3'000'002);
    } else {
      other = first;
      first->AddRef();
    }
    const ObjectList list{first, checked};
    {
      DuplicateIndex index(world.doc.objects, list);
      world.doc.objects.push_back(other);
      other->AddRef();
      index.Add(*other);
      if (appended == Appended::kTakesTheKeyLater) {
        first->name = "Checked";
        first->created = first->modified = 3'000'002;
      }
      // An unchanged copy is not let in; anything else is.
      EXPECT_EQ(index.Check(*checked), appended == Appended::kUnrelated);
    }
    for (COstrelObject* object : world.doc.objects) object->Release();
    world.doc.objects.clear();
    first->Release();
    checked->Release();
    other->Release();
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(OverlayFile, MergeImportedObjects) {
  OverlayWorld world;
  Boxes boxes;
  vd::ui::ScopedResponder scope(&boxes);
  auto* alpha = world.doc.Add(new TestMark);
  alpha->name = "Alpha";
  alpha->SetUniqueId(1);
  alpha->modified = 100;
  alpha->visible = false;
  auto* bravo = world.doc.Add(new TestMark);
  bravo->name = "Bravo";
  bravo->SetUniqueId(2);
  bravo->modified = 100;
  bool bravo_destroyed = false, alpha_copy_destroyed = false, hidden_destroyed = false;
  bravo->destroyed = &bravo_destroyed;

  // As a reader leaves them: one reference each.
  ObjectList imported;
  const auto import = [&](COstrelObject* object) {
    object->AddRef();
    imported.push_back(object);
    return object;
  };
  auto* point = new ArchiveMark;
  point->name = "Point";
  point->SetUniqueId(11);
  auto* route = new ArchiveRoute;
  route->name = "Route";
  route->SetUniqueId(10);
  route->Add(point);
  import(route);
  auto* bravo_copy = new TestMark;
  bravo_copy->name = "Bravo";
  bravo_copy->SetUniqueId(2);
  bravo_copy->modified = 200;  // newer: replaces bravo
  import(bravo_copy);
  auto* alpha_copy = new TestMark;
  alpha_copy->name = "Alpha";
  alpha_copy->SetUniqueId(1);
  alpha_copy->modified = 100;  // the same: refused, shows alpha
  alpha_copy->destroyed = &alpha_copy_destroyed;
  import(alpha_copy);
  auto* not_exported = new ArchiveHidden;
  not_exported->destroyed = &hidden_destroyed;
  import(not_exported);
  import(point);  // came in with the route already

  MergeImportedObjects(world.doc.objects, imported);
  EXPECT_TRUE(imported.empty());
  EXPECT_EQ(world.doc.objects, (ObjectList{alpha, route, point, bravo_copy}));
  EXPECT_TRUE(bravo_destroyed);
  EXPECT_TRUE(alpha_copy_destroyed);
  EXPECT_TRUE(hidden_destroyed);
  EXPECT_TRUE(alpha->visible);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(route->ref_count(), 1);
  EXPECT_EQ(bravo_copy->ref_count(), 1);
  EXPECT_EQ(point->ref_count(), 2) << "the document list's and the route's";
}

// ---- The user-data file ----

TEST(UserDataFile, SeedsFromTheFirstOlderFileOnly) {
  struct Case {
    const char* what;
    std::vector<std::string> present;  // files of the data folder before start-up
    bool seeded;
    std::string contents;  // of the user-data file afterwards ("" none)
  };
  const std::vector<Case> cases = {
      {"nothing to seed from", {}, false, ""},
      {"edition 5 only", {"userdata-Vardune-OS-5.vdo"}, true, "userdata-Vardune-OS-5.vdo"},
      {"both older files",
       {"userdata-Vardune.vdo", "userdata-Vardune-OS-5.vdo"},
       true,
       "userdata-Vardune.vdo"},
      {"file present",
       {"userdata-Vardune-6.vdo", "userdata-Vardune.vdo"},
       false,
       "userdata-Vardune-6.vdo"},
  };
  for (const Case& c : cases) {
    vd::test::TempDir dir;
    for (const std::string& name : c.present) {
      ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File(name), name));
    }
    EXPECT_EQ(SeedUserDataFile(dir.path()), c.seeded) << c.what;
    const std::string path = UserDataFilePath(dir.path());
    EXPECT_EQ(path, dir.File("userdata-Vardune-6.vdo"));
    std::string contents;
    vd::os::ReadWholeFile(path, contents);
    EXPECT_EQ(contents, c.contents) << c.what;
  }
}

TEST(UserDataFile, KeepsACopyOfAFileWithOlderRecords) {
  OverlayWorld world;
  vd::test::TempDir dir;
  ArchiveBytes old_file;
  old_file.U16(1).NewClass("CArchiveTestMark", 20);
  old_file.Str("Old").I32(1).I32(1).U8(0).U8(1).I32(0x01000000).U16(0).Str("").U16(0);
  const std::string path = UserDataFilePath(dir.path());
  for (const bool seeded : {true, false}) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, old_file.data));
    ResetOlderSchema();
    ObjectList read;
    ASSERT_TRUE(LoadUserDataFile(path, read));
    KeepOlderUserDataFile(path, seeded);
    const std::string copy = dir.File("userdata-Vardune-6_v20.vdo");
    EXPECT_EQ(vd::os::FileExists(copy), !seeded);
    if (!seeded) {
      EXPECT_EQ(FileBytes(copy), old_file.data);
    }
    for (COstrelObject* object : read) object->Release();
  }
}

TEST(UserDataFile, RestoresTheBackupOfAMalformedFile) {
  OverlayWorld world;
  vd::test::TempDir dir;
  const std::string path = UserDataFilePath(dir.path());
  ObjectList read;
  EXPECT_TRUE(LoadUserDataFile("", read));
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "\x05\x00garbage"));
  EXPECT_FALSE(LoadUserDataFile(path, read)) << "no backup";
  EXPECT_EQ(FileBytes(path), "\x05\x00garbage");

  ASSERT_TRUE(vd::os::SaveFileAtomically(path + ".corrupt", "an older one"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("backup.vdo"), FixtureBytes()));
  Boxes boxes;
  vd::ui::ScopedResponder scope(&boxes);
  ASSERT_TRUE(LoadUserDataFile(path, read));
  EXPECT_EQ(read.size(), 3u);
  EXPECT_EQ(FileBytes(path), FixtureBytes());
  EXPECT_EQ(FileBytes(path + ".corrupt"), "\x05\x00garbage");
  EXPECT_FALSE(vd::os::FileExists(dir.File("backup.vdo")));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Restored file from backup...\n\n\"" + path +
                                     "\" could not be read, so its backup took its place. The "
                                     "damaged file is kept as \"" + path + ".corrupt\".");
  for (COstrelObject* object : read) object->Release();
}

// A mark's back-links come from the routes' point lists alone, once the whole file is read.
// A stored route list naming a route that does not hold the mark (and that nothing keeps)
// links nothing, whether the load then succeeds or fails; a route through marks that name it
// gives each exactly one link per occurrence.
TEST(OverlayFile, MarksAreLinkedOnlyByTheRoutesThatHoldThem) {
  OverlayWorld world;
  vd::test::TempDir dir;
  const std::string stray = dir.File("stray.vdo");
  ASSERT_TRUE(vd::os::SaveFileAtomically(stray, vd::test::MarkNamingAStrayRouteFile(true)));
  ObjectList read;
  ASSERT_TRUE(ReadOverlayFileObjects(stray, read));
  ASSERT_EQ(read.size(), 1u);
  auto* lone = As<CObjWaypoint>(read.front());
  ASSERT_NE(lone, nullptr);
  EXPECT_EQ(lone->name, "Lone");
  EXPECT_TRUE(lone->routes().empty());
  EXPECT_TRUE(lone->IsExportable());
  // Saving writes the mark's (empty) route list: nothing of the stray route is touched.
  ASSERT_TRUE(SaveObjectsToOverlayFile(dir.File("saved.vdo"), read, false));
  ObjectList again;
  ASSERT_TRUE(ReadOverlayFileObjects(dir.File("saved.vdo"), again));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again.front()->name, "Lone");
  for (COstrelObject* object : again) object->Release();
  for (COstrelObject* object : read) object->Release();

  // The same file failing after both objects were made: they go without touching each other.
  const std::string failing = dir.File("failing.vdo");
  ASSERT_TRUE(vd::os::SaveFileAtomically(failing, vd::test::MarkNamingAStrayRouteFile(false)));
  ObjectList untouched;
  EXPECT_FALSE(ReadOverlayFileObjects(failing, untouched));
  EXPECT_TRUE(untouched.empty());

  const std::string passage = dir.File("passage.vdo");
  ASSERT_TRUE(vd::os::SaveFileAtomically(passage, vd::test::RouteThroughTwoMarksFile()));
  ObjectList& list = world.doc.objects;
  ASSERT_TRUE(ReadOverlayFileObjects(passage, list));
  ASSERT_EQ(list.size(), 3u);
  auto* north = As<CObjWaypoint>(list.front());
  auto* route = As<CObjRoute>(*std::next(list.begin()));
  auto* south = As<CObjWaypoint>(list.back());
  ASSERT_TRUE(north && route && south);
  EXPECT_EQ(route->points(), (std::vector<CObjWaypoint*>{north, south}));
  for (const CObjWaypoint* mark : {north, south}) {
    EXPECT_EQ(mark->routes(), (std::vector<WaypointRouteLink*>{route})) << mark->name;
    EXPECT_FALSE(mark->IsExportable());
  }
  // Deleting the route takes its marks, which nothing else holds, with it.
  route->Delete(false);
  EXPECT_TRUE(list.empty());
}

// A failed load of the user-data file does not end the program, and the backup beside it is
// restored.
TEST(UserDataFile, AFileOfMismatchedLinksFallsBackToTheBackup) {
  OverlayWorld world;
  vd::test::TempDir dir;
  const std::string path = UserDataFilePath(dir.path());
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, vd::test::MarkNamingAStrayRouteFile(false)));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("backup.vdo"),
                                         vd::test::RouteThroughTwoMarksFile()));
  Boxes boxes;
  vd::ui::ScopedResponder scope(&boxes);
  ObjectList read;
  ASSERT_TRUE(LoadUserDataFile(path, read));
  EXPECT_EQ(read.size(), 3u);
  EXPECT_EQ(FileBytes(path + ".corrupt"), vd::test::MarkNamingAStrayRouteFile(false));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Restored file from backup...\n\n\"" + path +
                                     "\" could not be read, so its backup took its place. The "
                                     "damaged file is kept as \"" + path + ".corrupt\".");
  for (COstrelObject* object : read) object->Release();
}

TEST(UserDataFile, SavesNamedObjectsAndKeepsABackup) {
  OverlayWorld world;
  vd::test::TempDir dir;
  const std::string path = UserDataFilePath(dir.path());
  for (const char* name : {"Keep", ":transient", "", "Also kept"}) {
    world.doc.Add(new ArchiveMark)->name = name;
  }
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "previous"));
  ASSERT_TRUE(SaveUserDataFile(path, world.doc.objects, true));
  EXPECT_EQ(FileBytes(dir.File("backup.vdo")), "previous");
  const std::string bytes = FileBytes(path);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\x03\x00", 2)) << "the icon table and two objects";
  EXPECT_EQ(bytes.substr(2, ArchiveBytes().NewClass("CObjIcons").data.size()),
            ArchiveBytes().NewClass("CObjIcons").data);
  ObjectList read;
  ASSERT_TRUE(ReadOverlayFileObjects(path, read));
  std::vector<std::string> names;
  for (COstrelObject* object : read) names.push_back(object->name);
  EXPECT_EQ(names, (std::vector<std::string>{"Keep", "Also kept"})) << "without the icon table";
  for (COstrelObject* object : read) object->Release();

  // A failed save leaves the file as it was, and the backup holds it too.
  auto* failing = world.doc.Add(new ArchiveMark);
  failing->name = "Fails";
  failing->fail_when_stored = true;
  EXPECT_FALSE(SaveUserDataFile(path, world.doc.objects, false));
  EXPECT_EQ(FileBytes(path), bytes);
  EXPECT_EQ(FileBytes(dir.File("backup.vdo")), bytes);
}

}  // namespace
