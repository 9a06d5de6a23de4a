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

const uint8_t* CQuickChart::MapOffset(uint64_t offset) const {
  const std::span<const uint8_t> rest = file_.From(offset);
  return rest.empty() ? nullptr : rest.data();
}
