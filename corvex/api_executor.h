#pragma once
// The requests other programs send Corvex (the 3D viewer among them): each request code reads
// its arguments from the transaction file (vd_transaction.h), acts on the program's document
// and writes its reply fields back. The field order of every code is fixed by the clients.
//
// Result codes, the value the main window's message returns to the client:
//   0 done; 8 the transaction file could not be read or written, or the operation failed;
//   11 unknown request code; 12 no document, or the view, chart, fix or pane needed is
//   missing; 13 a handle that is not an object of the document, or not of the class needed;
//   15 an index, count or value out of range; 17 the program has not finished starting.
// A request refused for its arguments (8 while reading them, 13, 15) changes nothing; a
// failure to write the reply comes after the request took effect.
//
// Runs on the user-interface thread inside the main window's message handler.
#include <cstdint>
#include <string>

#include "app/shell_services.h"
#include "corvex/vd_transaction.h"

class CApiHandleTable;
class CObjCurrentPosition;
class CObjRoute;
class CObjWaypoint;
struct GPS_position_info;

inline constexpr int kApiUnknownRequest = 11;
inline constexpr int kApiNoData = 12;
inline constexpr int kApiBadHandle = 13;
inline constexpr int kApiBadIndex = 15;
inline constexpr int kApiNotStarted = 17;

// Limits of a chart area rendered to an image file (request 0x8001).
inline constexpr int32_t kApiMaxRenderSide = 8192;
inline constexpr int32_t kApiMinZoomShift = -2;
inline constexpr int32_t kApiMaxZoomShift = 5;

// What a navigation pane with a target shows (request 40).
struct CApiNavigationTarget {
  COstrelObject* target = nullptr;  // the mark steered for
  COstrelObject* route = nullptr;   // the route followed; null when going to a mark
  double lat = 0.0;
  double lon = 0.0;
  float distance_nm = 0.0f;
  float bearing_deg = 0.0f;
  float cross_track_nm = 0.0f;  // positive when the pane shows it to the right
  float closing_speed_kn = 0.0f;
  std::string name;
};

// What the requests ask of the program's document and its views. The program implements it
// on its first document; tests put a fake in its place.
class CApiHost {
 public:
  virtual ~CApiHost() = default;

  // The document: the owner of the objects the requests make, with its object list
  // (GetObjectList; the requests answer 12 when it has none) and OpenBestChartAt.
  virtual COstrelDocBase& Document() = 0;
  // The document's handles.
  virtual CApiHandleTable& Handles() = 0;

  // The document's own-vessel object, null when it has none.
  virtual CObjCurrentPosition* PeekCurrentPosition() = 0;
  // The same, made and added to the document when missing.
  virtual CObjCurrentPosition* GetCurrentPositionObject() = 0;
  // A position fix from outside, handled as one from the GPS.
  virtual void UpdateGPSPosition(const GPS_position_info& fix) = 0;

  // The positions of the top-left and bottom-right corners of the GPS-tracking chart view;
  // false when there is no such view or it shows no chart.
  virtual bool GetGPSViewArea(double& north, double& south, double& east, double& west) = 0;
  // Centres every chart view not locked on the GPS on the position, keeping its zoom.
  virtual void SyncViewsTo(double lat, double lon) = 0;
  // The object that follows the 3D viewer's camera (a route or track flown through); null for
  // none.
  virtual COstrelObject* GetViewTargetObject() = 0;
  // Moves the position marker of every chart view.
  virtual void SetPositionMarkerInViews(double lat, double lon) = 0;

  // Renders the chart area (chart pixels at the zoom shift) of a view showing the chart file,
  // opened when none does, into an image file for the 3D viewer: 0, 12 when no view can show
  // the chart, 8 when rendering fails. The arguments are within the limits above. Without a
  // renderer there is no view to render from: 12.
  virtual int RenderChartAreaToDDS(const std::string& chart_path, const std::string& output_path,
                                   int32_t zoom_shift, int32_t x, int32_t y, int32_t width,
                                   int32_t height);

  // The first navigation pane with a target; false when there is none.
  virtual bool GetNavigationTarget(CApiNavigationTarget& target);
  // Navigation to a mark or along a route, as the navigation commands start it; false when
  // the program has no navigation display.
  virtual bool ShowGotoMark(CObjWaypoint& mark);
  virtual bool ShowFollowRoute(CObjRoute& route);

  // The program has finished starting.
  virtual bool HasFinishedStarting() = 0;
};

// Carries out one request with the arguments in transaction and returns the result code.
// A null host (no document) answers 12 without reading or writing anything; a code outside
// the table answers 11 likewise.
int ExecuteApiRequest(int64_t code, CVD_transaction& transaction, CApiHost* host);

// The same on the program's transaction file, closed again on return.
int ExecuteApiRequest(int64_t code, CApiHost* host);
