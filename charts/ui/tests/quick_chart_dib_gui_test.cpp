#include "charts/ui/quick_chart_dib.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "charts/old_quick_chart.h"
#include "charts/old_quick_chart1.h"
#include "core/helper_thread.h"
#include "platform/os/message_queue.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;
using vd::test::FixturePixel;
using vd::ui::Argb;

constexpr uint32_t kTileDone = vd::os::kUserMessage + 1;
constexpr Argb kBackground = 0xFF010203;

// The screen colour of a palette index of the chart's current palette.
Argb ScreenColour(const COldQuickChart& chart, int index) {
  const uint8_t* q = chart.palette().data() + 4 * index;
  return vd::ui::MakeArgb(0xFF, q[2], q[1], q[0]);
}

// The tile's expected pixels, from the chart's own rendering of its area.
std::vector<uint8_t> ChartArea(COldQuickChart& chart, int x, int y, int zoom) {
  std::vector<uint8_t> indices(128 * 128);
  EXPECT_EQ(0, chart.RenderPaletteArea(x, y, 128, 128, 128, zoom, indices.data()));
  return indices;
}

void ExpectTileAt(const vd::ui::Image& image, vd::ui::Point at, const COldQuickChart& chart,
                  const std::vector<uint8_t>& indices) {
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      ASSERT_EQ(ScreenColour(chart, indices[size_t(y * 128 + x)]), image.Pixel(at.x + x, at.y + y))
          << x << "," << y;
    }
  }
}

class QuickChartDibTest : public testing::Test {
 protected:
  void SetUp() override {
    fixture.width = 5;
    fixture.height = 4;
    ASSERT_TRUE(vd::test::WriteChartFixture(dir.File("chart.qct"), fixture));
    chart = OpenOldQuickChart(dir.File("chart.qct"), false);
    ASSERT_NE(nullptr, chart);
  }

  vd::test::TempDir dir;
  ChartFixture fixture;
  std::unique_ptr<COldQuickChart> chart;
};

TEST_F(QuickChartDibTest, TileNeverRenderedDrawsGreySquare) {
  vd::ui::Image image(200, 200, kBackground);
  CQuickChartDib tile;
  EXPECT_TRUE(tile.IsReady());
  EXPECT_FALSE(tile.IsWanted());
  {
    vd::ui::Surface surface(image);
    tile.Draw(surface, {10, 20});
  }
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 200; ++x) {
      const bool inside = x >= 10 && x < 138 && y >= 20 && y < 148;
      ASSERT_EQ(inside ? 0xFF808080u : kBackground, image.Pixel(x, y)) << x << "," << y;
    }
  }
}

TEST_F(QuickChartDibTest, HelperThreadsDeliverTilesThatDrawTheChart) {
  struct Place {
    int x, y, zoom;
    vd::ui::Point screen;
  };
  const std::vector<Place> places = {
      {0, 0, 0, {0, 0}},      {128, 0, 0, {128, 0}},  {0, 128, 0, {0, 128}},
      {128, 128, 0, {128, 128}}, {0, 0, 1, {256, 0}},  {64, 32, -1, {256, 128}},
      {256, 192, 0, {0, 256}},  // partly outside the chart
  };
  std::vector<std::unique_ptr<CQuickChartDib>> tiles;
  for (const Place& p : places) {
    tiles.push_back(std::make_unique<CQuickChartDib>());
    ASSERT_TRUE(tiles.back()->Assign(chart.get(), p.x, p.y, p.zoom));
    EXPECT_FALSE(tiles.back()->IsReady());
    EXPECT_TRUE(tiles.back()->IsWanted());
  }

  // The view's window: marks each finished tile ready, as the view does.
  std::set<CQuickChartDib*> received;
  int helpers_ended = 0;
  vd::os::MessageWindow window([&](const vd::os::Message& m) -> intptr_t {
    if (m.msg != kTileDone) return 0;
    if (m.lparam == 0) {
      ++helpers_ended;
      return 0;
    }
    auto* tile = reinterpret_cast<CQuickChartDib*>(m.lparam);
    tile->ready = true;
    received.insert(tile);
    return 0;
  });
  const auto wait_for_all = [&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (received.size() < tiles.size() && std::chrono::steady_clock::now() < deadline) {
      window.WaitAndDispatch(100);
    }
    ASSERT_EQ(tiles.size(), received.size());
  };
  {
    CHelperThread prefetch(
        [](QNode* item) { return static_cast<CQuickChartDib*>(item)->Prefetch(); }, &window,
        kTileDone, nullptr);
    CHelperThread render(
        [](QNode* item) { return static_cast<CQuickChartDib*>(item)->Render(); }, &window,
        kTileDone, nullptr);

    for (auto& tile : tiles) prefetch.queue().Put(tile.get());
    wait_for_all();
    for (auto& tile : tiles) EXPECT_EQ(nullptr, tile->image()) << "prefetching renders nothing";

    received.clear();
    for (auto& tile : tiles) {
      tile->ready = false;
      render.queue().Put(tile.get());
    }
    wait_for_all();
  }
  // Both helpers said they ended.
  while (helpers_ended < 2 && window.WaitAndDispatch(60000)) {
  }
  EXPECT_EQ(2, helpers_ended);

  vd::ui::Image screen(384, 384, kBackground);
  {
    vd::ui::Surface surface(screen);
    for (size_t i = 0; i < tiles.size(); ++i) {
      ASSERT_TRUE(tiles[i]->IsReady());
      ASSERT_FALSE(tiles[i]->IsIncomplete());
      tiles[i]->Draw(surface, places[i].screen);
    }
  }
  // Zoom 0 tiles are the chart's pixels themselves.
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      ASSERT_EQ(ScreenColour(*chart, FixturePixel(fixture, x, y)), screen.Pixel(x, y));
    }
  }
  for (size_t i = 4; i < places.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectTileAt(screen, places[i].screen, *chart,
                 ChartArea(*chart, places[i].x, places[i].y, places[i].zoom));
  }
}

// A tile is converted as it is drawn at first and keeps a 32-bit copy from its third draw on;
// every draw, before and after the tile is rendered again, shows its current pixels.
TEST_F(QuickChartDibTest, RenderedAgainDrawsTheNewPixels) {
  chart->SetDimPalette(true);
  CQuickChartDib tile;
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{128, 64}}) {
    ASSERT_TRUE(tile.Assign(chart.get(), x, y, 0));
    EXPECT_EQ(0, tile.Render());
    for (int draw = 1; draw <= 4; ++draw) {
      SCOPED_TRACE("area at " + std::to_string(x) + "," + std::to_string(y) + ", draw " +
                   std::to_string(draw));
      vd::ui::Image screen(128, 128, kBackground);
      {
        vd::ui::Surface surface(screen);
        tile.Draw(surface, {0, 0});
      }
      ExpectTileAt(screen, {0, 0}, *chart, ChartArea(*chart, x, y, 0));  // in dimmed colours
    }
  }
}

TEST_F(QuickChartDibTest, TileWithoutChartBecomesDead) {
  CQuickChartDib tile;
  ASSERT_TRUE(tile.Assign(chart.get(), 0, 0, 0));
  ASSERT_EQ(0, tile.Render());
  ASSERT_NE(nullptr, tile.image());
  tile.Release();
  EXPECT_FALSE(tile.IsWanted());
  EXPECT_TRUE(tile.IsReady());
  EXPECT_FALSE(tile.IsValid());
  EXPECT_EQ(nullptr, tile.image());
  EXPECT_EQ(CDibType::kNoPosition, tile.x);

  EXPECT_EQ(0, tile.Render());
  EXPECT_EQ(CDibType::kNoLevel, tile.level);
  EXPECT_EQ(nullptr, tile.image());
  EXPECT_EQ(1, tile.Prefetch());
  EXPECT_EQ(CDibType::kNoLevel, tile.level);
}

// A chart whose tile (1, 0) is missing while `missing` is set.
class MissingTileChart : public COldQuickChart1 {
 public:
  int ReadTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer) override {
    if (missing && col == 1 && row == 0) return 1;
    return COldQuickChart1::ReadTile(col, row, shift, buffer);
  }
  bool missing = true;
};

TEST_F(QuickChartDibTest, MissingChunkLeavesTileIncompleteUntilRenderedWhole) {
  MissingTileChart missing_chart;
  ASSERT_EQ(COldQuickChart::kOpened, missing_chart.Open(dir.File("chart.qct"), false));
  CQuickChartDib tile;
  ASSERT_TRUE(tile.Assign(&missing_chart, 0, 0, 0));
  EXPECT_EQ(1, tile.Render());
  EXPECT_TRUE(tile.IsIncomplete());
  missing_chart.missing = false;
  EXPECT_EQ(0, tile.Render());
  EXPECT_FALSE(tile.IsIncomplete());
  EXPECT_EQ(0, tile.Prefetch());
}

}  // namespace
