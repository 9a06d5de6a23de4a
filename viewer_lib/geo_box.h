#pragma once
// A box of two coordinates kept as minimum and maximum of each; a new box is empty (each
// minimum above its maximum) until its first point.
#include "geodesy/geo_point.h"

struct GeoBox {
  double min_a = 1e300;  // first coordinate (latitude, or x)
  double max_a = -1e300;
  double min_b = 1e300;  // second coordinate (longitude, or y)
  double max_b = -1e300;

  void Extend(const GeoPoint& point);
};
