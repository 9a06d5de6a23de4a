#pragma once
// The data records of the device's application protocols, as plain values, and their encoding
// in packet data for each data type number the program supports:
//   waypoints     100 to 110, 152, 154, 155 (proximity waypoints also 400 and 403)
//   route headers 200, 201, 202; route links 210
//   track points  300 to 304; track headers 310, 311, 312
//   position      800 (position, velocity and time)
// Positions travel as semicircles (2^31 = 180 degrees), times as seconds since 1989-12-31
// 00:00:00 UTC.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/gps_position_info.h"
#include "gps/garmin/garmin_packet.h"

// Seconds from 1970-01-01 to the device's epoch.
inline constexpr int64_t kDeviceEpoch1970 = 631065600;

struct GarminWaypoint {
  std::string ident;    // short name
  std::string comment;
  double lat = 0.0;     // degrees
  double lon = 0.0;
  int symbol = 0;       // the program's symbol index 0 to 15
  int display = 0;      // the program's mode: 0 symbol and name, 1 symbol only, 2 with comment
  float proximity = 0;  // metres; 0 = none
  bool proximity_alarm = false;  // also goes out as a proximity waypoint

  bool operator==(const GarminWaypoint&) const = default;
};

struct GarminRoute {
  std::string name;
  int number = 0;
  std::vector<GarminWaypoint> points;
};

struct GarminTrackPoint {
  double lat = 0.0;
  double lon = 0.0;
  uint32_t time = 0;  // seconds since 1970; 0 = none
  float altitude = 0.0f;  // metres; 1e25 = unknown
  float depth = 0.0f;
  int heart_rate = 0;   // beats a minute; 0 = none
  int cadence = -1;     // revolutions a minute; -1 = none
  bool new_track = false;

  bool operator==(const GarminTrackPoint&) const = default;
};

struct GarminTrack {
  std::string name;
  int index = 0;
  std::vector<GarminTrackPoint> points;
};

// The device's capability block: 22 protocol and data-type numbers, 0 = not supported.
struct GarminCapabilities {
  enum Slot {
    kPhysical, kLink, kCommand, kWaypointProtocol, kWaypointType, kRouteProtocol,
    kRouteHeaderType, kRouteWaypointType, kRouteLinkType, kTrackProtocol, kTrackPointType,
    kTrackHeaderType, kProximityProtocol, kProximityType, kAlmanacProtocol, kAlmanacType,
    kDateTimeProtocol, kDateTimeType, kPositionProtocol, kPositionType, kPvtProtocol, kPvtType,
    kSlotCount
  };
  std::array<uint16_t, kSlotCount> v{};

  uint16_t operator[](Slot s) const { return v[s]; }
  uint16_t& operator[](Slot s) { return v[s]; }
  bool operator==(const GarminCapabilities&) const = default;
};

// One row of the table for devices that send no protocol array.
struct GarminDeviceRow {
  uint16_t product_id;
  uint16_t lowest_version;
  GarminCapabilities caps;
};

// Every row for the product at or below the version overwrites the block; the last wins.
// Rows are in ascending product id. false when no row matched.
bool LookupDeviceCapabilities(uint16_t product_id, uint16_t version,
                              const std::vector<GarminDeviceRow>& table, GarminCapabilities& caps);

// Parses a protocol array (tag character and 16-bit number, 3 bytes each) into caps. Each
// line of what it finds or rejects ("P1", "A100 D108", "Unknown app", "Unexpected: X12") is
// handed to log.
void ParseProtocolArray(const std::vector<uint8_t>& data, GarminCapabilities& caps,
                        const std::function<void(const std::string&)>& log);

// Symbol numbers: the program's index to the device's (indexes outside 0..15 give the dot), and
// the device's to the first index holding it (0 when none).
uint16_t DeviceSymbol(int program_symbol);
int ProgramSymbol(uint16_t device_symbol);

bool IsSupportedWaypointType(int type);
bool IsSupportedProximityType(int type);
// Types whose short names hold at most 6 characters.
bool HasSixCharacterNames(int type);

// Encoding and decoding. Encoders give false when the type is not supported or the record does
// not fit a packet; decoders when the type is not supported or the data is too short.
bool EncodeWaypoint(int type, const GarminWaypoint& w, std::vector<uint8_t>& out);
bool DecodeWaypoint(int type, const std::vector<uint8_t>& data, GarminWaypoint& w);
// Proximity waypoints: a waypoint type, or 400 / 403 (100 / 103 followed by the distance).
bool EncodeProximityWaypoint(int type, const GarminWaypoint& w, std::vector<uint8_t>& out);

// Route header: number and name; 200 carries the number, 201 the number and a 20-character
// comment, 202 the name.
bool EncodeRouteHeader(int type, int number, const std::string& name, std::vector<uint8_t>& out);
bool DecodeRouteHeader(int type, const std::vector<uint8_t>& data, std::string& name);

bool IsSupportedTrackTypes(int point_type, int header_type);
bool EncodeTrackPoint(int type, const GarminTrackPoint& p, std::vector<uint8_t>& out);
bool DecodeTrackPoint(int type, const std::vector<uint8_t>& data, GarminTrackPoint& p);
bool EncodeTrackHeader(int type, const std::string& name, int index, std::vector<uint8_t>& out);
bool DecodeTrackHeader(int type, const std::vector<uint8_t>& data, std::string& name);

// Position, velocity and time.
struct GarminPvt {
  float altitude = 0;      // above the ellipsoid, metres
  float epe = 0, eph = 0, epv = 0;
  int16_t fix = 0;         // 0 failed integrity, 1 none, 2 2D, 3 3D, 4 2D diff, 5 3D diff
  double time_of_week = 0;  // seconds
  double lat_radians = 0, lon_radians = 0;
  float east = 0, north = 0, up = 0;  // m/s
  float msl_height = 0;    // mean sea level above the ellipsoid, metres
  int16_t leap_seconds = 0;
  int32_t week_days = 0;   // days from the device's epoch to the start of the week
};
std::vector<uint8_t> EncodePvt(const GarminPvt& pvt);
bool DecodePvt(const std::vector<uint8_t>& data, GarminPvt& pvt);
// Fills the fix fields of record from a PVT: valid, status, time, position, speed, course,
// variation 0, precision and altitude.
void ApplyPvt(const GarminPvt& pvt, GPS_position_info& record);
