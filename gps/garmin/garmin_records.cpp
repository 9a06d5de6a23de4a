#include "gps/garmin/garmin_records.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "gps/packet_name.h"
#include "platform/os/codepage.h"
#include "platform/os/numbers.h"

namespace {

constexpr double kSemicirclesPerDegree = 2147483648.0 / 180.0;
constexpr double kDegreesPerRadian = 57.29577951308238;
constexpr double kKnotsPerMetreSecond = 1.9438444924406046;
constexpr float kUnknownFloat = 1.0e25f;
constexpr uint32_t kNoTime = 0xFFFFFFFF;
constexpr uint32_t kNoTimeToo = 0x7FFFFFFF;
constexpr uint8_t kNoCadence = 255;
constexpr size_t kLongTextLimit = 51;  // ident and comment of the variable-length types

constexpr uint16_t kSymbolTable[16] = {18, 10, 8, 170, 7, 18, 0, 19, 18, 14, 18, 151, 18, 171, 156, 18};
constexpr uint16_t kDotSymbol = 18;
// Display values of types 104 and 155 as the program's modes.
constexpr int kDeviceDisplayModes[6] = {1, 1, 1, 0, 1, 2};

int32_t ToSemicircles(double degrees) {
  return static_cast<int32_t>(std::lround(std::clamp(degrees, -180.0, 180.0 - 1e-9) *
                                          kSemicirclesPerDegree));
}
double FromSemicircles(int32_t s) { return s / kSemicirclesPerDegree; }

void WritePosition(PacketWriter& w, double lat, double lon) {
  w.I32(ToSemicircles(lat)).I32(ToSemicircles(lon));
}
void ReadPosition(PacketReader& r, double& lat, double& lon) {
  lat = FromSemicircles(r.I32());
  lon = FromSemicircles(r.I32());
}

std::string WireText(const std::string& utf8, size_t limit) {
  std::string bytes = vd::os::Utf8ToCp1252(utf8);
  if (bytes.size() > limit) bytes.resize(limit);
  return bytes;
}
std::string ProgramText(const std::string& bytes) { return vd::os::Cp1252ToUtf8(bytes); }
// A fixed-width field with its trailing blanks dropped.
std::string TrimmedText(const std::string& bytes) {
  const size_t end = bytes.find_last_not_of(' ');
  return ProgramText(end == std::string::npos ? std::string() : bytes.substr(0, end + 1));
}

float ReadProximity(float distance) {
  return distance >= 1.0f && distance <= 10000.0f ? distance : 0.0f;
}

int ModeFromDevice(int value) {
  return value >= 0 && value < 6 ? kDeviceDisplayModes[value] : 0;
}
uint8_t ModeToDevice(int mode) {
  for (int i = 0; i < 6; ++i)
    if (kDeviceDisplayModes[i] == mode) return static_cast<uint8_t>(i);
  return 0;
}
int DirectMode(int value) { return value >= 0 && value <= 2 ? value : 0; }

// The fields every fixed-width type starts with: ident, position, an unused word, comment.
void WriteBase(PacketWriter& w, const GarminWaypoint& p) {
  w.Fixed(WireText(p.ident, 6), 6);
  WritePosition(w, p.lat, p.lon);
  w.U32(0).Fixed(WireText(p.comment, 40), 40);
}
void ReadBase(PacketReader& r, GarminWaypoint& p) {
  p.ident = TrimmedText(r.Fixed(6));
  ReadPosition(r, p.lat, p.lon);
  r.Skip(4);
  p.comment = TrimmedText(r.Fixed(40));
}

// Types 108 to 110 share all but their first byte, the display/colour byte and the fields
// between the country code and the texts.
void WriteLong(int type, PacketWriter& w, const GarminWaypoint& p) {
  if (type == 108) {
    w.U8(0).U8(0xFF).U8(static_cast<uint8_t>(DirectMode(p.display))).U8(0x60);
  } else {
    w.U8(1).U8(0).U8(static_cast<uint8_t>(0x1F | DirectMode(p.display) << 5))
        .U8(type == 109 ? 0x70 : 0x80);
  }
  w.U16(DeviceSymbol(p.symbol)).Zeros(6).Fixed("", 12, '\xFF');
  WritePosition(w, p.lat, p.lon);
  w.F32(kUnknownFloat).F32(kUnknownFloat).F32(p.proximity > 0 ? p.proximity : kUnknownFloat);
  w.Fixed("", 2).Fixed("", 2);
  if (type >= 109) w.U32(kNoTime);
  if (type == 110) w.F32(kUnknownFloat).U32(kNoTime).U16(0);
  w.CString(WireText(p.ident, kLongTextLimit)).CString(WireText(p.comment, kLongTextLimit));
  w.CString("").CString("").CString("").CString("");
}
void ReadLong(int type, PacketReader& r, GarminWaypoint& p) {
  if (type == 108) {
    r.Skip(2);
    p.display = DirectMode(r.U8());
    r.Skip(1);
  } else {
    r.Skip(2);
    p.display = DirectMode((r.U8() >> 5) & 3);
    r.Skip(1);
  }
  p.symbol = ProgramSymbol(r.U16());
  r.Skip(18);
  ReadPosition(r, p.lat, p.lon);
  r.Skip(8);
  p.proximity = ReadProximity(r.F32());
  r.Skip(4);
  if (type >= 109) r.Skip(4);
  if (type == 110) r.Skip(10);
  p.ident = ProgramText(r.CString());
  p.comment = ProgramText(r.CString());
}

// Types 152 to 155: the base, the distance, then place fields the program does not keep.
void WritePlace(int type, PacketWriter& w, const GarminWaypoint& p) {
  WriteBase(w, p);
  w.F32(p.proximity).Fixed("", 30).Fixed("", 24).Fixed("", 2).I16(0).Fixed("", 2).U8(0).U8(0);
  if (type >= 154) w.U16(DeviceSymbol(p.symbol));
  if (type == 155) w.U8(ModeToDevice(p.display));
}
void ReadPlace(int type, PacketReader& r, GarminWaypoint& p) {
  ReadBase(r, p);
  p.proximity = ReadProximity(r.F32());
  r.Skip(30 + 24 + 2 + 2 + 2 + 1 + 1);
  if (type >= 154) p.symbol = ProgramSymbol(r.U16());
  if (type == 155) p.display = ModeFromDevice(r.U8());
}

void Log(const std::function<void(const std::string&)>& log, const std::string& text) {
  if (log) log(text);
}

// Route names of types 201 and 202: letters, digits, '-' and blank, upper case, at most width
// characters, trailing blanks dropped.
std::string RouteText(const std::string& text, int width) {
  std::vector<char> buffer(static_cast<size_t>(width) + 1);
  CopyPacketName(buffer.data(), width, text, "- ", true, true);
  const int n = TrimPacketName(buffer.data(), width);
  return std::string(buffer.data(), static_cast<size_t>(n));
}

}  // namespace

bool LookupDeviceCapabilities(uint16_t product_id, uint16_t version,
                              const std::vector<GarminDeviceRow>& table, GarminCapabilities& caps) {
  bool found = false;
  for (const GarminDeviceRow& row : table) {
    if (row.product_id != product_id || row.lowest_version > version) continue;
    caps = row.caps;
    found = true;
  }
  return found;
}

void ParseProtocolArray(const std::vector<uint8_t>& data, GarminCapabilities& caps,
                        const std::function<void(const std::string&)>& log) {
  using C = GarminCapabilities;
  PacketReader r(data);
  int app = 0;
  int types_seen = 0;
  // The slots an application fills with the data types that follow it, in order.
  std::vector<C::Slot> slots;
  while (r.remaining() >= 3) {
    const char tag = static_cast<char>(r.U8());
    const uint16_t n = r.U16();
    if (tag == 'P' || tag == 'L') {
      caps[tag == 'P' ? C::kPhysical : C::kLink] = n;
      Log(log, vd::os::FormatC("Caps: %c%d", tag, n));
      app = 0;
      slots.clear();
    } else if (tag == 'A') {
      Log(log, vd::os::FormatC("Caps: A%d", n));
      app = n;
      types_seen = 0;
      slots.clear();
      C::Slot protocol_slot = C::kSlotCount;
      switch (n) {
        case 10: case 11: protocol_slot = C::kCommand; break;
        case 100: protocol_slot = C::kWaypointProtocol; slots = {C::kWaypointType}; break;
        case 200:
          protocol_slot = C::kRouteProtocol;
          slots = {C::kRouteHeaderType, C::kRouteWaypointType};
          break;
        case 201:
          protocol_slot = C::kRouteProtocol;
          slots = {C::kRouteHeaderType, C::kRouteWaypointType, C::kRouteLinkType};
          break;
        case 300: protocol_slot = C::kTrackProtocol; slots = {C::kTrackPointType}; break;
        case 301: case 302:
          protocol_slot = C::kTrackProtocol;
          slots = {C::kTrackHeaderType, C::kTrackPointType};
          break;
        case 400: protocol_slot = C::kProximityProtocol; slots = {C::kProximityType}; break;
        case 500: protocol_slot = C::kAlmanacProtocol; slots = {C::kAlmanacType}; break;
        case 600: protocol_slot = C::kDateTimeProtocol; slots = {C::kDateTimeType}; break;
        case 700: protocol_slot = C::kPositionProtocol; slots = {C::kPositionType}; break;
        case 800: protocol_slot = C::kPvtProtocol; slots = {C::kPvtType}; break;
        default: Log(log, "Unknown app"); break;
      }
      if (protocol_slot != C::kSlotCount) caps[protocol_slot] = n == 302 ? 301 : n;
    } else if (tag == 'D' && app != 0) {
      Log(log, vd::os::FormatC("Caps: A%d D%d", app, n));
      if (types_seen < static_cast<int>(slots.size())) caps[slots[types_seen]] = n;
      ++types_seen;
    } else {
      Log(log, vd::os::FormatC("Unexpected: %c%d", tag, n));
    }
  }
}

uint16_t DeviceSymbol(int program_symbol) {
  return program_symbol >= 0 && program_symbol < 16 ? kSymbolTable[program_symbol] : kDotSymbol;
}

int ProgramSymbol(uint16_t device_symbol) {
  for (int i = 0; i < 16; ++i)
    if (kSymbolTable[i] == device_symbol) return i;
  return 0;
}

bool IsSupportedWaypointType(int type) {
  return (type >= 100 && type <= 110) || type == 152 || type == 154 || type == 155;
}

bool IsSupportedProximityType(int type) {
  switch (type) {
    case 101: case 102: case 104: case 107: case 108: case 109: case 110: case 400: case 403:
      return true;
    default:
      return false;
  }
}

bool HasSixCharacterNames(int type) {
  return (type >= 100 && type <= 104) || type == 107 || type == 152 || type == 154 || type == 155;
}

bool EncodeWaypoint(int type, const GarminWaypoint& p, std::vector<uint8_t>& out) {
  out.clear();
  PacketWriter w(out);
  switch (type) {
    case 100: WriteBase(w, p); break;
    case 101: WriteBase(w, p); w.F32(p.proximity).U8(static_cast<uint8_t>(DeviceSymbol(p.symbol))); break;
    case 102: WriteBase(w, p); w.F32(p.proximity).U16(DeviceSymbol(p.symbol)); break;
    case 103:
      WriteBase(w, p);
      w.U8(static_cast<uint8_t>(DeviceSymbol(p.symbol))).U8(static_cast<uint8_t>(DirectMode(p.display)));
      break;
    case 104:
      WriteBase(w, p);
      w.F32(p.proximity).U16(DeviceSymbol(p.symbol)).U8(ModeToDevice(p.display));
      break;
    case 105:
      WritePosition(w, p.lat, p.lon);
      w.U16(DeviceSymbol(p.symbol)).CString(WireText(p.ident, kLongTextLimit));
      break;
    case 106:
      w.U8(0).Zeros(13);
      WritePosition(w, p.lat, p.lon);
      w.U16(DeviceSymbol(p.symbol)).CString(WireText(p.ident, kLongTextLimit)).CString("");
      break;
    case 107:
      WriteBase(w, p);
      w.U8(static_cast<uint8_t>(DeviceSymbol(p.symbol))).U8(static_cast<uint8_t>(DirectMode(p.display)));
      w.F32(p.proximity).U8(0);
      break;
    case 108: case 109: case 110: WriteLong(type, w, p); break;
    case 152: case 154: case 155: WritePlace(type, w, p); break;
    default: return false;
  }
  return w.ok();
}

bool DecodeWaypoint(int type, const std::vector<uint8_t>& data, GarminWaypoint& p) {
  p = GarminWaypoint();
  PacketReader r(data);
  switch (type) {
    case 100: ReadBase(r, p); break;
    case 101: ReadBase(r, p); p.proximity = ReadProximity(r.F32()); p.symbol = ProgramSymbol(r.U8()); break;
    case 102: ReadBase(r, p); p.proximity = ReadProximity(r.F32()); p.symbol = ProgramSymbol(r.U16()); break;
    case 103:
      ReadBase(r, p);
      p.symbol = ProgramSymbol(r.U8());
      p.display = DirectMode(r.U8());
      break;
    case 104:
      ReadBase(r, p);
      p.proximity = ReadProximity(r.F32());
      p.symbol = ProgramSymbol(r.U16());
      p.display = ModeFromDevice(r.U8());
      break;
    case 105:
      ReadPosition(r, p.lat, p.lon);
      p.symbol = ProgramSymbol(r.U16());
      p.ident = ProgramText(r.CString());
      break;
    case 106:
      r.Skip(14);
      ReadPosition(r, p.lat, p.lon);
      p.symbol = ProgramSymbol(r.U16());
      p.ident = ProgramText(r.CString());
      break;
    case 107:
      ReadBase(r, p);
      p.symbol = ProgramSymbol(r.U8());
      p.display = DirectMode(r.U8());
      p.proximity = ReadProximity(r.F32());
      r.Skip(1);  // colour
      break;
    case 108: case 109: case 110: ReadLong(type, r, p); break;
    case 152: case 154: case 155: ReadPlace(type, r, p); break;
    default: return false;
  }
  return r.ok();
}

bool EncodeProximityWaypoint(int type, const GarminWaypoint& p, std::vector<uint8_t>& out) {
  if (type != 400 && type != 403) return IsSupportedProximityType(type) && EncodeWaypoint(type, p, out);
  if (!EncodeWaypoint(type - 300, p, out)) return false;
  PacketWriter w(out);
  w.F32(p.proximity);
  return w.ok();
}

bool EncodeRouteHeader(int type, int number, const std::string& name, std::vector<uint8_t>& out) {
  out.clear();
  PacketWriter w(out);
  switch (type) {
    case 200: w.U8(static_cast<uint8_t>(number)); break;
    case 201:
      w.U8(static_cast<uint8_t>(number))
          .Fixed(RouteText(vd::os::FormatC("%s%d", name.c_str(), number), 20), 20, '\0');
      break;
    case 202: w.CString(RouteText(name, 100)); break;
    default: return false;
  }
  return w.ok();
}

bool DecodeRouteHeader(int type, const std::vector<uint8_t>& data, std::string& name) {
  PacketReader r(data);
  switch (type) {
    case 200: name = vd::os::FormatC("Route %d", r.U8()); break;
    case 201: r.Skip(1); name = TrimmedText(r.Fixed(20)); break;
    case 202: name = ProgramText(r.CString()); break;
    default: return false;
  }
  return r.ok();
}

bool IsSupportedTrackTypes(int point_type, int header_type) {
  return point_type >= 300 && point_type <= 304 &&
         (header_type == 0 || (header_type >= 310 && header_type <= 312));
}

bool EncodeTrackPoint(int type, const GarminTrackPoint& p, std::vector<uint8_t>& out) {
  out.clear();
  PacketWriter w(out);
  WritePosition(w, p.lat, p.lon);
  if (type == 300)
    w.U32(0);
  else
    w.U32(p.time == 0 ? kNoTime : static_cast<uint32_t>(p.time - kDeviceEpoch1970));
  switch (type) {
    case 300: w.U8(p.new_track); break;
    case 301: w.F32(p.altitude).F32(p.depth).U8(p.new_track); break;
    case 302: w.F32(p.altitude).F32(p.depth).F32(kUnknownFloat).U8(p.new_track); break;
    case 303: w.F32(p.altitude).U8(static_cast<uint8_t>(p.heart_rate)).Zeros(3); break;
    case 304:
      w.F32(p.altitude).F32(kUnknownFloat).U8(static_cast<uint8_t>(p.heart_rate));
      w.U8(p.cadence < 0 ? kNoCadence : static_cast<uint8_t>(p.cadence)).U8(p.cadence >= 0).U8(0);
      break;
    default: return false;
  }
  return w.ok();
}

bool DecodeTrackPoint(int type, const std::vector<uint8_t>& data, GarminTrackPoint& p) {
  p = GarminTrackPoint();
  PacketReader r(data);
  ReadPosition(r, p.lat, p.lon);
  const uint32_t time = r.U32();
  p.time = time == kNoTime || time == kNoTimeToo ? 0 : time + static_cast<uint32_t>(kDeviceEpoch1970);
  switch (type) {
    case 300: p.new_track = r.U8() != 0; break;
    case 301: p.altitude = r.F32(); p.depth = r.F32(); p.new_track = r.U8() != 0; break;
    case 302:
      p.altitude = r.F32();
      p.depth = r.F32();
      r.Skip(4);
      p.new_track = r.U8() != 0;
      break;
    case 303: p.altitude = r.F32(); p.heart_rate = r.U8(); break;
    case 304: {
      p.altitude = r.F32();
      r.Skip(4);
      p.heart_rate = r.U8();
      const uint8_t cadence = r.U8();
      if (r.U8() != 0 && cadence != kNoCadence) p.cadence = cadence;
      break;
    }
    default: return false;
  }
  return r.ok();
}

bool EncodeTrackHeader(int type, const std::string& name, int index, std::vector<uint8_t>& out) {
  out.clear();
  PacketWriter w(out);
  if (type == 311) {
    w.U16(static_cast<uint16_t>(index));
  } else if (type == 310 || type == 312) {
    std::vector<char> buffer(51);
    CopyPacketName(buffer.data(), 50, name, " -+~", false, true);
    const int n = TrimPacketName(buffer.data(), 50);
    w.U8(1).U8(0xFF).CString(std::string_view(buffer.data(), static_cast<size_t>(n)));
  } else {
    return false;
  }
  return w.ok();
}

bool DecodeTrackHeader(int type, const std::vector<uint8_t>& data, std::string& name) {
  PacketReader r(data);
  if (type == 311) {
    name = vd::os::FormatC("Track %d", r.U16());
  } else if (type == 310 || type == 312) {
    r.Skip(2);
    name = ProgramText(r.CString());
  } else {
    return false;
  }
  return r.ok();
}

std::vector<uint8_t> EncodePvt(const GarminPvt& pvt) {
  std::vector<uint8_t> out;
  PacketWriter(out)
      .F32(pvt.altitude).F32(pvt.epe).F32(pvt.eph).F32(pvt.epv).I16(pvt.fix)
      .F64(pvt.time_of_week).F64(pvt.lat_radians).F64(pvt.lon_radians)
      .F32(pvt.east).F32(pvt.north).F32(pvt.up).F32(pvt.msl_height)
      .I16(pvt.leap_seconds).I32(pvt.week_days);
  return out;
}

bool DecodePvt(const std::vector<uint8_t>& data, GarminPvt& pvt) {
  PacketReader r(data);
  pvt.altitude = r.F32();
  pvt.epe = r.F32();
  pvt.eph = r.F32();
  pvt.epv = r.F32();
  pvt.fix = r.I16();
  pvt.time_of_week = r.F64();
  pvt.lat_radians = r.F64();
  pvt.lon_radians = r.F64();
  pvt.east = r.F32();
  pvt.north = r.F32();
  pvt.up = r.F32();
  pvt.msl_height = r.F32();
  pvt.leap_seconds = r.I16();
  pvt.week_days = r.I32();
  return r.ok();
}

namespace {

constexpr double kSecondsPerWeek = 7 * 86400.0;

// A value a receiver sent as a double, as a float; 0 when it is not a finite float (a garbled
// record).
float FiniteFloat(double value) {
  return std::isfinite(value) && std::fabs(value) <= std::numeric_limits<float>::max()
             ? static_cast<float>(value)
             : 0.0f;
}

}  // namespace

void ApplyPvt(const GarminPvt& pvt, GPS_position_info& record) {
  // A time of week outside the week (a garbled record) gives no time.
  record.time = 0;
  if (pvt.time_of_week >= 0.0 && pvt.time_of_week <= kSecondsPerWeek) {
    const int64_t time = static_cast<int64_t>(std::floor(pvt.time_of_week)) +
                         int64_t{pvt.week_days} * 86400 - pvt.leap_seconds + kDeviceEpoch1970;
    if (time > 0 && time <= std::numeric_limits<int32_t>::max())
      record.time = static_cast<int32_t>(time);
  }
  record.valid = 1;
  switch (pvt.fix) {
    case 0: record.valid = 0; record.status = "GPS failed integrity check"; break;
    case 2: record.status = "2D fix only"; break;
    case 3: case 4: record.status = "OK"; break;
    case 5: record.status = "OK differential"; break;
    default: record.valid = 0; record.status = "Fix unavailable"; break;
  }
  // A position off the globe is no fix, whatever the record says; the last one is kept.
  const double lat = pvt.lat_radians * kDegreesPerRadian;
  const double lon = pvt.lon_radians * kDegreesPerRadian;
  if (std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0) {
    record.position = GeoPoint{lat, lon};
  } else if (record.valid) {
    record.valid = 0;
    record.status = "Fix unavailable";
  }
  const float speed = FiniteFloat(std::hypot(pvt.east, pvt.north) * kKnotsPerMetreSecond);
  double course = speed > 0.0f ? std::atan2(pvt.east, pvt.north) * kDegreesPerRadian : 0.0;
  if (course < 0) course += 360.0;
  record.speed = speed;
  record.course = static_cast<float>(course);
  record.variation = 0.0f;
  record.precision = pvt.eph;
  record.altitude = pvt.altitude + pvt.msl_height;
}
