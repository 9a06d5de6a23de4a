// Shapefiles and their dBASE tables: the bytes written, reading them back, and files that are
// short, damaged or padded.
#include "overlays/exchange/shapefile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "geodesy/projection.h"
#include "overlays/category.h"
#include "overlays/exchange/dbase_file.h"
#include "overlays/exchange/tests/exchange_test_support.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "overlays/undo_ring.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

int32_t Be32(const std::string& b, size_t at) {
  return static_cast<int32_t>(uint32_t(uint8_t(b[at])) << 24 | uint8_t(b[at + 1]) << 16 |
                              uint8_t(b[at + 2]) << 8 | uint8_t(b[at + 3]));
}
int32_t Le32(const std::string& b, size_t at) {
  int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
double LeDouble(const std::string& b, size_t at) {
  double v;
  std::memcpy(&v, b.data() + at, 8);
  return v;
}
void PutBe32(std::string& b, int32_t v) {
  for (int s = 24; s >= 0; s -= 8) b += char(v >> s);
}
void PutLe32(std::string& b, int32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); }
void PutDouble(std::string& b, double v) { b.append(reinterpret_cast<const char*>(&v), 8); }

// A main file of polyline records written by hand: each record a list of parts of (x, y).
using Part = std::vector<std::pair<double, double>>;
std::string PolylineFile(const std::vector<std::vector<Part>>& records) {
  std::string body;
  int32_t number = 1;
  for (const auto& parts : records) {
    std::string content;
    PutLe32(content, 3);
    content.append(32, '\0');
    int32_t points = 0;
    for (const Part& part : parts) points += static_cast<int32_t>(part.size());
    PutLe32(content, static_cast<int32_t>(parts.size()));
    PutLe32(content, points);
    int32_t start = 0;
    for (const Part& part : parts) {
      PutLe32(content, start);
      start += static_cast<int32_t>(part.size());
    }
    for (const Part& part : parts) {
      for (const auto& [x, y] : part) {
        PutDouble(content, x);
        PutDouble(content, y);
      }
    }
    PutBe32(body, number++);
    PutBe32(body, static_cast<int32_t>(content.size() / 2));
    body += content;
  }
  std::string file;
  PutBe32(file, 9994);
  file.append(20, '\0');
  PutBe32(file, static_cast<int32_t>((100 + body.size()) / 2));
  PutLe32(file, 1000);
  PutLe32(file, 3);
  file.append(64, '\0');
  return file + body;
}

class ShapefileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
    projection.SetLatLong();
  }
  void TearDown() override {
    vd::test::ReleaseAll(read);
    vd::test::ReleaseAll(objects);
  }
  template <class T>
  T* Add(T* object) {
    object->AddRef();
    objects.push_back(object);
    return object;
  }
  CObjTrack* Track(const std::string& name, const Part& points, bool closed) {
    CObjTrack* track = Add(new CObjTrack);
    track->name = name;
    track->closed = closed;
    for (const auto& [lon, lat] : points) track->AddPoint(lat, lon, 0, 0, 0, 0);
    return track;
  }
  std::string Bytes(const std::string& path) {
    std::string bytes;
    vd::os::ReadWholeFile(path, bytes);
    return bytes;
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  CProjection projection;
  ObjectList objects;
  ObjectList read;
};

TEST_F(ShapefileTest, ClosedTrackBecomesClockwiseClosedPolygonAndReadsBack) {
  // Anticlockwise as given: the ring must come out clockwise and closed.
  Track("Lake", {{10.0, 50.0}, {11.0, 50.0}, {11.0, 51.0}}, true);
  const std::string path = dir.File("lake.shp");
  std::string error;
  ASSERT_TRUE(ExportShapefiles(path, objects, nullptr, &error)) << error;

  const std::string shp = Bytes(path);
  ASSERT_EQ(shp.size(), 100u + 8 + 112);
  EXPECT_EQ(Be32(shp, 0), 9994);
  EXPECT_EQ(Be32(shp, 24) * 2, static_cast<int32_t>(shp.size()));
  EXPECT_EQ(Le32(shp, 28), 1000);
  EXPECT_EQ(Le32(shp, 32), 5);
  EXPECT_EQ((std::vector<double>{LeDouble(shp, 36), LeDouble(shp, 44), LeDouble(shp, 52),
                                 LeDouble(shp, 60)}),
            (std::vector<double>{10.0, 50.0, 11.0, 51.0}));
  EXPECT_EQ(Be32(shp, 100), 1);
  EXPECT_EQ(Be32(shp, 104), 56);  // (48 + 16 * 4) / 2 words
  EXPECT_EQ(Le32(shp, 108 + 40), 4);
  std::vector<std::pair<double, double>> ring;
  for (size_t i = 0; i < 4; ++i) {
    ring.emplace_back(LeDouble(shp, 108 + 48 + 16 * i), LeDouble(shp, 108 + 56 + 16 * i));
  }
  EXPECT_EQ(ring.front(), ring.back());
  EXPECT_EQ(ring[1], std::make_pair(11.0, 51.0));  // clockwise: up the east side first

  const std::string shx = Bytes(dir.File("lake.shx"));
  ASSERT_EQ(shx.size(), 108u);
  EXPECT_EQ(Be32(shx, 24), 54);
  EXPECT_EQ(Be32(shx, 100), 50);  // the record's offset in words
  EXPECT_EQ(Be32(shx, 104), 56);

  CDBaseFile table;
  ASSERT_TRUE(table.Open(dir.File("lake.dbf")));
  EXPECT_EQ(table.FindField("NAM"), 1);
  std::string value;
  ASSERT_TRUE(table.ReadField(0, 0, value));
  EXPECT_EQ(value, "1");
  ASSERT_TRUE(table.ReadField(0, 1, value));
  EXPECT_EQ(value, "Lake");

  ShapefileImportOptions options;
  options.name_template = "%NAME% of %Filename%";
  options.category_template = "Water";
  const ExchangeRead result = ImportShapefile(path, read, options, projection);
  EXPECT_EQ(result.count, 1);
  const auto tracks = vd::test::ObjectsOf<CObjTrack>(read);
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0]->name, "Lake of lake");
  EXPECT_EQ(CCategory::GetNameOr(tracks[0]->category()), "Water");
  EXPECT_TRUE(tracks[0]->locked);
  ASSERT_EQ(tracks[0]->points().size(), 4u);
  EXPECT_DOUBLE_EQ(tracks[0]->points()[1].position.lat, 51.0);
}

TEST_F(ShapefileTest, MixedKindsAskWhichToWrite) {
  CObjWaypoint* mark = Add(new CObjWaypoint);
  mark->name = "Mark";
  mark->position = {51.5, 170.0};
  mark->being_placed = false;
  CObjWaypoint* other = Add(new CObjWaypoint);
  other->name = "Other";
  other->position = {52.0, -170.0};
  other->being_placed = false;
  Track("Line", {{1.0, 2.0}, {3.0, 4.0}}, false);
  Track("Dot", {{1.0, 2.0}}, false);  // a line of one point is no shape

  const std::string path = dir.File("mixed.shp");
  int asked = 0;
  EXPECT_FALSE(ExportShapefiles(path, objects, [&](int kinds) {
    asked = kinds;
    return std::nullopt;
  }));
  EXPECT_EQ(asked, 1 | 4);
  EXPECT_FALSE(vd::os::FileExists(path));

  ASSERT_TRUE(ExportShapefiles(path, objects, [](int) { return kShapeOpenTracks; }));
  EXPECT_EQ(Bytes(path).size(), 100u + 8 + 48 + 32);

  ASSERT_TRUE(ExportShapefiles(path, objects, [](int) { return kShapeFreeMarks; }));
  const std::string shp = Bytes(path);
  ASSERT_EQ(shp.size(), 100u + 2 * 28);
  EXPECT_EQ(Be32(shp, 104), 10);
  // The box holds what was written.
  EXPECT_EQ(LeDouble(shp, 36), -170.0);
  EXPECT_EQ(LeDouble(shp, 52), 170.0);

  ObjectList none;
  ASSERT_TRUE(ExportShapefiles(dir.File("empty.shp"), none, nullptr));
  EXPECT_EQ(Le32(Bytes(dir.File("empty.shp")), 32), 1);
}

TEST_F(ShapefileTest, ImportSelectsSplitsJoinsAndStopsAtDamage) {
  const std::string path = dir.File("rivers.shp");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      path, PolylineFile({{{{0.0, 0.0}, {0.001, 0.0}}, {{0.002, 0.0}, {0.003, 0.0}}},
                          {{{5.0, 5.0}, {5.1, 5.1}}},
                          {{{6.0, 6.0}, {6.1, 6.1}}}})));
  {
    const ShapefileSummary summary = ReadShapefileSummary(path);
    EXPECT_EQ(summary.shape_type, 3);
    EXPECT_EQ(summary.record_count, 3);
  }
  ShapefileImportOptions options;
  options.name_template = "River";
  options.last_record = 2;
  ExchangeRead result = ImportShapefile(path, read, options, projection);
  EXPECT_EQ(result.count, 3);
  auto tracks = vd::test::ObjectsOf<CObjTrack>(read);
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks[0]->name, "River");
  EXPECT_EQ(tracks[1]->name, "River_1");
  vd::test::ReleaseAll(read);

  // Joining: the two parts of record 1 lie about 110 m apart end to start.
  options.join = true;
  options.join_distance = 300;
  const int32_t undo_before = CUndoRing::Program().undo_step();
  result = ImportShapefile(path, read, options, projection);
  EXPECT_EQ(result.count, 2);
  tracks = vd::test::ObjectsOf<CObjTrack>(read);
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[0]->points().size(), 4u);
  EXPECT_EQ(CUndoRing::Program().undo_step(), undo_before + 1);  // no step per join
  vd::test::ReleaseAll(read);

  // A record whose length runs past the end ends the import with what came before it, and
  // the user hears where the file ends.
  std::string damaged = PolylineFile({{{{1.0, 1.0}, {2.0, 2.0}}}, {{{3.0, 3.0}, {4.0, 4.0}}}});
  damaged.resize(damaged.size() - 1);
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, damaged));
  result = ImportShapefile(path, read, {}, projection);
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(result.error, "Not all of the shapefile " + path +
                              " could be read:\nthe file ends inside the record at byte 188 (275 "
                              "bytes); the records before it were read");
  vd::test::ReleaseAll(read);

  // Counts that the record can't hold make no object.
  std::string lying = PolylineFile({{{{1.0, 1.0}, {2.0, 2.0}}}});
  const int32_t huge = 0x7fffffff;
  std::memcpy(lying.data() + 100 + 8 + 40, &huge, 4);
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, lying));
  result = ImportShapefile(path, read, {}, projection);
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(result.error, "Not all of the shapefile " + path +
                              " could be read:\nrecord 1: 1 parts and 2147483647 points do not "
                              "fit its 80 bytes");

  ASSERT_TRUE(vd::os::SaveFileAtomically(path, std::string(100, '\0')));
  EXPECT_EQ(ImportShapefile(path, read, {}, projection).error,
            "Shapefile has unexpected File Code");
  EXPECT_EQ(ImportShapefile(dir.File("none.shp"), read, {}, projection).error,
            "Failed to open Shapefile");
  EXPECT_TRUE(read.empty());
}

// A set mixed from two saves, or positions off the globe, are not read without a word.
TEST_F(ShapefileTest, DisagreeingSetsAndPositionsOffTheGlobeAreReported) {
  const std::string path = dir.File("pts.shp");
  for (const char* name : {"Alpha", "Bravo", "Charlie"}) {
    CObjWaypoint* mark = Add(new CObjWaypoint);
    mark->name = name;
    mark->position = {1.0, 2.0};
    mark->being_placed = false;
  }
  ASSERT_TRUE(ExportShapefiles(path, objects, nullptr));
  // Only the files of the set remain: no temporaries, no journal.
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  std::vector<std::string> names;
  for (const auto& e : entries) {
    if (e.name.find("pts") != std::string::npos) names.push_back(e.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"pts.dbf", "pts.shp", "pts.shx"}));

  // The table of a save of two marks beside the shapes of three.
  ObjectList two(std::next(objects.begin()), objects.end());
  ASSERT_TRUE(ExportShapefiles(dir.File("two.shp"), two, nullptr));
  ASSERT_TRUE(vd::os::RenameFile(dir.File("two.dbf"), dir.File("pts.dbf")));
  ShapefileImportOptions options;
  options.name_template = "%NAME%";
  ExchangeRead result = ImportShapefile(path, read, options, projection);
  EXPECT_EQ(result.count, 3);
  EXPECT_EQ(result.error,
            "Not all of the shapefile " + path +
                " could be read:\nthe files of the set do not agree: 3 shapes in the .shp file, "
                "3 in the .shx, 2 records in the .dbf; they may come from different saves, and "
                "names may belong to other shapes");
  vd::test::ReleaseAll(read);

  // A point at latitude 500003 is refused with its record; the others come in.
  static_cast<CObjWaypoint*>(objects.front())->position = {500003.0, 2.0};
  ASSERT_TRUE(ExportShapefiles(path, objects, nullptr));
  result = ImportShapefile(path, read, options, projection);
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.error, "Not all of the shapefile " + path +
                              " could be read:\nrecord 1: latitude 500003, longitude 2 is outside "
                              "-90..90 / -180..180");
}

TEST_F(ShapefileTest, TemplatesAndFilter) {
  const std::string path = dir.File("pts.shp");
  ObjectList marks;
  for (const char* name : {"Alpha", "Bravo"}) {
    CObjWaypoint* mark = Add(new CObjWaypoint);
    mark->name = name;
    mark->position = {1.0, 2.0};
    mark->being_placed = false;
  }
  ASSERT_TRUE(ExportShapefiles(path, objects, nullptr));
  CDBaseFile table;
  ASSERT_TRUE(table.Open(dir.File("pts.dbf")));
  struct Case {
    const char* text;
    int32_t record;
    const char* expected;
  };
  for (const Case& c : {Case{"%NAME%-%Index%", 2, "Bravo-2"}, Case{"%Filename%", 1, "pts"},
                        Case{"50% off %NOFIELD%x", 1, "50NOFIELD%x"},
                        Case{"100%% %ID", 1, "100% %ID"}}) {
    EXPECT_EQ(ExpandShapeTemplate(c.text, "pts", c.record, &table), c.expected) << c.text;
  }
  ShapefileImportOptions options;
  options.name_template = "%NAME%";
  options.category_template = "cat %NAME%";
  options.filter = "*BRAVO";
  EXPECT_EQ(ImportShapefile(path, read, options, projection).count, 1);
  const auto read_marks = vd::test::ObjectsOf<CObjWaypoint>(read);
  ASSERT_EQ(read_marks.size(), 1u);
  EXPECT_EQ(read_marks[0]->name, "Bravo");
  EXPECT_TRUE(read_marks[0]->locked);
  EXPECT_DOUBLE_EQ(read_marks[0]->position.lon, 2.0);
}

TEST(DBaseFileTest, WritesAndReadsTablesAndDistrustsStoredLengths) {
  vd::test::TempDir dir;
  const std::string path = dir.File("t.dbf");
  CDBaseFile out;
  ASSERT_TRUE(out.Create(path, 2));
  EXPECT_FALSE(out.AddCharField("ZERO", 0));
  EXPECT_FALSE(out.AddCharField("BIG", 256));
  ASSERT_TRUE(out.AddNumericField("COUNT"));
  ASSERT_TRUE(out.AddCharField("LABEL", 4));
  EXPECT_FALSE(out.WriteString("wrong type first"));
  EXPECT_TRUE(out.WriteInt(-42));
  EXPECT_TRUE(out.WriteString("Größer"));  // cut to 4 bytes on disk
  ASSERT_TRUE(out.Close());

  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  ASSERT_EQ(bytes.size(), 32u + 64 + 1 + 15 + 1);
  EXPECT_EQ(bytes[0], 3);
  EXPECT_EQ(Le32(bytes, 4), 1);
  EXPECT_EQ(bytes.substr(97, 15), "        -42Gr\xF6\xDF");
  EXPECT_EQ(bytes.back(), '\x1A');

  CDBaseFile in;
  ASSERT_TRUE(in.Open(path));
  std::string value;
  ASSERT_TRUE(in.ReadField(0, 1, value));
  EXPECT_EQ(value, "Größ");
  EXPECT_FALSE(in.ReadField(1, 0, value));

  // A stored header longer than needed (padding) is honoured; a stored record count beyond
  // the file's bytes is not.
  std::string padded = bytes.substr(0, 97) + std::string(3, ' ') + bytes.substr(97);
  padded[8] = static_cast<char>(97 + 3);
  padded[4] = 100;
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, padded));
  CDBaseFile again;
  ASSERT_TRUE(again.Open(path));
  EXPECT_EQ(again.record_count(), 1);
  ASSERT_TRUE(again.ReadField(0, 0, value));
  EXPECT_EQ(value, "-42");

  std::tm date{};
  date.tm_year = 126;
  date.tm_mon = 11;
  date.tm_mday = 9;
  EXPECT_EQ(CDBaseFile::UpdateDate(date), (std::array<uint8_t, 3>{126, 12, 9}));
  EXPECT_FALSE(CDBaseFile().Open(dir.File("missing.dbf")));
}

}  // namespace
