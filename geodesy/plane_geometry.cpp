#include "geodesy/plane_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool PointInPolygon(double x, double y, std::span<const PlanePoint> points) {
  return WindingSum(x, y, points, [](const PlanePoint& p) { return p; }) != 0;
}

bool SquareTouchesPolygon(double x, double y, double side, std::span<const PlanePoint> points) {
  if (points.size() >= 2 && points.back().x == points.front().x &&
      points.back().y == points.front().y) {
    points = points.first(points.size() - 1);
  }
  if (points.empty()) return false;
  const double half = side / 2;
  const PlanePoint probes[] = {
      {x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}, {x + half, y + half}};
  for (const PlanePoint& probe : probes) {
    if (PointInPolygon(probe.x, probe.y, points)) return true;
  }
  for (const PlanePoint& v : points) {
    if (v.x >= x && v.x <= x + side && v.y >= y && v.y <= y + side) return true;
  }
  return false;
}

double PolygonArea(std::span<const double> xs, std::span<const double> ys) {
  const size_t n = std::min(xs.size(), ys.size());
  if (n < 3) return 0.0;
  double s = (ys[0] - ys[n - 1]) * (xs[n - 1] + xs[0]);
  for (size_t i = 1; i < n; ++i) s += (xs[i] + xs[i - 1]) * (ys[i] - ys[i - 1]);
  return std::fabs(s) / 2;
}

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Vec {
  double x;
  double y;
};

// The direct test of one point Q against the chord from A to P on each kind of point, and how far
// the arithmetic of that test may stray from exact geometry: ChordGrower's margins must exceed it.
//   kDiscMargin: relative margin of the disc test (P - Q).(Q - A) >= 0;
//   kLineMargin: relative margin on the tolerance distance;
//   kCrossError: bound on the rounding of cross(P - A, Q - A) / |P - A|, per unit of |Q - A|;
//   kMinLength, kMaxLength: lengths between which the test's products neither underflow nor
//   overflow.
struct PlaneKind {
  using Point = PlanePoint;
  using Tolerance = double;
  static constexpr double kDiscMargin = 1e-9;
  static constexpr double kLineMargin = 1e-6;
  static constexpr double kCrossError = 1e-14;
  static constexpr double kMinLength = 1e-100;
  static constexpr double kMaxLength = 1e75;

  static Vec Delta(const Point& from, const Point& to) { return {to.x - from.x, to.y - from.y}; }

  static bool Keeps(const Point& a, const Point& p, const Point& q, double tolerance) {
    if (!((p.x - q.x) * (q.x - a.x) + (p.y - q.y) * (q.y - a.y) >= 0)) return false;
    const double px = p.x - a.x;
    const double py = p.y - a.y;
    const double d2 = px * px + py * py;
    if (d2 == 0) return true;
    const double c = px * (q.y - a.y) - py * (q.x - a.x);
    return c * c / d2 <= tolerance;
  }
};

struct ScreenKind {
  using Point = ScreenPoint;
  using Tolerance = float;
  static constexpr double kDiscMargin = 1e-9;  // the disc test is exact here
  static constexpr double kLineMargin = 1e-2;
  static constexpr double kCrossError = 1e-6;
  static constexpr double kMinLength = 0.5;
  static constexpr double kMaxLength = 1e9;

  static Vec Delta(const Point& from, const Point& to) {
    return {static_cast<double>(int64_t{to.x} - from.x),
            static_cast<double>(int64_t{to.y} - from.y)};
  }

  static bool Keeps(const Point& a, const Point& p, const Point& q, float tolerance) {
    const int64_t vx = int64_t{q.x} - a.x;
    const int64_t vy = int64_t{q.y} - a.y;
    // Differences of 32-bit values need 33 bits, their products up to 66.
    const __int128 dot = static_cast<__int128>(int64_t{p.x} - q.x) * vx +
                         static_cast<__int128>(int64_t{p.y} - q.y) * vy;
    if (dot < 0) return false;
    const float px = static_cast<float>(int64_t{p.x} - a.x);
    const float py = static_cast<float>(int64_t{p.y} - a.y);
    const float d2 = px * px + py * py;
    if (d2 == 0) return true;
    const float c = px * static_cast<float>(vy) - py * static_cast<float>(vx);
    return c * c / d2 <= tolerance;
  }
};

// Growing a chord one end point at a time and testing every point behind the end is quadratic
// on a long straight track. ChordGrower gives the same answers faster. The last kWindow points
// behind the end are tested directly; the older ones are summarised so that one check can show
// that an end point passes for all of them:
// - Line test: seen from A, the chord passes within r of a point q when its direction lies in an
//   arc round q's direction of half-width asin(r / |q|). The intersection of these arcs, angles
//   from a base direction, is the sleeve [lo, hi].
// - Disc test: (P - Q).(Q - A) >= 0 reads |P - A| cos(angle between P - A and q) >= |q|. For
//   chord directions in an interval [wide_lo, wide_hi] holding the sleeve, the cosine is
//   smallest at an end of the interval; that gives each point a shortest chord it allows, and
//   the summary keeps the longest of these. The interval is fitted to the sleeve again, with a
//   pass over the summarised points, whenever the sleeve has halved - about once each time the
//   chord doubles in length.
// Both tests are narrowed by margins far above the rounding of the direct test, so an end point
// that the summary accepts passes the direct test for every summarised point. When the summary
// cannot tell (near a limit, at the start of a chord, or on input it does not cover such as a
// zero tolerance), the summarised points are tested directly. Either way the answer is the
// direct test's.
template <class Kind>
class ChordGrower {
 public:
  using Point = typename Kind::Point;
  using Tolerance = typename Kind::Tolerance;

  ChordGrower(std::span<const Point> points, Tolerance tolerance)
      : points_(points),
        tolerance_(tolerance),
        tolerance_valid_(tolerance >= 0),
        radius_(tolerance_valid_ ? std::sqrt(static_cast<double>(tolerance)) : 0.0) {}

  // The first end point after `anchor` whose chord from the anchor fails; points.size() when none.
  size_t FirstRefused(size_t anchor) {
    StartChord(anchor);
    const Point& a = points_[anchor];
    for (size_t end = anchor + 2; end < points_.size(); ++end) {
      const Point& p = points_[end];
      const size_t recent = end - anchor - 1 > kWindow ? end - kWindow : anchor + 1;
      while (summary_end_ < recent) Add(summary_end_++);
      if (!AllKept(a, p, recent, end)) return end;
      if (summary_end_ > anchor + 1 && !Accepts(p) && !AllKept(a, p, anchor + 1, summary_end_)) {
        return end;
      }
    }
    return points_.size();
  }

 private:
  static constexpr size_t kWindow = 32;
  static constexpr double kMinRefitWidth = 1e-10;
  static constexpr double kNever = std::numeric_limits<double>::infinity();

  bool AllKept(const Point& a, const Point& p, size_t from, size_t to) const {
    for (size_t i = from; i < to; ++i) {
      if (!Kind::Keeps(a, p, points_[i], tolerance_)) return false;
    }
    return true;
  }

  void StartChord(size_t anchor) {
    anchor_ = anchor;
    summary_end_ = anchor + 1;
    has_base_ = false;
    unusable_ = false;
    lo_ = wide_lo_ = -kPi;
    hi_ = wide_hi_ = kPi;
    range_needed_ = 0.0;
  }

  // Angle of v from the base direction, in (-pi, pi].
  double Angle(Vec v) const {
    return std::atan2(base_.x * v.y - base_.y * v.x, base_.x * v.x + base_.y * v.y);
  }

  // The shortest chord with a direction in [wide_lo, wide_hi] that passes the disc test, with its
  // margin, for a point at this length and angle.
  double RangeNeeded(double length, double angle) const {
    const double c = std::min(std::cos(wide_lo_ - angle), std::cos(wide_hi_ - angle));
    return c > Kind::kDiscMargin ? length * (1 + Kind::kDiscMargin) / (c - Kind::kDiscMargin)
                                 : kNever;
  }

  // Adds the point at `index` (< summary_end_) to the summary.
  void Add(size_t index) {
    if (unusable_) return;
    const Vec q = Kind::Delta(points_[anchor_], points_[index]);
    if (q.x == 0 && q.y == 0) return;  // the anchor itself passes both tests for any end point
    const double length = std::hypot(q.x, q.y);
    if (!tolerance_valid_ || !(length >= Kind::kMinLength && length <= Kind::kMaxLength)) {
      unusable_ = true;
      return;
    }
    if (!has_base_) {
      base_ = {q.x / length, q.y / length};
      has_base_ = true;
    }
    const double angle = Angle(q);
    double half_width = kPi / 2 - 2 * Kind::kDiscMargin;  // the disc test alone
    const double reach = radius_ * (1 - Kind::kLineMargin);
    if (length > reach) {
      if (length * Kind::kCrossError > radius_ * Kind::kLineMargin / 2) {
        unusable_ = true;  // the direct test's rounding could exceed the margin
        return;
      }
      half_width = std::min(half_width, std::asin(reach / length));
    }
    lo_ = std::max(lo_, angle - half_width);
    hi_ = std::min(hi_, angle + half_width);
    if (!(lo_ < hi_)) {
      unusable_ = true;
      return;
    }
    const double wide = wide_hi_ - wide_lo_;
    if (hi_ - lo_ <= wide / 2 && wide > kMinRefitWidth) {
      Refit();
    } else {
      range_needed_ = std::max(range_needed_, RangeNeeded(length, angle));
    }
  }

  void Refit() {
    wide_lo_ = lo_;
    wide_hi_ = hi_;
    range_needed_ = 0.0;
    for (size_t i = anchor_ + 1; i < summary_end_; ++i) {
      const Vec q = Kind::Delta(points_[anchor_], points_[i]);
      if (q.x == 0 && q.y == 0) continue;
      range_needed_ = std::max(range_needed_, RangeNeeded(std::hypot(q.x, q.y), Angle(q)));
    }
  }

  // True when the chord to p certainly passes for every summarised point; false when unsure.
  bool Accepts(const Point& p) const {
    if (unusable_) return false;
    const Vec d = Kind::Delta(points_[anchor_], p);
    if (!std::isfinite(d.x) || !std::isfinite(d.y)) return false;
    // Only points equal to the anchor so far: the disc test gives 0 and the line test 0 or none.
    if (!has_base_) return tolerance_valid_ || (d.x == 0 && d.y == 0);
    const double length = std::hypot(d.x, d.y);
    if (!(length >= Kind::kMinLength && length <= Kind::kMaxLength)) return false;
    const double angle = Angle(d);
    return angle >= lo_ && angle <= hi_ && length >= range_needed_;
  }

  std::span<const Point> points_;
  Tolerance tolerance_;
  bool tolerance_valid_;
  double radius_;

  // The chord being grown.
  size_t anchor_ = 0;
  size_t summary_end_ = 0;  // points anchor_ + 1 .. summary_end_ - 1 are summarised
  bool has_base_ = false;
  bool unusable_ = false;  // the summary can no longer accept
  Vec base_{1.0, 0.0};
  double lo_ = 0.0;
  double hi_ = 0.0;
  double wide_lo_ = 0.0;
  double wide_hi_ = 0.0;
  double range_needed_ = 0.0;
};

template <class Kind>
size_t SimplifyInPlace(std::span<typename Kind::Point> points, typename Kind::Tolerance tolerance) {
  if (points.empty()) return 0;
  ChordGrower<Kind> grower(points, tolerance);
  size_t kept = 1;
  // Points before the anchor are never read again, so kept points overwrite them.
  for (size_t anchor = 0; anchor + 1 < points.size();) {
    anchor = grower.FirstRefused(anchor) - 1;
    points[kept++] = points[anchor];
  }
  return kept;
}

}  // namespace

size_t SimplifyPolyline(std::span<PlanePoint> points, double tolerance_squared) {
  return SimplifyInPlace<PlaneKind>(points, tolerance_squared);
}

size_t SimplifyScreenPolyline(std::span<ScreenPoint> points, float tolerance_squared) {
  return SimplifyInPlace<ScreenKind>(points, tolerance_squared);
}
