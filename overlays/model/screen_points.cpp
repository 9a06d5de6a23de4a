#include "overlays/model/screen_points.h"

#include <algorithm>
#include <limits>

void CScreenPoints::Clear() {
  points.clear();
  has_points = false;
  valid = false;
  left = top = right = bottom = std::numeric_limits<int32_t>::max();
}

void CScreenPoints::Append(ScreenPointF point) {
  points.push_back(point);
  has_points = true;
}

const ScreenPointF* CScreenPoints::ComputeBounds() {
  if (points.empty()) {
    left = top = right = bottom = 0;
    return nullptr;
  }
  left = right = static_cast<int32_t>(points.front().x);
  top = bottom = static_cast<int32_t>(points.front().y);
  for (const ScreenPointF& point : points) {
    const auto x = static_cast<int32_t>(point.x);
    const auto y = static_cast<int32_t>(point.y);
    left = std::min(left, x);
    right = std::max(right, x);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
  }
  return &points.front();
}
