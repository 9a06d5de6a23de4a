#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"
#include "viewer_lib/cached_quick_chart.h"

namespace {

using vd::test::ChartFixture;

constexpr vd::ui::Argb kBackground = 0xFF123456;

// The fixture palette's colour of an index: blue i, green 2i, red 255 - i.
vd::ui::Argb Colour(uint8_t i) {
  return 0xFF000000u | uint32_t(255 - i) << 16 | uint32_t((2 * i) & 255) << 8 | i;
}

class CachedChart : public testing::Test {
 protected:
  void SetUp() override {
    fixture_.width = 6;  // 384 x 256 chart pixels
    fixture_.height = 4;
    // Zoomed-out levels blend 2 x 2 pixels: a lopsided table shows a blend in the wrong order.
    fixture_.blend = ChartFixture::SkewedBlendTable();
    path_ = dir_.File("chart.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(path_, fixture_));
    ASSERT_EQ(cache_.SetChart(path_), 0);
  }

  // One paint of a fresh background; incomplete as DrawTiles reports it.
  vd::ui::Image Draw(const IntRect& rect, vd::ui::Point origin, int level) {
    vd::ui::Image image(600, 400, kBackground);
    vd::ui::Surface dc(image);
    bool incomplete = true;
    EXPECT_TRUE(cache_.DrawTiles(dc, rect, origin, level, incomplete));
    EXPECT_FALSE(incomplete);
    return image;
  }

  // Paints until the decoders have delivered everything the view asked for.
  vd::ui::Image DrawSettled(const IntRect& rect, vd::ui::Point origin, int level) {
    vd::ui::Image image = Draw(rect, origin, level);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int settled = 0; settled < 2;) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "tiles never arrived at level " << level;
        break;
      }
      if (!cache_.IsBusy() && !AllPlaced(level)) {
        std::this_thread::yield();
        continue;
      }
      image = Draw(rect, origin, level);
      settled = AllPlaced(level) ? settled + 1 : 0;
    }
    return image;
  }

  // No cell of the level is still waiting for its tile.
  bool AllPlaced(int level) {
    int ready = 0;
    for (const auto& tile : cache_.tiles()) ready += tile->level == level;
    return ready >= wanted_cells_ && !cache_.IsBusy();
  }

  // The chart pixel at the corner of device pixel (px, py) for a rectangle at (rx, ry) showing
  // chart pixel origin at its corner.
  static int64_t ChartAt(int device, int corner, int o, int level) {
    const int64_t level_px =
        (level >= 0 ? int64_t(o) >> level : int64_t(o) << -level) + (device - corner);
    return level >= 0 ? level_px << level : level_px >> -level;
  }

  // The expected colour of device pixel (px, py) for a rectangle at (rx, ry) showing chart
  // pixel origin at its corner: the chart pixel, blended with three others when zoomed out.
  vd::ui::Argb Expected(int px, int py, int rx, int ry, vd::ui::Point origin, int level) {
    const int64_t x = ChartAt(px, rx, origin.x, level), y = ChartAt(py, ry, origin.y, level);
    return Colour(vd::test::FixtureViewIndex(fixture_, x, y, level));
  }

  // A level-0 tile stretched or shrunk to stand in at `level` shows one of the chart pixels
  // near the exact place (the rectangle at 0, 0 showing chart pixel 0, 0 at its corner).
  bool NearStandIn(vd::ui::Argb actual, int px, int py, int level) {
    const int64_t x = ChartAt(px, 0, 0, level), y = ChartAt(py, 0, 0, level);
    for (int i = -4; i <= 4; ++i) {
      for (int j = -4; j <= 4; ++j) {
        if (actual == Colour(vd::test::FixtureViewIndex(fixture_, x + i, y + j, 0))) return true;
      }
    }
    return false;
  }

  vd::test::TempDir dir_;
  ChartFixture fixture_;
  std::string path_;
  CCachedQuickChart cache_;
  int wanted_cells_ = 0;
};

TEST_F(CachedChart, ShowsTheChartAtEachLevel) {
  struct Case {
    int level;
    IntRect rect;
    vd::ui::Point origin;
    int cells;  // grid cells the rectangle spans
  };
  const Case cases[] = {
      {0, {0, 0, 512, 256}, {0, 0}, 2},
      {0, {10, 20, 210, 120}, {100, 40}, 2},  // corner off the 256 grid
      {1, {0, 0, 256, 256}, {0, 0}, 1},
      {-1, {5, 5, 580, 380}, {30, 17}, 6},
      {3, {0, 0, 100, 100}, {-50, 8}, 2},  // origin left of the chart
      {2, {0, 0, 256, 256}, {0, 0}, 1},
      {1, {0, 0, 256, 256}, {128, 0}, 2},  // the chart's right edge inside the rectangle
  };
  for (const Case& c : cases) {
    wanted_cells_ = c.cells;
    const vd::ui::Image image = DrawSettled(c.rect, c.origin, c.level);
    int wrong = 0;
    for (int py = c.rect.top; py < c.rect.bottom; ++py) {
      for (int px = c.rect.left; px < c.rect.right; ++px) {
        const vd::ui::Argb want = Expected(px, py, c.rect.left, c.rect.top, c.origin, c.level);
        if (image.Pixel(px, py) != want && wrong++ < 3) {
          ADD_FAILURE() << "level " << c.level << " at " << px << "," << py << ": " << std::hex
                        << image.Pixel(px, py) << " instead of " << want;
        }
      }
    }
    EXPECT_EQ(0, wrong) << "level " << c.level;
  }
}

TEST_F(CachedChart, NeighbourLevelsStandInWhileTilesAreDecoded) {
  const IntRect rect{0, 0, 512, 512};
  wanted_cells_ = 4;
  const vd::ui::Image base = DrawSettled(rect, {0, 0}, 0);
  EXPECT_EQ(base.Pixel(300, 10), Expected(300, 10, 0, 0, {0, 0}, 0));

  // Zoomed in one step: the level-0 tiles, stretched, show at once.
  const vd::ui::Image in = Draw(rect, {0, 0}, -1);
  for (const auto& [px, py] : {std::pair{4, 4}, {300, 10}, {10, 300}, {260, 259}}) {
    EXPECT_TRUE(NearStandIn(in.Pixel(px, py), px, py, -1)) << px << "," << py;
  }

  // Zoomed out one step (from level 0): the level-0 tiles, shrunk, show at once.
  wanted_cells_ = 4;
  DrawSettled(rect, {0, 0}, 0);
  const vd::ui::Image out = Draw(rect, {0, 0}, 1);
  for (const auto& [px, py] : {std::pair{4, 4}, {100, 60}, {180, 120}}) {
    EXPECT_TRUE(NearStandIn(out.Pixel(px, py), px, py, 1)) << px << "," << py;
  }
  EXPECT_EQ(out.Pixel(300, 300), kBackground) << "no neighbour tile there: nothing drawn";
}

TEST_F(CachedChart, StopsAndRestartsItsDecoders) {
  vd::ui::Image image(600, 400, kBackground);
  vd::ui::Surface dc(image);
  bool incomplete = false;
  // Many tiles queued, then stopped at once: the decoders end and the queue is freed.
  ASSERT_TRUE(cache_.DrawTiles(dc, {0, 0, 4096, 4096}, {0, 0}, -4, incomplete));
  EXPECT_TRUE(cache_.has_worker());
  int invalidated = 0;
  cache_.SetInvalidate([&] { ++invalidated; });
  cache_.Reset();
  EXPECT_FALSE(cache_.has_worker());
  EXPECT_TRUE(cache_.tiles().empty());
  EXPECT_EQ(invalidated, 1);

  wanted_cells_ = 1;
  const vd::ui::Image after = DrawSettled({0, 0, 256, 256}, {0, 0}, 0);
  EXPECT_EQ(after.Pixel(10, 10), Expected(10, 10, 0, 0, {0, 0}, 0)) << "a new worker after Reset";

  ASSERT_TRUE(cache_.DrawTiles(dc, {0, 0, 4096, 4096}, {0, 0}, -4, incomplete));
  cache_.StopWorkers();
  EXPECT_EQ(cache_.chart(), nullptr);
  EXPECT_FALSE(cache_.DrawTiles(dc, {0, 0, 256, 256}, {0, 0}, 0, incomplete));
  EXPECT_EQ(cache_.SetChart(dir_.File("missing.qct")), -1);
  EXPECT_EQ(cache_.chart(), nullptr);
}

}  // namespace
