// The transfers, identification and live position over the USB link with a fake device.
#include "gps/garmin/garmin_io.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gps/garmin/garmin_usb.h"
#include "gps/garmin/tests/fake_garmin_device.h"
#include "gps/tests/gps_test_support.h"

namespace {

using vd::test::FakeGarminDevice;
using vd::test::FakeUsbTransport;
using vd::test::FullProtocolArray;
using vd::test::InstantClock;
using vd::test::NoticeWindow;
using vd::test::UsbBytes;

GPSParams UsbParams() {
  GPSParams p;
  p.type = GPSParams::kGarmin;
  p.port_kind = GPSParams::kUsb;
  p.name_length = 10;
  return p;
}

struct Rig {
  explicit Rig(bool live = false) {
    transport = new FakeUsbTransport(device, clock);
    gps = std::make_unique<CGarminUSB>(window.window(), params, record,
                                       std::unique_ptr<GarminUsbTransport>(transport), clock, live);
  }
  std::shared_ptr<FakeGarminDevice> device = std::make_shared<FakeGarminDevice>();
  std::shared_ptr<InstantClock> clock = std::make_shared<InstantClock>();
  NoticeWindow window;
  GPSParams params = UsbParams();
  GPS_position_info record;
  FakeUsbTransport* transport;  // owned by gps
  std::unique_ptr<CGarminUSB> gps;
};

GarminWaypoint Mark(const std::string& ident, double lat, double lon) {
  GarminWaypoint w;
  w.ident = ident;
  w.comment = "C " + ident;
  w.lat = lat;
  w.lon = lon;
  w.symbol = 4;
  return w;
}

TEST(GarminUsb, PacketsComeFromTheInterruptPipeOrTheBulkPipeWhenDataIsWaiting) {
  Rig rig;
  ASSERT_TRUE(rig.gps->Open());
  // The device's answer to the start packet was read by Open.
  rig.transport->Push(false, UsbBytes(kUsbApplicationLayer, 35, {1, 2, 3}));
  rig.transport->Push(false, UsbBytes(kUsbProtocolLayer, kUsbDataAvailable, {}));
  rig.transport->Push(true, UsbBytes(kUsbApplicationLayer, 36, std::vector<uint8_t>(200, 7)));
  rig.transport->Push(true, UsbBytes(kUsbApplicationLayer, 37, {9}));
  rig.transport->Push(false, UsbBytes(kUsbApplicationLayer, 38, {}));
  rig.transport->max_read = 50;  // the long packet takes several reads

  std::vector<GarminPacket> got;
  GarminPacket p;
  while (rig.gps->ReceivePacket(p)) got.push_back(p);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], (GarminPacket{35, {1, 2, 3}}));
  EXPECT_EQ(got[1], (GarminPacket{36, std::vector<uint8_t>(200, 7)}));
  EXPECT_EQ(got[2], (GarminPacket{37, {9}}));
  // After the bulk pipe ran dry the interrupt pipe is read again.
  EXPECT_EQ(got[3], (GarminPacket{38, {}}));
}

TEST(GarminUsb, PacketsThatDoNotFitAreRefused) {
  for (auto [id, size] : {std::pair<uint16_t, uint32_t>{35, 256}, {35, 0x10000001}, {0x123, 2}}) {
    Rig rig;
    ASSERT_TRUE(rig.gps->Open());
    rig.transport->Push(false, UsbBytes(kUsbApplicationLayer, id, {1, 2}, size));
    GarminPacket p;
    EXPECT_FALSE(rig.gps->ReceivePacket(p)) << id << " " << size;
  }
}

TEST(GarminUsb, MissingDeviceFailsCleanly) {
  Rig rig;
  rig.transport->present = false;
  EXPECT_FALSE(rig.gps->Identify());
  EXPECT_EQ(rig.gps->message, "Can't open USB device\nError 19");
  EXPECT_EQ(rig.gps->Import(CGPSInterface::kWaypoints, *std::make_unique<GpsObjectList>()), 0);
}

TEST(GarminIdentify, ReadsProductCapabilitiesAndClock) {
  Rig rig;
  rig.device->protocol_array = FullProtocolArray(104, 200, 200, 300, 0, 300);
  ASSERT_TRUE(rig.gps->Identify()) << rig.gps->message;
  EXPECT_EQ(rig.gps->product_id, 4242);
  EXPECT_EQ(rig.gps->software_version, 310);
  EXPECT_EQ(rig.gps->device_description, "Test Unit Software Version 3.10");
  EXPECT_EQ(rig.gps->device_time, 1711888496);  // 2024-03-31 12:34:56 UTC
  using C = GarminCapabilities;
  EXPECT_EQ(rig.gps->capabilities[C::kWaypointType], 104);
  EXPECT_EQ(rig.gps->capabilities[C::kTrackPointType], 300);
  EXPECT_EQ(rig.gps->name_length, 6);  // type 104 names have six characters
  // Positions were asked to stop before anything else.
  EXPECT_EQ(rig.device->received().front(), CommandPacket(kCmdStopPvt));
}

TEST(GarminIdentify, RefusesDevicesItCannotServe) {
  struct Case {
    bool product, array;
    std::vector<std::pair<char, uint16_t>> tags;
    const char* message;
  };
  const Case cases[] = {
      // No array within 5 seconds and no row of the device table: nothing is known.
      {true, false, {}, "Garmin GPS: Failed to get device protocol capabilities"},
      {false, false, {}, "Garmin GPS: Failed to get device protocol capabilities"},
      {true, true, {{'P', 0}, {'L', 2}, {'A', 10}}, "Garmin GPS: Unsupported link protocol: 2"},
      {true, true, {{'P', 0}, {'L', 1}, {'A', 11}}, "Garmin GPS: Unsupported command protocol: 11"},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.device->answers_product_request = c.product;
    rig.device->sends_protocol_array = c.array;
    rig.device->protocol_array = vd::test::ProtocolArray(c.tags);
    EXPECT_FALSE(rig.gps->Identify());
    EXPECT_EQ(rig.gps->message, c.message);
    EXPECT_GE(rig.clock->NowMs(), c.array ? 0u : 5000u);
  }
}

// Devices that never send their protocol array are served from the published table after
// 5 seconds (on the test clock): the last row of the product at or below the device's software
// version gives the block. Products of the second link protocol are refused as such.
TEST(GarminIdentify, DevicesWithoutAProtocolArrayComeFromTheDeviceTable) {
  using C = GarminCapabilities;
  struct Case {
    uint16_t product, version;
    uint16_t link, waypoint_type, proximity_type;
    const char* message;  // "" when the device is served
  };
  const Case cases[] = {
      {7, 0, 1, 100, 0, ""},          // the first row of the table
      {29, 399, 1, 101, 101, ""},     // below the second row's version
      {29, 400, 1, 102, 102, ""},     // at it
      {77, 300, 1, 100, 400, ""},
      {77, 301, 1, 103, 403, ""},
      {77, 355, 1, 103, 0, ""},       // the row of 3.50 leaves proximity out
      {77, 999, 1, 103, 403, ""},     // the last row of the product wins
      {20, 0, 2, 150, 450, "Garmin GPS: Unsupported link protocol: 2"},
      {4242, 310, 0, 0, 0, "Garmin GPS: Failed to get device protocol capabilities"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.product << " v" << c.version);
    Rig rig;
    rig.device->product_id = c.product;
    rig.device->software_version = c.version;
    rig.device->sends_protocol_array = false;
    EXPECT_EQ(rig.gps->Identify(), *c.message == 0);
    EXPECT_EQ(rig.gps->message, c.message);
    EXPECT_GE(rig.clock->NowMs(), 5000u);
    EXPECT_EQ(rig.gps->capabilities[C::kLink], c.link);
    EXPECT_EQ(rig.gps->capabilities[C::kWaypointType], c.waypoint_type);
    EXPECT_EQ(rig.gps->capabilities[C::kProximityType], c.proximity_type);
  }
  // The table is in ascending product id, as the lookup expects, and ends with no stray row.
  // A route protocol carries its points as the device's waypoints.
  const auto& table = GarminDeviceTable();
  ASSERT_GE(table.size(), 48u);
  for (size_t i = 0; i < table.size(); ++i) {
    const GarminCapabilities& caps = table[i].caps;
    if (caps[C::kRouteProtocol] != 0) {
      EXPECT_EQ(caps[C::kRouteWaypointType], caps[C::kWaypointType]) << table[i].product_id;
    }
    if (i == 0) continue;
    EXPECT_TRUE(table[i - 1].product_id < table[i].product_id ||
                (table[i - 1].product_id == table[i].product_id &&
                 table[i - 1].lowest_version < table[i].lowest_version))
        << i;
  }
}

// A device served from the table takes a route and gives it back.
TEST(GarminIdentify, RoutesGoToADeviceOfTheTable) {
  Rig rig;
  rig.device->product_id = 7;
  rig.device->sends_protocol_array = false;
  GarminRoute route{"Coast", 0, {Mark("R1", 50, 1), Mark("R2", 50.1, 1.1)}};
  CGarminIO& gps = *rig.gps;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutRoutes({route}); })) << gps.message;
  std::vector<GarminRoute> back;
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetRoutes(back); })) << gps.message;
  ASSERT_EQ(back.size(), 1u);
  ASSERT_EQ(back[0].points.size(), 2u);
  EXPECT_EQ(back[0].points[1].ident, "R2");
}

struct TypeSet {
  uint16_t waypoint, route_protocol, route_header, track_protocol, track_header, track_point;
  bool symbol, comment;
};

class GarminTransfers : public testing::TestWithParam<TypeSet> {};

TEST_P(GarminTransfers, MarksRoutesAndTracksRoundTripThroughTheDevice) {
  const TypeSet t = GetParam();
  Rig rig;
  rig.device->protocol_array = FullProtocolArray(t.waypoint, t.route_protocol, t.route_header,
                                                 t.track_protocol, t.track_header, t.track_point);
  const std::vector<GarminWaypoint> marks = {Mark("ALPHA", 51.5, -0.12), Mark("BRAVO", -33.9, 151.2)};
  GarminRoute route{"Coast", 0, {Mark("R1", 50, 1), Mark("R2", 50.1, 1.1), Mark("R3", 50.2, 1.2)}};
  GarminTrack track{"Walk", 0, {}};
  for (int i = 0; i < 6; ++i) {
    GarminTrackPoint p;
    p.lat = 47 + i * 0.001;
    p.lon = 8;
    p.time = 1711888496 + static_cast<uint32_t>(i) * 10;
    p.altitude = 400.0f + static_cast<float>(i);
    track.points.push_back(p);
  }
  CGarminIO& gps = *rig.gps;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutWaypoints(marks); })) << gps.message;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutRoutes({route}); })) << gps.message;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutTracks({track}); })) << gps.message;

  std::vector<GarminWaypoint> marks_back;
  std::vector<GarminRoute> routes_back;
  std::vector<GarminTrack> tracks_back;
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetWaypoints(marks_back); })) << gps.message;
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetRoutes(routes_back); })) << gps.message;
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetTracks(tracks_back); })) << gps.message;

  ASSERT_EQ(marks_back.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(marks_back[i].ident, marks[i].ident);
    EXPECT_NEAR(marks_back[i].lat, marks[i].lat, 1e-6);
    EXPECT_NEAR(marks_back[i].lon, marks[i].lon, 1e-6);
    EXPECT_EQ(marks_back[i].symbol, t.symbol ? 4 : 0);
    EXPECT_EQ(marks_back[i].comment, t.comment ? "C " + marks[i].ident : "");
  }
  ASSERT_EQ(routes_back.size(), 1u);
  ASSERT_EQ(routes_back[0].points.size(), 3u);
  EXPECT_EQ(routes_back[0].points[2].ident, "R3");
  EXPECT_EQ(routes_back[0].name, t.route_header == 200 ? "Route 1" : t.route_header == 201 ? "COAST1" : "COAST");
  ASSERT_EQ(tracks_back.size(), 1u);
  ASSERT_EQ(tracks_back[0].points.size(), 6u);
  EXPECT_EQ(tracks_back[0].name, t.track_header == 311 ? "Track 0" : t.track_header ? "WALK" : "");
  EXPECT_NEAR(tracks_back[0].points[5].lat, 47.005, 1e-6);
  if (t.track_point != 300) {
    EXPECT_EQ(tracks_back[0].points[5].time, track.points[5].time);
    EXPECT_EQ(tracks_back[0].points[5].altitude, 405.0f);
  }
}

INSTANTIATE_TEST_SUITE_P(
    TypeSets, GarminTransfers,
    testing::Values(TypeSet{100, 200, 200, 300, 0, 300, false, true},
                    TypeSet{103, 201, 201, 301, 311, 301, true, true},
                    TypeSet{105, 200, 202, 301, 310, 302, true, false},
                    TypeSet{108, 201, 202, 301, 310, 303, true, true},
                    TypeSet{110, 201, 202, 301, 312, 304, true, true},
                    TypeSet{155, 201, 201, 301, 312, 301, true, true}));

TEST(GarminTransfersTest, LongRouteGoesOutAsPiecesSharingTheirJoins) {
  Rig rig;
  rig.params.route_points = 100;
  rig.gps->route_points = 100;
  GarminRoute route{"Long", 0, {}};
  for (int i = 0; i < 250; ++i) route.points.push_back(Mark("P" + std::to_string(i), 40, i * 0.01));
  CGarminIO& gps = *rig.gps;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutRoutes({route}); })) << gps.message;
  std::vector<GarminRoute> back;
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetRoutes(back); })) << gps.message;
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].name, "LONG");
  EXPECT_EQ(back[1].name, "LONG-1");
  EXPECT_EQ(back[2].name, "LONG-2");
  EXPECT_EQ(back[0].points.size(), 100u);
  EXPECT_EQ(back[1].points.size(), 100u);
  EXPECT_EQ(back[2].points.size(), 52u);
  EXPECT_EQ(back[1].points.front().ident, back[0].points.back().ident);
  EXPECT_EQ(back[2].points.front().ident, "P198");
  EXPECT_EQ(back[2].points.back().ident, "P249");
  // With links between consecutive points, none before a route's first point.
  int links = 0;
  for (const GarminPacket& p : rig.device->routes) links += p.id == kPidRouteLink;
  EXPECT_EQ(links, 99 + 99 + 51);
}

TEST(GarminTransfersTest, TracksAreSplitDroppedAndThinned) {
  Rig rig;
  rig.device->protocol_array = FullProtocolArray(108, 201, 202, 301, 310, 301);
  rig.gps->track_points = 10;
  GarminTrack long_track{"Long", 0, {}};
  for (int i = 0; i < 25; ++i) long_track.points.push_back({45, i * 0.001, 0, 0, 0, 0, -1, false});
  CGarminIO& gps = *rig.gps;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutTracks({long_track}); })) << gps.message;
  std::vector<GarminTrack> back;
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetTracks(back); })) << gps.message;
  ASSERT_EQ(back.size(), 1u);
  // 25 -> 13 -> 7 points, the last one kept each time.
  ASSERT_EQ(back[0].points.size(), 7u);
  EXPECT_NEAR(back[0].points.back().lon, 0.024, 1e-6);
  EXPECT_EQ(back[0].points[0].time, 0u);  // sent without time

  // A device log of a 4-point track (dropped), then, after a new-track flag, 5 points.
  rig.device->tracks.clear();
  std::vector<uint8_t> data;
  EncodeTrackHeader(310, "A", 0, data);
  rig.device->tracks.push_back({kPidTrackHeader, data});
  for (int i = 0; i < 9; ++i) {
    GarminTrackPoint p{10, i * 0.01, 1711888496, 0, 0, 0, -1, i == 0 || i == 4};
    EncodeTrackPoint(301, p, data);
    rig.device->tracks.push_back({kPidTrackPoint, data});
  }
  back.clear();
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetTracks(back); })) << gps.message;
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].points.size(), 5u);
  EXPECT_EQ(back[0].name, "A");
}

TEST(GarminTransfersTest, TrackTransfersCanBeCancelled) {
  Rig rig;
  GarminTrack track{"T", 0, std::vector<GarminTrackPoint>(8)};
  CGarminIO& gps = *rig.gps;
  gps.progress = [](int done, int) { return done < 3; };
  EXPECT_FALSE(gps.Transfer([&] { return gps.PutTracks({track}); }));
  EXPECT_EQ(gps.message, "Track export canceled");
  gps.progress = nullptr;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutTracks({track}); }));
  gps.progress = [](int done, int) { return done < 3; };
  std::vector<GarminTrack> back;
  EXPECT_FALSE(gps.Transfer([&] { return gps.GetTracks(back); }));
  EXPECT_EQ(gps.message, "Track import canceled");
}

TEST(GarminTransfersTest, ProximityMarksFollowTheMarks) {
  Rig rig;
  std::vector<GarminWaypoint> marks = {Mark("A", 1, 1), Mark("B", 2, 2)};
  marks[1].proximity_alarm = true;
  marks[1].proximity = 300;
  CGarminIO& gps = *rig.gps;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutWaypoints(marks); }));
  ASSERT_EQ(rig.device->waypoints.size(), 2u);
  ASSERT_EQ(rig.device->proximity.size(), 1u);
  EXPECT_EQ(rig.device->proximity[0].id, kPidProximityWaypoint);
  EXPECT_EQ(rig.device->proximity[0].data.size(), 62u);  // type 400: type 100 and the distance

  rig.device->protocol_array = FullProtocolArray(108, 201, 202, 301, 310, 301, 999);
  EXPECT_FALSE(gps.Transfer([&] { return gps.PutWaypoints(marks); }));
  EXPECT_EQ(gps.message, "Proximity alarm datatype not supported: 999");
}

TEST(GarminTransfersTest, ProtocolErrorsEndTheTransfer) {
  Rig rig;
  CGarminIO& gps = *rig.gps;
  rig.device->waypoints = {{kPidTrackPoint, {}}};
  std::vector<GarminWaypoint> marks;
  EXPECT_FALSE(gps.Transfer([&] { return gps.GetWaypoints(marks); }));
  EXPECT_EQ(gps.message, "Protocol error: expected Pid_Wpt_Data, got pid 34");
  rig.device->routes = {{kPidDateTime, {}}};
  std::vector<GarminRoute> routes;
  EXPECT_FALSE(gps.Transfer([&] { return gps.GetRoutes(routes); }));
  EXPECT_EQ(gps.message, "Protocol error: got pid 14");
  rig.device->protocol_array = FullProtocolArray(108, 201, 205, 301, 310, 301);
  EXPECT_FALSE(gps.Transfer([&] { return gps.GetRoutes(routes); }));
  EXPECT_EQ(gps.message, "Route datatype not supported: A201 D205 D108");
  rig.device->protocol_array = FullProtocolArray(108, 201, 202, 301, 310, 305);
  std::vector<GarminTrack> tracks;
  EXPECT_FALSE(gps.Transfer([&] { return gps.GetTracks(tracks); }));
  EXPECT_EQ(gps.message, "Track datatype not supported: A301 Hdr:D310 Wpt:D305");
}

TEST(GarminTransfersTest, PlainMarkListsImportWithoutDuplicates) {
  Rig rig;
  CGarminIO& gps = *rig.gps;
  GpsObjectList out;
  out.marks = {{"Alpha", {51.5, -0.12}}};
  out.routes = {{"Trip", {{"T1", {1, 1}}, {"T2", {2, 2}}}}};
  ASSERT_EQ(gps.Export(CGPSInterface::kWaypoints, out), 1);
  ASSERT_EQ(gps.Export(CGPSInterface::kRoutes, out), 1);
  EXPECT_EQ(gps.Export(CGPSInterface::kTracks, out), 0);
  EXPECT_EQ(gps.message, "Export type not supported");
  GpsObjectList in;
  in.marks = {{"ALPHA", {51.5, -0.12}}};
  EXPECT_EQ(gps.Import(CGPSInterface::kWaypoints, in), 1);
  EXPECT_EQ(in.marks.size(), 1u);  // the same mark by name and position
  EXPECT_EQ(gps.Import(CGPSInterface::kRoutes, in), 1);
  ASSERT_EQ(in.routes.size(), 1u);
  EXPECT_EQ(in.routes[0].points[1].name, "T2");
}

TEST(GarminLivePosition, PositionPacketsBecomeFixNotices) {
  Rig rig(false);
  rig.device->pvt.fix = 3;
  rig.device->pvt.lat_radians = 0.5;
  rig.device->pvt.north = 1.0f;
  rig.gps->StartLivePosition();
  ASSERT_TRUE(rig.window.DispatchUntilCode(kGpsNoticeFix));
  const GPS_position_info& fix = rig.window.notices().front().record;
  EXPECT_TRUE(fix.valid);
  EXPECT_STREQ(fix.status, "OK");
  EXPECT_NEAR(fix.position.lat, 0.5 * 57.29577951308238, 1e-9);
  EXPECT_NEAR(fix.speed, 1.9438444924406046, 1e-5);
  // A transfer stops positions and starts them again afterwards.
  std::vector<GarminWaypoint> marks;
  ASSERT_TRUE(rig.gps->Transfer([&] { return rig.gps->GetWaypoints(marks); }));
  rig.gps.reset();
  EXPECT_FALSE(rig.device->pvt_on);  // told to stop when the interface went
}

TEST(GarminLivePosition, FailuresEndTheThreadWithAFailureNotice) {
  struct Case {
    std::vector<uint8_t> array;
    bool present;
    const char* status;
  };
  const Case cases[] = {
      {FullProtocolArray(108, 201, 202, 301, 310, 301), true, "No Position"},
      {vd::test::ProtocolArray({{'P', 0}, {'L', 1}, {'A', 10}, {'A', 600}, {'D', 600}}), true,
       "This Garmin does not support D800 protocol: use NM"},
      {{}, false, "Can't open USB device\nError 19"},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.device->protocol_array = c.array;
    rig.transport->present = c.present;
    rig.device->sends_positions = false;  // goes quiet once asked for positions
    rig.gps->StartLivePosition();
    ASSERT_TRUE(rig.window.DispatchUntilCode(kGpsNoticeFailure));
    const GPS_position_info& failed = rig.window.notices().back().record;
    EXPECT_FALSE(failed.valid);
    EXPECT_STREQ(failed.status, c.status);
    EXPECT_EQ(failed.restart_silently != 0, c.present);
  }
}

}  // namespace
