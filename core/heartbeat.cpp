#include "core/heartbeat.h"

#include <cstdlib>

void CHeartbeat::Tick() {
  CHeartbeat tick;
  Listener<CHeartbeat>::Fire(tick);
}

CHeartbeat::Counter::Counter(int32_t period)
    : period_(period > 0 ? period : 1), countdown_((std::rand() & 0x7FFF) % period_ + 1) {}

void CHeartbeat::Counter::OnEvent(CHeartbeat& /*tick*/) {
  if (--countdown_ > 0) return;
  // Reloaded first: OnElapsed may destroy this counter.
  countdown_ = period_;
  OnElapsed();
}
