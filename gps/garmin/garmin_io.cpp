#include "gps/garmin/garmin_io.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <ctime>

#include "gps/garmin/garmin_status.h"
#include "gps/utc_offset.h"
#include "overlays/object_list.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/codepage.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kStartDelayMs = 1000;
constexpr int kCapabilitiesWaitMs = 5000;
constexpr int kMaxQuietReceives = 25;
constexpr size_t kRouteLinkBytes = 22;
constexpr int kMinTrackPoints = 5;
// A point of a track type without a new-track flag starts a new track after a gap this long
// (the default partition time of the program's tracks), or when it has no time.
constexpr uint32_t kTrackPartitionSeconds = 3600;
constexpr double kSameMarkDegrees2 = 1e-8;

thread_local bool on_live_thread = false;
// The live-position thread's stop request, seen from that thread; null on other threads.
thread_local const std::stop_token* live_stop = nullptr;

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

bool SameMark(const GpsMark& m, const GarminWaypoint& w) {
  const double dlat = m.position.lat - w.lat;
  const double dlon = m.position.lon - w.lon;
  return SameName(m.name, w.ident) && dlat * dlat + dlon * dlon < kSameMarkDegrees2;
}

GpsMark ToMark(const GarminWaypoint& w) { return {w.ident, {w.lat, w.lon}}; }

GarminWaypoint ToWaypoint(const GpsMark& m) {
  GarminWaypoint w;
  w.ident = m.name;
  w.lat = m.position.lat;
  w.lon = m.position.lon;
  return w;
}

// Drops every second point, keeping the last, until the track has at most limit points.
void ThinTrack(std::vector<GarminTrackPoint>& points, int limit) {
  limit = std::max(limit, 2);
  while (static_cast<int>(points.size()) > limit) {
    std::vector<GarminTrackPoint> kept;
    for (size_t i = 0; i < points.size(); i += 2) kept.push_back(points[i]);
    if (points.size() % 2 == 0) kept.push_back(points.back());
    points.swap(kept);
  }
}

}  // namespace

CGarminIO::CGarminIO(vd::os::MessageWindow& window, const GPSParams& params,
                     GPS_position_info& record, std::shared_ptr<GpsReaderClock> clock)
    : CGPSInterface(&params),
      window_(window),
      clock_(clock ? std::move(clock) : GpsReaderClock::System()),
      record_(record),
      utc_offset_(GetUtcOffsetSeconds()) {
  device_description = "Unknown Garmin";
}

CGarminIO::~CGarminIO() {
  // Derived classes have stopped it; this only makes sure nothing outlives the object.
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
}

bool CGarminIO::CanTransfer(int, int kind) const {
  return kind == kWaypoints || kind == kRoutes || kind == kTracks;
}

void CGarminIO::SetError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = vd::os::VFormatC(format, args);
  va_end(args);
  if (!on_live_thread) {
    if (!message.empty()) message += '\n';
    message += text;
  }
  record_.status = GarminStatusText(text);
  GpsLogPrintf(this, "set_err: %s", text.c_str());
}

bool CGarminIO::StopRequested() const { return live_stop && live_stop->stop_requested(); }

void CGarminIO::ClearMessage() {
  if (!on_live_thread) message.clear();
}

void CGarminIO::LogPacket(const char* prefix, const GarminPacket& packet, bool printable) {
  GpsLogPrintf(this, "%s%d\t%d: ", prefix, packet.id, static_cast<int>(packet.data.size()));
  for (uint8_t b : packet.data) {
    if (printable && b >= 0x20 && b < 0x7F)
      GpsLogPrintf(this, "%c ", b);
    else
      GpsLogPrintf(this, "%02x ", b);
  }
  GpsLogPrintf(this, "\r\n");
}

void CGarminIO::PostNotice(GpsNotice notice) { PostGpsNotice(window_, notice, record_); }

bool CGarminIO::Identify() {
  if (!Open()) return false;
  capabilities = GarminCapabilities();
  SendPacket(CommandPacket(kCmdStopPvt));

  GarminPacket packet;
  if (!SendPacket({kPidProductRequest, {}})) return false;
  // The product data comes first and the capabilities after it, unasked, from devices that
  // report them. Positions sent before the device took the stop command may come before both.
  const uint64_t deadline = clock_->NowMs() + kCapabilitiesWaitMs;
  bool got_product = false;
  bool got_array = false;
  int first_id = -1;
  while (!got_array && clock_->NowMs() < deadline && !StopRequested()) {
    if (!ReceivePacket(packet)) continue;
    if (first_id < 0 && packet.id != kPidPvt) first_id = packet.id;
    if (packet.id == kPidProductData && !got_product) {
      got_product = true;
      PacketReader r(packet.data);
      product_id = r.U16();
      software_version = r.U16();
      device_description = vd::os::Cp1252ToUtf8(r.CString());
      GpsLogPrintf(this, "GetProductID: %s", device_description.c_str());
    } else if (packet.id == kPidProtocolArray) {
      ParseProtocolArray(packet.data, capabilities, [this](const std::string& line) {
        GpsLogPrintf(this, "%s", line.c_str());
      });
      got_array = true;
    }
  }
  if (!got_product) GpsLogPrintf(this, "Garmin GPS: Failed to get product id (%d)", std::max(first_id, 0));
  if (!got_array) LookupDeviceCapabilities(product_id, software_version, GarminDeviceTable(), capabilities);
  ClearMessage();  // time-outs while waiting for the capabilities are no failure

  using C = GarminCapabilities;
  if (capabilities[C::kLink] == 0) {
    SetError("Garmin GPS: Failed to get device protocol capabilities");
    return false;
  }
  if (capabilities[C::kLink] != 1) {
    SetError("Garmin GPS: Unsupported link protocol: %d", capabilities[C::kLink]);
    return false;
  }
  if (capabilities[C::kCommand] != 10) {
    SetError("Garmin GPS: Unsupported command protocol: %d", capabilities[C::kCommand]);
    return false;
  }

  if (!SendPacket(CommandPacket(kCmdTransferTime)) || !ReceivePacket(packet)) return false;
  if (packet.id != kPidDateTime) {
    SetError("Protocol error: expected Pid_Date_Time_Data, got %d", packet.id);
    return false;
  }
  GpsLogPrintf(this, "GetTime");
  PacketReader r(packet.data);
  const unsigned month = r.U8(), day = r.U8();
  const int year = r.U16();
  const int hour = r.U16(), minute = r.U8(), second = r.U8();
  if (r.ok() && month >= 1 && month <= 12 && day >= 1 && day <= 31) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = static_cast<int>(month) - 1;
    t.tm_mday = static_cast<int>(day);
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    device_time = timegm(&t);
    device_clock_offset = device_time - clock_->NowSeconds1970();
  }

  if (HasSixCharacterNames(capabilities[C::kWaypointType])) name_length = 6;
  return true;
}

bool CGarminIO::Transfer(const std::function<bool()>& work) {
  const bool was_running = thread_.joinable();
  StopLivePosition();
  message.clear();
  const bool ok = Identify() && work();
  if (was_running) StartLivePosition();
  return ok;
}

int CGarminIO::Import(int kind, GpsObjectList& objects) {
  int moved = 0;
  if (kind == kWaypoints) {
    std::vector<GarminWaypoint> waypoints;
    if (!Transfer([&] { return GetWaypoints(waypoints); })) return 0;
    for (const GarminWaypoint& w : waypoints) {
      if (std::none_of(objects.marks.begin(), objects.marks.end(),
                       [&](const GpsMark& m) { return SameMark(m, w); }))
        objects.marks.push_back(ToMark(w));
      ++moved;
    }
  } else if (kind == kRoutes) {
    std::vector<GarminRoute> routes;
    if (!Transfer([&] { return GetRoutes(routes); })) return 0;
    for (const GarminRoute& route : routes) {
      GpsRoute& r = objects.routes.emplace_back();
      r.name = route.name;
      for (const GarminWaypoint& w : route.points) r.points.push_back(ToMark(w));
      ++moved;
    }
  } else {
    message = "Import type not supported";
  }
  return moved;
}

int CGarminIO::Export(int kind, const GpsObjectList& objects) {
  if (kind == kWaypoints) {
    std::vector<GarminWaypoint> waypoints;
    for (const GpsMark& m : objects.marks) waypoints.push_back(ToWaypoint(m));
    return Transfer([&] { return PutWaypoints(waypoints); }) ? static_cast<int>(waypoints.size()) : 0;
  }
  if (kind == kRoutes) {
    std::vector<GarminRoute> routes;
    for (const GpsRoute& r : objects.routes) {
      GarminRoute& route = routes.emplace_back();
      route.name = r.name;
      for (const GpsMark& m : r.points) route.points.push_back(ToWaypoint(m));
    }
    return Transfer([&] { return PutRoutes(routes); }) ? static_cast<int>(routes.size()) : 0;
  }
  message = "Export type not supported";
  return 0;
}

namespace {

constexpr char kCadenceSeries[] = "Cadence (rpm)";
constexpr char kShortNameExtras[] = "-+";

// A mark of the list with the record's short name (any case) at its position, or a new one
// added to the list.
CObjWaypoint* FindOrAddMark(const GarminWaypoint& w, ObjectList& document, int& added) {
  for (COstrelObject* object : document) {
    if (!object->IsKindOf(CObjWaypoint::kClass)) continue;
    auto* mark = static_cast<CObjWaypoint*>(object);
    const double dlat = mark->position.lat - w.lat;
    const double dlon = mark->position.lon - w.lon;
    if (SameName(mark->short_name, w.ident) && dlat * dlat + dlon * dlon < kSameMarkDegrees2)
      return mark;
  }
  auto* mark = new CObjWaypoint;
  mark->being_placed = false;
  mark->radius = w.proximity;
  mark->Set(w.lat, w.lon, w.ident, w.comment, w.symbol, w.display);
  mark->AddRef();  // the list's reference, which Delete gives back
  document.push_back(mark);
  ++added;
  return mark;
}

GarminWaypoint RecordOf(CObjWaypoint& mark, const ObjectList& document, int name_length) {
  MakeUniqueObjectName(mark, document, static_cast<size_t>(std::max(name_length, 1)),
                       kShortNameExtras, true);
  GarminWaypoint w;
  w.ident = mark.short_name;
  w.comment = mark.comment;
  w.lat = mark.position.lat;
  w.lon = mark.position.lon;
  w.symbol = mark.symbol;
  w.display = mark.label_mode;
  w.proximity = mark.radius;
  w.proximity_alarm = mark.circle_mode == CObjWaypoint::kProximityAlarm;
  return w;
}

template <class T>
std::vector<T*> VisibleOf(const ObjectList& document) {
  std::vector<T*> out;
  for (COstrelObject* object : document)
    if (object->visible && object->IsKindOf(T::kClass)) out.push_back(static_cast<T*>(object));
  return out;
}

}  // namespace

int CGarminIO::Import(int kind, ObjectList& document) {
  int moved = 0;
  int added_marks = 0;
  if (kind == kWaypoints) {
    std::vector<GarminWaypoint> waypoints;
    const bool ok = Transfer([&] { return GetWaypoints(waypoints); });
    for (const GarminWaypoint& w : waypoints) FindOrAddMark(w, document, added_marks);
    return ok ? static_cast<int>(waypoints.size()) : 0;
  }
  if (kind == kRoutes) {
    std::vector<GarminRoute> routes;
    const bool ok = Transfer([&] { return GetRoutes(routes); });
    for (const GarminRoute& r : routes) {
      auto* route = new CObjRoute;
      route->name = r.name;
      for (const GarminWaypoint& w : r.points)
        route->LinkWaypoint(FindOrAddMark(w, document, added_marks));
      route->EndEditing();
      route->AddRef();
      document.push_back(route);
      route->SetLocked(true);
      route->NotifyChange(2);
      ++moved;
    }
    return ok ? moved : 0;
  }
  if (kind == kTracks) {
    std::vector<GarminTrack> tracks;
    const bool ok = Transfer([&] { return GetTracks(tracks); });
    for (const GarminTrack& t : tracks) {
      auto* track = new CObjTrack;
      track->name = t.name;
      for (const GarminTrackPoint& p : t.points) {
        track->AddPoint(p.lat, p.lon, static_cast<int32_t>(p.time), p.altitude,
                        static_cast<int16_t>(p.heart_rate),
                        static_cast<int16_t>(std::max(p.cadence, 0)));
        if (p.cadence >= 0) track->other_label = kCadenceSeries;
      }
      track->RecomputeTotals();
      track->AddRef();
      document.push_back(track);
      track->NotifyChange(2);
      ++moved;
    }
    return ok ? moved : 0;
  }
  message = "Import type not supported";
  return 0;
}

int CGarminIO::Export(int kind, const ObjectList& document) {
  if (kind == kWaypoints) {
    std::vector<GarminWaypoint> waypoints;
    for (CObjWaypoint* mark : VisibleOf<CObjWaypoint>(document))
      if (!mark->HasRoutes()) waypoints.push_back(RecordOf(*mark, document, name_length));
    return Transfer([&] { return PutWaypoints(waypoints); }) ? static_cast<int>(waypoints.size()) : 0;
  }
  if (kind == kRoutes) {
    std::vector<GarminRoute> routes;
    for (CObjRoute* r : VisibleOf<CObjRoute>(document)) {
      GarminRoute& route = routes.emplace_back();
      route.name = r->name;
      for (CObjWaypoint* mark : r->points())
        route.points.push_back(RecordOf(*mark, document, name_length));
    }
    return Transfer([&] { return PutRoutes(routes); }) ? static_cast<int>(routes.size()) : 0;
  }
  if (kind == kTracks) {
    std::vector<GarminTrack> tracks;
    for (CObjTrack* t : VisibleOf<CObjTrack>(document)) {
      GarminTrack& track = tracks.emplace_back();
      track.name = t->name;
      for (const CTrackpoint& p : t->points()) {
        GarminTrackPoint& point = track.points.emplace_back();
        point.lat = p.position.lat;
        point.lon = p.position.lon;
        point.time = static_cast<uint32_t>(p.time);
        point.altitude = p.altitude;
        point.heart_rate = p.heart_rate;
        if (t->other_label == kCadenceSeries) point.cadence = p.other;
      }
    }
    return Transfer([&] { return PutTracks(tracks); }) ? static_cast<int>(tracks.size()) : 0;
  }
  message = "Export type not supported";
  return 0;
}

int CGarminIO::ReceiveRecords() {
  GarminPacket packet;
  if (!ReceivePacket(packet)) return -1;
  if (packet.id != kPidRecords) {
    SetError("Protocol error: expected Pid_Records, got pid %d", packet.id);
    return -1;
  }
  return PacketReader(packet.data).U16();
}

bool CGarminIO::Cancelled(int done, int total, const char* what) {
  if (!progress || progress(done, total)) return false;
  SetError("%s", what);
  return true;
}

bool CGarminIO::GetWaypoints(std::vector<GarminWaypoint>& waypoints) {
  using C = GarminCapabilities;
  const int type = capabilities[C::kWaypointType];
  if (capabilities[C::kWaypointProtocol] != 100 || !IsSupportedWaypointType(type)) {
    SetError("Waypoint datatype not supported: A%d D%d", capabilities[C::kWaypointProtocol], type);
    return false;
  }
  if (!SendPacket(CommandPacket(kCmdTransferWaypoints)) || ReceiveRecords() < 0) return false;
  for (;;) {
    GarminPacket packet;
    if (!ReceivePacket(packet)) return false;
    if (packet.id == kPidTransferComplete) return true;
    if (packet.id != kPidWaypoint) {
      SetError("Protocol error: expected Pid_Wpt_Data, got pid %d", packet.id);
      return false;
    }
    GarminWaypoint w;
    if (!DecodeWaypoint(type, packet.data, w)) {
      SetError("Protocol error: short waypoint record (%d bytes)", static_cast<int>(packet.data.size()));
      return false;
    }
    waypoints.push_back(std::move(w));
  }
}

bool CGarminIO::RouteTypesSupported() {
  using C = GarminCapabilities;
  const int protocol = capabilities[C::kRouteProtocol];
  const int header_type = capabilities[C::kRouteHeaderType];
  const int point_type = capabilities[C::kRouteWaypointType];
  if ((protocol != 200 && protocol != 201) || header_type < 200 || header_type > 202 ||
      !IsSupportedWaypointType(point_type)) {
    SetError("Route datatype not supported: A%d D%d D%d", protocol, header_type, point_type);
    return false;
  }
  return true;
}

bool CGarminIO::GetRoutes(std::vector<GarminRoute>& routes) {
  if (!RouteTypesSupported()) return false;
  using C = GarminCapabilities;
  const int header_type = capabilities[C::kRouteHeaderType];
  const int point_type = capabilities[C::kRouteWaypointType];
  if (!SendPacket(CommandPacket(kCmdTransferRoutes)) || ReceiveRecords() < 0) return false;
  GarminRoute* route = nullptr;
  for (;;) {
    GarminPacket packet;
    if (!ReceivePacket(packet)) return false;
    switch (packet.id) {
      case kPidTransferComplete:
        return true;
      case kPidRouteHeader:
        route = &routes.emplace_back();
        if (!DecodeRouteHeader(header_type, packet.data, route->name)) {
          SetError("Protocol error: short route header");
          return false;
        }
        break;
      case kPidRouteWaypoint:
      case kPidWaypoint: {
        GarminWaypoint w;
        if (!DecodeWaypoint(point_type, packet.data, w)) {
          SetError("Protocol error: short waypoint record (%d bytes)", static_cast<int>(packet.data.size()));
          return false;
        }
        if (!route) route = &routes.emplace_back();
        route->points.push_back(std::move(w));
        break;
      }
      case kPidRouteLink:
        break;
      default:
        SetError("Protocol error: got pid %d", packet.id);
        return false;
    }
  }
}

bool CGarminIO::GetTracks(std::vector<GarminTrack>& tracks) {
  using C = GarminCapabilities;
  const int protocol = capabilities[C::kTrackProtocol];
  const int header_type = protocol == 301 ? capabilities[C::kTrackHeaderType] : 0;
  const int point_type = capabilities[C::kTrackPointType];
  if ((protocol != 300 && protocol != 301) || !IsSupportedTrackTypes(point_type, header_type) ||
      (protocol == 301 && header_type == 0)) {
    SetError("Track datatype not supported: A%d Hdr:D%d Wpt:D%d", protocol, header_type, point_type);
    return false;
  }
  if (!SendPacket(CommandPacket(kCmdTransferTracks))) return false;
  const int total = ReceiveRecords();
  if (total < 0) return false;

  std::string name;
  GarminTrack current;
  const auto finish = [&] {
    if (static_cast<int>(current.points.size()) >= kMinTrackPoints) {
      current.name = name;
      tracks.push_back(std::move(current));
    }
    current = GarminTrack();
  };
  const bool flagged = point_type <= 302;
  for (int done = 1;; ++done) {
    GarminPacket packet;
    if (!ReceivePacket(packet)) return false;
    if (Cancelled(done, total, "Track import canceled")) return false;
    if (packet.id == kPidTransferComplete) break;
    if (packet.id == kPidTrackHeader) {
      finish();
      if (!DecodeTrackHeader(header_type, packet.data, name)) {
        SetError("Protocol error: short track header");
        return false;
      }
    } else if (packet.id == kPidTrackPoint) {
      GarminTrackPoint p;
      if (!DecodeTrackPoint(point_type, packet.data, p)) {
        SetError("Protocol error: short track point (%d bytes)", static_cast<int>(packet.data.size()));
        return false;
      }
      const bool split =
          flagged ? p.new_track
                  : !current.points.empty() &&
                        (p.time == 0 || p.time < current.points.back().time ||
                         p.time - current.points.back().time > kTrackPartitionSeconds);
      if (split) finish();
      current.points.push_back(p);
    } else {
      SetError("Protocol error: got pid %d", packet.id);
      return false;
    }
  }
  finish();
  return true;
}

bool CGarminIO::SendAll(const std::vector<GarminPacket>& packets, uint16_t command) {
  if (!SendPacket(U16Packet(kPidRecords, static_cast<uint16_t>(packets.size())))) return false;
  for (const GarminPacket& p : packets)
    if (!SendPacket(p)) return false;
  return SendPacket(U16Packet(kPidTransferComplete, command));
}

bool CGarminIO::PutWaypoints(const std::vector<GarminWaypoint>& waypoints) {
  using C = GarminCapabilities;
  const int type = capabilities[C::kWaypointType];
  if (capabilities[C::kWaypointProtocol] != 100 || !IsSupportedWaypointType(type)) {
    SetError("Waypoint datatype not supported: A%d D%d", capabilities[C::kWaypointProtocol], type);
    return false;
  }
  std::vector<GarminPacket> marks, alarms;
  for (const GarminWaypoint& w : waypoints) {
    GarminPacket& p = marks.emplace_back(GarminPacket{kPidWaypoint, {}});
    if (!EncodeWaypoint(type, w, p.data)) {
      SetError("Waypoint does not fit a packet: %s", w.ident.c_str());
      return false;
    }
  }
  if (!SendAll(marks, kCmdTransferWaypoints)) return false;

  const int proximity_type = capabilities[C::kProximityType];
  for (const GarminWaypoint& w : waypoints) {
    if (!w.proximity_alarm) continue;
    GarminPacket& p = alarms.emplace_back(GarminPacket{kPidProximityWaypoint, {}});
    if (!IsSupportedProximityType(proximity_type)) {
      SetError("Proximity alarm datatype not supported: %d", proximity_type);
      return false;
    }
    if (!EncodeProximityWaypoint(proximity_type, w, p.data)) {
      SetError("Waypoint does not fit a packet: %s", w.ident.c_str());
      return false;
    }
  }
  return alarms.empty() || SendAll(alarms, kCmdTransferProximity);
}

bool CGarminIO::PutRoutes(const std::vector<GarminRoute>& routes) {
  if (!RouteTypesSupported()) return false;
  using C = GarminCapabilities;
  const int protocol = capabilities[C::kRouteProtocol];
  const int header_type = capabilities[C::kRouteHeaderType];
  const int point_type = capabilities[C::kRouteWaypointType];
  GpsLogPrintf(this, "SendRoutesWaypoints");
  // Routes longer than the device takes are cut into pieces that share their joining point.
  const size_t limit = static_cast<size_t>(std::max(route_points, 2));
  std::vector<GarminRoute> pieces;
  for (const GarminRoute& route : routes) {
    size_t start = 0;
    int part = 0;
    do {
      GarminRoute& piece = pieces.emplace_back();
      piece.name = part == 0 ? route.name : vd::os::FormatC("%s-%d", route.name.c_str(), part);
      const size_t end = std::min(route.points.size(), start + limit);
      piece.points.assign(route.points.begin() + static_cast<ptrdiff_t>(start),
                          route.points.begin() + static_cast<ptrdiff_t>(end));
      start = end - 1;
      ++part;
      if (end == route.points.size()) break;
    } while (true);
  }

  std::vector<GarminPacket> packets;
  for (size_t i = 0; i < pieces.size(); ++i) {
    GarminPacket& header = packets.emplace_back(GarminPacket{kPidRouteHeader, {}});
    if (!EncodeRouteHeader(header_type, static_cast<int>(i + 1), pieces[i].name, header.data)) {
      SetError("Route header does not fit a packet: %s", pieces[i].name.c_str());
      return false;
    }
    for (size_t k = 0; k < pieces[i].points.size(); ++k) {
      if (k > 0 && protocol == 201)
        packets.push_back({kPidRouteLink, std::vector<uint8_t>(kRouteLinkBytes, 0)});
      GarminPacket& p = packets.emplace_back(GarminPacket{kPidRouteWaypoint, {}});
      if (!EncodeWaypoint(point_type, pieces[i].points[k], p.data)) {
        SetError("Waypoint does not fit a packet: %s", pieces[i].points[k].ident.c_str());
        return false;
      }
    }
  }
  for (const GarminRoute& piece : pieces) GpsLogPrintf(this, "PutRoute: %s", piece.name.c_str());
  return SendAll(packets, kCmdTransferRoutes);
}

bool CGarminIO::PutTracks(const std::vector<GarminTrack>& tracks) {
  using C = GarminCapabilities;
  const int protocol = capabilities[C::kTrackProtocol];
  const int header_type = protocol == 301 ? capabilities[C::kTrackHeaderType] : 0;
  const int point_type = capabilities[C::kTrackPointType];
  if ((protocol != 300 && protocol != 301) || !IsSupportedTrackTypes(point_type, header_type) ||
      (protocol == 301 && header_type == 0)) {
    SetError("Track datatype not supported: A%d Hdr:D%d Wpt:D%d", protocol, header_type, point_type);
    return false;
  }
  GpsLogPrintf(this, "SendTracks");
  std::vector<GarminPacket> packets;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (tracks[i].points.empty()) continue;
    if (protocol == 301) {
      GarminPacket& header = packets.emplace_back(GarminPacket{kPidTrackHeader, {}});
      EncodeTrackHeader(header_type, tracks[i].name, static_cast<int>(i), header.data);
    }
    std::vector<GarminTrackPoint> points = tracks[i].points;
    ThinTrack(points, track_points);
    for (size_t k = 0; k < points.size(); ++k) {
      points[k].new_track = k == 0;
      GarminPacket& p = packets.emplace_back(GarminPacket{kPidTrackPoint, {}});
      EncodeTrackPoint(point_type, points[k], p.data);
    }
  }
  const int total = static_cast<int>(packets.size());
  if (!SendPacket(U16Packet(kPidRecords, static_cast<uint16_t>(total)))) return false;
  for (int i = 0; i < total; ++i) {
    if (Cancelled(i + 1, total, "Track export canceled")) return false;
    if (!SendPacket(packets[static_cast<size_t>(i)])) return false;
  }
  return SendPacket(U16Packet(kPidTransferComplete, kCmdTransferTracks));
}

void CGarminIO::StartLivePosition() {
  if (thread_.joinable()) return;
  GpsLogPrintf(this, "StartPVT");
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void CGarminIO::StopLivePosition() {
  if (!thread_.joinable()) return;
  GpsLogPrintf(this, "StopPVT");
  thread_.request_stop();
  thread_.join();
  thread_ = std::jthread();
  if (capabilities[GarminCapabilities::kPvtProtocol] == 800) SendPacket(CommandPacket(kCmdStopPvt));
}

void CGarminIO::Run(std::stop_token stop) {
  on_live_thread = true;
  live_stop = &stop;
  GpsLogPrintf(this, "Garmin_input_thread: Starting thread");
  if (!clock_->Sleep(kStartDelayMs, stop)) return;
  if (!Identify()) {
    if (!clock_->Sleep(kStartDelayMs, stop)) return;
    record_.valid = 0;
    if (!record_.status) record_.status = "Communication failure";
    PostNotice(kGpsNoticeFailure);
    return;
  }
  if (capabilities[GarminCapabilities::kPvtProtocol] != 800) {
    record_.valid = 0;
    SetError("This Garmin does not support D800 protocol: use NMEA setting");
    PostNotice(kGpsNoticeFailure);
    return;
  }
  record_.precision = 0;
  record_.time = 0;
  SendPacket(CommandPacket(kCmdStartPvt));
  int quiet = 0;
  while (!stop.stop_requested()) {
    GarminPacket packet;
    if (!ReceivePacket(packet)) {
      if (stop.stop_requested()) return;
      GpsLogPrintf(this, "Garmin_input_thread: timeout_count=%d", ++quiet);
      if (quiet > kMaxQuietReceives) {
        record_.valid = 0;
        record_.status = "No Position";
        PostNotice(kGpsNoticeFailure);
        return;
      }
      continue;
    }
    GarminPvt pvt;
    if (packet.id != kPidPvt || !DecodePvt(packet.data, pvt)) {
      GpsLogPrintf(this, "Garmin_input_thread: Got packet id %d", packet.id);
      continue;
    }
    quiet = 0;
    ApplyPvt(pvt, record_);
    GpsLogPrintf(this, "Garmin_input_thread: PVT, status=%s", record_.status);
    PostNotice(kGpsNoticeFix);
  }
}

const std::vector<GarminDeviceRow>& GarminDeviceTable() {
  // Generated at build time from garmin_product_capabilities.txt, ascending product id.
  static const std::vector<GarminDeviceRow> table{
#include "garmin_device_table.inc"
  };
  return table;
}
