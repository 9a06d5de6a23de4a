#pragma once
// The base of every GPS input (serial NMEA, Garmin serial, USB and mass storage, the
// simulator): the transfer operations the menu commands call, the failure message they show,
// and the plain-text debug log "gps_debug.txt".
//
// The debug log is written in the current folder. The first interface of a program run that
// asks for it starts the file afresh; later ones append to it. Each logged text is cut to 145
// characters and ended with CR LF unless it ends in a line feed or a blank (so "Output: " runs on
// into the next text); closing writes a line of 42 dashes.
#include <cstdint>
#include <mutex>
#include <string>

#include "gps/gps_objects.h"
#include "gps/gps_params.h"
#include "platform/os/files.h"

inline constexpr char kGpsDebugLogName[] = "gps_debug.txt";

class CGPSInterface {
 public:
  enum Direction { kFromDevice = 0, kToDevice = 1 };
  enum Kind { kWaypoints = 2, kRoutes = 3, kTracks = 4 };

  // Copies name length, route points and track points from params (6, 20 and 500 without
  // them) and opens the debug log when params ask for it.
  explicit CGPSInterface(const GPSParams* params);
  // Closes the log. Derived classes stop their threads in their own destructors.
  virtual ~CGPSInterface();
  CGPSInterface(const CGPSInterface&) = delete;
  CGPSInterface& operator=(const CGPSInterface&) = delete;

  virtual bool CanTransfer(int direction, int kind) const = 0;
  // Both return the number of objects moved; 0 on failure with message set. Import adds what it
  // reads to objects; Export sends the objects of the kind. The base supports neither.
  virtual int Import(int kind, GpsObjectList& objects);
  virtual int Export(int kind, const GpsObjectList& objects);

  std::string device_description;
  // The last failure of a transfer or of opening the port; shown by the caller when an
  // operation fails. A successful Export may leave a warning here too (see the derived class).
  std::string message;
  int32_t name_length = 6;
  int32_t route_points = 20;
  int32_t track_points = 500;

 private:
  friend void GpsLogPrintf(CGPSInterface* gps, const char* format, ...);

  std::mutex log_mutex_;  // the reader thread and the user-interface thread both log
  vd::os::File log_;
};

// One text to the interface's debug log when it is open (printf format, C locale); does nothing
// otherwise or when gps is null. Any thread.
void GpsLogPrintf(CGPSInterface* gps, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
