#pragma once
// A list of points read as a polygon when closed.
#include <vector>

#include "geodesy/geo_point.h"

struct PointList {
  std::vector<GeoPoint> points;  // (x, y) pairs in the lat, lon slots
  bool closed = false;

  // The rectangle (x, y) .. (x + w, y + h) as a closed polygon, clockwise from (x, y) on a
  // screen (y down).
  void Build(double h, double x, double y, double w);
};
