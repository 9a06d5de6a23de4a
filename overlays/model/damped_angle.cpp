#include "overlays/model/damped_angle.h"

#include <chrono>
#include <cmath>

#include "overlays/model/overlay_gps_position.h"

namespace {

double Wrap360(double degrees) {
  degrees = std::fmod(degrees, 360.0);
  return degrees < 0 ? degrees + 360.0 : degrees;
}

double Wrap180(double degrees) {
  degrees = Wrap360(degrees);
  return degrees > 180.0 ? degrees - 360.0 : degrees;
}

}  // namespace

double CDampedAngle::Update(double angle, double now_seconds) {
  const double time_constant =
      time_constant_ < 0 ? COverlayGPSPosition::Settings().compass_damping_time_const
                         : time_constant_;
  const double factor = time_constant > 0 ? 1.0 / time_constant : 0.0;
  const double elapsed = last_update_ ? now_seconds - *last_update_ : 0.0;
  if (elapsed <= 0 || elapsed > time_constant) {
    value_ = Wrap360(angle);
  } else {
    value_ = Wrap360(value_ + factor * elapsed * Wrap180(angle - value_));
  }
  last_update_ = now_seconds;
  return value_;
}

double CDampedAngle::SteadyNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
