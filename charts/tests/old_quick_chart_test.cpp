#include "charts/old_quick_chart.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "charts/chart_reader_services.h"
#include "charts/dib_type.h"
#include "charts/old_quick_chart1.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"
#include "tests/default_servers.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;
using vd::test::FixturePixel;
using Tile = std::array<uint8_t, kTilePixels>;

// Installs services that record what the readers show and answer Retry/Cancel questions
// with Cancel.
class ChartReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    // A chunk-store chart opened here may look for its server: only loopback answers.
    vd::SetProfileLocation("Software\\Test\\ChartReader", settings_dir.path());
    vd::test::PointDefaultServersAt(vd::test::kNoServerPort);
    ChartReaderServices services;
    services.show_error = [this](const std::string& text) { errors.push_back(text); };
    services.ask_retry = [this](const std::string& text) {
      questions.push_back(text);
      return false;
    };
    services.update_magnetic_variation = [this](double lat, double lon, int64_t) {
      variation_positions.push_back({lat, lon});
    };
    SetChartReaderServices(services);
  }
  void TearDown() override {
    SetChartReaderServices({});
    vd::SetProfileLocation(vd::kDefaultProfileKey);
  }

  std::string Write(const ChartFixture& chart, const std::string& name = "chart.qct") {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    return path;
  }
  std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
  std::string WriteBytes(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::os::SaveFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
    return path;
  }

  vd::test::TempDir dir;
  vd::test::TempDir settings_dir;
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  std::vector<GeoPoint> variation_positions;
};

// A header followed by its tile index, every entry pointing at one single-leaf tile of colour
// 5 in the 8 bytes after the index: the smallest file a tiled chart can be.
std::vector<uint8_t> MinimalChart(int32_t width, int32_t height) {
  QuickChartHeader header;
  header.version = 4;
  header.width = width;
  header.height = height;
  const size_t tiles = size_t(width) * size_t(height);
  std::vector<uint8_t> bytes(header.Bytes().begin(), header.Bytes().end());
  const uint32_t tile_offset = uint32_t(kQctHeaderSize + 4 * tiles);
  for (size_t i = 0; i < tiles; ++i) {
    bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&tile_offset),
                 reinterpret_cast<const uint8_t*>(&tile_offset) + 4);
  }
  const uint8_t tile[8] = {0x00, 0x05};  // Huffman, the tree a single leaf 5
  bytes.insert(bytes.end(), tile, tile + 8);
  return bytes;
}

void SetWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

// Every tile of the chart at every zoom, so that a damaged file is read everywhere.
void RenderEverywhere(COldQuickChart& chart) {
  std::vector<uint8_t> out(256 * 256);
  for (int zoom = -2; zoom <= COldQuickChart::kMaxReduceShift; ++zoom) {
    const int step = zoom >= 0 ? 256 << zoom : 256 >> -zoom;
    for (int y = 0; y < chart.height(); y += step) {
      for (int x = 0; x < chart.width(); x += step) {
        EXPECT_EQ(0, chart.RenderPaletteArea(x, y, 256, 256, 256, zoom, out.data()));
      }
    }
  }
}

TEST_F(ChartReaderTest, GeneratedChartOpensWithItsMetadata) {
  ChartFixture fixture;
  fixture.width = 3;
  fixture.height = 2;
  fixture.texts = {{kQctTitle, "Long title"}, {kQctCopyright, "© Sample"}};
  fixture.aux_text = "aux";
  fixture.online_address = "https://example.invalid/chunks";
  const std::string path = Write(fixture);

  const auto chart = OpenOldQuickChart(path, true);
  ASSERT_NE(nullptr, chart);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(3 * 64, chart->width());
  EXPECT_EQ(2 * 64, chart->height());
  EXPECT_EQ(path, chart->GetFileName());
  EXPECT_EQ("Long title", chart->title());
  EXPECT_EQ("aux", chart->aux_text());
  EXPECT_EQ(8u, chart->online_source().size);
  EXPECT_NE(0u, chart->online_source().address);
  std::string copyright;
  chart->GetHeaderString(kQctCopyright, copyright);
  EXPECT_EQ("© Sample", copyright);
  chart->GetHeaderString(kQctEdition, copyright);
  EXPECT_EQ("", copyright);
  chart->GetHeaderString(uint32_t(kQctHeaderSize), copyright);  // beyond the header
  EXPECT_EQ("", copyright);
  EXPECT_TRUE(chart->HasGeoreference());
  EXPECT_TRUE(chart->IsFileReadable());
  EXPECT_FALSE(chart->has_datum_shift());
  EXPECT_FLOAT_EQ(0.0f, chart->north_angle());
  EXPECT_EQ(0, std::memcmp(chart->palette().data(), fixture.palette.data(), kQctPaletteSize));
  int cx, cy;
  chart->GetCentrePixel(cx, cy);
  EXPECT_EQ(96, cx);
  EXPECT_EQ(64, cy);
  // The variation is taken at the centre pixel.
  ASSERT_EQ(1u, variation_positions.size());
  EXPECT_NEAR(50.0 - 64.0 / 3600, variation_positions[0].lat, 1e-12);
  EXPECT_NEAR(-5.0 + 96.0 / 3600, variation_positions[0].lon, 1e-12);
  EXPECT_DOUBLE_EQ(1.0, chart->GetScaleRatio(fixture.georef));
}

TEST_F(ChartReaderTest, VersionsAndMagicsChooseReaderOrMessage) {
  struct Case {
    uint32_t magic;
    uint32_t version;
    bool opens;
    std::string message_start;  // empty: no message
  };
  const Case cases[] = {
      {kQctMagic, 0, true, ""},
      {kQctMagic, 5, true, ""},
      {kQctMagicAccepted, 2, true, ""},
      {kQctMagic, 6, false, "To open this map you need a newer version of your software.\n\n"},
      {kQctMagic, 0x01000002, false, "To open this map you need a newer version"},
      {kQctMagic, 0x10000003, false, ""},
      {kQctMagic, 0x30000000, false, ""},
      {kQctMagic, 0x20000001, false, ""},  // no chunk store beside it, and no server
      {0x1423D5FD, 4, false, "Not a QuickChart: \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.magic << " " << c.version);
    errors.clear();
    ChartFixture fixture;
    fixture.magic = c.magic;
    fixture.version = c.version;
    const std::string path = Write(fixture);
    const auto chart = OpenOldQuickChart(path, true);
    EXPECT_EQ(c.opens, chart != nullptr);
    if (c.message_start.empty()) {
      EXPECT_TRUE(errors.empty());
    } else {
      ASSERT_EQ(1u, errors.size());
      EXPECT_EQ(0u, errors[0].find(c.message_start)) << errors[0];
    }
  }
  errors.clear();
  ChartFixture fixture;
  fixture.version = 6;
  const std::string path = Write(fixture, "newer.qct");
  EXPECT_EQ(nullptr, OpenOldQuickChart(path, true));
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("To open this map you need a newer version of your software.\n\n" + path +
                " is version 6.",
            errors[0]);
}

TEST_F(ChartReaderTest, FileMustHoldHeaderIndexAndEightBytes) {
  const std::vector<uint8_t> bytes = MinimalChart(20, 20);
  ASSERT_EQ(0x45A8u + 1600u, bytes.size());
  const auto chart = OpenOldQuickChart(WriteBytes(bytes, "exact.qct"), false);
  ASSERT_NE(nullptr, chart);
  Tile tile;
  EXPECT_EQ(0, chart->ReadTile(19, 19, 0, tile));
  EXPECT_EQ(kTilePixels, std::count(tile.begin(), tile.end(), 5));

  const std::string short_path =
      WriteBytes(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1), "short.qct");
  EXPECT_EQ(nullptr, OpenOldQuickChart(short_path, false));
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("Failed to open map (2): \"" + short_path +
                "\"\nPlease close all chart windows, then close the application and re-launch "
                "it by double-clicking on the QCT file you want to load.",
            errors[0]);
}

TEST_F(ChartReaderTest, NegativeOrHugeSizesAreRefused) {
  const std::pair<int32_t, int32_t> sizes[] = {
      {-1, 1}, {1, -1}, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}, {0x10000, 0x10000},
      {1 << 26, 0},  // no index to hold, but 2^32 pixels wide
      {0, INT32_MAX},
  };
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    errors.clear();
    std::vector<uint8_t> bytes = MinimalChart(1, 1);
    SetWord(bytes, 8, uint32_t(width));
    SetWord(bytes, 12, uint32_t(height));
    EXPECT_EQ(nullptr, OpenOldQuickChart(WriteBytes(bytes, "size.qct"), false));
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(0u, errors[0].find("Failed to open map (2): ")) << errors[0];
  }
}

TEST_F(ChartReaderTest, TruncatedChartFailsWithMessageOrReadsMissingTiles) {
  ChartFixture fixture;
  fixture.width = 4;
  fixture.height = 3;
  fixture.texts = {{kQctName, "Name"}};
  fixture.map_type = "Nautical chart";
  fixture.datum_shift = QctDatumShift{0.001, -0.002};
  fixture.outline = {{50, -5}, {49.9, -5}, {49.9, -4.9}};
  const std::vector<uint8_t> bytes = ReadBytes(Write(fixture));
  const uint64_t required = *QctFileView::RequiredTiledSize(4, 3);
  const size_t lengths[] = {0, 3, 7, 8, 100, kQctHeaderSize - 1, kQctHeaderSize,
                           kQctHeaderSize + 5, size_t(required - 1), size_t(required),
                           size_t(required + 40), bytes.size() / 2, bytes.size() - 3,
                           bytes.size() - 1};
  for (size_t length : lengths) {
    SCOPED_TRACE(length);
    errors.clear();
    const std::string path =
        WriteBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length), "cut.qct");
    const auto chart = OpenOldQuickChart(path, false);
    if (length < 8) {
      EXPECT_EQ(nullptr, chart);
      EXPECT_TRUE(errors.empty());
    } else if (length < required) {
      EXPECT_EQ(nullptr, chart);
      ASSERT_EQ(1u, errors.size());
      EXPECT_EQ(0u, errors[0].find("Failed to open map (2): "));
    } else {
      ASSERT_NE(nullptr, chart);
      RenderEverywhere(*chart);
      std::vector<uint32_t> colours(64 * 64);
      chart->RenderArea(colours.data(), 64, {0, 0, 64, 64}, 2, 0, 0);
    }
  }
}

TEST_F(ChartReaderTest, TileOffsetsPastTheEndReadAsIndexZero) {
  ChartFixture fixture;
  const std::string path = Write(fixture);
  std::vector<uint8_t> bytes = ReadBytes(path);
  uint32_t second_tile;
  std::memcpy(&second_tile, bytes.data() + kQctHeaderSize + 4, 4);
  SetWord(bytes, kQctHeaderSize + 4, uint32_t(bytes.size()));           // tile (1, 0): at the end
  SetWord(bytes, kQctHeaderSize + 8, 0xFFFFFFF0u);                       // tile (0, 1): far beyond
  SetWord(bytes, kQctHeaderSize + 12, uint32_t(bytes.size() - 2));       // tile (1, 1): cut short
  const std::string damaged = WriteBytes(bytes, "damaged.qct");
  const auto chart = OpenOldQuickChart(damaged, false);
  ASSERT_NE(nullptr, chart);
  // The chart opens, and the user is told which file lacks part of its picture.
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("The chart \"" + damaged +
                "\" is incomplete: 2 of its 4 tiles lie past the end of the file and show "
                "black. The file may have been cut short while it was copied or downloaded.",
            errors[0]);
  for (int shift = 0; shift <= 6; ++shift) {
    for (const auto& [col, row] : {std::pair{1, 0}, {0, 1}, {1, 1}}) {
      Tile tile;
      tile.fill(99);
      EXPECT_EQ(0, chart->ReadTile(col, row, shift, tile));
      const auto rows_end = tile.begin() + (kTilePixels >> shift);
      EXPECT_EQ(rows_end - tile.begin(), std::count(tile.begin(), rows_end, 0));
      EXPECT_EQ(tile.end() - rows_end, std::count(rows_end, tile.end(), 99));
    }
  }
  // The intact tile still reads.
  Tile tile;
  chart->ReadTile(0, 0, 0, tile);
  EXPECT_EQ(FixturePixel(fixture, 5, ReverseBits6(3)), tile[3 * 64 + 5]);
}

TEST_F(ChartReaderTest, ReadTileGivesTheStoredRowsOfEveryShift) {
  ChartFixture fixture;
  fixture.width = 3;
  fixture.height = 2;
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  for (int shift = 0; shift <= 6; ++shift) {
    for (int row = 0; row < 2; ++row) {
      for (int col = 0; col < 3; ++col) {
        Tile tile;
        tile.fill(200);
        ASSERT_EQ(0, chart->ReadTile(col, row, shift, tile));
        // Stored row s is image row R6(s); the first 64 >> shift of them are every
        // 2^shift-th image row.
        for (int s = 0; s < (64 >> shift); ++s) {
          const int image_row = ReverseBits6(s);
          ASSERT_EQ(0, image_row % (1 << shift));
          for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(FixturePixel(fixture, col * 64 + x, row * 64 + image_row), tile[s * 64 + x])
                << "shift " << shift << " tile " << col << "," << row;
          }
        }
        if (shift > 0) {
          EXPECT_EQ(200, tile[size_t(kTilePixels >> shift)]) << "past the rows asked for";
        }
      }
    }
  }
  // Outside the chart: (4096 >> shift) bytes of index 1.
  for (const auto& [col, row] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 2}}) {
    Tile tile;
    tile.fill(7);
    EXPECT_EQ(0, chart->ReadTile(col, row, 3, tile));
    EXPECT_EQ(512, std::count(tile.begin(), tile.end(), 1));
    EXPECT_EQ(7, tile[512]);
  }
}

// A blend table in which the order of the two colours and of the two pairs matters.
std::array<uint8_t, kQctBlendTableSize> LopsidedBlendTable() {
  std::array<uint8_t, kQctBlendTableSize> blend;
  for (int a = 0; a < 128; ++a) {
    for (int b = 0; b < 128; ++b) blend[size_t(a * 128 + b)] = uint8_t((3 * a + 5 * b + 7) % 128);
  }
  return blend;
}

TEST_F(ChartReaderTest, RenderPaletteAreaReducesThroughTheBlendTable) {
  ChartFixture fixture;
  fixture.width = 4;
  fixture.height = 4;
  fixture.blend = LopsidedBlendTable();
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  const auto T = [&](int a, int b) { return fixture.blend[size_t(a * 128 + b)]; };
  const auto p = [&](int x, int y) { return FixturePixel(fixture, x, y); };
  for (int s = 1; s <= 6; ++s) {
    SCOPED_TRACE(s);
    // The area starts one tile in; the output is wider and taller than the chart allows, so
    // its last columns and rows show what lies outside (index 1 everywhere there).
    const int w = 256 >> s;
    std::vector<uint8_t> out(size_t(w * w), 222);
    ASSERT_EQ(0, chart->RenderPaletteArea(64, 64, w, w, w, s, out.data()));
    const int step = 1 << s, half = step / 2;
    for (int j = 0; j < w; ++j) {
      for (int i = 0; i < w; ++i) {
        const int c = 64 + i * step, a = 64 + j * step, b = a + half;
        const bool inside = c < 256 && a < 256;
        const int expected = inside ? T(T(p(c, a), p(c + half, b)), T(p(c, b), p(c + half, a)))
                                    : T(T(1, 1), T(1, 1));
        ASSERT_EQ(expected, out[size_t(j * w + i)]) << i << "," << j;
      }
    }
  }
  // The edge case's own pixel: zoom 2, tile (0, 0).
  uint8_t pixel[16 * 16];
  chart->RenderPaletteArea(0, 0, 16, 16, 16, 2, pixel);
  EXPECT_EQ(T(T(p(0, 0), p(2, 2)), T(p(0, 2), p(2, 0))), pixel[0]);
}

TEST_F(ChartReaderTest, RenderPaletteAreaCopiesAndMagnifies) {
  ChartFixture fixture;
  fixture.width = 3;
  fixture.height = 3;
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  const auto expected = [&](int x, int y) -> int {
    return x < 0 || y < 0 || x >= 192 || y >= 192 ? 1 : FixturePixel(fixture, x, y);
  };
  // Zoom 0 into a bottom-up buffer (negative stride); zooms below 0 at odd places, partly
  // outside the chart.
  {
    std::vector<uint8_t> out(128 * 128);
    ASSERT_EQ(0, chart->RenderPaletteArea(64, 0, 128, 128, -128, 0, out.data() + 127 * 128));
    for (int y = 0; y < 128; ++y) {
      for (int x = 0; x < 128; ++x) {
        ASSERT_EQ(expected(64 + x, y), out[size_t((127 - y) * 128 + x)]);
      }
    }
  }
  for (int zoom = -3; zoom < 0; ++zoom) {
    const int m = 1 << -zoom;
    for (const auto& [x0, y0] : {std::pair{-5, 17}, {150, -33}, {1, 1}}) {
      SCOPED_TRACE(testing::Message() << zoom << " at " << x0 << "," << y0);
      std::vector<uint8_t> out(100 * 100, 222);
      ASSERT_EQ(0, chart->RenderPaletteArea(x0, y0, 100, 100, 100, zoom, out.data()));
      const int covered = (100 >> -zoom) * m;
      for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
          const int want = x < covered && y < covered ? expected(x0 + x / m, y0 + y / m) : 222;
          ASSERT_EQ(want, out[size_t(y * 100 + x)]) << x << "," << y;
        }
      }
    }
  }
  // Nothing is written for sizes of 0 or below or zooms out of range.
  uint8_t untouched = 9;
  EXPECT_EQ(0, chart->RenderPaletteArea(0, 0, 0, 5, 1, 0, &untouched));
  EXPECT_EQ(0, chart->RenderPaletteArea(0, 0, -4, 5, 1, 0, &untouched));
  EXPECT_EQ(0, chart->RenderPaletteArea(0, 0, 1, 1, 1, 7, &untouched));
  EXPECT_EQ(0, chart->RenderPaletteArea(0, 0, 1, 1, 1, -30, &untouched));
  EXPECT_EQ(9, untouched);
  // Areas far out, near the ends of the int range.
  std::vector<uint8_t> out(64 * 64);
  EXPECT_EQ(0, chart->RenderPaletteArea(INT32_MAX - 70, INT32_MIN, 64, 64, 64, -1, out.data()));
  EXPECT_EQ(64 * 64, std::count(out.begin(), out.end(), 1));
  EXPECT_EQ(0, chart->RenderPaletteArea(INT32_MAX & ~63, 0, 64, 1, 64, 6, out.data()));
}

TEST_F(ChartReaderTest, BlendEntriesOutsideThePaletteAreLimited) {
  ChartFixture fixture;
  fixture.blend.fill(0xC3);  // 195: no tile colour, and no row of the table
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  std::vector<uint8_t> out(32 * 32);
  ASSERT_EQ(0, chart->RenderPaletteArea(0, 0, 32, 32, 32, 2, out.data()));
  EXPECT_EQ(32 * 32, std::count(out.begin(), out.end(), 0x43));
}

TEST_F(ChartReaderTest, RenderAreaAveragesColoursOfTheCurrentPalette) {
  ChartFixture fixture;
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  const auto colour = [&](int x, int y, bool dim) {
    const int i = FixturePixel(fixture, x, y);
    const uint32_t blue = fixture.palette[4 * i], green = fixture.palette[4 * i + 1];
    return std::array<uint32_t, 3>{fixture.palette[4 * i + 2], dim ? green * 3 >> 2 : green,
                                   dim ? blue * 3 >> 2 : blue};
  };
  for (bool dim : {false, true}) {
    chart->SetDimPalette(dim);
    for (int s = 0; s <= 2; ++s) {
      SCOPED_TRACE(testing::Message() << "dim " << dim << " shift " << s);
      // A 20 x 10 rectangle at (3, 2) of a 30-pixel-wide buffer; the chart area from (8, 16).
      std::vector<uint32_t> out(30 * 15, 0x12345678);
      chart->RenderArea(out.data(), 30, {3, 2, 23, 12}, s, 8, 16);
      for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 30; ++x) {
          const uint32_t got = out[size_t(y * 30 + x)];
          if (x < 3 || x >= 23 || y < 2 || y >= 12) {
            ASSERT_EQ(0x12345678u, got);
            continue;
          }
          std::array<uint32_t, 3> sum{};
          for (int dy = 0; dy < (1 << s); ++dy) {
            for (int dx = 0; dx < (1 << s); ++dx) {
              const auto c = colour(8 + ((x - 3) << s) + dx, 16 + ((y - 2) << s) + dy, dim);
              for (int k = 0; k < 3; ++k) sum[k] += c[k];
            }
          }
          const uint32_t want = 0xFF000000u | (sum[0] >> 2 * s) << 16 | (sum[1] >> 2 * s) << 8 |
                                sum[2] >> 2 * s;
          ASSERT_EQ(want, got) << x << "," << y;
        }
      }
    }
  }
}

TEST_F(ChartReaderTest, DimmingTwiceKeepsThreeQuarters) {
  ChartFixture fixture;
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  chart->SetDimPalette(true);
  chart->SetDimPalette(true);
  const int i = 100;
  EXPECT_EQ(fixture.palette[4 * i] * 3 >> 2, chart->palette()[4 * i]);
  EXPECT_EQ(fixture.palette[4 * i + 1] * 3 >> 2, chart->palette()[4 * i + 1]);
  EXPECT_EQ(fixture.palette[4 * i + 2], chart->palette()[4 * i + 2]);
  chart->SetDimPalette(false);
  EXPECT_EQ(0, std::memcmp(chart->palette().data(), fixture.palette.data(), kQctPaletteSize));
}

// A cubic georeference with rotation, for the conversions and the north angle.
GeorefPolynomial RotatedGeoref(double degrees_per_pixel, double angle) {
  // lat = 40 - (x sin a + y cos a) d + small cubic terms; lon = 170 + (x cos a - y sin a) d.
  GeorefPolynomial g;
  const double d = degrees_per_pixel, c = std::cos(angle), s = std::sin(angle);
  g.inverse.first = {40, -s * d, -c * d, 0, 0, 0, 1e-13, 0, 0, 0};
  g.inverse.second = {170, c * d, -s * d, 0, 0, 0, 0, 0, 0, -1e-13};
  // The exact inverse of the linear part: x = ((lon-170) c - (lat-40) s) / d, y = ...
  g.forward.first = {(-170 * c + 40 * s) / d, -s / d, c / d, 0, 0, 0, 0, 0, 0, 0};
  g.forward.second = {(170 * s + 40 * c) / d, -c / d, -s / d, 0, 0, 0, 0, 0, 0, 0};
  return g;
}

TEST_F(ChartReaderTest, ConversionsFollowTheGeoreferenceWithShiftAndWrap) {
  for (double angle : {0.0, 0.5}) {
    SCOPED_TRACE(angle);
    ChartFixture fixture;
    fixture.width = 4;
    fixture.height = 4;
    fixture.georef = RotatedGeoref(0.01, angle);
    fixture.datum_shift = QctDatumShift{0.0005, -0.0007};
    const auto chart = OpenOldQuickChart(Write(fixture), false);
    ASSERT_NE(nullptr, chart);
    ASSERT_TRUE(chart->has_datum_shift());

    ChartViewGeoref reference;
    reference.polynomials = fixture.georef;
    reference.shift_lat = 0.0005;
    reference.shift_lon = -0.0007;
    reference.reference_lon = EvalCubicPolynomial(fixture.georef.inverse.second, 128, 128) - 0.0007;
    EXPECT_DOUBLE_EQ(reference.reference_lon, chart->centre_lon());
    for (double x : {0.0, 17.5, 128.0, 255.0, -40.0}) {
      for (double y : {0.0, 99.25, 255.0}) {
        double lat, lon;
        chart->PixelToLatLon(x, y, lat, lon);
        const auto [want_lat, want_lon] = reference.PixelToLatLon(x, y);
        EXPECT_NEAR(want_lat, lat, 1e-9);
        EXPECT_NEAR(want_lon, lon, 1e-9);
        double px, py;
        chart->LatLonToPixelF(lat, lon, px, py);
        const auto [want_x, want_y] = reference.LatLonToPixel(lat, lon);
        EXPECT_NEAR(want_x, px, 1e-6);
        EXPECT_NEAR(want_y, py, 1e-6);
        EXPECT_NEAR(x, px, 1e-3);  // the cubic terms are tiny: nearly the pixel itself
        EXPECT_NEAR(y, py, 1e-3);
      }
    }
    // Across the antimeridian: -179.9 is taken as 180.1.
    double x1, y1, x2, y2;
    chart->LatLonToPixelF(39.5, -179.9, x1, y1);
    chart->LatLonToPixelF(39.5, 180.1, x2, y2);
    EXPECT_NEAR(x2, x1, 1e-6);
    EXPECT_NEAR(y2, y1, 1e-6);
    // North angle: the chart is turned by `angle`, north leaning to the left.
    EXPECT_NEAR(-angle, chart->north_angle(), 1e-4);
  }
}

TEST_F(ChartReaderTest, LatLonToPixelRefusesFarAndUndefinedPixels) {
  ChartFixture fixture;  // 1/3600 degree per pixel
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  ScreenPoint p;
  EXPECT_TRUE(chart->LatLonToPixel(50.0 - 10.5 / 3600, -5.0 + 20.75 / 3600, p));
  EXPECT_EQ((ScreenPoint{20, 10}), p);
  EXPECT_TRUE(chart->LatLonToPixel(50.0 - 1e9 / 3600, -5.0, p));  // 1e9 pixels down: usable
  EXPECT_FALSE(chart->LatLonToPixel(50.0 - 2.1e9 / 3600, -5.0, p));
  EXPECT_EQ((ScreenPoint{-1, -1}), p);
  EXPECT_FALSE(chart->LatLonToPixel(std::nan(""), -5.0, p));
  EXPECT_EQ((ScreenPoint{-1, -1}), p);
}

TEST_F(ChartReaderTest, ChartWithoutGeoreference) {
  ChartFixture fixture;
  fixture.georef = GeorefPolynomial();
  const auto chart = OpenOldQuickChart(Write(fixture), false);
  ASSERT_NE(nullptr, chart);
  EXPECT_FALSE(chart->HasGeoreference());
  EXPECT_EQ(100.0, chart->GetScaleRatio(ChartFixture::LinearGeoref(50, -5, 0.001)));
  EXPECT_TRUE(variation_positions.empty());
}

TEST_F(ChartReaderTest, DisplayTitlePrefersNameTitleIdentifierThenPath) {
  struct Case {
    std::vector<std::pair<QctTextField, std::string>> texts;
    std::string map_type;
    std::string want;  // "<path>" for the path
  };
  const Case cases[] = {
      {{{kQctTitle, "T"}, {kQctName, "N"}, {kQctIdentifier, "I"}}, "", "N"},
      {{{kQctTitle, "T"}, {kQctIdentifier, "I"}}, "", "T"},
      {{{kQctIdentifier, "I"}}, "", "I"},
      {{}, "", "<path>"},
      {{{kQctName, "N"}, {kQctDepthUnits, "Metres"}}, "nautical chart", "N. Soundings in Metres"},
      {{{kQctName, "N"}, {kQctDepthUnits, "Metres"}}, "Naut", "N"},
      {{{kQctName, "N"}}, "NAUTICAL", "N"},  // no depth units
      {{{kQctName, "N"}, {kQctDepthUnits, "Fathoms"}}, "Topo", "N"},
  };
  for (const Case& c : cases) {
    ChartFixture fixture;
    fixture.texts = c.texts;
    fixture.map_type = c.map_type;
    const std::string path = Write(fixture);
    const auto chart = OpenOldQuickChart(path, false);
    ASSERT_NE(nullptr, chart);
    EXPECT_EQ(c.want == "<path>" ? path : c.want, chart->title());
  }
}

TEST_F(ChartReaderTest, AreaDataSizeSumsTheTilesTouchingThePolygon) {
  ChartFixture fixture;
  fixture.width = 3;
  fixture.height = 3;
  const std::string path = Write(fixture);
  const auto chart = OpenOldQuickChart(path, false);
  ASSERT_NE(nullptr, chart);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  const QctFileView view(bytes);
  QuickChartHeader header;
  ASSERT_TRUE(view.ReadHeader(header));
  const auto tile_size = [&](int col, int row) {
    const QctFileView::Tile t = view.TileAt(header, col, row);
    return int64_t(TileEncodedSize(t.bytes, t.offset));
  };
  int64_t all = 0;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) all += tile_size(col, row);
  }
  const std::vector<PlanePoint> everything = {
      {-100, -100}, {1000, -100}, {1000, 1000}, {-100, 1000}};
  EXPECT_EQ(all, chart->GetAreaDataSize(everything));
  const std::vector<PlanePoint> inside_one = {{70, 70}, {100, 70}, {100, 100}};
  EXPECT_EQ(tile_size(1, 1), chart->GetAreaDataSize(inside_one));
  EXPECT_EQ(0, chart->GetAreaDataSize({}));
  const std::vector<PlanePoint> outside = {{1e12, 5}, {1e12, 50}, {2e12, 50}};
  EXPECT_EQ(0, chart->GetAreaDataSize(outside));
}

// Counts the chunk fetches and answers "missing" from a chosen one on.
class FetchRecordingChart : public COldQuickChart1 {
 public:
  int FetchChunk(int col, int row, int shift, const std::function<bool()>& still_wanted) override {
    calls.push_back({col, row, shift});
    EXPECT_TRUE(still_wanted());
    return int(calls.size()) == fail_at ? 1 : 0;
  }
  std::vector<std::array<int, 3>> calls;
  int fail_at = -1;
};

TEST_F(ChartReaderTest, PrefetchAreaVisitsChunkRowsThenColumns) {
  const std::string path = Write(ChartFixture());
  {
    const auto chart = OpenOldQuickChart(path, false);
    ASSERT_NE(nullptr, chart);
    EXPECT_EQ(0, chart->PrefetchArea(0, 0, 4096, 4096, 2, [] { return true; }));
  }
  FetchRecordingChart chart;
  ASSERT_EQ(COldQuickChart::kOpened, chart.Open(path, false));
  EXPECT_EQ(0, chart.PrefetchArea(-1, 1000, 2048, 100, 1, [] { return true; }));
  const std::vector<std::array<int, 3>> want = {{-1, 0, 1}, {0, 0, 1}, {1, 0, 1},
                                                {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}};
  EXPECT_EQ(want, chart.calls);
  chart.calls.clear();
  chart.fail_at = 2;
  EXPECT_EQ(1, chart.PrefetchArea(0, 0, 4096, 4096, 0, [] { return true; }));
  EXPECT_EQ(2u, chart.calls.size());
}

// Reports tile (1, 0) as missing.
class MissingTileChart : public COldQuickChart1 {
 public:
  int ReadTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer) override {
    if (col == 1 && row == 0) {
      std::fill(buffer.begin(), buffer.end(), 77);
      return 1;
    }
    return COldQuickChart1::ReadTile(col, row, shift, buffer);
  }
};

TEST_F(ChartReaderTest, MissingTileStopsRenderingAndCopiesAsIndexOne) {
  ChartFixture fixture;
  MissingTileChart chart;
  ASSERT_EQ(COldQuickChart::kOpened, chart.Open(Write(fixture), false));
  std::vector<uint8_t> out(128 * 128);
  EXPECT_EQ(0, chart.RenderPaletteArea(0, 64, 128, 64, 128, 0, out.data()));
  EXPECT_EQ(1, chart.RenderPaletteArea(0, 0, 128, 128, 128, 0, out.data()));
  EXPECT_EQ(1, chart.RenderPaletteArea(0, 0, 64, 64, 64, 1, out.data()));
  EXPECT_EQ(1, chart.RenderPaletteArea(60, 0, 64, 64, 64, -1, out.data()));
  chart.CopyArea(0, 0, 127, 0, out.data(), 128);
  EXPECT_EQ(FixturePixel(fixture, 63, 0), out[63]);
  EXPECT_EQ(64, std::count(out.begin() + 64, out.begin() + 128, 1));
}

class ReferenceFileTest : public ChartReaderTest {
 protected:
  std::string WriteReference(const std::string& original, const std::string& label = "") {
    ChartFixture fixture;
    fixture.reference = true;
    fixture.version = 2;
    fixture.texts = {{kQctOriginalName, original}, {kQctName, "Reference"}};
    fixture.disk_label = label;
    return Write(fixture, "reference.qct");
  }
};

// A chart original of up to 12 MiB is copied into the reference file's place and opened
// there; a larger one, or one that holds no tiles itself, is opened where it lies and the
// reference file stays as it was.
TEST_F(ReferenceFileTest, SmallChartOriginalsAreCopiedIntoTheReferenceOthersOpenWhereTheyLie) {
  struct Case {
    const char* what;
    uint64_t size;     // the original's file size (zeros appended); 0: as written
    bool no_tiles;     // the original is a reference file itself
    bool copied;
  };
  const Case cases[] = {
      {"small", 0, false, true},
      {"12 MiB", 0xC00000, false, true},
      {"a byte more", 0xC00001, false, false},
      {"a reference itself", 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    errors.clear();
    ChartFixture original;
    original.texts = {{kQctName, "Original"}};
    original.reference = c.no_tiles;
    const std::string original_path = Write(original, "original.QCT");
    if (c.size != 0) {
      ASSERT_EQ(0, ::truncate(original_path.c_str(), off_t(c.size)));
    }
    const std::vector<uint8_t> original_bytes = ReadBytes(original_path);
    const std::string reference = WriteReference(original_path);
    const std::vector<uint8_t> reference_bytes = ReadBytes(reference);

    EXPECT_EQ(nullptr, OpenOldQuickChart(reference, false));
    EXPECT_EQ(reference_bytes, ReadBytes(reference));

    const auto chart = OpenOldQuickChart(reference, true);
    EXPECT_EQ(original_bytes, ReadBytes(original_path)) << "the original is never changed";
    EXPECT_TRUE(questions.empty());
    if (c.no_tiles) {
      EXPECT_EQ(nullptr, chart);
      EXPECT_EQ(reference_bytes, ReadBytes(reference));
      continue;
    }
    ASSERT_NE(nullptr, chart);
    EXPECT_EQ("Original", chart->title());
    EXPECT_TRUE(errors.empty()) << errors.front();
    if (c.copied) {
      EXPECT_EQ(reference, chart->GetFileName());
      EXPECT_TRUE(original_bytes == ReadBytes(reference)) << "the reference is now the copy";
      // The copy is a chart of its own: it opens without the original.
      ASSERT_TRUE(vd::os::RemoveFile(original_path));
      const auto again = OpenOldQuickChart(reference, false);
      ASSERT_NE(nullptr, again);
      EXPECT_EQ("Original", again->title());
    } else {
      EXPECT_EQ(original_path, chart->GetFileName());
      EXPECT_EQ(reference_bytes, ReadBytes(reference));
    }
  }
}

TEST_F(ReferenceFileTest, MissingOriginalAsksForTheDisk) {
  const std::string missing = dir.File("gone/original.qct");
  EXPECT_EQ(nullptr, OpenOldQuickChart(WriteReference(missing), true));
  ASSERT_EQ(1u, questions.size());
  EXPECT_EQ("Cannot open file: " + missing, questions[0]);

  questions.clear();
  EXPECT_EQ(nullptr,
            OpenOldQuickChart(WriteReference("D:\\charts\\original.qct", "CHARTS 2"), true));
  ASSERT_EQ(1u, questions.size());
  EXPECT_EQ("Cannot open file: D:/charts/original.qct\n\nPlease re-insert the disk: CHARTS 2",
            questions[0]);
  // A folder is no original either.
  questions.clear();
  EXPECT_EQ(nullptr, OpenOldQuickChart(WriteReference(dir.path()), true));
  EXPECT_EQ(1u, questions.size());
}

TEST_F(ReferenceFileTest, OriginalThatIsTheFileItselfIsNotAvailable) {
  const std::string reference = dir.File("reference.qct");
  WriteReference(reference);
  EXPECT_EQ(nullptr, OpenOldQuickChart(reference, true));
  EXPECT_EQ(std::vector<std::string>{"Original file not available"}, errors);
}

TEST_F(ReferenceFileTest, OtherFormatsGoThroughTheConverter) {
  const std::string source = dir.File("scan.tif");
  ASSERT_TRUE(vd::os::SaveFileAtomically(source, "not a chart"));
  const std::string reference = WriteReference(source);

  EXPECT_EQ(nullptr, OpenOldQuickChart(reference, true));
  EXPECT_EQ(std::vector<std::string>{"Could not open file: \"" + source + "\""}, errors);

  // The converter writes into the reference file's place; a failure leaves it as it was.
  const std::vector<uint8_t> reference_bytes = ReadBytes(reference);
  ChartReaderServices services = GetChartReaderServices();
  std::vector<std::pair<std::string, std::string>> conversions;
  int converter_result = 3;
  services.convert = [&](const std::string& from, const std::string& to) {
    conversions.emplace_back(from, to);
    if (converter_result == 0) {
      ChartFixture converted;
      converted.texts = {{kQctName, "Converted"}, {kQctOriginalName, from}};
      EXPECT_TRUE(vd::test::WriteChartFixture(to, converted));
    }
    return converter_result;
  };
  SetChartReaderServices(services);
  EXPECT_EQ(nullptr, OpenOldQuickChart(reference, true));
  EXPECT_EQ(reference_bytes, ReadBytes(reference));
  converter_result = 0;
  const auto chart = OpenOldQuickChart(reference, true);
  ASSERT_NE(nullptr, chart);
  EXPECT_EQ(reference, chart->GetFileName());
  EXPECT_EQ("Converted", chart->title());
  const std::pair<std::string, std::string> expected{source, reference};
  EXPECT_EQ(conversions, (std::vector{expected, expected}));
}

TEST_F(ReferenceFileTest, ChunkStoreOriginalIsRefusedLikeAChunkStoreChart) {
  ChartFixture original;
  original.version = 0x20000001;
  const std::string original_path = Write(original, "store.qct");
  EXPECT_EQ(nullptr, OpenOldQuickChart(WriteReference(original_path), true));
  EXPECT_EQ(std::vector<std::string>{"Could not open file: \"" + original_path + "\""}, errors);
}

TEST_F(ReferenceFileTest, TiledChartWithAChangedOriginalStaysItself) {
  // An extracted chart records its source; the source changing must not replace the extract.
  ChartFixture source;
  source.texts = {{kQctName, "Source"}};
  const std::string source_path = Write(source, "source.qct");
  ChartFixture extract;
  extract.texts = {{kQctName, "Extract"}, {kQctOriginalName, source_path}};
  extract.original_size = 1;
  const std::string extract_path = Write(extract, "extract.qct");
  const std::vector<uint8_t> before = ReadBytes(extract_path);
  const auto chart = OpenOldQuickChart(extract_path, true);
  ASSERT_NE(nullptr, chart);
  EXPECT_EQ("Extract", chart->title());
  EXPECT_EQ(before, ReadBytes(extract_path));
}

TEST(DibTypeTest, FreshTileHasNoPlaceAndNeedsRendering) {
  CDibType tile;
  EXPECT_FALSE(tile.IsReady());
  EXPECT_TRUE(tile.needs_render);
  EXPECT_FALSE(tile.busy);
  EXPECT_EQ(INT32_MIN, tile.x);
  EXPECT_EQ(INT32_MIN, tile.y);
  EXPECT_EQ(CDibType::kNoLevel, tile.level);
  EXPECT_EQ(0, tile.key);
}

}  // namespace
