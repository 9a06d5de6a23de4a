#pragma once
// Screen geometry of an overlay object for one view: what Project computes and Draw uses.
#include <cstdint>
#include <vector>

struct ScreenPointF {
  float x = 0.0f;
  float y = 0.0f;
};

class CScreenPoints {
 public:
  CScreenPoints() { Clear(); }

  // Empties the list, clears both flags and sets every bound to the largest int32.
  void Clear();
  void Append(ScreenPointF point);
  // The box of the list (coordinates truncated to integers) and its first point; without
  // points a box of zeros and null.
  const ScreenPointF* ComputeBounds();

  std::vector<ScreenPointF> points;
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t drawn_count = 0;
  bool has_points = false;
  bool valid = false;  // the geometry belongs to the view it was projected for
};
