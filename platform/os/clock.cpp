#include "platform/os/clock.h"

#include <chrono>

namespace vd::os {

uint64_t TickCountMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int64_t NowSeconds1970() {
  using namespace std::chrono;
  return floor<seconds>(system_clock::now()).time_since_epoch().count();
}

int64_t NowSeconds1601() { return NowSeconds1970() + kSeconds1601To1970; }

}  // namespace vd::os
