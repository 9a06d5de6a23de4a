#include "gps/nmea_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "gps/create_gps_interface.h"
#include "app/nmea_fields.h"
#include "gps/nmea_waypoint_sentences.h"
#include "gps/tests/gps_test_support.h"
#include "platform/os/files.h"
#include "tests/pty_pair.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::InstantClock;
using vd::test::NoticeWindow;
using vd::test::Sentence;

GPSParams NmeaParams(const std::string& port) {
  GPSParams p;
  p.type = GPSParams::kNmea;
  p.port = port;
  return p;
}

std::string Rmc(const std::string& time) {
  return Sentence("GPRMC," + time + ",A,4807.038,N,01131.000,E,5.5,90.0,310324,,") + "\r\n";
}

// Cuts the device's end of the pty: the port's side sees a hang-up, as when a USB adapter is
// pulled. The descriptor number stays valid (on /dev/null) for the pair to close later.
void HangUp(vd::test::PtyPair& pty) {
  int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  ASSERT_GE(null_fd, 0);
  ASSERT_GE(dup2(null_fd, pty.master_fd()), 0);
  close(null_fd);
}

TEST(NmeaInput, PortThatDisappearsEndsTheReaderWithAFailureNotice) {
  vd::test::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  NoticeWindow window;
  GPS_position_info record;
  auto clock = std::make_shared<InstantClock>();
  auto gps =
      std::make_unique<CNMEA_input>(window.window(), NmeaParams(pty.slave_path()), record, clock);
  ASSERT_TRUE(clock->WaitForIdlePoll());
  ASSERT_TRUE(pty.WriteToMaster(Rmc("120000") + Rmc("120001")));
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFix));
  EXPECT_TRUE(window.notices()[0].record.valid);
  EXPECT_STREQ(window.notices()[0].record.status, "OK");

  HangUp(pty);
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFailure));
  const GPS_position_info& failed = window.notices().back().record;
  EXPECT_EQ(window.notices().back().code, kGpsNoticeFailure);
  EXPECT_FALSE(failed.valid);
  EXPECT_STREQ(failed.status, "Communication timeout");
  EXPECT_TRUE(failed.restart_silently);  // the port did open: restart without asking
  gps.reset();                           // joins the ended thread
  EXPECT_EQ(window.Count(kGpsNoticeFailure), 1u);
}

TEST(NmeaInput, PortThatCannotBeOpenedAsksBeforeRestarting) {
  NoticeWindow window;
  GPS_position_info record;
  CNMEA_input gps(window.window(), NmeaParams("/nonexistent/ttyUSB9"), record,
                  std::make_shared<InstantClock>());
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFailure));
  const GPS_position_info& failed = window.notices().back().record;
  EXPECT_STREQ(failed.status, "Can't open COM port");
  EXPECT_FALSE(failed.restart_silently);
  gps.StopThread();
  EXPECT_EQ(gps.message, "Can't open /nonexistent/ttyUSB9\nError 2");
}

TEST(NmeaInput, OutOfRangeLineSettingsAreCorrected) {
  vd::test::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  NoticeWindow window;
  GPS_position_info record;
  GPSParams params = NmeaParams(pty.slave_path());
  params.baud_index = 99;
  params.byte_size_index = 5;
  params.stop_bits_index = -1;
  params.parity_index = 3;
  auto clock = std::make_shared<InstantClock>();
  CNMEA_input gps(window.window(), params, record, clock);
  ASSERT_TRUE(clock->WaitForIdlePoll());
  gps.StopThread();
  EXPECT_EQ(gps.params().byte_size_index, 1);
  EXPECT_EQ(gps.params().stop_bits_index, 0);
  EXPECT_EQ(gps.params().parity_index, 0);
}

TEST(NmeaInput, ExportSendsMarksAndRoutesWithChecksums) {
  vd::test::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  NoticeWindow window;
  GPS_position_info record;
  auto clock = std::make_shared<InstantClock>();
  CNMEA_input gps(window.window(), NmeaParams(pty.slave_path()), record, clock);
  EXPECT_TRUE(gps.CanTransfer(CGPSInterface::kToDevice, CGPSInterface::kRoutes));
  EXPECT_FALSE(gps.CanTransfer(CGPSInterface::kToDevice, CGPSInterface::kTracks));
  EXPECT_FALSE(gps.CanTransfer(CGPSInterface::kFromDevice, CGPSInterface::kWaypoints));
  ASSERT_TRUE(clock->WaitForIdlePoll());

  GpsObjectList objects;
  GpsRoute route;
  route.name = "Long way";
  for (int i = 0; i < 31; ++i)
    route.points.push_back({"Buoy " + std::to_string(i % 20), {50.0 + i * 0.01, -1.0}});
  objects.routes.push_back(route);
  std::string warning;
  std::string expected;
  for (std::string s : MakeRouteSentences(objects.routes, 6, warning)) {
    NMEAAppendChecksumCRLF(s);
    expected += s;
  }
  std::string sent;
  std::thread device([&] { sent = pty.ReadFromMaster(expected.size()); });
  EXPECT_EQ(gps.Export(CGPSInterface::kRoutes, objects), 1);
  device.join();
  EXPECT_EQ(sent, expected);
  EXPECT_NE(sent.find("$ECWPL,5000.000,N,00100.000,W,BUOY0*"), std::string::npos) << sent;
  EXPECT_NE(sent.find("$ECRTE,15,1,c,01,BUOY0,BUOY1*"), std::string::npos) << sent;
  EXPECT_EQ(gps.message, "Route \"Long way\" has 31 points: only its first 30 were sent");

  EXPECT_EQ(gps.Export(CGPSInterface::kTracks, objects), 0);
  EXPECT_EQ(gps.message, "No GPS exports supported");
}

TEST(NmeaInput, DemoFileIsSimulatedAndRefusesOutput) {
  vd::test::TempDir dir;
  const std::string path = dir.File("Demo Track.NMEA");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      path, Rmc("120000") + Rmc("120001") + Rmc("120001") + "garbage\r\n" + Rmc("120002")));
  NoticeWindow window;
  GPS_position_info record;
  CNMEA_input gps(window.window(), NmeaParams(path), record, std::make_shared<InstantClock>());
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFailure));
  // Every fix but the first, the repeated second included; then the end of the file.
  ASSERT_EQ(window.notices().size(), 4u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(window.notices()[i].code, kGpsNoticeFix);
    EXPECT_TRUE(window.notices()[i].record.simulated);
    EXPECT_STREQ(window.notices()[i].record.status, "Simulated Input");
  }
  EXPECT_STREQ(window.notices()[3].record.status, "Communication timeout");

  GpsObjectList objects;
  objects.marks.push_back({"A", {1, 2}});
  EXPECT_EQ(gps.Export(CGPSInterface::kWaypoints, objects), 0);
  EXPECT_EQ(gps.message, "Cannot send to a demo file");
}

TEST(NmeaInput, DebugLogHoldsEveryInterfaceOfTheRun) {
  vd::test::TempDir dir;
  const auto old_folder = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  ASSERT_TRUE(vd::os::SaveFileAtomically(kGpsDebugLogName, "from an earlier run\r\n"));
  GPSParams params = NmeaParams("/nonexistent/ttyUSB7");
  params.debug_log = true;
  for (int run = 0; run < 2; ++run) {
    NoticeWindow window;
    GPS_position_info record;
    CNMEA_input gps(window.window(), params, record, std::make_shared<InstantClock>());
    ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFailure));
    if (run == 0) {
      GpsLogPrintf(&gps, "%s", std::string(200, 'x').c_str());
      GpsLogPrintf(&gps, "Output: ");
      GpsLogPrintf(&gps, "$ECWPL\r\n");
    }
  }
  std::string log;
  ASSERT_TRUE(vd::os::ReadWholeFile(kGpsDebugLogName, log));
  std::filesystem::current_path(old_folder);
  const std::string dashes(42, '-');
  const std::string run_text =
      "OpenPort: /nonexistent/ttyUSB7 1 0 4 1 0 0\r\nCan't open COM port\r\n";
  EXPECT_EQ(log, run_text + std::string(145, 'x') + "\r\nOutput: $ECWPL\r\n" +
                     "~CNMEA_input: closing port\r\n" + dashes + "\r\n" + run_text +
                     "~CNMEA_input: closing port\r\n" + dashes + "\r\n");
}

TEST(CreateGpsInterface, ByKind) {
  NoticeWindow window;
  GPS_position_info record;
  record.simulated = 1;
  record.restart_silently = 0;
  GPSParams params;
  std::string error = "x";
  EXPECT_EQ(CreateGpsInterface(window.window(), params, record, &error), nullptr);
  EXPECT_TRUE(error.empty());
  EXPECT_FALSE(record.simulated);
  EXPECT_TRUE(record.restart_silently);

  for (auto [type, kind] : {std::pair{2, 0}, {2, 1}, {2, 7}, {5, 0}, {3, 0}}) {
    params.type = type;
    params.port_kind = kind;
    error.clear();
    EXPECT_EQ(CreateGpsInterface(window.window(), params, record, &error), nullptr);
    EXPECT_FALSE(error.empty()) << type << " " << kind;
  }

  params = NmeaParams("/nonexistent/ttyUSB8");
  auto gps = CreateGpsInterface(window.window(), params, record, &error);
  ASSERT_NE(dynamic_cast<CNMEA_input*>(gps.get()), nullptr);
  gps.reset();  // stops the reader during its start-up wait
}

}  // namespace
