#pragma once
// The bounding box of a list of positions and the winding test of a position against the
// polygon such a list encloses.
#include <span>

#include "geodesy/geo_point.h"

struct CGeoBounds {
  // An empty list gives these start values: a box whose minimum exceeds its maximum.
  double min_lat = 1e300;
  double max_lat = -1e300;
  double min_lon = 1e300;
  double max_lon = -1e300;

  // NaN coordinates are left out.
  static CGeoBounds FromPoints(std::span<const GeoPoint> points);
};

// Whether (lat, lon) lies inside the closed polygon `points` (the last point joins the first) by
// the winding count: inside a part that the outline winds round twice is inside. Fewer than 3
// points: false. A position whose latitude equals an edge's crossing latitude counts as lying
// north of that edge.
bool PointInPolygonVec(std::span<const GeoPoint> points, double lat, double lon);
