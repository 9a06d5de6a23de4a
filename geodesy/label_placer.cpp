#include "geodesy/label_placer.h"

#include <algorithm>
#include <cmath>
#include <limits>

// Bounds of the pixels collected for one label.
struct LabelPlacer::PixelBox {
  double min_x = 1e10;
  double max_x = -1e10;
  double min_y = 1e10;
  double max_y = -1e10;

  bool empty() const { return min_x > max_x; }
  // Whether the box with (x, y) added still fits in width x height.
  bool Fits(double x, double y, double width, double height) const {
    return max_x - x <= width && x - min_x <= width && max_y - y <= height && y - min_y <= height;
  }
  void Add(double x, double y) {
    min_x = std::min(min_x, x);
    max_x = std::max(max_x, x);
    min_y = std::min(min_y, y);
    max_y = std::max(max_y, y);
  }
};

LabelPlacer::LabelPlacer(std::span<const ScreenPoint> points, int width, int height,
                         const ScreenRect& allowed)
    : allowed_(allowed) {
  SetPolyline(points, width, height);
}

void LabelPlacer::SetPolyline(std::span<const ScreenPoint> points, int width, int height) {
  points_ = points;
  walked_ = 0.0;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
}

bool LabelPlacer::IsFree(int64_t x, int64_t y) const {
  const auto contains = [x, y](const ScreenRect& r) {
    return r.left <= x && x <= r.right && r.top <= y && y <= r.bottom;
  };
  return contains(allowed_) && std::none_of(placed_.begin(), placed_.end(), contains);
}

bool LabelPlacer::Place(const PixelBox& box, ScreenRect& rect) {
  ScreenRect r;
  r.left = static_cast<int32_t>(static_cast<int64_t>(box.min_x + box.max_x) / 2 - width_ / 2);
  r.right = static_cast<int32_t>(int64_t{r.left} + width_);
  r.top = static_cast<int32_t>(static_cast<int64_t>(box.min_y + box.max_y) / 2 - height_ / 2);
  r.bottom = static_cast<int32_t>(int64_t{r.top} + height_);
  const auto overlaps = [&r](const ScreenRect& o) {
    return o.left <= r.right && r.left <= o.right && o.top <= r.bottom && r.top <= o.bottom;
  };
  if (std::any_of(placed_.begin(), placed_.end(), overlaps)) return false;
  placed_.push_back(r);
  rect = r;
  return true;
}

bool LabelPlacer::FindPosition(ScreenRect& rect) {
  PixelBox box;
  while (points_.size() >= 2) {
    const ScreenPoint from = points_[0];
    const ScreenPoint to = points_[1];
    if (from == to) {
      points_ = points_.subspan(1);
      continue;
    }
    const double dx = static_cast<double>(to.x) - from.x;
    const double dy = static_cast<double>(to.y) - from.y;
    const double length = std::hypot(dx, dy);
    const double ux = dx / length;
    const double uy = dy / length;
    // Pixels lie at distances walked_ + k, k = 0 .. steps - 1, into the segment. Only the stretch
    // that can reach the allowed rectangle is visited: the walk costs no more than the screen,
    // whatever the segment's length.
    const double steps = walked_ < length ? std::ceil(length - walked_) : 0.0;
    double enter = -std::numeric_limits<double>::infinity();
    double leave = std::numeric_limits<double>::infinity();
    const auto clip = [&enter, &leave](double start, double step, double low, double high) {
      constexpr double kSlack = 2.0;  // truncation moves a position by less than one pixel
      if (step == 0.0) {
        if (start < low - kSlack || start > high + kSlack) {
          leave = -std::numeric_limits<double>::infinity();
        }
        return;
      }
      const double a = (low - kSlack - start) / step;
      const double b = (high + kSlack - start) / step;
      enter = std::max(enter, std::min(a, b));
      leave = std::min(leave, std::max(a, b));
    };
    clip(from.x, ux, allowed_.left, allowed_.right);
    clip(from.y, uy, allowed_.top, allowed_.bottom);
    const double first = std::max(0.0, std::ceil(enter - walked_));
    const double last = std::min(steps - 1.0, std::floor(leave - walked_));
    for (double k = first; k <= last; ++k) {
      const double h = walked_ + k;
      // Truncated towards zero, as pixel positions have always been taken here.
      const double x = static_cast<double>(static_cast<int64_t>(from.x + ux * h));
      const double y = static_cast<double>(static_cast<int64_t>(from.y + uy * h));
      if (!IsFree(static_cast<int64_t>(x), static_cast<int64_t>(y))) continue;
      if (!box.Fits(x, y, width_, height_)) {
        if (Place(box, rect)) {
          walked_ = h;  // the next label starts at this pixel
          return true;
        }
        box = PixelBox();  // that label would cover an earlier one: start afresh here
      }
      box.Add(x, y);
    }
    walked_ += steps - length;
    points_ = points_.subspan(1);
  }
  return !box.empty() && Place(box, rect);
}
