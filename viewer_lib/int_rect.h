#pragma once
// An integer rectangle of screen or level pixels: (left, top) inside, (right, bottom) just
// outside.
#include <cstdint>

struct IntRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  // A positive area in common: rectangles that only share an edge do not intersect.
  bool Intersects(const IntRect& other) const {
    return top < other.bottom && bottom > other.top && left < other.right && right > other.left;
  }
  // Shrinks to the part shared with `other`; without one the result is empty with right = left
  // and bottom = top. Returns the new left.
  int32_t Clip(const IntRect& other);

  friend bool operator==(const IntRect&, const IntRect&) = default;
};
