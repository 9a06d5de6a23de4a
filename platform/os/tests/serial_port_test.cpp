// The serial port against pseudo-terminal pairs. This file reads the line settings back
// through the kernel's termios2 interface, so it must not include <termios.h>.
#include "platform/os/serial_port.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#include "tests/pty_pair.h"
#include "tests/temp_dir.h"

namespace {

using vd::os::SerialPort;
using vd::test::PtyPair;

// Reads from the port until `size` bytes came or a read times out.
std::string ReadPort(SerialPort& port, size_t size) {
  std::string out;
  char buf[512];
  while (out.size() < size) {
    int64_t n = port.Read(buf, std::min(sizeof buf, size - out.size()));
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

struct RoundTripCase {
  uint32_t baud;
  bool needs_termios2;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.baud << " baud"; }

class SerialRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(SerialRoundTrip, BytesPassUnchangedBothWaysAtTheRateSet) {
  const RoundTripCase& c = GetParam();
  PtyPair pty;
  ASSERT_TRUE(pty.Open());
  SerialPort port;
  SerialPort::Settings settings;
  settings.baud = c.baud;
  settings.read_timeout_ms = 60000;
  settings.write_timeout_ms = 60000;
  ASSERT_TRUE(port.Open(pty.slave_path(), settings)) << port.LastError();

  // The rate as the kernel holds it for the line.
  int fd = open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios2 tio{};
  ASSERT_EQ(ioctl(fd, TCGETS2, &tio), 0);
  close(fd);
  EXPECT_EQ(tio.c_ospeed, c.baud);
  EXPECT_EQ(tio.c_ispeed, c.baud);
  EXPECT_EQ((tio.c_cflag & CBAUD) == BOTHER, c.needs_termios2);

  // Raw mode: carriage returns, flow-control and interrupt characters pass untouched.
  const std::string bytes = "$GPRMC,123519,A*6A\r\n" + AllByteValues();
  ASSERT_TRUE(pty.WriteToMaster(bytes));
  EXPECT_EQ(ReadPort(port, bytes.size()), bytes);
  ASSERT_EQ(port.Write(bytes.data(), bytes.size()), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(pty.ReadFromMaster(bytes.size()), bytes);
}

INSTANTIATE_TEST_SUITE_P(Rates, SerialRoundTrip,
                         ::testing::Values(RoundTripCase{4800, false}, RoundTripCase{14400, true},
                                           RoundTripCase{256000, true}),
                         [](const auto& info) { return std::to_string(info.param.baud); });

TEST(SerialPort, ReadTimesOutWithZeroAndReportsHangUp) {
  auto pty = std::make_unique<PtyPair>();
  ASSERT_TRUE(pty->Open());
  SerialPort port;
  SerialPort::Settings settings;
  settings.read_timeout_ms = 50;
  ASSERT_TRUE(port.Open(pty->slave_path(), settings)) << port.LastError();
  char buf[16];
  EXPECT_EQ(port.Read(buf, sizeof buf), 0);

  // The device going away is an error, not an endless run of time-outs.
  pty.reset();
  EXPECT_EQ(port.Read(buf, sizeof buf), -1);
  EXPECT_FALSE(port.LastError().empty());
}

TEST(SerialPort, OpenRefusesMissingDevicesPlainFilesAndBadSettings) {
  PtyPair pty;
  ASSERT_TRUE(pty.Open());
  vd::test::TempDir dir;
  const std::string plain = dir.File("track.nmea");
  int fd = open(plain.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);

  struct Case {
    const char* name;
    std::string device;
    SerialPort::Settings settings;
  };
  const SerialPort::Settings good;
  auto with = [&](auto change) {
    SerialPort::Settings s = good;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"missing device", dir.File("ttyNone"), good},
      {"plain file", plain, good},
      {"byte size 9", pty.slave_path(), with([](auto& s) { s.byte_size = 9; })},
      {"byte size 4", pty.slave_path(), with([](auto& s) { s.byte_size = 4; })},
      {"parity X", pty.slave_path(), with([](auto& s) { s.parity = 'X'; })},
      {"stop bits 3", pty.slave_path(), with([](auto& s) { s.stop_bits = 3; })},
      {"baud 0", pty.slave_path(), with([](auto& s) { s.baud = 0; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SerialPort port;
    EXPECT_FALSE(port.Open(c.device, c.settings));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.LastError().empty());
    char buf[4];
    EXPECT_EQ(port.Read(buf, sizeof buf), -1);
    EXPECT_EQ(port.Write(buf, sizeof buf), -1);
  }

  // Every byte size and parity the port offers is accepted.
  for (int size = 5; size <= 8; ++size)
    for (char parity : {'N', 'E', 'O', 'M', 'S'}) {
      SerialPort port;
      EXPECT_TRUE(port.Open(pty.slave_path(), with([&](auto& s) {
        s.byte_size = size;
        s.parity = parity;
        s.stop_bits = 2;
      }))) << size << parity << ": " << port.LastError();
    }
}

}  // namespace
