#pragma once
// The GPS fix record: every GPS input fills it, and the main window, the document, the
// own-vessel object and the data panes read it. Inputs hand copies to the user-interface
// thread; one record is never written by two threads.
#include <array>
#include <cstdint>

#include "geodesy/geo_point.h"

struct GPSSatelliteInfo {
  uint8_t prn = 0;        // 0 ends the table
  uint8_t elevation = 0;  // degrees
  int16_t azimuth = 0;    // degrees
  uint8_t snr = 0;        // signal-to-noise ratio, dB
  uint8_t used = 0;       // used in the solution
};

struct GPS_position_info {
  static constexpr int kMaxSatellites = 12;
  // Headings above this are "no heading".
  static constexpr float kLargestHeading = 360.0f;
  static constexpr float kNoHeading = 400.0f;

  bool HasHeading() const { return heading <= kLargestHeading; }

  uint8_t valid = 0;             // the record holds a usable position
  uint8_t simulated = 0;         // from a demo file or the simulator
  // Set by the main window while it hands on a complete satellite table (notice 33): the
  // record then carries a new satellite table, not a new position.
  uint8_t satellite_update = 0;
  // Set when an input is created, cleared when its port cannot be opened: after a failure
  // notice (77) the input is restarted without asking while it is set.
  uint8_t restart_silently = 1;
  GeoPoint position;             // degrees, south and west negative
  int32_t time = 0;              // UTC seconds since 1970; 0 = none
  float course = 0.0f;           // over ground, degrees true
  float speed = 0.0f;            // over ground, knots
  float variation = 0.0f;        // magnetic, degrees, east positive
  // Horizontal precision, metres: the HDOP of the last GGA or the estimated position error of
  // the last $PGRME, whichever came last.
  float precision = 0.0f;
  float altitude = 0.0f;         // metres
  std::array<GPSSatelliteInfo, kMaxSatellites> satellites{};
  int32_t fix_quality = -1;     // the GGA quality digit (0 none, 1 GPS, 2 differential ...);
                                // -1: none received yet
  int32_t satellites_used = 0;  // from GGA
  // The last status text ("OK", "No Signal", "Communication timeout", ...): a text of static
  // storage, never owned by the record; may be null. Shown as "GPS: %s".
  const char* status = nullptr;
  float heading = kNoHeading;    // degrees
  float water_speed = 0.0f;      // through the water, knots; 0 = unknown
  float depth = 0.0f;            // metres below the keel (depth plus transducer offset); 0 = none
};
