#include "charts/chart_merge.h"

#include <gtest/gtest.h>

#include "charts/old_quick_chart.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;

TEST(ReducePalette, StartsWithBlackAndWhiteAndMapsToTheNearest) {
  std::vector<uint32_t> blacks(5, 0);
  std::vector<uint8_t> map(5, 9);
  EXPECT_EQ(2, ReducePalette(blacks.data(), 5, map.data(), 128, nullptr));
  EXPECT_EQ((std::vector<uint32_t>{0, 0xFFFFFF, 0, 0, 0}), blacks);
  EXPECT_EQ(std::vector<uint8_t>(5, 0), map);

  // Room for six: the heaviest colour first (up to half the room), then the farthest ones.
  std::vector<uint32_t> colours = {0x102030, 0xFF0000, 0xFE0101, 0x0000FF, 0x00FF00};
  const std::vector<uint32_t> weights = {1, 1, 50, 2, 1};
  std::vector<uint8_t> to(5);
  EXPECT_EQ(5, ReducePalette(colours.data(), 5, to.data(), 6, weights.data()));
  EXPECT_EQ(0xFE0101u, colours[2]);
  EXPECT_EQ((std::vector<uint8_t>{0, 2, 2}), std::vector<uint8_t>(to.begin(), to.begin() + 3));
}

TEST(BuildBlendTable, MixesFarFromThePaletteBecomeEntries) {
  std::array<uint32_t, 128> palette{};
  palette[1] = 0xFFFFFF;
  std::array<uint8_t, kQctBlendTableSize> table{};
  BuildBlendTable(palette, table);
  EXPECT_EQ(0x7F7F7Fu, palette[2]);
  EXPECT_EQ(2, table[0 * 128 + 1]);
  EXPECT_EQ(2, table[1 * 128 + 0]);
  EXPECT_EQ(0, table[0]);
  EXPECT_EQ(1, table[1 * 128 + 1]);
}

TEST(ResampleQuad, CopiesTurnsAndBlends) {
  // A 4 x 4 source whose pixel (x, y) = 4y + x.
  std::array<uint8_t, 16> source;
  for (int i = 0; i < 16; ++i) source[size_t(i)] = uint8_t(i);
  std::array<uint8_t, 128> identity;
  for (int i = 0; i < 128; ++i) identity[size_t(i)] = uint8_t(i);
  const struct {
    std::array<PlanePoint, 4> quad;
    std::array<uint8_t, 16> want;
  } cases[] = {
      {{PlanePoint{0.5, 0.5}, {4.5, 0.5}, {0.5, 4.5}, {4.5, 4.5}}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      // Mirrored left to right.
      {{PlanePoint{3.5, 0}, {-0.5, 0}, {3.5, 4}, {-0.5, 4}},
       {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12}},
  };
  for (const auto& c : cases) {
    std::array<uint8_t, 16> out{};
    ResampleQuad(out.data(), 4, 4, 4, source.data(), 4, 4, 4, c.quad, identity.data(), nullptr);
    EXPECT_EQ(c.want, out);
  }
  // With a blend table T[a][b] = max(a, b), a sample on a column boundary takes its neighbour.
  std::vector<uint8_t> table(kQctBlendTableSize);
  for (int a = 0; a < 128; ++a) {
    for (int b = 0; b < 128; ++b) table[size_t(a * 128 + b)] = uint8_t(std::max(a, b));
  }
  std::array<uint8_t, 16> out{};
  ResampleQuad(out.data(), 4, 4, 4, source.data(), 4, 4, 4,
               {PlanePoint{0.75, 0.25}, {4.75, 0.25}, {0.75, 4.25}, {4.75, 4.25}}, identity.data(),
               table.data());
  EXPECT_EQ(1, out[0]);    // wx = 0.25: blended with the pixel to the right
  EXPECT_EQ(15, out[15]);  // clamped at the source's edge
}

class MergeTest : public testing::Test {
 protected:
  // A solid chart of `colour`, 4 x 4 tiles, whose pixel (0, 0) is at (north, west).
  std::string Chart(const std::string& name, uint8_t colour, double north, double west,
                    double degrees = 1.0 / 3600, uint32_t flags = 0) {
    ChartFixture chart;
    chart.width = 4;
    chart.height = 4;
    chart.flags = flags;
    chart.image.assign(256 * 256, colour);
    chart.georef = ChartFixture::LinearGeoref(north, west, degrees);
    chart.texts = {{kQctScale, "1:10000"}, {kQctTitle, name}};
    const std::string path = dir.File(name + ".qct");
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    return path;
  }
  static uint32_t Colour(const COldQuickChart& chart, int index) {
    const uint8_t* q = chart.palette().data() + 4 * index;
    return uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
  }

  vd::test::TempDir dir;
};

TEST_F(MergeTest, SourceBesideTheBaseWidensTheFrameAndKeepsItsColours) {
  const std::string base_path = Chart("west", 5, 50, -5);
  // Overlapping the base and reaching past it to the east and south.
  const std::string east = Chart("east", 9, 50 - 50.0 / 3600, -5 + 200.0 / 3600);
  const auto base = OpenOldQuickChart(base_path, false);
  ASSERT_NE(nullptr, base);
  std::vector<int> steps;
  ChartFileTask task;
  task.progress = [&steps](const std::string& text, int done, int) {
    EXPECT_EQ("Merging Maps...", text);
    steps.push_back(done);
    return true;
  };
  const std::string out_path = dir.File("merged.qct");
  const std::vector<std::string> sources = {east};
  ASSERT_TRUE(base->Merge(out_path, sources, false, nullptr, task));
  EXPECT_EQ((std::vector<int>{0, 1, 2}), steps);  // two rows of blocks
  const auto merged = OpenOldQuickChart(out_path, false);
  ASSERT_NE(nullptr, merged);
  EXPECT_EQ(512, merged->width());
  EXPECT_EQ(320, merged->height());
  EXPECT_TRUE(merged->header().flags & kQctFlagMerged);
  std::string name;
  merged->GetHeaderString(kQctName, name);
  EXPECT_EQ("Merged 1:10000", name);

  const auto east_chart = OpenOldQuickChart(east, false);
  std::array<uint8_t, kTilePixels> tile;
  ASSERT_EQ(0, merged->ReadTile(1, 1, 0, tile));
  EXPECT_EQ(Colour(*base, 5), Colour(*merged, tile[0]));
  ASSERT_EQ(0, merged->ReadTile(6, 2, 0, tile));
  EXPECT_EQ(Colour(*east_chart, 9), Colour(*merged, tile[100])) << int(tile[100]);
  ASSERT_EQ(0, merged->ReadTile(5, 3, 0, tile));
  EXPECT_EQ(Colour(*east_chart, 9), Colour(*merged, tile[0])) << int(tile[0]);
  ASSERT_EQ(0, merged->ReadTile(2, 0, 0, tile));  // the base where the source does not reach
  EXPECT_EQ(Colour(*base, 5), Colour(*merged, tile[0]));
  double lat, lon;
  merged->PixelToLatLon(300, 100, lat, lon);
  EXPECT_NEAR(-5 + 300.0 / 3600, lon, 1e-7);
}

TEST_F(MergeTest, ChoosingTheBaseAndCompatibleCharts) {
  const std::string a = Chart("a", 5, 50, -5);
  const std::string b = Chart("b", 9, 50, -4.9, 2.0 / 3600);
  std::vector<std::string> errors;
  ChartFileTask task;
  task.show_error = [&errors](const std::string& text) { errors.push_back(text); };
  const MergeOutline outlines[] = {{a, {49.96, -4.96}, 0, 1.0 / 60}, {b, {49.93, -4.83}, 0, 2.0 / 60}};
  EXPECT_FALSE(MergeChartOutlines(dir.File("m.qct"), outlines, false, nullptr, task));
  EXPECT_EQ(std::vector<std::string>{"No compatible maps selected\n"}, errors);

  // An earlier merge is the base, whatever the centres; its own outline list may then hold
  // charts of its scale.
  const std::string merged = Chart("merged", 7, 50, -5, 2.0 / 3600, kQctFlagMerged);
  const MergeOutline with_merge[] = {
      {a, {49.96, -4.96}, 0, 1.0 / 60},
      {merged, {49.9, -4.9}, kQctFlagMerged, 2.0 / 60},
      {b, {49.93, -4.83}, 0, 2.0 / 60}};
  const std::string name = "Joined";
  ASSERT_TRUE(MergeChartOutlines(dir.File("m.qct"), with_merge, true, &name, task));
  const auto out = OpenOldQuickChart(dir.File("m.qct"), false);
  ASSERT_NE(nullptr, out);
  EXPECT_EQ("Joined", out->title());
}

}  // namespace
