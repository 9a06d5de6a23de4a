#pragma once
// The heartbeat: a periodic tick event whose subscribers are countdown counters. The program
// that wants periodic work calls CHeartbeat::Tick at its tick rate; nothing ticks by itself.
#include <cstdint>

#include "core/listener.h"

class CHeartbeat {
 public:
  class Counter;

  // Delivers one tick to every heartbeat subscriber.
  static void Tick();
};

// Calls OnElapsed once every `period` ticks. The first countdown is drawn at random from 1 to
// period, so that counters of equal period do their work on different ticks.
class CHeartbeat::Counter : public Listener<CHeartbeat> {
 public:
  // A period of 0 or less counts as 1 (every tick).
  explicit Counter(int32_t period);

  int32_t period() const { return period_; }
  // Ticks left until the next OnElapsed.
  int32_t countdown() const { return countdown_; }

  void OnEvent(CHeartbeat& tick) override;

 protected:
  // May destroy the counter.
  virtual void OnElapsed() = 0;

 private:
  int32_t period_;
  int32_t countdown_;
};
