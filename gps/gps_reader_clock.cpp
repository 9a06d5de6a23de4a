#include "gps/gps_reader_clock.h"

#include "platform/os/clock.h"
#include "platform/os/sync.h"

namespace {

class SystemClock : public GpsReaderClock {
 public:
  uint64_t NowMs() override { return vd::os::TickCountMs(); }
  int64_t NowSeconds1970() override { return vd::os::NowSeconds1970(); }
  bool Sleep(int ms, const std::stop_token& stop) override {
    return !vd::os::WaitForStop(stop, ms);
  }
};

}  // namespace

std::shared_ptr<GpsReaderClock> GpsReaderClock::System() {
  static const std::shared_ptr<GpsReaderClock> clock = std::make_shared<SystemClock>();
  return clock;
}
