// The chart view's moves between places and charts: the place history, the other charts at the
// cursor, lock-on to the GPS position, chunk downloads and the export of a chart area.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "charts/chart_file_task.h"
#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "charts/old_quick_chart3.h"
#include "charts/qct_header_patch.h"
#include "charts/quick_chart3.h"
#include "charts/ui/map_data_download.h"
#include "app/app_common.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/ui/message_boxes.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "geodesy/plane_geometry.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"

namespace {

// Scale ratios at or above this count as the same scale.
constexpr double kSameScaleRatio = 0.99999;
// A corridor download takes this many chart pixels' worth of metres each side of the route.
constexpr double kCorridorPixels = 2000.0;
constexpr double kMetresPerNm = 1852.0;

bool Overlap(vd::ui::Point a_origin, vd::ui::Point a_size, vd::ui::Point b_origin,
             vd::ui::Point b_size) {
  return int64_t{a_origin.x} < int64_t{b_origin.x} + b_size.x &&
         int64_t{b_origin.x} < int64_t{a_origin.x} + a_size.x &&
         int64_t{a_origin.y} < int64_t{b_origin.y} + b_size.y &&
         int64_t{b_origin.y} < int64_t{a_origin.y} + a_size.y;
}

// How near two scales are: 1 when equal, towards 0 as they part.
double ScaleMatch(double a, double b) {
  if (!(a > 0) || !(b > 0)) return 0.0;
  const double q = a / b;
  return std::min(q, 1 / q);
}

bool CopyIfPresent(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  if (!std::filesystem::exists(from, error)) return true;
  return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                    error);
}

}  // namespace

// ---- Place history ----

void COstrelView::PushHistory(bool forced) {
  if (!chart_) return;
  const Place here{GetChartPath(), zoom_, origin_};
  if (!forced && history_cursor_ > 0) {
    const Place& before = history_[history_cursor_ - 1];
    const auto window = [this](int z) {
      return vd::ui::Point{Clamp32(ShiftLeftByZoom(client_.cx, z)),
                           Clamp32(ShiftLeftByZoom(client_.cy, z))};
    };
    if (before.chart_path == here.chart_path &&
        Overlap(before.origin, window(before.zoom), here.origin, window(here.zoom))) {
      return;
    }
  }
  history_.erase(history_.begin() + static_cast<ptrdiff_t>(history_cursor_), history_.end());
  history_.push_back(here);
  if (history_.size() > kMaxHistory) history_.pop_front();
  history_cursor_ = history_.size();
}

bool COstrelView::GoToPlace(const Place& place) {
  if (place.chart_path != GetChartPath() && !OpenChartFile(place.chart_path)) return false;
  if (!chart_) return false;
  zoom_ = std::clamp(place.zoom, kMinZoom, kMaxZoom);
  origin_ = place.origin;
  lock_on_ = false;
  marker_ = kHiddenMarker;
  RemapAllObjects();
  InvalidateAll();
  BroadcastCentre();
  return true;
}

bool COstrelView::CanGoBack() const {
  return !history_.empty() && (history_cursor_ == history_.size() || history_cursor_ > 1);
}

void COstrelView::OnBack() {
  if (history_cursor_ == history_.size()) PushHistory(false);
  if (history_cursor_ == 0) return;
  --history_cursor_;
  if (history_cursor_ > 0) --history_cursor_;
  // The place is copied: opening its chart may push nothing, but the list must not move under
  // a reference either way.
  const Place place = history_[history_cursor_];
  ++history_cursor_;
  GoToPlace(place);
}

void COstrelView::OnForward() {
  if (!CanGoForward()) return;
  const Place place = history_[history_cursor_];
  ++history_cursor_;
  GoToPlace(place);
}

// ---- Other charts ----

std::vector<COldChartOutline*> COstrelView::OutlinesAt(vd::ui::Point pixel) {
  std::vector<COldChartOutline*> outlines;
  if (!chart_) return outlines;
  for (const auto& [key, record] : mapped_) {
    COstrelObject* object = record->object();
    if (object && object->IsKindOf(COldChartOutline::kClass) &&
        object->HitTest(pixel, *record, zoom_)) {
      outlines.push_back(static_cast<COldChartOutline*>(object));
    }
  }
  return outlines;
}

std::string COstrelView::FindMapAt(MapChoice choice, vd::ui::Point pixel) {
  if (!chart_ || !outline_) return {};
  const double own = outline_->scale;
  const double at_pixel = chart_->ScaleAtPixel(pixel.x, pixel.y);
  // The open chart wins a tie of the same-scale rule.
  const COldChartOutline* best = choice == MapChoice::kSame ? outline_ : nullptr;
  double best_value = choice == MapChoice::kSame ? ScaleMatch(outline_->scale, at_pixel) : 0.0;
  for (COldChartOutline* candidate : OutlinesAt(pixel)) {
    const bool self = candidate == outline_;
    double value = 0.0;
    switch (choice) {
      case MapChoice::kLarger:
        value = !self && own > 0 ? candidate->scale / own : 0.0;
        if (value >= kSameScaleRatio) continue;
        break;
      case MapChoice::kSmaller:
        value = !self && candidate->scale > 0 ? own / candidate->scale : 0.0;
        if (value >= kSameScaleRatio) continue;
        break;
      case MapChoice::kSame:
        value = ScaleMatch(candidate->scale, at_pixel);
        break;
    }
    if (value > best_value) {
      best_value = value;
      best = candidate;
    }
  }
  return best && best != outline_ ? best->chart_path : std::string();
}

std::string COstrelView::FindBestChartAtCentre() {
  if (!chart_) return {};
  const vd::ui::Point pixel = ClientToChart(ClientCentre());
  const double at_pixel = chart_->ScaleAtPixel(pixel.x, pixel.y);
  const COldChartOutline* best = nullptr;
  double best_value = 0.0;
  for (COldChartOutline* candidate : OutlinesAt(pixel)) {
    const double value = candidate == outline_ ? 0.0 : ScaleMatch(candidate->scale, at_pixel);
    if (value > best_value) {
      best_value = value;
      best = candidate;
    }
  }
  return best ? best->chart_path : std::string();
}

bool COstrelView::OpenOtherChart(const std::string& path) {
  if (path.empty()) return false;
  SavePlaceForCentre();
  PushHistory(true);
  return OpenChartFile(path);
}

// ---- Lock-on ----

CObjCurrentPosition* COstrelView::GpsObject() const {
  const auto* doc = dynamic_cast<const CCurrentPositionDocument*>(&document_);
  return doc ? doc->PeekCurrentPosition() : nullptr;
}

void COstrelView::ToggleLockOn() {
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  if (lock_on_) {
    lock_on_ = false;
    if (doc && doc->GetGPSView() == this) doc->SetGPSView(nullptr);
    return;
  }
  if (!GpsObject()) return;
  PushHistory(true);
  lock_on_ = true;
  lock_point_ = ClientCentre();
  if (doc) doc->SetGPSView(this);
  FollowPosition();
}

void COstrelView::FollowPosition() {
  const CObjCurrentPosition* gps = GpsObject();
  if (!gps || !gps->valid || !HasGeoreferencedChart() || !outline_) return;
  const double lat = gps->position.lat;
  const double lon = gps->position.lon;
  ScreenPoint pixel;
  if (!chart_->LatLonToPixel(lat, lon, pixel)) return;
  const vd::ui::Point p{pixel.x, pixel.y};
  if (lock_point_.x == 0 && lock_point_.y == 0) lock_point_ = ClientCentre();

  if (!outline_->ContainsPoint(lat, lon)) {
    // The chart holding the position at the scale nearest this one there takes over.
    const double here = chart_->ScaleAtPixel(p.x, p.y);
    const COldChartOutline* best = nullptr;
    double best_value = 0.0;
    if (ObjectList* list = document_.GetObjectList()) {
      for (COstrelObject* object : *list) {
        if (!object->IsKindOf(COldChartOutline::kClass)) continue;
        auto* candidate = static_cast<COldChartOutline*>(object);
        if (!candidate->ContainsPoint(lat, lon)) continue;
        const double value = ScaleMatch(candidate->scale, here);
        if (!best || value > best_value) {
          best = candidate;
          best_value = value;
        }
      }
    }
    if (best && best != outline_) {
      target_ = {lock_point_, lat, lon, std::ldexp(here, zoom_)};
      OpenChartFile(best->chart_path);
      return;
    }
  }

  const int64_t nx = int64_t{p.x} - ShiftLeftByZoom(lock_point_.x, zoom_);
  const int64_t ny = int64_t{p.y} - ShiftLeftByZoom(lock_point_.y, zoom_);
  const bool reachable = -ShiftLeftByZoom(client_.cx, zoom_) < nx && nx < chart_->width() &&
                         -ShiftLeftByZoom(client_.cy, zoom_) < ny && ny < chart_->height();
  if (!reachable) {
    lock_on_ = false;
    return;
  }
  const int64_t dx = ShiftRightByZoom(origin_.x - nx, zoom_);
  const int64_t dy = ShiftRightByZoom(origin_.y - ny, zoom_);
  if (dx == 0 && dy == 0) return;
  origin_ = {Clamp32(nx), Clamp32(ny)};
  marker_ = kHiddenMarker;
  ReprojectAllMappedObjects(mapped_);
  InvalidateAll();
  BroadcastCentre();
}

// ---- Downloads ----

bool COstrelView::IsDownloadableChart() const {
  return chart_ && IsQctChunkStoreVersion(chart_->header().version);
}

std::string COstrelView::OfflineDataName() const {
  return IsDownloadableChart() ? GetPathTitle(GetChartPath()) : "";
}

std::vector<PlanePoint> COstrelView::WindowPolygon() const {
  const vd::ui::Point a = ClientToChart({0, 0});
  const vd::ui::Point b = ClientToChart({client_.cx, client_.cy});
  return {{double(a.x), double(a.y)},
          {double(b.x), double(a.y)},
          {double(b.x), double(b.y)},
          {double(a.x), double(b.y)},
          {double(a.x), double(a.y)}};
}

bool COstrelView::DownloadChunks(const std::vector<PlanePoint>& polygon, double corridor_m) {
  if (!IsDownloadableChart()) return false;
  const std::string path = GetChartPath();
  ParkChart();
  const int result = DownloadMapDataPixels(window_.DialogOwner(), path, polygon,
                                           corridor_m <= 0, corridor_m);
  // The program's hooks reopen the views of the chart; without them this view does.
  if (!parked_chart_.empty()) ReopenParkedChart();
  return result == kMapDataComplete;
}

double COstrelView::RouteCorridorMetres() const {
  if (!chart_) return 0;
  const vd::ui::Point at = ClientToChart(anchor_);
  return chart_->ScaleAtPixel(at.x, at.y) * kMetresPerNm * kCorridorPixels;
}

bool COstrelView::DownloadRouteData(const std::vector<std::pair<double, double>>& lon_lat,
                                    bool polygon) {
  if (!IsDownloadableChart() || lon_lat.empty()) return false;
  std::vector<PlanePoint> points;
  for (const auto& [lon, lat] : lon_lat) {
    PlanePoint p;
    chart_->LatLonToPixelF(lat, lon, p.x, p.y);
    points.push_back(p);
  }
  return DownloadChunks(points, polygon ? 0 : RouteCorridorMetres());
}

void COstrelView::GetDefaultElevation() {
  CAppCommon* app = CAppCommon::Instance();
  const std::string path = GetChartPath();
  if (!app || path.empty()) return;
  // Asked of the server again, whatever an earlier answer was; the download shows its progress.
  const std::string name = GetPathTitle(path);
  const std::string found = app->DownloadOfflineData(path, name, "qed", true);
  if (!IsNotFolder(found) || !app->OpenElevationFile(found)) {
    ShowMessageBox(window_.DialogOwner(), "Elevation Data",
                   "No elevation data was found for " + name + ".");
    return;
  }
  InvalidateAll();
  UpdateCursor(last_mouse_);
}

void COstrelView::ParkChart() {
  const std::string path = GetChartPath();
  if (path.empty()) return;
  SavePlaceForCentre();
  ReloadChart();
  StopThreads();
  parked_chart_ = path;
}

void COstrelView::ReopenParkedChart() {
  const std::string path = std::exchange(parked_chart_, std::string());
  if (!path.empty()) OpenChartFile(path);
}

// ---- Area export ----

bool COstrelView::ExportMapArea(const std::vector<PlanePoint>& polygon, const std::string& target,
                                const std::string& title, const ChartFileTask& task) {
  if (!chart_ || polygon.size() < 3) return false;
  namespace fs = std::filesystem;
  const fs::path source = GetChartPath();
  std::error_code error;
  if (fs::weakly_canonical(source, error) == fs::weakly_canonical(target, error)) {
    task.Error("The new map can't replace the map it is cut from.");
    return false;
  }
  // No tile job may read the chart while it is copied.
  FlushTiles();
  if (!chart_->ExtractArea(polygon, target, task)) return false;
  if (!title.empty()) {
    QctHeaderPatch patch;
    if (!patch.Open(target)) return false;
    patch.WriteText(kQctTitle, title);
    if (!patch.Commit()) return false;
  }
  fs::path companion = target;
  bool copied = true;
  for (const char* extension : {".qed", ".vdq"}) {
    fs::path from = source;
    from.replace_extension(extension);
    companion.replace_extension(extension);
    copied = CopyIfPresent(from, companion) && copied;
  }
  if (!copied) task.Error("Failed to copy map");
  return copied;
}

// ---- Commands ----

namespace {

constexpr int kCmdDownloadWholeMap = 33703;
constexpr int kCmdDownloadWindow = 33658;
constexpr int kCmdAutoDownload = 33653;
constexpr int kCmdDownloadAlongRoute = 33704;
constexpr int kCmdDownloadEnclosed = 33705;
constexpr int kCmdGetDefaultElevation = 33708;

bool InRange(int id, int first, int count) { return id >= first && id < first + count; }

}  // namespace

bool COstrelView::UpdateNavigationCommand(int id, CCmdUI& ui) {
  if (InRange(id, kCmdMapsAtCursorFirst, kMaxMapsAtCursor)) {
    const size_t n = static_cast<size_t>(id - kCmdMapsAtCursorFirst);
    ui.enabled = n < maps_at_cursor_.size() && !maps_at_cursor_[n].current;
    ui.checked = n < maps_at_cursor_.size() && maps_at_cursor_[n].current;
    return true;
  }
  const CObjRoute* route = dynamic_cast<const CObjRoute*>(CurrentObject());
  switch (id) {
    case kCmdBack:
      ui.enabled = CanGoBack();
      return true;
    case kCmdForward:
      ui.enabled = CanGoForward();
      return true;
    case kCmdScaleIn:
    case kCmdScaleOut:
    case kCmdLargerScaleMap:
    case kCmdSmallerScaleMap:
    case kCmdSameScaleMap:
      ui.enabled = chart_ != nullptr;
      return true;
    case kCmdLockOnGps:
    case kCmdLockOnGpsToolbar: {
      const CObjCurrentPosition* gps = GpsObject();
      ui.enabled = lock_on_ || (gps && gps->valid && HasGeoreferencedChart());
      ui.checked = lock_on_;
      return true;
    }
    case kCmdAlternateOutline:
      ui.enabled = true;
      ui.checked = ShowAlternateOutline();
      return true;
    case kCmdDownloadWholeMap:
    case kCmdDownloadWindow:
      ui.enabled = IsDownloadableChart();
      return true;
    case kCmdAutoDownload: {
      auto* chart3 = dynamic_cast<COldQuickChart3*>(chart_.get());
      ui.enabled = chart3 != nullptr;
      ui.checked = chart3 && chart3->auto_download().value != 0;
      return true;
    }
    case kCmdDownloadAlongRoute:
    case kCmdDownloadEnclosed:
      ui.enabled = IsDownloadableChart() && route && route->points().size() > 1;
      return true;
    case kCmdGetDefaultElevation:
      ui.enabled = chart_ != nullptr;
      return true;
    default:
      return false;
  }
}

bool COstrelView::OnNavigationCommand(int id) {
  if (InRange(id, kCmdMapsAtCursorFirst, kMaxMapsAtCursor)) {
    const size_t n = static_cast<size_t>(id - kCmdMapsAtCursorFirst);
    if (n < maps_at_cursor_.size()) OpenOtherChart(maps_at_cursor_[n].chart_path);
    return true;
  }
  switch (id) {
    case kCmdBack:
      OnBack();
      return true;
    case kCmdForward:
      OnForward();
      return true;
    case kCmdScaleIn:
    case kCmdScaleOut:
      cursor_chart_ = ClientToChart(ClientCentre());
      OpenOtherChart(FindMapAt(id == kCmdScaleIn ? MapChoice::kLarger : MapChoice::kSmaller,
                               cursor_chart_));
      return true;
    case kCmdLargerScaleMap:
    case kCmdSmallerScaleMap:
    case kCmdSameScaleMap:
      OpenOtherChart(FindMapAt(id == kCmdLargerScaleMap    ? MapChoice::kLarger
                               : id == kCmdSmallerScaleMap ? MapChoice::kSmaller
                                                           : MapChoice::kSame,
                               cursor_chart_));
      return true;
    case kCmdLockOnGps:
    case kCmdLockOnGpsToolbar:
      ToggleLockOn();
      return true;
    case kCmdAlternateOutline:
      SetShowAlternateOutline(!ShowAlternateOutline());
      for (CDocView* view : document_.GetChartViews()) {
        if (auto* chart_view = dynamic_cast<COstrelView*>(view)) chart_view->InvalidateAll();
      }
      return true;
    case kCmdDownloadWholeMap:
      DownloadChunks({}, 0);
      return true;
    case kCmdDownloadWindow:
      DownloadChunks(WindowPolygon(), 0);
      return true;
    case kCmdAutoDownload:
      if (auto* chart3 = dynamic_cast<COldQuickChart3*>(chart_.get())) {
        int& automatic = chart3->auto_download().value;
        automatic = automatic == 0 ? 1 : 0;
        FlushTiles();
        InvalidateAll();
      }
      return true;
    case kCmdDownloadAlongRoute:
    case kCmdDownloadEnclosed: {
      const auto* route = dynamic_cast<const CObjRoute*>(CurrentObject());
      if (!route) return true;
      std::vector<std::pair<double, double>> lon_lat;
      for (const CObjWaypoint* mark : route->points())
        lon_lat.emplace_back(mark->position.lon, mark->position.lat);
      DownloadRouteData(lon_lat, id == kCmdDownloadEnclosed);
      return true;
    }
    case kCmdGetDefaultElevation:
      GetDefaultElevation();
      return true;
    default:
      return false;
  }
}
