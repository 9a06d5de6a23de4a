#pragma once
// The chart window's core: one raster chart shown at one of eight zoom shifts, painted from a
// cache of 128 x 128 screen tiles that a helper thread decodes, with the document's overlay
// objects drawn on top. It knows no widget: it paints on a vd::ui::Surface it is handed and
// reaches its window, its frame and its document through the three small interfaces below, so
// it runs headless in tests (the program's widget is corvex/ui/chart_view_widget.h).
//
// Coordinates: a chart pixel is a pixel of the chart file; a client pixel one of the window.
// The zoom shift z (kMinZoom..kMaxZoom) says that one client pixel covers 2^z chart pixels
// (z < 0 magnifies); "shifted left by z" means << z for z >= 0 and >> -z (rounding down) for
// z < 0. A tile always covers 128 x 128 client pixels.
//
// Tiles: every paint marks the grid squares already cached at the current zoom, and queues a
// tile for each other square (painted light grey meanwhile) to the view's helper thread, which
// posts it back to the window (kWmUser, 0, tile) when decoded; the window hands that message
// to OnUserMessage. The view never frees a tile that is queued or on screen: the cache grows
// instead.
//
// User-interface thread only.
#include <algorithm>
#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "charts/ui/quick_chart_dib.h"
#include "corvex/chart_view_link.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_track.h"
#include "platform/os/message_queue.h"
#include "platform/ui/colour.h"
#include "platform/ui/geometry.h"

class CHelperThread;
class CMapRectSelection;
class COldChartOutline;
class COldQuickChart;
class QWidget;

namespace vd::ui {
class Surface;
class PopupMenu;
}  // namespace vd::ui

// What the view asks of its document (the program's COstrelDoc provides it).
class CViewDocument {
 public:
  // The overlay objects and chart outlines; null when the document has none.
  virtual ObjectList* GetObjectList() = 0;
  // The outline of a chart file in the document's chart library, added when it is new; null
  // when the file can't be listed.
  virtual COldChartOutline* FindOrAddChartOutline(const std::string& path) = 0;
  // The place a new view opens, when the document has one waiting; else null.
  virtual const CViewPlacement* GetPendingPlacement() const = 0;
  // A new document asks its views to fill their frames.
  virtual bool MaximiseViews() const = 0;
  // The document's chart views.
  virtual std::vector<CDocView*> GetChartViews() const = 0;
  // Brings a view's frame to the front, maximised.
  virtual void ShowView(CDocView* view) = 0;
  // Linked views: while on, a view that moves has the others follow (SyncViewsTo).
  virtual bool SyncViews() const = 0;
  virtual void SyncViewsTo(CDocView* source, double lat, double lon) = 0;

 protected:
  ~CViewDocument() = default;
};

// What the view asks of its window.
class CViewWindow {
 public:
  // Where the helper threads post finished tiles; owned by the UI thread, whose loop hands
  // each kWmUser message to COstrelView::OnUserMessage.
  virtual vd::os::MessageWindow& MessageTarget() = 0;
  // Repaints a client rectangle at the next paint (nothing is erased first).
  virtual void Invalidate(const vd::ui::Rect& rect) = 0;
  // kWmTimer with this id every interval_ms.
  virtual bool SetTimer(uintptr_t id, int interval_ms) = 0;
  // The client area of a maximised window on the screen.
  virtual vd::ui::Size ScreenSize() const = 0;
  // The owner of message boxes (null: the active window).
  virtual QWidget* DialogOwner() = 0;

 protected:
  ~CViewWindow() = default;
};

// What the view asks of the frame that holds it.
class CViewFrame {
 public:
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetFrameTitle(const std::string& title) = 0;
  virtual void MaximiseFrame() = 0;
  // Closes the frame later, never inside the call.
  virtual void CloseFrame() = 0;
  virtual void SetFramePlacement(const CWindowPlacement& placement) = 0;
  // COstrelViewBase's menus, from the program's resources.
  virtual std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int menu_id) = 0;
  virtual void TrackContextMenu(const vd::ui::PopupMenu& menu,
                                const vd::ui::Point& client_point) = 0;

 protected:
  ~CViewFrame() = default;
};

class COstrelView : public CDocView {
 public:
  static constexpr int kMinZoom = -2;
  static constexpr int kMaxZoom = 5;
  static constexpr int kTileSide = 128;  // client pixels
  static constexpr int kMaxGridRows = 39;
  static constexpr int kMaxGridColumns = 78;
  static constexpr vd::ui::ColourRef kQueuedTileColour = 0xE6E6E6;
  // Overlay objects of one paint: drawn simplified past the first kFullDrawObjects, not at all
  // past kMaxDrawnObjects.
  static constexpr int kFullDrawObjects = 250;
  static constexpr int kMaxDrawnObjects = 10000;
  static constexpr uintptr_t kScrollTimerId = 9372;
  static constexpr int kScrollTimerMs = 50;
  static constexpr vd::ui::Point kHiddenMarker{-100000, -100000};

  // While printing or rendering, chart pixels map to client pixels through this transform:
  // client = (chart - origin) x scale, truncated toward zero.
  struct RenderTransform {
    double scale = 1.0;
    vd::ui::Point origin;
  };

  // One tile of the cache, for tests and benchmarks.
  struct TileInfo {
    vd::ui::Point origin;  // chart pixels
    int zoom = 0;
    bool ready = false;
    bool queued = false;
  };

  // An empty view (no chart) with a cache of empty tiles sized for the screen.
  COstrelView(CViewDocument& document, CViewWindow& window, CViewFrame& frame);
  // Waits for the tiles under way, stops the helper threads, frees the objects' screen records.
  ~COstrelView() override;

  // ---- Life ----
  // Once: maximises the frame when the document asks for it, opens the chart of the new view
  // and then starts the scrolling timer.
  void OnInitialUpdate();
  // Opens the chart a new view shows: the document's pending placement, when there is one and
  // the chart folders are not due for a rescan. Without a chart afterwards the frame closes.
  bool OpenChart();
  // Closes the chart: tiles flushed, chart and outline dropped.
  void ReloadChart();
  // The client area's new size.
  void OnSize(int width, int height);
  // This view becomes the active chart view.
  void OnSetFocus();

  // ---- CDocView ----
  std::string GetChartPath() const override;
  // Opens a chart file here. On failure the previous chart is opened again, or the view stays
  // empty; false.
  bool OpenChartFile(const std::string& path) override;
  void ReloadChartFile() override;
  void CentreAt(double lat, double lon, double scale, int mode) override;
  void CentreKeepingZoom(double lat, double lon) override;
  bool SetPositionMarker(double lat, double lon) override;
  bool IsLockedOn() const override { return lock_on_; }
  bool GetPlacement(CViewPlacement& placement) const override;
  bool GetVisibleArea(double& north, double& south, double& east, double& west) const override;
  void OnUpdate(COstrelViewBase* sender, int hint, COstrelObject* object) override;
  std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int menu_id) override;
  void TrackContextMenu(const vd::ui::PopupMenu& menu, const vd::ui::Point& client_point) override;

  // ---- Mapping ----
  // v shifted left (right) by the zoom shift z, in 64 bits: << z, or >> -z rounding down.
  static int64_t ShiftLeftByZoom(int64_t v, int z) {
    return z >= 0 ? v * (int64_t{1} << z) : v >> -z;
  }
  static int64_t ShiftRightByZoom(int64_t v, int z) {
    return z >= 0 ? v >> z : v * (int64_t{1} << -z);
  }
  static int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  }
  vd::ui::Point ClientToChart(vd::ui::Point client) const;
  vd::ui::Point ChartToClient(vd::ui::Point chart) const;
  void EnterRenderMode(const RenderTransform& transform);
  void LeaveRenderMode();

  // ---- Places ----
  // Zoom one step in (out) keeping the chart point under the anchor point where it is; false
  // at the limit.
  bool ZoomIn();
  bool ZoomOut();
  bool CanZoomIn() const { return zoom_ > kMinZoom; }
  bool CanZoomOut() const { return zoom_ < kMaxZoom; }
  // Puts chart pixel (x, y) at the client centre; z outside kMinZoom..kMaxZoom keeps the zoom.
  void CentreOn(int x, int y, int z);
  // The same for a position inside the chart's outline; false (nothing moves) otherwise.
  bool CentreOnLatLon(double lat, double lon, int z);
  // The position and scale at the client centre become the place the next chart opens at.
  void SavePlaceForCentre();
  // The position at the client centre; false without a chart.
  bool GetCentreLatLon(double& lat, double& lon) const;

  // ---- Painting ----
  void OnDraw(vd::ui::Surface& dc, const vd::ui::Rect& update);
  // Repaints a client rectangle at the next paint.
  void InvalidateClient(const vd::ui::Rect& rect) { window_.Invalidate(rect); }
  // The window's kWmUser message: a finished tile (lparam), or 0 when a helper thread ended.
  intptr_t OnUserMessage(uintptr_t wparam, intptr_t lparam);
  // A tile came back: it is ready and repainted when its zoom is still the view's. Null: a
  // helper thread ended; the threads go and the frame closes. Returns 1.
  virtual int OnTileReady(CQuickChartDib* tile);
  // Releases every tile and waits (at most about 10 s, handing the window's messages on
  // meanwhile) until the helper threads have handed back all queued tiles; false on time-out.
  bool FlushTiles();
  // Whether the chart file can still be read; when it can't, the user retries or gives the
  // chart up (the view empties). False without a chart.
  bool CheckChartAccess();

  // ---- Input ----
  // Mouse, wheel, key, timer and capture messages of the window; false for default handling.
  bool OnInputMessage(const vd::os::Message& message);

  // ---- State ----
  COldQuickChart* chart() const { return chart_.get(); }
  COldChartOutline* outline() const { return outline_; }
  int zoom() const { return zoom_; }
  vd::ui::Point origin() const { return origin_; }
  vd::ui::Size client_size() const { return client_; }
  vd::ui::Point anchor_point() const { return anchor_; }
  void SetAnchorPoint(vd::ui::Point client) { anchor_ = client; }
  vd::ui::Point position_marker() const { return marker_; }
  const std::string& status_text() const { return status_text_; }
  CMappedObjectMap& mapped_objects() { return mapped_; }
  CRubberBand& rubber_band() { return band_; }
  // The screen's DPI factor (1 while printing): sizes of marks, markers and hit tolerances.
  float drawing_scale() const { return drawing_scale_; }
  void SetDrawingScale(float scale) { drawing_scale_ = scale; }
  // Whether the other place's window is outlined when it lies at a larger scale.
  static bool ShowAlternateOutline();
  static void SetShowAlternateOutline(bool on);
  // The view that had the focus last; null when it is gone.
  static COstrelView* ActiveView();

  // ---- Print boxes ----
  // Bit of the print flags: each page shows a fixed scale (boxes keep their page size).
  static constexpr int32_t kPrintFixedScale = 0x10;
  int32_t print_flags() const { return print_flags_; }
  void SetPrintFlags(int32_t flags) { print_flags_ = flags; }
  // While on, the view draws its boxes.
  bool print_area_mode() const { return print_area_mode_; }
  void SetPrintAreaMode(bool on);
  // A new box over the client area less 24 pixels each side; it becomes the active box.
  CMapRectSelection& AddPrintBox();
  const std::list<std::unique_ptr<CMapRectSelection>>& print_boxes() const { return boxes_; }
  CMapRectSelection* active_box() const { return active_box_; }
  void SetActiveBox(CMapRectSelection* box) { active_box_ = box; }

  // ---- Tiles (tests and benchmarks) ----
  std::vector<TileInfo> DescribeTiles() const;  // most recently used first
  int QueuedTileCount() const;

 private:
  // A cache tile with the view's own bookkeeping.
  struct ViewTile : CQuickChartDib {
    COldQuickChart* chart = nullptr;  // the chart it shows; null once released
    bool queued = false;        // with a helper thread until the window hands it back
    bool in_use = false;        // on screen in the current paint
    bool fetch_failed = false;  // set by the download thread before it hands the tile back
  };
  // The overlays' view seams; a member because CMappedView's SetPositionMarker returns
  // nothing where CDocView's tells whether the marker shows.
  class OverlaySeam : public CMappedView, public CTrackDrawingView {
   public:
    explicit OverlaySeam(COstrelView& view) : view_(view) {}
    vd::ui::Point ChartToClient(vd::ui::Point chart) const override;
    float ScaleFactor() const override;
    void SetPositionMarker(double lat, double lon) override;
    vd::ui::Point CursorPixel() const override;

   private:
    COstrelView& view_;
  };

  bool HasGeoreferencedChart() const;
  vd::ui::Rect ClientRect() const { return {0, 0, client_.cx, client_.cy}; }
  vd::ui::Point ClientCentre() const { return {client_.cx / 2, client_.cy / 2}; }
  void InvalidateAll();
  void StartThreads(bool downloadable);
  void StopThreads();
  void SetInitialPlace();
  // The zoom shift whose scale at the chart pixel comes nearest the wanted nautical miles per
  // client pixel; `fallback` when the chart has no scale there.
  int ZoomForScale(double x, double y, double scale, int fallback) const;
  bool Zoom(int step);
  void BroadcastCentre();

  CMappedObject& MapObject(COstrelObject& object);
  void Prepare(CMappedObject& mapped);
  void RemapAllObjects();
  void ClearMappedObjects();
  void InvalidateBounds(const CMappedObject& mapped);
  void ShowStatusText(const std::string& text);

  void PaintTiles(vd::ui::Surface& dc, const vd::ui::Rect& update);
  void DrawOverlays(vd::ui::Surface& dc, const vd::ui::Rect& update);
  void DrawAlternateOutline(vd::ui::Surface& dc);
  void DrawPositionMarker(vd::ui::Surface& dc);
  int MarkerRadius() const;
  void UpdateFetchStatus();

  CViewDocument& document_;
  CViewWindow& window_;
  CViewFrame& frame_;
  OverlaySeam seam_{*this};

  // Place.
  int zoom_ = 2;
  vd::ui::Point origin_;
  vd::ui::Size client_;
  struct AlternatePlace {
    int zoom = 4;
    vd::ui::Point origin;
    vd::ui::Point lock_point;
    bool lock_on = false;
  } alternate_;
  bool alternate_showing_ = false;
  // Where the next chart opened is placed: the client point that the position goes to and
  // the wanted nautical miles per client pixel (0: none).
  struct TargetPlace {
    vd::ui::Point lock_point;
    double lat = 0.0;
    double lon = 0.0;
    double scale = 0.0;
  } target_;
  bool render_mode_ = false;
  RenderTransform render_;
  bool lock_on_ = false;
  vd::ui::Point lock_point_;
  vd::ui::Point last_mouse_;
  vd::ui::Point anchor_;
  vd::ui::Point cursor_chart_;
  vd::ui::Point marker_ = kHiddenMarker;
  float drawing_scale_ = 1.0f;
  bool initial_update_done_ = false;

  // Chart and objects.
  std::unique_ptr<COldQuickChart> chart_;
  // Charts closed while a helper thread might still read them (a flush that timed out): freed
  // once the threads are gone.
  std::vector<std::unique_ptr<COldQuickChart>> retired_charts_;
  COldChartOutline* outline_ = nullptr;  // in the document's list; not owned
  CMappedObject* outline_mapped_ = nullptr;
  CMappedObjectMap mapped_{&seam_};
  CRubberBand band_{&seam_};
  COstrelObject* hovered_ = nullptr;
  bool edit_mode_ = false;
  std::string status_text_;
  bool fetch_message_showing_ = false;

  // Tiles.
  std::list<std::unique_ptr<ViewTile>> tiles_;  // most recently used first
  std::array<std::array<bool, kMaxGridColumns>, kMaxGridRows> grid_{};
  std::unique_ptr<CHelperThread> tile_thread_;
  std::unique_ptr<CHelperThread> download_thread_;

  // Print boxes.
  std::list<std::unique_ptr<CMapRectSelection>> boxes_;
  CMapRectSelection* active_box_ = nullptr;
  bool print_area_mode_ = false;
  int32_t print_flags_ = 0;
};
