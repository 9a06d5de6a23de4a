#include "platform/os/sync.h"

#include <algorithm>
#include <chrono>

namespace vd::os {
namespace {

// Waits on cv until ready() holds, the time-out passes or stop is requested; returns ready().
template <class Ready>
bool WaitUntilReady(std::condition_variable_any& cv, std::unique_lock<std::mutex>& lock,
                    const StopToken& stop, int timeout_ms, Ready ready) {
  if (timeout_ms < 0) return cv.wait(lock, stop, ready);
  return cv.wait_for(lock, stop, std::chrono::milliseconds(timeout_ms), ready);
}

}  // namespace

bool WaitForStop(const StopToken& stop, int timeout_ms) {
  std::mutex mutex;
  std::condition_variable_any never_notified;
  std::unique_lock lock(mutex);
  WaitUntilReady(never_notified, lock, stop, timeout_ms, [] { return false; });
  return stop.stop_requested();
}

Event::Event(bool manual_reset, bool initially_set) : manual_reset_(manual_reset), set_(initially_set) {}

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  // Every waiter re-checks under the lock, so for an auto-reset event exactly one takes it.
  changed_.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::Wait(int timeout_ms) { return Wait(StopToken(), timeout_ms); }

bool Event::Wait(const StopToken& stop, int timeout_ms) {
  std::unique_lock lock(mutex_);
  if (!WaitUntilReady(changed_, lock, stop, timeout_ms, [this] { return set_; })) return false;
  if (!manual_reset_) set_ = false;
  return true;
}

Semaphore::Semaphore(int initial, int maximum)
    : maximum_(std::max(maximum, 1)), count_(std::clamp(initial, 0, maximum_)) {}

bool Semaphore::Release(int count) {
  {
    std::lock_guard lock(mutex_);
    if (count < 1 || count > maximum_ - count_) return false;
    count_ += count;
  }
  changed_.notify_all();
  return true;
}

bool Semaphore::Wait(int timeout_ms) { return Wait(StopToken(), timeout_ms); }

bool Semaphore::Wait(const StopToken& stop, int timeout_ms) {
  std::unique_lock lock(mutex_);
  if (!WaitUntilReady(changed_, lock, stop, timeout_ms, [this] { return count_ > 0; })) return false;
  --count_;
  return true;
}

}  // namespace vd::os
