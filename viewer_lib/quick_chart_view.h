#pragma once
// The chart view of the newer library generation, written for a touch front end: it owns the
// open chart through its tile cache, keeps the view centre, zoom level and scale, maps between
// screen, chart pixels and positions, pans with drags, zooms by pinch, wheel and step commands
// in powers of two, switches to the catalogue's next chart of more or less detail when zooming
// past the open chart's levels, follows the GPS position, and saves and restores its state as
// one block of the block stream.
//
// Transform: at level L one screen pixel covers 2^L chart pixels (factor f = 2^-L screen pixels
// per chart pixel); screen = (chart - offset) x f, chart = screen / f + offset. Screen points
// are relative to the top-left corner of the client rectangle.
//
// Overlay objects that announce themselves (Listener<COverlayObject>) are laid over the chart
// as layers, in their drawing order; taps and touches go to the layers first.
//
// The view reaches the chart catalogue through ChartFolderCatalogue::Current() (none: the view
// shows the charts it is given by path and never switches). User-interface thread only.
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "charts/quick_chart_view_settings.h"
#include "core/completion_callback.h"
#include "core/listener.h"
#include "core/serializable.h"
#include "geodesy/chart_view_georef.h"
#include "overlays/model/data_gps_position.h"
#include "overlays/model/overlay_layer.h"
#include "overlays/model/overlay_object.h"
#include "viewer_lib/cached_quick_chart.h"
#include "viewer_lib/geo_box.h"
#include "viewer_lib/overlay_list_delegate.h"

class CChartOutline;
class QWidget;

class CQuickChartView : public CSerializable,
                        public CCachedQuickChart,
                        public Listener<CDataGPSPosition>,
                        public Listener<COverlayObject>,
                        public COverlayListView {
 public:
  using Persistant = CQuickChartViewSettings;
  static constexpr uint32_t kStateTag = 0x8E5672CE;
  static constexpr int kMinLevel = -2;
  // The hint shown when zooming out past the only chart there is.
  static constexpr char kMoreMapsHint[] =
      "To view additional maps, tap the Maps button,\nthen \"Kartovia\".\n\n"
      "Sign-in or Create an Account when prompted.";
  // Told the owner window after a chart opened.
  using OpenedCallback = std::function<void(QWidget* window)>;

  CQuickChartView();
  ~CQuickChartView() override;

  static Persistant& Settings() { return Persistant::Global(); }
  // The view touched last; null when none (or it is gone).
  static CQuickChartView* Current();

  void SetOwner(QWidget* window) { owner_ = window; }
  QWidget* owner() const { return owner_; }
  void SetOpenedCallback(OpenedCallback callback) { opened_callback_ = std::move(callback); }

  // ---- Mapping ----
  // Through the transform and the chart's georeference; false without a georeferenced chart.
  bool ScreenToLatLon(float x, float y, double& lat, double& lon) const;
  bool LatLonToScreen(double lat, double lon, float& x, float& y) const;
  // The position at the centre of the client rectangle; false when no chart is open.
  bool GetCentre(double& lat, double& lon) const;
  // The last fix; false before the first one.
  bool GetGpsPosition(double& lat, double& lon) const;

  // ---- Opening and closing ----
  // A chart is open, or the view is busy replacing one.
  bool IsChartReady() const;
  // The open chart's path, empty when none.
  std::string ChartFileName() const;
  // Opens the chart at the stored centre and scale (update_first: at the current ones). The
  // path already open only re-chooses the zoom. A chart that fails to open brings the previous
  // one back when its file is still there; otherwise no chart is open and the failed chart
  // leaves the catalogue.
  // The chart opens through OpenChartFile; OnChartOpened follows as a completion callback that
  // receives the result of the opening.
  void OpenChartByPath(QWidget* window, const std::string& path, bool update_first);
  int OnChartOpened(int result);
  // Closes the open chart and opens the file; 0 when it opened, -1 otherwise. Registers a
  // completion callback (run with the pending ones, before the caller's own) that closes the
  // chart again when it did not finish opening.
  int OpenChartFile(QWidget* window, const std::string& path);
  // Closes the chart before its data are replaced (a download); ReloadChart opens it again
  // (window: the owner when null; path: the chart that was open when empty).
  void StopChart();
  void ReloadChart(QWidget* window = nullptr, const std::string& path = "");
  // As StopChart: the view is busy until a chart opens again.
  void StopAndRefresh() { StopChart(); }
  // Stores the position and scale at the centre.
  void UpdateCentre();
  // Fits the level to the stored scale and puts the stored centre at the client centre; without
  // a centre on the chart, the chart's middle at one level below the largest.
  void ChooseZoom();
  // Nautical miles per screen pixel at the centre; 0 without a chart or while busy.
  double ScaleAtCentre() const;
  static void CopyGeoref(const CQuickChart& chart, ChartViewGeoref& copy);

  // ---- Showing places ----
  // Opens the catalogue's best chart for the scale (nautical miles per screen pixel) at the
  // position and centres it there. Without one, the map store's package for the position is
  // downloaded and its best chart opened. False for a position outside latitude -90..90,
  // longitude -400..400, or at (0, 0), and when neither the catalogue nor the store has a
  // chart there.
  bool ShowAt(QWidget* window, double lat, double lon, double scale);
  // Shows the box with room around it; ends following.
  bool ZoomToRect(QWidget* window, const CGeoBounds& box);
  void ZoomToRect(const CGeoBounds& box) override { ZoomToRect(owner_, box); }
  // Opens the catalogue's next chart of less detail (direction >= 1) or more (<= -1) at the
  // centre.
  bool SwitchChart(int direction);
  // Opens the chart of an entry of the "Maps at cursor" list (the catalogue's charts at a
  // position, ChartFolderCatalogue::ChartsAt) at the current centre and scale. False for no
  // entry or while busy.
  bool OpenMapAtCursor(CChartOutline* entry);
  // Puts the position under the follow point when the open chart covers it, else shows it at
  // the current scale. Nothing while busy.
  bool CentreOnPosition(QWidget* window, double lat, double lon);

  // ---- Gestures (screen pixels) ----
  // A touch goes to the first layer whose hit list holds the point and whose object takes it;
  // otherwise the view is made current for a pan.
  void OnTouchDown(float x, float y);
  // A tap goes to the layers first; a tap on a place the open chart does not cover opens the
  // catalogue's best chart there. True when something happened.
  bool OnTap(float x, float y);
  void OnDrag(float x, float y);
  void OnTouchUp() { touch_down_ = false; }
  void Pan(float dx, float dy);
  // Zooms by whole levels keeping the chart point under the last touch point in place; nothing
  // outside the level range.
  void ZoomBy(int step);
  void OnPinch(float x, float y, float value);
  void OnPinchEnd();
  // A zoom command: direction < 0 zooms in, > 0 out, about the follow point while following,
  // else about `at` (the client centre when null).
  void ZoomStep(int direction, const vd::ui::Point* at = nullptr);
  // The wheel: turned away from the user (delta > 0) zooms in about the pointer.
  void OnWheel(float x, float y, int delta);
  void OnSize(int x, int y, int width, int height);
  // Follows the GPS position again: the follow point goes to the client centre and the view
  // re-centres on the last fix.
  void ResetFollow();

  // ---- Files and activity links ----
  static constexpr char kUnknownTypeCaption[] = "Unknown file type";
  static constexpr char kUnknownTypeText[] = "File extension \"%s\" is not recognized";
  // Opens a file by its extension: GPX files are read into the overlay model, charts open
  // (their folder joins the catalogue), packages are refreshed and their first chart opened. A
  // file without extension is named by its first bytes and opened again; another extension is
  // reported. False when nothing was opened.
  bool OpenFileByType(const std::string& path);
  // An activity link: "open" (a path, or a URL downloaded first), "fetch" (always downloaded
  // afresh), "view" (lat, lon, scale) and "mark" (lat, lon, name). False when it did nothing.
  bool RunActivityCommand(const std::string& verb, const std::string& argument);

  // ---- Drawing ----
  // Paints the client rectangle (x, y, width, height) of dc, then the layers in range; nothing
  // without a chart or while busy. incomplete(): a tile drawn lacked data.
  void OnDraw(vd::ui::Surface& dc, int x, int y, int width, int height);
  bool incomplete() const { return incomplete_; }

  // ---- Saving ----
  // One block: the tag, chart path, centre latitude and longitude, scale, follow flag, follow
  // point and a stored path. Reading refuses a wrong tag, a short block or values that are not
  // positions, leaving the view as it was; a restored chart that is gone is replaced by the
  // catalogue's best chart at the centre.
  bool Serialize(CSerializableStream& stream) override;

  // ---- Events ----
  void OnEvent(CDataGPSPosition& fix) override;
  void OnEvent(COverlayObject& object) override;

  // ---- State ----
  bool busy() const { return busy_; }
  int level() const { return level_; }
  int max_level() const { return max_level_; }
  float factor() const { return factor_; }
  float offset_x() const { return offset_x_; }
  float offset_y() const { return offset_y_; }
  double centre_lat() const { return centre_lat_; }
  double centre_lon() const { return centre_lon_; }
  double scale() const { return scale_; }
  bool following() const { return following_; }
  float follow_x() const { return follow_x_; }
  float follow_y() const { return follow_y_; }
  float pinch_factor() const { return pinch_factor_; }
  const IntRect& client() const { return client_; }
  const ChartViewGeoref& georef() const { return georef_; }
  const std::string& stored_path() const { return stored_path_; }
  // The transform the layers are drawn with (visible: the client rectangle in chart pixels,
  // 50 screen pixels wider on every side).
  CScreenTransform LayerTransform() const;
  size_t layer_count() const { return layers_.size(); }
  // The layer that took the current touch; null when none.
  const OverlayLayer* touch_layer() const { return touch_layer_; }

 private:
  bool ChartOpen() const;
  void SetLevel(int level);
  // The chart pixel under a screen point.
  double ChartX(float x) const { return double(x) / factor_ + offset_x_; }
  double ChartY(float y) const { return double(y) / factor_ + offset_y_; }
  // Invalidates the window and marks the overlay geometry for a new projection.
  void Update();
  void Invalidate();
  // Opens a catalogue chart with the current centre and scale; false without one.
  bool OpenCatalogueChart(CChartOutline* record);
  // The next (direction > 0) or previous catalogue chart at the centre; null when none.
  CChartOutline* NeighbourChart(int direction);
  // One chart in the catalogue and the view fully magnified: there is nothing more to show.
  bool OnlyChartFullyMagnified() const;
  bool InsideClient(float x, float y) const;
  // Each layer's world geometry for the open chart, or none without a georeference.
  void ReprojectLayers();
  // Downloads the map store's package for the position and opens its best chart there;
  // false when the store names none.
  bool DownloadPackageAt(QWidget* window, double lat, double lon, double scale);

  bool busy_ = false;
  float last_x_ = 0, last_y_ = 0;
  bool touch_down_ = false;
  double touch_time_ = 0;
  double velocity_x_ = 0, velocity_y_ = 0;
  double gps_lat_ = 90, gps_lon_ = 0;  // latitude 90 or more: no fix yet
  float pinch_start_ = 0;              // 0: no pinch
  float pinch_factor_ = 1, pinch_accumulated_ = 1;
  double centre_lat_ = 90, centre_lon_ = 0;  // latitude 90 or more: no centre
  double scale_ = 0;
  ChartViewGeoref georef_;
  int level_ = 0;
  int display_shift_ = 0;
  int max_level_ = 3;
  float factor_ = 1;
  float offset_x_ = 0, offset_y_ = 0;
  IntRect client_;
  float centre_x_ = 0, centre_y_ = 0;
  bool following_ = false;
  float follow_x_ = 0, follow_y_ = 0;
  std::string requested_path_;
  std::string current_path_;
  std::string stored_path_;
  QWidget* owner_ = nullptr;
  OpenedCallback opened_callback_;
  // The check that the chart opened whole (see OpenChartFile).
  CCompletionCallback open_check_;
  bool incomplete_ = false;
  // In drawing order (the objects' draw keys, then arrival); by object for the events.
  std::list<std::unique_ptr<OverlayLayer>> layers_;
  std::map<const COverlayObject*, std::list<std::unique_ptr<OverlayLayer>>::iterator> layer_of_;
  OverlayLayer* touch_layer_ = nullptr;
};
