#pragma once
// A GPS fix as the newer generation delivers it on Listener<CDataGPSPosition>.
#include <cstdint>

#include "overlays/model/data_speed_direction.h"

struct CDataGPSPosition {
  static constexpr double kNoPosition = 1000.0;

  bool valid = false;  // fixes without it are ignored
  double latitude = kNoPosition;
  double longitude = kNoPosition;
  double time = 0.0;     // seconds since 1970 UTC
  int32_t altitude = 0;  // metres
  int32_t quality = 0;
  CDataSpeedDirection motion;
};
