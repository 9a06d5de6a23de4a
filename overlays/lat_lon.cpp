#include "overlays/lat_lon.h"

#include <cmath>

#include "geodesy/degree_length.h"
#include "overlays/overlay_archive.h"

namespace {

constexpr double kDegreesPerRadian = 57.29577950560105;
constexpr double kRadiansPerDegree = 0.017453292519943278;
// The factor the float-bearing move has always used; kept so that moved points stay where
// earlier releases put them.
constexpr double kRadiansPerDegreeOfFloat = 0.017453292522222223;

void Move(double& lat, double& lon, double distance_nm, double bearing_rad) {
  // At a pole a degree of longitude has no length and any longitude is the same point.
  const double lon_length = LonDegreeLength(lat);
  if (lon_length > 0.0) lon += std::sin(bearing_rad) * distance_nm / lon_length;
  lat += std::cos(bearing_rad) * distance_nm / LatDegreeLength(lat);
}

}  // namespace

void CLatLon::Serialize(COverlayArchive& archive) {
  if (archive.IsStoring()) {
    archive.WriteDouble(lat);
    archive.WriteDouble(lon);
  } else {
    lat = archive.ReadDouble();
    lon = archive.ReadDouble();
  }
}

CLatLon::Offset CLatLon::LocalOffset(const CLatLon& other) const {
  double dlon = lon - other.lon;
  if (dlon * dlon > 180.0 * 180.0) dlon += dlon < 0.0 ? 360.0 : -360.0;
  const double mid = (lat + other.lat) * 0.5;
  return {LonDegreeLength(mid) * dlon, LatDegreeLength(mid) * (lat - other.lat)};
}

double CLatLon::DistanceTo(const CLatLon& other) const {
  const Offset offset = LocalOffset(other);
  return std::sqrt(offset.east * offset.east + offset.north * offset.north);
}

void CLatLon::DistanceAndBearingTo(const CLatLon& other, double& distance_nm,
                                   double& bearing_deg) const {
  const Offset offset = other.LocalOffset(*this);
  bearing_deg = std::atan2(offset.east, offset.north) * kDegreesPerRadian;
  if (bearing_deg < 0.0) bearing_deg += 360.0;
  if (bearing_deg >= 360.0) bearing_deg -= 360.0;  // a tiny negative angle rounds up to 360
  distance_nm = std::sqrt(offset.east * offset.east + offset.north * offset.north);
}

void CLatLon::MoveBy(double distance_nm, double bearing_deg) {
  Move(lat, lon, distance_nm, bearing_deg * kRadiansPerDegree);
}

void OffsetPointByBearing(double& lat, double& lon, double distance_nm, float bearing_deg) {
  Move(lat, lon, distance_nm, bearing_deg * kRadiansPerDegreeOfFloat);
}
