// Fuzz target: what a receiver sends over the serial line. Four bytes choose the record types
// the device announced (waypoint, route header, track point, track header); the rest is a run
// of serial frames, each decoded and its packet read as its id says: waypoints, route headers,
// track points and headers, position (PVT) records and the protocol array.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gps/garmin/garmin_packet.h"
#include "gps/garmin/garmin_records.h"
#include "app/gps_position_info.h"

namespace {

constexpr int kWaypointTypes[] = {100, 101, 102, 103, 104, 105, 106, 107,
                                  108, 109, 110, 152, 154, 155};
constexpr int kRouteHeaderTypes[] = {200, 201, 202};
constexpr int kTrackPointTypes[] = {300, 301, 302, 303, 304};
constexpr int kTrackHeaderTypes[] = {310, 311, 312};

template <size_t N>
int Pick(const int (&types)[N], uint8_t byte) {
  return types[byte % N];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int waypoint_type = Pick(kWaypointTypes, data[0]);
  const int route_type = Pick(kRouteHeaderTypes, data[1]);
  const int point_type = Pick(kTrackPointTypes, data[2]);
  const int track_type = Pick(kTrackHeaderTypes, data[3]);
  size_t at = 4;
  const auto next = [&](uint8_t& byte) {
    if (at >= size) return false;
    byte = data[at++];
    return true;
  };
  GPS_position_info record;
  GarminCapabilities caps;
  while (at < size) {
    GarminPacket packet;
    if (DecodeSerialFrame(next, packet) != FrameResult::kOk) continue;
    std::string name;
    switch (packet.id) {
      case kPidWaypoint:
      case kPidRouteWaypoint:
      case kPidProximityWaypoint: {
        GarminWaypoint waypoint;
        (void)DecodeWaypoint(waypoint_type, packet.data, waypoint);
        break;
      }
      case kPidRouteHeader: (void)DecodeRouteHeader(route_type, packet.data, name); break;
      case kPidTrackPoint: {
        GarminTrackPoint point;
        (void)DecodeTrackPoint(point_type, packet.data, point);
        break;
      }
      case kPidTrackHeader: (void)DecodeTrackHeader(track_type, packet.data, name); break;
      case kPidPvt: {
        GarminPvt pvt;
        if (DecodePvt(packet.data, pvt)) ApplyPvt(pvt, record);
        break;
      }
      case kPidProtocolArray:
        ParseProtocolArray(packet.data, caps, [](const std::string&) {});
        break;
      default: break;
    }
  }
  return 0;
}
