#include "charts/elevation_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "charts/chart_reader_services.h"
#include "charts/tests/qed_fixture.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::MakeQedBytes;
using vd::test::QedFixture;
using vd::test::QedSamplePosition;

// Heights with a cross term, so that bilinear interpolation differs from a plane, and a cliff
// at x = 6 that gives the tiles across it wide fields and the others narrow ones.
int RuggedHeight(int x, int y) { return (x >= 6 ? 30000 : 0) - 500 + 13 * x * y + 5 * x - 9 * y; }

void PutU32(std::string& bytes, size_t at, uint32_t value) {
  std::memcpy(bytes.data() + at, &value, 4);
}
uint32_t GetU32(const std::string& bytes, size_t at) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}
size_t TableEntry(int tile) { return kQedHeaderSize + 4 * static_cast<size_t>(tile); }

class ElevationFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ChartReaderServices services;
    services.show_error = [this](const std::string& text) { errors.push_back(text); };
    SetChartReaderServices(services);
    fixture.height = RuggedHeight;
  }
  void TearDown() override { SetChartReaderServices({}); }

  std::string Write(const std::string& bytes, const std::string& name = "e.qed") {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    return path;
  }
  bool OpenBytes(const std::string& bytes) { return file.Open(Write(bytes)); }

  float HeightAt(const CElevationFile& f, double x, double y) const {
    const GeoPoint p = QedSamplePosition(fixture, x, y);
    return f.GetHeight(p.lat, p.lon);
  }
  int16_t SlopeAt(double x, double y) const {
    const GeoPoint p = QedSamplePosition(fixture, x, y);
    int16_t slope = -1;
    file.GetSlope(p.lat, p.lon, &slope);
    return slope;
  }
  double Bilinear(double x, double y) const {
    const int x0 = int(x), y0 = int(y);
    const double fx = x - x0, fy = y - y0;
    const auto h = [&](int c, int r) { return double(fixture.height(c, r)); };
    return (h(x0, y0) * (1 - fx) + h(x0 + 1, y0) * fx) * (1 - fy) +
           (h(x0, y0 + 1) * (1 - fx) + h(x0 + 1, y0 + 1) * fx) * fy;
  }

  vd::test::TempDir dir;
  QedFixture fixture;
  CElevationFile file;
  std::vector<std::string> errors;
};

TEST_F(ElevationFileTest, EverySampleReadsBackAndOutsideTheGridIsMissing) {
  ASSERT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  ASSERT_EQ(file.grid_width(), 12);
  ASSERT_EQ(file.grid_height(), 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 12; ++x) {
      bool ok = true;
      ASSERT_EQ(file.GetSample(x, y, &ok), RuggedHeight(x, y)) << x << "," << y;
      ASSERT_TRUE(ok);
    }
  }
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {12, 0}, {0, 8}, {INT32_MAX, 0}}) {
    bool ok = true;
    EXPECT_EQ(file.GetSample(x, y, &ok), kNoElevation);
    EXPECT_FALSE(ok);
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(ElevationFileTest, ZeroBitTileIsItsBaseEverywhere) {
  fixture.height = [](int x, int) { return x < 4 ? -42 : x; };
  ASSERT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(file.GetSample(x, y, nullptr), -42);
  }
}

TEST_F(ElevationFileTest, HeightIsBilinearBetweenFourSamplesAndNeedsAllFour) {
  ASSERT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  // Inside a tile, across tile borders and across tiles of different bit widths.
  for (auto [x, y] : {std::pair{1.25, 2.5}, {3.5, 3.75}, {7.9, 0.1}, {0.0, 0.0}, {10.5, 6.5}}) {
    EXPECT_NEAR(HeightAt(file, x, y), Bilinear(x, y), 0.05) << x << "," << y;
  }
  // The last column and row have no right-hand or lower neighbour; no clamping.
  for (auto [x, y] : {std::pair{11.5, 2.0}, {2.0, 7.5}, {-0.5, 2.0}, {2.0, -0.01}, {500.0, 1.0}}) {
    EXPECT_EQ(HeightAt(file, x, y), kNoElevation) << x << "," << y;
  }
  CElevationFile closed;
  EXPECT_EQ(HeightAt(closed, 1.5, 1.5), kNoElevation);
}

TEST_F(ElevationFileTest, SlopeIsTheInterpolatedDifferenceAcrossTwoSpacings) {
  ASSERT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  // Columns 3..6 of rows 3 and 4, the cliff between the last two.
  const auto diff = [&](int c, int r) {
    return double(RuggedHeight(c + 1, r) - RuggedHeight(c - 1, r));
  };
  const double expected = (diff(4, 3) * 0.75 + diff(5, 3) * 0.25) * 0.5 +
                          (diff(4, 4) * 0.75 + diff(5, 4) * 0.25) * 0.5;
  EXPECT_EQ(SlopeAt(4.25, 3.5), int16_t(expected));
  // Column x0 - 1 negative, and x0 + 2 beyond the grid: no slope.
  EXPECT_EQ(SlopeAt(0.5, 2.0), 0);
  EXPECT_EQ(SlopeAt(10.5, 2.0), 0);
  // A difference of 60000 does not fit 16 bits: it saturates instead of wrapping.
  fixture.height = [](int x, int) { return x >= 5 ? 60000 : 0; };
  ASSERT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  EXPECT_EQ(SlopeAt(4.0, 1.0), INT16_MAX);
}

TEST_F(ElevationFileTest, OneAbsentTileSpoilsEveryLookupTouchingIt) {
  fixture.absent_tiles = {1};  // tile column 1 of row 0: samples x 4..7, y 0..3
  ASSERT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  bool ok = true;
  EXPECT_EQ(file.GetSample(5, 1, &ok), kNoElevation);
  EXPECT_FALSE(ok);
  EXPECT_EQ(HeightAt(file, 3.5, 1.0), kNoElevation);  // x0 + 1 = 4 lies in the absent tile
  EXPECT_NE(HeightAt(file, 2.5, 1.0), kNoElevation);
  EXPECT_EQ(SlopeAt(2.5, 1.0), 0);  // x0 + 2 = 4
  EXPECT_NE(HeightAt(file, 5.5, 4.5), kNoElevation);  // the row below is present
}

// Headers the reader must refuse, and whether the user hears why.
TEST_F(ElevationFileTest, BadHeadersAreRefused) {
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    const char* message;  // null: refused silently
  };
  const std::string good = MakeQedBytes(fixture);
  const auto field = [](size_t at, uint32_t value) {
    return [=](std::string& b) { PutU32(b, at, value); };
  };
  const Case cases[] = {
      {"343 bytes", [](std::string& b) { b.resize(kQedHeaderSize - 1); }, nullptr},
      {"magic", field(0, 0x34EB3499), "Not a QED file: \"%s\""},
      {"version 1", field(4, 1), "QED file is newer version: \"%s\""},
      {"tile side 0", field(8, 0), "Not a QED file: \"%s\""},
      {"negative tile side", field(8, uint32_t(-4)), "Not a QED file: \"%s\""},
      {"negative rows", field(12, uint32_t(-2)), "Not a QED file: \"%s\""},
      {"table past the end", field(16, 1000),
       "The elevation file \"%s\" is cut short: its tile table ends past the end of the file."},
      {"huge counts", [](std::string& b) { PutU32(b, 12, 0x7FFFFFFF); PutU32(b, 16, 0x7FFFFFFF); },
       "The elevation grid of \"%s\" is too large to be read: tiles of 4 samples, 2147483647 x "
       "2147483647 tiles (at most 46340 samples a side)."},
      {"grid wider than an int", [](std::string& b) { PutU32(b, 8, 0x40000000); },
       "The elevation grid of \"%s\" is too large to be read: tiles of 1073741824 samples, 3 x "
       "2 tiles (at most 46340 samples a side)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    errors.clear();
    ASSERT_TRUE(OpenBytes(good));  // a failed Open must also drop the file that was open
    std::string bytes = good;
    c.damage(bytes);
    const std::string path = Write(bytes, "bad.qed");
    EXPECT_FALSE(file.Open(path));
    EXPECT_FALSE(file.IsLoaded());
    EXPECT_EQ(file.GetSample(0, 0, nullptr), kNoElevation);
    if (c.message == nullptr) {
      EXPECT_TRUE(errors.empty());
    } else {
      std::string expected = c.message;
      expected.replace(expected.find("%s"), 2, path);
      EXPECT_EQ(errors, std::vector<std::string>{expected});
    }
  }
  EXPECT_FALSE(file.Open(dir.File("missing.qed")));
  EXPECT_FALSE(file.Open(dir.path()));
}

TEST_F(ElevationFileTest, HeaderOnlyFilesAndOlderVersionsOpen) {
  QedFixture empty = fixture;
  empty.rows = 0;
  ASSERT_TRUE(OpenBytes(MakeQedBytes(empty).substr(0, kQedHeaderSize)));
  EXPECT_EQ(file.GetSample(0, 0, nullptr), kNoElevation);
  EXPECT_EQ(HeightAt(file, 0.5, 0.5), kNoElevation);
  fixture.version = -1;
  EXPECT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  EXPECT_TRUE(errors.empty());
}

TEST_F(ElevationFileTest, DamagedTilesReadAsAbsentAndSpareTheRest) {
  const std::string good = MakeQedBytes(fixture);
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    int tile;  // the tile that goes missing
  };
  const Case cases[] = {
      {"offset past the end", [](std::string& b) { PutU32(b, TableEntry(2), uint32_t(b.size())); },
       2},
      {"offset 2 bytes before the end",
       [](std::string& b) { PutU32(b, TableEntry(0), uint32_t(b.size() - 2)); }, 0},
      {"18-bit samples", [](std::string& b) { b[GetU32(b, TableEntry(3))] = 18; }, 3},
      {"last tile cut short", [](std::string& b) { b.resize(b.size() - 1); }, 5},
      {"bit width running past the end",
       [](std::string& b) { b[GetU32(b, TableEntry(5))] = 17; }, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.damage(bytes);
    ASSERT_TRUE(OpenBytes(bytes));
    for (int tile = 0; tile < 6; ++tile) {
      const int x = (tile % 3) * 4 + 1, y = (tile / 3) * 4 + 2;
      bool ok = true;
      const int sample = file.GetSample(x, y, &ok);
      EXPECT_EQ(ok, tile != c.tile) << "tile " << tile;
      if (tile != c.tile) {
        EXPECT_EQ(sample, RuggedHeight(x, y));
      }
    }
  }
}

TEST_F(ElevationFileTest, LastSampleOfATileEndingTheFileDecodes) {
  // One tile whose last sample is its only high one; the tile ends the file, and for the two
  // narrower widths the three-byte window of that sample reaches past the end.
  struct Case {
    int tile_size;
    int top;
    int bits;
  };
  for (const Case& c : {Case{2, 3, 2}, Case{2, 511, 9}, Case{3, 131071, 17}}) {
    SCOPED_TRACE(c.bits);
    fixture = QedFixture{};
    fixture.tile_size = c.tile_size;
    fixture.rows = fixture.columns = 1;
    const int last = c.tile_size - 1;
    fixture.height = [&](int x, int y) { return x == last && y == last ? c.top - 1000 : -1000; };
    const std::string bytes = MakeQedBytes(fixture);
    ASSERT_EQ(bytes[GetU32(bytes, TableEntry(0))], c.bits);
    ASSERT_TRUE(OpenBytes(bytes));
    EXPECT_EQ(file.GetSample(last, last, nullptr), c.top - 1000);
    EXPECT_EQ(file.GetSample(last - 1, last, nullptr), -1000);
  }
}

// Wide tiles written sparsely: one tile of 1-bit samples whose last sample is the only one set.
// The sample index of such a tile passes what a 32-bit product of row and side can hold when
// the side is not bounded, so the widest side a file may declare is bounded on open.
TEST_F(ElevationFileTest, WideTilesAreBoundedAndTheirFarSamplesDecode) {
  const auto write_sparse = [&](int n) {
    QedHeader header;
    header.tile_size = n;
    header.rows = header.columns = 1;
    header.georef = vd::test::QedFixtureGeoref(fixture);
    const uint32_t tile_at = kQedHeaderSize + 4;
    const uint64_t samples = uint64_t(n) * uint64_t(n);
    const std::string path = dir.File("wide.qed");
    vd::os::File out;
    EXPECT_TRUE(out.Open(path, vd::os::File::Mode::CreateTruncate));
    const uint8_t tile_head[3] = {1, 0x10, 0x00};  // 1 bit per sample, base 16
    const uint8_t last_byte = uint8_t(1u << ((samples - 1) % 8));
    EXPECT_TRUE(out.Write(&header, kQedHeaderSize));
    EXPECT_TRUE(out.Write(&tile_at, 4));
    EXPECT_TRUE(out.Write(tile_head, 3));
    EXPECT_TRUE(out.PWrite(&last_byte, 1, tile_at + 3 + (samples - 1) / 8));
    return path;
  };
  for (const int n : {50000, kQedMaxTileSize + 1}) {
    SCOPED_TRACE(n);
    errors.clear();
    const std::string path = write_sparse(n);
    EXPECT_FALSE(file.Open(path));
    EXPECT_EQ(errors, std::vector<std::string>{
                          "The elevation grid of \"" + path +
                          "\" is too large to be read: tiles of " + std::to_string(n) +
                          " samples, 1 x 1 tiles (at most 46340 samples a side)."});
  }
  const int n = kQedMaxTileSize;
  ASSERT_TRUE(file.Open(write_sparse(n)));
  EXPECT_EQ(file.GetSample(n - 1, n - 1, nullptr), 17);
  EXPECT_EQ(file.GetSample(n - 2, n - 1, nullptr), 16);
  EXPECT_EQ(file.GetSample(n - 1, n - 2, nullptr), 16);
  bool ok = true;
  EXPECT_EQ(file.GetSample(n, n - 1, &ok), kNoElevation);
  EXPECT_FALSE(ok);
}

TEST_F(ElevationFileTest, GridGeoreferenceMapsBothWays) {
  ASSERT_TRUE(OpenBytes(MakeQedBytes(fixture)));
  const GeoPoint p = QedSamplePosition(fixture, 3.25, 6.5);
  double x, y, lat, lon;
  file.LatLonToGrid(p.lat, p.lon, x, y);
  EXPECT_NEAR(x, 3.25, 1e-9);
  EXPECT_NEAR(y, 6.5, 1e-9);
  file.GridToLatLon(x, y, lat, lon);
  EXPECT_NEAR(lat, p.lat, 1e-12);
  EXPECT_NEAR(lon, p.lon, 1e-12);
  EXPECT_NEAR(file.NauticalMilesPerCell(3, 3), fixture.cell_degrees * 60, 1e-9);
  // A longitude given 360 degrees away names the same place.
  file.LatLonToGrid(p.lat, p.lon + 360, x, y);
  EXPECT_NEAR(x, 3.25, 1e-6);
}

class ElevationExportTest : public ElevationFileTest {
 protected:
  void SetUp() override {
    ElevationFileTest::SetUp();
    fixture.rows = 4;
    fixture.columns = 5;
    source = Write(MakeQedBytes(fixture), "source.qed");
    ASSERT_TRUE(file.Open(source));
  }
  std::vector<GeoPoint> Polygon(std::initializer_list<std::pair<double, double>> grid_points) {
    std::vector<GeoPoint> out;
    for (auto [x, y] : grid_points) out.push_back(QedSamplePosition(fixture, x, y));
    return out;
  }
  std::string source;
};

TEST_F(ElevationExportTest, ExportKeepsTheTouchedTilesAndTheirHeights) {
  // A triangle over tiles (row 1, columns 1..3) and (row 2, column 1..2); its open ring is
  // closed by the export.
  const std::vector<GeoPoint> polygon = Polygon({{5, 5}, {15, 5}, {5, 11}});
  const std::string out = dir.File("part.qed");
  ASSERT_TRUE(file.ExportPolygon(out, polygon.data(), int(polygon.size())));
  CElevationFile part;
  ASSERT_TRUE(part.Open(out));
  EXPECT_EQ(part.header().rows, 2);
  EXPECT_EQ(part.header().columns, 3);
  EXPECT_EQ(part.header().reserved, 0);
  for (auto [x, y] : {std::pair{6.5, 6.25}, {9.0, 5.5}, {5.5, 9.5}, {12.25, 5.0}}) {
    EXPECT_NEAR(HeightAt(part, x, y), HeightAt(file, x, y), 0.05) << x << "," << y;
  }
  // Tile (row 2, column 3) lies beyond the triangle's hypotenuse: left out.
  EXPECT_EQ(HeightAt(part, 13.5, 9.5), kNoElevation);
  EXPECT_NE(HeightAt(file, 13.5, 9.5), kNoElevation);
  EXPECT_TRUE(errors.empty());
}

TEST_F(ElevationExportTest, RefusedExportsWriteNothing) {
  const std::vector<GeoPoint> outside = Polygon({{30, 30}, {40, 30}, {40, 40}, {30, 30}});
  const std::string out = dir.File("out.qed");
  EXPECT_FALSE(file.ExportPolygon(out, outside.data(), int(outside.size())));
  EXPECT_FALSE(vd::os::FileExists(out));
  EXPECT_TRUE(errors.empty());

  const std::vector<GeoPoint> inside = Polygon({{1, 1}, {10, 1}, {10, 10}});
  CElevationFile closed;
  EXPECT_FALSE(closed.ExportPolygon(out, inside.data(), int(inside.size())));
  EXPECT_FALSE(file.ExportPolygon(out, inside.data(), 0));
  EXPECT_FALSE(vd::os::FileExists(out));

  // Over its own source: refused, and the source is unchanged.
  std::string before, after;
  ASSERT_TRUE(vd::os::ReadWholeFile(source, before));
  EXPECT_FALSE(file.ExportPolygon(source, inside.data(), int(inside.size())));
  ASSERT_TRUE(vd::os::ReadWholeFile(source, after));
  EXPECT_EQ(before, after);
  EXPECT_EQ(errors, std::vector<std::string>{"Failed to open output file: " + source});

  errors.clear();
  const std::string unwritable = dir.File("no/such/folder/out.qed");
  EXPECT_FALSE(file.ExportPolygon(unwritable, inside.data(), int(inside.size())));
  EXPECT_EQ(errors, std::vector<std::string>{"Failed to open output file: " + unwritable});
}

}  // namespace
