// Rates without a termios constant (14400, 28800, 56000, 128000, 256000 ...) through the
// kernel's termios2 interface. Kept apart: <asm/termbits.h> clashes with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace vd::os::detail {

bool SetArbitraryBaud(int fd, uint32_t baud) {
  termios2 tio;
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace vd::os::detail
