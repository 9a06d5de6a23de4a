#pragma once
// A compass heading smoothed over a time constant: each new reading moves the value towards it
// by the share of the time constant that passed since the last reading (the difference taken
// the short way round); a reading after a longer pause, or the first one, is taken as it is.
#include <optional>

class CDampedAngle {
 public:
  // time_constant_seconds < 0: the own-position setting compass_damping_time_const, read at each
  // update.
  explicit CDampedAngle(double time_constant_seconds = -1.0)
      : time_constant_(time_constant_seconds) {}

  // Feeds angle (degrees) read at now_seconds (any steady clock); returns the value, 0..360.
  double Update(double angle, double now_seconds);
  // Forgets the readings: the next one is taken as it is.
  void Reset() { last_update_.reset(); }

  double value() const { return value_; }

  // Seconds of the steady clock the own position feeds its headings with.
  static double SteadyNow();

 private:
  double time_constant_;
  double value_ = 0.0;
  std::optional<double> last_update_;
};
