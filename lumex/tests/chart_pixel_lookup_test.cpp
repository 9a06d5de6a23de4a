#include "lumex/chart_pixel_lookup.h"

#include <gtest/gtest.h>

#include <cstring>

#include "charts/old_quick_chart1.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

uint32_t PaletteColour(const COldQuickChart& chart, int index) {
  uint32_t colour = 0;
  std::memcpy(&colour, chart.palette().data() + 4 * index, 4);
  return colour;
}

class ChartPixelLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vd::test::WriteChartFixture(dir_.File("c.qct"), fixture_));
    chart_ = OpenOldQuickChart(dir_.File("c.qct"), false);
    ASSERT_NE(chart_, nullptr);
  }
  // The colour chart pixel (x, y) has in the fixture.
  uint32_t Expected(int x, int y) const {
    return PaletteColour(*chart_, vd::test::FixturePixel(fixture_, x, y));
  }

  vd::test::TempDir dir_;
  vd::test::ChartFixture fixture_;  // 2 x 2 tiles
  std::unique_ptr<COldQuickChart> chart_;
};

TEST_F(ChartPixelLookupTest, GivesThePaletteColourOfEachPixel) {
  ChartPixelLookup lookup(*chart_);
  // Hopping between tiles and back checks that a re-read tile replaces the kept one.
  const int points[][2] = {{0, 0}, {63, 0}, {64, 0}, {5, 70}, {127, 127}, {1, 1}, {100, 3}};
  for (const auto& p : points) {
    EXPECT_EQ(lookup.GetPixelColour(p[0], p[1], 0), Expected(p[0], p[1])) << p[0] << "," << p[1];
  }
  // The test palette gives red 255 - i, green 2i, blue i for index i.
  const int index = vd::test::FixturePixel(fixture_, 63, 0);
  EXPECT_EQ(lookup.GetPixelColour(63, 0, 0),
            static_cast<uint32_t>((255 - index) << 16 | (2 * index & 255) << 8 | index));
}

TEST_F(ChartPixelLookupTest, AReducedZoomShowsTheFirstRowOfEachGroup) {
  ChartPixelLookup lookup(*chart_);
  for (int shift : {1, 2, 6}) {
    for (int y = 64; y < 72; ++y) {
      const int shown = y & ~((1 << shift) - 1);
      EXPECT_EQ(lookup.GetPixelColour(70, y, shift), Expected(70, shown))
          << "shift " << shift << " row " << y;
    }
  }
  // Shifts beyond the tile's rows are clamped.
  EXPECT_EQ(lookup.GetPixelColour(3, 40, 9), Expected(3, 0));
  EXPECT_EQ(lookup.GetPixelColour(3, 40, -1), Expected(3, 40));
}

// A chart whose tiles in column 1 can't be read; the reader leaves junk in the buffer.
class ChartWithMissingTiles : public COldQuickChart1 {
 public:
  int ReadTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer) override {
    if (col == 1) {
      std::memset(buffer.data(), 77, buffer.size());
      return 1;
    }
    return COldQuickChart1::ReadTile(col, row, shift, buffer);
  }
};

TEST_F(ChartPixelLookupTest, TilesThatCantBeReadShowPaletteEntryOne) {
  ChartWithMissingTiles chart;
  ASSERT_EQ(chart.Open(dir_.File("c.qct"), false), COldQuickChart::kOpened);
  ChartPixelLookup lookup(chart);
  EXPECT_EQ(lookup.GetPixelColour(64, 0, 0), PaletteColour(chart, 1));
  EXPECT_EQ(lookup.GetPixelColour(127, 63, 0), PaletteColour(chart, 1));
  EXPECT_EQ(lookup.GetPixelColour(10, 10, 0), Expected(10, 10));
  // Outside the chart the reader itself gives index 1.
  EXPECT_EQ(lookup.GetPixelColour(-5, 10, 0), PaletteColour(chart, 1));
}

}  // namespace
