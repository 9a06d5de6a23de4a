#include "viewer_lib/quick_chart_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <stdio.h>
#include <fcntl.h>

#include "charts/chart_outline.h"
#include "charts/vdpkg_file.h"
#include "core/key_value_file.h"
#include "core/path_utils.h"
#include "core/standard_folders.h"
#include "core/string_utils.h"
#include "core/completion_callback.h"
#include "core/ui/background_download.h"
#include "core/url_utils.h"
#include "overlays/model/mark_manager.h"
#include "platform/ui/message_box.h"
#include "viewer_lib/overlay_gpx_file.h"
#include "charts/map_store_query.h"
#include "charts/quick_chart_header.h"
#include "core/persistant_data.h"
#include "core/serializable_stream.h"
#include "core/time_utils.h"
#include "core/ui/message_boxes.h"
#include "geodesy/default_units.h"
#include "geodesy/degree_length.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "viewer_lib/chart_catalogue.h"

namespace {

CQuickChartView* current_view = nullptr;

// Above this drag speed is measured (seconds since the touch went down).
constexpr double kVelocityDelay = 0.1;
// Pinch factors at which a gesture zooms by a level, and where it snaps.
constexpr float kPinchZoomIn = 1.75f;
constexpr float kPinchNextChart = 0.7f;
// Room around ZoomToRect's box: 1.5 x the box, in nautical miles per pixel.
constexpr double kZoomToRectRoom = 1.5 / 1852.0;
// The scale shown at the default position when no chart covers the fix.
constexpr double kDefaultPositionScale = 0.18274;
// A fix this close to (0, 0) is a receiver that knows nothing yet.
constexpr double kNullIsland = 0.001;

// 2^-level as the view keeps it: exact for every level in range.
float FactorOf(int level) {
  return level >= 0 ? float(256 >> level) / 256.0f : float(256 << -level) / 256.0f;
}

double Pow2(int level) { return std::ldexp(1.0, level); }

bool Finite(double v) { return std::isfinite(v); }

}  // namespace

CQuickChartView::CQuickChartView() = default;

CQuickChartView::~CQuickChartView() {
  Release();
  if (current_view == this) current_view = nullptr;
  if (COverlayListView::Current() == this) COverlayListView::SetCurrent(nullptr);
}

CQuickChartView* CQuickChartView::Current() { return current_view; }

bool CQuickChartView::ChartOpen() const { return chart() != nullptr && chart()->IsOpened(); }

bool CQuickChartView::IsChartReady() const { return ChartOpen() || busy_; }

std::string CQuickChartView::ChartFileName() const {
  return chart() != nullptr ? chart()->path() : std::string();
}

void CQuickChartView::SetLevel(int level) {
  level_ = level;
  factor_ = FactorOf(level);
}

void CQuickChartView::Invalidate() {
  if (invalidate_callback()) invalidate_callback()();
}

void CQuickChartView::Update() {
  Invalidate();
  for (const auto& layer : layers_) layer->Invalidate();
}

void CQuickChartView::ReprojectLayers() {
  for (const auto& layer : layers_) layer->Reproject(georef_.valid ? &georef_ : nullptr);
}

CScreenTransform CQuickChartView::LayerTransform() const {
  CScreenTransform transform(-level_, offset_x_, offset_y_);  // a magnification
  transform.scale = factor_;
  constexpr float kMargin = 50;
  const float width = float(client_.right - client_.left);
  const float height = float(client_.bottom - client_.top);
  transform.visible = {int(std::floor(ChartX(-kMargin))), int(std::floor(ChartY(-kMargin))),
                       int(std::ceil(ChartX(width + kMargin))),
                       int(std::ceil(ChartY(height + kMargin)))};
  return transform;
}

bool CQuickChartView::InsideClient(float x, float y) const {
  return x >= 0 && y >= 0 && x < float(client_.right - client_.left) &&
         y < float(client_.bottom - client_.top);
}

// ---- Mapping ----

bool CQuickChartView::ScreenToLatLon(float x, float y, double& lat, double& lon) const {
  const auto [la, lo] = georef_.PixelToLatLon(ChartX(x), ChartY(y));
  lat = la;
  lon = lo;
  return georef_.valid;
}

bool CQuickChartView::LatLonToScreen(double lat, double lon, float& x, float& y) const {
  const auto [px, py] = georef_.LatLonToPixel(lat, lon);
  x = float((px - offset_x_) * factor_);
  y = float((py - offset_y_) * factor_);
  return georef_.valid;
}

bool CQuickChartView::GetCentre(double& lat, double& lon) const {
  if (!ChartOpen()) return false;
  return ScreenToLatLon(centre_x_, centre_y_, lat, lon);
}

bool CQuickChartView::GetGpsPosition(double& lat, double& lon) const {
  lat = gps_lat_;
  lon = gps_lon_;
  return gps_lat_ < 90;
}

// ---- Opening and closing ----

void CQuickChartView::CopyGeoref(const CQuickChart& chart, ChartViewGeoref& copy) {
  copy = ChartViewGeoref();
  copy.polynomials = chart.header().georef;
  copy.width = chart.width();
  copy.height = chart.height();
  copy.shift_lat = chart.datum_shift_lat();
  copy.shift_lon = chart.datum_shift_lon();
  copy.reference_lon = copy.PixelToLatLon(copy.width / 2.0, copy.height / 2.0).second;
  copy.valid = chart.header().HasGeoreference();
}

void CQuickChartView::UpdateCentre() {
  if (!ChartOpen()) return;
  const double x = ChartX(centre_x_), y = ChartY(centre_y_);
  const auto [lat, lon] = georef_.PixelToLatLon(x, y);
  if (!Finite(lat) || !Finite(lon)) return;
  centre_lat_ = lat;
  centre_lon_ = lon;
  scale_ = georef_.polynomials.ScaleAt(x, y) * Pow2(level_);
}

double CQuickChartView::ScaleAtCentre() const {
  if (!ChartOpen() || busy_) return 0;
  return chart()->ScaleAt(ChartX(centre_x_), ChartY(centre_y_)) * Pow2(level_);
}

void CQuickChartView::ChooseZoom() {
  bool placed = false;
  if (ChartOpen() && centre_lat_ < 90) {
    const auto [px, py] = georef_.LatLonToPixel(centre_lat_, centre_lon_);
    if (Finite(px) && Finite(py) && px >= 0 && py >= 0 && px < chart_width() &&
        py < chart_height()) {
      const int x = int(px), y = int(py);
      int level = 0;
      if (scale_ != 0) {
        double r = georef_.polynomials.ScaleAt(x, y) / scale_;
        while (r > 1.5 && level > kMinLevel) {
          --level;
          r *= 0.5;
        }
        while (r < 0.75 && level < max_level_) {
          ++level;
          r *= 2;
        }
      }
      SetLevel(level);
      offset_x_ = float(x - centre_x_ / factor_);
      offset_y_ = float(y - centre_y_ / factor_);
      placed = true;
    }
  }
  if (!placed) {
    SetLevel(max_level_ - 1);
    offset_x_ = float(chart_width() / 2.0 - centre_x_ / factor_);
    offset_y_ = float(chart_height() / 2.0 - centre_y_ / factor_);
  }
  Update();
}

void CQuickChartView::OpenChartByPath(QWidget* window, const std::string& path,
                                      bool update_first) {
  if (window != nullptr) owner_ = window;
  if (!path.empty() && path == ChartFileName()) {
    ChooseZoom();
    return;
  }
  if (update_first) UpdateCentre();
  if (ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current()) {
    catalogue->SetOpenChart(nullptr);
  }
  CloseChartFile();
  busy_ = true;
  requested_path_ = path;
  CCompletionCallback opened;
  opened.Register([this](int result) { return OnChartOpened(result); });
  const int result = OpenChartFile(window, path);
  CCompletionCallback::SetChainedResult(result);
  RunPendingCallbacks(opened);
}

int CQuickChartView::OpenChartFile(QWidget* window, const std::string& path) {
  if (window != nullptr) owner_ = window;
  CloseChartFile();
  open_check_.Register([this](int result) {
    if (chart() != nullptr && !chart()->IsOpened()) {
      CloseChartFile();
      return -1;
    }
    return result;
  });
  return SetChart(path);
}

int CQuickChartView::OnChartOpened(int result) {
  ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
  const auto forget_requested = [&] {
    if (catalogue == nullptr) return;
    if (CChartOutline* record = catalogue->Find(requested_path_)) catalogue->Remove(record);
  };
  if (chart() == nullptr) {
    forget_requested();
    result = -1;
  } else if (result == 0) {
    if (ChartOpen()) {
      CopyGeoref(*chart(), georef_);
      ReprojectLayers();
      current_path_ = ChartFileName();
      max_level_ = (chart()->header().flags & kQctFlagOnline) != 0 ? 2 : 3;
      ChooseZoom();
      CChartOutline* record = catalogue ? catalogue->FindOrAddEntry(current_path_) : nullptr;
      if (catalogue) catalogue->SetOpenChart(record);
      // Following a position the new chart does not show makes no sense.
      if (following_ && gps_lat_ < 90 && record && !record->ContainsPoint(gps_lat_, gps_lon_)) {
        following_ = false;
      }
      if (opened_callback_) opened_callback_(owner_);
    } else {
      result = -1;
    }
  }
  if (!ChartOpen()) {
    const std::string previous = current_path_;
    if (requested_path_ != previous && !previous.empty() && vd::os::FileExists(previous)) {
      current_path_.clear();
      OpenChartByPath(nullptr, previous, false);
      return result;
    }
    forget_requested();
  }
  busy_ = false;
  return result;
}

void CQuickChartView::StopChart() {
  busy_ = true;
  UpdateCentre();
  if (ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current()) {
    catalogue->SetOpenChart(nullptr);
  }
  CloseChartFile();
}

void CQuickChartView::ReloadChart(QWidget* window, const std::string& path) {
  busy_ = false;
  OpenChartByPath(window ? window : owner_, path.empty() ? current_path_ : path, false);
}

// ---- Showing places ----

bool CQuickChartView::ShowAt(QWidget* window, double lat, double lon, double scale) {
  if (!(lat >= -90 && lat <= 90) || !(lon >= -400 && lon <= 400) || (lat == 0 && lon == 0)) {
    return false;
  }
  if (!Finite(scale) || scale < 0) scale = 0;
  ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
  CChartOutline* best = catalogue ? catalogue->FindBestScaleChart(lat, lon, scale, false) : nullptr;
  centre_lat_ = lat;
  centre_lon_ = lon;
  scale_ = scale;
  if (best == nullptr) return catalogue != nullptr && DownloadPackageAt(window, lat, lon, scale);
  OpenChartByPath(window, best->path(), false);
  return true;
}

bool CQuickChartView::DownloadPackageAt(QWidget* window, double lat, double lon, double scale) {
  ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
  const std::string url = MapStore_FindPackageAt(lat, lon);
  if (catalogue == nullptr || url.empty()) return false;
  busy_ = true;
  std::string target;
  const bool ok = catalogue->DownloadPackage(window, url, target);
  busy_ = false;
  if (ok) {
    if (CChartOutline* best = catalogue->FindBestScaleChart(lat, lon, scale, false)) {
      centre_lat_ = lat;
      centre_lon_ = lon;
      scale_ = scale;
      OpenChartByPath(window, best->path(), false);
    }
  }
  return true;
}

bool CQuickChartView::ZoomToRect(QWidget* window, const CGeoBounds& box) {
  const double lat = (box.min_lat + box.max_lat) / 2;
  const double lon = (box.min_lon + box.max_lon) / 2;
  const int width = client_.right - client_.left;
  const int height = client_.bottom - client_.top;
  const double east_west = (box.max_lon - box.min_lon) * LonDegreeLength(lat) * 1852.0;
  const double north_south = (box.max_lat - box.min_lat) * LatDegreeLength(lat) * 1852.0;
  const double across = width > 0 ? east_west / width : 0;
  const double down = height > 0 ? north_south / height : 0;
  following_ = false;
  return ShowAt(window, lat, lon, std::max(across, down) * kZoomToRectRoom);
}

CChartOutline* CQuickChartView::NeighbourChart(int direction) {
  ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
  double lat, lon;
  if (catalogue == nullptr || direction == 0 || !GetCentre(lat, lon)) return nullptr;
  return direction > 0 ? catalogue->NextChartAt(lat, lon) : catalogue->PrevChartAt(lat, lon);
}

bool CQuickChartView::OpenCatalogueChart(CChartOutline* record) {
  if (record == nullptr) return false;
  OpenChartByPath(owner_, record->path(), true);
  return true;
}

bool CQuickChartView::SwitchChart(int direction) {
  return OpenCatalogueChart(NeighbourChart(direction));
}

bool CQuickChartView::OpenMapAtCursor(CChartOutline* entry) {
  if (entry == nullptr || busy_) return false;
  OpenChartByPath(owner_, entry->path(), true);
  return ChartFileName() == entry->path();
}

bool CQuickChartView::CentreOnPosition(QWidget* window, double lat, double lon) {
  if (busy_) return false;
  bool covered = false;
  if (ChartOpen()) {
    ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
    CChartOutline* record = catalogue ? catalogue->open_chart() : nullptr;
    if (record != nullptr) {
      covered = record->ContainsPoint(lat, lon);
    } else {
      const auto [px, py] = georef_.LatLonToPixel(lat, lon);
      covered = px >= 0 && py >= 0 && px < chart_width() && py < chart_height();
    }
  }
  if (covered) {
    const auto [px, py] = georef_.LatLonToPixel(lat, lon);
    offset_x_ = float(px - follow_x_ / factor_);
    offset_y_ = float(py - follow_y_ / factor_);
    Update();
    return true;
  }
  return ShowAt(window, lat, lon, ScaleAtCentre());
}

// ---- Gestures ----

void CQuickChartView::OnTouchDown(float x, float y) {
  last_x_ = x;
  last_y_ = y;
  touch_down_ = true;
  touch_layer_ = nullptr;
  double lat = 0, lon = 0;
  ScreenToLatLon(x, y, lat, lon);
  const CScreenTransform transform = LayerTransform();
  for (const auto& layer : layers_) {
    if (layer->InRange(transform) && layer->OnTouch(x, y, {lat, lon})) {
      touch_layer_ = layer.get();
      return;
    }
  }
  current_view = this;
  COverlayListView::SetCurrent(this);
  touch_time_ = GetSystemTimeSeconds();
}

bool CQuickChartView::OnTap(float x, float y) {
  double lat = 0, lon = 0;
  const bool placed = ScreenToLatLon(x, y, lat, lon);
  const CScreenTransform transform = LayerTransform();
  for (const auto& layer : layers_) {
    if (layer->InRange(transform) && layer->OnTap(x, y, {lat, lon})) {
      Invalidate();
      return true;
    }
  }
  if (!placed || busy_) return false;
  ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
  CChartOutline* open = catalogue ? catalogue->open_chart() : nullptr;
  if (catalogue == nullptr || (open != nullptr && open->ContainsPoint(lat, lon))) return false;
  CChartOutline* best = catalogue->FindBestScaleChart(lat, lon, ScaleAtCentre(), false);
  if (best == nullptr || best->path() == ChartFileName()) return false;
  centre_lat_ = lat;
  centre_lon_ = lon;
  scale_ = ScaleAtCentre();
  OpenChartByPath(owner_, best->path(), false);
  return true;
}

void CQuickChartView::OnDrag(float x, float y) {
  if (!touch_down_) return;
  if (level_ < 0) {
    // Magnified, the view moves in whole chart pixels.
    const float step = float(1 << -level_);
    x = std::floor(x / step) * step;
    y = std::floor(y / step) * step;
  }
  const float dx = x - last_x_, dy = y - last_y_;
  const double elapsed = GetSystemTimeSeconds() - touch_time_;
  if (elapsed >= kVelocityDelay) {
    velocity_x_ = dx * kVelocityDelay / elapsed;
    velocity_y_ = dy * kVelocityDelay / elapsed;
  }
  Pan(dx, dy);
  last_x_ = x;
  last_y_ = y;
}

void CQuickChartView::Pan(float dx, float dy) {
  offset_x_ -= dx / factor_;
  offset_y_ -= dy / factor_;
  if (following_) {
    follow_x_ += dx;
    follow_y_ += dy;
    if (!InsideClient(follow_x_, follow_y_)) following_ = false;
  }
  Update();
}

void CQuickChartView::ZoomBy(int step) {
  const int level = level_ + step;
  if (step == 0 || level < kMinLevel || level > max_level_) return;
  const double chart_x = ChartX(last_x_), chart_y = ChartY(last_y_);
  const double follow_chart_x = ChartX(follow_x_), follow_chart_y = ChartY(follow_y_);
  SetLevel(level);
  offset_x_ = float(chart_x - last_x_ / factor_);
  offset_y_ = float(chart_y - last_y_ / factor_);
  if (level < 0) {
    // Magnified views stand on whole chart pixels, as the tiles are drawn.
    offset_x_ = std::round(offset_x_);
    offset_y_ = std::round(offset_y_);
  }
  if (following_) {
    follow_x_ = float((follow_chart_x - offset_x_) * factor_);
    follow_y_ = float((follow_chart_y - offset_y_) * factor_);
  }
  Update();
}

void CQuickChartView::OnPinch(float x, float y, float value) {
  if (pinch_start_ == 0) {
    if (!(value > 0)) return;
    last_x_ = x;
    last_y_ = y;
    touch_down_ = true;
    touch_time_ = GetSystemTimeSeconds();
    pinch_start_ = value;
    pinch_accumulated_ = 1.0f;
    pinch_factor_ = 1.0f;
    return;
  }
  OnDrag(x, y);
  if (!(value > 0)) return;
  pinch_factor_ = std::sqrt(value / pinch_start_) * pinch_accumulated_;
  while (pinch_factor_ > kPinchZoomIn && level_ > kMinLevel) {
    pinch_factor_ *= 0.5f;
    pinch_accumulated_ *= 0.5f;
    ZoomBy(-1);
  }
  Invalidate();
}

bool CQuickChartView::OnlyChartFullyMagnified() const {
  ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
  return catalogue != nullptr && catalogue->charts().size() == 1 && level_ == kMinLevel;
}

void CQuickChartView::OnPinchEnd() {
  pinch_start_ = 0;
  touch_down_ = false;
  if (Settings().change_scale_by_zooming) {
    CChartOutline* next = nullptr;
    if (pinch_factor_ < kPinchNextChart && level_ >= max_level_ - 1) {
      next = NeighbourChart(1);
    } else if (pinch_factor_ > kPinchZoomIn && level_ < 0) {
      next = NeighbourChart(-1);
    }
    if (OpenCatalogueChart(next)) {
      Invalidate();
      return;
    }
    if (OnlyChartFullyMagnified()) ShowHint(kMoreMapsHint);
  }
  if (pinch_factor_ <= 1) {
    while (pinch_factor_ < 0.99f && level_ < max_level_) {
      pinch_factor_ *= 2;
      pinch_accumulated_ *= 2;
      ZoomBy(1);
    }
    pinch_factor_ = std::max(pinch_factor_, 0.5f);
  } else {
    while (pinch_factor_ > 1.01f && level_ > kMinLevel) {
      pinch_factor_ *= 0.5f;
      pinch_accumulated_ *= 0.5f;
      ZoomBy(-1);
    }
    pinch_factor_ = std::min(pinch_factor_, 2.0f);
  }
  Invalidate();
}

void CQuickChartView::ZoomStep(int direction, const vd::ui::Point* at) {
  pinch_start_ = 0;
  touch_down_ = false;
  if (following_) {
    last_x_ = follow_x_;
    last_y_ = follow_y_;
  } else if (at != nullptr) {
    last_x_ = float(at->x);
    last_y_ = float(at->y);
  } else {
    last_x_ = centre_x_;
    last_y_ = centre_y_;
  }
  if (Settings().change_scale_by_zooming) {
    CChartOutline* next = nullptr;
    if (direction >= 1 && level_ >= max_level_ - 1) {
      next = NeighbourChart(1);
    } else if (direction < 0 && level_ < 0) {
      next = NeighbourChart(-1);
    }
    if (OpenCatalogueChart(next)) {
      Invalidate();
      return;
    }
    if (direction < 0 && OnlyChartFullyMagnified()) {
      ShowHint(kMoreMapsHint);
      return;
    }
  }
  if (direction < 0 && level_ > kMinLevel) {
    pinch_factor_ *= 0.75f;
    ZoomBy(-1);
  } else if (direction > 0 && level_ < max_level_) {
    pinch_factor_ *= 1.5f;
    ZoomBy(1);
  }
  Invalidate();
}

void CQuickChartView::OnWheel(float x, float y, int delta) {
  if (delta == 0) return;
  const vd::ui::Point at{int(x), int(y)};
  ZoomStep(delta > 0 ? -1 : 1, &at);
}

void CQuickChartView::OnSize(int x, int y, int width, int height) {
  const IntRect rect{x, y, x + width, y + height};
  if (rect == client_) return;
  const int old_width = client_.right - client_.left;
  const int old_height = client_.bottom - client_.top;
  const double centre_chart_x = ChartX(centre_x_), centre_chart_y = ChartY(centre_y_);
  client_ = rect;
  centre_x_ = width / 2.0f;
  centre_y_ = height / 2.0f;
  if (!busy_) {
    double lat, lon;
    if (!following_ || !GetGpsPosition(lat, lon)) {
      offset_x_ = float(centre_chart_x - centre_x_ / factor_);
      offset_y_ = float(centre_chart_y - centre_y_ / factor_);
      if (!InsideClient(follow_x_, follow_y_)) {
        follow_x_ = centre_x_;
        follow_y_ = centre_y_;
      }
    } else {
      float fx = old_width > 0 ? follow_x_ / float(old_width) : 0.5f;
      float fy = old_height > 0 ? follow_y_ / float(old_height) : 0.5f;
      if (!(fx > 0 && fx < 1)) fx = 0.5f;
      if (!(fy > 0 && fy < 1)) fy = 0.5f;
      follow_x_ = fx * float(width);
      follow_y_ = fy * float(height);
      CentreOnPosition(owner_, lat, lon);
    }
  }
  Update();
}

void CQuickChartView::ResetFollow() {
  velocity_x_ = velocity_y_ = 0;
  follow_x_ = centre_x_;
  follow_y_ = centre_y_;
  following_ = true;
  double lat, lon;
  if (GetGpsPosition(lat, lon)) CentreOnPosition(owner_, lat, lon);
}

// ---- Files and activity links ----

bool CQuickChartView::OpenFileByType(const std::string& path) {
  if (path.empty() || !vd::os::FileExists(path)) return false;
  if (PathHasExtension(path, "gpx")) return ImportGpxDocument(path);
  if (PathHasExtension(path, "qct")) {
    if (ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current()) {
      catalogue->AddMapFolder(GetPathDirectory(path));
    }
    OpenChartByPath(owner_, path, false);
    return ChartFileName() == path;
  }
  if (PathHasExtension(path, "vdpkg")) {
    ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
    if (catalogue == nullptr || !catalogue->Refresh(owner_, path)) return false;
    const std::string first = ReadPackageInfo(path);
    if (!PathHasExtension(first, "qct")) return true;
    OpenChartByPath(owner_, first, false);
    return ChartFileName() == first;
  }
  const std::string extension = GetPathExtension(path);
  if (extension.empty()) {
    // Named by what it holds, then opened again; an existing file of that name is kept.
    uint8_t head[4] = {};
    vd::os::File file;
    if (!file.Open(path, vd::os::File::Mode::Read) || file.Read(head, 4) != 4) return false;
    file.Close();
    uint32_t magic;
    std::memcpy(&magic, head, 4);
    const char* named = magic == 0x9D85823Bu   ? ".dvtf"
                        : magic == 0x319E8613u ? ".vdpkg"
                        : magic == 0x1423D5FFu ? ".qct"
                        : head[0] == '<'       ? ".gpx"
                                               : nullptr;
    if (named == nullptr) return false;
    const std::string renamed = path + named;
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, renamed.c_str(), RENAME_NOREPLACE) != 0) {
      return false;
    }
    return OpenFileByType(renamed);
  }
  std::string text;
  StringFormat(text, kUnknownTypeText, extension.c_str());
  vd::ui::RunMessageBox(owner_, text, kUnknownTypeCaption, vd::ui::kMbOk | vd::ui::kMbIconWarning);
  return false;
}

bool CQuickChartView::RunActivityCommand(const std::string& verb, const std::string& argument) {
  if (verb == "open" || verb == "fetch") {
    std::string scheme, host, path;
    SplitUrl(argument, scheme, host, path);
    if (path.empty()) return false;
    if (PathHasExtension(path, "qc3") || PathHasExtension(path, "qed")) {
      path = ReplacePathExtension(path, "qct");
    }
    if (host.empty()) return OpenFileByType(path);
    const bool is_chart = PathHasExtension(path, "qct");
    const bool package = PathHasExtension(path, "vdpkg");
    ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
    const size_t kvx = path.find("/KVX/");
    std::string target;
    if (kvx != std::string::npos && catalogue != nullptr) {
      const std::string relative = path.substr(kvx + 5);
      if (!CVdPkgFile::IsSafeName(relative)) return false;
      target = ChartFolderCatalogue::GetKvxBaseFolder() + "/" + relative;
    } else {
      const std::string name = GetPathFileName(path);
      if (!CVdPkgFile::IsSafeName(name)) return false;
      target = vd::os::TempFolder() + "/" + name;
    }
    if (is_chart || package) StopAndRefresh();
    // A fresh copy replaces the old one only once it has arrived whole.
    if (verb == "fetch" || package || !vd::os::FileExists(target)) {
      vd::os::MakeFolders(GetPathDirectory(target));
      int result = -1;
      CCompletionCallback done;
      done.Register([&result](int chained) { return result = chained; });
      DownloadWithProgress(owner_, host, path, target, "Downloading file", scheme == "https");
      RunPendingCallbacks(done);
      if (result != 0) {
        if (is_chart || package) ReloadChart();
        return false;
      }
    }
    const bool opened = OpenFileByType(target);
    // Whatever came, the view shows a chart again.
    if (busy_ || chart() == nullptr) ReloadChart();
    return opened;
  }
  CKeyValueFile values;
  values.ParseLine(argument);
  const double lat = values.GetDouble("lat", 0.0), lon = values.GetDouble("lon", 0.0);
  if (verb == "view") return ShowAt(owner_, lat, lon, values.GetDouble("scale", 0.0) * 0.00004);
  if (verb == "mark") {
    if (!ShowAt(owner_, lat, lon, scale_)) return false;
    return CreateMarkAt(values.GetStringOr("name", "Mark"), lat, lon) != nullptr;
  }
  return false;
}

// ---- Drawing ----

void CQuickChartView::OnDraw(vd::ui::Surface& dc, int x, int y, int width, int height) {
  incomplete_ = false;
  if (chart() == nullptr || busy_) return;
  const IntRect rect{x, y, x + (width << display_shift_), y + (height << display_shift_)};
  DrawTiles(dc, rect, {int(std::floor(offset_x_)), int(std::floor(offset_y_))},
            level_ - display_shift_, incomplete_);
  if (layers_.empty()) return;
  const CScreenTransform transform = LayerTransform();
  // A runaway number of objects must not stall the paint.
  constexpr int kMaxLayersDrawn = 1000;
  int drawn = 0;
  dc.Save();
  dc.SetMapping({{-x, -y}, {1, 1}, {0, 0}, {1, 1}});
  for (const auto& layer : layers_) {
    if (!layer->InRange(transform)) continue;
    layer->Draw(dc, transform);
    if (++drawn >= kMaxLayersDrawn) break;
  }
  dc.Restore();
}

// ---- Saving ----

bool CQuickChartView::Serialize(CSerializableStream& stream) {
  std::string path;
  double lat = centre_lat_, lon = centre_lon_, scale = scale_;
  bool follow = following_;
  float follow_x = follow_x_, follow_y = follow_y_;
  std::string stored = stored_path_;
  if (stream.IsWriting()) {
    path = ChartFileName();
    if (ChartOpen() && !busy_) {
      UpdateCentre();
      lat = centre_lat_;
      lon = centre_lon_;
      scale = scale_ = ScaleAtCentre();
    }
  }
  bool ok;
  {
    CSerializableStream::Block block(stream);
    // Reading: every field must be there; the block stream would let missing ones keep their
    // values.
    const auto present = [&stream] { return stream.IsWriting() || !stream.AtBlockEnd(); };
    ok = block.ok() && present() && stream.ExchangeTag(kStateTag) && present() &&
         stream.ExchangePath(path) && present() && stream.ExchangeRaw(&lat, sizeof lat) &&
         present() && stream.ExchangeRaw(&lon, sizeof lon) && present() &&
         stream.ExchangeRaw(&scale, sizeof scale) && present() && stream.ExchangeBool(follow) &&
         present() && stream.ExchangeRaw(&follow_x, sizeof follow_x) && present() &&
         stream.ExchangeRaw(&follow_y, sizeof follow_y) && present() &&
         stream.ExchangePath(stored);
  }
  ok = ok && !stream.Failed();
  if (!stream.IsReading() || !ok) return ok;
  // A record that does not hold a place is refused whole.
  if (!Finite(lat) || !Finite(lon) || lat < -90 || lat > 90 || std::abs(lon) > 400 ||
      !Finite(scale) || scale < 0 || !Finite(follow_x) || !Finite(follow_y)) {
    return false;
  }
  centre_lat_ = lat;
  centre_lon_ = lon;
  scale_ = scale;
  following_ = follow;
  follow_x_ = follow_x;
  follow_y_ = follow_y;
  stored_path_ = stored;
  if (path.empty() || !vd::os::FileExists(path)) {
    ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
    if (catalogue != nullptr && lat < 90) {
      if (CChartOutline* best = catalogue->FindBestScaleChart(lat, lon, scale, false)) {
        OpenChartByPath(owner_, best->path(), false);
      }
    }
  } else {
    OpenChartByPath(owner_, path, false);
  }
  return true;
}

// ---- Events ----

void CQuickChartView::OnEvent(CDataGPSPosition& fix) {
  if (!fix.valid || !Finite(fix.latitude) || !Finite(fix.longitude)) return;
  gps_lat_ = fix.latitude;
  gps_lon_ = fix.longitude;
  if (chart() == nullptr && !busy_) {
    double lat = fix.latitude, lon = fix.longitude;
    if (std::hypot(lat, lon) < kNullIsland) {
      lat = Settings().app_default_lat;
      lon = Settings().app_default_lon;
    }
    centre_lat_ = lat;
    centre_lon_ = lon;
    scale_ = 0;
    if (lat > 90 || lon > 360) return;
    ChartFolderCatalogue* catalogue = ChartFolderCatalogue::Current();
    if (catalogue == nullptr) return;
    if (CChartOutline* best = catalogue->FindBestScaleChart(lat, lon, 0, false)) {
      OpenChartByPath(owner_, best->path(), false);
      return;
    }
    const double default_lat = Settings().app_default_lat;
    const double default_lon = Settings().app_default_lon;
    if (CChartOutline* fallback =
            catalogue->FindBestScaleChart(default_lat, default_lon, kDefaultPositionScale, false)) {
      centre_lat_ = default_lat;
      centre_lon_ = default_lon;
      scale_ = kDefaultPositionScale;
      following_ = false;
      OpenChartByPath(owner_, fallback->path(), false);
      return;
    }
    // No chart at all: the map store's package for the place.
    const std::string url = MapStore_FindPackageAt(lat, lon);
    if (url.empty()) return;
    busy_ = true;
    std::string target;
    const bool ok = catalogue->DownloadPackage(owner_, url, target);
    busy_ = false;
    if (url.find("miniscale") != std::string::npos) {
      // The small-scale world package: distances read better in kilometres.
      CDefaultUnits::Global().ChooseUnitsSystem(CDefaultUnits::kMetric);
      PersistantData::SaveAll();
    }
    if (ok) {
      if (CChartOutline* best = catalogue->FindBestScaleChart(lat, lon, 0, false)) {
        OpenChartByPath(owner_, best->path(), false);
      }
    }
    return;
  }
  if (following_) CentreOnPosition(owner_, fix.latitude, fix.longitude);
}

void CQuickChartView::OnEvent(COverlayObject& object) {
  const auto known = layer_of_.find(&object);
  if (object.change_code != COverlayObject::kGoingAway && object.IsLive()) {
    if (known == layer_of_.end()) {
      auto layer = std::make_unique<OverlayLayer>(object);
      if (georef_.valid) layer->Reproject(&georef_);
      // After the layers of the same drawing class and below.
      auto at = std::find_if(layers_.begin(), layers_.end(), [&object](const auto& other) {
        return other->object().draw_key > object.draw_key;
      });
      layer_of_[&object] = layers_.insert(at, std::move(layer));
    } else if (georef_.valid) {
      (*known->second)->Reproject(&georef_);
    }
  } else if (known != layer_of_.end()) {
    if (touch_layer_ == known->second->get()) touch_layer_ = nullptr;
    layers_.erase(known->second);
    layer_of_.erase(known);
  }
  Invalidate();
}
