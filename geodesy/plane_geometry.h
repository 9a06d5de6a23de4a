#pragma once
// Plane geometry on (x, y) points: the winding point-in-polygon test, a square against a
// polygon, polygon area and the greedy simplification of polylines.
#include <cstddef>
#include <cstdint>
#include <span>

struct PlanePoint {
  double x = 0.0;
  double y = 0.0;
};

struct ScreenPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

// Twice the winding number of the closed polygon `points` (the last point joins the first)
// round (x, y); coords(point) gives a point's PlanePoint. An edge counts where it crosses the
// height y, the lower end excluded and the upper end included; a point exactly on an edge's
// crossing counts as lying on its right.
template <class Point, class Coords>
int WindingSum(double x, double y, std::span<const Point> points, Coords coords) {
  int sum = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    const PlanePoint p = coords(points[i]);
    const PlanePoint q = coords(points[i + 1 < points.size() ? i + 1 : 0]);
    int weight;
    if (p.y < y && y <= q.y) {
      weight = 1;
    } else if (q.y < y && y <= p.y) {
      weight = -1;
    } else {
      continue;
    }
    const double crossing_x = ((y - p.y) * q.x + (q.y - y) * p.x) / (q.y - p.y);
    sum += x >= crossing_x ? weight : -weight;
  }
  return sum;
}

// Winding test: true when the polygon winds round (x, y), so a point in a part of a
// self-crossing outline that is wound round twice is inside.
bool PointInPolygon(double x, double y, std::span<const PlanePoint> points);

// Whether the square [x, x + side] x [y, y + side] touches the polygon: a corner or the centre
// inside it, or a vertex inside the square (edges included). A last point repeating the first is
// ignored.
bool SquareTouchesPolygon(double x, double y, double side, std::span<const PlanePoint> points);

// Area of the closed polygon with vertices (xs[i], ys[i]), positive whichever way it winds; the
// shorter array sets the count.
// Fewer than 3 vertices give 0.
double PolygonArea(std::span<const double> xs, std::span<const double> ys);

// Greedy chord growing, in place; returns the number of points kept. Point 0 and the last point
// are always kept. From an anchor A, the chord to a later point P may replace the points between
// them when each of those points Q lies in the closed disc on the diameter AP
// ((P - Q).(Q - A) >= 0) and, unless P = A, within the tolerance of the line AP
// (cross(P - A, Q - A)^2 / |P - A|^2 <= tolerance_squared). The chord grows from A + 2 until
// the first end point that fails; the point before it is kept and becomes the next anchor.
// The cost stays near linear on long, nearly straight tracks; only exactly collinear runs with a
// zero tolerance (or a tolerance distance below 2e-8 of the chord, 2e-4 on screen points) fall
// back to re-testing every point behind each end point, which is quadratic in the run's length.
size_t SimplifyPolyline(std::span<PlanePoint> points, double tolerance_squared);

// The same on screen points: the dot product exact, the cross product and |P - A|^2 in single
// precision.
size_t SimplifyScreenPolyline(std::span<ScreenPoint> points, float tolerance_squared);
