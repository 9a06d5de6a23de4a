#include "charts/quick_chart.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "charts/chart_reader_services.h"
#include "charts/quick_chart1.h"
#include "charts/quick_chart3.h"
#include "platform/os/codepage.h"
#include "platform/os/numbers.h"

namespace {

constexpr uint32_t kNewestVersion = 5;  // in the low 24 bits of the version word
constexpr uint32_t kQc2VersionByte = 0x10;
// Chart sizes are kept in pixels as int32.
constexpr int32_t kMaxTiles = INT32_MAX / kTileSide;
constexpr size_t kMaxFileText = 1023;

void ShowProblem(const std::string& text) {
  const ChartReaderServices services = GetChartReaderServices();
  if (services.show_error) services.show_error(text);
}

}  // namespace

std::unique_ptr<CQuickChart> OpenChart(const std::string& path) {
  uint32_t prefix[2];
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read) || !file.ReadExact(prefix, sizeof prefix) ||
      !IsQctMagic(prefix[0])) {
    return nullptr;
  }
  file.Close();
  std::unique_ptr<CQuickChart> chart;
  switch (prefix[1] >> 24) {
    case 0x00:
      chart = std::make_unique<CQuickChart1>();
      break;
    case 0x01:
    case 0x20:
      chart = std::make_unique<CQuickChart3>();
      break;
    default:
      return nullptr;
  }
  if (chart->Open(path) != 0) return nullptr;
  return chart;
}

std::string ReadTextFromFile(vd::os::File& file, uint32_t offset) {
  if (offset == 0) return {};
  char text[kMaxFileText];
  const int64_t got = file.PRead(text, sizeof text, offset);
  if (got <= 0) return {};
  const size_t length = size_t(std::find(text, text + got, '\0') - text);
  return vd::os::Cp1252ToUtf8(std::string_view(text, length));
}

CQuickChart::~CQuickChart() { CQuickChart::Close(); }

int CQuickChart::Open(const std::string& path) {
  Close();
  const auto fail = [this](const std::string& text) {
    if (!text.empty()) ShowProblem(text);
    Close();
    return -1;
  };
  if (!vd::os::File().Open(path, vd::os::File::Mode::Read)) return -1;
  if (!mapping_.Open(path)) {
    return fail(vd::os::FormatC("Failed to open map: \"%s\"\nTry rebooting...", path.c_str()));
  }
  file_ = QctFileView(std::span<const uint8_t>(mapping_.data(), mapping_.size()));
  path_ = path;
  uint32_t magic = 0;
  uint32_t version = 0;
  if (!file_.ReadPrefix(magic, version) || !IsQctMagic(magic)) {
    return fail(vd::os::FormatC("Not a QuickChart: \"%s\"", path.c_str()));
  }
  if ((version & 0xFFFFFF) > kNewestVersion) {
    return fail(vd::os::FormatC(
        "To open this map you need a newer version of your software.\n\n%s is version %x.",
        path.c_str(), version));
  }
  if ((version >> 24) == kQc2VersionByte) return fail("This QC2 map is not compatible");
  if (!OpensVersion(version)) return fail("");  // a chart of the other reader's kind
  // The header, and for a tiled chart its whole tile index, must lie in the file; the chart
  // must measure in int32 pixels.
  const bool tiled = (version >> 24) == 0;
  if (!file_.ReadHeader(header_) || (tiled && !file_.HoldsTileIndex(header_)) ||
      header_.width < 0 || header_.height < 0 || header_.width > kMaxTiles ||
      header_.height > kMaxTiles) {
    return fail(vd::os::FormatC("Failed to open map: \"%s\"\n. Try Rebooting...", path.c_str()));
  }
  // Blocks that lie past the end of the file count as absent.
  extension_ = file_.ReadExtension(header_).value_or(QuickChartExtension{});
  online_source_ = file_.ReadOnlineSource(extension_).value_or(QctOnlineSource{});
  width_ = header_.width * kTileSide;
  height_ = header_.height * kTileSide;
  aux_text_ = file_.Text(extension_.aux_text);
  std::memcpy(palette_.data(), header_.palette.data(), palette_.size());
  if (tiled && file_.FirstIndexEntry() == 0u) {
    return fail("This map is a catalog header and has not been completely converted.");
  }
  georef_ = ChartViewGeoref();
  if (const std::optional<QctDatumShift> shift = file_.ReadDatumShift(extension_)) {
    has_datum_shift_ = true;
    georef_.shift_lat = shift->lat;
    georef_.shift_lon = shift->lon;
  }
  georef_.polynomials = header_.georef;
  georef_.width = width_;
  georef_.height = height_;
  georef_.valid = header_.HasGeoreference();
  georef_.reference_lon = PixelToLatLon(width_ / 2.0, height_ / 2.0).lon;
  opened_ = true;
  if (!OpenChunkStore()) return fail("");
  return 0;
}

void CQuickChart::Close() {
  opened_ = false;
  mapping_.Close();
  file_ = QctFileView();
  header_ = QuickChartHeader();
  width_ = 0;
  height_ = 0;
  palette_ = {};
  extension_ = QuickChartExtension();
  online_source_ = QctOnlineSource();
  aux_text_.clear();
  has_datum_shift_ = false;
  georef_ = ChartViewGeoref();
}

GeoPoint CQuickChart::PixelToLatLon(double x, double y) const {
  const auto [lat, lon] = georef_.PixelToLatLon(x, y);
  return {lat, lon};
}

PlanePoint CQuickChart::LatLonToPixel(double lat, double lon) const {
  const auto [x, y] = georef_.LatLonToPixel(lat, lon);
  return {x, y};
}

bool CQuickChart::GetOutline(std::vector<GeoPoint>& points) const {
  points.clear();
  const std::vector<GeoPoint> stored = file_.ReadOutline(header_).value_or(std::vector<GeoPoint>());
  if (!stored.empty()) {
    // The stored points are in the chart's own datum.
    const double centre = centre_lon() - georef_.shift_lon;
    for (const GeoPoint& p : stored) {
      points.push_back(
          {p.lat + georef_.shift_lat, WrapLongitudeTowards(p.lon, centre) + georef_.shift_lon});
    }
    return true;
  }
  const double corners[4][2] = {
      {0, 0}, {double(width_), 0}, {double(width_), double(height_)}, {0, double(height_)}};
  for (const auto& corner : corners) points.push_back(PixelToLatLon(corner[0], corner[1]));
  return true;
}

namespace {

int64_t FloorDiv64(int64_t value) { return value >= 0 ? value / kTileSide : -((-value + kTileSide - 1) / kTileSide); }

}  // namespace

int CQuickChart::RenderTile(int64_t x, int64_t y, int level, uint32_t* pixels, ptrdiff_t stride,
                            QuickChartTileContext& context) {
  constexpr int kSide = kRenderSide;
  constexpr uint8_t kMask = kPaletteColours - 1;
  std::array<uint32_t, kPaletteColours> colours;
  for (size_t i = 0; i < colours.size(); ++i) {
    colours[i] = 0xFF000000u | uint32_t(palette_[4 * i + 2]) << 16 |
                 uint32_t(palette_[4 * i + 1]) << 8 | palette_[4 * i];
  }
  std::array<uint8_t, kTilePixels>& tile = context.scratch;
  int64_t held_col = INT64_MIN, held_row = INT64_MIN;
  // Reads tile (col, row) into the scratch tile; false when the reader has no tile source.
  const auto read = [&](int64_t col, int64_t row, int shift) {
    held_col = col;
    held_row = row;
    if (col < 0 || row < 0 || col > INT32_MAX || row > INT32_MAX) {
      std::fill(tile.begin(), tile.end(), 1);  // off the chart
      return true;
    }
    return GetTile(int(col), int(row), shift, tile, context) == 0;
  };
  const auto give_up = [&] {
    for (int r = 0; r < kSide; ++r) std::fill_n(pixels + r * stride, kSide, colours[0]);
    context.incomplete = true;
    return 1;
  };
  const std::span<const uint8_t, kQctBlendTableSize> table = blend_table();
  const auto blend = [&table](uint8_t a, uint8_t b) {
    return uint8_t(table[size_t(a & kMask) * kPaletteColours + (b & kMask)] & kMask);
  };

  if (level <= 0) {
    // Each chart pixel becomes an m x m block; beyond 256 the whole block is one chart pixel.
    const int m = std::min(-level, 8);
    const int64_t span = ((kSide - 1) >> m) + 1;  // chart pixels across the block
    for (int64_t ty = FloorDiv64(y); ty <= FloorDiv64(y + span - 1); ++ty) {
      const int r0 = int(std::clamp<int64_t>((ty * kTileSide - y) << m, 0, kSide));
      const int r1 = int(std::clamp<int64_t>((ty * kTileSide + kTileSide - y) << m, 0, kSide));
      for (int64_t tx = FloorDiv64(x); tx <= FloorDiv64(x + span - 1); ++tx) {
        const int c0 = int(std::clamp<int64_t>((tx * kTileSide - x) << m, 0, kSide));
        const int c1 = int(std::clamp<int64_t>((tx * kTileSide + kTileSide - x) << m, 0, kSide));
        if (!read(tx, ty, 0)) return give_up();
        for (int r = r0; r < r1; ++r) {
          const int stored = ReverseBits6(int(y + (r >> m) - ty * kTileSide));
          const uint8_t* in = tile.data() + size_t(stored) * kTileSide;
          uint32_t* out = pixels + r * stride;
          for (int c = c0; c < c1; ++c) out[c] = colours[in[x + (c >> m) - tx * kTileSide] & kMask];
        }
      }
    }
  } else if (level <= kMaxShift && (x % kTileSide) == 0 && (y % kTileSide) == 0) {
    // Tile by tile: each 64 x 64 tile gives (64 >> level)^2 output pixels, read at the shift
    // that holds the rows A = 2^level j and B = A + h.
    const int step = 1 << level, h = step / 2, per = kTileSide >> level;
    const int64_t col0 = FloorDiv64(x), row0 = FloorDiv64(y);
    for (int ty = 0; ty < kSide / per; ++ty) {
      for (int tx = 0; tx < kSide / per; ++tx) {
        if (!read(col0 + tx, row0 + ty, level - 1)) return give_up();
        for (int j = 0; j < per; ++j) {
          const uint8_t* a = tile.data() + size_t(ReverseBits6(j * step)) * kTileSide;
          const uint8_t* b = tile.data() + size_t(ReverseBits6(j * step + h)) * kTileSide;
          uint32_t* out = pixels + (ty * per + j) * stride + tx * per;
          for (int i = 0; i < per; ++i) {
            const int c = i * step;
            out[i] = colours[blend(blend(a[c], b[c + h]), blend(b[c], a[c + h]))];
          }
        }
      }
    }
  } else {
    // Output pixels wider than a tile (or a corner off the tile grid): pixel by pixel, each
    // sample from its own tile, read at the coarsest shift that still holds its row.
    const int64_t step = int64_t(1) << std::min(level, 40), h = step / 2;
    int shift = std::min(level - 1, kMaxShift);
    while (shift > 0 && (y & ((int64_t(1) << shift) - 1)) != 0) --shift;
    held_col = held_row = INT64_MIN;
    bool failed = false;
    const auto sample = [&](int64_t px, int64_t py) -> uint8_t {
      const int64_t col = FloorDiv64(px), row = FloorDiv64(py);
      if ((col != held_col || row != held_row) && !read(col, row, shift)) failed = true;
      const int stored = ReverseBits6(int(py - row * kTileSide));
      return tile[size_t(stored) * kTileSide + size_t(px - col * kTileSide)];
    };
    for (int j = 0; j < kSide; ++j) {
      uint32_t* out = pixels + j * stride;
      const int64_t Y = y + step * j;
      for (int i = 0; i < kSide; ++i) {
        const int64_t X = x + step * i;
        const uint8_t first = blend(sample(X, Y), sample(X + h, Y + h));
        const uint8_t second = blend(sample(X, Y + h), sample(X + h, Y));
        if (failed) return give_up();
        out[i] = colours[blend(first, second)];
      }
    }
  }
  if (context.largest_gap > 0) context.incomplete = true;
  return 0;
}

const uint8_t* CQuickChart::MapOffset(uint64_t offset) const {
  const std::span<const uint8_t> rest = file_.From(offset);
  return rest.empty() ? nullptr : rest.data();
}
