#pragma once
// Thread signalling: events, counting semaphores and cooperative stop requests. Every wait takes
// a time-out in milliseconds (negative = no limit, 0 = just test) and may also end early when a
// stop is requested through a StopToken.
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace vd::os {

using StopSource = std::stop_source;
using StopToken = std::stop_token;

// Pauses a worker for timeout_ms or until stop is requested; true when stop was requested.
bool WaitForStop(const StopToken& stop, int timeout_ms);

class Event {
 public:
  // A manual-reset event stays set until Reset and releases every waiter; an auto-reset event
  // releases one waiter and resets itself.
  Event(bool manual_reset, bool initially_set);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event was set; false on time-out or stop.
  bool Wait(int timeout_ms = -1);
  bool Wait(const StopToken& stop, int timeout_ms = -1);

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  const bool manual_reset_;
  bool set_;
};

class Semaphore {
 public:
  // initial is kept within 0 .. maximum, and maximum is at least 1.
  Semaphore(int initial, int maximum);
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Adds count; false and nothing added when count < 1 or the total would exceed the maximum.
  bool Release(int count = 1);
  // Takes one; false on time-out or stop.
  bool Wait(int timeout_ms = -1);
  bool Wait(const StopToken& stop, int timeout_ms = -1);

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  const int maximum_;
  int count_;
};

}  // namespace vd::os
