#include "overlays/outline/old_chart_outline.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "charts/old_quick_chart.h"
#include "overlays/outline/stored_path.h"
#include "charts/qct_file_view.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/string_utils.h"
#include "core/ui/message_boxes.h"
#include "geodesy/chart_view_georef.h"
#include "overlays/mapped_object.h"
#include "overlays/overlay_archive.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/ui/surface.h"

const OverlayClass COldChartOutline::kClass("COldChartOutline", kOverlaySchema,
                                            &COstrelObject::kClass,
                                            &CreateArchiveObject<COldChartOutline>);
const OverlayClass COldChartOutline::kConfigClass("CChartOutline", kOverlaySchema,
                                                  &COldChartOutline::kClass,
                                                  &CreateArchiveObject<COldChartOutline>);

namespace {

bool g_config_name = false;

// Header texts are read up to their terminating zero, at most this many bytes.
constexpr size_t kMaxHeaderText = 1023;
// Records of this schema and below hold only the chart path.
constexpr uint16_t kPathOnlySchema = 9;
// An outline reaching beyond 16-bit device coordinates on screen is not drawn.
constexpr int kMinDrawCoordinate = -32767;
constexpr int kMaxDrawCoordinate = 32768;

std::string FolderWithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// The text at a file offset: up to its zero or kMaxHeaderText bytes; empty for offset 0.
std::string TextAt(const QctFileView& file, uint32_t offset) {
  if (offset == 0) return {};
  const std::span<const uint8_t> bytes = file.From(offset);
  const auto* begin = reinterpret_cast<const char*>(bytes.data());
  const auto* end = begin + std::min(bytes.size(), kMaxHeaderText);
  return vd::os::Cp1252ToUtf8(std::string_view(begin, std::find(begin, end, '\0')));
}

// "Edition: 3; Scale: 1:50000; ..." from the header texts that say something.
std::string DescriptionOf(const QctFileView& file, const QuickChartHeader& header) {
  static constexpr struct {
    const char* label;
    QctTextField field;
  } kParts[] = {
      {"Edition: ", kQctEdition},  {"Update: ", kQctUpdate},  {"Scale: ", kQctScale},
      {"Datum: ", kQctDatum},      {"\u00A9 ", kQctCopyright}, {"Heights: ", kQctHeightUnits},
      {"Depths: ", kQctDepthUnits}, {"Projection: ", kQctProjection},
  };
  std::string out;
  for (const auto& part : kParts) {
    const std::string value = TextAt(file, header.TextOffset(part.field));
    if (value.empty() || EqualsNoCase(value, "none")) continue;
    if (!out.empty()) out += "; ";
    out += part.label;
    out += value;
  }
  return out;
}

// The boundary in the chart's own datum: the stored outline with its longitudes brought next
// to the centre's, or the corners of the pixel area. nullopt when the stored points are cut
// off by the end of the file.
std::optional<std::vector<GeoPoint>> BoundaryOf(const QctFileView& file,
                                                const QuickChartHeader& header) {
  ChartViewGeoref georef;  // no datum shift: the caller adds it
  georef.polynomials = header.georef;
  const double w = 64.0 * header.width;
  const double h = 64.0 * header.height;
  if (header.outline_count < 1) {
    std::vector<GeoPoint> corners;
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {w, 0.0}, {w, h}, {0.0, h}}) {
      const auto [lat, lon] = georef.PixelToLatLon(x, y);
      corners.push_back({lat, lon});
    }
    return corners;
  }
  std::optional<std::vector<GeoPoint>> points = file.ReadOutline(header);
  if (!points) return std::nullopt;
  const double centre_lon = georef.PixelToLatLon(w / 2, h / 2).second;
  for (GeoPoint& p : *points) p.lon = WrapLongitudeTowards(p.lon, centre_lon);
  return points;
}

}  // namespace

// ---- Class name switch ----

COldChartOutline::ConfigNameScope::ConfigNameScope() : previous_(g_config_name) {
  g_config_name = true;
}

COldChartOutline::ConfigNameScope::~ConfigNameScope() { g_config_name = previous_; }

// ---- Object ----

COldChartOutline::COldChartOutline() = default;

COldChartOutline::~COldChartOutline() = default;

const OverlayClass& COldChartOutline::GetRuntimeClass() const {
  return g_config_name ? kConfigClass : kClass;
}

namespace {

// A path of a record, as a local one. The system reads a path up to a NUL byte, so a stored
// path holding one would name another file or folder ("/\0..." the root): the record is
// malformed.
std::string ReadStoredPath(COverlayArchive& archive) {
  const std::string stored = archive.ReadString();
  if (stored.find('\0') != std::string::npos) {
    throw COverlayArchiveException(COverlayArchiveException::kBadString,
                                   "a stored path holds a NUL byte");
  }
  return StoredPathToLocal(stored);
}

}  // namespace

void COldChartOutline::Serialize(COverlayArchive& archive) {
  COstrelObject::Serialize(archive);
  const std::string& folder = archive.link_folder();
  if (archive.IsStoring()) {
    archive.WriteString("");  // the path field of the oldest records
    archive.WriteInt32(static_cast<int32_t>(points.size()));
    for (const GeoPoint& p : points) {
      archive.WriteDouble(p.lat);
      archive.WriteDouble(p.lon);
    }
    archive.WriteString(map_type);
    archive.WriteString(chart_id);
    archive.WriteString(header_text_24);
    archive.WriteString(folder.empty() ? chart_path
                                       : StripPathPrefix(chart_path, FolderWithSlash(folder)));
    archive.WriteString(source_path);
    archive.WriteString(title);
    archive.WriteString(description);
    archive.WriteBool(no_tiles);
    archive.WriteDouble(scale);
    archive.WriteBool(has_datum_shift);
    archive.WriteDouble(shift_lat);
    archive.WriteDouble(shift_lon);
    archive.WriteInt32(reserved);
    archive.WriteInt32(static_cast<int32_t>(chart_version));
    return;
  }

  const uint16_t schema = archive.GetObjectSchema();
  chart_path = ReadStoredPath(archive);
  if (schema > kPathOnlySchema) {
    const int32_t count = archive.ReadInt32();
    if (count < 0 || static_cast<uint64_t>(count) * 16 > archive.BytesLeft()) {
      throw COverlayArchiveException(COverlayArchiveException::kBadCount,
                                     "outline point count larger than the archive");
    }
    points.resize(static_cast<size_t>(count));
    for (GeoPoint& p : points) {
      p.lat = archive.ReadDouble();
      p.lon = archive.ReadDouble();
    }
    map_type = archive.ReadString();
    chart_id = archive.ReadString();
    header_text_24 = archive.ReadString();
    chart_path = ReadStoredPath(archive);
    source_path = ReadStoredPath(archive);
    title = archive.ReadString();
    description = archive.ReadString();
    no_tiles = archive.ReadBool();
    scale = archive.ReadDouble();
    if (schema > 13) {
      has_datum_shift = archive.ReadBool();
      shift_lat = archive.ReadDouble();
      shift_lon = archive.ReadDouble();
    }
    if (schema > 21) reserved = archive.ReadInt32();
    chart_version = schema > 22 ? static_cast<uint32_t>(archive.ReadInt32()) : 0;
    SetColourFromMapType();
    if (name.size() >= 6 && EqualsNoCase(std::string_view(name).substr(0, 6), "Merged")) {
      header_flags |= kMergedFlag;
    }
  }
  if (!folder.empty() && IsRelativePath(chart_path)) {
    chart_path = FolderWithSlash(folder) + chart_path;
  }
  // The oldest records are rebuilt from the chart, found where a newer record would be.
  if (schema <= kPathOnlySchema) ReadQuickChartHeader(*this, chart_path);
  SizeChartFileOnly();
}

bool COldChartOutline::GetBounds(double& min_lat, double& max_lat, double& min_lon,
                                 double& max_lon) const {
  if (points.empty()) {
    min_lat = max_lat = min_lon = max_lon = 0.0;
    return false;
  }
  min_lat = min_lon = 1e10;
  max_lat = max_lon = -1e10;
  for (const GeoPoint& p : points) {
    min_lat = std::min(min_lat, p.lat);
    max_lat = std::max(max_lat, p.lat);
    min_lon = std::min(min_lon, p.lon);
    max_lon = std::max(max_lon, p.lon);
  }
  return true;
}

void COldChartOutline::PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand&) {
  std::vector<vd::ui::Point> pixels;
  pixels.reserve(points.size());
  for (const GeoPoint& p : points) {
    ScreenPoint pixel;
    if (!chart || !chart->LatLonToPixel(p.lat, p.lon, pixel)) {
      pixels.clear();
      break;
    }
    pixels.push_back({pixel.x, pixel.y});
  }
  if (mapped.SetPointCount(static_cast<int>(pixels.size()))) {
    std::copy(pixels.begin(), pixels.end(), mapped.chart_points().begin());
  }
  mapped.Project();
}

void COldChartOutline::Draw(vd::ui::Surface& dc, vd::ui::Graphics&, CMappedObject& mapped,
                            bool) {
  const auto client = mapped.client_points();
  if (client.empty()) return;
  const vd::ui::Rect& box = mapped.bounds;
  for (int side : {box.left, box.top, box.right, box.bottom}) {
    if (side < kMinDrawCoordinate || side > kMaxDrawCoordinate) return;
  }
  dc.Save();
  dc.SelectPen({no_tiles ? vd::ui::LineStyle::Dash : vd::ui::LineStyle::Solid, 1, colour});
  dc.SelectBrush(vd::ui::Brush::Null());
  dc.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);
  dc.Polygon(client);
  dc.Restore();
}

bool COldChartOutline::HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int) {
  const COldQuickChart* chart = mapped.chart();
  if (!chart) return false;
  double lat = 0, lon = 0;
  chart->PixelToLatLon(chart_point.x, chart_point.y, lat, lon);
  return ContainsPoint(lat, lon);
}

void COldChartOutline::CentreInView() {
  auto* doc = dynamic_cast<CChartOutlineDocument*>(document());
  if (!doc) return;
  double lat = 0, lon = 0;
  GetCentre(lat, lon);
  doc->OpenChartViewAt(*this, lat, lon, 8 * scale, 1);
}

void COldChartOutline::OnInitPopupMenu(vd::ui::PopupMenu&) {}

// ---- Operations ----

bool COldChartOutline::ContainsPoint(double lat, double lon) const {
  if (points.empty()) return false;
  // Outlines across the 180th meridian keep longitudes beyond +-180: test the position on the
  // outline's side.
  double clat = 0, clon = 0;
  GetCentre(clat, clon);
  lon = WrapLongitudeTowards(lon, clon);
  bool inside = false;
  for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
    const GeoPoint& a = points[i];
    const GeoPoint& b = points[j];
    if ((a.lat > lat) != (b.lat > lat) &&
        lon < (b.lon - a.lon) * (lat - a.lat) / (b.lat - a.lat) + a.lon) {
      inside = !inside;
    }
  }
  return inside;
}

void COldChartOutline::GetCentre(double& lat, double& lon) const {
  double min_lat = 0, max_lat = 0, min_lon = 0, max_lon = 0;
  GetBounds(min_lat, max_lat, min_lon, max_lon);
  lat = (min_lat + max_lat) / 2;
  lon = (min_lon + max_lon) / 2;
}

float COldChartOutline::ScaleMatch(double lat, double lon, double wanted_scale) const {
  if (!ContainsPoint(lat, lon) || !(scale > 0)) return 0.0f;
  if (!(wanted_scale > 0)) return static_cast<float>(1.0 / scale);
  const float r = static_cast<float>(wanted_scale / scale);
  return r > 1.0f ? 1.0f / r : r;
}

void COldChartOutline::SizeChartFileOnly() {
  disk_size = static_cast<int64_t>(GetFileSize64(no_tiles ? source_path : chart_path));
}

int64_t COldChartOutline::GetDiskSize() {
  if (no_tiles) {
    disk_size = static_cast<int64_t>(GetFileSize64(source_path));
  } else {
    disk_size = static_cast<int64_t>(GetFileSize64(chart_path));
    if (IsChunkStore()) {
      disk_size += static_cast<int64_t>(GetDirectorySize(ReplaceFileExtension(chart_path, ".qc3")));
    }
  }
  return disk_size;
}

bool COldChartOutline::DeleteChartFiles() {
  if (!vd::os::RemoveFile(chart_path)) return false;
  for (const char* store : {".qc3", ".qcc"}) {
    const std::string folder = ReplaceFileExtension(chart_path, store);
    if (vd::os::IsDirectory(folder)) DeleteDirectoryTree(folder);
  }
  Delete(false);
  return true;
}

void COldChartOutline::RefreshViews() {
  if (COstrelDocBase* doc = document()) doc->RefreshViewsOfChartFile(chart_path);
}

void COldChartOutline::SetColourFromMapType() { colour = OutlineColourForMapType(map_type); }

bool COldChartOutline::IsChunkStore() const { return IsQctChunkStoreVersion(chart_version); }

// ---- Reading the chart header ----

vd::ui::ColourRef OutlineColourForMapType(const std::string& map_type) {
  std::string kind = map_type;
  StringToUpper(kind);
  const std::string_view first4 = std::string_view(kind).substr(0, 4);
  for (const char* land : {"TOPO", "QUAD", "LAND", "ROAD", "STRE", "TIFF"}) {
    if (first4 == land) return 0x00FF00;
  }
  if (first4 == "NAVP" || first4 == "PHOT") return 0xFF0000;
  if (first4 == "AERO") {
    switch (kind.size() > 5 ? kind[5] : '\0') {
      case 'H': return 0xFFFF00;
      case 'S': return 0x00FF00;
      case 'T': return 0xFF0000;
      case 'V': return 0xFF00FF;
      case 'W': return 0x0000FF;
      default: return 0x00FFFF;  // 'I' and the rest
    }
  }
  return COldChartOutline::kDefaultColour;
}

bool ReadQuickChartHeader(COldChartOutline& outline, const std::string& path) {
  vd::os::MappedFile mapping;
  if (!mapping.Open(path)) {
    outline.name = "Missing file: " + path;
    return false;
  }
  const QctFileView file({mapping.data(), mapping.size()});
  outline.chart_path = StoredPathToLocal(path);
  uint32_t magic = 0;
  QuickChartHeader header;
  if (!file.ReadPrefix(magic, outline.chart_version) || !IsQctMagic(magic) ||
      !file.ReadHeader(header)) {
    FormatMessageBox(vd::ui::kMbIconError, "Not a QuickChart file: \"%s\"", path.c_str());
    return false;
  }
  const uint32_t version = outline.chart_version;
  if (version > 5 && (version >> 28) == 0) {
    FormatMessageBox(vd::ui::kMbIconError, "%s is an incompatible version (%d)", path.c_str(),
                     static_cast<int>(version));
    return false;
  }
  std::optional<std::vector<GeoPoint>> boundary = BoundaryOf(file, header);
  if (!boundary) {
    // The outline's points run past the end of the file: a damaged chart.
    FormatMessageBox(vd::ui::kMbIconError, "Not a QuickChart file: \"%s\"", path.c_str());
    return false;
  }

  const std::optional<QuickChartExtension> extension = file.ReadExtension(header);
  outline.map_type = extension ? TextAt(file, extension->map_type) : std::string();
  outline.chart_id = TextAt(file, header.identifier);
  outline.name = TextAt(file, header.name);
  outline.title = TextAt(file, header.title);
  outline.rights = TextAt(file, header.copyright);
  outline.SetColourFromMapType();
  if (outline.name.empty()) outline.name = outline.title;
  if (outline.name.empty()) outline.name = outline.chart_path;
  if (outline.title.empty()) outline.title = outline.name;
  outline.header_text_24 = TextAt(file, header.description);
  outline.source_path = StoredPathToLocal(TextAt(file, header.original_name));
  if (outline.source_path.empty()) outline.source_path = outline.chart_path;
  outline.description = DescriptionOf(file, header);
  outline.scale = header.georef.ScaleAt(32.0 * header.width, 32.0 * header.height);
  outline.no_tiles = file.FirstIndexEntry().value_or(0) == 0;
  if (outline.no_tiles) outline.name += "*";

  outline.points = std::move(*boundary);
  const std::optional<QctDatumShift> shift =
      extension ? file.ReadDatumShift(*extension) : std::nullopt;
  outline.has_datum_shift = shift.has_value();
  outline.shift_lat = shift ? shift->lat : 0.0;
  outline.shift_lon = shift ? shift->lon : 0.0;
  for (GeoPoint& p : outline.points) {
    p.lat += outline.shift_lat;
    p.lon += outline.shift_lon;
  }
  outline.header_flags = header.flags;
  mapping.Close();
  outline.SizeChartFileOnly();
  return true;
}
