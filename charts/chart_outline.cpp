#include "charts/chart_outline.h"

#include <array>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "charts/quick_chart.h"
#include "charts/quick_chart_header.h"
#include "core/time_utils.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/geo_bounds.h"
#include "platform/os/files.h"

namespace {

// The header up to the end of the georeference: all the catalogue needs.
constexpr size_t kLeadingHeaderBytes = 416;
// A file must hold the fixed header and the first tile index entry.
constexpr int64_t kMinimumChartSize = 0x45A8;
constexpr uint32_t kNewestVersion = 5;  // in the low 24 bits of the version word
constexpr uint32_t kFirstChunkStoreVersion = 0x01000000;
constexpr uint32_t kLastTiledTileIndex = 0x459C;  // + 4 x width x height: the last entry
static_assert(std::is_trivially_copyable_v<QuickChartHeader>);

// The parts of a chart file the outline is made from, checked against the file's size.
struct OutlineSource {
  vd::os::File file;
  int64_t size = 0;
  QuickChartHeader header;  // only the leading bytes are read
  QuickChartExtension extension;
  ChartViewGeoref georef;  // polynomials, datum shift and pixel size

  // Opens the file and reads the header, extension and datum shift. False for anything that
  // is not a readable chart of a known version or whose offsets point past the end.
  bool Open(const std::string& path) {
    if (!file.Open(path, vd::os::File::Mode::Read)) return false;
    size = file.Size();
    if (size < kMinimumChartSize) return false;
    std::array<uint8_t, kLeadingHeaderBytes> bytes;
    if (!file.ReadExact(bytes.data(), bytes.size())) return false;
    std::memcpy(static_cast<void*>(&header), bytes.data(), bytes.size());
    const uint32_t version = header.version;
    if (!IsQctMagic(header.magic) || (version & 0xFFFFFF) > kNewestVersion ||
        (version >> 24) == 0x10) {
      return false;
    }
    if (header.width <= 0 || header.height <= 0 || !Below(header.name) ||
        !Below(header.outline)) {
      return false;
    }
    if (header.extension != 0) {
      if (!Read(&extension, sizeof extension, header.extension) || !Below(extension.map_type) ||
          !Below(extension.datum_shift)) {
        return false;
      }
    }
    if (extension.datum_shift != 0) {
      QctDatumShift shift;
      if (!Read(&shift, sizeof shift, extension.datum_shift)) return false;
      georef.shift_lat = shift.lat;
      georef.shift_lon = shift.lon;
    }
    georef.polynomials = header.georef;
    georef.width = header.width * 64;
    georef.height = header.height * 64;
    return header.outline_count < 1 ||
           uint64_t(header.outline) + uint64_t(header.outline_count) * 16 <= uint64_t(size);
  }

  bool Below(uint32_t offset) const { return int64_t(offset) < size; }
  bool Read(void* data, size_t count, uint64_t offset) {
    return file.PRead(data, count, offset) == int64_t(count);
  }

  // A tiled chart's last tile index entry lies inside the file: it was written to the end.
  bool TilesComplete() {
    if (header.version >= kFirstChunkStoreVersion) return true;
    uint32_t last = 0;
    const uint64_t at = kLastTiledTileIndex + 4 * uint64_t(header.width) * uint64_t(header.height);
    return Read(&last, sizeof last, at) && Below(last);
  }

  // The outline into `points` (when not null) and its bounding box into `outline`. Stored
  // points are in the chart's datum, their longitudes possibly past +-180: each is brought
  // within half a turn of the centre pixel's longitude before the shift is added.
  bool ReadOutline(CChartOutline& outline, std::vector<GeoPoint>* points) {
    std::vector<GeoPoint> found;
    if (header.outline_count < 1) {
      const double w = georef.width;
      const double h = georef.height;
      for (const auto& [x, y] : {std::pair{0.0, 0.0}, {w, 0.0}, {w, h}, {0.0, h}}) {
        const auto [lat, lon] = georef.PixelToLatLon(x, y);
        found.push_back({lat, lon});
      }
    } else {
      const double centre_lon =
          georef.PixelToLatLon(georef.width / 2.0, georef.height / 2.0).second - georef.shift_lon;
      found.resize(size_t(header.outline_count));
      if (!Read(found.data(), found.size() * sizeof(GeoPoint), header.outline)) return false;
      for (GeoPoint& p : found) {
        p.lon = WrapLongitudeTowards(p.lon, centre_lon) + georef.shift_lon;
        p.lat += georef.shift_lat;
      }
    }
    const CGeoBounds box = CGeoBounds::FromPoints(found);
    outline.min_lat = box.min_lat;
    outline.max_lat = box.max_lat;
    outline.min_lon = box.min_lon;
    outline.max_lon = box.max_lon;
    if (points) *points = std::move(found);
    return true;
  }
};

// The update text when it ends in a four-digit year after a '/', else the edition text.
int32_t EditionDate(const std::string& update, const std::string& edition) {
  const bool dated = update.size() > 5 && update[update.size() - 5] == '/';
  return ParseDateYmd(dated ? update : edition);
}

CChartOutline::CSortedPointer::Persistant sorted_pointer_settings;

}  // namespace

CChartOutline::CSortedPointer::Persistant::Persistant()
    : PersistantData("CChartOutline::CSortedPointer") {}

void CChartOutline::CSortedPointer::Persistant::Exchange() { ExchangeInt("sort_by", sort_by); }

CChartOutline::CSortedPointer::Persistant& CChartOutline::CSortedPointer::Settings() {
  return sorted_pointer_settings;
}

bool CChartOutline::ReadHeader(const std::string& path) {
  scale = 0;
  edition_date = 0;
  header_flags = 0;
  chunk_store = false;
  points.clear();
  path_ = path;
  OutlineSource source;
  if (!source.Open(path) || !source.TilesComplete()) return false;
  const QuickChartHeader& header = source.header;
  chunk_store = header.version >= kFirstChunkStoreVersion;
  header_flags = header.flags;
  name = ReadTextFromFile(source.file, header.name);
  if (name.empty()) name = path;
  map_type = ReadTextFromFile(source.file, source.extension.map_type);
  // Only a chart without a stored outline keeps its points now: the corners cost nothing.
  if (!source.ReadOutline(*this, header.outline_count < 1 ? &points : nullptr)) return false;
  edition_date = EditionDate(ReadTextFromFile(source.file, header.update),
                             ReadTextFromFile(source.file, header.edition));
  const double centre_scale = header.georef.ScaleAt(header.width * 32.0, header.height * 32.0);
  scale = std::isfinite(centre_scale) ? centre_scale : 0;
  return true;
}

bool CChartOutline::LoadPoints() {
  OutlineSource source;
  return source.Open(path_) && source.ReadOutline(*this, &points);
}

bool CChartOutline::EnsurePoints() { return !points.empty() || LoadPoints(); }

bool CChartOutline::ContainsPoint(double lat, double lon) {
  if (!(lon >= min_lon && lon <= max_lon && lat >= min_lat && lat <= max_lat)) return false;
  return EnsurePoints() && PointInPolygonVec(points, lat, lon);
}
