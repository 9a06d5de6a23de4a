#pragma once
// Small chart files for tests, generated here from an in-memory 8-bit image: header, palette,
// blend table, georeference, texts, extension block, outline and tiles encoded with EncodeTile.
// Layout as the system's writers place it: header, tile index, extension block, outline
// (8-aligned), datum shift (8-aligned), texts, tiles, end padded to a multiple of 4.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "charts/quick_chart_header.h"
#include "geodesy/geo_point.h"
#include "geodesy/georef_polynomial.h"

namespace vd::test {

struct ChartFixture {
  uint32_t magic = kQctMagic;
  uint32_t version = 4;
  int32_t width = 2;   // tiles
  int32_t height = 2;  // tiles
  // (width x 64) x (height x 64) colour indices 0..127, top image row first. Empty: the
  // TestImage pattern.
  std::vector<uint8_t> image;
  // Header texts (UTF-8), by field.
  std::vector<std::pair<QctTextField, std::string>> texts;
  uint32_t flags = 0;
  uint32_t original_size = 0;
  uint32_t original_time = 0;
  GeorefPolynomial georef = LinearGeoref(50.0, -5.0, 1.0 / 3600.0);
  std::array<uint8_t, kQctPaletteSize> palette = TestPalette();
  std::array<uint8_t, kQctBlendTableSize> blend = TestBlendTable();

  // The extension block is written when any of these is set.
  bool extension = false;
  std::string map_type;
  std::string disk_label;
  std::string aux_text;
  std::optional<QctDatumShift> datum_shift;
  std::string online_address;  // written as an online-source block of 8 bytes

  std::vector<GeoPoint> outline;  // (lat, lon) in the chart's own datum
  bool reference = false;         // a reference file: first index entry 0, no tiles

  // A north-up chart whose pixel (0, 0) is at (north, west), `degrees` per pixel both ways.
  static GeorefPolynomial LinearGeoref(double north, double west, double degrees);
  // Entry i: blue i, green 2i, red 255 - i (mod 256).
  static std::array<uint8_t, kQctPaletteSize> TestPalette();
  // T[a][b] = min(a, b).
  static std::array<uint8_t, kQctBlendTableSize> TestBlendTable();
  // T[a][b] = (3a + b) / 4: the order of the two pixels shows in the result.
  static std::array<uint8_t, kQctBlendTableSize> SkewedBlendTable();
  // Pixel (x, y) = (x / 8 + 3 * (y / 8) + x * y) % 128: every tile different, each with runs.
  static std::vector<uint8_t> TestImage(int width_px, int height_px);
};

// The image pixel (x, y) of the fixture's image (TestImage when image is empty).
uint8_t FixturePixel(const ChartFixture& chart, int x, int y);

// The palette index a chart view shows for the output pixel whose corner is chart pixel (x, y)
// at level L, by the rule of the chart's rendering: at L <= 0 the chart pixel itself; at L > 0,
// with h = 2^(L - 1) and T the blend table, T[T[p(x, y)][p(x + h, y + h)]][T[p(x, y + h)][p(x + h, y)]].
// Pixels off the chart are index 1.
uint8_t FixtureViewIndex(const ChartFixture& chart, int64_t x, int64_t y, int level);
// Palette entry i of the fixture as an opaque 0xAARRGGBB colour.
uint32_t FixtureColour(const ChartFixture& chart, uint8_t index);

// Writes the chart file; false when the file can't be written.
bool WriteChartFixture(const std::string& path, const ChartFixture& chart);

}  // namespace vd::test
