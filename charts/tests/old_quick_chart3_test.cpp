#include "charts/old_quick_chart3.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "charts/tests/old_quick_chart3_fixture.h"

namespace {

using Tile = std::array<uint8_t, kTilePixels>;

class OldQuickChart3Test : public vd::test::ChunkChartTest {
 protected:
  // The chart with a store of: (0, 0) seed 1 whole, (0, 1) seed 2 up to level 3, (0, 2) blank,
  // row 1 absent.
  std::unique_ptr<COldQuickChart> OpenStandard() {
    vd::test::Qc3StoreFixture store = Store();
    store.chunks[{0, 0}] = {0, 1, 0};
    store.chunks[{0, 1}] = {0, 2, 3};
    store.chunks[{0, 2}] = {kQc3BlankChunk, -1, 0};
    vd::test::WriteBytesFile(dir.File("sea.qc3"), store.Bytes());
    return OpenOldQuickChart(WriteChart(), true);
  }
  static COldQuickChart3& Chunked(const std::unique_ptr<COldQuickChart>& chart) {
    return dynamic_cast<COldQuickChart3&>(*chart);
  }
};

TEST_F(OldQuickChart3Test, OpensThroughTheFactoryAndReadsTilesAtEveryShift) {
  const auto chart = OpenStandard();
  ASSERT_NE(nullptr, chart);
  EXPECT_EQ(40 * 64, chart->width());
  EXPECT_EQ("Sea", chart->title());
  double lat, lon, x, y;
  chart->PixelToLatLon(1000, 500, lat, lon);
  chart->LatLonToPixelF(lat, lon, x, y);
  EXPECT_NEAR(1000, x, 1e-6);
  EXPECT_NEAR(500, y, 1e-6);

  Tile tile;
  for (int shift = 0; shift <= 6; ++shift) {
    SCOPED_TRACE(shift);
    const size_t bytes = kTilePixels >> shift;
    for (auto [col, row] : {std::pair{0, 0}, std::pair{15, 15}, std::pair{7, 3}}) {
      ASSERT_EQ(0, chart->ReadTile(col, row, shift, tile));
      const Tile want = ExpectedTile(1, col, row, shift, shift);
      EXPECT_TRUE(std::equal(want.begin(), want.begin() + ptrdiff_t(bytes), tile.begin()))
          << col << "," << row;
    }
    // Blank chunk and outside the chart: index 1.
    for (auto [col, row] : {std::pair{33, 2}, std::pair{-1, 0}, std::pair{40, 0}}) {
      tile.fill(9);
      ASSERT_EQ(0, chart->ReadTile(col, row, shift, tile));
      EXPECT_EQ(ptrdiff_t(bytes), std::count(tile.begin(), tile.begin() + ptrdiff_t(bytes), 1));
    }
  }
}

TEST_F(OldQuickChart3Test, MissingLevelsAskForDownloadOrShowWhatIsThere) {
  const auto chart = OpenStandard();
  ASSERT_NE(nullptr, chart);
  COldQuickChart3& reader = Chunked(chart);
  Tile tile;
  // Downloads wanted: a chunk that lacks the level or is absent must be fetched first.
  EXPECT_EQ(1, chart->ReadTile(16, 0, 0, tile));
  EXPECT_EQ(0, chart->ReadTile(16, 0, 3, tile));
  EXPECT_EQ(1, chart->ReadTile(0, 16, 2, tile));

  reader.auto_download().value = 0;
  // Level 3 stands in for level 0: every image row repeated 8 times.
  ASSERT_EQ(0, chart->ReadTile(17, 1, 0, tile));
  EXPECT_EQ(ExpectedTile(2, 17, 1, 0, 3), tile);
  // A missing chunk: index 1, with index 0 marking its corners.
  const struct {
    int col, row;
    bool top_row, left_column;
  } cases[] = {{0, 16, true, true}, {15, 16, true, false}, {0, 31, false, true},
               {5, 20, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.col << "," << c.row);
    ASSERT_EQ(0, chart->ReadTile(c.col, c.row, 1, tile));
    for (int r = 0; r < 32; ++r) {
      for (int i = 0; i < kTileSide; ++i) {
        const bool mark = (r == 0 && c.top_row) || (i == 0 && c.left_column);
        ASSERT_EQ(mark ? 0 : 1, tile[size_t(r) * kTileSide + size_t(i)]) << r << " " << i;
      }
    }
  }
}

TEST_F(OldQuickChart3Test, CentreRunsAndAreaSizeFollowTheStoredChunks) {
  const auto chart = OpenStandard();
  ASSERT_NE(nullptr, chart);
  // The middle chunk (1, 1) is absent: the first stored one is (0, 0).
  int x = -1, y = -1;
  chart->GetCentrePixel(x, y);
  EXPECT_EQ(512, x);
  EXPECT_EQ(512, y);

  int cursor = -1;
  std::array<GeoPoint, 4> quad;
  bool available = false, complete = false;
  ASSERT_TRUE(chart->NextChunkRun(cursor, quad, available, complete));
  EXPECT_TRUE(available && complete);
  EXPECT_EQ(0, cursor);
  double lat, lon;
  chart->PixelToLatLon(974, 50, lat, lon);
  EXPECT_DOUBLE_EQ(lat, quad[1].lat);
  EXPECT_DOUBLE_EQ(lon, quad[1].lon);
  EXPECT_FALSE(chart->NextChunkRun(cursor, quad, available, complete));
  EXPECT_EQ(-1, cursor);

  const std::vector<PlanePoint> all = {{0, 0}, {3000, 0}, {3000, 2000}, {0, 2000}};
  const int64_t whole = 4 * int64_t(vd::test::EncodeQc3Chunk(1).header.words[0]) +
                        4 * int64_t(vd::test::EncodeQc3Chunk(2).header.words[0]);
  EXPECT_EQ(whole, chart->GetAreaDataSize(all));
  const std::vector<PlanePoint> second_only = {{1100, 10}, {1200, 10}, {1200, 100}};
  EXPECT_EQ(4 * int64_t(vd::test::EncodeQc3Chunk(2).header.words[0]),
            chart->GetAreaDataSize(second_only));
}

TEST_F(OldQuickChart3Test, RendersAcrossChunksWithoutTakingCoarseLevelsForWanted) {
  const auto chart = OpenStandard();
  ASSERT_NE(nullptr, chart);
  std::vector<uint8_t> out(128 * 64);
  ASSERT_EQ(1, chart->RenderPaletteArea(1024, 0, 64, 64, 64, 0, out.data()));
  // CopyArea never asks for downloads: level 3 stands in for the missing level 0.
  chart->CopyArea(1024, 0, 1087, 63, out.data(), 64);
  EXPECT_EQ(vd::test::Qc3Pixel(2, 0, 8), out[size_t(9) * 64]);
  EXPECT_TRUE(Chunked(chart).download_switch());
  // What CopyArea left in the chunk buffer is no reason not to fetch.
  ASSERT_EQ(1, chart->RenderPaletteArea(1024, 0, 64, 64, 64, 0, out.data()));

  // Zoom 0 over the boundary of chunks (0, 0) and (0, 1), without downloads.
  Chunked(chart).auto_download().value = 0;
  ASSERT_EQ(0, chart->RenderPaletteArea(960, 0, 128, 64, 128, 0, out.data()));
  for (int r = 0; r < 64; ++r) {
    EXPECT_EQ(vd::test::Qc3Pixel(1, 960, r), out[size_t(r) * 128]);
    EXPECT_EQ(vd::test::Qc3Pixel(2, 0, r & ~7), out[size_t(r) * 128 + 64]);
  }
  // Zoom 2: each output pixel blends four pixels of its 4 x 4 square (T[a][b] = min(a, b)).
  ASSERT_EQ(0, chart->RenderPaletteArea(0, 0, 16, 16, 16, 2, out.data()));
  const auto p = [](int x, int y) { return vd::test::Qc3Pixel(1, x, y); };
  for (int j = 0; j < 16; ++j) {
    for (int i = 0; i < 16; ++i) {
      const int x = 4 * i, y = 4 * j;
      const uint8_t want =
          std::min({p(x, y), p(x + 2, y + 2), p(x, y + 2), p(x + 2, y)});
      ASSERT_EQ(want, out[size_t(j) * 16 + size_t(i)]) << i << "," << j;
    }
  }
}

TEST_F(OldQuickChart3Test, DamagedStoresFailClearly) {
  vd::test::Qc3StoreFixture store = Store();
  store.chunks[{0, 0}] = {0, 1, 0};
  const std::string good = store.Bytes();
  const uint64_t record = uint64_t(vd::test::Int64At(good, 40));
  const auto patched = [&good](uint64_t offset, uint32_t value) {
    std::string bytes = good;
    std::memcpy(bytes.data() + offset, &value, 4);
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
    bool opens;
  };
  const Case cases[] = {
      {"index cut short", good.substr(0, 40 + 8 * 4), false},
      {"wrong magic", patched(0, kQc3Magic + 1), false},
      {"grid too large", patched(12, 0x7FFFFFFF), false},
      {"entry past the end", patched(40, uint32_t(good.size() + 8)), true},
      {"word count too large", patched(record, 0x100000), true},
      {"record cut short", good.substr(0, good.size() - 8), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vd::test::WriteBytesFile(dir.File("sea.qc3"), c.bytes);
    const auto chart = OpenOldQuickChart(WriteChart(), true);
    ASSERT_EQ(c.opens, chart != nullptr);
    if (!chart) continue;
    Chunked(chart).auto_download().value = 0;
    Tile tile;
    ASSERT_EQ(0, chart->ReadTile(0, 0, 0, tile));
    EXPECT_EQ(0, tile[0]);  // the missing-chunk mark
    EXPECT_EQ(1, tile[kTileSide + 1]);
  }
}

}  // namespace
