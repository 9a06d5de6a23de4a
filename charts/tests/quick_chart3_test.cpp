#include "charts/quick_chart3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "charts/qc3_tile_store.h"
#include "charts/tests/quick_chart3_fixture.h"

namespace {

using Tile = std::array<uint8_t, kTilePixels>;

struct Gap {
  int row, col, decoded, requested;
  bool operator==(const Gap&) const = default;
};

void RecordGap(void* user, CQC3TileStore& /*store*/, int row, int col, int decoded, int requested) {
  static_cast<std::vector<Gap>*>(user)->push_back({row, col, decoded, requested});
}

class QuickChart3ReaderTest : public vd::test::QuickChart3Test {
 protected:
  QuickChart3ReaderTest() {
    context.callback = RecordGap;
    context.user = &gaps;
  }
  // The first `bytes` of the tile equal those of `want`.
  static bool Same(const Tile& want, const Tile& got, size_t bytes) {
    return std::equal(want.begin(), want.begin() + ptrdiff_t(bytes), got.begin());
  }

  QuickChartTileContext context;
  std::vector<Gap> gaps;
  Tile tile;
};

TEST_F(QuickChart3ReaderTest, TilesComeFromTheStoreAtEveryShift) {
  // 40 x 34 tiles: 3 x 3 chunks. Row 0: seed 1, absent, blank; (2, 1): seed 7.
  vd::test::Qc3StoreFixture store = Grid(3, 3, {1, -1, -2, -1, -1, -1, -1, 7, -1});
  vd::test::WriteBytesFile(dir.File("sea.qc3"), store.Bytes());
  const auto chart = OpenChunked(WriteChunkChart(Sized(40, 34)));
  ASSERT_NE(nullptr, chart);
  EXPECT_TRUE(chart->HasChunkStore());

  for (int shift = 0; shift <= CQuickChart::kMaxShift; ++shift) {
    SCOPED_TRACE(shift);
    const size_t bytes = kTilePixels >> shift;
    for (auto [col, row] : {std::pair{0, 0}, std::pair{15, 15}, std::pair{7, 3}}) {
      ASSERT_EQ(0, chart->GetTile(col, row, shift, tile, context));
      EXPECT_TRUE(Same(ExpectedTile(1, col, row, shift, shift), tile, bytes)) << col << "," << row;
    }
    // Tile (17, 33) lies in chunk (2, 1), its first row at the chunk's stored row 8.
    ASSERT_EQ(0, chart->GetTile(17, 33, shift, tile, context));
    EXPECT_TRUE(Same(ExpectedTile(7, 17, 33, shift, shift), tile, bytes));
    // Blank chunk and outside the chart: colour 1.
    for (auto [col, row] :
         {std::pair{33, 2}, std::pair{-1, 0}, std::pair{40, 0}, std::pair{0, 34}}) {
      tile.fill(9);
      ASSERT_EQ(0, chart->GetTile(col, row, shift, tile, context));
      EXPECT_EQ(ptrdiff_t(bytes), std::count(tile.begin(), tile.begin() + ptrdiff_t(bytes), 1));
    }
  }
  EXPECT_TRUE(gaps.empty());
  EXPECT_EQ(0, context.largest_gap);

  // An absent chunk shows the empty pattern, and the caller hears that nothing is there.
  ASSERT_EQ(0, chart->GetTile(16, 0, 0, tile, context));
  EXPECT_TRUE(std::all_of(tile.begin(), tile.begin() + 64, [](uint8_t v) { return v == 0; }));
  EXPECT_EQ(0, tile[64]);
  EXPECT_EQ(1, tile[65]);
  ASSERT_EQ(0, chart->GetTile(17, 1, 0, tile, context));
  EXPECT_TRUE(std::all_of(tile.begin(), tile.end(), [](uint8_t v) { return v == 1; }));
  EXPECT_EQ((std::vector<Gap>{{0, 1, kQc3NoLevel, 0}, {0, 1, kQc3NoLevel, 0}}), gaps);
  EXPECT_EQ(kQc3NoLevel, context.largest_gap);
}

TEST_F(QuickChart3ReaderTest, CoarserLevelsStandInAndReportTheGap) {
  vd::test::Qc3StoreFixture store = Grid(3, 2, {});
  store.chunks[{0, 0}] = {0, 2, 3};  // words up to level 3 only
  vd::test::WriteBytesFile(dir.File("sea.qc3"), store.Bytes());
  const auto chart = OpenChunked(WriteChunkChart({}));
  ASSERT_NE(nullptr, chart);

  ASSERT_EQ(0, chart->GetTile(5, 6, 0, tile, context));
  EXPECT_TRUE(Same(ExpectedTile(2, 5, 6, 0, 3), tile, kTilePixels));
  EXPECT_EQ((std::vector<Gap>{{0, 0, 3, 0}}), gaps);
  EXPECT_EQ(3, context.largest_gap);
  // Coarse enough: the cached finer decode serves it and nothing is missing.
  gaps.clear();
  ASSERT_EQ(0, chart->GetTile(5, 6, 4, tile, context));
  EXPECT_TRUE(Same(ExpectedTile(2, 5, 6, 4, 4), tile, kTilePixels >> 4));
  EXPECT_TRUE(gaps.empty());
  ASSERT_EQ(0, chart->GetTile(5, 6, 1, tile, context));
  EXPECT_EQ((std::vector<Gap>{{0, 0, 3, 1}}), gaps);
}

TEST_F(QuickChart3ReaderTest, ManyThreadsShareTheCacheWhileItIsFlushed) {
  // 6 x 4 chunks: more than the cache holds.
  constexpr int kAcross = 6;
  constexpr int kDown = 4;
  std::vector<int> seeds;
  for (int n = 0; n < kAcross * kDown; ++n) seeds.push_back(n % 3);
  vd::test::WriteBytesFile(dir.File("sea.qc3"), Grid(kAcross, kDown, seeds).Bytes());
  const auto chart = OpenChunked(WriteChunkChart(Sized(16 * kAcross, 16 * kDown)));
  ASSERT_NE(nullptr, chart);

  std::atomic<int> readers_left{4};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      QuickChartTileContext own;
      Tile got;
      uint32_t state = 12345u + uint32_t(t);
      for (int i = 0; i < 300; ++i) {
        state = state * 1103515245u + 12345u;
        const int col = int(state >> 8) % (16 * kAcross);
        const int row = int(state >> 16) % (16 * kDown);
        const int shift = int(state >> 4) % 4;
        const int seed = ((row / 16) * kAcross + col / 16) % 3;
        if (chart->GetTile(col, row, shift, got, own) != 0 ||
            !Same(ExpectedTile(seed, col, row, shift, shift), got, kTilePixels >> shift)) {
          ++wrong;
        }
      }
      --readers_left;
    });
  }
  threads.emplace_back([&] {
    for (int64_t key = 0; readers_left > 0; ++key) {
      chart->ReleaseChunk(CQuickChart::ChunkKey(int(key % kDown), int(key / kDown % kAcross)));
      if (key % 7 == 0) chart->FlushChunkCache();
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, wrong.load());
}

TEST_F(QuickChart3ReaderTest, ChunkRunsCoverCompleteChunksRowByRow) {
  vd::test::Qc3StoreFixture store = Grid(3, 2, {1, 1, 1, -1, 1, -2});
  store.chunks[{1, 0}] = {0, 1, 2};  // partly stored: not complete
  vd::test::WriteBytesFile(dir.File("sea.qc3"), store.Bytes());
  const auto chart = OpenChunked(WriteChunkChart({}));
  ASSERT_NE(nullptr, chart);

  struct Run {
    int64_t last;
    double left, top, right, bottom;
  };
  const Run runs[] = {{2, 50, 50, 3072 - 50, 974}, {4, 1074, 1074, 2048 - 50, 2048 - 50}};
  int64_t cursor = -1;
  for (const Run& run : runs) {
    std::array<GeoPoint, 4> quad;
    bool available = false;
    bool downloaded = false;
    ASSERT_TRUE(chart->NextChunkRun(cursor, quad, available, downloaded));
    EXPECT_EQ(run.last, cursor);
    EXPECT_TRUE(available && downloaded);
    const PlanePoint want[4] = {
        {run.left, run.top}, {run.right, run.top}, {run.right, run.bottom}, {run.left, run.bottom}};
    for (size_t i = 0; i < 4; ++i) {
      const PlanePoint got = chart->LatLonToPixel(quad[i].lat, quad[i].lon);
      EXPECT_NEAR(want[i].x, got.x, 1e-6) << i;
      EXPECT_NEAR(want[i].y, got.y, 1e-6) << i;
    }
  }
  std::array<GeoPoint, 4> quad;
  bool available = false;
  bool downloaded = false;
  EXPECT_FALSE(chart->NextChunkRun(cursor, quad, available, downloaded));
  EXPECT_EQ(-1, cursor);
}

TEST_F(QuickChart3ReaderTest, OpensTheStoreBesideTheChartOrRefusesABadOne) {
  // An upper-case store is preferred when it is there.
  vd::test::WriteBytesFile(dir.File("sea.QC3"), Grid(3, 2, {-2}).Bytes());
  vd::test::WriteBytesFile(dir.File("sea.qc3"), Grid(3, 2, {}).Bytes());
  auto chart = OpenChunked(WriteChunkChart({}));
  ASSERT_NE(nullptr, chart);
  EXPECT_EQ(dir.File("sea.QC3"), chart->store()->path());
  ASSERT_EQ(0, chart->GetTile(0, 0, 0, tile, context));
  EXPECT_TRUE(std::all_of(tile.begin(), tile.end(), [](uint8_t v) { return v == 1; }));
  chart.reset();

  // A store of another kind is not written over: the chart does not open.
  std::string bad = Grid(3, 2, {}).Bytes();
  bad[0] ^= 0x5A;
  vd::test::WriteBytesFile(dir.File("sea.QC3"), bad);
  EXPECT_EQ(nullptr, OpenChart(dir.File("sea.qct")));
  std::string after;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("sea.QC3"), after));
  EXPECT_EQ(bad, after);

  // No store yet: an empty one is made, and every tile shows the empty pattern.
  chart = OpenChunked(WriteChunkChart(Named("bay.qct")));
  ASSERT_NE(nullptr, chart);
  EXPECT_TRUE(chart->HasChunkStore());
  EXPECT_TRUE(vd::os::FileExists(dir.File("bay.qc3")));
  ASSERT_EQ(0, chart->GetTile(0, 0, 2, tile, context));
  EXPECT_EQ((std::vector<Gap>{{0, 0, kQc3NoLevel, 2}}), gaps);
}

TEST_F(QuickChart3ReaderTest, ReopeningForgetsTheChunksOfTheChartBefore) {
  vd::test::WriteBytesFile(dir.File("sea.qc3"), Grid(3, 2, {1}).Bytes());
  vd::test::WriteBytesFile(dir.File("bay.qc3"), Grid(3, 2, {2}).Bytes());
  const auto chart = OpenChunked(WriteChunkChart({}));
  ASSERT_NE(nullptr, chart);
  ASSERT_EQ(0, chart->GetTile(3, 4, 0, tile, context));
  EXPECT_EQ(ExpectedTile(1, 3, 4, 0, 0), tile);
  ASSERT_EQ(0, chart->Open(WriteChunkChart(Named("bay.qct"))));
  EXPECT_EQ(dir.File("bay.qc3"), chart->store()->path());
  ASSERT_EQ(0, chart->GetTile(3, 4, 0, tile, context));
  EXPECT_EQ(ExpectedTile(2, 3, 4, 0, 0), tile);
}

}  // namespace
