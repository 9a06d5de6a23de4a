// The chart view's commands on chart files and on the objects over them: merging charts and
// undoing it, the chart boundary from a route and back, the export of a chart area, marks
// inside a route, the track commands at the cursor, the satellite photo of the window area,
// the map list at the cursor, chart properties and calibration, the chart logo and the
// restoring of a place.
#include <algorithm>
#include <cctype>
#include <ctime>
#include <string>
#include <vector>

#include "charts/chart_file_task.h"
#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "charts/qct_header_patch.h"
#include "charts/quick_chart_header.h"
#include "app/app_common.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "geodesy/plane_geometry.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"

namespace {

// The online map service of "View Online Satellite Photo"; the setting replaces it.
constexpr char kSatelliteMapSetting[] = "satellite_map_url";
constexpr char kDefaultSatelliteMap[] = "https://maps.vardune.example/";

bool InRange(int id, int first, int count) { return id >= first && id < first + count; }

template <class T>
T* As(COstrelObject* object) {
  return object && object->IsKindOf(T::kClass) ? static_cast<T*>(object) : nullptr;
}

bool KeptInFileName(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) ||
         std::string_view(" -_+.").find(c) != std::string_view::npos;
}

// Whether a calibration file line is a boundary vertex ("vpN=...", any case).
bool IsVertexLine(const std::string& line) {
  return line.size() >= 2 && std::tolower(static_cast<unsigned char>(line[0])) == 'v' &&
         std::tolower(static_cast<unsigned char>(line[1])) == 'p';
}

}  // namespace

// ---- Objects the commands act on ----

CObjRoute* COstrelView::SelectedRoute() const {
  if (auto* route = As<CObjRoute>(CurrentObject())) return route;
  CObjRoute* current = CObjRoute::Current();
  return current && current->document() == DocBase() ? current : nullptr;
}

CObjTrack* COstrelView::TrackAtCursor() const {
  if (auto* track = As<CObjTrack>(hovered_)) return track;
  return As<CObjTrack>(CurrentObject());
}

std::vector<PlanePoint> COstrelView::RoutePolygon(const CObjRoute& route) const {
  std::vector<PlanePoint> polygon;
  if (!HasGeoreferencedChart()) return polygon;
  for (const CObjWaypoint* mark : route.points()) {
    PlanePoint p;
    chart_->LatLonToPixelF(mark->position.lat, mark->position.lon, p.x, p.y);
    polygon.push_back(p);
  }
  return polygon;
}

ObjectList COstrelView::MarksInside(const CObjRoute& route) const {
  ObjectList marks;
  std::vector<PlanePoint> polygon;  // x = latitude, y = longitude
  for (const CObjWaypoint* mark : route.points())
    polygon.push_back({mark->position.lat, mark->position.lon});
  ObjectList* list = document_.GetObjectList();
  if (!list || polygon.size() < 3) return marks;
  for (COstrelObject* object : *list) {
    auto* mark = As<CObjWaypoint>(object);
    // Route points are the route's, not marks of their own.
    if (!mark || !mark->visible || !mark->IsExportable()) continue;
    if (PointInPolygon(mark->position.lat, mark->position.lon, polygon)) marks.push_back(mark);
  }
  return marks;
}

// ---- Merge ----

bool COstrelView::CanMergeMap(size_t n) const {
  return chart_ && outline_ && n < maps_at_cursor_.size() && maps_at_cursor_[n].mergeable;
}

bool COstrelView::MergeMap(const std::string& source_path, const std::string& output,
                           const std::string& name, bool antialias, const ChartFileTask& task) {
  if (!chart_ || !outline_ || output.empty()) return false;
  const std::string left = GetChartPath();
  if (output == left || output == source_path) return false;
  const bool left_merged = outline_->IsMerged();
  // No tile job may read the chart while the merge renders it.
  FlushTiles();
  const std::string sources[] = {source_path};
  if (!chart_->Merge(output, sources, antialias, &name, task)) return false;
  SavePlaceForCentre();
  PushHistory(true);
  if (!OpenChartFile(output) || GetChartPath() != output) return false;
  if (!merge_source_.empty() && merge_source_ != left) vd::os::RemoveFile(merge_source_);
  merge_source_.clear();
  if (left_merged) {
    // The merge it was made from stays on disk for Undo, out of the library.
    merge_source_ = left;
    if (auto* doc = dynamic_cast<COstrelDoc*>(&document_)) {
      if (COldChartOutline* outline = doc->FindChartOutline(left)) outline->Delete(false);
    }
  }
  return true;
}

bool COstrelView::UndoMerge() {
  if (merge_source_.empty() || !vd::os::FileExists(merge_source_)) return false;
  const std::string path = std::exchange(merge_source_, std::string());
  SavePlaceForCentre();
  PushHistory(true);
  return OpenChartFile(path);
}

void COstrelView::OnMergeMapCommand(size_t n) {
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  CChartFrameHost* host = doc ? doc->frame_host() : nullptr;
  if (!host || !CanMergeMap(n)) return;
  std::string name = outline_->title;
  if (!outline_->IsMerged()) name += " and surroundings";
  bool antialias = false;
  std::string output;
  if (!host->AskMergeChart(name, antialias, output)) return;
  MergeMap(maps_at_cursor_[n].chart_path, output, name, antialias, host->ChartTask());
}

// ---- Boundary ----

std::string COstrelView::CalibrationFilePath(const std::string& chart_path) {
  if (vd::os::FileExists(chart_path)) return ReplaceFileExtension(chart_path, ".jpr");
  const CAppCommon* app = CAppCommon::Instance();
  const std::string folder = app ? app->data_folder : std::string();
  return (folder.empty() ? std::string(".") : folder) + "/" + GetFileTitleOfPath(chart_path) +
         ".jpr";
}

bool COstrelView::BoundaryFromRoute(CObjRoute& route) {
  if (!HasGeoreferencedChart() || !route.IsClosed()) return false;
  const std::string path = GetChartPath();
  const std::vector<CObjWaypoint*>& marks = route.points();
  std::vector<GeoPoint> boundary;  // in the chart's own datum
  std::string vertices;
  for (size_t i = 0; i + 1 < marks.size(); ++i) {
    const CLatLon& at = marks[i]->position;
    boundary.push_back({at.lat - chart_->datum_shift_lat(), at.lon - chart_->datum_shift_lon()});
    double x = 0, y = 0;
    chart_->LatLonToPixelF(at.lat, at.lon, x, y);
    vertices += vd::os::FormatC("vp%d=%d,%d\n", static_cast<int>(i + 1), static_cast<int>(x),
                                static_cast<int>(y));
  }
  const std::string jpr = CalibrationFilePath(path);
  std::string old_text;
  vd::os::ReadWholeFile(jpr, old_text);  // none yet: only the vertices

  SavePlaceForCentre();
  if (!QctWriteOutline(path, boundary)) {
    FormatMessageBox(vd::ui::kMbIconError, "Failed to write the map boundary to %s", path.c_str());
    return false;
  }
  // Every view of the chart reads the new boundary.
  for (CDocView* view : document_.GetChartViews()) {
    if (view != this && view->GetChartPath() == path) view->ReloadChartFile();
  }
  OpenChartFile(path);

  std::string text;
  size_t start = 0;
  while (start < old_text.size()) {
    size_t end = old_text.find('\n', start);
    if (end == std::string::npos) end = old_text.size();
    std::string line = old_text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!IsVertexLine(line)) text += line + "\n";
  }
  if (!vd::os::SaveFileAtomically(jpr, text + vertices)) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", "Failed to write JPR file");
    return false;
  }
  CCurrentOwnerScope owner(DocBase());
  route.Delete(false);
  return true;
}

CObjRoute* COstrelView::RouteFromBoundary() {
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  if (!doc || !HasGeoreferencedChart() || !outline_) return nullptr;
  std::vector<GeoPoint> corners = outline_->points;
  // A boundary written over a longer one repeats its first point in the slots left over.
  while (corners.size() > 1 && corners.back().lat == corners.front().lat &&
         corners.back().lon == corners.front().lon) {
    corners.pop_back();
  }
  if (corners.size() < 3) return nullptr;
  CObjRoute* route = doc->NewRoute();
  CCurrentOwnerScope owner(doc);
  for (const GeoPoint& corner : corners) {
    const CLatLon at(corner.lat, corner.lon);
    route->OnLButtonDown(at, nullptr);
    route->OnLButtonUp(at);
  }
  route->CloseWhileEditing();
  RefreshEditMode();
  return route;
}

// ---- Area export and marks ----

std::string COstrelView::ExportTargetPath(const std::string& folder, const std::string& title,
                                          int64_t seconds) const {
  if (IsDownloadableChart()) return folder + "/" + GetPathFileName(GetChartPath());
  std::string kept;
  for (char c : title)
    if (KeptInFileName(c)) kept += c;
  return folder + "/" + kept + vd::os::FormatC("_%04x.qct", static_cast<unsigned>(seconds & 0xFFFF));
}

void COstrelView::OnExportMapArea(const CObjRoute& route) {
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  CChartFrameHost* host = doc ? doc->frame_host() : nullptr;
  const std::vector<PlanePoint> polygon = RoutePolygon(route);
  if (!host || !chart_ || polygon.size() < 3) return;
  FlushTiles();
  const double bytes = static_cast<double>(chart_->GetAreaDataSize(polygon));
  std::string title = IsDownloadableChart() || !outline_ ? std::string() : "From " + outline_->title;
  std::string folder;
  if (!host->AskSaveChartTo(bytes, title, folder) || folder.empty()) return;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const std::string target = ExportTargetPath(folder, title, static_cast<int64_t>(std::time(nullptr)));
  if (vd::os::FileExists(target) &&
      FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
                       "%s already exists.\nDo you want to replace it?",
                       target.c_str()) != vd::ui::kIdYes) {
    return;
  }
  ExportMapArea(polygon, target, title, host->ChartTask());
}

void COstrelView::OnSaveEnclosedMarks(const CObjRoute& route) {
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  if (!doc) return;
  const ObjectList marks = MarksInside(route);
  if (marks.empty()) {
    FormatMessageBox(vd::ui::kMbIconInformation, "%s", "No Marks Enclosed.");
    return;
  }
  doc->SaveObjectList(marks);
}

// ---- Places, photo, logo ----

std::string COstrelView::SatellitePhotoAddress() const {
  if (!HasGeoreferencedChart()) return {};
  const auto position = [this](vd::ui::Point client) {
    const vd::ui::Point pixel = ClientToChart(client);
    GeoPoint p;
    chart_->PixelToLatLon(pixel.x, pixel.y, p.lat, p.lon);
    return p;
  };
  const GeoPoint centre = position(ClientCentre());
  const GeoPoint bottom_left = position({0, client_.cy});
  const GeoPoint top_right = position({client_.cx, 0});
  const std::string host = vd::OpenAppProfile()
                               .GetString(vd::kSettingsSection, kSatelliteMapSetting)
                               .value_or(kDefaultSatelliteMap);
  return host + vd::os::FormatC("?ll=%.8f,%.8f&spn=%.8f,%.8f&t=k&om=0", centre.lat, centre.lon,
                                top_right.lat - bottom_left.lat, top_right.lon - bottom_left.lon);
}

void COstrelView::RestorePlace(double lat, double lon, double scale,
                               const std::string* chart_path, bool move_cursor) {
  PushHistory(true);
  frame_.MaximiseFrame();
  target_ = {ClientCentre(), lat, lon, scale};
  lock_on_ = false;
  if (chart_path) {
    OpenChartFile(*chart_path);
  } else if (chart_) {
    SetInitialPlace();
    RemapAllObjects();
    InvalidateAll();
  }
  ScreenPoint pixel;
  if (move_cursor && HasGeoreferencedChart() && (lat != 0 || lon != 0) &&
      chart_->LatLonToPixel(lat, lon, pixel)) {
    // Zoom and key commands then centre on the position, as on any point under the pointer.
    anchor_ = ChartToClient({pixel.x, pixel.y});
    window_.SetCursorScreenPos(window_.ClientToScreen(anchor_));
  }
}

std::string COstrelView::ChartLogoPath() const {
  if (!chart_) return {};
  const std::string path = GetChartPath();
  std::string logo = ReplaceFileExtension(path, ".vdg");
  const auto is_file = [](const std::string& file) {
    return vd::os::FileExists(file) && !vd::os::IsDirectory(file);
  };
  if (is_file(logo)) return logo;
  if (outline_ && !outline_->name.empty()) {
    logo = GetFolderOfPath(path) + "/" + outline_->name + ".vdg";
    if (is_file(logo)) return logo;
  }
  return {};
}

void COstrelView::ShowChartLogo() { window_.ShowLogo(ChartLogoPath()); }

void COstrelView::SetCalibration(CalibrationHost* calibration) {
  calibration_ = calibration;
  InvalidateAll();
}

// ---- Map list at the cursor ----

void COstrelView::OnMapListAtCursor() {
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  CChartFrameHost* host = doc ? doc->frame_host() : nullptr;
  if (!host || !chart_) return;
  std::string path;
  bool new_window = false;
  if (!host->ChooseMapFrom(OutlinesAt(cursor_chart_), path, new_window) || path.empty()) return;
  if (new_window) {
    SavePlaceForCentre();
    doc->OpenChartInNewWindow(path);
  } else if (path != GetChartPath()) {
    OpenOtherChart(path);
  }
}

// ---- Commands ----

bool COstrelView::UpdateChartCommand(int id, CCmdUI& ui) {
  if (InRange(id, kCmdMergeMapFirst, kMaxMergeMaps)) {
    ui.enabled = CanMergeMap(static_cast<size_t>(id - kCmdMergeMapFirst));
    return true;
  }
  const auto* doc = dynamic_cast<const COstrelDoc*>(&document_);
  const CObjRoute* route = SelectedRoute();
  const size_t route_points = route ? route->points().size() : 0;
  switch (id) {
    case kCmdUndoMerge:
      ui.enabled = !merge_source_.empty() && vd::os::FileExists(merge_source_);
      return true;
    case kCmdMapListAtCursor:
      ui.enabled = chart_ != nullptr && doc != nullptr;
      return true;
    case kCmdCalibration:
      ui.enabled = chart_ != nullptr && doc != nullptr;
      return true;
    case kCmdEditMapProperties:
      ui.enabled = outline_ != nullptr && doc != nullptr;
      return true;
    case kCmdSatellitePhoto:
      ui.enabled = HasGeoreferencedChart();
      return true;
    case kCmdBoundaryFromRoute:
      // A route that is not closed is refused when carried out.
      ui.enabled = HasGeoreferencedChart() && route != nullptr;
      return true;
    case kCmdRouteFromBoundary:
      ui.enabled = doc != nullptr && HasGeoreferencedChart() && outline_ &&
                   outline_->points.size() > 2;
      return true;
    case kCmdMapsForRoute:
    case kCmdSaveEnclosedMarks:
      ui.enabled = doc != nullptr && route_points > 2;
      return true;
    case kCmdExportMapArea:
      ui.enabled = doc != nullptr && HasGeoreferencedChart() && route_points > 2;
      return true;
    case kCmdRemoveTrackPoint:
    case kCmdJoinTrack:
    case kCmdSplitTrack:
      ui.enabled = TrackAtCursor() != nullptr;
      return true;
    default:
      return false;
  }
}

bool COstrelView::OnChartCommand(int id) {
  if (InRange(id, kCmdMergeMapFirst, kMaxMergeMaps)) {
    OnMergeMapCommand(static_cast<size_t>(id - kCmdMergeMapFirst));
    return true;
  }
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  CChartFrameHost* host = doc ? doc->frame_host() : nullptr;
  CObjRoute* route = SelectedRoute();
  switch (id) {
    case kCmdUndoMerge:
      UndoMerge();
      return true;
    case kCmdMapListAtCursor:
      OnMapListAtCursor();
      return true;
    case kCmdSatellitePhoto:
      if (const std::string address = SatellitePhotoAddress(); !address.empty())
        vd::ui::OpenDocument(address);
      return true;
    case kCmdBoundaryFromRoute:
      if (route) BoundaryFromRoute(*route);
      return true;
    case kCmdRouteFromBoundary:
      RouteFromBoundary();
      return true;
    case kCmdEditMapProperties:
      if (host && outline_) {
        const std::string path = GetChartPath();
        host->EditChartProperties(*outline_);
        SavePlaceForCentre();
        OpenChartFile(path);
      }
      return true;
    case kCmdCalibration:
      if (host) host->OpenCalibration(*this);
      return true;
    case kCmdMapsForRoute:
      if (route) {
        std::vector<GeoPoint> area;
        for (const CObjWaypoint* mark : route->points())
          area.push_back({mark->position.lat, mark->position.lon});
        // The maps found for the route bring their data inside it.
        document_.OpenMapShop(area, GetChartPath(), true);
      }
      return true;
    case kCmdSaveEnclosedMarks:
      if (route) OnSaveEnclosedMarks(*route);
      return true;
    case kCmdExportMapArea:
      if (route) OnExportMapArea(*route);
      return true;
    case kCmdRemoveTrackPoint:
    case kCmdJoinTrack:
    case kCmdSplitTrack:
      if (CObjTrack* track = TrackAtCursor()) {
        CCurrentOwnerScope owner(DocBase());
        if (id == kCmdRemoveTrackPoint) {
          track->DeletePointNear(cursor_latlon_);
        } else if (id == kCmdSplitTrack) {
          track->SplitAt(cursor_latlon_);
        } else if (ObjectList* list = document_.GetObjectList()) {
          track->JoinNearest(cursor_latlon_, *list);
        }
        hovered_ = nullptr;  // a joined track may be gone
        InvalidateAll();
      }
      return true;
    default:
      return false;
  }
}
