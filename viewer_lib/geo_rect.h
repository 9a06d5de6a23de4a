#pragma once
// A rectangle of world coordinates, (left, top) inside and (right, bottom) just outside.

struct GeoRect {
  double left = 0.0;
  double top = 0.0;
  double right = 0.0;
  double bottom = 0.0;

  bool Contains(double x, double y) const {
    return left <= x && x < right && top <= y && y < bottom;
  }
};
