// The serial link over a pseudo-terminal pair, with the device played by the test.
#include "gps/garmin/garmin_serial.h"

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gps/garmin/tests/fake_garmin_device.h"
#include "gps/tests/gps_test_support.h"
#include "tests/pty_pair.h"

namespace {

using vd::test::FakeGarminDevice;
using vd::test::InstantClock;
using vd::test::NoticeWindow;
using vd::test::PtyPair;

std::string Frame(const GarminPacket& p) { return EncodeSerialFrame(p); }
std::string Ack(uint8_t id) { return Frame({kPidAck, {id, 0}}); }

struct SerialRig {
  SerialRig() {
    EXPECT_TRUE(pty.Open());
    params.type = GPSParams::kGarmin;
    params.port = pty.slave_path();
    gps = std::make_unique<CGarminSerial>(window.window(), params, record,
                                          std::make_shared<InstantClock>(), false);
  }
  PtyPair pty;
  NoticeWindow window;
  GPSParams params;
  GPS_position_info record;
  std::unique_ptr<CGarminSerial> gps;
};

TEST(GarminSerial, ReceivedPacketsAreAcknowledgedAndDamagedOnesRefused) {
  SerialRig rig;
  ASSERT_TRUE(rig.gps->Open());
  const GarminPacket packet{kPidWaypoint, {1, 0x10, 3}};
  std::string damaged = Frame(packet);
  damaged[damaged.size() - 3] = static_cast<char>(damaged[damaged.size() - 3] + 1);
  // An acknowledgement while waiting for data is skipped; a checksum off by one is answered
  // with NAK, and the device's repeat is accepted.
  ASSERT_TRUE(rig.pty.WriteToMaster(Ack(10) + damaged + Frame(packet)));
  GarminPacket got;
  ASSERT_TRUE(rig.gps->ReceivePacket(got));
  EXPECT_EQ(got, packet);
  const std::string expected = Frame({kPidNak, {}}) + Ack(kPidWaypoint);
  EXPECT_EQ(rig.pty.ReadFromMaster(expected.size()), expected);
}

TEST(GarminSerial, SentPacketsAreRepeatedUntilAcknowledged) {
  SerialRig rig;
  ASSERT_TRUE(rig.gps->Open());
  const GarminPacket packet{kPidWaypoint, {0x10}};
  const std::string wire("\x10\x23\x01\x10\x10\xcc\x10\x03", 8);  // the 0x10 goes out twice
  ASSERT_EQ(Frame(packet), wire);
  std::string seen;
  std::thread device([&] {
    // The first copy goes unanswered; the repeat gets a wrong acknowledgement, then the right one.
    seen = rig.pty.ReadFromMaster(2 * wire.size());
    rig.pty.WriteToMaster(Ack(kPidRecords) + Ack(kPidWaypoint));
  });
  EXPECT_TRUE(rig.gps->SendPacket(packet));
  device.join();
  EXPECT_EQ(seen, wire + wire);
}

TEST(GarminSerial, SilentDeviceEndsEachDirectionAfterTenRounds) {
  SerialRig rig;
  ASSERT_TRUE(rig.gps->Open());
  EXPECT_FALSE(rig.gps->SendPacket({kPidWaypoint, {1}}));
  EXPECT_EQ(rig.gps->message, "Timeout sending packet: 35");
  rig.gps->message.clear();
  GarminPacket got;
  EXPECT_FALSE(rig.gps->ReceivePacket(got));
  EXPECT_EQ(rig.gps->message, "Timeout receiving packet");
}

TEST(GarminSerial, PortThatCannotBeOpened) {
  NoticeWindow window;
  GPSParams params;
  params.port = "/nonexistent/ttyS9";
  GPS_position_info record;
  CGarminSerial gps(window.window(), params, record, std::make_shared<InstantClock>(), false);
  EXPECT_FALSE(gps.Identify());
  EXPECT_EQ(gps.message.rfind("Can't open /nonexistent/ttyS9\nError ", 0), 0u) << gps.message;
}

// Plays a FakeGarminDevice on the device's end of the pty: acknowledges what it receives and
// sends its answers, each repeated until acknowledged.
class SerialDevice {
 public:
  SerialDevice(PtyPair& pty, std::shared_ptr<FakeGarminDevice> device)
      : pty_(pty), device_(std::move(device)), thread_([this](std::stop_token stop) { Run(stop); }) {}

 private:
  bool ReadByte(uint8_t& b, const std::stop_token& stop) {
    while (!stop.stop_requested()) {
      pollfd p{pty_.master_fd(), POLLIN, 0};
      if (poll(&p, 1, 50) == 1) return read(pty_.master_fd(), &b, 1) == 1;
    }
    return false;
  }
  bool Receive(GarminPacket& packet, const std::stop_token& stop) {
    for (;;) {
      const FrameResult r =
          DecodeSerialFrame([&](uint8_t& b) { return ReadByte(b, stop); }, packet);
      if (r == FrameResult::kOk) return true;
      if (stop.stop_requested()) return false;
    }
  }
  void Run(std::stop_token stop) {
    GarminPacket in;
    while (Receive(in, stop)) {
      if (in.id == kPidAck || in.id == kPidNak) continue;
      pty_.WriteToMaster(Ack(in.id));
      for (const GarminPacket& out : device_->Handle(in)) {
        GarminPacket reply;
        do {
          pty_.WriteToMaster(Frame(out));
          if (!Receive(reply, stop)) return;
        } while (reply.id != kPidAck);
      }
    }
  }

  PtyPair& pty_;
  std::shared_ptr<FakeGarminDevice> device_;
  std::jthread thread_;
};

TEST(GarminSerial, MarksRoundTripThroughADeviceOnTheLine) {
  SerialRig rig;
  auto device = std::make_shared<FakeGarminDevice>();
  SerialDevice line(rig.pty, device);
  std::vector<GarminWaypoint> marks(2);
  marks[0].ident = "ONE";
  marks[0].lat = 12.5;
  marks[1].ident = "TWO";
  marks[1].lon = -3.25;
  CGarminIO& gps = *rig.gps;
  ASSERT_TRUE(gps.Transfer([&] { return gps.PutWaypoints(marks); })) << gps.message;
  std::vector<GarminWaypoint> back;
  ASSERT_TRUE(gps.Transfer([&] { return gps.GetWaypoints(back); })) << gps.message;
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].ident, "ONE");
  EXPECT_NEAR(back[0].lat, 12.5, 1e-6);
  EXPECT_EQ(back[1].ident, "TWO");
  EXPECT_NEAR(back[1].lon, -3.25, 1e-6);
  EXPECT_EQ(gps.device_description, device->description);
  rig.gps.reset();  // before the line goes
}

}  // namespace

namespace {

TEST(GarminSerial, SilentDeviceFailsTheLiveThreadAndStoppingItJoins) {
  PtyPair pty;
  ASSERT_TRUE(pty.Open());
  NoticeWindow window;
  GPSParams params;
  params.port = pty.slave_path();
  GPS_position_info record;
  {
    // Stopped while it waits for a device that never answers.
    CGarminSerial gps(window.window(), params, record, std::make_shared<InstantClock>());
  }
  CGarminSerial gps(window.window(), params, record, std::make_shared<InstantClock>());
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFailure));
  EXPECT_FALSE(window.notices().back().record.valid);
  EXPECT_STREQ(window.notices().back().record.status, "Timeout sending packet: 254");
  EXPECT_TRUE(window.notices().back().record.restart_silently);
}

}  // namespace
