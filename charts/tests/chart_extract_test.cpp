#include "charts/chart_extract.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "charts/old_quick_chart.h"
#include "charts/old_quick_chart3.h"
#include "charts/qct_file_view.h"
#include "charts/tests/old_quick_chart3_fixture.h"
#include "geodesy/nad27_shift.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using Tile = std::array<uint8_t, kTilePixels>;
using vd::test::ChartFixture;

std::vector<PlanePoint> Rectangle(double x0, double y0, double x1, double y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

TEST(PolygonSquareRange, TruncatesTowardZeroAndClampsToTheChart) {
  const struct {
    std::vector<PlanePoint> polygon;
    bool empty;
    SquareRange range;
  } cases[] = {
      // Wholly left of the chart, the largest x between -63 and -1: still column 0.
      {{{-200, 10}, {-1, 10}, {-1, 70}}, false, {0, 0, 0, 1}},
      {{{-200, 10}, {-63.9, 10}, {-70, 70}}, false, {0, 0, 0, 1}},
      {{{-200, 10}, {-64, 10}, {-70, 70}}, true, {}},
      // Past the right and bottom edges: clamped to the last column and row.
      {{{100, 100}, {5000, 100}, {5000, 9000}}, false, {1, 1, 9, 5}},
      // Beyond int32: counts as INT_MIN, so only the other points set the maximum.
      {{{1e12, 5}, {70, 5}, {70, 70}}, false, {0, 0, 1, 1}},
      {{}, true, {}},
  };
  for (const auto& c : cases) {
    const std::optional<SquareRange> got = PolygonSquareRange(c.polygon, 64, 10, 6);
    ASSERT_EQ(c.empty, !got.has_value()) << c.polygon.size();
    if (got) {
      EXPECT_EQ(c.range.first_col, got->first_col);
      EXPECT_EQ(c.range.first_row, got->first_row);
      EXPECT_EQ(c.range.last_col, got->last_col);
      EXPECT_EQ(c.range.last_row, got->last_row);
    }
  }
}

class TiledExtractTest : public testing::Test {
 protected:
  // A 6 x 8-tile chart with texts, a map type, a datum shift and reserved values.
  ChartFixture Source(const std::string& datum = "WGS 84") {
    ChartFixture chart;
    chart.version = 3;
    chart.width = 6;
    chart.height = 8;
    chart.georef = ChartFixture::LinearGeoref(50.0, -5.0, 1.0 / 3600.0);
    chart.texts = {{kQctTitle, "Harbour approaches"}, {kQctName, "Harbour"},
                   {kQctIdentifier, "H-1"},          {kQctEdition, "3"},
                   {kQctDatum, datum},               {kQctDepthUnits, "Metres"},
                   {kQctOriginalName, "/charts/harbour.qct"}};
    chart.flags = 0x10;
    chart.original_size = 12345;
    chart.original_time = 67890;
    chart.extension = true;
    chart.map_type = "Nautical chart";
    chart.datum_shift = QctDatumShift{0.001, -0.002};
    return chart;
  }

  std::unique_ptr<COldQuickChart> Write(const ChartFixture& chart, const std::string& name) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    return OpenOldQuickChart(path, false);
  }

  vd::test::TempDir dir;
};

TEST_F(TiledExtractTest, RectangleOfTilesKeepsTilesGeoreferenceAndTexts) {
  const auto source = Write(Source(), "source.qct");
  ASSERT_NE(nullptr, source);
  // Exactly tiles (2..3, 5..6).
  const std::vector<PlanePoint> area = Rectangle(128, 320, 255.5, 447.5);
  const std::string out_path = dir.File("area.qct");
  ASSERT_TRUE(source->ExtractArea(area, out_path));
  const auto area_chart = OpenOldQuickChart(out_path, false);
  ASSERT_NE(nullptr, area_chart);
  EXPECT_EQ(128, area_chart->width());
  EXPECT_EQ(128, area_chart->height());

  std::string text;
  const struct {
    QctTextField field;
    const char* want;
  } texts[] = {{kQctTitle, "From Harbour approaches"}, {kQctName, "From Harbour"},
               {kQctIdentifier, ""},                   {kQctEdition, "3"},
               {kQctDepthUnits, "Metres"},             {kQctOriginalName, "/charts/harbour.qct"}};
  for (const auto& t : texts) {
    area_chart->GetHeaderString(t.field, text);
    EXPECT_EQ(t.want, text) << t.field;
  }
  const QuickChartHeader& header = area_chart->header();
  EXPECT_EQ(3u, header.version);
  EXPECT_EQ(0x10u, header.flags);
  EXPECT_EQ(12345u, header.original_size);
  EXPECT_EQ(source->header().palette, header.palette);
  EXPECT_EQ(source->header().blend, header.blend);
  EXPECT_EQ("From Harbour. Soundings in Metres", area_chart->title());
  ASSERT_TRUE(area_chart->has_datum_shift());
  EXPECT_DOUBLE_EQ(0.001, area_chart->datum_shift_lat());
  EXPECT_DOUBLE_EQ(-0.002, area_chart->datum_shift_lon());

  // Pixel for pixel: tiles, and positions through the refitted georeference.
  Tile got, want;
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 2; ++col) {
      ASSERT_EQ(0, area_chart->ReadTile(col, row, 0, got));
      ASSERT_EQ(0, source->ReadTile(col + 2, row + 5, 0, want));
      EXPECT_EQ(want, got) << col << "," << row;
    }
  }
  for (auto [u, v] : {std::pair{0.0, 0.0}, std::pair{127.0, 127.0}, std::pair{40.5, 90.25}}) {
    double lat1, lon1, lat2, lon2, x, y;
    area_chart->PixelToLatLon(u, v, lat1, lon1);
    source->PixelToLatLon(u + 128, v + 320, lat2, lon2);
    EXPECT_NEAR(lat2, lat1, 1e-9);
    EXPECT_NEAR(lon2, lon1, 1e-9);
    area_chart->LatLonToPixelF(lat2, lon2, x, y);
    EXPECT_NEAR(u, x, 1e-3);
    EXPECT_NEAR(v, y, 1e-3);
  }
  // The polygon is the outline, in the chart's own datum.
  vd::os::MappedFile mapped;
  ASSERT_TRUE(mapped.Open(out_path));
  const QctFileView view(std::span<const uint8_t>(mapped.data(), mapped.size()));
  const auto outline = view.ReadOutline(header);
  ASSERT_TRUE(outline && outline->size() == 4);
  double lat, lon;
  source->PixelToLatLon(255.5, 447.5, lat, lon);
  EXPECT_NEAR(lat - 0.001, (*outline)[2].lat, 1e-12);
  EXPECT_NEAR(lon + 0.002, (*outline)[2].lon, 1e-12);
}

TEST_F(TiledExtractTest, TilesOutsideThePolygonShareOneBlankTile) {
  const auto source = Write(Source(), "source.qct");
  ASSERT_NE(nullptr, source);
  // A triangle over tiles (0..2, 0..2) that misses tile (2, 0).
  const std::vector<PlanePoint> triangle = {{1, 1}, {130, 190}, {1, 190}};
  const std::string out_path = dir.File("triangle.qct");
  ASSERT_TRUE(source->ExtractArea(triangle, out_path));
  const auto area_chart = OpenOldQuickChart(out_path, false);
  ASSERT_NE(nullptr, area_chart);
  Tile got, want;
  ASSERT_EQ(0, area_chart->ReadTile(2, 0, 0, got));
  EXPECT_EQ(kTilePixels, std::count(got.begin(), got.end(), 1));
  ASSERT_EQ(0, area_chart->ReadTile(0, 2, 0, got));
  ASSERT_EQ(0, source->ReadTile(0, 2, 0, want));
  EXPECT_EQ(want, got);
  // Kept tiles are byte for byte the source's.
  vd::os::MappedFile a, b;
  ASSERT_TRUE(a.Open(out_path));
  ASSERT_TRUE(b.Open(source->GetFileName()));
  const QctFileView va({a.data(), a.size()}), vb({b.data(), b.size()});
  const QctFileView::Tile ta = va.TileAt(area_chart->header(), 1, 1);
  const QctFileView::Tile tb = vb.TileAt(source->header(), 1, 1);
  const size_t size = TileEncodedSize(tb.bytes, tb.offset);
  ASSERT_GT(size, 0u);
  EXPECT_TRUE(std::equal(tb.bytes.begin(), tb.bytes.begin() + ptrdiff_t(size), ta.bytes.begin()));
  EXPECT_EQ(va.TileAt(area_chart->header(), 2, 0).offset,
            va.TileAt(area_chart->header(), 2, 1).offset);
}

TEST_F(TiledExtractTest, Nad27DatumGetsAFreshShiftOtherDatumsKeepTheSource) {
  const struct {
    const char* datum;
    bool fresh;
  } cases[] = {{"NAD27", true}, {"27 local", false}, {"WGS 84", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.datum);
    const auto source = Write(Source(c.datum), "source.qct");
    ASSERT_NE(nullptr, source);
    const std::string out_path = dir.File("area.qct");
    ASSERT_TRUE(source->ExtractArea(Rectangle(0, 0, 100, 100), out_path));
    const auto area_chart = OpenOldQuickChart(out_path, false);
    ASSERT_NE(nullptr, area_chart);
    double want_lat = 0.001, want_lon = -0.002;
    if (c.fresh) {
      double lat, lon;
      std::tie(lat, lon) =
          EvalCubicPolynomial2D(area_chart->header().georef.inverse, 2 * 32.0, 2 * 32.0);
      GetNad27Shift(lat, lon, want_lat, want_lon);
    }
    EXPECT_DOUBLE_EQ(want_lat, area_chart->datum_shift_lat());
    EXPECT_DOUBLE_EQ(want_lon, area_chart->datum_shift_lon());
  }
}

TEST_F(TiledExtractTest, FailuresAndCancelLeaveNoFile) {
  const auto source = Write(Source(), "source.qct");
  ASSERT_NE(nullptr, source);
  std::vector<std::string> errors;
  ChartFileTask task;
  task.show_error = [&errors](const std::string& text) { errors.push_back(text); };
  const auto area = Rectangle(0, 0, 300, 300);

  EXPECT_FALSE(source->ExtractArea(area, dir.File("missing/area.qct"), task));
  EXPECT_EQ(std::vector<std::string>{"Failed to open output file"}, errors);

  errors.clear();
  EXPECT_FALSE(source->ExtractArea(Rectangle(-500, 0, -100, 50), dir.File("empty.qct"), task));
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(vd::os::FileExists(dir.File("empty.qct")));

  int steps = 0;
  task.progress = [&steps](const std::string& text, int done, int total) {
    EXPECT_EQ("Extracting map area...", text);
    EXPECT_LE(done, total);
    return ++steps < 3;
  };
  EXPECT_FALSE(source->ExtractArea(area, dir.File("cancelled.qct"), task));
  EXPECT_FALSE(vd::os::FileExists(dir.File("cancelled.qct")));
}

class ChunkExtractTest : public vd::test::ChunkChartTest {};

TEST_F(ChunkExtractTest, CopiesTheChartFileAndTheChunksHeldLocally) {
  vd::test::Qc3StoreFixture store = Store();
  store.chunks[{0, 0}] = {0, 1, 0};                   // whole
  store.chunks[{0, 1}] = {0, 2, 3};                   // up to level 3
  store.chunks[{0, 2}] = {kQc3BlankChunk, -1, 0};     // blank
  store.chunks[{1, 1}] = {0, 4, 0};                   // outside the polygon
  vd::test::WriteBytesFile(dir.File("sea.qc3"), store.Bytes());
  const auto chart = OpenOldQuickChart(WriteChart(), false);
  ASSERT_NE(nullptr, chart);

  std::vector<int> progress;
  ChartFileTask task;
  task.progress = [&progress](const std::string& text, int done, int total) {
    EXPECT_EQ("Extracting map area...", text);
    EXPECT_EQ(3, total);  // one chunk row of three columns
    progress.push_back(done);
    return true;
  };
  const std::string out_path = dir.File("part.qct");
  ASSERT_TRUE(chart->ExtractArea(Rectangle(10, 10, 2500, 1000), out_path, task));
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), progress);

  std::string original, copy;
  ASSERT_TRUE(vd::os::ReadWholeFile(chart->GetFileName(), original));
  ASSERT_TRUE(vd::os::ReadWholeFile(out_path, copy));
  EXPECT_EQ(original, copy);

  auto part = OpenOldQuickChart(out_path, false);
  ASSERT_NE(nullptr, part);
  dynamic_cast<COldQuickChart3&>(*part).auto_download().value = 0;
  Tile tile;
  ASSERT_EQ(0, part->ReadTile(3, 5, 0, tile));
  EXPECT_EQ(ExpectedTile(1, 3, 5, 0, 0), tile);
  ASSERT_EQ(0, part->ReadTile(17, 2, 0, tile));
  EXPECT_EQ(ExpectedTile(2, 17, 2, 0, 3), tile);  // level 3 is all the copy holds
  ASSERT_EQ(0, part->ReadTile(33, 2, 0, tile));
  EXPECT_EQ(kTilePixels, std::count(tile.begin(), tile.end(), 1));

  std::string new_store;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("part.qc3"), new_store));
  const QC3StoreHeader header = store.Header();
  EXPECT_EQ(0, std::memcmp(new_store.data(), &header, sizeof header));
  EXPECT_EQ(0, vd::test::Int64At(new_store, header.IndexAddress(1, 1)));
  EXPECT_EQ(kQc3BlankChunk, vd::test::Int64At(new_store, header.IndexAddress(0, 2)));
}

TEST_F(ChunkExtractTest, CancelLeavesNothingBehind) {
  vd::test::Qc3StoreFixture store = Store();
  store.chunks[{0, 0}] = {0, 1, 0};
  vd::test::WriteBytesFile(dir.File("sea.qc3"), store.Bytes());
  const auto chart = OpenOldQuickChart(WriteChart(), false);
  ASSERT_NE(nullptr, chart);
  ChartFileTask task;
  task.progress = [](const std::string&, int done, int) { return done < 2; };
  EXPECT_FALSE(chart->ExtractArea(Rectangle(0, 0, 3000, 2000), dir.File("part.qct"), task));
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  for (const auto& e : entries) EXPECT_TRUE(e.name.rfind("sea", 0) == 0) << e.name;
}

}  // namespace
