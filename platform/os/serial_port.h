#pragma once
// A serial port opened by device path ("/dev/ttyUSB0"), in raw mode: no line editing, no echo,
// no flow control, no translation of any byte.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vd::os {

class SerialPort {
 public:
  struct Settings {
    uint32_t baud = 4800;       // any positive rate; rates without a termios constant are set
                                // through the kernel's arbitrary-rate interface
    int byte_size = 8;          // 5 to 8
    char parity = 'N';          // N(one), E(ven), O(dd), M(ark), S(pace)
    int stop_bits = 1;          // 1 or 2
    int read_timeout_ms = 200;  // negative: wait without limit
    int write_timeout_ms = -1;  // negative: wait without limit
  };

  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens and configures the port; a device that is not a terminal (a plain file) is refused.
  // Pending input is discarded. An open port is closed first.
  bool Open(const std::string& device, const Settings& settings);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Waits at most read_timeout_ms for the first byte, then returns what has arrived (up to
  // size). 0 on time-out, -1 on error.
  int64_t Read(void* data, size_t size);
  // Writes everything unless write_timeout_ms runs out first: the count written, -1 on error.
  int64_t Write(const void* data, size_t size);

  std::string LastError() const { return last_error_; }

 private:
  bool Fail(const std::string& what);

  int fd_ = -1;
  Settings settings_;
  std::string last_error_;
};

}  // namespace vd::os
