// The exchange entry points: the file ending picks the format, failures are told and bring
// nothing in, saves replace the file whole, and an import is one undo step.
#include "overlays/exchange/gpx_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "overlays/exchange/tests/gpx_test_world.h"
#include "overlays/overlay_file.h"
#include "overlays/undo_ring.h"
#include "platform/os/numbers.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

using vd::test::GpxWorld;

// Answers every box with OK and keeps what they said.
struct Boxes : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request);
    return vd::ui::kIdOk;
  }
  std::vector<vd::ui::MessageBoxRequest> shown;
};

std::string FileText(const std::string& path) {
  std::string text;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, text));
  return text;
}

TEST(XmlExchange, EndingPicksTheFormat) {
  GpxWorld world;
  world.Mark("Alpha", 1.0, 2.0);
  world.Mark("Beta", 3.0, 4.0);
  struct Case {
    const char* file;
    const char* root;
    int written;  // WriteGpxFile's result
  };
  const Case cases[] = {{"out.gpx", "<gpx ", 1},
                        {"out.LoC", "<loc ", 2},
                        {"out.xml", "<gpx ", 1},
                        {"loc", "<loc ", 2}};
  for (const Case& c : cases) {
    const std::string path = world.dir.File(c.file);
    EXPECT_EQ(WriteGpxFile(path, world.doc.objects), c.written) << c.file;
    const std::string text = FileText(path);
    EXPECT_NE(text.find(c.root), std::string::npos) << c.file;
    ObjectList read;
    const ExchangeRead result = ImportXmlTrackFile(path, read);
    EXPECT_EQ(result.error, "") << c.file;
    ASSERT_EQ(read.size(), 2u) << c.file;
    EXPECT_EQ(read.back()->name, "Beta");
    for (COstrelObject* object : read) object->Release();
  }
  // An empty list still makes a valid, empty GPX file.
  const std::string empty = world.dir.File("empty.gpx");
  EXPECT_EQ(WriteGpxFile(empty, {}), 0);
  ObjectList read;
  EXPECT_EQ(ImportXmlTrackFile(empty, read).error, "");
  EXPECT_TRUE(read.empty());
}

TEST(XmlExchange, BadFilesAreRefusedWholeAndTold) {
  GpxWorld world;
  struct Case {
    const char* file;
    const char* bytes;  // null: no file
    const char* error;  // after the path
    size_t length = 0;  // of the bytes; 0: up to their first NUL
  };
  // Two marks with NUL bytes between them, as a damaged copy leaves them.
  constexpr char kNuls[] =
      "<gpx><wpt lat=\"1\" lon=\"2\"><name>A</name></wpt>\n\0\0\0\0<wpt lat=\"3\" lon=\"4\">"
      "<name>B</name></wpt></gpx>";
  const Case cases[] = {
      {"missing.gpx", nullptr, ""},
      {"cut.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"><name>A</name></wpt>\n<wpt lat=\"3\"",
       "\nline 2, column 13: the file ends inside the tag <wpt>"},
      {"amp.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"><name>A & B</name></wpt></gpx>",
       "\nline 1, column 35: '&' that starts no entity reference (write it as &amp;)"},
      {"kml.gpx", "<kml><Placemark/></kml>", "\nno <gpx> element"},
      {"gpx.loc", "<gpx><wpt lat=\"1\" lon=\"2\"/></gpx>", "\nno <loc> element"},
      {"nul.gpx", kNuls,
       "\nline 2, column 1: a control character (byte 0x00), which XML does not allow",
       sizeof kNuls - 1},
  };
  for (const Case& c : cases) {
    const std::string path = world.dir.File(c.file);
    if (c.bytes) {
      ASSERT_TRUE(vd::os::SaveFileAtomically(
          path, std::string(c.bytes, c.length ? c.length : std::strlen(c.bytes))));
    }
    const std::string expected =
        (c.bytes ? "Failed to read XML file: " : "Missing file: ") + path + c.error;
    ObjectList list;
    const ExchangeRead result = ImportXmlTrackFile(path, list);
    EXPECT_EQ(result.error, expected);
    EXPECT_EQ(result.count, 0);
    EXPECT_TRUE(list.empty()) << c.file;

    Boxes boxes;
    vd::ui::ScopedResponder scope(&boxes);
    EXPECT_EQ(ReadXmlTrackFile(path, list), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, expected);
    EXPECT_EQ(boxes.shown[0].flags & vd::ui::kMbIconMask, vd::ui::kMbIconError);
    EXPECT_TRUE(list.empty());
  }
}

// A name too long to keep is cut, in GPX, LOC and TCX alike, and told with the line of the
// element it came from; the objects are kept and nothing else changes.
TEST(XmlExchange, OverLongNamesAreCutAndToldWithTheirLine) {
  GpxWorld world;
  const std::string n5000(5000, 'N'), r2000(2000, 'R'), same(3000, 'S'), exact(1024, 'E');
  std::string ampersands;
  for (int i = 0; i < 300; ++i) ampersands += "&amp;";  // 1500 bytes that read as 300
  const std::string cdata1(700, 'C'), cdata2(700, 'D');
  const std::string latin1(700, '\xE9');  // 1400 bytes of UTF-8 once read
  const std::string id(1500, 'I');
  std::string twelve = "<gpx>\n";
  for (int i = 0; i < 12; ++i) twelve += "<wpt lat=\"1\" lon=\"2\"><name>" + same + "</name></wpt>\n";
  twelve += "</gpx>";
  const std::string cut_line = "a name of %zu bytes; its first %zu were kept";
  const auto told = [&](std::initializer_list<std::pair<int, size_t>> lines, size_t kept) {
    std::string text;
    for (const auto& [line, had] : lines) {
      text += "\nline " + std::to_string(line) + ": " +
              vd::os::FormatC(cut_line.c_str(), had, kept);
    }
    return text;
  };
  struct Case {
    const char* file;
    std::string bytes;
    std::string error;  // after "Not all of <path> could be read:"; empty: none
    std::vector<size_t> name_sizes;  // of the objects read, in order
  };
  const Case cases[] = {
      {"marks.gpx",
       "<gpx>\n<wpt lat=\"1\" lon=\"2\"><name>" + ampersands + "</name></wpt>\n"
       "<wpt lat=\"3\" lon=\"4\">\n  <name>\n" + n5000 + "\n  </name></wpt>\n"
       "<rte><name>" + r2000 + "</name>\n<rtept lat=\"5\" lon=\"6\"><name>" + exact +
       "</name></rtept></rte>\n</gpx>",
       told({{4, 5000}, {7, 2000}}, 1024), {300, 1024, 1024, 1024}},
      {"twins.gpx",
       "<gpx>\n<wpt lat=\"1\" lon=\"2\"><name>" + same + "</name></wpt>\n"
       "<wpt lat=\"1\" lon=\"2\"><name>" + same + "</name></wpt>\n</gpx>",
       told({{2, 3000}, {3, 3000}}, 1024), {1024, 1024}},
      {"cache.loc",
       "<loc>\n<waypoint><name id=\"GC1\"><![CDATA[" + cdata1 + "]]><![CDATA[" + cdata2 +
       "]]></name><coord lat=\"1\" lon=\"2\"/></waypoint>\n</loc>",
       told({{2, 1400}}, 1024), {1024}},
      {"latin.gpx",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<gpx>\n<wpt lat=\"1\" lon=\"2\">"
       "<name>" + latin1 + "</name></wpt>\n</gpx>",
       told({{3, 1400}}, 1024), {1024}},
      {"ride.tcx",
       "<TrainingCenterDatabase><Activities><Activity Sport=\"Running\">\n<Id>" + id +
       "</Id>\n<Lap><Track><Trackpoint><Position><LatitudeDegrees>1</LatitudeDegrees>"
       "<LongitudeDegrees>2</LongitudeDegrees></Position></Trackpoint></Track>"
       "<Track><Trackpoint><Position><LatitudeDegrees>1</LatitudeDegrees>"
       "<LongitudeDegrees>2</LongitudeDegrees></Position></Trackpoint></Track></Lap>\n"
       "</Activity></Activities></TrainingCenterDatabase>",
       told({{2, 1516}, {2, 1516}}, 1024), {1024, 1024}},
      {"twelve.gpx", twelve,
       told({{2, 3000}, {3, 3000}, {4, 3000}, {5, 3000}, {6, 3000}, {7, 3000}, {8, 3000},
             {9, 3000}, {10, 3000}, {11, 3000}},
            1024) +
           "\n(2 more like these)",
       std::vector<size_t>(12, 1024)},
      {"exact.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"><name>" + exact + "</name></wpt></gpx>", "",
       {1024}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = world.dir.File(c.file);
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, c.bytes));
    // What the list held already stays as it was.
    ObjectList list;
    CObjWaypoint* held = world.Mark(std::string(3000, 'H'), 1.0, 1.0);
    held->AddRef();
    list.push_back(held);
    const ExchangeRead result = ImportXmlTrackFile(path, list);
    EXPECT_EQ(result.error, c.error.empty() ? "" : "Not all of " + path + " could be read:" + c.error);
    ASSERT_EQ(list.size(), c.name_sizes.size() + 1);
    EXPECT_EQ(list.front()->name.size(), 3000u);
    std::vector<size_t> sizes;
    for (auto it = std::next(list.begin()); it != list.end(); ++it) {
      sizes.push_back((*it)->name.size());
      // Cut between characters: the kept name is the start of what the file holds.
      EXPECT_TRUE((*it)->name.empty() || ((*it)->name.back() & 0xC0) != 0xC0);
    }
    EXPECT_EQ(sizes, c.name_sizes);
    if (std::string(c.file) == "latin.gpx") {
      std::string expected;
      for (int i = 0; i < 512; ++i) expected += "\xC3\xA9";
      EXPECT_EQ(list.back()->name, expected);
    }
    for (COstrelObject* object : list) object->Release();
  }
}

// A TCX file of one activity with one track of the given points.
std::string TcxText(int points) {
  std::string tcx =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TrainingCenterDatabase><Activities>"
      "<Activity Sport=\"Running\"><Id>Morning</Id><Lap><Track>\n";
  for (int i = 0; i < points; ++i) {
    tcx += "<Trackpoint><Time>2023-11-14T22:13:20Z</Time><Position><LatitudeDegrees>" +
           std::to_string(50.0 + i * 1e-4) + "</LatitudeDegrees><LongitudeDegrees>1.5" +
           "</LongitudeDegrees></Position></Trackpoint>\n";
  }
  return tcx + "</Track></Lap></Activity></Activities></TrainingCenterDatabase>\n";
}

// The import tells how far it is through its three phases (the check, the tree, the objects),
// always forward and in many steps while the objects are made, and stops in any phase when
// asked, with nothing to say and the undo history as it was. Each format makes its objects
// its own way.
TEST(XmlExchange, ProgressGoesForwardAndStopsTheImportInEveryPhase) {
  GpxWorld world;
  CObjTrack* track = world.Track("Long");
  for (int i = 0; i < 5000; ++i) track->AddPoint(50.0 + i * 1e-4, 1.0, 1700000000 + i, 0.0f, 0, 0);
  for (int i = 0; i < 200; ++i) world.Mark("M" + std::to_string(i), 51.0, i * 1e-3);
  const std::string gpx = world.dir.File("long.gpx");
  ASSERT_EQ(WriteGpxFile(gpx, world.doc.objects), 1);
  ObjectList marks;
  for (int i = 0; i < 3000; ++i) marks.push_back(world.Mark("C" + std::to_string(i), 52.0, i * 1e-3));
  const std::string loc = world.dir.File("caches.loc");
  ASSERT_EQ(WriteGpxFile(loc, marks), 3000);
  const std::string tcx = world.dir.File("run.tcx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(tcx, TcxText(5000)));

  struct Case {
    std::string path;
    size_t objects;
  };
  for (const Case& c : {Case{gpx, 201}, Case{loc, 3000}, Case{tcx, 1}}) {
    SCOPED_TRACE(c.path);
    std::vector<double> seen;  // fractions of the whole
    const auto watch = [&](int64_t done, int64_t total) {
      seen.push_back(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : -1);
      return true;
    };
    const int32_t step = CUndoRing::Program().undo_step();
    ObjectList read;
    ExchangeRead whole = ImportXmlTrackFile(c.path, read, watch);
    EXPECT_EQ(whole.error, "");
    EXPECT_FALSE(whole.cancelled);
    EXPECT_EQ(read.size(), c.objects);
    for (COstrelObject* object : read) {
      EXPECT_EQ(object->undo_stamp, step + 1) << "undoing the import's step removes it";
      object->Release();
    }
    EXPECT_EQ(CUndoRing::Program().undo_step(), step + 1);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.front(), 0.0);
    EXPECT_GT(seen.back(), 0.99);
    EXPECT_LE(seen.back(), 1.0);
    EXPECT_GT(seen.size(), 300u) << "many steps in each phase";
    EXPECT_GT(std::count_if(seen.begin(), seen.end(), [](double f) { return f > 0.67; }), 100)
        << "many steps while the objects are made";

    for (const double stop_at : {0.1, 0.5, 0.9}) {
      SCOPED_TRACE(stop_at);
      ObjectList part;
      const int32_t undo = CUndoRing::Program().undo_step();
      const int32_t redo = CUndoRing::Program().redo_step();
      const ExchangeRead stopped =
          ImportXmlTrackFile(c.path, part, [&](int64_t done, int64_t total) {
            return static_cast<double>(done) < stop_at * static_cast<double>(total);
          });
      EXPECT_TRUE(stopped.cancelled);
      EXPECT_EQ(stopped.error, "");
      EXPECT_EQ(part.empty(), stop_at < 0.66) << "objects are made in the last phase only";
      EXPECT_EQ(CUndoRing::Program().undo_step(), undo) << "no undo step for what was dropped";
      EXPECT_EQ(CUndoRing::Program().redo_step(), redo);
      for (COstrelObject* object : part) object->Release();
    }
  }
}

TEST(XmlExchange, FailedSaveKeepsTheOldFile) {
  GpxWorld world;
  world.Mark("A", 1.0, 2.0);
  const std::string missing_folder = world.dir.File("no/such/folder/out.gpx");
  std::string error;
  EXPECT_FALSE(ExportXmlTrackFile(missing_folder, world.doc.objects, &error));
  EXPECT_EQ(error, "Failed to open XML file: " + missing_folder);
  Boxes boxes;
  vd::ui::ScopedResponder scope(&boxes);
  EXPECT_EQ(WriteGpxFile(missing_folder, world.doc.objects), 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, error);

  // A save over an existing file leaves no temporary file beside it.
  const std::string path = world.dir.File("kept.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "old"));
  EXPECT_TRUE(ExportXmlTrackFile(path, world.doc.objects));
  EXPECT_NE(FileText(path).find("<name>A</name>"), std::string::npos);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(world.dir.path())) {
    if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename());
  }
  EXPECT_TRUE(names.empty());
}

TEST(XmlExchange, AnImportIsOneUndoStep) {
  GpxWorld world;
  const int32_t before = CUndoRing::Program().undo_step();
  const ObjectList read =
      world.Read("one.gpx",
                 "<gpx><wpt lat=\"1\" lon=\"2\"><name>New</name></wpt><rte><rtept lat=\"1\" "
                 "lon=\"1\"/></rte></gpx>");
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(CUndoRing::Program().undo_step(), before + 1);
  for (const COstrelObject* object : read) EXPECT_EQ(object->undo_stamp, before + 1);
  Undo(world.doc.objects);
  for (const COstrelObject* object : world.doc.objects) EXPECT_NE(object->name, "New");
}

TEST(XmlExchange, LatestModifiedTimeComparesUnsigned) {
  GpxWorld world;
  CObjWaypoint* a = world.Mark("A", 0, 0);
  CObjWaypoint* b = world.Mark("B", 0, 0);
  a->modified = 1700000000;
  b->modified = static_cast<int32_t>(0x90000000u);  // after 2038
  int32_t time = 5;
  GetLatestModifiedTime(world.doc.objects, time);
  EXPECT_EQ(static_cast<uint32_t>(time), 0x90000000u);
  int32_t later = -1;  // 0xFFFFFFFF
  GetLatestModifiedTime(world.doc.objects, later);
  EXPECT_EQ(later, -1);
}

// A file's route arrives with its points after it on the imported list; merged into a
// document that already holds a mark, every object stays alive with one reference: the
// document's (the points' came in with their route).
TEST(XmlExchange, AnImportedRouteMergesWithItsPoints) {
  GpxWorld world;
  world.Mark("Bothy", 57.13, -3.86);
  const std::string path = world.dir.File("walk.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      path,
      "<gpx version=\"1.1\"><wpt lat=\"57.14\" lon=\"-3.878\"><name>Cairn</name></wpt>"
      "<rte><name>Ridge</name><rtept lat=\"57.14\" lon=\"-3.89\"><name>R1</name></rtept>"
      "<rtept lat=\"57.132\" lon=\"-3.87\"><name>R2</name></rtept></rte>"
      "<trk><name>Morning</name><trkseg><trkpt lat=\"57.138\" lon=\"-3.885\"/>"
      "<trkpt lat=\"57.134\" lon=\"-3.875\"/></trkseg></trk></gpx>"));
  ObjectList read;
  ASSERT_EQ(ImportXmlTrackFile(path, read).error, "");
  MergeImportedObjects(world.doc.objects, read);
  EXPECT_TRUE(read.empty());
  std::vector<std::string> names;
  for (COstrelObject* object : world.doc.objects) {
    names.push_back(object->name);
    EXPECT_EQ(object->ref_count(), 1) << object->name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Bothy", "Cairn", "Ridge", "R1", "R2", "Morning"}));
  const std::vector<CObjRoute*> routes = GpxWorld::OfClass<CObjRoute>(world.doc.objects);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]->points().size(), 2u);
}

}  // namespace
