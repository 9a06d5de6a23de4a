#include "charts/old_quick_chart.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "charts/chart_reader_services.h"
#include "charts/old_quick_chart1.h"
#include "charts/old_quick_chart3.h"
#include "core/file_utils.h"
#include "core/string_utils.h"
#include "platform/os/clock.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kNewestTiledVersion = 5;
// Chart sizes are kept in pixels as int32: at most this many tiles either way.
constexpr int32_t kMaxTilesAcross = INT32_MAX / kTileSide;
// North is measured between two points this far (degrees) north and south of the centre.
constexpr double kNorthProbeDegrees = 1.0 / 120.0;
constexpr auto kRetryDelay = std::chrono::milliseconds(3000);
// Chart originals of reference files up to this size are copied into the reference's place.
constexpr uint64_t kLargestCopiedOriginal = 0xC00000;
// RenderArea reads its chart pixels in bands of about this many rows.
constexpr int kRenderBandRows = 256;
// A pixel 2e9 or more from the origin can't be an int32 screen coordinate.
constexpr double kPixelLimitSquared = 4e18;

void ShowError(const std::string& text) {
  const ChartReaderServices services = GetChartReaderServices();
  if (services.show_error) services.show_error(text);
}

// A chart of the other kind than the reader's (a reference file's original) is refused as a
// file that can't be opened.
std::string WrongKindRefusal(const std::string& path) {
  return vd::os::FormatC("Could not open file: \"%s\"", path.c_str());
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// A tile column or row for ReadTile; values beyond int32 lie outside every chart.
int TileIndex(int64_t v) { return v < INT_MIN || v > INT_MAX ? -1 : int(v); }

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

std::unique_ptr<COldQuickChart> OpenOldQuickChart(const std::string& path, bool allow_reference,
                                                  std::function<bool()> keep_going) {
  uint32_t prefix[2];
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read) || !file.ReadExact(prefix, sizeof prefix)) {
    return nullptr;
  }
  file.Close();
  const uint32_t version = prefix[1];
  std::unique_ptr<COldQuickChart> chart;
  if (HasQctTileIndexLayout(version)) {
    chart = std::make_unique<COldQuickChart1>();
  } else if (ClassifyQctVersion(version) == QctVersionKind::kChunkStore) {
    chart = std::make_unique<COldQuickChart3>();
  } else {
    return nullptr;
  }
  chart->SetOpenKeepGoing(std::move(keep_going));
  const bool opened = chart->Open(path, allow_reference) == COldQuickChart::kOpened;
  chart->SetOpenKeepGoing({});
  if (!opened) return nullptr;
  return chart;
}

COldQuickChart::~COldQuickChart() = default;

int COldQuickChart::Open(const std::string& path, bool allow_reference) {
  Close();
  const auto fail = [this](const std::string& text) {
    ShowError(text);
    Close();
    return kOpenFailed;
  };
  if (!readable_.Open(path, vd::os::File::Mode::Read)) return kOpenFailed;
  if (!mapping_.Open(path)) {
    return fail(vd::os::FormatC("Could not open file: \"%s\"", path.c_str()));
  }
  file_ = QctFileView(std::span<const uint8_t>(mapping_.data(), mapping_.size()));
  uint32_t magic = 0;
  uint32_t version = 0;
  if (!file_.ReadPrefix(magic, version) || !IsQctMagic(magic)) {
    return fail(vd::os::FormatC("Not a QuickChart: \"%s\"", path.c_str()));
  }
  const bool tiled = HasQctTileIndexLayout(version);
  if (tiled == ReadsChunkStore() ||
      (!tiled && ClassifyQctVersion(version) != QctVersionKind::kChunkStore)) {
    return fail(WrongKindRefusal(path));
  }
  if (tiled && version > kNewestTiledVersion) {
    return fail(vd::os::FormatC(
        "To open this map you need a newer version of your software.\n\n%s is version %d.",
        path.c_str(), int(version)));
  }
  // The header (and for a tiled chart the whole tile index) must lie in the file, and the chart
  // must measure in int32 pixels.
  if (!file_.ReadHeader(header_) || (tiled && !file_.HoldsTileIndex(header_)) ||
      header_.width < 0 ||
      header_.height < 0 || header_.width > kMaxTilesAcross || header_.height > kMaxTilesAcross) {
    return fail(vd::os::FormatC(
        "Failed to open map (2): \"%s\"\nPlease close all chart windows, then close the "
        "application and re-launch it by double-clicking on the QCT file you want to load.",
        path.c_str()));
  }
  // Tile pixels are 0..127, and so must be every blend the table gives (it is looked up with
  // its own entries).
  for (uint8_t& entry : header_.blend) entry &= kPaletteColours - 1;
  // Blocks that lie past the end of the file count as absent.
  extension_ = file_.ReadExtension(header_).value_or(QuickChartExtension{});
  online_source_ = file_.ReadOnlineSource(extension_).value_or(QctOnlineSource{});

  width_ = header_.width * kTileSide;
  height_ = header_.height * kTileSide;
  const GeorefPolynomial& polynomials = header_.georef;
  const auto [centre_lat, centre_lon] =
      EvalCubicPolynomial2D(polynomials.inverse, width_ / 2, height_ / 2);
  const ChartReaderServices services = GetChartReaderServices();
  // A chart without georeference has no position to take the variation at.
  if (services.update_magnetic_variation && header_.HasGeoreference()) {
    services.update_magnetic_variation(centre_lat, centre_lon, vd::os::NowSeconds1970());
  }
  const auto [x1, y1] =
      EvalCubicPolynomial2D(polynomials.forward, centre_lat - kNorthProbeDegrees, centre_lon);
  const auto [x2, y2] =
      EvalCubicPolynomial2D(polynomials.forward, centre_lat + kNorthProbeDegrees, centre_lon);
  north_angle_ = float(std::atan2(x2 - x1, y1 - y2));
  std::memcpy(palette_.data(), header_.palette.data(), kQctPaletteSize);
  path_ = path;

  if (tiled && file_.FirstIndexEntry() == 0u) {
    // A reference file: the chart is its original.
    if (allow_reference) return OpenOriginal();
    Close();
    return kOpenFailed;
  }

  // A file cut short (a copy or download that stopped) still opens, but the user learns which
  // chart lacks part of its picture.
  if (tiled) {
    if (const int64_t past = file_.CountTilesPastEnd(header_); past > 0) {
      ShowError(vd::os::FormatC(
          "The chart \"%s\" is incomplete: %lld of its %lld tiles lie past the end of the "
          "file and show black. The file may have been cut short while it was copied or "
          "downloaded.",
          path.c_str(), static_cast<long long>(past),
          static_cast<long long>(int64_t(header_.width) * header_.height)));
    }
  }

  if (const std::optional<QctDatumShift> shift = file_.ReadDatumShift(extension_)) {
    has_datum_shift_ = true;
    georef_.shift_lat = shift->lat;
    georef_.shift_lon = shift->lon;
  }
  georef_.polynomials = polynomials;
  georef_.reference_lon = centre_lon + georef_.shift_lon;
  georef_.width = width_;
  georef_.height = height_;
  georef_.valid = header_.HasGeoreference();
  MakeDisplayTitle();
  return OpenChunkStore() ? kOpened : kNoChunkStore;
}

int COldQuickChart::OpenOriginal() {
  std::string original = file_.HeaderText(header_, kQctOriginalName);
  std::replace(original.begin(), original.end(), '\\', '/');
  if (original.empty() || original == path_) {
    ShowError("Original file not available");
    Close();
    return kOpenFailed;
  }
  const std::string label = file_.Text(extension_.disk_label);
  const std::string reference = path_;
  Close();
  const ChartReaderServices services = GetChartReaderServices();
  while (!IsNotFolder(original)) {
    std::string text = "Cannot open file: " + original;
    if (!label.empty()) text += "\n\nPlease re-insert the disk: " + label;
    if (!services.ask_retry || !services.ask_retry(text)) return kOpenFailed;
    std::this_thread::sleep_for(kRetryDelay);
  }
  // A chart original of up to 12 MiB is copied into the reference file's place, so that the
  // chart is there when the disk is not; a larger one, or one that is no whole tiled chart,
  // opens where it lies, and so does one whose copy failed or was cancelled (the reference file
  // is then as it was). Other formats are converted into the reference file's place.
  std::string chart_path = original;
  if (EndsWithNoCase(original, "qct")) {
    if (GetFileLength(original) <= kLargestCopiedOriginal && IsTiledChartWithTiles(original) &&
        CopyFileWithProgress(original, reference)) {
      chart_path = reference;
    }
  } else {
    if (!services.convert) {
      ShowError(vd::os::FormatC("Could not open file: \"%s\"", original.c_str()));
      return kOpenFailed;
    }
    const int result = services.convert(original, reference);
    if (result != 0) return result;
    chart_path = reference;
  }
  return Open(chart_path, false);
}

void COldQuickChart::Close() {
  mapping_.Close();
  readable_.Close();
  file_ = QctFileView();
  width_ = 0;
  height_ = 0;
  palette_ = {};
  has_datum_shift_ = false;
  north_angle_ = 0;
  header_ = QuickChartHeader();
  extension_ = QuickChartExtension();
  online_source_ = QctOnlineSource();
  dimmed_ = false;
  title_.clear();
  depth_units_.clear();
  aux_text_.clear();
  path_.clear();
  georef_ = ChartViewGeoref();
}

void COldQuickChart::MakeDisplayTitle() {
  for (QctTextField field : {kQctName, kQctTitle, kQctIdentifier}) {
    title_ = file_.HeaderText(header_, field);
    if (!title_.empty()) break;
  }
  if (title_.empty()) title_ = path_.empty() ? "Unknown" : path_;
  depth_units_ = file_.HeaderText(header_, kQctDepthUnits);
  const std::string map_type = file_.Text(extension_.map_type);
  if (map_type.size() >= 8 && EqualsNoCase(std::string_view(map_type).substr(0, 8), "Nautical") &&
      !depth_units_.empty()) {
    title_ += ". Soundings in " + depth_units_;
  }
  aux_text_ = file_.Text(extension_.aux_text);
}

int64_t COldQuickChart::GetAreaDataSize(std::span<const PlanePoint>) { return 0; }

bool COldQuickChart::NextChunkRun(int& cursor, std::array<GeoPoint, 4>&, bool&, bool&) {
  cursor = -1;
  return false;
}

int COldQuickChart::FetchChunk(int, int, int, const std::function<bool()>&) { return 0; }

void COldQuickChart::GetCentrePixel(int& x, int& y) const {
  x = width_ / 2;
  y = height_ / 2;
}

void COldQuickChart::PixelToLatLon(double x, double y, double& lat, double& lon) const {
  std::tie(lat, lon) = georef_.PixelToLatLon(x, y);
}

void COldQuickChart::LatLonToPixelF(double lat, double lon, double& x, double& y) const {
  std::tie(x, y) = georef_.LatLonToPixel(lat, lon);
}

bool COldQuickChart::LatLonToPixel(double lat, double lon, ScreenPoint& point) const {
  double x;
  double y;
  LatLonToPixelF(lat, lon, x, y);
  if (!(x * x < kPixelLimitSquared) || !(y * y < kPixelLimitSquared)) {
    point = {-1, -1};
    return false;
  }
  point = {int32_t(x), int32_t(y)};
  return true;
}

bool COldQuickChart::HasGeoreference() const {
  return mapping_.IsOpen() && header_.HasGeoreference();
}

double COldQuickChart::GetScaleRatio(const GeorefPolynomial& other) const {
  if (!HasGeoreference()) return 100;
  return header_.georef.ScaleAt(0, 0) / other.ScaleAt(0, 0);
}

void COldQuickChart::GetHeaderString(uint32_t field_offset, std::string& out) const {
  out.clear();
  if (!mapping_.IsOpen() || field_offset > kQctHeaderSize - sizeof(uint32_t)) return;
  uint32_t text_offset;
  std::memcpy(&text_offset, header_.Bytes().data() + field_offset, sizeof text_offset);
  out = file_.Text(text_offset);
}

bool COldQuickChart::IsFileReadable() const {
  uint8_t probe[4];
  return readable_.IsOpen() && readable_.PRead(probe, sizeof probe, 0) == int64_t(sizeof probe);
}

void COldQuickChart::SetDimPalette(bool on) {
  if (on == dimmed_) return;
  dimmed_ = on;
  std::memcpy(palette_.data(), header_.palette.data(), kQctPaletteSize);
  if (!on) return;
  for (size_t entry = 0; entry < kQctPaletteSize; entry += 4) {
    palette_[entry] = uint8_t(palette_[entry] * 3 >> 2);          // blue
    palette_[entry + 1] = uint8_t(palette_[entry + 1] * 3 >> 2);  // green
  }
}

int COldQuickChart::PrefetchArea(int x, int y, int w, int h, int shift,
                                 const std::function<bool()>& still_wanted) {
  if (w <= 0 || h <= 0) return 0;
  const int64_t last_row = FloorDiv(int64_t(y) + h - 1, kChunkSide);
  const int64_t last_col = FloorDiv(int64_t(x) + w - 1, kChunkSide);
  for (int64_t row = FloorDiv(y, kChunkSide); row <= last_row; ++row) {
    for (int64_t col = FloorDiv(x, kChunkSide); col <= last_col; ++col) {
      if (FetchChunk(TileIndex(col), TileIndex(row), shift, still_wanted) != 0) return 1;
    }
  }
  return 0;
}

int COldQuickChart::RenderPaletteArea(int x, int y, int w, int h, ptrdiff_t stride, int zoom,
                                      uint8_t* buffer) {
  if (!buffer || w <= 0 || h <= 0 || zoom < -kMaxMagnifyShift || zoom > kMaxReduceShift) return 0;
  if (zoom <= 0) return RenderMagnified(x, y, w >> -zoom, h >> -zoom, -zoom, stride, buffer, true);
  return RenderReduced(x, y, w, h, zoom, stride, buffer);
}

int COldQuickChart::RenderMagnified(int64_t x, int64_t y, int64_t w, int64_t h, int magnify,
                                    ptrdiff_t stride, uint8_t* out, bool stop_at_missing) {
  if (w <= 0 || h <= 0) return 0;
  const int64_t m = int64_t{1} << magnify;
  std::array<uint8_t, kTilePixels> tile;
  const int64_t last_row = FloorDiv(y + h - 1, kTileSide);
  const int64_t last_col = FloorDiv(x + w - 1, kTileSide);
  for (int64_t row = FloorDiv(y, kTileSide); row <= last_row; ++row) {
    const int64_t tile_top = row * kTileSide;
    const int64_t top = std::max(y, tile_top);
    const int64_t bottom = std::min(y + h, tile_top + kTileSide);
    for (int64_t col = FloorDiv(x, kTileSide); col <= last_col; ++col) {
      if (ReadTile(TileIndex(col), TileIndex(row), 0, tile) != 0) {
        if (stop_at_missing) return 1;
        tile.fill(1);
      }
      const int64_t tile_left = col * kTileSide;
      const int64_t left = std::max(x, tile_left);
      const size_t count = size_t(std::min(x + w, tile_left + kTileSide) - left);
      for (int64_t r = top; r < bottom; ++r) {
        const uint8_t* src =
            tile.data() + ReverseBits6(int(r - tile_top)) * kTileSide + (left - tile_left);
        uint8_t* dst = out + (r - y) * m * stride + (left - x) * m;
        if (m == 1) {
          std::memcpy(dst, src, count);
          continue;
        }
        for (size_t i = 0; i < count; ++i) std::memset(dst + i * m, src[i], size_t(m));
        for (int64_t copy = 1; copy < m; ++copy) std::memcpy(dst + copy * stride, dst, count * m);
      }
    }
  }
  return 0;
}

int COldQuickChart::RenderReduced(int64_t x, int64_t y, int w, int h, int shift, ptrdiff_t stride,
                                  uint8_t* out) {
  const int side = kTileSide >> shift;  // output pixels across a tile
  const int half = 1 << (shift - 1);
  const uint8_t* blend = header_.blend.data();
  const auto mix = [blend](uint8_t a, uint8_t b) { return blend[a * kQctColours + b]; };
  std::array<uint8_t, kTilePixels> tile;
  const int64_t first_row = FloorDiv(y, kTileSide);
  const int64_t first_col = FloorDiv(x, kTileSide);
  for (int tile_y = 0; tile_y * side < h; ++tile_y) {
    const int rows = std::min(side, h - tile_y * side);
    for (int tile_x = 0; tile_x * side < w; ++tile_x) {
      if (ReadTile(TileIndex(first_col + tile_x), TileIndex(first_row + tile_y), shift - 1,
                   tile) != 0) {
        return 1;
      }
      const int columns = std::min(side, w - tile_x * side);
      for (int j = 0; j < rows; ++j) {
        // Image rows A and B = A + half of the 2^shift square; both are among the stored rows
        // decoded at shift - 1.
        const uint8_t* a = tile.data() + ReverseBits6(j << shift) * kTileSide;
        const uint8_t* b = tile.data() + ReverseBits6((j << shift) + half) * kTileSide;
        uint8_t* dst = out + (int64_t(tile_y) * side + j) * stride + int64_t(tile_x) * side;
        for (int i = 0; i < columns; ++i) {
          const int c = i << shift;
          dst[i] = mix(mix(a[c], b[c + half]), mix(b[c], a[c + half]));
        }
      }
    }
  }
  return 0;
}

void COldQuickChart::CopyArea(int x0, int y0, int x1, int y1, uint8_t* buffer, ptrdiff_t stride) {
  if (!buffer) return;
  const bool downloads = download_switch_.exchange(false);
  RenderMagnified(x0, y0, int64_t(x1) - x0 + 1, int64_t(y1) - y0 + 1, 0, stride, buffer, false);
  download_switch_ = downloads;
}

void COldQuickChart::RenderArea(uint32_t* out, ptrdiff_t out_stride, const RenderRect& rect,
                                int shift, int x, int y) {
  if (!out || shift < 0 || shift > kMaxReduceShift || rect.right <= rect.left ||
      rect.bottom <= rect.top) {
    return;
  }
  std::array<uint32_t, 256> colours;
  for (size_t i = 0; i < colours.size(); ++i) {
    const uint8_t* q = palette_.data() + 4 * i;
    colours[i] = 0xFF000000u | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
  }
  const int64_t out_width = int64_t(rect.right) - rect.left;
  const int64_t out_height = int64_t(rect.bottom) - rect.top;
  const int64_t chart_width = out_width << shift;
  const int64_t side = int64_t{1} << shift;
  const int64_t band = std::max<int64_t>(1, kRenderBandRows >> shift);  // output rows
  std::vector<uint8_t> pixels(size_t(chart_width * (band << shift)));
  for (int64_t band_top = 0; band_top < out_height; band_top += band) {
    const int64_t rows = std::min(band, out_height - band_top);
    RenderMagnified(x, int64_t(y) + (band_top << shift), chart_width, rows << shift, 0,
                    chart_width, pixels.data(), false);
    for (int64_t j = 0; j < rows; ++j) {
      uint32_t* dst = out + (rect.top + band_top + j) * out_stride + rect.left;
      const uint8_t* src = pixels.data() + (j << shift) * chart_width;
      if (shift == 0) {
        for (int64_t i = 0; i < out_width; ++i) dst[i] = colours[src[i]];
        continue;
      }
      for (int64_t i = 0; i < out_width; ++i) {
        uint32_t red = 0, green = 0, blue = 0;
        for (int64_t dy = 0; dy < side; ++dy) {
          const uint8_t* p = src + dy * chart_width + (i << shift);
          for (int64_t dx = 0; dx < side; ++dx) {
            const uint32_t c = colours[p[dx]];
            red += (c >> 16) & 0xFF;
            green += (c >> 8) & 0xFF;
            blue += c & 0xFF;
          }
        }
        const int bits = 2 * shift;
        dst[i] = 0xFF000000u | (red >> bits) << 16 | (green >> bits) << 8 | (blue >> bits);
      }
    }
  }
}
