#pragma once
// The 3D viewer's client of the chart program's inter-program API. A request takes the named
// API mutex, writes its arguments into the transaction file "VDAPI2.dat" of the temp folder,
// sends the chart program's main window the user message (wparam 16, the request code as
// lparam), which returns once the chart program has carried the request out and written its
// reply into the same file, reads the reply and lets the mutex go.
//
// Wire fields, little-endian: int32 4 bytes; double 8 bytes; a float goes as a double;
// string int32 length then that many Windows-1252 bytes (a null string is length 0).
//
// Results: the chart program's answer (0 done; 8 failed; 11 code not known; 12 no document,
// view or data; 13 bad handle; 15 bad index; 17 not started) or the client's own:
//   1 no temp folder is recorded (the chart program records it when it starts)
//   3 the chart program's window was not found, nor came up when started
//   4 the window is gone, or the mutex or the answer did not come within a minute
//   8 the transaction file could not be opened, or a field was cut short
//  14 the chart program's window did not take the placement
//
// Any thread; requests of this process, and of every other, take their turns on the mutex.
#include <cstdint>
#include <string>

inline constexpr int kApiClientOk = 0;
inline constexpr int kApiClientNoTempFolder = 1;
inline constexpr int kApiClientNotFound = 3;
inline constexpr int kApiClientWindowGone = 4;
inline constexpr int kApiClientIoError = 8;
inline constexpr int kApiClientUnknownRequest = 11;
inline constexpr int kApiClientPlacementFailed = 14;

// Show commands of ApiShowMainWindow.
inline constexpr int kApiShowHide = 0;
inline constexpr int kApiShowNormal = 1;
inline constexpr int kApiShowMinimized = 2;
inline constexpr int kApiShowMaximized = 3;
inline constexpr int kApiShow = 5;
inline constexpr int kApiShowMinimize = 6;
inline constexpr int kApiShowRestore = 9;

// How long connecting waits for the chart program's window after starting it.
struct CApiConnectPolling {
  int attempts = 50;
  int interval_ms = 200;
};

// Finds the chart program's main window, starting the program when none is there ("corvex"
// beside this program, or in its build tree "../../corvex/ui/corvex"), and reads the temp
// folder; 0, 1 or 3.
int ApiConnect(const CApiConnectPolling& polling = {});
// Forgets the chart program's window.
int ApiDisconnect();
// ApiDisconnect, then ApiConnect.
int ApiReconnect(const CApiConnectPolling& polling = {});

// Shows the chart program's main window with a show command (above); kApiShow and
// kApiShowMaximized also bring it to the front. Connects again first when the window known is
// gone; 0, or the result of that connect.
int ApiShowMainWindow(int show_command);
// Restores the chart program's main window into the normal rectangle given (screen pixels;
// the chart program keeps it within its screen's work area). Connects again first when the
// window known is gone; 0, 14 when the window did not take it, or the result of the connect.
int ApiSetMainWindowPlacement(int left, int top, int right, int bottom);
// The chart program's temp folder as it published it; false when it has not.
bool ApiGetTempFolder(std::string& folder);

// The chart program's own state of the vessel (requests 0x8004 and 31).
struct CApiOwnState {
  double lat = 0.0;
  double lon = 0.0;
  float course = 0.0f;
  float speed = 0.0f;
  float altitude = 0.0f;
  int32_t time = 0;  // seconds since 1970
  bool valid = false;
  float heading = 0.0f;
  float rate_of_turn = 0.0f;
};

// Request 0x8001: the chart program renders width x height texture pixels of the chart file,
// from chart pixel (x0, y0), each averaging 2^zoom_shift squared chart pixels, with its
// overlays, into the texture file output_path (a file left there before is removed first, so
// a failed request never leaves a stale one).
int ApiRenderChartArea(const std::string& chart_path, int32_t x0, int32_t y0, int32_t zoom_shift,
                       int32_t width, int32_t height, const std::string& output_path);
// Request 0x8003: the camera is at the position, distance_nm along the fly-through path; the
// chart program follows it. Reported again and again, so it never waits for another request
// to end: while one is under way the report is dropped (4).
int ApiSendViewPosition(double lat, double lon, float distance_nm);
// Request 0x8004; from a chart program that does not know it, request 31 in the same turn.
int ApiGetOwnState(CApiOwnState& state);
