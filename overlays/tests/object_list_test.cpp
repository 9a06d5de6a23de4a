#include "overlays/object_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "overlays/category.h"
#include "overlays/tests/overlay_test_objects.h"

namespace {

using vd::test::ChangeRecord;
using vd::test::OverlayWorld;
using vd::test::TestMark;
using vd::test::TestRoute;

// ---- GetListBounds ----

struct Extent {
  double south, north, west, east;
};

struct BoundsCase {
  const char* what;
  std::vector<Extent> extents;
  double west, east;  // expected
};

TEST(GetListBounds, EmptyListsKeepTheStartValues) {
  OverlayWorld world;
  ObjectList list;
  double n, s, e, w;
  EXPECT_FALSE(GetListBounds(list, n, s, e, w));
  EXPECT_EQ(n, -10000);
  EXPECT_EQ(e, -10000);
  EXPECT_EQ(s, 10000);
  EXPECT_EQ(w, 10000);

  TestMark note;  // no extent, as text notes
  list.push_back(&note);
  EXPECT_FALSE(GetListBounds(list, n, s, e, w));
  EXPECT_EQ(n, -10000);
}

TEST(GetListBounds, LongitudesRunTheShortWayRound) {
  const BoundsCase cases[] = {
      {"one point", {{10, 10, 20, 20}}, 20, 20},
      {"marks either side of 180", {{1, 1, 170, 170}, {2, 2, -170, -170}}, 170, 190},
      {"far apart but wider gap across 180", {{0, 0, -150, -150}, {0, 0, 150, 150}}, 150, 210},
      {"no straddle", {{0, 0, -50, -50}, {0, 0, 120, 120}}, -50, 120},
      {"equal gaps keep the plain box", {{0, 0, -120, -120}, {0, 0, 0, 0}, {0, 0, 120, 120}},
       -120, 120},
      {"world-wide marks leave out their widest gap",
       {{0, 0, -170, -170}, {0, 0, -60, -60}, {0, 0, 0, 0}, {0, 0, 60, 60}, {0, 0, 170, 170}},
       -60, 190},
      {"a route already across 180 and a mark inside its run",
       {{0, 1, 170, 190}, {0, 0, -175, -175}},
       170, 190},
      {"a route across 180 alone", {{0, 1, 170, 190}}, 170, 190},
      {"boxes", {{-5, 5, 10, 12}, {-1, 8, 15, 20}}, 10, 20},
  };
  for (const BoundsCase& c : cases) {
    SCOPED_TRACE(c.what);
    OverlayWorld world;
    std::vector<std::unique_ptr<TestMark>> marks;
    ObjectList list;
    double want_north = -90, want_south = 90;
    for (const Extent& x : c.extents) {
      marks.push_back(std::make_unique<TestMark>());
      marks.back()->SetExtent(x.south, x.north, x.west, x.east);
      list.push_back(marks.back().get());
      want_north = std::max(want_north, x.north);
      want_south = std::min(want_south, x.south);
    }
    TestMark note;
    list.push_back(&note);
    double n, s, e, w;
    ASSERT_TRUE(GetListBounds(list, n, s, e, w));
    EXPECT_EQ(w, c.west);
    EXPECT_EQ(e, c.east);
    EXPECT_EQ(n, want_north);
    EXPECT_EQ(s, want_south);
    for (const Extent& x : c.extents) {
      for (double lon : {x.west, x.east}) {
        if (lon < w) lon += 360;
        if (lon > e) lon -= 360;
        EXPECT_TRUE(lon >= w && lon <= e) << lon << " outside " << w << ".." << e;
      }
    }
  }
}

// ---- Collecting and deleting ----

// An object of a class given at run time.
class RecordObject : public TestMark {
 public:
  explicit RecordObject(const OverlayClass& cls) : cls_(cls) {}
  const OverlayClass& GetRuntimeClass() const override { return cls_; }

 private:
  const OverlayClass& cls_;
};

TEST(ObjectListCollect, ByClassVisibilityAndNeverChartOutlines) {
  OverlayWorld world;
  std::optional<OverlayClass> local_outline;
  const OverlayClass* outline = OverlayClass::Find("COldChartOutline");
  if (!outline) {
    local_outline.emplace("COldChartOutline", kOverlaySchema, &COstrelObject::kClass, nullptr);
    outline = &*local_outline;
  }
  TestMark mark;
  TestMark hidden_mark;
  hidden_mark.visible = false;
  TestRoute route;
  RecordObject chart(*outline);
  const ObjectList source{&mark, &chart, &hidden_mark, &route};

  struct Case {
    const OverlayClass* cls;
    bool visible_only;
    ObjectList expected;
  };
  const Case cases[] = {
      {nullptr, false, {&mark, &hidden_mark, &route}},
      {nullptr, true, {&mark, &route}},
      {&TestMark::kClass, false, {&mark, &hidden_mark, &route}},
      {&TestRoute::kClass, false, {&route}},
      {outline, false, {}},
  };
  for (const Case& c : cases) {
    ObjectList out{&chart};  // appended to, not replaced
    EXPECT_EQ(CollectObjectsOfClass(source, out, c.visible_only, c.cls),
              static_cast<int>(c.expected.size()));
    out.pop_front();
    EXPECT_EQ(out, c.expected);
  }
}

TEST(ObjectListCollect, ByCategory) {
  OverlayWorld world;
  TestMark a, b, c, d;
  a.SetCategory("Wrecks");
  b.SetCategory("Buoys");
  c.SetCategory("wrecks");
  const ObjectList source{&a, &b, &c, &d};
  ObjectList out;
  EXPECT_EQ(CollectObjectsInCategory(source, out, a.category()), 2);
  EXPECT_EQ(out, (ObjectList{&a, &c}));
  out.clear();
  EXPECT_EQ(CollectObjectsInCategory(source, out, nullptr), 1);
  EXPECT_EQ(out, (ObjectList{&d}));
}

TEST(ObjectListDelete, UnnamedObjectsLeaveTheDocumentAndTheList) {
  OverlayWorld world;
  auto add = [&](const char* name) {
    TestMark* mark = world.doc.Add(new TestMark);
    mark->name = name;
    return mark;
  };
  TestMark* empty = add("");
  TestMark* named = add("Named");
  TestMark* scratch = add(":scratch");
  TestMark* inner_colon = add("a:b");

  ObjectList selection{named, scratch, inner_colon, empty};
  DeleteUnnamedObjects(selection);
  EXPECT_EQ(selection, (ObjectList{named, inner_colon}));
  EXPECT_EQ(world.doc.objects, (ObjectList{named, inner_colon}));

  // The document's own list works too.
  TestMark* more = add(":more");
  world.log.clear();
  DeleteUnnamedObjects(world.doc.objects);
  EXPECT_EQ(world.doc.objects, (ObjectList{named, inner_colon}));
  ASSERT_EQ(world.log.size(), 2u);
  EXPECT_EQ(world.log[0], (ChangeRecord{ChangeRecord::kViews, kChangeDeleted, more}));
}

// ---- MakeUniqueObjectName ----

TEST(MakeUniqueObjectName, BuoysInTurn) {
  OverlayWorld world;
  TestMark a, b, c;
  a.name = b.name = c.name = "Buoy";
  const ObjectList list{&a, &b, &c};
  for (TestMark* mark : {&a, &b, &c}) MakeUniqueObjectName(*mark, list, 6, "", true);
  EXPECT_EQ(a.short_name, "BUOY");
  EXPECT_EQ(b.short_name, "BUOY1");
  EXPECT_EQ(c.short_name, "BUOY2");
}

TEST(MakeUniqueObjectName, Table) {
  struct Case {
    const char* what;
    std::vector<std::string> others;  // visible short names already in the list
    std::string name, short_name;     // of the object named
    size_t max_length;
    std::string allowed;
    bool upper;
    std::string expected;
  };
  const Case cases[] = {
      {"free name kept", {"Mark 2"}, "Mark", "", 10, " ", false, "Mark"},
      {"clash gets a number", {"Mark"}, "Mark", "", 10, " ", false, "Mark1"},
      {"next number", {"Mark", "Mark1"}, "Mark", "", 10, " ", false, "Mark2"},
      {"trailing number counts up", {"Mark 2"}, "Mark 2", "", 10, " ", false, "Mark 3"},
      {"blank not allowed", {"Mark 2"}, "Mark 2", "", 10, "", false, "Mark2"},
      {"case matters without upper", {"MARK"}, "Mark", "", 10, "", false, "Mark"},
      {"upper folds first", {"MARK"}, "Mark", "", 10, "", true, "MARK1"},
      {"lower-case text rebuilt", {}, "Mark", "", 10, "", true, "MARK"},
      {"cut to length", {}, "Anchorage North", "", 8, "", false, "Anchorag"},
      {"number ends at the length", {"ABCDEF"}, "ABCDEF", "", 6, "", true, "ABCDE1"},
      {"carry", {"WPT9"}, "WPT9", "", 6, "", true, "WPT10"},
      {"carry at the length", {"ABCDE9"}, "x", "ABCDE9", 6, "", false, "ABCD10"},
      {"leading zeros dropped", {"WPT007"}, "WPT007", "", 6, "", false, "WPT8"},
      {"long numbers do not overflow", {"99999999999999999999"}, "99999999999999999999", "",
       30, "", false, "100000000000000000000"},
      {"number longer than the length", {"99"}, "99", "", 2, "", false, "10"},
      {"short name wins over the name", {"OTHER"}, "Whatever", "Own", 10, "", false, "Own"},
      {"allowed characters kept", {}, "Fish-2+3!", "", 20, "-+", false, "Fish-2+3"},
      {"non-ASCII letters dropped", {}, "Bøje 4", "", 20, " ", false, "Bje 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OverlayWorld world;
    std::vector<std::unique_ptr<TestMark>> others;
    ObjectList list;
    for (const std::string& other : c.others) {
      others.push_back(std::make_unique<TestMark>());
      others.back()->name = "unused";
      others.back()->short_name = other;
      list.push_back(others.back().get());
    }
    TestMark mark;
    mark.name = c.name;
    mark.short_name = c.short_name;
    list.push_back(&mark);
    MakeUniqueObjectName(mark, list, c.max_length, c.allowed, c.upper);
    EXPECT_EQ(mark.short_name, c.expected);
  }
}

TEST(MakeUniqueObjectName, HiddenObjectsDoNotClash) {
  OverlayWorld world;
  TestMark hidden, mark;
  hidden.short_name = "SPOT";
  hidden.visible = false;
  mark.name = "SPOT";
  const ObjectList list{&hidden, &mark};
  MakeUniqueObjectName(mark, list, 8, "", true);
  EXPECT_EQ(mark.short_name, "SPOT");
}

TEST(MakeUniqueObjectName, ModifiedOnlyWhenTheShortNameHadToChange) {
  OverlayWorld world;
  TestMark* taken = world.doc.Add(new TestMark);
  TestMark* mark = world.doc.Add(new TestMark);
  taken->short_name = "PORT";
  mark->name = "PORT";
  MakeUniqueObjectName(*mark, world.doc.objects, 8, "", true);
  EXPECT_EQ(mark->short_name, "PORT1");
  ASSERT_EQ(world.log.size(), 2u);
  EXPECT_EQ(world.log[0], (ChangeRecord{ChangeRecord::kViews, kChangeModified, mark}));

  world.log.clear();
  MakeUniqueObjectName(*mark, world.doc.objects, 8, "", true);
  TestMark* copied = world.doc.Add(new TestMark);
  copied->name = "QUAY";  // only copied from the name: not a change
  MakeUniqueObjectName(*copied, world.doc.objects, 8, "", true);
  EXPECT_EQ(copied->short_name, "QUAY");
  EXPECT_TRUE(world.log.empty());
}

TEST(MakeUniqueObjectName, EndsWhenNoNameWithinTheLengthIsFree) {
  // At length 1 the numbers run 1..9 and then come round again: the 11th X keeps a clash.
  OverlayWorld world;
  std::vector<std::unique_ptr<TestMark>> marks;
  ObjectList list;
  for (int i = 0; i < 11; ++i) {
    marks.push_back(std::make_unique<TestMark>());
    marks.back()->name = "X";
    list.push_back(marks.back().get());
  }
  std::set<std::string> names;
  for (auto& mark : marks) {
    MakeUniqueObjectName(*mark, list, 1, "", true);
    names.insert(mark->short_name);
  }
  EXPECT_EQ(names, (std::set<std::string>{"X", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));

  TestMark empty;
  empty.name = "!!";
  const ObjectList with_empty{marks[0].get(), &empty};
  marks[0]->short_name = "";
  MakeUniqueObjectName(empty, with_empty, 0, "", false);
  EXPECT_EQ(empty.short_name, "");
}

// The rule as plainly stated, for comparison: rescan the whole list after every increment.
std::string PlainIncrement(const std::string& text, size_t n) {
  size_t at = text.size();
  while (at > 0 && std::isdigit(static_cast<unsigned char>(text[at - 1]))) --at;
  const unsigned long long value = at == text.size() ? 0 : std::stoull(text.substr(at));
  const std::string number = std::to_string(value + 1);
  if (number.size() >= n) return number.substr(0, n);
  return text.substr(0, std::min(at, n - number.size())) + number;
}

void PlainMakeUnique(COstrelObject& object, const ObjectList& list, size_t n,
                     const std::string& allowed, bool upper) {
  if (object.short_name.empty()) object.short_name = object.name;
  std::string kept;
  for (const char c : object.short_name) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x80 && std::isalnum(u)) || allowed.find(c) != std::string::npos) {
      kept += upper ? static_cast<char>(std::toupper(u)) : c;
    }
  }
  if (kept != object.short_name || object.short_name.size() > n)
    object.short_name = kept.substr(0, n);
  const std::string start = object.short_name;
  std::set<std::string> tried{start};
  for (bool clash = true; clash;) {
    clash = false;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
      const COstrelObject* other = *it;
      if (other == &object || !other->visible || other->short_name != object.short_name) continue;
      object.short_name = PlainIncrement(object.short_name, n);
      if (!tried.insert(object.short_name).second) {
        object.short_name = start;
        return;
      }
      clash = true;
      break;
    }
  }
}

TEST(MakeUniqueObjectName, ManyObjectsInPassesAgreeWithThePlainRule) {
  const char* const names[] = {"Mark", "Mark", "Mark", "mark", "BUOY", "Buoy 12", "WPT9",
                               "WPT009", "ABCDEF", "x", "", "Anchorage North", "A1B2", "9",
                               "Mark1", "mark 2", "Mark 3"};
  std::mt19937 random(12345);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    OverlayWorld world;
    std::vector<std::unique_ptr<TestMark>> plain_marks, indexed_marks;
    ObjectList plain_list, indexed_list;
    for (int i = 0; i < 150; ++i) {
      const std::string name = names[random() % std::size(names)];
      const bool visible = random() % 5 != 0;
      const std::string short_name = random() % 4 == 0 ? names[random() % std::size(names)] : "";
      for (auto* marks : {&plain_marks, &indexed_marks}) {
        marks->push_back(std::make_unique<TestMark>());
        marks->back()->name = name;
        marks->back()->visible = visible;
        marks->back()->short_name = short_name;
      }
      plain_list.push_back(plain_marks.back().get());
      indexed_list.push_back(indexed_marks.back().get());
    }
    // Several passes through one index with changing rules: later passes rename objects and
    // free names that earlier ones gave out.
    UniqueNameIndex index(indexed_list);
    for (int pass = 0; pass < 4; ++pass) {
      const size_t lengths[] = {1, 3, 4, 4, 6, 6};
      const size_t n = lengths[random() % std::size(lengths)];
      const std::string allowed = random() % 2 ? " " : "";
      const bool upper = random() % 2;
      for (auto& mark : plain_marks) PlainMakeUnique(*mark, plain_list, n, allowed, upper);
      for (auto& mark : indexed_marks) index.MakeUnique(*mark, n, allowed, upper);
      for (size_t i = 0; i < plain_marks.size(); ++i) {
        ASSERT_EQ(indexed_marks[i]->short_name, plain_marks[i]->short_name)
            << "object " << i << " in pass " << pass;
      }
    }
  }
}

TEST(MakeUniqueObjectName, IndexCountsObjectsAddedLater) {
  // Names unique among the objects written so far, as exports give them.
  OverlayWorld world;
  TestMark a, b;
  a.name = b.name = "Quay";
  UniqueNameIndex written{ObjectList{}};
  written.MakeUnique(a, 8, "", true);
  written.Add(a);
  written.MakeUnique(b, 8, "", true);
  EXPECT_EQ(a.short_name, "QUAY");
  EXPECT_EQ(b.short_name, "QUAY1");
}

}  // namespace
