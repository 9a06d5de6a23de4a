#include "viewer_lib/polygon_geometry.h"

#include <algorithm>

#include "geodesy/geo_bounds.h"

namespace {

constexpr double kSquareSide = 1024.0;

double SquaredDistance(const GeoPoint& p, const GeoPoint& a) {
  return (p.lat - a.lat) * (p.lat - a.lat) + (p.lon - a.lon) * (p.lon - a.lon);
}

// Beside the segment: the foot of the perpendicular falls on it and lies within the distance.
bool BesideSegment(const GeoPoint& p, const GeoPoint& a, const GeoPoint& b, double r2) {
  const double bx = b.lat - a.lat, by = b.lon - a.lon, px = p.lat - a.lat, py = p.lon - a.lon;
  const double length_squared = bx * bx + by * by;
  const double t = px * bx + py * by;
  const double cross = px * by - py * bx;
  return t >= 0.0 && t <= length_squared && length_squared * r2 >= cross * cross;
}

bool AnyPointIn(std::span<const GeoPoint> points, std::span<const GeoPoint> polygon) {
  return std::any_of(points.begin(), points.end(), [&](const GeoPoint& p) {
    return PointInPolygonVec(polygon, p.lat, p.lon);
  });
}

}  // namespace

bool SegmentWithinDistance(const GeoPoint& p, const GeoPoint& a, const GeoPoint& b, double r2) {
  return SquaredDistance(p, a) <= r2 || BesideSegment(p, a, b, r2);
}

bool PolylineWithin(std::span<const GeoPoint> points, double x, double y, double r2) {
  const GeoPoint p{x, y};
  for (size_t i = 0; i < points.size(); ++i) {
    if (SquaredDistance(p, points[i]) <= r2) return true;
    if (i + 1 < points.size() && BesideSegment(p, points[i], points[i + 1], r2)) return true;
  }
  return false;
}

bool PolygonsOverlap(std::span<const GeoPoint> a, std::span<const GeoPoint> b) {
  return AnyPointIn(a, b) || (a.size() >= 3 && AnyPointIn(b, a));
}

bool PolygonContainsPolygon(std::span<const GeoPoint> a, std::span<const GeoPoint> b) {
  if (AnyPointIn(a, b)) return false;
  return std::all_of(b.begin(), b.end(),
                     [&](const GeoPoint& p) { return PointInPolygonVec(a, p.lat, p.lon); });
}

bool SquareTouchesPolygon1024(std::span<const GeoPoint> polygon, double x, double y) {
  const double half = kSquareSide / 2;
  const GeoPoint probes[] = {{x, y},
                             {x + kSquareSide, y},
                             {x + kSquareSide, y + kSquareSide},
                             {x, y + kSquareSide},
                             {x + half, y + half}};
  if (AnyPointIn(probes, polygon)) return true;
  return std::any_of(polygon.begin(), polygon.end(), [&](const GeoPoint& p) {
    return p.lat >= x && p.lat <= x + kSquareSide && p.lon >= y && p.lon <= y + kSquareSide;
  });
}
