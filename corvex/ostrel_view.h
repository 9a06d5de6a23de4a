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
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "charts/ui/quick_chart_dib.h"
#include "corvex/chart_view_link.h"
#include "corvex/command_target.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_track.h"
#include "platform/os/message_queue.h"
#include "platform/ui/colour.h"
#include "platform/ui/geometry.h"

class CHelperThread;
class CMapRectSelection;
class CObjCurrentPosition;
class CObjRoute;
struct ChartFileTask;
struct PlanePoint;
class COldChartOutline;
class COldQuickChart;
struct CPrintOptions;
class QWidget;

namespace vd::ui {
class Image;
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
  // The map shop for an area (its corners, or a polygon of three or more points) shown in a
  // view of the chart; what the user chose there opens. With download_area, each chosen
  // downloadable chart then downloads its data inside the polygon.
  virtual void OpenMapShop(const std::vector<GeoPoint>& /*area*/,
                           const std::string& /*chart_path*/, bool /*download_area*/) {}

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
  // The screen position of a client point (the view's own menus open there).
  virtual vd::ui::Point ClientToScreen(vd::ui::Point client) const { return client; }
  // Shows the image file as the chart's logo at 20 pixels from the bottom-right corner; an
  // empty path (or a file that is no image) shows none.
  virtual void ShowLogo(const std::string& /*image_path*/) {}
  // Puts the mouse pointer at a screen position (the pointer held still while panning).
  virtual void SetCursorScreenPos(vd::ui::Point /*screen*/) {}
  // Milliseconds of a steady clock: the speed of a pan is sampled with it.
  virtual int64_t TickCount() const;

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
  // The position under the mouse as the main frame's read-out pane shows it.
  virtual void SetReadoutText(const std::string& /*text*/) {}

 protected:
  ~CViewFrame() = default;
};

class COstrelView : public CDocView, public CCommandTarget {
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
  // Once: maximises the frame when the document asks for it, starts the scrolling timer and
  // opens the chart of the new view.
  void OnInitialUpdate();
  // Opens the chart a new view shows: the document's pending placement, when there is one and
  // the chart folders are not due for a rescan; otherwise the one the user picks in the chart
  // chooser (Map List), here or in a new window. The chooser is offered once the work of the
  // moment is done (from the event loop), and only when the view still has no chart by then: the
  // chart named on the program's command line opens into the first window without it. Without
  // a chart afterwards the frame closes (the last chart window stays, empty).
  bool OpenChart();
  // The chart chooser for this view: the chart picked opens here (the place recorded first) or
  // in a new window; Cancel changes nothing. False when the view went while the chooser was up
  // (its main window closed meanwhile): the caller must not touch it any more.
  [[nodiscard]] bool ChooseChart();
  // The chooser a new view without a place offers (OpenChart), unless it has a chart by now.
  void OfferChooser();
  // Closes the chart: tiles flushed, chart and outline dropped.
  void ReloadChart();
  // Switches the chart to the night (dimmed) colours or back and repaints it.
  void SetNightColors(bool on);
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
  // What becomes of a drag: 0 none, panning, or a print box following the mouse.
  enum DragMode { kNoDrag = 0, kPanning = 1, kBoxDrag = 2 };
  // The cursor the window shows at the mouse.
  enum class Cursor { kArrow, kHand, kSizeDiagonalDown, kSizeDiagonalUp, kSizeHorizontal,
                      kSizeVertical, kMove };
  // Mouse, wheel, key, timer and capture messages of the window; false for default handling.
  // The mouse goes first to the object being created or edited (the document's current
  // object), else to the object under it, else it pans; kWmCaptureChanged (the window lost the
  // mouse) ends a pan or a print-box drag, with no kinetic motion after it.
  bool OnInputMessage(const vd::os::Message& message);
  // Files dropped at a client point: the first becomes a "HotSpot" mark there, linking to it.
  // False, nothing made, without a georeferenced chart or without files.
  bool OnDropFiles(const std::vector<std::string>& paths, vd::ui::Point client);
  // The cursor for the last mouse point (print-box grips, the hand over open map).
  Cursor OnSetCursor();
  // The read-out tip shows the tip text: the document's read-out setting is on and no pan is
  // under way.
  bool TipShowing() const;
  // "Cursor: <position> (WGS84)" ("Map datum" for a chart without datum shift), or
  // "X=<x>, Y=<y>" without a georeference; "" without a chart.
  std::string FormatCursorText() const;
  int drag_mode() const { return drag_mode_; }
  // The object under the mouse (or being edited); null when none.
  COstrelObject* hovered_object() const { return hovered_; }
  vd::ui::Point last_mouse_point() const { return last_mouse_; }
  vd::ui::Point cursor_pixel() const { return cursor_chart_; }
  const CLatLon& cursor_position() const { return cursor_latlon_; }
  bool shift_drag() const { return shift_drag_; }
  // The other place (key Space swaps).
  bool alternate_showing() const { return alternate_showing_; }
  vd::ui::Point lock_point() const { return lock_point_; }

  // The charts under the mouse at the last map context menu, most nautical miles per pixel
  // first; entry n is the command kCmdMapsAtCursorFirst + n.
  struct MapAtCursor {
    std::string chart_path;
    std::string title;
    bool current = false;  // this view's chart
    bool mergeable = false;  // offered under "Merge Map"
  };
  const std::vector<MapAtCursor>& maps_at_cursor() const { return maps_at_cursor_; }

  // ---- Commands ----
  // The view's commands besides object creation (corvex/command_ids.h).
  static constexpr int kCmdZoomInAtAnchor = 32786;
  static constexpr int kCmdZoomOutAtAnchor = 32787;
  static constexpr int kCmdZoomIn = 32829;  // at the client centre
  static constexpr int kCmdZoomOut = 32822;
  static constexpr int kCmdDragMap = 32929;
  static constexpr int kCmdReadOut = 32832;
  static constexpr int kCmdLargerScaleMap = 32812;
  static constexpr int kCmdSmallerScaleMap = 32813;
  static constexpr int kCmdSameScaleMap = 32814;
  static constexpr int kCmdLockOnGps = 32808;
  // The object choice menu: one item an object under the mouse.
  static constexpr int kCmdObjectChoiceFirst = 33329;
  static constexpr int kMaxObjectChoices = 99;
  // The map context menu's "Maps at Cursor" and "Merge Map" entries.
  static constexpr int kCmdMapsAtCursorFirst = 32982;
  static constexpr int kMaxMapsAtCursor = 51;
  static constexpr int kCmdMergeMapFirst = 33033;
  static constexpr int kMaxMergeMaps = 50;
  // Menus of resources/menus/corvex_context.menu.
  static constexpr int kMapContextMenu = 134;
  static constexpr int kObjectChoiceMenu = 219;

  // CCommandTarget: the view's commands, printing among them.
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;
  // The first popup of a menu of the view's menu file (the program folder's
  // resources/menus/corvex_context.menu); null when it can't be read or has no such menu.
  static std::unique_ptr<vd::ui::PopupMenu> LoadViewMenu(int menu_id);
  // A copy of the menu whose entries take their state (enabled, checked, text) from this
  // view's commands, else from the document's; entries neither knows keep theirs.
  std::unique_ptr<vd::ui::PopupMenu> WithCommandStates(const vd::ui::PopupMenu& menu);

  // ---- State ----
  COldQuickChart* chart() const { return chart_.get(); }
  COldChartOutline* outline() const { return outline_; }
  int zoom() const { return zoom_; }
  vd::ui::Point origin() const { return origin_; }
  vd::ui::Size client_size() const { return client_; }
  vd::ui::Point anchor_point() const { return anchor_; }
  void SetAnchorPoint(vd::ui::Point client) { anchor_ = client; }
  vd::ui::Point position_marker() const { return marker_; }
  // What the status bar's message pane shows for this view (fetching, print area), and what
  // the cursor is over (the read-out tip's text); the cursor's position itself is the frame's
  // read-out pane's.
  const std::string& status_text() const { return status_text_; }
  const std::string& tip_text() const { return tip_text_; }
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

  // ---- Place history and other charts ----
  // A place the view showed: chart, zoom shift and origin.
  struct Place {
    std::string chart_path;
    int zoom = 0;
    vd::ui::Point origin;
  };
  static constexpr size_t kMaxHistory = 100;
  static constexpr int kCmdBack = 33666;
  static constexpr int kCmdForward = 33665;
  static constexpr int kCmdScaleIn = 32969;   // larger-scale map at the client centre
  static constexpr int kCmdScaleOut = 32971;  // smaller-scale map at the client centre
  static constexpr int kCmdLockOnGpsToolbar = 32810;
  static constexpr int kCmdAlternateOutline = 32835;
  // Records the place shown (chart needed). Unless forced, nothing is recorded while the place
  // before the cursor shows the same chart over a window that overlaps this one. The places
  // after the cursor go; the oldest goes past kMaxHistory; the cursor moves to the end.
  void PushHistory(bool forced);
  // Opens the place's chart when another is open (false, nothing more, when it fails), takes
  // its zoom and origin and ends lock-on.
  bool GoToPlace(const Place& place);
  // The cursor stands just after the place shown.
  void OnBack();
  void OnForward();
  bool CanGoBack() const;
  bool CanGoForward() const { return history_cursor_ < history_.size(); }
  const std::deque<Place>& history() const { return history_; }
  size_t history_cursor() const { return history_cursor_; }

  // Which other chart at a chart pixel: the candidates are the charts whose outline holds the
  // pixel. Larger: the next chart with fewer nautical miles a pixel (ratio below 0.99999);
  // smaller: the next with more; same: the chart, this one included, whose outline scale comes
  // nearest the scale at the pixel.
  enum class MapChoice { kLarger, kSmaller, kSame };
  // The chosen chart's path; empty when there is none (or it is this chart).
  std::string FindMapAt(MapChoice choice, vd::ui::Point pixel);
  // The same-scale rule at the client centre over the other charts only.
  std::string FindBestChartAtCentre();
  // Opens another chart at the place and scale shown now, recording this place first.
  bool OpenOtherChart(const std::string& path);

  // ---- Lock-on to the GPS ----
  // Off: the flag clears. On (needs the document's GPS position object): the place is recorded,
  // the lock point becomes the client centre and the view follows.
  void ToggleLockOn();
  // Keeps the GPS position at the lock point: the chart scrolls, or the chart of the outline
  // holding the position at the nearest scale opens when it leaves this one; lock-on ends when
  // the position leaves the window's reach and no other chart holds it. Runs on every change
  // of the GPS position object and on resize while locked on.
  void FollowPosition();

  // ---- Chart commands ----
  static constexpr int kCmdMapListAtCursor = 32788;
  static constexpr int kCmdUndoMerge = 33085;
  static constexpr int kCmdSatellitePhoto = 33543;
  static constexpr int kCmdBoundaryFromRoute = 32980;
  static constexpr int kCmdRouteFromBoundary = 33084;
  static constexpr int kCmdEditMapProperties = 33083;
  static constexpr int kCmdCalibration = 32978;
  static constexpr int kCmdMapsForRoute = 33652;
  static constexpr int kCmdSaveEnclosedMarks = 33649;
  static constexpr int kCmdExportMapArea = 33539;
  static constexpr int kCmdRemoveTrackPoint = 32892;
  static constexpr int kCmdJoinTrack = 33114;
  static constexpr int kCmdSplitTrack = 33094;
  // Merges the chart at source_path into this one as a new chart file at output (named
  // `name`), which then opens here. The chart left behind becomes the merge source when it
  // was itself a merge (its outline leaves the library); the merge source before goes from
  // disk. False, nothing changed, when the merge fails or the new chart does not open.
  bool MergeMap(const std::string& source_path, const std::string& output,
                const std::string& name, bool antialias, const ChartFileTask& task);
  // The merged chart this view may return to (Undo of Merge Map); empty when none. It is
  // deleted from disk when the view goes or the next merge opens.
  const std::string& merge_source() const { return merge_source_; }
  // Reopens the merge source, which stops being one.
  bool UndoMerge();
  // A closed route (its first point repeated at the end) becomes the chart's boundary, in the
  // chart file and as "vpN" lines of its calibration file; the route is then deleted. False,
  // nothing changed, for a route that is not closed or when a file can't be written.
  bool BoundaryFromRoute(CObjRoute& route);
  // A new closed route along the chart's boundary; null without a georeferenced chart or a
  // boundary.
  CObjRoute* RouteFromBoundary();
  // The chart's calibration file: the chart path with ".jpr" when the chart file exists, else
  // the chart file's name without extension and with ".jpr" in the data folder.
  static std::string CalibrationFilePath(const std::string& chart_path);
  // The online map address of the window's area; empty without a georeferenced chart.
  std::string SatellitePhotoAddress() const;
  // The visible free-standing marks inside the route's polygon.
  ObjectList MarksInside(const CObjRoute& route) const;
  // The route's points as a polygon of chart pixels.
  std::vector<PlanePoint> RoutePolygon(const CObjRoute& route) const;
  // The new chart file an exported area goes to: the chart's own name for a downloadable
  // chart, else the title reduced to letters, digits and " -_+." with "_%04x.qct" of the low
  // 16 bits of `seconds`.
  std::string ExportTargetPath(const std::string& folder, const std::string& title,
                               int64_t seconds) const;
  // Opens the chart (or places the open one again) with the position at the client centre at
  // the scale, recording the place first; with move_cursor the mouse pointer goes onto the
  // position.
  void RestorePlace(double lat, double lon, double scale, const std::string* chart_path,
                    bool move_cursor);
  // The chart's logo: the chart path with ".vdg", else the chart's name with ".vdg" in its
  // folder; empty when neither exists.
  std::string ChartLogoPath() const;
  void ShowChartLogo();

  // ---- Calibration ----
  // The calibration dialog open on this view: it is told of every click on the chart and
  // draws over the chart after the overlays.
  class CalibrationHost {
   public:
    virtual void OnChartClick(int x, int y) = 0;  // chart pixel
    virtual void DrawOverlay(vd::ui::Surface& dc) = 0;
    // The view is going: the dialog lets go of it and closes.
    virtual void OnViewClosing() = 0;

   protected:
    ~CalibrationHost() = default;
  };
  void SetCalibration(CalibrationHost* calibration);
  CalibrationHost* calibration() const { return calibration_; }

  // ---- Chunk downloads and area export ----
  // Whether the open chart's pixels come from a chunk store (they can be downloaded).
  bool IsDownloadableChart() const;
  // The name under which the open chart's offline data (elevation, search data) is published:
  // the chart file's title for a downloadable chart, which comes from the maker's server; ""
  // for any other chart, whose data is looked for only beside it, so that opening a chart of
  // the user's own never reaches for the network.
  std::string OfflineDataName() const;
  // Map/Elevation Data/Get default: the chart's elevation data fetched afresh from the maker's
  // server (under the progress dialog) and opened; a box says when there is none.
  void GetDefaultElevation();
  // Downloads the chunks inside a polygon of chart pixels (closed or not), or within
  // corridor_m metres of it when corridor_m > 0, or every chunk of the chart (empty polygon),
  // on a thread of its own under the progress dialog with Cancel (charts/ui/
  // map_data_download.h), and reopens the chart at the same place. The view lets go of the
  // chart meanwhile so that the store has one writer. False when the chart is not
  // downloadable, the download was cancelled or a chunk could not be fetched.
  bool DownloadChunks(const std::vector<PlanePoint>& polygon, double corridor_m);
  // The half-width of the corridor a route's download covers: 2000 chart pixels at the scale
  // of the chart where the view is anchored, in metres; 0 without a chart.
  double RouteCorridorMetres() const;
  // Downloads the open chart's chunks inside the polygon of (longitude, latitude) points, or
  // along them within RouteCorridorMetres, as DownloadChunks does. False as DownloadChunks.
  bool DownloadRouteData(const std::vector<std::pair<double, double>>& lon_lat, bool polygon);
  // Lets go of the open chart for a while (a download writes its store): the place is kept,
  // the chart closed and the helper threads stopped. ReopenParkedChart opens it again there.
  void ParkChart() override;
  void ReopenParkedChart() override;
  std::string ParkedChartPath() const override { return parked_chart_; }
  // The window's area as a closed polygon of chart pixels (five points).
  std::vector<PlanePoint> WindowPolygon() const;
  // Copies the open chart's area inside a polygon of chart pixels to a new chart file with the
  // given title; the task shows progress and may cancel. Refused (false, nothing written) for
  // fewer than three points or a target that is the open chart. A companion elevation or
  // gazetteer file of the chart (same name, ".qed" / ".vdq") is copied beside the new file.
  bool ExportMapArea(const std::vector<PlanePoint>& polygon, const std::string& target,
                     const std::string& title, const ChartFileTask& task);

  // ---- 3D viewer ----
  static constexpr int kCmd3DWorld = 33091;
  static constexpr int kCmdRouteFlyThrough = 33433;
  static constexpr int kCmdTrackFlyThrough = 33434;
  // Hands the chart and the points to the 3D viewer and starts it (corvex/lumex_handover.h);
  // what went wrong is shown to the user.
  void LaunchTerrainViewer(const std::vector<CLatLon>& points);
  // The chart area of width x height output pixels from chart pixel (x, y), each output pixel
  // averaging 2^zoom_shift squared chart pixels, with the visible overlays drawn on it,
  // written as a texture file (corvex/dds_file.h). A negative shift renders at shift 0 an area
  // of (width, height) shifted right by -zoom_shift. The tiles are flushed first; the
  // objects' screen records are made afresh afterwards. False without a chart, for an empty
  // area, or when the file can't be written.
  bool RenderAreaToDDS(const std::string& path, int zoom_shift, int x, int y, int width,
                       int height);

  // ---- Image export and printing ----
  static constexpr int kCmdExportImage = 33431;
  // Border scales take this many pixels beside an exported image.
  static constexpr int kExportBorder = 16;
  // The chart area of width x height output pixels from chart pixel (x, y), each output pixel
  // averaging 2^zoom_shift squared chart pixels (0..6), with the visible overlays, relief
  // shading when asked (only inside the chart outline with `edge`) and the border scales and
  // grid of the stored print options, written as an image file: PNG for ".png", JPEG for
  // ".jpg" or ".jpeg", else a 32-bit bitmap (corvex/bmp_file.h). `copyright` receives the
  // chart's copyright text. False, nothing written, without a chart, for an empty or too large
  // area, or when the file can't be written.
  bool ExportImage(const std::string& path, int x, int y, int width, int height, int zoom_shift,
                   bool relief, bool edge, std::string& copyright);
  // Shades pixels (0xAARRGGBB, rows `stride` apart) of `rect` by the terrain's west-east slope
  // at chart pixel (x0 + (column << shift), y0 + (row << shift)). Nothing without a
  // georeferenced chart and an open elevation file, or over flat ground.
  void ApplyReliefShading(uint32_t* pixels, ptrdiff_t stride, const vd::ui::Rect& rect,
                          int shift, int x0, int y0, bool edge);
  // The position grid (with the grid-lines option) and the border scales of the options over
  // `target`, which shows the chart rectangle `chart`; labels of `label_size` units.
  void DrawGridAndBorder(vd::ui::Surface& dc, const vd::ui::Rect& chart,
                         const vd::ui::Rect& target, int label_size, const CPrintOptions& options);
  // Renders a box of chart pixels into the page rectangle of `dc` (logical units of 1/100
  // inch), keeping the box's shape, at the coarsest zoom shift that stays within the options'
  // resolution. With `units_per_pixel` (1/100 inch of paper per chart pixel, a fixed scale)
  // the chart is laid at exactly that size when it fits the page, else it fills the page.
  // False without a chart or for an empty box.
  bool PrintBox(vd::ui::Surface& dc, const vd::ui::Rect& box, const vd::ui::Rect& page,
                const CPrintOptions& options, double units_per_pixel = 0);
  // The box's zoom shift and overlay magnification on a page `page_width` (1/100 inch) wide.
  struct PrintResolution {
    int shift = 0;
    int magnify = 1;
  };
  static PrintResolution ChoosePrintResolution(int box_width, int page_width, int resolution);

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

  // ---- Printing ----
  static constexpr int kCmdPrintMap = 32947;
  static constexpr int kCmdPrintRoute = 245;
  static constexpr int kCmdPrintTrack = 264;
  static constexpr int kCmdPrintPages = 33530;
  static constexpr int kCmdPrintPreview = 33533;
  static constexpr int kCmdRemovePage = 33536;
  static constexpr int kCmdCancelPrint = 33531;
  static constexpr int kCmdFilePrint = 57607;
  static constexpr char kPrintAreaStatus[] = "Adjust the box(s) to select the area, and click Print";
  // Asks for the print options (the title preset to `title`) and lays out the page from them
  // and the program's printer, deleting every box; false, leaving print-area mode, when there
  // is no chart, the user cancels or the page has no room.
  bool SetupPrintPages(const std::string& title);
  // One box over the window (or a page's ground at a fixed scale), in print-area mode.
  void OnPrintMap();
  // Boxes along the current route or track, in print-area mode.
  void OnPrintObject();
  // Prints every box `copies` times through the print dialog, or shows the pages in the
  // print preview; leaves print-area mode. False when nothing was printed.
  bool PrintPages(bool preview);
  // Pages of the print job: copies x boxes.
  int PrintPageCount() const;
  // Draws page `page` (1-based) onto `dc`, whose device units are `dpi` dots per inch with the
  // origin at the printable area's top left.
  void OnPrint(vd::ui::Surface& dc, int page, vd::ui::Size dpi);
  // The text over a page: the title, numbered when there are several boxes, and the chart's
  // copyright.
  std::string PrintPageTitle(int page) const;
  // Deletes the active box; leaves print-area mode when none remains.
  void RemoveActivePrintBox();
  // The page's drawing rectangle in 1/100 inch (below the title line), from SetupPrintPages.
  const vd::ui::Rect& print_page_rect() const { return page_rect_; }
  const std::string& print_title() const { return print_title_; }

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
  // The chart outlines whose outline holds a chart pixel, this chart's among them.
  std::vector<COldChartOutline*> OutlinesAt(vd::ui::Point pixel);
  // The document's GPS position object; null when it has none.
  CObjCurrentPosition* GpsObject() const;
  // OnUpdate without the follow of the GPS position.
  void UpdateObjects(int hint, COstrelObject* object);
  // The handlers of the navigation commands; false for other ids.
  bool UpdateNavigationCommand(int id, CCmdUI& ui);
  bool OnNavigationCommand(int id);
  bool UpdateChartCommand(int id, CCmdUI& ui);
  bool OnChartCommand(int id);
  // The object the track commands act on: the track under the mouse, else the selected one.
  CObjTrack* TrackAtCursor() const;
  // The selected route; null when none.
  CObjRoute* SelectedRoute() const;
  // Whether the n-th map at the cursor may be merged into this chart.
  bool CanMergeMap(size_t n) const;
  void OnMapListAtCursor();
  void OnMergeMapCommand(size_t n);
  void OnExportMapArea(const CObjRoute& route);
  void OnSaveEnclosedMarks(const CObjRoute& route);

  // ---- Input ----
  void OnMouseMove(vd::ui::Point point);
  void OnLButtonDown(vd::ui::Point point);
  void OnLButtonUp(vd::ui::Point point);
  void OnLButtonDblClk(vd::ui::Point point);
  void OnMButtonDown(vd::ui::Point point);
  void OnMButtonUp(vd::ui::Point point);
  void OnRButtonDown(vd::ui::Point point);
  void OnMouseWheel(int delta);
  void OnKeyDown(int key);
  void OnTimer();
  void OnCaptureChanged();
  // At z < 0 a client point is taken down to the first client pixel of its chart pixel.
  vd::ui::Point RoundToChartPixel(vd::ui::Point client) const;
  // The mouse is at a client point: cursor pixel and position, the object under it, the
  // status text and the read-out.
  void UpdateCursor(vd::ui::Point client);
  std::string PositionTip() const;
  // Moves the chart by a client delta, as the mouse drags it.
  void ScrollBy(int dx, int dy);
  void ScrollByKey(int dx, int dy);
  void SwapPlaces();
  void InvalidateBand();
  COstrelDocBase* DocBase() const;
  // The document's selected object; null when none (or it is another document's).
  COstrelObject* CurrentObject() const;
  // edit_mode_ from the current object's state.
  void RefreshEditMode();
  bool ReadOutSetting() const;
  // With two or more objects under the mouse the user picks one, which becomes the hovered
  // object and the selection. The hovered object; null when the menu was dismissed.
  COstrelObject* ChooseObjectAtCursor(vd::ui::Point client);
  // One item for each object, "<category>: <name>", from kCmdObjectChoiceFirst on.
  static std::unique_ptr<vd::ui::PopupMenu> ObjectChoiceMenu(
      const std::vector<COstrelObject*>& objects);
  // The map context menu with the charts under the mouse, through the frame.
  void ShowMapContextMenu(vd::ui::Point client);

  // ---- Commands ----
  // Whether the object a creation command makes is being made now; the object if so.
  COstrelObject* ObjectBeingCreated(int id) const;
  void OnCreateObject(int id);
  // Drag map: the current object's editing ends.
  void EndObjectEditing(COstrelObject* object);
  // The 3D viewer at the client centre, or flying along the current route or track, which
  // becomes the document's fly-through object.
  void On3DWorld();
  // Export Image: the visible chart area, at full size, to a file the user names.
  void OnExportImage();
  // Draws the visible overlays on an image whose pixel (0, 0) is the transform's origin, each
  // image pixel `magnify` units of the objects' drawing (pens and text keep their size on a
  // finer image); the objects' screen records are made afresh afterwards.
  void DrawOverlaysOnImage(vd::ui::Image& image, const RenderTransform& transform, int magnify);
  void OnFlyThrough(int id);

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
  std::deque<Place> history_;
  size_t history_cursor_ = 0;  // just after the place shown
  bool lock_on_ = false;
  vd::ui::Point lock_point_;
  vd::ui::Point last_mouse_;
  vd::ui::Point anchor_;
  vd::ui::Point cursor_chart_;
  vd::ui::Point marker_ = kHiddenMarker;
  float drawing_scale_ = 1.0f;
  bool initial_update_done_ = false;
  // Gone with the view: code that ran a dialog tells by it whether the view outlived it.
  std::shared_ptr<int> life_ = std::make_shared<int>(0);

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
  std::string tip_text_;
  std::string parked_chart_;  // the chart ParkChart closed; "" when none
  bool fetch_message_showing_ = false;

  // Input.
  int drag_mode_ = kNoDrag;
  CLatLon cursor_latlon_;
  vd::ui::Point pan_sample_origin_;  // origin at the last speed sample of a pan
  vd::ui::Point velocity_;           // client pixels a sample; kept up after the release
  int64_t sample_time_ = 0;          // TickCount of the last sample
  vd::ui::Point tick_origin_;        // origin at the last timer tick
  bool hold_cursor_ = false;         // this pan puts the pointer back where it was pressed
  vd::ui::Point press_point_;        // client
  vd::ui::Point press_screen_;
  bool shift_drag_ = false;          // Shift or the middle button: a drag pans over objects
  bool tip_active_ = true;
  Cursor cursor_ = Cursor::kArrow;
  std::vector<MapAtCursor> maps_at_cursor_;
  std::string merge_source_;
  CalibrationHost* calibration_ = nullptr;

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
  vd::ui::Rect page_rect_{0, 0, 0, 0};
  std::string print_title_;
};
