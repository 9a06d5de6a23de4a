#pragma once
// Geodetic machinery shared by the grid formatters and the position formats: ellipsoids, the
// transverse Mercator projection in the Ordnance Survey series form, geocentric coordinates,
// the seven-parameter Helmert transformation between WGS84 and OSGB36, a three-parameter
// datum shift, and the Ordnance Survey national grid with its two-letter square names.
//
// Latitudes and longitudes are degrees (north and east positive) unless a name says radians;
// eastings, northings and geocentric coordinates are metres. Everything here is stateless and
// safe to call from any thread.
#include <string>
#include <string_view>

struct Ellipsoid {
  double a = 0.0;   // semi-major axis
  double b = 0.0;   // semi-minor axis
  double e2 = 0.0;  // first eccentricity squared, (a^2 - b^2) / a^2
  double n = 0.0;   // (a - b) / (a + b)

  static constexpr Ellipsoid FromAxes(double a, double b) {
    return Ellipsoid{a, b, (a * a - b * b) / (a * a), (a - b) / (a + b)};
  }
  // Radius of curvature in the prime vertical at a latitude: a / sqrt(1 - e2 sin^2 phi).
  double NuAt(double lat_radians) const;
};

inline constexpr Ellipsoid kWgs84Ellipsoid = Ellipsoid::FromAxes(6378137.0, 6356752.3141);
inline constexpr Ellipsoid kClarke1866Ellipsoid = Ellipsoid::FromAxes(6378206.4, 6356583.8);
inline constexpr Ellipsoid kAiry1830Ellipsoid = Ellipsoid::FromAxes(6377563.396, 6356256.91);

// One transverse Mercator grid: ellipsoid, false origin, scale on the central meridian and
// true origin.
struct TransverseMercator {
  Ellipsoid ellipsoid;
  double false_northing = 0.0;  // N0
  double false_easting = 0.0;   // E0
  double scale = 1.0;           // k0
  double origin_lat_radians = 0.0;
  double central_meridian_radians = 0.0;
};

// UTM zone 1..60 (central meridian zone x 6 - 183 degrees) on the given ellipsoid; northings
// are those of the northern hemisphere (no southern false northing).
TransverseMercator UtmProjection(const Ellipsoid& ellipsoid, int zone);
// The Ordnance Survey national grid projection on Airy 1830 (true origin 49N 2W).
TransverseMercator OrdnanceSurveyProjection();

// Series good to a millimetre up to 6 degrees from the central meridian; further out the
// results drift. The longitude difference is taken modulo 360, so a grid beside the
// antimeridian works on both sides of it. False when the input is not finite or |lat| > 90.
bool TransverseMercatorForward(const TransverseMercator& tm, double lat, double lon,
                               double& easting, double& northing);
// Latitude is found by iterating the meridian arc until its residual is at most 1e-7 m, then
// the series are corrected once through the forward ones, so that the two directions agree to
// a tenth of a millimetre. The longitude comes back in -180..180. False when the input is not
// finite or the series give no latitude within +-90 (far outside the grid).
bool TransverseMercatorInverse(const TransverseMercator& tm, double easting, double northing,
                               double& lat, double& lon);

struct Geocentric {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// Height 0 on the ellipsoid.
Geocentric GeodeticToGeocentric(const Ellipsoid& ellipsoid, double lat, double lon);
// One refinement step from the parametric latitude, with the radius of curvature taken at
// nu_lat (the latitude of the point before the datum change that brought it here), which
// is exact enough for points within a few hundred metres of the ellipsoid.
void GeocentricToGeodetic(const Ellipsoid& ellipsoid, const Geocentric& p, double nu_lat,
                          double& lat, double& lon);

// Small-angle Helmert transformation in the position-vector form; rotations in radians,
// scale as a factor (1 + ppm * 1e-6).
struct HelmertParams {
  double tx = 0.0, ty = 0.0, tz = 0.0;
  double rx = 0.0, ry = 0.0, rz = 0.0;
  double scale = 1.0;
};

inline constexpr HelmertParams kWgs84ToOsgb36{
    -446.448, 125.157, -542.06,
    -7.281901490265223e-7, -1.1974897923405526e-6, -4.082616008623398e-6,
    1.0000204894};
inline constexpr HelmertParams kOsgb36ToWgs84{
    446.448, -125.157, 542.06,
    7.281901490265223e-7, 1.1974897923405526e-6, 4.082616008623398e-6,
    0.9999795106};

void HelmertTransform(const HelmertParams& params, Geocentric& p);

// Three-parameter shift from a local datum to WGS84.
class DatumShift {
 public:
  // Local ellipsoid axes and the translation (metres) from its centre to WGS84's.
  void Init(double a, double b, double dx, double dy, double dz);
  // Local lat/lon -> WGS84, in place.
  void ToWGS84(double& lat, double& lon) const;

 private:
  Ellipsoid local_ = kWgs84Ellipsoid;
  Geocentric shift_;
};

// The Ordnance Survey national grid covers 0 <= easting <= 700000, 0 <= northing <= 1300000.
bool IsOnOsGrid(double easting, double northing);
// WGS84 -> OSGB36 (Helmert) -> grid. The grid position is written even off the grid; the
// result tells whether it is on it (false also for non-finite input or |lat| > 90).
bool Wgs84ToOsGrid(double lat, double lon, double& easting, double& northing);
// Grid -> OSGB36 -> WGS84. False when the inverse projection fails.
bool OsGridToWgs84(double easting, double northing, double& lat, double& lon);

// "TG 51409 13177": the 500 km and 100 km square letters and the easting and northing within
// the 100 km square, to the metre. False off the grid (text unchanged).
bool FormatOsGridReference(double easting, double northing, std::string& text);
// Two square letters (either case) after any leading blanks, then 6, 8 or 10 digits anywhere
// in the rest, the first half the easting and the second the northing within the square
// (3 digits: hundreds of metres, 4: tens, 5: metres). False for other digit counts, unknown
// letters or 'I'.
bool ParseOsGridReference(std::string_view text, double& easting, double& northing);
