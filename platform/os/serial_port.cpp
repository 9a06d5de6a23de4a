#include "platform/os/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vd::os {

namespace detail {
// In serial_port_termios2.cpp: the kernel's headers for arbitrary rates clash with <termios.h>.
bool SetArbitraryBaud(int fd, uint32_t baud);
}  // namespace detail

namespace {

struct StandardRate {
  uint32_t baud;
  speed_t constant;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

const StandardRate* FindStandardRate(uint32_t baud) {
  for (const auto& rate : kStandardRates)
    if (rate.baud == baud) return &rate;
  return nullptr;
}

using Clock = std::chrono::steady_clock;

// A point in time timeout_ms from now; a negative time-out never runs out.
class Deadline {
 public:
  explicit Deadline(int timeout_ms)
      : unlimited_(timeout_ms < 0), at_(Clock::now() + std::chrono::milliseconds(timeout_ms)) {}
  // For poll: -1 without limit, else the milliseconds left (0 once past).
  int LeftMs() const {
    if (unlimited_) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

 private:
  bool unlimited_;
  Clock::time_point at_;
};

// Waits until fd is ready for events or the deadline has passed. Returns the poll events,
// 0 on time-out, -1 on error.
int WaitFor(int fd, short events, const Deadline& deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int r = poll(&p, 1, deadline.LeftMs());
    if (r > 0) return p.revents;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Fail(const std::string& what) {
  last_error_ = what;
  if (errno) last_error_ += std::string(": ") + std::strerror(errno);
  return false;
}

bool SerialPort::Open(const std::string& device, const Settings& settings) {
  Close();
  errno = 0;
  tcflag_t size_flag;
  switch (settings.byte_size) {
    case 5: size_flag = CS5; break;
    case 6: size_flag = CS6; break;
    case 7: size_flag = CS7; break;
    case 8: size_flag = CS8; break;
    default: return Fail("Unsupported byte size " + std::to_string(settings.byte_size));
  }
  tcflag_t parity_flags;
  switch (settings.parity) {
    case 'N': parity_flags = 0; break;
    case 'E': parity_flags = PARENB; break;
    case 'O': parity_flags = PARENB | PARODD; break;
    case 'M': parity_flags = PARENB | CMSPAR | PARODD; break;
    case 'S': parity_flags = PARENB | CMSPAR; break;
    default: return Fail(std::string("Unsupported parity '") + settings.parity + "'");
  }
  if (settings.stop_bits != 1 && settings.stop_bits != 2)
    return Fail("Unsupported stop bits " + std::to_string(settings.stop_bits));
  if (settings.baud == 0) return Fail("Baud rate 0");

  // Non-blocking: every wait goes through poll with the port's time-outs.
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return Fail("Cannot open " + device);
  auto fail = [&](const std::string& what) {
    int saved = errno;
    close(fd_);
    fd_ = -1;
    errno = saved;
    return Fail(what);
  };
  termios tio;
  if (tcgetattr(fd_, &tio) != 0) return fail(device + " is not a serial port");
  // Like the ports of other systems, one user at a time (root may still open it).
  ioctl(fd_, TIOCEXCL);

  cfmakeraw(&tio);
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | size_flag | parity_flags;
  if (settings.stop_bits == 2) tio.c_cflag |= CSTOPB;
  if (parity_flags) tio.c_iflag |= INPCK;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  const StandardRate* standard = FindStandardRate(settings.baud);
  cfsetspeed(&tio, standard ? standard->constant : B9600);
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return fail("Cannot configure " + device);
  if (!standard && !detail::SetArbitraryBaud(fd_, settings.baud))
    return fail("Cannot set " + std::to_string(settings.baud) + " baud on " + device);
  tcflush(fd_, TCIOFLUSH);
  settings_ = settings;
  last_error_.clear();
  return true;
}

void SerialPort::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

int64_t SerialPort::Read(void* data, size_t size) {
  errno = 0;
  if (fd_ < 0) return Fail("Port not open"), -1;
  if (size == 0) return 0;
  const Deadline deadline(settings_.read_timeout_ms);
  for (;;) {
    int ready = WaitFor(fd_, POLLIN, deadline);
    if (ready == 0) return 0;
    if (ready < 0) return Fail("Read failed"), -1;
    ssize_t n = read(fd_, data, size);
    if (n > 0) return n;
    // A line that hung up stays readable and reads nothing (or fails) from then on.
    if (n == 0 && (ready & (POLLHUP | POLLERR))) return Fail("Port hung up"), -1;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail("Read failed"), -1;
  }
}

int64_t SerialPort::Write(const void* data, size_t size) {
  errno = 0;
  if (fd_ < 0) return Fail("Port not open"), -1;
  const Deadline deadline(settings_.write_timeout_ms);
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd_, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail("Write failed"), -1;
    int ready = WaitFor(fd_, POLLOUT, deadline);
    if (ready == 0) break;
    if (ready < 0 || (ready & (POLLERR | POLLHUP))) return Fail("Write failed"), -1;
  }
  return static_cast<int64_t>(done);
}

}  // namespace vd::os
