#pragma once
// What the document asks of its chart views and of the frames that hold them. The chart view
// (COstrelView) implements CDocView; the program's frame window implements CChartFrameHost,
// and tests put small fakes in their place so that the document runs without windows.
#include <cstdint>
#include <string>
#include <vector>

#include "overlays/exchange/shapefile.h"

#include "charts/chart_file_task.h"
#include "app/shell_services.h"
#include "corvex/print_options.h"
#include "geodesy/geo_point.h"

// Show states of a frame window.
constexpr int32_t kShowNormal = 1;
constexpr int32_t kShowMinimized = 2;
constexpr int32_t kShowMaximized = 3;

// Where a frame window lies: its state, the corner it takes when minimised or maximised, and
// its rectangle in the normal state (right and bottom exclusive). Stored in configuration
// documents as ten 32-bit values after the length.
struct CWindowPlacement {
  int32_t length = 44;
  int32_t flags = 0;
  int32_t show_cmd = kShowMaximized;
  int32_t min_x = 0, min_y = 0;
  int32_t max_x = 0, max_y = 0;
  int32_t left = 0, top = 0, right = 500, bottom = 300;
};

// The place of a chart window: chart file, centre, scale (the chart's scale at the centre
// times 2^zoom shift; 0 = the chart's own), GPS lock, and the frame's placement.
struct CViewPlacement {
  std::string chart_path;
  double lat = 0.0;
  double lon = 0.0;
  double scale = 0.0;
  int32_t lock = 0;
  int32_t reserved = 0;
  CWindowPlacement window;
};

class CDocView : public COstrelViewBase {
 public:
  // The path of the chart shown; "" without one.
  virtual std::string GetChartPath() const = 0;
  // Opens a chart file in this view; false when it can't (the previous chart stays).
  virtual bool OpenChartFile(const std::string& path) = 0;
  // Opens the view's chart again from its file (it changed on disk).
  virtual void ReloadChartFile() = 0;
  // Restores a place: the view, maximised, shows the position at its centre at the zoom nearest
  // the scale (0: the zoom stays), the place left recorded in its history; mode 1 also puts
  // the mouse pointer, and with it the view's anchor, on the position.
  virtual void CentreAt(double lat, double lon, double scale, int mode) = 0;
  // Centres the view on a position keeping its zoom (linked views follow each other).
  virtual void CentreKeepingZoom(double lat, double lon) = 0;
  // Moves the position marker; (0, 0) hides it. False without a georeferenced chart.
  virtual bool SetPositionMarker(double lat, double lon) = 0;
  // The GPS lock-on flag: a locked view does not follow linked views.
  virtual bool IsLockedOn() const = 0;
  // Chart path, centre, scale and lock of the view (the window part is the frame's); false
  // without an open chart.
  virtual bool GetPlacement(CViewPlacement& placement) const = 0;
  // The positions of the client area's top-left (north, west) and bottom-right (south, east)
  // corners; false without a georeferenced chart.
  virtual bool GetVisibleArea(double& /*north*/, double& /*south*/, double& /*east*/,
                              double& /*west*/) const {
    return false;
  }
  // A change of the document: hint is an overlay change code, object the object concerned or
  // null (everything may have changed), sender the view that made the change or null.
  virtual void OnUpdate(COstrelViewBase* sender, int hint, COstrelObject* object) = 0;
  // Lets go of the chart while a download writes its store, keeping the place; reopens it.
  virtual void ParkChart() {}
  virtual void ReopenParkedChart() {}
  // The chart ParkChart let go of; "" when none.
  virtual std::string ParkedChartPath() const { return ""; }
};

struct GPSParams;
class COstrelObject;
class CProjection;
class CObjRoute;
class CObjWaypoint;
class COldChartOutline;
class COstrelView;

// Makes and shows the frames that hold chart views.
class CChartFrameHost {
 public:
  virtual ~CChartFrameHost() = default;
  // A new chart frame with its view, added to the document's views; the view's initial update
  // has run (it reads the document's pending placement). Null when it can't be made.
  virtual CDocView* CreateChartFrame() = 0;
  // Shows the frame of a view (restored from hidden or minimised) and makes it active.
  virtual void ShowFrameOf(CDocView* view) = 0;
  // The placement of a view's frame; false when the view has none.
  virtual bool GetFramePlacement(const CDocView* view, CWindowPlacement& placement) const = 0;
  // Lays the frames side by side.
  virtual void TileFrames() = 0;
  // The frame's GPS input: stopped; started with these parameters, which are then saved.
  virtual void StopGPS() {}
  virtual void StartGPS(GPSParams& /*params*/) {}
  // The navigation panes (steering arrow and navigation data) go to a mark, or follow a route.
  virtual void ShowNavigationPanes(CObjWaypoint* /*mark*/, CObjRoute* /*route*/) {}
  // The place search on the index: false when cancelled; else the place's (or typed) position
  // and name, and whether a mark is wanted there. lat, lon come in as the current position.
  virtual bool FindPlace(const std::string& /*index_path*/, double& /*lat*/, double& /*lon*/,
                         std::string& /*name*/, bool& /*create_mark*/) {
    return false;
  }
  // How a shapefile becomes overlay objects and the coordinate system it is in (its .prj, else
  // asked); false when the user cancelled or the file can't be read (already reported).
  virtual bool AskShapefileImport(const std::string& /*path*/,
                                  ShapefileImportOptions& /*options*/,
                                  CProjection& /*projection*/) {
    return false;
  }
  // Asks which kind of object a shapefile export writes when the list holds several.
  virtual ShapeKindChooser ShapefileKindChooser() { return {}; }
  // The profile pane of a command (elevation, altitude, speed, heart rate, other, route) for
  // the object.
  virtual void ShowProfile(int /*command*/, COstrelObject* /*object*/) {}
  // The object's property window (modeless; an open one is raised); false for an object
  // without one.
  virtual bool ShowProperties(COstrelObject* /*object*/) { return false; }
  // The overlay explorer's panes, shown.
  virtual void ShowExplorerPanes() {}
  // The offset of a mark: false when cancelled; else the distance, the bearing (degrees true)
  // and whether a new mark is made there.
  virtual bool AskOffset(double& /*distance_nm*/, double& /*bearing_true*/, bool& /*create_new*/) {
    return false;
  }
  // The name and category patterns of the objects to show (hide); false when cancelled.
  virtual bool AskMatching(bool /*show*/, std::string& /*name*/, std::string& /*category*/) {
    return false;
  }
  // The icon library's dialog on the document's objects.
  virtual void ShowIconsDialog() {}
  // Writes the route's card and opens it on the desktop.
  virtual void ShowRouteCard(CObjRoute* /*route*/) {}
  // The print options (the stored record and the page title) before print boxes are laid out;
  // false when cancelled.
  virtual bool EditPrintOptions(CPrintOptions& /*options*/, std::string& /*title*/) {
    return false;
  }
  // The output size and relief shading of an image export of width x height chart pixels;
  // false when cancelled. Without a window to ask in, the stored choice.
  virtual bool ChooseImageExport(int /*width*/, int /*height*/, CImageExportChoice& choice) {
    choice = CImageExportChoice::Load();
    return true;
  }
  // Only the Printing tool bar while print boxes are laid out (on), else the usual bars.
  virtual void SetPrintingToolbars(bool /*on*/) {}
  // Printing pauses the GPS input, so that no fix arrives while pages render, and resumes it
  // (when it was running) after.
  virtual void PauseGPSForPrinting(bool /*pause*/) {}
  // Transfers through the frame's GPS input (direction 0 from the device, 1 to it; kind 2
  // marks, 3 routes, 4 tracks): whether it can, and the transfer itself on the document's
  // objects, giving the number moved (0 on failure: the input's message says why).
  virtual bool CanGpsTransfer(int /*direction*/, int /*kind*/) const { return false; }
  virtual int GpsTransfer(int /*direction*/, int /*kind*/, ObjectList& /*objects*/) { return 0; }
  // Shows the GPS input's failure message, if any ("<device>:\n<message>"), and empties it.
  virtual void ShowGpsError() {}
  // The map list: false when cancelled; else the chosen chart and whether it wants a window
  // of its own.
  virtual bool ChooseMap(std::string& /*path*/, bool& /*new_window*/) { return false; }
  // The map list a new chart window without a saved place offers; as ChooseMap.
  virtual bool ChooseMapForNewWindow(std::string& path, bool& new_window) {
    return ChooseMap(path, new_window);
  }
  // The map shop on an area (corners; empty: none); the local paths the user chose.
  virtual std::vector<std::string> RunMapShop(const std::vector<GeoPoint>& /*area*/,
                                              const std::string& /*chart_path*/) {
    return {};
  }
  // The map list over these outlines only: false when cancelled; else as ChooseMap.
  virtual bool ChooseMapFrom(const std::vector<COldChartOutline*>& /*outlines*/,
                             std::string& /*path*/, bool& /*new_window*/) {
    return false;
  }
  // The merge dialog, the name preset: false when cancelled; else the name, the anti-alias
  // choice and the merged chart's path.
  virtual bool AskMergeChart(std::string& /*name*/, bool& /*antialias*/,
                             std::string& /*output*/) {
    return false;
  }
  // "Save Map" for a chart of `bytes` bytes: false when cancelled; else the destination folder
  // and the description (shown and returned; empty hides it).
  virtual bool AskSaveChartTo(double /*bytes*/, std::string& /*description*/,
                              std::string& /*folder*/) {
    return false;
  }
  // The chart properties editor on the outline; true when it wrote the file.
  virtual bool EditChartProperties(COldChartOutline& /*outline*/) { return false; }
  // The calibration dialog of a chart view, kept open beside it.
  virtual void OpenCalibration(COstrelView& /*view*/) {}
  // Progress (with Cancel) and messages of long chart-file work in the program's windows.
  virtual ChartFileTask ChartTask() { return {}; }
};
