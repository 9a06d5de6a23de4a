#include "charts/quick_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "charts/chart_reader_services.h"
#include "charts/quick_chart1.h"
#include "charts/quick_chart3.h"
#include "charts/tests/quick_chart3_fixture.h"
#include "platform/os/files.h"

namespace {

using Tile = std::array<uint8_t, kTilePixels>;
using vd::test::ChartFixture;

class QuickChartTest : public vd::test::QuickChart3Test {
 protected:
  void SetUp() override {
    QuickChart3Test::SetUp();
    ChartReaderServices services;
    services.show_error = [this](const std::string& text) { messages.push_back(text); };
    SetChartReaderServices(services);
  }
  void TearDown() override {
    SetChartReaderServices({});
    QuickChart3Test::TearDown();
  }
  std::string Write(const ChartFixture& chart, const std::string& name = "chart.qct") {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    return path;
  }

  std::vector<std::string> messages;
};

TEST_F(QuickChartTest, FactoryPicksTheReaderByVersionOrRefuses) {
  struct Case {
    uint32_t magic;
    uint32_t version;
    const char* reader;   // "1", "3" or "" for none
    const char* message;  // start of the message shown, "" for none
  };
  const Case cases[] = {
      {kQctMagic, 4, "1", ""},
      {kQctMagicAccepted, 0, "1", ""},
      {kQctMagicAccepted, 0x20000001, "3", ""},
      {kQctMagic, 0x01000002, "3", ""},
      {kQctMagic, 0x10000001, "", ""},
      {kQctMagic, 0x30000000, "", ""},
      {0x1423D5FD, 4, "", ""},
      {kQctMagic, 0x00000006, "", "To open this map you need a newer version of your software."},
      {kQctMagic, 0x20000009, "", "To open this map you need a newer version of your software."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.magic << " " << c.version);
    messages.clear();
    ChartFixture fixture;
    fixture.magic = c.magic;
    fixture.version = c.version;
    fixture.reference = c.version >= 0x01000000;  // chunk-store charts hold no tiles
    const std::unique_ptr<CQuickChart> chart = OpenChart(Write(fixture));
    const std::string reader = dynamic_cast<CQuickChart1*>(chart.get())   ? "1"
                               : dynamic_cast<CQuickChart3*>(chart.get()) ? "3"
                                                                          : "";
    EXPECT_EQ(c.reader, reader);
    if (*c.message == '\0') {
      EXPECT_TRUE(messages.empty()) << messages.front();
    } else {
      ASSERT_EQ(1u, messages.size());
      EXPECT_EQ(0u, messages[0].find(c.message)) << messages[0];
    }
  }
  messages.clear();
  EXPECT_EQ(nullptr, OpenChart(dir.File("missing.qct")));
  EXPECT_TRUE(messages.empty());
}

TEST_F(QuickChartTest, DamagedFilesFailWithTheirMessageAndStayUnchanged) {
  ChartFixture base;
  const std::string good = Write(base, "good.qct");
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(good, bytes));

  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  };
  std::string negative = bytes;
  const int32_t minus_one = -1;
  std::memcpy(negative.data() + 8, &minus_one, 4);
  std::string huge = bytes;
  const int32_t many = 0x7FFFFF;
  std::memcpy(huge.data() + 12, &many, 4);
  ChartFixture catalogue;
  catalogue.reference = true;
  std::string catalogue_bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(Write(catalogue, "cat.qct"), catalogue_bytes));
  const Case cases[] = {
      {"cut.qct", bytes.substr(0, kQctHeaderSize + 8), "Failed to open map: \""},
      {"header.qct", bytes.substr(0, 200), "Failed to open map: \""},
      {"negative.qct", negative, "Failed to open map: \""},
      {"huge.qct", huge, "Failed to open map: \""},
      {"catalogue.qct", catalogue_bytes,
       "This map is a catalog header and has not been completely converted."},
      {"qc2.qct", std::string("\xFF\xD5\x23\x14\x01\x00\x00\x10", 8) + bytes.substr(8),
       "This QC2 map is not compatible"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    const std::string path = dir.File(c.name);
    vd::test::WriteBytesFile(path, c.bytes);
    CQuickChart1 reader;
    EXPECT_EQ(-1, reader.Open(path));
    EXPECT_FALSE(reader.IsOpened());
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(0u, messages[0].find(c.message)) << messages[0];
    std::string after;
    ASSERT_TRUE(vd::os::ReadWholeFile(path, after));
    EXPECT_EQ(c.bytes, after);
  }
}

TEST_F(QuickChartTest, TiledChartGivesItsTilesAtEveryShift) {
  ChartFixture fixture;
  fixture.width = 3;
  fixture.height = 2;
  const std::unique_ptr<CQuickChart> chart = OpenChart(Write(fixture));
  ASSERT_NE(nullptr, chart);
  EXPECT_EQ(3 * 64, chart->width());
  EXPECT_EQ(2 * 64, chart->height());
  EXPECT_EQ(0, std::memcmp(fixture.palette.data(), chart->palette().data(), 512));
  QuickChartTileContext context;
  Tile tile;
  for (int shift = 0; shift <= CQuickChart::kMaxShift; ++shift) {
    for (auto [col, row] : {std::pair{0, 0}, std::pair{2, 1}, std::pair{1, 0}}) {
      SCOPED_TRACE(testing::Message() << shift << " " << col << "," << row);
      tile.fill(200);
      ASSERT_EQ(0, chart->GetTile(col, row, shift, tile, context));
      const int rows = kTileSide >> shift;
      for (int s = 0; s < rows; ++s) {
        for (int x = 0; x < kTileSide; x += 7) {
          ASSERT_EQ(vd::test::FixturePixel(fixture, col * 64 + x, row * 64 + ReverseBits6(s)),
                    tile[size_t(s) * kTileSide + size_t(x)]);
        }
      }
      // Rows past the shift's are left alone.
      EXPECT_TRUE(std::all_of(tile.begin() + rows * kTileSide, tile.end(),
                              [](uint8_t v) { return v == 200; }));
    }
  }
  // Outside: colour 1 over the shift's rows only.
  tile.fill(200);
  ASSERT_EQ(0, chart->GetTile(-1, 0, 2, tile, context));
  EXPECT_TRUE(std::all_of(tile.begin(), tile.begin() + 1024, [](uint8_t v) { return v == 1; }));
  EXPECT_TRUE(std::all_of(tile.begin() + 1024, tile.end(), [](uint8_t v) { return v == 200; }));
  for (auto [col, row] : {std::pair{3, 0}, std::pair{0, 2}, std::pair{0, -1}}) {
    ASSERT_EQ(0, chart->GetTile(col, row, 0, tile, context));
    EXPECT_TRUE(std::all_of(tile.begin(), tile.end(), [](uint8_t v) { return v == 1; }));
  }
}

TEST_F(QuickChartTest, RenderTileRepeatsOrBlendsTheStoredPixels) {
  // Every pixel differs from its neighbours both ways, and the blend table is lopsided, so a
  // sample taken from the wrong place or blended in the wrong order shows.
  ChartFixture fixture;
  fixture.width = 6;  // 384 x 320 chart pixels
  fixture.height = 5;
  for (int y = 0; y < 320; ++y) {
    for (int x = 0; x < 384; ++x) fixture.image.push_back(uint8_t((5 * x + 11 * y + (x ^ y)) % 128));
  }
  fixture.blend = ChartFixture::SkewedBlendTable();
  const std::unique_ptr<CQuickChart> chart = OpenChart(Write(fixture));
  ASSERT_NE(nullptr, chart);
  struct Case {
    int level;
    int64_t x, y;  // chart pixel at the block's corner
  };
  const Case cases[] = {
      {-2, 40, 24},   // magnified 4 x, corner inside a tile
      {-1, 320, 256},
      {0, 64, 0},
      {0, -128, 192},  // partly off the chart
      {1, 0, 0},
      {1, 128, 64},
      {2, 0, 0},
      {3, 0, 0},
      {3, -1024, 0},
      {6, 0, 0},  // one output pixel a tile
      {7, 0, 0},  // one output pixel over four tiles
  };
  constexpr int kSide = CQuickChart::kRenderSide;
  std::vector<uint32_t> block(kSide * kSide);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " at " << c.x << "," << c.y);
    QuickChartTileContext context;
    std::fill(block.begin(), block.end(), 0u);
    ASSERT_EQ(0, chart->RenderTile(c.x, c.y, c.level, block.data(), kSide, context));
    EXPECT_FALSE(context.incomplete);
    int wrong = 0;
    for (int j = 0; j < kSide; ++j) {
      for (int i = 0; i < kSide; ++i) {
        const int64_t x = c.level >= 0 ? c.x + (int64_t(i) << c.level) : c.x + (i >> -c.level);
        const int64_t y = c.level >= 0 ? c.y + (int64_t(j) << c.level) : c.y + (j >> -c.level);
        const uint32_t want =
            vd::test::FixtureColour(fixture, vd::test::FixtureViewIndex(fixture, x, y, c.level));
        if (block[size_t(j) * kSide + size_t(i)] != want && wrong++ < 3) {
          ADD_FAILURE() << "output pixel " << i << "," << j << ": " << std::hex
                        << block[size_t(j) * kSide + size_t(i)] << " instead of " << want;
        }
      }
    }
    EXPECT_EQ(0, wrong);
  }
}

TEST_F(QuickChartTest, UnreachableOrDamagedTilesShowColourZero) {
  ChartFixture fixture;
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(Write(fixture), bytes));
  // Tile 1 points past the end; tile 2 has an unknown type byte.
  const uint32_t past_end = uint32_t(bytes.size() + 100);
  std::memcpy(bytes.data() + kQctHeaderSize + 4, &past_end, 4);
  uint32_t tile2;
  std::memcpy(&tile2, bytes.data() + kQctHeaderSize + 8, 4);
  bytes[tile2] = char(128);
  vd::test::WriteBytesFile(dir.File("bad.qct"), bytes);
  const std::unique_ptr<CQuickChart> chart = OpenChart(dir.File("bad.qct"));
  ASSERT_NE(nullptr, chart);
  QuickChartTileContext context;
  Tile tile;
  for (auto [col, row] : {std::pair{1, 0}, std::pair{0, 1}}) {
    tile.fill(9);
    ASSERT_EQ(0, chart->GetTile(col, row, 0, tile, context));
    EXPECT_TRUE(std::all_of(tile.begin(), tile.end(), [](uint8_t v) { return v == 0; }));
  }
}

TEST_F(QuickChartTest, PositionsCarryTheDatumShiftAndWrapAtTheAntimeridian) {
  ChartFixture fixture;
  fixture.width = 4;
  fixture.height = 4;
  fixture.georef = ChartFixture::LinearGeoref(10.0, 179.98, 1.0 / 3600.0);
  fixture.datum_shift = QctDatumShift{0.001, -0.002};
  fixture.texts = {{kQctTitle, "Caf\xC3\xA9 Bay"}};
  const std::unique_ptr<CQuickChart> chart = OpenChart(Write(fixture));
  ASSERT_NE(nullptr, chart);
  EXPECT_TRUE(chart->has_datum_shift());

  const GeoPoint p = chart->PixelToLatLon(36, 72);
  EXPECT_NEAR(10.0 - 72.0 / 3600 + 0.001, p.lat, 1e-9);
  EXPECT_NEAR(179.98 + 36.0 / 3600 - 0.002, p.lon, 1e-9);
  const PlanePoint back = chart->LatLonToPixel(p.lat, p.lon);
  EXPECT_NEAR(36, back.x, 1e-6);
  EXPECT_NEAR(72, back.y, 1e-6);
  // The chart spans 179.98 E to 180.05 E: a position given as 179.97 W lies on it.
  const PlanePoint east = chart->LatLonToPixel(10.0 + 0.001, -179.97 - 0.002);
  EXPECT_NEAR(0.05 * 3600, east.x, 1e-6);
  EXPECT_NEAR(1.0 / 60, chart->ScaleAt(0, 0), 1e-12);  // a second of latitude per pixel

  // Corner outline: clockwise from the top left, shift applied.
  std::vector<GeoPoint> outline;
  ASSERT_TRUE(chart->GetOutline(outline));
  ASSERT_EQ(4u, outline.size());
  const double corners[4][2] = {{0, 0}, {256, 0}, {256, 256}, {0, 256}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(10.0 - corners[i][1] / 3600 + 0.001, outline[i].lat, 1e-9);
    EXPECT_NEAR(179.98 + corners[i][0] / 3600 - 0.002, outline[i].lon, 1e-9);
  }

  // Stored outline: wrapped towards the centre, then shifted.
  fixture.outline = {{10.0, 179.99}, {10.0, -179.99}, {9.95, -179.99}};
  const std::unique_ptr<CQuickChart> outlined = OpenChart(Write(fixture, "outlined.qct"));
  ASSERT_NE(nullptr, outlined);
  ASSERT_TRUE(outlined->GetOutline(outline));
  ASSERT_EQ(3u, outline.size());
  EXPECT_NEAR(179.99 - 0.002, outline[0].lon, 1e-9);
  EXPECT_NEAR(180.01 - 0.002, outline[1].lon, 1e-9);
  EXPECT_NEAR(9.95 + 0.001, outline[2].lat, 1e-9);

  // Texts: mapped and through a file; offsets past the end give nothing.
  const uint32_t title = chart->header().title;
  EXPECT_EQ("Caf\xC3\xA9 Bay", chart->ReadText(title));
  EXPECT_EQ("", chart->ReadText(0));
  vd::os::File file;
  ASSERT_TRUE(file.Open(chart->path(), vd::os::File::Mode::Read));
  EXPECT_EQ("Caf\xC3\xA9 Bay", ReadTextFromFile(file, title));
  EXPECT_EQ("", ReadTextFromFile(file, 0));
  EXPECT_EQ("", ReadTextFromFile(file, 0x7FFFFFFF));
  ASSERT_NE(nullptr, chart->MapOffset(title));
  EXPECT_EQ('C', char(*chart->MapOffset(title)));
  EXPECT_EQ(nullptr, chart->MapOffset(uint64_t{1} << 40));
}

}  // namespace
