#include "gps/garmin/garmin_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

GarminWaypoint SampleWaypoint() {
  GarminWaypoint w;
  w.ident = "HARBR1";
  w.comment = "NORTH PIER";
  w.lat = 48.1173;
  w.lon = -11.5167;
  w.symbol = 3;
  w.display = 2;
  w.proximity = 250.0f;
  return w;
}

struct WaypointCase {
  int type;
  size_t size;  // 0: variable length
  bool symbol, display, proximity, comment;
};

TEST(GarminRecords, WaypointTypesKeepWhatTheyCarry) {
  const WaypointCase cases[] = {
      {100, 58, false, false, false, true}, {101, 63, true, false, true, true},
      {102, 64, true, false, true, true},   {103, 60, true, true, false, true},
      {104, 65, true, true, true, true},    {105, 0, true, false, false, false},
      {106, 0, true, false, false, false},  {107, 65, true, true, true, true},
      {108, 0, true, true, true, true},     {109, 0, true, true, true, true},
      {110, 0, true, true, true, true},     {152, 124, false, false, true, true},
      {154, 126, true, false, true, true},  {155, 127, true, true, true, true},
  };
  const GarminWaypoint in = SampleWaypoint();
  for (const WaypointCase& c : cases) {
    SCOPED_TRACE(c.type);
    std::vector<uint8_t> data;
    ASSERT_TRUE(EncodeWaypoint(c.type, in, data));
    if (c.size) {
      EXPECT_EQ(data.size(), c.size);
    }
    GarminWaypoint out;
    ASSERT_TRUE(DecodeWaypoint(c.type, data, out));
    EXPECT_EQ(out.ident, in.ident);
    EXPECT_NEAR(out.lat, in.lat, 1e-6);
    EXPECT_NEAR(out.lon, in.lon, 1e-6);
    EXPECT_EQ(out.comment, c.comment ? in.comment : "");
    EXPECT_EQ(out.symbol, c.symbol ? in.symbol : 0);
    EXPECT_EQ(out.display, c.display ? in.display : 0);
    EXPECT_EQ(out.proximity, c.proximity ? in.proximity : 0.0f);
    // A record cut short is refused rather than read past its end.
    data.resize(data.size() - (c.size ? 1 : data.size() - 5));
    EXPECT_FALSE(DecodeWaypoint(c.type, data, out));
  }
  std::vector<uint8_t> data;
  EXPECT_FALSE(EncodeWaypoint(151, in, data));
}

TEST(GarminRecords, ProximityDistancesOutsideTheDevicesRangeReadAsNone) {
  for (float distance : {0.5f, 10001.0f, 1.0e25f, -3.0f}) {
    GarminWaypoint w = SampleWaypoint();
    w.proximity = distance;
    std::vector<uint8_t> data;
    ASSERT_TRUE(EncodeWaypoint(104, w, data));
    GarminWaypoint out;
    ASSERT_TRUE(DecodeWaypoint(104, data, out));
    EXPECT_EQ(out.proximity, 0.0f) << distance;
  }
}

TEST(GarminRecords, SymbolsAndDisplayModesMapThroughTheirTables) {
  EXPECT_EQ(DeviceSymbol(0), 18);
  EXPECT_EQ(DeviceSymbol(3), 170);
  EXPECT_EQ(DeviceSymbol(16), 18);
  EXPECT_EQ(DeviceSymbol(-1), 18);
  EXPECT_EQ(ProgramSymbol(18), 0);  // the first index holding it
  EXPECT_EQ(ProgramSymbol(156), 14);
  EXPECT_EQ(ProgramSymbol(9999), 0);

  // Type 104 stores the device's display values; 0 to 2 mean symbol only, 3 name, 5 comment.
  GarminWaypoint w = SampleWaypoint();
  std::vector<uint8_t> data;
  ASSERT_TRUE(EncodeWaypoint(104, w, data));
  for (auto [device, mode] : {std::pair{0, 1}, {2, 1}, {3, 0}, {5, 2}, {9, 0}}) {
    data[64] = static_cast<uint8_t>(device);
    GarminWaypoint out;
    ASSERT_TRUE(DecodeWaypoint(104, data, out));
    EXPECT_EQ(out.display, mode) << device;
  }
}

TEST(GarminRecords, ProximityWaypointsOfTheirOwnTypesAppendTheDistance) {
  const GarminWaypoint w = SampleWaypoint();
  std::vector<uint8_t> data;
  ASSERT_TRUE(EncodeProximityWaypoint(400, w, data));
  EXPECT_EQ(data.size(), 58u + 4);
  ASSERT_TRUE(EncodeProximityWaypoint(403, w, data));
  EXPECT_EQ(data.size(), 60u + 4);
  PacketReader r(data);
  r.Skip(60);
  EXPECT_EQ(r.F32(), 250.0f);
  EXPECT_FALSE(EncodeProximityWaypoint(103, w, data));
}

TEST(GarminRecords, RouteHeaders) {
  std::vector<uint8_t> data;
  std::string name;
  ASSERT_TRUE(EncodeRouteHeader(200, 7, "ignored", data));
  ASSERT_TRUE(DecodeRouteHeader(200, data, name));
  EXPECT_EQ(name, "Route 7");

  ASSERT_TRUE(EncodeRouteHeader(201, 3, "Lake tour, south!", data));
  EXPECT_EQ(data.size(), 21u);
  ASSERT_TRUE(DecodeRouteHeader(201, data, name));
  EXPECT_EQ(name, "LAKE TOUR SOUTH3");

  ASSERT_TRUE(EncodeRouteHeader(202, 1, "Ridge-walk 2", data));
  ASSERT_TRUE(DecodeRouteHeader(202, data, name));
  EXPECT_EQ(name, "RIDGE-WALK 2");
}

TEST(GarminRecords, TrackPointTypes) {
  GarminTrackPoint in;
  in.lat = -33.5;
  in.lon = 151.25;
  in.time = 1711888496;
  in.altitude = 123.5f;
  in.depth = 4.0f;
  in.heart_rate = 141;
  in.cadence = 88;
  in.new_track = true;
  struct Case {
    int type;
    size_t size;
    bool time, altitude, depth, heart, cadence, flag;
  };
  const Case cases[] = {
      {300, 13, false, false, false, false, false, true},
      {301, 21, true, true, true, false, false, true},
      {302, 25, true, true, true, false, false, true},
      {303, 20, true, true, false, true, false, false},
      {304, 24, true, true, false, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    std::vector<uint8_t> data;
    ASSERT_TRUE(EncodeTrackPoint(c.type, in, data));
    EXPECT_EQ(data.size(), c.size);
    GarminTrackPoint out;
    ASSERT_TRUE(DecodeTrackPoint(c.type, data, out));
    EXPECT_NEAR(out.lat, in.lat, 1e-6);
    EXPECT_NEAR(out.lon, in.lon, 1e-6);
    // Type 300 goes out without a time: the device's epoch reads back.
    EXPECT_EQ(out.time, c.time ? in.time : static_cast<uint32_t>(kDeviceEpoch1970));
    EXPECT_EQ(out.altitude, c.altitude ? in.altitude : 0.0f);
    EXPECT_EQ(out.depth, c.depth ? in.depth : 0.0f);
    EXPECT_EQ(out.heart_rate, c.heart ? in.heart_rate : 0);
    EXPECT_EQ(out.cadence, c.cadence ? in.cadence : -1);
    EXPECT_EQ(out.new_track, c.flag);
  }
}

TEST(GarminRecords, TrackPointWithoutTimeOrCadence) {
  GarminTrackPoint in;
  in.time = 0;
  in.cadence = -1;
  std::vector<uint8_t> data;
  ASSERT_TRUE(EncodeTrackPoint(304, in, data));
  EXPECT_EQ(PacketReader(std::vector<uint8_t>(data.begin() + 8, data.begin() + 12)).U32(),
            0xFFFFFFFFu);
  GarminTrackPoint out;
  ASSERT_TRUE(DecodeTrackPoint(304, data, out));
  EXPECT_EQ(out.time, 0u);
  EXPECT_EQ(out.cadence, -1);
  // 0x7FFFFFFF means no time as well; a cadence with the sensor flag clear is none.
  data[8] = data[9] = data[10] = 0xFF;
  data[11] = 0x7F;
  data[21] = 90;
  data[22] = 0;
  ASSERT_TRUE(DecodeTrackPoint(304, data, out));
  EXPECT_EQ(out.time, 0u);
  EXPECT_EQ(out.cadence, -1);
}

TEST(GarminRecords, TrackHeaders) {
  std::vector<uint8_t> data;
  std::string name;
  ASSERT_TRUE(EncodeTrackHeader(310, "Morning run: 10k!", 0, data));
  ASSERT_TRUE(DecodeTrackHeader(310, data, name));
  EXPECT_EQ(name, "MORNING RUN 10K");
  ASSERT_TRUE(EncodeTrackHeader(311, "ignored", 4, data));
  ASSERT_TRUE(DecodeTrackHeader(311, data, name));
  EXPECT_EQ(name, "Track 4");
}

TEST(GarminRecords, ProtocolArrayFillsTheCapabilityBlock) {
  std::vector<uint8_t> data;
  PacketWriter w(data);
  for (auto [tag, n] : std::vector<std::pair<char, uint16_t>>{
           {'P', 0}, {'L', 1}, {'A', 10}, {'A', 100}, {'D', 109}, {'A', 201}, {'D', 202},
           {'D', 109}, {'D', 210}, {'A', 302}, {'D', 312}, {'D', 304}, {'A', 999}, {'D', 1},
           {'X', 5}, {'A', 800}, {'D', 800}})
    w.U8(static_cast<uint8_t>(tag)).U16(n);
  data.push_back('A');  // a stray byte at the end is ignored
  GarminCapabilities caps;
  std::vector<std::string> log;
  ParseProtocolArray(data, caps, [&](const std::string& line) { log.push_back(line); });
  using C = GarminCapabilities;
  EXPECT_EQ(caps[C::kLink], 1);
  EXPECT_EQ(caps[C::kCommand], 10);
  EXPECT_EQ(caps[C::kWaypointProtocol], 100);
  EXPECT_EQ(caps[C::kWaypointType], 109);
  EXPECT_EQ(caps[C::kRouteProtocol], 201);
  EXPECT_EQ(caps[C::kRouteHeaderType], 202);
  EXPECT_EQ(caps[C::kRouteWaypointType], 109);
  EXPECT_EQ(caps[C::kRouteLinkType], 210);
  EXPECT_EQ(caps[C::kTrackProtocol], 301);
  EXPECT_EQ(caps[C::kTrackHeaderType], 312);
  EXPECT_EQ(caps[C::kTrackPointType], 304);
  EXPECT_EQ(caps[C::kPvtProtocol], 800);
  EXPECT_EQ(caps[C::kPvtType], 800);
  EXPECT_EQ(caps[C::kProximityProtocol], 0);
  EXPECT_NE(std::find(log.begin(), log.end(), "Unknown app"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Unexpected: X5"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Caps: A201 D210"), log.end());
}

TEST(GarminRecords, DeviceTableLookupTakesTheLastRowAtOrBelowTheVersion) {
  GarminCapabilities a, b, c;
  a[GarminCapabilities::kWaypointType] = 100;
  b[GarminCapabilities::kWaypointType] = 103;
  c[GarminCapabilities::kWaypointType] = 104;
  const std::vector<GarminDeviceRow> table = {{10, 0, a}, {10, 200, b}, {10, 300, c}, {12, 0, c}};
  GarminCapabilities found;
  ASSERT_TRUE(LookupDeviceCapabilities(10, 250, table, found));
  EXPECT_EQ(found, b);
  ASSERT_TRUE(LookupDeviceCapabilities(10, 300, table, found));
  EXPECT_EQ(found, c);
  EXPECT_FALSE(LookupDeviceCapabilities(11, 999, table, found));
}

TEST(GarminRecords, PositionRecordBecomesAFix) {
  GarminPvt pvt;
  pvt.altitude = 50.0f;
  pvt.msl_height = -47.5f;
  pvt.eph = 3.5f;
  pvt.time_of_week = 302400.75;  // Wednesday noon, a fraction dropped
  pvt.week_days = 12474;         // 2024-02-25, a Sunday
  pvt.leap_seconds = 18;
  pvt.lat_radians = 48.0 / 57.29577951308238;
  pvt.lon_radians = -11.5 / 57.29577951308238;
  pvt.east = -3.0f;
  pvt.north = -4.0f;
  std::vector<uint8_t> data = EncodePvt(pvt);
  ASSERT_EQ(data.size(), 64u);
  GarminPvt read;
  ASSERT_TRUE(DecodePvt(data, read));
  data.pop_back();
  GarminPvt short_record;
  EXPECT_FALSE(DecodePvt(data, short_record));

  struct Case {
    int16_t fix;
    bool valid;
    const char* status;
  };
  for (const Case& c : {Case{0, false, "GPS failed integrity check"}, Case{1, false, "Fix unavailable"},
                        Case{2, true, "2D fix only"}, Case{3, true, "OK"}, Case{4, true, "OK"},
                        Case{5, true, "OK differential"}}) {
    read.fix = c.fix;
    GPS_position_info record;
    record.variation = 7.0f;
    ApplyPvt(read, record);
    EXPECT_EQ(record.valid != 0, c.valid) << c.fix;
    EXPECT_STREQ(record.status, c.status);
    EXPECT_EQ(record.time, 1709121600 - 18);  // 2024-02-28 12:00:00 UTC less the leap seconds
    EXPECT_NEAR(record.speed, 5.0 * 1.9438444924406046, 1e-4);
    EXPECT_NEAR(record.course, 180.0 + 36.8699, 1e-3);
    EXPECT_EQ(record.variation, 0.0f);
    EXPECT_NEAR(record.position.lat, 48.0, 1e-9);
    EXPECT_NEAR(record.position.lon, -11.5, 1e-9);
    EXPECT_EQ(record.precision, 3.5f);
    EXPECT_EQ(record.altitude, 2.5f);
  }
}

// A garbled position record (a bad line, a device's fault) leaves no time or position that is
// not one: a time of week outside the week gives no time, a position off the globe is no fix
// and the last position stays, and velocities that overflow give no speed or course. The
// first time of week is one the fuzzer sent, whose conversion to an integer was undefined.
TEST(GarminRecords, GarbledPositionRecordGivesNoTimeOrFix) {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr float kBig = std::numeric_limits<float>::max();
  struct Case {
    const char* what;
    std::function<void(GarminPvt&)> garble;
    bool has_time;
    bool valid;
  };
  const Case cases[] = {
      {"time of week far below zero", [](GarminPvt& p) { p.time_of_week = -2.1644919976470135e+114; }, false, true},
      {"time of week not a number", [](GarminPvt& p) { p.time_of_week = kNan; }, false, true},
      {"time of week infinite", [](GarminPvt& p) { p.time_of_week = kInf; }, false, true},
      {"time of week past the week", [](GarminPvt& p) { p.time_of_week = 604801.0; }, false, true},
      {"week beyond the time's range", [](GarminPvt& p) { p.week_days = 2000000000; }, false, true},
      {"latitude not a number", [](GarminPvt& p) { p.lat_radians = kNan; }, true, false},
      {"latitude past the pole", [](GarminPvt& p) { p.lat_radians = 1.6; }, true, false},
      {"longitude infinite", [](GarminPvt& p) { p.lon_radians = -kInf; }, true, false},
      {"velocity past a float", [](GarminPvt& p) { p.east = p.north = kBig; }, true, true},
      {"velocity not a number", [](GarminPvt& p) { p.east = std::numeric_limits<float>::quiet_NaN(); }, true, true},
  };
  for (const Case& c : cases) {
    GarminPvt pvt;
    pvt.fix = 3;
    pvt.time_of_week = 302400.0;
    pvt.week_days = 12474;
    pvt.lat_radians = 48.0 / 57.29577951308238;
    pvt.lon_radians = -11.5 / 57.29577951308238;
    pvt.east = 3.0f;
    c.garble(pvt);
    GPS_position_info record;
    record.position = GeoPoint{50.0, -4.0};
    ApplyPvt(pvt, record);
    EXPECT_EQ(record.time != 0, c.has_time) << c.what;
    if (c.has_time) EXPECT_EQ(record.time, 1709121600) << c.what;
    EXPECT_EQ(record.valid != 0, c.valid) << c.what;
    if (c.valid) {
      EXPECT_NEAR(record.position.lat, 48.0, 1e-9) << c.what;
      EXPECT_STREQ(record.status, "OK") << c.what;
    } else {
      EXPECT_EQ(record.position.lat, 50.0) << c.what << ": the last position stays";
      EXPECT_EQ(record.position.lon, -4.0) << c.what;
      EXPECT_STREQ(record.status, "Fix unavailable") << c.what;
    }
    EXPECT_TRUE(std::isfinite(record.speed)) << c.what;
    EXPECT_TRUE(std::isfinite(record.course)) << c.what;
    if (std::isfinite(pvt.east) && pvt.east < kBig) EXPECT_GT(record.speed, 0.0f) << c.what;
  }
}

}  // namespace
