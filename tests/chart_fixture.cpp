#include "tests/chart_fixture.h"

#include <algorithm>
#include <cstring>

#include "charts/qct_file_view.h"
#include "charts/qct_writer.h"
#include "charts/tile_codec.h"
#include "platform/os/files.h"

namespace vd::test {

namespace {

template <class T>
std::span<const uint8_t> BytesOf(const T& value) {
  return std::span(reinterpret_cast<const uint8_t*>(&value), sizeof value);
}

template <class T>
std::span<const uint8_t> BytesOf(const std::vector<T>& values) {
  return std::span(reinterpret_cast<const uint8_t*>(values.data()), values.size() * sizeof(T));
}

}  // namespace

GeorefPolynomial ChartFixture::LinearGeoref(double north, double west, double degrees) {
  GeorefPolynomial g;
  g.forward.first[0] = -west / degrees;  // x = (lon - west) / degrees
  g.forward.first[2] = 1.0 / degrees;
  g.forward.second[0] = north / degrees;  // y = (north - lat) / degrees
  g.forward.second[1] = -1.0 / degrees;
  g.inverse.first[0] = north;  // lat = north - y * degrees
  g.inverse.first[2] = -degrees;
  g.inverse.second[0] = west;  // lon = west + x * degrees
  g.inverse.second[1] = degrees;
  return g;
}

std::array<uint8_t, kQctPaletteSize> ChartFixture::TestPalette() {
  std::array<uint8_t, kQctPaletteSize> palette{};
  for (int i = 0; i < 256; ++i) {
    palette[4 * i] = uint8_t(i);
    palette[4 * i + 1] = uint8_t(2 * i);
    palette[4 * i + 2] = uint8_t(255 - i);
  }
  return palette;
}

std::array<uint8_t, kQctBlendTableSize> ChartFixture::TestBlendTable() {
  std::array<uint8_t, kQctBlendTableSize> blend{};
  for (int a = 0; a < kQctColours; ++a) {
    for (int b = 0; b < kQctColours; ++b) blend[a * kQctColours + b] = uint8_t(std::min(a, b));
  }
  return blend;
}

std::array<uint8_t, kQctBlendTableSize> ChartFixture::SkewedBlendTable() {
  std::array<uint8_t, kQctBlendTableSize> blend{};
  for (int a = 0; a < kQctColours; ++a) {
    for (int b = 0; b < kQctColours; ++b) blend[a * kQctColours + b] = uint8_t((3 * a + b) / 4);
  }
  return blend;
}

std::vector<uint8_t> ChartFixture::TestImage(int width_px, int height_px) {
  std::vector<uint8_t> image(size_t(width_px) * size_t(height_px));
  for (int y = 0; y < height_px; ++y) {
    for (int x = 0; x < width_px; ++x) {
      image[size_t(y) * size_t(width_px) + size_t(x)] =
          uint8_t((x / 8 + 3 * (y / 8) + x * y) % kQctColours);
    }
  }
  return image;
}

uint8_t FixturePixel(const ChartFixture& chart, int x, int y) {
  if (!chart.image.empty()) {
    return chart.image[size_t(y) * size_t(chart.width) * kTileSide + size_t(x)];
  }
  return uint8_t((x / 8 + 3 * (y / 8) + x * y) % kQctColours);
}

uint8_t FixtureViewIndex(const ChartFixture& chart, int64_t x, int64_t y, int level) {
  const auto p = [&chart](int64_t px, int64_t py) -> uint8_t {
    if (px < 0 || py < 0 || px >= int64_t(chart.width) * kTileSide ||
        py >= int64_t(chart.height) * kTileSide) {
      return 1;
    }
    return FixturePixel(chart, int(px), int(py));
  };
  if (level <= 0) return p(x, y);
  const auto t = [&chart](uint8_t a, uint8_t b) { return chart.blend[a * kQctColours + b]; };
  const int64_t h = int64_t(1) << (level - 1);
  return t(t(p(x, y), p(x + h, y + h)), t(p(x, y + h), p(x + h, y)));
}

uint32_t FixtureColour(const ChartFixture& chart, uint8_t index) {
  const size_t i = size_t(index) * 4;
  return 0xFF000000u | uint32_t(chart.palette[i + 2]) << 16 | uint32_t(chart.palette[i + 1]) << 8 |
         chart.palette[i];
}

bool WriteChartFixture(const std::string& path, const ChartFixture& chart) {
  vd::os::AtomicFileWriter file;
  if (!file.Open(path)) return false;
  QctWriter out(file.file());

  QuickChartHeader header;
  header.magic = chart.magic;
  header.version = chart.version;
  header.width = chart.width;
  header.height = chart.height;
  header.flags = chart.flags;
  header.original_size = chart.original_size;
  header.original_time = chart.original_time;
  header.georef = chart.georef;
  header.palette = chart.palette;
  header.blend = chart.blend;
  out.AppendZeros(kQctHeaderSize);
  const size_t tiles = size_t(std::max(chart.width, 0)) * size_t(std::max(chart.height, 0));
  std::vector<uint32_t> index(tiles);
  out.AppendZeros(4 * tiles);

  QuickChartExtension extension;
  const bool has_extension = chart.extension || !chart.map_type.empty() ||
                             !chart.disk_label.empty() || !chart.aux_text.empty() ||
                             chart.datum_shift || !chart.online_address.empty();
  if (has_extension) header.extension = out.AppendZeros(kQctExtensionSize);
  if (!chart.outline.empty()) {
    out.Align8();
    header.outline_count = int32_t(chart.outline.size());
    header.outline = out.Append(BytesOf(chart.outline));
  }
  if (chart.datum_shift) {
    out.Align8();
    extension.datum_shift = out.Append(BytesOf(*chart.datum_shift));
  }
  for (const auto& [field, text] : chart.texts) header.SetTextOffset(field, QctAppendString(text, out));
  extension.map_type = QctAppendString(chart.map_type, out);
  extension.disk_label = QctAppendString(chart.disk_label, out);
  extension.aux_text = QctAppendString(chart.aux_text, out);
  if (!chart.online_address.empty()) {
    const QctOnlineSource source{sizeof(QctOnlineSource), QctAppendString(chart.online_address, out)};
    extension.online_source = out.Append(BytesOf(source));
  }

  if (!chart.reference) {
    std::array<uint8_t, kTilePixels> image_rows;
    std::array<uint8_t, kTilePixels> stored;
    for (int row = 0; row < chart.height; ++row) {
      for (int col = 0; col < chart.width; ++col) {
        for (int y = 0; y < kTileSide; ++y) {
          for (int x = 0; x < kTileSide; ++x) {
            image_rows[size_t(y * kTileSide + x)] =
                FixturePixel(chart, col * kTileSide + x, row * kTileSide + y);
          }
        }
        ReorderTileRows(image_rows, stored);
        index[size_t(row) * size_t(chart.width) + size_t(col)] = out.AppendTile(stored);
      }
    }
  }
  out.PadToWord();
  // A file with a tile index holds 8 bytes beyond it.
  const uint64_t required = QctFileView::RequiredTiledSize(header.width, header.height).value_or(0);
  if (out.position() < required) out.AppendZeros(size_t(required - out.position()));

  out.WriteAt(0, header.Bytes());
  out.WriteAt(kQctHeaderSize, BytesOf(index));
  if (has_extension) out.WriteAt(header.extension, extension.Bytes());
  return out.ok() && file.Commit();
}

}  // namespace vd::test
