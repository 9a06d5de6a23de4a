#pragma once
// Distance and overlap tests on point lists of double (x, y) pairs (GeoPoint's lat and lon
// slots in that order). A polygon is a list read as closed; inside means PointInPolygonVec's
// winding count, so a polygon of fewer than 3 points contains nothing. r2 is a squared distance.
#include <span>

#include "geodesy/geo_point.h"

// Whether p lies within the distance of a or beside the segment a-b within it.
bool SegmentWithinDistance(const GeoPoint& p, const GeoPoint& a, const GeoPoint& b, double r2);
// Whether (x, y) lies within the distance of a vertex or beside a segment of the polyline.
bool PolylineWithin(std::span<const GeoPoint> points, double x, double y, double r2);
// A point of a lies in b, or (a having at least 3 points) a point of b lies in a.
bool PolygonsOverlap(std::span<const GeoPoint> a, std::span<const GeoPoint> b);
// Every point of b lies in a, and no point of a lies in b. An empty b is contained.
bool PolygonContainsPolygon(std::span<const GeoPoint> a, std::span<const GeoPoint> b);
// Whether the square [x, x + 1024] x [y, y + 1024] touches the polygon: a corner or the centre
// of the square inside it, or a vertex of it inside the square (edges included).
bool SquareTouchesPolygon1024(std::span<const GeoPoint> polygon, double x, double y);
