// Transfers between the document's overlay objects and a fake device on the USB link.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gps/garmin/garmin_usb.h"
#include "gps/garmin/tests/fake_garmin_device.h"
#include "gps/tests/gps_test_support.h"
#include "overlays/exchange/tests/gpx_test_world.h"

namespace {

using vd::test::FakeGarminDevice;
using vd::test::FakeUsbTransport;
using vd::test::FullProtocolArray;
using vd::test::GpxWorld;
using vd::test::InstantClock;
using vd::test::NoticeWindow;

struct Device {
  explicit Device(std::vector<uint8_t> protocol_array) {
    device->protocol_array = std::move(protocol_array);
    auto clock = std::make_shared<InstantClock>();
    GPSParams params;
    params.name_length = 6;
    gps = std::make_unique<CGarminUSB>(window.window(), params, record,
                                       std::make_unique<FakeUsbTransport>(device, clock), clock,
                                       false);
  }
  std::shared_ptr<FakeGarminDevice> device = std::make_shared<FakeGarminDevice>();
  NoticeWindow window;
  GPS_position_info record;
  std::unique_ptr<CGarminUSB> gps;
};

TEST(GarminDocument, MarksRoutesAndTracksGoToTheDeviceAndComeBack) {
  Device unit(FullProtocolArray(109, 201, 202, 301, 310, 304));
  GpxWorld here;
  CObjWaypoint* harbour = here.Mark("Harbour entrance", 50.1, -1.2);
  harbour->symbol = 3;
  harbour->comment = "Mind the ferry";
  harbour->radius = 150.0f;
  harbour->circle_mode = CObjWaypoint::kProximityAlarm;
  here.Mark("Harbour east", 50.2, -1.3);  // same first letters: gets a distinct short name
  here.Mark("Hidden", 1, 1)->visible = false;
  here.Route("Passage", {here.Mark("Start", 49, -2), here.Mark("Buoy", 49.1, -2.1),
                         here.Mark("End", 49.2, -2.2)});
  CObjTrack* track = here.Track("Run");
  track->other_label = "Cadence (rpm)";
  for (int i = 0; i < 6; ++i)
    track->AddPoint(47.0 + i * 1e-3, 8.0, 1711888496 + i * 5, 420.0f + i,
                    static_cast<int16_t>(130 + i), static_cast<int16_t>(80 + i));

  CGarminIO& gps = *unit.gps;
  ASSERT_EQ(gps.Export(CGPSInterface::kWaypoints, here.doc.objects), 2) << gps.message;
  EXPECT_EQ(unit.device->proximity.size(), 1u);
  ASSERT_EQ(gps.Export(CGPSInterface::kRoutes, here.doc.objects), 1) << gps.message;
  ASSERT_EQ(gps.Export(CGPSInterface::kTracks, here.doc.objects), 1) << gps.message;
  EXPECT_EQ(harbour->short_name, "HARBOU");
  EXPECT_NE(here.OfClass<CObjWaypoint>(here.doc.objects)[1]->short_name, "HARBOU");

  GpxWorld there;
  ASSERT_EQ(gps.Import(CGPSInterface::kWaypoints, there.doc.objects), 2) << gps.message;
  ASSERT_EQ(gps.Import(CGPSInterface::kRoutes, there.doc.objects), 1) << gps.message;
  ASSERT_EQ(gps.Import(CGPSInterface::kTracks, there.doc.objects), 1) << gps.message;
  // Marks already there are reused, not read in twice.
  ASSERT_EQ(gps.Import(CGPSInterface::kWaypoints, there.doc.objects), 2) << gps.message;

  // The list holds one reference of each object it got, which deleting one gives back while
  // a view may still hold its own.
  for (COstrelObject* object : there.doc.objects) EXPECT_EQ(object->ref_count(), 1) << object->name;

  const auto marks = GpxWorld::OfClass<CObjWaypoint>(there.doc.objects);
  ASSERT_EQ(marks.size(), 5u);
  EXPECT_EQ(marks[0]->short_name, "HARBOU");
  EXPECT_EQ(marks[0]->comment, "Mind the ferry");
  EXPECT_EQ(marks[0]->symbol, 3);
  EXPECT_EQ(marks[0]->radius, 150.0f);
  EXPECT_NEAR(marks[0]->position.lat, 50.1, 1e-6);
  const auto routes = GpxWorld::OfClass<CObjRoute>(there.doc.objects);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]->name, "PASSAGE");
  EXPECT_TRUE(routes[0]->locked);
  ASSERT_EQ(routes[0]->points().size(), 3u);
  EXPECT_EQ(routes[0]->points()[1]->short_name, "BUOY");
  const auto tracks = GpxWorld::OfClass<CObjTrack>(there.doc.objects);
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0]->name, "RUN");
  ASSERT_EQ(tracks[0]->points().size(), 6u);
  EXPECT_EQ(tracks[0]->points()[5].time, 1711888496 + 25);
  EXPECT_EQ(tracks[0]->points()[5].heart_rate, 135);
  EXPECT_EQ(tracks[0]->points()[5].altitude, 425.0f);
  EXPECT_EQ(tracks[0]->points()[5].other, 85);
  EXPECT_EQ(tracks[0]->other_label, "Cadence (rpm)");
}

TEST(GarminDocument, FailedTransferLeavesTheMessage) {
  Device unit(FullProtocolArray(108, 201, 202, 301, 310, 301));
  GpxWorld here;
  unit.device->waypoints = {{kPidTrackPoint, {}}};
  EXPECT_EQ(unit.gps->Import(CGPSInterface::kWaypoints, here.doc.objects), 0);
  EXPECT_EQ(unit.gps->message, "Protocol error: expected Pid_Wpt_Data, got pid 34");
  EXPECT_EQ(unit.gps->Import(7, here.doc.objects), 0);
  EXPECT_EQ(unit.gps->message, "Import type not supported");
}

}  // namespace
