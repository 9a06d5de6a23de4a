#include "geodesy/local_projection.h"

#include <cmath>

#include "geodesy/degree_length.h"

void CLocalProjection::SetOrigin(double lat, double lon) {
  origin_lat_ = lat;
  origin_lon_ = lon;
  if (lat > -90.0 && lat < 90.0) {
    north_factor_ = kMetresPerNauticalMile * LatDegreeLength(lat);
    east_factor_ = kMetresPerNauticalMile * LonDegreeLength(lat);
  } else {
    north_factor_ = 0.0;
    east_factor_ = 0.0;
  }
}

EastNorth CLocalProjection::Project(double lat, double lon) const {
  return {(lon - origin_lon_) * east_factor_, (lat - origin_lat_) * north_factor_};
}

double CLocalProjection::DistanceTo(double lat, double lon) const {
  const EastNorth p = Project(lat, lon);
  return std::hypot(p.east_metres, p.north_metres);
}

double CLocalProjection::DistanceSquared(double lat, double lon) const {
  const EastNorth p = Project(lat, lon);
  return p.east_metres * p.east_metres + p.north_metres * p.north_metres;
}

double CLocalProjection::DistanceBetween(double lat1, double lon1, double lat2, double lon2) const {
  const EastNorth a = Project(lat1, lon1);
  const EastNorth b = Project(lat2, lon2);
  return std::hypot(b.east_metres - a.east_metres, b.north_metres - a.north_metres);
}

RangeBearing CLocalProjection::RangeBearingTo(double lat, double lon) const {
  const EastNorth p = Project(lat, lon);
  constexpr double kDegreesPerRadian = 57.295779513082320877;
  double bearing = std::atan2(p.east_metres, p.north_metres) * kDegreesPerRadian;
  if (bearing < 0.0) bearing += 360.0;
  // A tiny negative angle rounds to exactly 360 above; -0 would print as "-0".
  if (bearing >= 360.0 || bearing == 0.0) bearing = 0.0;
  return {std::hypot(p.east_metres, p.north_metres), bearing};
}
