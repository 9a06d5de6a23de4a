#include "overlays/model/overlay_time.h"

#include <chrono>

#include "core/heartbeat.h"
#include "core/listener.h"

namespace {

double ReadClock() {
  const auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
  return TimeFrom1970(std::chrono::duration<double>(since_1970).count());
}

}  // namespace

double GetNow() {
  EventList* heartbeat = Listener<CHeartbeat>::List();
  if (heartbeat == nullptr || !heartbeat->delivering()) return ReadClock();
  // The list's cached value is 0.0 at the start of every delivery.
  if (heartbeat->cached_value == 0.0) heartbeat->cached_value = ReadClock();
  return heartbeat->cached_value;
}
