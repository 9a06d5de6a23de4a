// The chart outline: reading a chart header, the geometry operations, the archive record in
// its current and older forms, and the files and views it manages.
#include "overlays/outline/old_chart_outline.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <span>

#include "overlays/outline/tests/outline_test_support.h"
#include "overlays/overlay_archive.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::BoxAnswers;
using vd::test::ChartFixture;
using vd::test::kSmallChartNorth;
using vd::test::kSmallChartScale;
using vd::test::kSmallChartSpan;
using vd::test::kSmallChartWest;
using vd::test::SmallChart;
using vd::test::WriteChartFixture;

class OutlineTest : public ::testing::Test {
 protected:
  // Writes the chart and reads an outline from it; false (and the boxes in `boxes`) when the
  // header was refused.
  bool Read(const ChartFixture& chart, COldChartOutline& outline) {
    const std::string path = dir.File("c.qct");
    EXPECT_TRUE(WriteChartFixture(path, chart));
    return ReadQuickChartHeader(outline, path);
  }

  vd::test::TempDir dir;
  BoxAnswers boxes{vd::ui::kIdOk};
  vd::ui::ScopedResponder responder{&boxes};
};

TEST_F(OutlineTest, HeaderGivesTextsScaleAndCorners) {
  ChartFixture chart = SmallChart("Solent");
  chart.texts.insert(chart.texts.end(), {{kQctTitle, "Solent and approaches"},
                                         {kQctIdentifier, "ID7"},
                                         {kQctEdition, "3"},
                                         {kQctUpdate, "None"},
                                         {kQctScale, "1:50000"},
                                         {kQctDatum, "WGS84"},
                                         {kQctCopyright, "Crown"},
                                         {kQctDepthUnits, "Metres"},
                                         {kQctProjection, "none"},
                                         {kQctDescription, "kept"},
                                         {kQctOriginalName, "C:\\maps\\solent.kap"}});
  chart.map_type = "Aero-H chart";
  chart.flags = 0x40;
  COldChartOutline outline;
  ASSERT_TRUE(Read(chart, outline));
  EXPECT_TRUE(boxes.texts.empty());

  EXPECT_EQ(outline.name, "Solent");
  EXPECT_EQ(outline.title, "Solent and approaches");
  EXPECT_EQ(outline.chart_id, "ID7");
  EXPECT_EQ(outline.rights, "Crown");
  EXPECT_EQ(outline.header_text_24, "kept");
  EXPECT_EQ(outline.map_type, "Aero-H chart");
  EXPECT_EQ(outline.colour, 0xFFFF00u);
  EXPECT_EQ(outline.chart_path, dir.File("c.qct"));
  EXPECT_EQ(outline.source_path, "C:/maps/solent.kap");
  EXPECT_EQ(outline.description,
            "Edition: 3; Scale: 1:50000; Datum: WGS84; \u00A9 Crown; Depths: Metres");
  EXPECT_EQ(outline.chart_version, 4u);
  EXPECT_EQ(outline.header_flags, 0x40u);
  EXPECT_FALSE(outline.no_tiles);
  EXPECT_FALSE(outline.has_datum_shift);
  EXPECT_NEAR(outline.scale, kSmallChartScale, 1e-12);
  EXPECT_EQ(outline.disk_size, static_cast<int64_t>(*vd::os::FileSize(outline.chart_path)));

  const double s = kSmallChartSpan;
  const GeoPoint corners[] = {{kSmallChartNorth, kSmallChartWest},
                              {kSmallChartNorth, kSmallChartWest + s},
                              {kSmallChartNorth - s, kSmallChartWest + s},
                              {kSmallChartNorth - s, kSmallChartWest}};
  ASSERT_EQ(outline.points.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(outline.points[i].lat, corners[i].lat, 1e-9) << i;
    EXPECT_NEAR(outline.points[i].lon, corners[i].lon, 1e-9) << i;
  }
}

TEST_F(OutlineTest, NamesFallBackOnEachOther) {
  struct Case {
    const char* name;
    const char* title;
    bool path_name;  // both become the path
    const char* want_name;
    const char* want_title;
  };
  const Case cases[] = {
      {"", "Title", false, "Title", "Title"},
      {"Name", "", false, "Name", "Name"},
      {"", "", true, "", ""},
  };
  for (const Case& c : cases) {
    ChartFixture chart;
    if (*c.name) chart.texts.push_back({kQctName, c.name});
    if (*c.title) chart.texts.push_back({kQctTitle, c.title});
    COldChartOutline outline;
    ASSERT_TRUE(Read(chart, outline));
    const std::string path = dir.File("c.qct");
    EXPECT_EQ(outline.name, c.path_name ? path : c.want_name);
    EXPECT_EQ(outline.title, c.path_name ? path : c.want_title);
  }
}

TEST_F(OutlineTest, DatumShiftMovesTheOutline) {
  ChartFixture chart = SmallChart("Shifted");
  chart.datum_shift = QctDatumShift{0.001, -0.002};
  COldChartOutline outline;
  ASSERT_TRUE(Read(chart, outline));
  EXPECT_TRUE(outline.has_datum_shift);
  EXPECT_DOUBLE_EQ(outline.shift_lat, 0.001);
  EXPECT_DOUBLE_EQ(outline.shift_lon, -0.002);
  EXPECT_NEAR(outline.points[0].lat, kSmallChartNorth + 0.001, 1e-9);
  EXPECT_NEAR(outline.points[0].lon, kSmallChartWest - 0.002, 1e-9);
}

TEST_F(OutlineTest, StoredOutlineAcrossTheDateLineStaysTogether) {
  // A chart east of 179.9E whose stored outline gives its eastern edge as -179.99.
  ChartFixture chart = SmallChart("Date line");
  chart.georef = ChartFixture::LinearGeoref(10.0, 179.99, 1.0 / 3600.0);
  chart.outline = {{10.0, 179.99}, {10.0, -179.99}, {9.98, -179.99}, {9.98, 179.99}};
  COldChartOutline outline;
  ASSERT_TRUE(Read(chart, outline));
  ASSERT_EQ(outline.points.size(), 4u);
  EXPECT_NEAR(outline.points[1].lon, 180.01, 1e-9);
  EXPECT_NEAR(outline.points[3].lon, 179.99, 1e-9);
  // A position given on either side of the date line.
  EXPECT_TRUE(outline.ContainsPoint(9.99, 180.005));
  EXPECT_TRUE(outline.ContainsPoint(9.99, -179.995));
  EXPECT_FALSE(outline.ContainsPoint(9.99, -179.98));
}

TEST_F(OutlineTest, ChartWithoutTilesIsMarkedAndSizedBySource) {
  const std::string source = dir.File("original.bin");
  ASSERT_TRUE(vd::os::SaveFileAtomically(source, std::string(1234, 'x')));
  ChartFixture chart = SmallChart("Disc chart");
  chart.reference = true;
  chart.texts.push_back({kQctOriginalName, source});
  COldChartOutline outline;
  ASSERT_TRUE(Read(chart, outline));
  EXPECT_TRUE(outline.no_tiles);
  EXPECT_EQ(outline.name, "Disc chart*");
  EXPECT_EQ(outline.source_path, source);
  EXPECT_EQ(outline.disk_size, 1234);
}

TEST_F(OutlineTest, VersionAndMagicDecideWhatIsRead) {
  struct Case {
    uint32_t magic;
    uint32_t version;
    const char* message;  // null: read
  };
  const Case cases[] = {
      {kQctMagic, 5, nullptr},
      {kQctMagicAccepted, 0, nullptr},
      {kQctMagic, 6, "%s is an incompatible version (6)"},
      {kQctMagic, 0x0FFFFFFF, "%s is an incompatible version (268435455)"},
      {kQctMagic, 0x10000001, nullptr},
      {kQctMagic, 0x20000000, nullptr},
      {0x1423D5FD, 4, "Not a QuickChart file: \"%s\""},
  };
  const std::string path = dir.File("c.qct");
  for (const Case& c : cases) {
    ChartFixture chart = SmallChart("V");
    chart.magic = c.magic;
    chart.version = c.version;
    boxes.texts.clear();
    COldChartOutline outline;
    EXPECT_EQ(Read(chart, outline), c.message == nullptr) << c.version;
    EXPECT_EQ(outline.chart_version, c.version);
    if (c.message) {
      std::string want = c.message;
      want.replace(want.find("%s"), 2, path);
      EXPECT_EQ(boxes.texts, std::vector<std::string>{want});
    } else {
      EXPECT_TRUE(boxes.texts.empty());
      EXPECT_EQ(outline.IsChunkStore(), c.version >= 0x10000000);
    }
  }
}

TEST_F(OutlineTest, DamagedOrMissingFilesAreRefused) {
  const std::string path = dir.File("c.qct");
  COldChartOutline outline;
  EXPECT_FALSE(ReadQuickChartHeader(outline, path));
  EXPECT_EQ(outline.name, "Missing file: " + path);
  EXPECT_TRUE(boxes.texts.empty());

  // A header cut short, and an outline running past the end of the file.
  ChartFixture chart = SmallChart("Cut");
  ASSERT_TRUE(WriteChartFixture(path, chart));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes.substr(0, 0x100)));
  EXPECT_FALSE(ReadQuickChartHeader(outline, path));

  chart.outline = {{50, -5}, {50, -4}, {49, -4}};
  ASSERT_TRUE(WriteChartFixture(path, chart));
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  const int32_t huge_count = 1 << 28;
  std::memcpy(&bytes[0x58], &huge_count, 4);
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes));
  EXPECT_FALSE(ReadQuickChartHeader(outline, path));
  const std::string refused = "Not a QuickChart file: \"" + path + "\"";
  EXPECT_EQ(boxes.texts, (std::vector<std::string>{refused, refused}));
}

TEST_F(OutlineTest, ContainsPointAndScaleMatchOnAChart) {
  COldChartOutline outline;
  ASSERT_TRUE(Read(SmallChart("S"), outline));
  const double in_lat = kSmallChartNorth - kSmallChartSpan / 2;
  const double in_lon = kSmallChartWest + kSmallChartSpan / 4;
  EXPECT_TRUE(outline.ContainsPoint(in_lat, in_lon));
  EXPECT_FALSE(outline.ContainsPoint(kSmallChartNorth + 0.001, in_lon));
  EXPECT_FALSE(outline.ContainsPoint(in_lat, kSmallChartWest - 0.001));

  struct Case {
    double lat, lon, wanted;
    float want;
  };
  const Case cases[] = {
      {in_lat, in_lon, 0.0, 60.0f},                   // no wanted scale: 1 / scale
      {in_lat, in_lon, kSmallChartScale, 1.0f},       // a perfect fit
      {in_lat, in_lon, 2 * kSmallChartScale, 0.5f},   // chart more detailed than wanted
      {in_lat, in_lon, kSmallChartScale / 4, 0.25f},  // chart coarser than wanted
      {kSmallChartNorth + 1, in_lon, kSmallChartScale, 0.0f},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(outline.ScaleMatch(c.lat, c.lon, c.wanted), c.want, 1e-4) << c.wanted;
  }
  outline.scale = 0;
  EXPECT_EQ(outline.ScaleMatch(in_lat, in_lon, 0.0), 0.0f);
  EXPECT_EQ(outline.ScaleMatch(in_lat, in_lon, 1.0), 0.0f);

  double lat = 0, lon = 0;
  outline.GetCentre(lat, lon);
  EXPECT_NEAR(lat, kSmallChartNorth - kSmallChartSpan / 2, 1e-9);
  EXPECT_NEAR(lon, kSmallChartWest + kSmallChartSpan / 2, 1e-9);
}

TEST(OutlineColour, ByMapType) {
  const std::pair<const char*, vd::ui::ColourRef> cases[] = {
      {"Topo", 0x00FF00},    {"QUADRANGLE", 0x00FF00}, {"land", 0x00FF00},
      {"ROAD", 0x00FF00},    {"Street", 0x00FF00},     {"TIFF", 0x00FF00},
      {"NavPlot", 0xFF0000}, {"Photo", 0xFF0000},      {"AERO", 0x00FFFF},
      {"AERO-H", 0xFFFF00},  {"AERO-I", 0x00FFFF},     {"aero s", 0x00FF00},
      {"AERO-T", 0xFF0000},  {"AERO-V", 0xFF00FF},     {"AERO-W", 0x0000FF},
      {"Nautical", 0xFF00FF}, {"", 0xFF00FF},          {"TOP", 0xFF00FF},
  };
  for (const auto& [type, colour] : cases) {
    EXPECT_EQ(OutlineColourForMapType(type), colour) << type;
  }
}

// ---- Archive ----

class OutlineArchiveTest : public OutlineTest {
 protected:
  // The bytes of one outline written with links relative to dir.
  std::string Write(const COldChartOutline& outline) {
    return vd::test::StoredArchive(dir.File("archive.bin"), [&](COverlayArchive& archive) {
      archive.set_link_folder(dir.path());
      archive.WriteObject(&outline);
    });
  }
  // The outline read from bytes, with a reference for the caller.
  COldChartOutline* ReadBack(const std::string& bytes) {
    COverlayArchive archive(
        std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    archive.set_link_folder(dir.path());
    auto* outline = archive.ReadObject<COldChartOutline>();
    EXPECT_EQ(archive.BytesLeft(), 0u);
    if (outline) outline->AddRef();
    return outline;
  }

  COldChartOutline* Sample() {
    auto* outline = new COldChartOutline;
    outline->AddRef();
    outline->name = "Harbour";
    outline->points = {{50.5, -1.25}, {50.5, -1.0}, {50.25, -1.0}};
    outline->map_type = "TOPO";
    outline->chart_id = "H1";
    outline->header_text_24 = "24";
    outline->chart_path = dir.File("charts/harbour.qct");
    outline->source_path = "/data/harbour.kap";
    outline->title = "Harbour approaches";
    outline->description = "Scale: 1:10000";
    outline->no_tiles = true;
    outline->scale = 0.0125;
    outline->has_datum_shift = true;
    outline->shift_lat = 0.5;
    outline->shift_lon = -0.25;
    outline->reserved = 77;
    outline->chart_version = 0x20000001;
    return outline;
  }
};

TEST_F(OutlineArchiveTest, RoundTripUnderBothClassNames) {
  COldChartOutline* outline = Sample();
  for (bool config_name : {false, true}) {
    std::optional<COldChartOutline::ConfigNameScope> scope;
    if (config_name) scope.emplace();
    const char* want_class = config_name ? "CChartOutline" : "COldChartOutline";
    const std::string first = Write(*outline);
    EXPECT_NE(first.find(want_class), std::string::npos);
    EXPECT_EQ(first.find(config_name ? "COldChartOutline" : "CChartOutline"), std::string::npos);
    // The chart path is stored relative to the archive's folder.
    EXPECT_NE(first.find("\x12" "charts/harbour.qct"), std::string::npos);

    COldChartOutline* read = ReadBack(first);
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->IsKindOf(COldChartOutline::kClass));
    EXPECT_EQ(read->chart_path, outline->chart_path);
    EXPECT_EQ(read->source_path, outline->source_path);
    EXPECT_EQ(read->points.size(), 3u);
    EXPECT_EQ(read->chart_version, 0x20000001u);
    EXPECT_EQ(read->reserved, 77);
    EXPECT_EQ(read->colour, 0x00FF00u);  // from the map type
    EXPECT_EQ(Write(*read), first);
    read->Release();
  }
  outline->Release();
}

// An older record written byte by byte.
class RecordBytes {
 public:
  void U8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) { Raw(&v, 2); }
  void I32(int32_t v) { Raw(&v, 4); }
  void F64(double v) { Raw(&v, 8); }
  void Str(const std::string& s) {
    U8(static_cast<uint8_t>(s.size()));
    bytes_ += s;
  }
  // The class tag and the base record of an object of that schema.
  void Begin(const std::string& cls, uint16_t schema, const std::string& name) {
    U16(0xFFFF);
    U16(schema);
    U16(static_cast<uint16_t>(cls.size()));
    bytes_ += cls;
    Str(name);
    I32(1000);  // created
    I32(2000);  // modified
    U8(0);      // locked
    U8(1);      // visible
    I32(0);     // style
    if (schema >= 16) U16(0);  // no category
    if (schema >= 24) {
      I32(0);
      I32(0);
    }
  }
  const std::string& bytes() const { return bytes_; }

 private:
  void Raw(const void* p, size_t n) { bytes_.append(static_cast<const char*>(p), n); }
  std::string bytes_;
};

TEST_F(OutlineArchiveTest, OlderSchemasReadTheirFields) {
  struct Case {
    uint16_t schema;
    bool datum, reserved, version;
  };
  const Case cases[] = {
      {13, false, false, false},
      {14, true, false, false},
      {22, true, true, false},
      {23, true, true, true},
  };
  for (const Case& c : cases) {
    RecordBytes record;
    record.Begin("CChartOutline", c.schema, "MERGED charts");
    record.Str("");  // legacy path
    record.I32(2);
    for (double v : {1.0, 2.0, 3.0, 4.0}) record.F64(v);
    record.Str("Navplot");
    record.Str("id");
    record.Str("t24");
    record.Str("sub\\merged.qct");
    record.Str("D:\\src\\merged.kap");
    record.Str("Title");
    record.Str("Desc");
    record.U8(0);
    record.F64(0.5);
    if (c.datum) {
      record.U8(1);
      record.F64(0.1);
      record.F64(0.2);
    }
    if (c.reserved) record.I32(9);
    if (c.version) record.I32(3);

    COldChartOutline* read = ReadBack(record.bytes());
    ASSERT_NE(read, nullptr) << c.schema;
    EXPECT_EQ(read->name, "MERGED charts");
    EXPECT_TRUE(read->IsMerged());
    EXPECT_EQ(read->points.size(), 2u);
    EXPECT_EQ(read->points[1].lon, 4.0);
    EXPECT_EQ(read->colour, 0xFF0000u);
    EXPECT_EQ(read->chart_path, dir.path() + "/sub/merged.qct");
    EXPECT_EQ(read->source_path, "D:/src/merged.kap");
    EXPECT_EQ(read->scale, 0.5);
    EXPECT_EQ(read->has_datum_shift, c.datum);
    EXPECT_EQ(read->shift_lon, c.datum ? 0.2 : 0.0);
    EXPECT_EQ(read->reserved, c.reserved ? 9 : 0);
    EXPECT_EQ(read->chart_version, c.version ? 3u : 0u);
    read->Release();
  }
}

TEST_F(OutlineArchiveTest, PathOnlyRecordIsRebuiltFromTheChart) {
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("old")));
  ASSERT_TRUE(WriteChartFixture(dir.File("old/first.qct"), SmallChart("First chart")));
  RecordBytes record;
  record.Begin("COldChartOutline", 9, "stale name");
  record.Str("old\\first.qct");
  COldChartOutline* read = ReadBack(record.bytes());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->name, "First chart");
  EXPECT_EQ(read->chart_path, dir.File("old/first.qct"));
  EXPECT_EQ(read->points.size(), 4u);
  EXPECT_NEAR(read->scale, kSmallChartScale, 1e-12);
  read->Release();
}

TEST_F(OutlineArchiveTest, PointCountBeyondTheRecordIsRefused) {
  for (int32_t count : {-1, 1000}) {
    RecordBytes record;
    record.Begin("COldChartOutline", 26, "bad");
    record.F64(0);  // id
    record.Str("");
    record.I32(count);
    record.F64(1.0);
    try {
      COldChartOutline* read = ReadBack(record.bytes());
      if (read) read->Release();
      ADD_FAILURE() << count;
    } catch (const COverlayArchiveException& e) {
      EXPECT_EQ(e.cause(), COverlayArchiveException::kBadCount);
    }
  }
}

// A path that a NUL byte cuts short names another file or folder ("/" for the one below): the
// record is refused. Reading a record sizes the chart file only, never a chunk store's folder.
TEST_F(OutlineArchiveTest, PathsWithANulByteAreRefusedAndNoFolderIsSized) {
  const std::string cut("/\0charts/big.qct", 16);
  for (int field = 0; field < 2; ++field) {
    RecordBytes record;
    record.Begin("COldChartOutline", 26, "bad");
    record.F64(0);  // id
    record.Str("");
    record.I32(0);
    record.Str("TOPO");
    record.Str("id");
    record.Str("24");
    record.Str(field == 0 ? cut : "charts/big.qct");
    record.Str(field == 1 ? cut : "");
    try {
      COldChartOutline* read = ReadBack(record.bytes());
      if (read) read->Release();
      ADD_FAILURE() << field;
    } catch (const COverlayArchiveException& e) {
      EXPECT_EQ(e.cause(), COverlayArchiveException::kBadString) << field;
    }
  }

  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("big.qct"), std::string(100, 'h')));
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("big.qc3/0")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("big.qc3/0/a"), std::string(30, 'a')));
  COldChartOutline* outline = Sample();
  outline->chart_path = dir.File("big.qct");
  outline->no_tiles = false;
  outline->chart_version = 0x20000000;
  COldChartOutline* read = ReadBack(Write(*outline));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->disk_size, 100);
  EXPECT_EQ(read->GetDiskSize(), 130) << "counted where it is shown";
  read->Release();
  outline->Release();
}

// ---- Files, views and lists ----

class OutlineInDocTest : public OutlineTest {
 protected:
  OutlineInDocTest() { doc.log = &log; }
  COldChartOutline* AddOutline(const std::string& path) {
    auto* outline = doc.Add(new COldChartOutline);
    outline->chart_path = path;
    return outline;
  }

  std::vector<vd::test::ChangeRecord> log;
  vd::test::OutlineDoc doc;
  CCurrentOwnerScope owner{&doc};
};

TEST_F(OutlineInDocTest, DeleteChartFilesRemovesChartStoresAndObject) {
  const std::string chart = dir.File("a.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(chart, "chart"));
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("a.qc3/sub")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("a.qc3/sub/chunk"), "c"));
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("a.qcc")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("keep.qc3"), "other"));
  COldChartOutline* outline = AddOutline(chart);
  EXPECT_TRUE(outline->DeleteChartFiles());
  EXPECT_FALSE(vd::os::FileExists(chart));
  EXPECT_FALSE(vd::os::FileExists(dir.File("a.qc3")));
  EXPECT_FALSE(vd::os::FileExists(dir.File("a.qcc")));
  EXPECT_TRUE(vd::os::FileExists(dir.File("keep.qc3")));
  EXPECT_TRUE(doc.objects.empty());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().code, kChangeDeleted);
}

TEST_F(OutlineInDocTest, DeleteChartFilesKeepsEverythingWhenTheChartStays) {
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("gone.qc3")));
  COldChartOutline* outline = AddOutline(dir.File("gone.qct"));
  EXPECT_FALSE(outline->DeleteChartFiles());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(vd::os::IsDirectory(dir.File("gone.qc3")));
  EXPECT_EQ(doc.objects.size(), 1u);
}

TEST_F(OutlineInDocTest, DiskSizeCountsTheChunkStoreOfChunkStoreCharts) {
  const std::string chart = dir.File("big.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(chart, std::string(100, 'h')));
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("big.qc3/0")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("big.qc3/0/a"), std::string(30, 'a')));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("big.qc3/b"), std::string(5, 'b')));
  COldChartOutline* outline = AddOutline(chart);
  outline->chart_version = 4;
  EXPECT_EQ(outline->GetDiskSize(), 100);
  outline->chart_version = 0x20000000;
  EXPECT_EQ(outline->GetDiskSize(), 135);
  EXPECT_EQ(outline->disk_size, 135);
}

TEST_F(OutlineInDocTest, ViewsAreAskedThroughTheDocument) {
  COldChartOutline* outline = AddOutline(dir.File("v.qct"));
  outline->points = {{10, 20}, {10, 22}, {14, 22}, {14, 20}};
  outline->scale = 0.25;
  outline->RefreshViews();
  EXPECT_EQ(doc.refreshed, std::vector<std::string>{dir.File("v.qct")});
  outline->CentreInView();
  ASSERT_EQ(doc.opened.size(), 1u);
  EXPECT_EQ(doc.opened[0].outline, outline);
  EXPECT_EQ(doc.opened[0].lat, 12.0);
  EXPECT_EQ(doc.opened[0].lon, 21.0);
  EXPECT_EQ(doc.opened[0].scale, 2.0);
  EXPECT_EQ(doc.opened[0].flag, 1);
}

TEST(SortOutlines, LargestScaleFirstKeepingEqualOnesInOrder) {
  COldChartOutline a, b, c, d;
  a.scale = 1;
  b.scale = 3;
  c.scale = 2;
  d.scale = 3;
  std::vector<COldChartOutline*> list = {&a, &b, &c, &d};
  EXPECT_EQ(SortOutlinesByScale(list), &b);
  EXPECT_EQ(list, (std::vector<COldChartOutline*>{&b, &d, &c, &a}));
  std::vector<COldChartOutline*> none;
  EXPECT_EQ(SortOutlinesByScale(none), nullptr);
}

}  // namespace
