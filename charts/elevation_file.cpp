#include "charts/elevation_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

#include "charts/chart_reader_services.h"
#include "platform/os/numbers.h"
#include "geodesy/georef_fitter.h"
#include "geodesy/plane_geometry.h"

namespace {

uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void ShowError(const std::string& text) {
  if (const ChartReaderServices services = GetChartReaderServices(); services.show_error) {
    services.show_error(text);
  }
}

// Integer cell and fraction of a grid coordinate; false when it is far outside any grid an
// int can index (or not a number), which the caller treats as "no sample".
template <class Real>
bool SplitCoordinate(Real v, int& cell, Real& fraction) {
  if (!(v >= Real(-4) && v < Real(INT_MAX / 2))) return false;
  cell = static_cast<int>(std::floor(v));
  fraction = v - Real(cell);
  return true;
}

// Truncation toward zero of a polygon's grid extent, held well inside the int range.
int64_t TruncClamped(double v) { return static_cast<int64_t>(std::clamp(v, -1e15, 1e15)); }

}  // namespace

CElevationFile::~CElevationFile() { Close(); }

void CElevationFile::Close() {
  view_.Close();
  header_ = {};
  offsets_ = nullptr;
  path_.clear();
  loaded_ = false;
}

bool CElevationFile::Fail(const char* format) {
  std::string text = format;
  if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, path_);
  Close();
  ShowError(text);
  return false;
}

bool CElevationFile::Open(const std::string& path) {
  Close();
  {
    vd::os::File file;
    if (!file.Open(path, vd::os::File::Mode::Read)) return false;
    if (file.Size() < static_cast<int64_t>(kQedHeaderSize)) return false;
  }
  path_ = path;
  if (!view_.Open(path)) {
    return Fail(errno == ENOMEM ? "File too big: \"%s\"\nPlease close some map windows"
                                : "Could not open file: \"%s\"");
  }
  if (view_.size() < kQedHeaderSize) return Fail("Could not open file: \"%s\"");  // shrunk
  std::memcpy(&header_, view_.data(), kQedHeaderSize);
  if (header_.magic != kQedMagic) return Fail("Not a QED file: \"%s\"");
  if (header_.version > 0) return Fail("QED file is newer version: \"%s\"");
  // The sizes must describe a grid whose offset table lies in the file and whose sample
  // coordinates (plus the two-sample margin of the slope) fit an int.
  const int64_t n = header_.tile_size;
  const int64_t rows = header_.rows;
  const int64_t columns = header_.columns;
  if (n < 1 || rows < 0 || columns < 0) return Fail("Not a QED file: \"%s\"");
  if (n > kQedMaxTileSize || n * columns > INT_MAX / 2 || n * rows > INT_MAX / 2) {
    return Fail(vd::os::FormatC("The elevation grid of \"%%s\" is too large to be read: tiles of "
                                "%d samples, %d x %d tiles (at most %d samples a side).",
                                header_.tile_size, header_.columns, header_.rows,
                                kQedMaxTileSize).c_str());
  }
  if (kQedHeaderSize + 4 * rows * columns > view_.size()) {
    return Fail("The elevation file \"%s\" is cut short: its tile table ends past the end of "
                "the file.");
  }
  offsets_ = view_.data() + kQedHeaderSize;
  loaded_ = true;
  double centre_lat;
  GridToLatLon(grid_width() / 2.0, grid_height() / 2.0, centre_lat, centre_lon_);
  return true;
}

int CElevationFile::grid_width() const { return loaded_ ? header_.columns * header_.tile_size : 0; }
int CElevationFile::grid_height() const { return loaded_ ? header_.rows * header_.tile_size : 0; }

const uint8_t* CElevationFile::TileAt(int tile_column, int tile_row) const {
  if (tile_row >= header_.rows || tile_column >= header_.columns) return nullptr;
  const uint64_t offset =
      ReadU32(offsets_ + 4 * (static_cast<size_t>(tile_row) * header_.columns + tile_column));
  const size_t size = view_.size();
  if (offset == 0 || offset + 3 > size) return nullptr;
  const uint8_t* tile = view_.data() + offset;
  const uint64_t bits = tile[0];
  const uint64_t n = header_.tile_size;
  if (bits > kQedMaxSampleBits || offset + 3 + (bits * n * n + 7) / 8 > size) return nullptr;
  return tile;
}

int CElevationFile::GetSample(int x, int y, bool* ok) const {
  if (loaded_ && x >= 0 && y >= 0) {
    const int n = header_.tile_size;
    if (const uint8_t* tile = TileAt(x / n, y / n)) {
      const int bits = tile[0];
      int16_t base;
      std::memcpy(&base, tile + 1, sizeof base);
      const uint64_t index = static_cast<uint64_t>(y % n) * static_cast<uint64_t>(n) + x % n;
      const uint64_t bit = index * bits;
      // The three-byte window may reach past the tile's last byte; bytes beyond the end of the
      // file read as zero (the field itself always lies inside the tile).
      const uint8_t* data = tile + 3 + bit / 8;
      const size_t available = view_.data() + view_.size() - data;
      uint32_t window = 0;
      for (size_t i = 0; i < 3 && i < available; ++i) window |= uint32_t{data[i]} << (8 * i);
      const uint32_t field = (window >> (bit % 8)) & ((1u << (bits & 31)) - 1);
      return base + static_cast<int>(field);
    }
  }
  if (ok) *ok = false;
  return kNoElevation;
}

float CElevationFile::GetHeight(double lat, double lon) const {
  if (!loaded_) return kNoElevation;
  double x, y, fx, fy;
  int x0, y0;
  LatLonToGrid(lat, lon, x, y);
  if (!SplitCoordinate(x, x0, fx) || !SplitCoordinate(y, y0, fy)) return kNoElevation;
  bool ok = true;
  const double s00 = GetSample(x0, y0, &ok);
  const double s01 = GetSample(x0, y0 + 1, &ok);
  const double s10 = GetSample(x0 + 1, y0, &ok);
  const double s11 = GetSample(x0 + 1, y0 + 1, &ok);
  if (!ok) return kNoElevation;
  return static_cast<float>((s00 * (1 - fx) + s10 * fx) * (1 - fy) +
                            (s01 * (1 - fx) + s11 * fx) * fy);
}

void CElevationFile::GetSlope(double lat, double lon, int16_t* out) const {
  *out = 0;
  if (!loaded_) return;
  double xd, yd;
  LatLonToGrid(lat, lon, xd, yd);
  float fx, fy;
  int x0, y0;
  if (!SplitCoordinate(static_cast<float>(xd), x0, fx) ||
      !SplitCoordinate(static_cast<float>(yd), y0, fy)) {
    return;
  }
  bool ok = true;
  float row[2][4];
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 4; ++c) row[r][c] = static_cast<float>(GetSample(x0 - 1 + c, y0 + r, &ok));
  }
  if (!ok) return;
  const float a = row[0][2] - row[0][0], b = row[0][3] - row[0][1];
  const float c = row[1][2] - row[1][0], d = row[1][3] - row[1][1];
  const float slope = (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
  // Samples of up to 17 bits can differ by more than 16 bits hold.
  *out = static_cast<int16_t>(std::clamp(std::trunc(slope), float(INT16_MIN), float(INT16_MAX)));
}

void CElevationFile::LatLonToGrid(double lat, double lon, double& x, double& y) const {
  std::tie(x, y) = header_.georef.LatLonToPixel(lat, lon, centre_lon_);
}

void CElevationFile::GridToLatLon(double x, double y, double& lat, double& lon) const {
  std::tie(lat, lon) = EvalCubicPolynomial2D(header_.georef.inverse, x, y);
}

double CElevationFile::NauticalMilesPerCell(double x, double y) const {
  return header_.georef.ScaleAt(x, y);
}

bool CElevationFile::ExportPolygon(const std::string& out_path, const GeoPoint* points,
                                   int count) const {
  if (!loaded_ || points == nullptr || count < 1) return false;
  std::vector<PlanePoint> ring;
  ring.reserve(count + 1);
  double min_x = 1e100, max_x = -1e100, min_y = 1e100, max_y = -1e100;
  for (int i = 0; i < count; ++i) {
    PlanePoint p;
    LatLonToGrid(points[i].lat, points[i].lon, p.x, p.y);
    min_x = std::min(min_x, p.x);
    max_x = std::max(max_x, p.x);
    min_y = std::min(min_y, p.y);
    max_y = std::max(max_y, p.y);
    ring.push_back(p);
  }
  if (points[0].lat != points[count - 1].lat || points[0].lon != points[count - 1].lon) {
    ring.push_back(ring.front());
  }
  const int64_t n = header_.tile_size;
  const int64_t first_col = std::max<int64_t>(0, TruncClamped(min_x) / n);
  const int64_t first_row = std::max<int64_t>(0, TruncClamped(min_y) / n);
  const int64_t last_col = std::min<int64_t>((TruncClamped(max_x) - 1) / n, header_.columns - 1);
  const int64_t last_row = std::min<int64_t>((TruncClamped(max_y) - 1) / n, header_.rows - 1);
  if (last_row < first_row || last_col < first_col) return false;

  const auto fail_output = [&] {
    ShowError("Failed to open output file: " + out_path);
    return false;
  };
  // Replacing the file this object reads from would pull the data from under its own lookups.
  const std::optional<vd::os::FileIdentity> source = vd::os::IdentifyFile(path_);
  if (source && source == vd::os::IdentifyFile(out_path)) return fail_output();

  QedHeader out = header_;
  out.rows = static_cast<int32_t>(last_row - first_row + 1);
  out.columns = static_cast<int32_t>(last_col - first_col + 1);
  out.reserved = 0;
  const double shift_x = static_cast<double>(n * first_col);
  const double shift_y = static_cast<double>(n * first_row);
  double residual;
  FitPolynomialFromMapping(
      out.georef, static_cast<int>(n * out.columns), static_cast<int>(n * out.rows),
      [&](int x, int y, double& lat, double& lon) {
        GridToLatLon(x + shift_x, y + shift_y, lat, lon);
        return true;
      },
      residual);
  // A singular fit keeps nothing, which would leave the source's georeference in place.
  if (residual >= kSingularFitResidual) return false;

  vd::os::AtomicFileWriter writer;
  if (!writer.Open(out_path)) return fail_output();
  std::vector<uint32_t> table(static_cast<size_t>(out.rows) * out.columns, 0);
  const size_t table_bytes = table.size() * sizeof(uint32_t);
  vd::os::File& file = writer.file();
  if (!file.Write(&out, kQedHeaderSize) || !file.Write(table.data(), table_bytes)) return false;
  uint64_t position = kQedHeaderSize + table_bytes;
  for (int64_t row = first_row; row <= last_row; ++row) {
    for (int64_t col = first_col; col <= last_col; ++col) {
      const uint8_t* tile = TileAt(static_cast<int>(col), static_cast<int>(row));
      if (tile == nullptr ||
          !SquareTouchesPolygon(double(n * col), double(n * row), double(n), ring)) {
        continue;
      }
      const uint64_t bytes = 3 + (uint64_t{tile[0]} * n * n + 7) / 8;
      if (position > UINT32_MAX) return false;  // the offsets are 32-bit
      table[(row - first_row) * out.columns + (col - first_col)] = static_cast<uint32_t>(position);
      if (!file.Write(tile, bytes)) return false;
      position += bytes;
    }
  }
  return file.PWrite(table.data(), table_bytes, kQedHeaderSize) && writer.Commit();
}
