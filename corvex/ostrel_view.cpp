#include "corvex/ostrel_view.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "charts/old_quick_chart.h"
#include "charts/quick_chart_header.h"
#include "overlays/outline/old_chart_outline.h"
#include "app/app_common.h"
#include "core/download_progress.h"
#include "core/path_utils.h"
#include "core/ui/dlg_progress.h"
#include "core/helper_thread.h"
#include "core/persistent_value.h"
#include "corvex/map_rect_selection.h"
#include "corvex/ostrel_doc.h"
#include "corvex/chart_view_link.h"
#include "overlays/obj_current_position.h"
#include "overlays/ostrel_object.h"
#include "platform/os/files.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"

namespace {

// A zoom argument that keeps the view's zoom.
constexpr int kKeepZoom = COstrelView::kMaxZoom + 1;
// A target pixel this far outside the chart still places the chart.
constexpr int kTargetMargin = 100;
// Decoded tiles go back to the window at most this far apart while more are queued.
constexpr std::chrono::milliseconds kTileBatch{4};

COstrelView* g_active_view = nullptr;
bool g_show_alternate_outline = false;

// Notifications of the overlay objects stay off while it lives: records that go may take the
// last reference of their object, whose destruction must not reach the views.
class MutedNotifications {
 public:
  MutedNotifications() : previous_(COstrelObject::NotificationsEnabled()) {
    COstrelObject::SetNotificationsEnabled(false);
  }
  ~MutedNotifications() { COstrelObject::SetNotificationsEnabled(previous_); }
  MutedNotifications(const MutedNotifications&) = delete;
  MutedNotifications& operator=(const MutedNotifications&) = delete;

 private:
  bool previous_;
};

// The chart file's version word; 0 when the file can't be read.
uint32_t ChartVersion(const std::string& path) {
  uint32_t prefix[2] = {0, 0};
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read) || !file.ReadExact(prefix, sizeof prefix)) return 0;
  return prefix[1];
}

// Opens a chart for a view. A chunk-store chart may have to fetch its store from its server
// first: it opens on a thread of its own while the window goes on working, under the progress
// dialog when that takes a while, and Cancel there gives up the opening (null). Other charts
// open here at once.
std::unique_ptr<COldQuickChart> OpenViewChart(QWidget* owner, const std::string& path) {
  if (!IsQctChunkStoreVersion(ChartVersion(path))) return OpenOldQuickChart(path, true);
  CDownloadProgress progress;
  std::unique_ptr<COldQuickChart> chart;
  progress.thread = std::thread([&] {
    chart = OpenOldQuickChart(path, true, [&progress] { return !progress.cancel.load(); });
    progress.SetFinished();
  });
  RunWithProgress(owner, progress, "Opening " + GetPathFileName(path) + "...");
  if (progress.thread.joinable()) progress.thread.join();
  if (progress.cancel.load()) chart.reset();
  return chart;
}

}  // namespace

// ---- Seams ----

vd::ui::Point COstrelView::OverlaySeam::ChartToClient(vd::ui::Point chart) const {
  return view_.ChartToClient(chart);
}

float COstrelView::OverlaySeam::ScaleFactor() const { return view_.drawing_scale_; }

void COstrelView::OverlaySeam::SetPositionMarker(double lat, double lon) {
  view_.SetPositionMarker(lat, lon);
}

vd::ui::Point COstrelView::OverlaySeam::CursorPixel() const { return view_.last_mouse_; }

// ---- Life ----

COstrelView::COstrelView(CViewDocument& document, CViewWindow& window, CViewFrame& frame)
    : document_(document), window_(window), frame_(frame) {
  // Twice the tiles of a full screen with one more row and column.
  const vd::ui::Size screen = window.ScreenSize();
  const int64_t count = std::max<int64_t>(
      100, 2 * (int64_t{screen.cx} + kTileSide + 1) * (int64_t{screen.cy} + kTileSide + 1) /
               (kTileSide * kTileSide));
  for (int64_t i = 0; i < count; ++i) tiles_.push_back(std::make_unique<ViewTile>());
}

COstrelView::~COstrelView() {
  if (CalibrationHost* calibration = std::exchange(calibration_, nullptr))
    calibration->OnViewClosing();
  FlushTiles();
  boxes_.clear();
  StopThreads();
  ClearMappedObjects();
  if (g_active_view == this) g_active_view = nullptr;
  chart_.reset();
  retired_charts_.clear();
  // A merge left behind for Undo goes with the view.
  if (!merge_source_.empty()) vd::os::RemoveFile(merge_source_);
}

void COstrelView::OnInitialUpdate() {
  if (initial_update_done_) return;
  initial_update_done_ = true;
  if (document_.MaximiseViews()) frame_.MaximiseFrame();
  // The scrolling timer runs also while the window waits for its chart, which may come later
  // (the chooser, a chart opened into the free window).
  window_.SetTimer(kScrollTimerId, kScrollTimerMs);
  OpenChart();
}

bool COstrelView::OpenChart() {
  const CViewPlacement* pending = document_.GetPendingPlacement();
  if (pending && vd::OpenAppProfile().GetInt("chart_dirs", "update").value_or(0) == 0) {
    const CViewPlacement placement = *pending;  // the document may drop its copy meanwhile
    frame_.SetFramePlacement(placement.window);
    target_ = {ClientCentre(), placement.lat, placement.lon, placement.scale};
    lock_on_ = placement.lock != 0;
    if (!placement.chart_path.empty()) OpenChartFile(placement.chart_path);
  } else {
    // Never inside the work that made the window (the program's start-up among it): that work
    // may still give the window its chart, and a dialog run in the middle of it would let the
    // program be closed under it. Nor inside the window's own message handling, which the
    // window, closed meanwhile, could not come back to.
    QTimer::singleShot(0, [this, alive = std::weak_ptr<int>(life_)] {
      if (!alive.expired()) OfferChooser();
    });
    return false;
  }
  // The last chart window stays, empty; any other one closes.
  if (!chart_) frame_.CloseFrame();
  return chart_ != nullptr;
}

bool COstrelView::ChooseChart() {
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  CChartFrameHost* host = doc ? doc->frame_host() : nullptr;
  std::string path;
  bool new_window = false;
  const std::weak_ptr<int> alive = life_;
  const bool chosen = host && host->ChooseMapForNewWindow(path, new_window);
  if (alive.expired()) return false;
  // Cancel changes nothing.
  if (!chosen || path.empty()) return true;
  if (new_window) {
    SavePlaceForCentre();
    doc->OpenChartInNewWindow(path);
    return true;
  }
  PushHistory(true);
  OpenChartFile(path);
  return true;
}

void COstrelView::OfferChooser() {
  if (chart_) return;
  if (!ChooseChart()) return;
  // The last chart window stays, empty; any other one closes.
  if (!chart_) frame_.CloseFrame();
}

bool COstrelView::OpenChartFile(const std::string& path) {
  // A chunk-store chart is shown in one view only: the view showing it comes forward.
  for (CDocView* view : document_.GetChartViews()) {
    if (view->GetChartPath() != path) continue;
    const COldChartOutline* outline = document_.FindOrAddChartOutline(path);
    if (!outline || !outline->IsChunkStore()) break;
    if (view != this) document_.ShowView(view);
    return true;
  }

  const std::string previous = GetChartPath();
  const auto fail = [&] {
    if (!previous.empty()) OpenChartFile(previous);
    return false;
  };
  ReloadChart();
  std::unique_ptr<COldQuickChart> chart = OpenViewChart(window_.DialogOwner(), path);
  if (!chart) return fail();
  const CAppCommon* app = CAppCommon::Instance();
  chart->SetDimPalette(app && app->night_colors.value != 0);
  chart_ = std::move(chart);
  StartThreads(IsQctChunkStoreVersion(chart_->header().version));

  outline_ = document_.FindOrAddChartOutline(path);
  if (!outline_) {
    ReloadChart();
    return fail();
  }
  ReadQuickChartHeader(*outline_, path);
  outline_mapped_ = nullptr;
  frame_.SetFrameTitle(path);
  SetInitialPlace();
  // The chart's elevation data becomes the program's, for the read-out, relief and 3D. That of
  // a downloadable chart may first be looked up on the server, under a progress dialog: the
  // look-up runs once this opening is done, from the event loop, never inside it.
  if (CAppCommon* app = CAppCommon::Instance()) {
    const std::string name = OfflineDataName();
    if (name.empty()) {
      app->FindElevationFile(path, name);
    } else {
      QTimer::singleShot(0, QCoreApplication::instance(), [path, name] {
        if (CAppCommon* current = CAppCommon::Instance()) current->FindElevationFile(path, name);
      });
    }
  }
  UpdateCursor(last_mouse_);
  ShowChartLogo();
  return true;
}

void COstrelView::SetNightColors(bool on) {
  if (!chart_) return;
  // The tiles drawn in the old colours go, and the helper threads let go of the chart before
  // its colour table changes under them.
  FlushTiles();
  chart_->SetDimPalette(on);
  InvalidateAll();
}

void COstrelView::ReloadChart() {
  const bool flushed = FlushTiles();
  ClearMappedObjects();
  hovered_ = nullptr;
  outline_ = nullptr;
  if (!chart_) return;
  window_.ShowLogo({});
  // Tiles the helper threads still hold may read the chart until they are gone.
  if (flushed) {
    chart_.reset();
  } else {
    retired_charts_.push_back(std::move(chart_));
  }
}

void COstrelView::ReloadChartFile() {
  const std::string path = GetChartPath();
  if (path.empty()) return;
  SavePlaceForCentre();
  OpenChartFile(path);
}

void COstrelView::StartThreads(bool downloadable) {
  vd::os::MessageWindow* target = &window_.MessageTarget();
  // Every rendered tile goes back to the window, also one that met a missing chunk: the view
  // sends that one on to the download thread. Tiles that come fast go back in batches, so that
  // the window repaints a few times a frame rather than once per tile.
  if (!tile_thread_) {
    tile_thread_ = std::make_unique<CHelperThread>(
        [](QNode* job) {
          static_cast<ViewTile*>(job)->Render();
          return 0;
        },
        target, vd::ui::kWmUser, nullptr, kTileBatch);
  }
  // A fetched tile goes on to rendering; one that could not be fetched back to the window.
  if (downloadable && !download_thread_) {
    download_thread_ = std::make_unique<CHelperThread>(
        [](QNode* job) {
          auto* tile = static_cast<ViewTile*>(job);
          tile->fetch_failed = tile->Prefetch() != 0;
          return tile->fetch_failed ? 0 : 1;
        },
        target, vd::ui::kWmUser, &tile_thread_->queue());
  }
}

void COstrelView::StopThreads() {
  // The download thread hands its work to the tile thread's queue, so it goes first.
  download_thread_.reset();
  tile_thread_.reset();
}

std::string COstrelView::GetChartPath() const { return chart_ ? chart_->GetFileName() : ""; }

bool COstrelView::HasGeoreferencedChart() const { return chart_ && chart_->HasGeoreference(); }

void COstrelView::OnSize(int width, int height) {
  client_ = {std::max(width, 0), std::max(height, 0)};
  lock_point_ = ClientCentre();
  if (lock_on_) FollowPosition();
}

void COstrelView::OnSetFocus() { g_active_view = this; }

COstrelView* COstrelView::ActiveView() { return g_active_view; }

bool COstrelView::ShowAlternateOutline() { return g_show_alternate_outline; }

void COstrelView::SetShowAlternateOutline(bool on) { g_show_alternate_outline = on; }

void COstrelView::InvalidateAll() { window_.Invalidate(ClientRect()); }

void COstrelView::ShowStatusText(const std::string& text) {
  status_text_ = text;
  frame_.SetStatusText(status_text_);
}

std::unique_ptr<vd::ui::PopupMenu> COstrelView::LoadContextMenu(int menu_id) {
  return frame_.LoadContextMenu(menu_id);
}

void COstrelView::TrackContextMenu(const vd::ui::PopupMenu& menu,
                                   const vd::ui::Point& client_point) {
  frame_.TrackContextMenu(menu, client_point);
}

// ---- Mapping ----

vd::ui::Point COstrelView::ClientToChart(vd::ui::Point client) const {
  return {Clamp32(ShiftLeftByZoom(client.x, zoom_) + origin_.x),
          Clamp32(ShiftLeftByZoom(client.y, zoom_) + origin_.y)};
}

vd::ui::Point COstrelView::ChartToClient(vd::ui::Point chart) const {
  if (render_mode_) {
    const auto map = [this](int c, int o) {
      const double v = std::trunc((double(c) - o) * render_.scale);
      return Clamp32(std::isfinite(v) ? int64_t(std::clamp(v, -4e18, 4e18)) : 0);
    };
    return {map(chart.x, render_.origin.x), map(chart.y, render_.origin.y)};
  }
  return {Clamp32(ShiftRightByZoom(int64_t{chart.x} - origin_.x, zoom_)),
          Clamp32(ShiftRightByZoom(int64_t{chart.y} - origin_.y, zoom_))};
}

void COstrelView::EnterRenderMode(const RenderTransform& transform) {
  render_mode_ = true;
  render_ = transform;
}

void COstrelView::LeaveRenderMode() { render_mode_ = false; }

// ---- Places ----

void COstrelView::SetInitialPlace() {
  alternate_ = {};
  alternate_.lock_point = ClientCentre();
  alternate_showing_ = false;
  bool placed = false;
  ScreenPoint target;
  if (target_.scale > 0 && chart_->LatLonToPixel(target_.lat, target_.lon, target)) {
    const bool near_chart = target.x >= -kTargetMargin &&
                            target.x <= chart_->width() + kTargetMargin &&
                            target.y >= -kTargetMargin &&
                            target.y <= chart_->height() + kTargetMargin;
    if (near_chart || (outline_ && outline_->ContainsPoint(target_.lat, target_.lon))) {
      const int z = ZoomForScale(target.x, target.y, target_.scale, kKeepZoom);
      if (z != kKeepZoom) {
        zoom_ = z;
        origin_ = {Clamp32(target.x - ShiftLeftByZoom(target_.lock_point.x, zoom_)),
                   Clamp32(target.y - ShiftLeftByZoom(target_.lock_point.y, zoom_))};
        placed = true;
      }
    }
  }
  if (!placed) {
    int x = 0;
    int y = 0;
    chart_->GetCentrePixel(x, y);
    zoom_ = 2;
    const vd::ui::Point centre = ClientCentre();
    origin_ = {Clamp32(x - ShiftLeftByZoom(centre.x, zoom_)),
               Clamp32(y - ShiftLeftByZoom(centre.y, zoom_))};
  }
  marker_ = kHiddenMarker;
  RemapAllObjects();
}

int COstrelView::ZoomForScale(double x, double y, double scale, int fallback) const {
  const double s = chart_->ScaleAtPixel(x, y);
  if (s == 0 || !std::isfinite(s) || !(scale > 0)) return fallback;
  double best = 100000.0;
  int best_zoom = fallback;
  for (int z = kMinZoom; z <= kMaxZoom; ++z) {
    const double miss = std::fabs(std::ldexp(s, z) / scale - 1);
    if (miss < best) {  // the lower zoom wins a tie
      best = miss;
      best_zoom = z;
    }
  }
  return best_zoom;
}

bool COstrelView::ZoomIn() { return Zoom(-1); }

bool COstrelView::ZoomOut() { return Zoom(1); }

bool COstrelView::Zoom(int step) {
  const int z = zoom_ + step;
  if (z < kMinZoom || z > kMaxZoom) return false;
  if (lock_on_) anchor_ = lock_point_;
  const vd::ui::Point before = ClientToChart(anchor_);
  zoom_ = z;
  const vd::ui::Point after = ClientToChart(anchor_);
  origin_ = {Clamp32(int64_t{origin_.x} + before.x - after.x),
             Clamp32(int64_t{origin_.y} + before.y - after.y)};
  marker_ = kHiddenMarker;  // its client point belonged to the old place
  RemapAllObjects();
  InvalidateAll();
  BroadcastCentre();
  return true;
}

void COstrelView::CentreOn(int x, int y, int z) {
  if (z >= kMinZoom && z <= kMaxZoom) zoom_ = z;
  const vd::ui::Point centre = ClientCentre();
  origin_ = {Clamp32(x - ShiftLeftByZoom(centre.x, zoom_)),
             Clamp32(y - ShiftLeftByZoom(centre.y, zoom_))};
  marker_ = kHiddenMarker;
  RemapAllObjects();
  InvalidateAll();
}

bool COstrelView::CentreOnLatLon(double lat, double lon, int z) {
  ScreenPoint pixel;
  if (!chart_ || !outline_ || !outline_->ContainsPoint(lat, lon) ||
      !chart_->LatLonToPixel(lat, lon, pixel)) {
    return false;
  }
  CentreOn(pixel.x, pixel.y, z);
  return true;
}

void COstrelView::CentreAt(double lat, double lon, double scale, int mode) {
  if (!chart_) return;
  ScreenPoint pixel;
  if (!chart_->LatLonToPixel(lat, lon, pixel)) return;
  // Without a wanted scale the view keeps its zoom.
  if (!(scale > 0)) scale = std::ldexp(chart_->ScaleAtPixel(pixel.x, pixel.y), zoom_);
  RestorePlace(lat, lon, scale, nullptr, mode == 1);
}

void COstrelView::CentreKeepingZoom(double lat, double lon) { CentreOnLatLon(lat, lon, kKeepZoom); }

void COstrelView::SavePlaceForCentre() {
  target_.lock_point = anchor_;
  target_.scale = 0;
  if (!chart_) return;
  const vd::ui::Point pixel = ClientToChart(anchor_);
  chart_->PixelToLatLon(pixel.x, pixel.y, target_.lat, target_.lon);
  target_.scale = std::ldexp(chart_->ScaleAtPixel(pixel.x, pixel.y), zoom_);
}

bool COstrelView::GetCentreLatLon(double& lat, double& lon) const {
  if (!chart_) return false;
  const vd::ui::Point pixel = ClientToChart(ClientCentre());
  chart_->PixelToLatLon(pixel.x, pixel.y, lat, lon);
  return true;
}

bool COstrelView::GetPlacement(CViewPlacement& placement) const {
  if (!GetCentreLatLon(placement.lat, placement.lon)) return false;
  const vd::ui::Point pixel = ClientToChart(ClientCentre());
  placement.chart_path = GetChartPath();
  placement.scale = std::ldexp(chart_->ScaleAtPixel(pixel.x, pixel.y), zoom_);
  placement.lock = lock_on_ ? 1 : 0;
  return true;
}

bool COstrelView::GetVisibleArea(double& north, double& south, double& east,
                                 double& west) const {
  if (!HasGeoreferencedChart()) return false;
  const vd::ui::Point top_left = ClientToChart({0, 0});
  const vd::ui::Point bottom_right = ClientToChart({client_.cx, client_.cy});
  chart_->PixelToLatLon(top_left.x, top_left.y, north, west);
  chart_->PixelToLatLon(bottom_right.x, bottom_right.y, south, east);
  return true;
}

void COstrelView::BroadcastCentre() {
  double lat = 0;
  double lon = 0;
  if (document_.SyncViews() && GetCentreLatLon(lat, lon)) document_.SyncViewsTo(this, lat, lon);
}

// ---- Objects ----

CMappedObject& COstrelView::MapObject(COstrelObject& object) {
  auto record = std::make_unique<CMappedObject>(&seam_);
  record->SetObject(&object, chart_.get());  // takes the record's reference first
  CMappedObject& mapped = mapped_.Insert(std::move(record));
  Prepare(mapped);
  return mapped;
}

void COstrelView::Prepare(CMappedObject& mapped) {
  mapped.object()->PrepareView(mapped, chart_.get(), band_);
}

void COstrelView::ClearMappedObjects() {
  {
    MutedNotifications muted;
    mapped_.Clear();
  }
  outline_mapped_ = nullptr;
}

void COstrelView::RemapAllObjects() {
  ClearMappedObjects();
  if (!HasGeoreferencedChart()) {
    hovered_ = nullptr;
    return;
  }
  bool outline_listed = false;
  bool hovered_listed = false;
  if (ObjectList* list = document_.GetObjectList()) {
    for (COstrelObject* object : *list) {
      CMappedObject& mapped = MapObject(*object);
      if (outline_ && object == outline_) {
        outline_mapped_ = &mapped;
        outline_listed = true;
      }
      if (object == hovered_) hovered_listed = true;
    }
  }
  if (!outline_listed) outline_ = nullptr;
  if (!hovered_listed) hovered_ = nullptr;
  ShowStatusText(status_text_);
}

void COstrelView::InvalidateBounds(const CMappedObject& mapped) {
  const vd::ui::Rect& b = mapped.bounds;  // right and bottom are covered
  window_.Invalidate({b.left, b.top, b.right + 1, b.bottom + 1});
}

void COstrelView::OnUpdate(COstrelViewBase* /*sender*/, int hint, COstrelObject* object) {
  UpdateObjects(hint, object);
  if (lock_on_ && hint == kChangeModified && object && object == static_cast<COstrelObject*>(GpsObject())) {
    FollowPosition();
  }
}

void COstrelView::UpdateObjects(int hint, COstrelObject* object) {
  if (object && HasGeoreferencedChart() && hint != kChangeDisplay) {
    if (hint == kChangeAdded) {
      MapObject(*object);
      return;
    }
    CMappedObject* mapped = mapped_.Find(object);
    if (!mapped) mapped = &MapObject(*object);
    switch (hint) {
      case kChangeDeleted: {
        if (hovered_ == object) hovered_ = nullptr;
        if (outline_ && outline_ == object) {
          outline_ = nullptr;
          outline_mapped_ = nullptr;
        }
        {
          MutedNotifications muted;
          mapped_.Remove(object);  // drops the record's reference
        }
        band_.Reset();
        InvalidateAll();
        return;
      }
      case kChangeModified: {
        // A move (code 5) just before has prepared and repainted the object already.
        const bool prepare = !mapped->fresh;
        mapped->fresh = false;
        if (prepare) {
          Prepare(*mapped);
          InvalidateAll();
        }
        return;
      }
      case kChangeSelected:
        Prepare(*mapped);
        if (edit_mode_) hovered_ = object;
        InvalidateAll();
        return;
      case kChangeEditState:
        Prepare(*mapped);
        InvalidateAll();
        return;
      case kChangeMoved:
        InvalidateBounds(*mapped);
        Prepare(*mapped);
        InvalidateBounds(*mapped);
        mapped->fresh = true;
        return;
      case kChangeViewTarget:
        SetPositionMarker(object->view_target().lat, object->view_target().lon);
        return;
      case kChangeCategory:
        return;
      default:
        InvalidateAll();
        return;
    }
  }
  if (object && hint == kChangeDeleted) {
    if (outline_ && outline_ == object) {
      outline_ = nullptr;
      outline_mapped_ = nullptr;
    }
    InvalidateAll();
    return;
  }
  RemapAllObjects();
  if (!outline_ && chart_) {
    outline_ = document_.FindOrAddChartOutline(GetChartPath());
    outline_mapped_ = mapped_.Find(outline_);
  }
  InvalidateAll();
}

bool COstrelView::SetPositionMarker(double lat, double lon) {
  const int r = MarkerRadius();
  window_.Invalidate({marker_.x - r, marker_.y - r, marker_.x + r, marker_.y + r});
  marker_ = kHiddenMarker;
  if (!HasGeoreferencedChart()) return false;
  if (lat == 0 && lon == 0) return true;
  ScreenPoint pixel;
  if (!chart_->LatLonToPixel(lat, lon, pixel)) return false;
  marker_ = ChartToClient({pixel.x, pixel.y});
  window_.Invalidate({marker_.x - r, marker_.y - r, marker_.x + r, marker_.y + r});
  return true;
}

int COstrelView::MarkerRadius() const { return static_cast<int>(drawing_scale_ * 5.01); }

// ---- Print boxes ----

void COstrelView::SetPrintAreaMode(bool on) {
  if (on != print_area_mode_) {
    auto* doc = dynamic_cast<COstrelDoc*>(&document_);
    if (CChartFrameHost* host = doc ? doc->frame_host() : nullptr) host->SetPrintingToolbars(on);
  }
  print_area_mode_ = on;
  ShowStatusText(on ? kPrintAreaStatus : "");
  InvalidateAll();
}

CMapRectSelection& COstrelView::AddPrintBox() {
  boxes_.push_back(std::make_unique<CMapRectSelection>(this));
  active_box_ = boxes_.back().get();
  return *active_box_;
}
