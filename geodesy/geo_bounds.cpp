#include "geodesy/geo_bounds.h"

#include <algorithm>

#include "geodesy/plane_geometry.h"

CGeoBounds CGeoBounds::FromPoints(std::span<const GeoPoint> points) {
  CGeoBounds b;
  for (const GeoPoint& p : points) {
    // std::min/max keep the first argument when the second is NaN.
    b.min_lat = std::min(b.min_lat, p.lat);
    b.max_lat = std::max(b.max_lat, p.lat);
    b.min_lon = std::min(b.min_lon, p.lon);
    b.max_lon = std::max(b.max_lon, p.lon);
  }
  return b;
}

bool PointInPolygonVec(std::span<const GeoPoint> points, double lat, double lon) {
  if (points.size() < 3) return false;
  // Latitude plays the part of x and longitude that of y.
  return WindingSum(lat, lon, points, [](const GeoPoint& p) {
           return PlanePoint{p.lat, p.lon};
         }) != 0;
}
