#include "overlays/model/screen_points.h"

#include <algorithm>
#include <limits>

#include "overlays/model/screen_transform.h"

namespace {

constexpr float kHitRadiusSquared = 400.0f;  // 20 pixels

float SquaredDistance(ScreenPointF a, float x, float y) {
  return (a.x - x) * (a.x - x) + (a.y - y) * (a.y - y);
}

}  // namespace

bool PolylineNearF(std::span<const ScreenPointF> points, float sx, float sy) {
  for (size_t i = 0; i < points.size(); ++i) {
    const ScreenPointF a = points[i];
    if (SquaredDistance(a, sx, sy) <= kHitRadiusSquared) return true;
    if (i + 1 == points.size()) break;
    const ScreenPointF b = points[i + 1];
    const float bx = b.x - a.x, by = b.y - a.y, px = sx - a.x, py = sy - a.y;
    const float length_squared = bx * bx + by * by;
    const float t = px * bx + py * by;
    const float cross = px * by - py * bx;
    if (t >= 0.0f && t <= length_squared && length_squared * kHitRadiusSquared > cross * cross) {
      return true;
    }
  }
  return false;
}

void CScreenPoints::Clear() {
  points.clear();
  screen_points.clear();
  kind = kNone;
  hit_count = 0;
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

bool CScreenPoints::Project(const CScreenTransform& transform) {
  const vd::ui::Rect& visible = transform.visible;
  // Boxes that only share an edge do not meet.
  if (!(top < visible.bottom && bottom > visible.top && left < visible.right &&
        right > visible.left)) {
    return false;
  }
  if (screen_points.empty()) {
    screen_points.reserve(points.size());
    for (const ScreenPointF& point : points) {
      screen_points.push_back(transform.ToScreen(point.x, point.y));
    }
  }
  return true;
}

bool CScreenPoints::HitTest(float sx, float sy) const {
  switch (kind) {
    case kPoints: {
      const size_t count = std::min(screen_points.size(), size_t(std::max(hit_count, 0)));
      return std::any_of(screen_points.begin(), screen_points.begin() + count,
                         [&](ScreenPointF p) { return SquaredDistance(p, sx, sy) < kHitRadiusSquared; });
    }
    case kPolyline:
      return PolylineNearF(screen_points, sx, sy);
    case kAlwaysHit:
      return true;
    default:
      return false;
  }
}
