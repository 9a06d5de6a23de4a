#pragma once
// One point of a track of the newer overlay model; also its stored form (32 bytes).
#include <cstdint>

struct CTrackPoint {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double time = 0.0;       // seconds since 1970 UTC; 0 = not known
  int32_t elevation = 0;   // metres; 0 = not known
  int32_t reserved = 0;
};
static_assert(sizeof(CTrackPoint) == 32, "the stored form of a track point");
