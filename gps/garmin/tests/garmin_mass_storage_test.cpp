#include "gps/garmin/garmin_mass_storage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gps/garmin/create_garmin_interface.h"
#include "gps/garmin/garmin_usb.h"
#include "gps/garmin/tests/fake_garmin_device.h"
#include "gps/tests/gps_test_support.h"
#include "overlays/exchange/tests/gpx_test_world.h"
#include "platform/os/files.h"

namespace {

using vd::test::NoticeWindow;
namespace fs = std::filesystem;

// A description of the test's own making: GPX files both ways and TCX files from the device.
// The folders are named in another case than they have on the drive.
std::string Description(bool with_input) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Device>\n"
      " <Model><Description> Trail Unit 3 </Description></Model>\n"
      " <MassStorageMode>\n"
      "  <DataType><Name>GPSData</Name>\n"
      "   <File><Location><Path>Garmin\\GPX</Path><FileExtension>GPX</FileExtension></Location>"
      "<TransferDirection>OutputFromUnit</TransferDirection></File>\n";
  if (with_input)
    xml +=
        "   <File><Location><Path>Garmin/NewFiles</Path><FileExtension>gpx</FileExtension>"
        "</Location><TransferDirection>InputToUnit</TransferDirection></File>\n";
  xml +=
      "  </DataType>\n"
      "  <DataType><Name>FitnessHistory</Name><File><Location><Path>Garmin/History</Path>"
      "<FileExtension>TCX</FileExtension></Location></File></DataType>\n"
      " </MassStorageMode>\n</Device>\n";
  return xml;
}

std::string MakeDrive(const std::string& root, const std::string& description) {
  for (const char* folder : {"garmin/gpx", "garmin/newfiles", "garmin/history"})
    EXPECT_TRUE(vd::os::MakeFolders(root + "/" + folder));
  EXPECT_TRUE(vd::os::SaveFileAtomically(root + "/garmin/GarminDevice.xml", description));
  return root;
}

GPSParams Params() {
  GPSParams p;
  p.type = GPSParams::kGarmin;
  p.port_kind = GPSParams::kUsb;
  return p;
}

TEST(GarminMassStorage, FindsTheFirstDriveWithAReadableDescription) {
  vd::test::TempDir dir;
  const std::string empty = dir.path() + "/empty";
  ASSERT_TRUE(vd::os::MakeFolders(empty));
  const std::string broken = MakeDrive(dir.path() + "/broken", "<Device><Model/></Device>");
  const std::string good = MakeDrive(dir.path() + "/good", Description(true));
  NoticeWindow window;
  GPS_position_info record;
  CGarminMassStorage gps(window.window(), Params(), record, {empty, broken, good});
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFix));
  ASSERT_EQ(window.notices().size(), 2u);
  EXPECT_EQ(window.notices()[0].code, kGpsNoticeFailure);
  EXPECT_STREQ(window.notices()[0].record.status,
               ("Failed to read XML file: " + broken + "/garmin/GarminDevice.xml").substr(0, 50).c_str());
  EXPECT_STREQ(window.notices()[1].record.status, "Garmin Mass-storage found OK");
  EXPECT_FALSE(window.notices()[1].record.restart_silently);
  EXPECT_EQ(gps.device_description, "Trail Unit 3");
  EXPECT_EQ(gps.output_folder(), good + "/garmin/gpx/");
  EXPECT_EQ(gps.input_folder(), good + "/garmin/newfiles/");
  EXPECT_EQ(gps.fitness_folder(), good + "/garmin/history/");
  EXPECT_TRUE(gps.CanTransfer(CGPSInterface::kFromDevice, CGPSInterface::kTracks));
  EXPECT_TRUE(gps.CanTransfer(CGPSInterface::kToDevice, CGPSInterface::kWaypoints));
}

TEST(GarminMassStorage, WithoutAnInputFolderNothingGoesToTheDevice) {
  vd::test::TempDir dir;
  NoticeWindow window;
  GPS_position_info record;
  CGarminMassStorage gps(window.window(), Params(), record,
                         {MakeDrive(dir.path() + "/d", Description(false))});
  EXPECT_TRUE(gps.CanTransfer(CGPSInterface::kFromDevice, CGPSInterface::kWaypoints));
  EXPECT_FALSE(gps.CanTransfer(CGPSInterface::kToDevice, CGPSInterface::kWaypoints));
  EXPECT_EQ(gps.Export(CGPSInterface::kWaypoints, ObjectList{}), 0);
}

TEST(GarminMassStorage, NoDeviceIsAFailureNotice) {
  vd::test::TempDir dir;
  NoticeWindow window;
  GPS_position_info record;
  CGarminMassStorage gps(window.window(), Params(), record, {dir.path()});
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFailure));
  EXPECT_STREQ(window.notices().back().record.status, "Garmin USB not connected");
  EXPECT_FALSE(gps.CanTransfer(CGPSInterface::kFromDevice, CGPSInterface::kWaypoints));
}

TEST(GarminMassStorage, ExportsAreNewFilesAndImportsAddWhatTheDocumentLacks) {
  vd::test::GpxWorld world;
  const std::string drive = MakeDrive(world.dir.path() + "/drive", Description(true));
  NoticeWindow window;
  GPS_position_info record;
  CGarminMassStorage gps(window.window(), Params(), record, {drive});
  CObjWaypoint* a = world.Mark("Alpha", 1.0, 2.0);
  world.Mark("Beta", 3.0, 4.0)->visible = false;
  world.Route("Trip", {world.Mark("T1", 5, 6), world.Mark("T2", 7, 8)});

  ASSERT_EQ(gps.Export(CGPSInterface::kWaypoints, world.doc.objects), 1) << gps.message;
  ASSERT_EQ(gps.Export(CGPSInterface::kRoutes, world.doc.objects), 1) << gps.message;
  std::vector<vd::os::DirEntry> written;
  ASSERT_TRUE(vd::os::ListFolder(gps.input_folder(), written));
  ASSERT_EQ(written.size(), 2u);
  for (const vd::os::DirEntry& e : written) EXPECT_EQ(e.name.rfind("_vd", 0), 0u) << e.name;

  // The device hands them back in its output folder.
  for (const vd::os::DirEntry& e : written)
    fs::copy_file(gps.input_folder() + e.name, gps.output_folder() + e.name);
  // Alpha is already in the document; nothing of the routes file is a mark.
  EXPECT_EQ(gps.Import(CGPSInterface::kWaypoints, world.doc.objects), 0) << gps.message;
  vd::test::GpxWorld other;
  EXPECT_EQ(gps.Import(CGPSInterface::kWaypoints, other.doc.objects), 1) << gps.message;
  EXPECT_EQ(gps.Import(CGPSInterface::kRoutes, other.doc.objects), 1) << gps.message;
  // Read again, the route is known: no second route and no copies of its points.
  EXPECT_EQ(gps.Import(CGPSInterface::kRoutes, other.doc.objects), 0) << gps.message;
  const auto marks = vd::test::GpxWorld::OfClass<CObjWaypoint>(other.doc.objects);
  ASSERT_EQ(marks.size(), 3u);  // Alpha and the route's two points
  EXPECT_EQ(marks[0]->name, a->name);
  ASSERT_EQ(vd::test::GpxWorld::OfClass<CObjRoute>(other.doc.objects).size(), 1u);
  EXPECT_EQ(gps.Import(CGPSInterface::kTracks, other.doc.objects), 0);
}

TEST(GarminMassStorage, ExportsTheDeviceHasTakenAreRemoved) {
  vd::test::TempDir dir;
  const std::string drive = MakeDrive(dir.path() + "/d", Description(true));
  const std::string in = drive + "/garmin/newfiles/";
  const auto now = fs::last_write_time(drive + "/garmin/gpx");
  for (const char* name : {"_vd0001.gpx", "_VD0002.GPX", "_vd0003.gpx", "mine.gpx"}) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(in + name, "<gpx/>"));
    fs::last_write_time(in + name, now - std::chrono::hours(1));
  }
  fs::last_write_time(in + "_vd0003.gpx", now + std::chrono::hours(1));
  NoticeWindow window;
  GPS_position_info record;
  CGarminMassStorage gps(window.window(), Params(), record, {drive});
  EXPECT_FALSE(vd::os::FileExists(in + "_vd0001.gpx"));
  EXPECT_FALSE(vd::os::FileExists(in + "_VD0002.GPX"));
  EXPECT_TRUE(vd::os::FileExists(in + "_vd0003.gpx"));  // newer than the device's last write
  EXPECT_TRUE(vd::os::FileExists(in + "mine.gpx"));
}

TEST(CreateGarminInterface, PortKindAndDevicePickTheInterface) {
  vd::test::TempDir dir;
  NoticeWindow window;
  GPS_position_info record;
  GPSParams params = Params();
  auto device = std::make_shared<vd::test::FakeGarminDevice>();
  for (const bool present : {false, true}) {
    auto transport = std::make_unique<vd::test::FakeUsbTransport>(device);
    transport->present = present;
    record.restart_silently = 0;
    auto gps = CreateGarminInterface(window.window(), params, record, nullptr,
                                     std::move(transport), {dir.path()});
    ASSERT_TRUE(gps);
    EXPECT_EQ(dynamic_cast<CGarminUSB*>(gps.get()) != nullptr, present);
    EXPECT_EQ(dynamic_cast<CGarminMassStorage*>(gps.get()) != nullptr, !present);
  }
  params.port_kind = 7;
  std::string error;
  EXPECT_FALSE(CreateGarminInterface(window.window(), params, record, &error));
  EXPECT_EQ(error, "Unknown Garmin port kind 7");
}

}  // namespace
