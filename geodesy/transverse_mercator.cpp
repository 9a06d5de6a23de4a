#include "geodesy/transverse_mercator.h"

#include <cctype>
#include <cmath>
#include <numbers>

#include "platform/os/numbers.h"

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

// The inverse stops once the meridian arc is this close (metres) to the northing.
constexpr double kArcResidualLimit = 1e-7;
// Each step shrinks the residual by ~150 times, so 7 steps cover any northing on Earth; a
// northing that never gets there is far beyond any grid.
constexpr int kMaxArcSteps = 50;

constexpr double kOsMaxEasting = 700000.0;
constexpr double kOsMaxNorthing = 1300000.0;
constexpr double kSquare = 100000.0;  // one grid square (second letter)
// First letters by 500 km square, west to east then south to north.
constexpr char kOsFirstLetters[] = "STNOHJ";

// Meridian arc from the true origin's latitude to phi, scaled by k0.
double MeridianArc(const TransverseMercator& tm, double phi) {
  const double n = tm.ellipsoid.n;
  const double n2 = n * n;
  const double n3 = n2 * n;
  const double delta = phi - tm.origin_lat_radians;
  const double sigma = phi + tm.origin_lat_radians;
  return tm.ellipsoid.b * tm.scale *
         ((1.0 + n + 1.25 * n2 + 1.25 * n3) * delta -
          (3.0 * n + 3.0 * n2 + 2.625 * n3) * std::sin(delta) * std::cos(sigma) +
          (1.875 * n2 + 1.875 * n3) * std::sin(2.0 * delta) * std::cos(2.0 * sigma) -
          (35.0 / 24.0) * n3 * std::sin(3.0 * delta) * std::cos(3.0 * sigma));
}

// Radii of curvature, both scaled by k0: nu in the prime vertical, rho in the meridian.
struct Curvature {
  double nu;
  double rho;
  double eta2;  // nu / rho - 1
};

Curvature CurvatureAt(const TransverseMercator& tm, double sin_phi) {
  const double e2 = tm.ellipsoid.e2;
  const double ak0 = tm.ellipsoid.a * tm.scale;
  const double w = 1.0 - e2 * sin_phi * sin_phi;
  const double nu = ak0 / std::sqrt(w);
  const double rho = ak0 * (1.0 - e2) / (w * std::sqrt(w));
  return {nu, rho, nu / rho - 1.0};
}

bool IsLatitude(double lat) { return std::isfinite(lat) && std::fabs(lat) <= 90.0; }

}  // namespace

double Ellipsoid::NuAt(double lat_radians) const {
  const double s = std::sin(lat_radians);
  return a / std::sqrt(1.0 - e2 * s * s);
}

TransverseMercator UtmProjection(const Ellipsoid& ellipsoid, int zone) {
  return {ellipsoid, 0.0, 500000.0, 0.9996, 0.0, (zone * 6 - 183) * kRadiansPerDegree};
}

TransverseMercator OrdnanceSurveyProjection() {
  return {kAiry1830Ellipsoid,      -100000.0, 400000.0, 0.9996012717, 49.0 * kRadiansPerDegree,
          -2.0 * kRadiansPerDegree};
}

bool TransverseMercatorForward(const TransverseMercator& tm, double lat, double lon,
                               double& easting, double& northing) {
  if (!IsLatitude(lat) || !std::isfinite(lon)) return false;
  const double phi = lat * kRadiansPerDegree;
  const double p = std::remainder(lon - tm.central_meridian_radians * kDegreesPerRadian, 360.0) *
                   kRadiansPerDegree;
  const double s = std::sin(phi);
  const double c = std::cos(phi);
  const double t = s / c;
  const double t2 = t * t;
  const double t4 = t2 * t2;
  const Curvature k = CurvatureAt(tm, s);
  const double c3 = c * c * c;
  const double c5 = c3 * c * c;
  const double p2 = p * p;

  const double n1 = MeridianArc(tm, phi) + tm.false_northing;
  const double n2 = k.nu / 2.0 * s * c;
  const double n4 = k.nu / 24.0 * s * c3 * (5.0 - t2 + 9.0 * k.eta2);
  const double n6 = k.nu / 720.0 * s * c5 * (61.0 - 58.0 * t2 + t4);
  const double e1 = k.nu * c;
  const double e3 = k.nu / 6.0 * c3 * (k.nu / k.rho - t2);
  const double e5 = k.nu / 120.0 * c5 * (5.0 - 18.0 * t2 + t4 + 14.0 * k.eta2 - 58.0 * t2 * k.eta2);

  northing = n1 + p2 * (n2 + p2 * (n4 + p2 * n6));
  easting = tm.false_easting + p * (e1 + p2 * (e3 + p2 * e5));
  return true;
}

bool TransverseMercatorInverse(const TransverseMercator& tm, double easting, double northing,
                               double& lat, double& lon) {
  if (!std::isfinite(easting) || !std::isfinite(northing)) return false;
  const double ak0 = tm.ellipsoid.a * tm.scale;
  const double arc = northing - tm.false_northing;
  double phi = arc / ak0 + tm.origin_lat_radians;
  double residual = arc - MeridianArc(tm, phi);
  for (int step = 0; std::fabs(residual) > kArcResidualLimit; ++step) {
    if (step == kMaxArcSteps || !std::isfinite(residual)) return false;
    phi += residual / ak0;
    residual = arc - MeridianArc(tm, phi);
  }

  const double s = std::sin(phi);
  const double c = std::cos(phi);
  const double t = s / c;
  const double t2 = t * t;
  const double t4 = t2 * t2;
  const double sec = 1.0 / c;
  const Curvature k = CurvatureAt(tm, s);
  const double nu3 = k.nu * k.nu * k.nu;
  const double nu5 = nu3 * k.nu * k.nu;
  const double nu7 = nu5 * k.nu * k.nu;
  const double p = easting - tm.false_easting;
  const double p2 = p * p;

  const double l2 = t / (2.0 * k.rho * k.nu);
  const double l4 = t / (24.0 * k.rho * nu3) * (5.0 + 3.0 * t2 + k.eta2 - 9.0 * t2 * k.eta2);
  const double l6 = t / (720.0 * k.rho * nu5) * (61.0 + 90.0 * t2 + 45.0 * t4);
  const double g1 = sec / k.nu;
  const double g3 = sec / (6.0 * nu3) * (k.nu / k.rho + 2.0 * t2);
  const double g5 = sec / (120.0 * nu5) * (5.0 + 28.0 * t2 + 24.0 * t4);
  const double g7 = sec / (5040.0 * nu7) * (61.0 + 662.0 * t2 + 1320.0 * t4 + 720.0 * t4 * t2);

  const double phi_out = phi - p2 * (l2 - p2 * (l4 - p2 * l6));
  const double lambda = tm.central_meridian_radians + p * (g1 - p2 * (g3 - p2 * (g5 - p2 * g7)));
  double lat_out = phi_out * kDegreesPerRadian;
  double lon_out = lambda * kDegreesPerRadian;
  if (!IsLatitude(lat_out) || !std::isfinite(lon_out)) return false;

  // The inverse series are truncated sooner than the forward ones: 5 or 6 degrees from the
  // central meridian they are a few millimetres out. One step that feeds the forward series'
  // miss back through the local radii brings them within a tenth of a millimetre.
  double e_back = 0.0;
  double n_back = 0.0;
  if (TransverseMercatorForward(tm, lat_out, lon_out, e_back, n_back)) {
    const Curvature at = CurvatureAt(tm, std::sin(phi_out));
    const double cos_out = std::cos(phi_out);
    lat_out += (northing - n_back) / at.rho * kDegreesPerRadian;
    if (cos_out > 0.0) lon_out += (easting - e_back) / (at.nu * cos_out) * kDegreesPerRadian;
  }
  lon_out = std::remainder(lon_out, 360.0);
  if (!IsLatitude(lat_out) || !std::isfinite(lon_out)) return false;
  lat = lat_out;
  lon = lon_out;
  return true;
}

Geocentric GeodeticToGeocentric(const Ellipsoid& ellipsoid, double lat, double lon) {
  const double phi = lat * kRadiansPerDegree;
  const double lambda = lon * kRadiansPerDegree;
  const double nu = ellipsoid.NuAt(phi);
  return {nu * std::cos(phi) * std::cos(lambda), nu * std::cos(phi) * std::sin(lambda),
          (1.0 - ellipsoid.e2) * nu * std::sin(phi)};
}

void GeocentricToGeodetic(const Ellipsoid& ellipsoid, const Geocentric& g, double nu_lat,
                          double& lat, double& lon) {
  const double e2 = ellipsoid.e2;
  const double nu = ellipsoid.NuAt(nu_lat * kRadiansPerDegree);
  const double p = std::hypot(g.x, g.y);
  const double theta = std::atan2(g.z, (1.0 - e2) * p);
  lat = std::atan2(g.z + e2 * nu * std::sin(theta), p) * kDegreesPerRadian;
  lon = std::atan2(g.y, g.x) * kDegreesPerRadian;
}

void HelmertTransform(const HelmertParams& h, Geocentric& g) {
  const Geocentric in = g;
  g.x = h.tx + h.scale * in.x - h.rz * in.y + h.ry * in.z;
  g.y = h.ty + h.rz * in.x + h.scale * in.y - h.rx * in.z;
  g.z = h.tz - h.ry * in.x + h.rx * in.y + h.scale * in.z;
}

void DatumShift::Init(double a, double b, double dx, double dy, double dz) {
  local_ = Ellipsoid::FromAxes(a, b);
  shift_ = {dx, dy, dz};
}

void DatumShift::ToWGS84(double& lat, double& lon) const {
  Geocentric g = GeodeticToGeocentric(local_, lat, lon);
  g.x += shift_.x;
  g.y += shift_.y;
  g.z += shift_.z;
  GeocentricToGeodetic(kWgs84Ellipsoid, g, lat, lat, lon);
}

bool IsOnOsGrid(double easting, double northing) {
  return easting >= 0.0 && easting <= kOsMaxEasting && northing >= 0.0 &&
         northing <= kOsMaxNorthing;
}

bool Wgs84ToOsGrid(double lat, double lon, double& easting, double& northing) {
  if (!IsLatitude(lat) || !std::isfinite(lon)) return false;
  Geocentric g = GeodeticToGeocentric(kWgs84Ellipsoid, lat, lon);
  HelmertTransform(kWgs84ToOsgb36, g);
  double osgb_lat = 0.0;
  double osgb_lon = 0.0;
  GeocentricToGeodetic(kAiry1830Ellipsoid, g, lat, osgb_lat, osgb_lon);
  static const TransverseMercator os = OrdnanceSurveyProjection();
  if (!TransverseMercatorForward(os, osgb_lat, osgb_lon, easting, northing)) return false;
  return IsOnOsGrid(easting, northing);
}

bool OsGridToWgs84(double easting, double northing, double& lat, double& lon) {
  static const TransverseMercator os = OrdnanceSurveyProjection();
  double osgb_lat = 0.0;
  double osgb_lon = 0.0;
  if (!TransverseMercatorInverse(os, easting, northing, osgb_lat, osgb_lon)) return false;
  Geocentric g = GeodeticToGeocentric(kAiry1830Ellipsoid, osgb_lat, osgb_lon);
  HelmertTransform(kOsgb36ToWgs84, g);
  GeocentricToGeodetic(kWgs84Ellipsoid, g, osgb_lat, lat, lon);
  return true;
}

bool FormatOsGridReference(double easting, double northing, std::string& text) {
  if (!IsOnOsGrid(easting, northing)) return false;
  const int e = static_cast<int>(std::floor(easting + 0.5));
  const int n = static_cast<int>(std::floor(northing + 0.5));
  const int qe = e / 100000;
  const int qn = n / 100000;
  char second = static_cast<char>('A' + (4 - qn % 5) * 5 + qe % 5);
  if (second >= 'I') ++second;
  const char letters[3] = {kOsFirstLetters[(qn / 5) * 2 + qe / 5], second, '\0'};
  text = vd::os::FormatC("%s %05d %05d", letters, e % 100000, n % 100000);
  return true;
}

bool ParseOsGridReference(std::string_view text, double& easting, double& northing) {
  size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  if (text.size() - at < 2) return false;
  const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(text[at])));
  const char second = static_cast<char>(std::toupper(static_cast<unsigned char>(text[at + 1])));

  constexpr size_t kMaxDigits = 10;
  char digits[kMaxDigits];
  size_t count = 0;
  for (char ch : text.substr(at + 2)) {
    if (ch < '0' || ch > '9') continue;
    // More digits than metres can hold would be read as a wrong position: refuse them.
    if (count == kMaxDigits) return false;
    digits[count++] = ch;
  }
  if (count < 6 || count % 2 != 0) return false;
  const size_t half = count / 2;
  const double unit = half == 3 ? 100.0 : half == 4 ? 10.0 : 1.0;
  double e = 0.0;
  double n = 0.0;
  for (size_t i = 0; i < half; ++i) {
    e = e * 10.0 + (digits[i] - '0');
    n = n * 10.0 + (digits[half + i] - '0');
  }
  e *= unit;
  n *= unit;

  const char* square = std::char_traits<char>::find(kOsFirstLetters, 6, first);
  if (square == nullptr || second < 'A' || second > 'Z' || second == 'I') return false;
  const int big = static_cast<int>(square - kOsFirstLetters);
  e += (big % 2) * 5 * kSquare;
  n += (big / 2) * 5 * kSquare;
  const int g = second - 'A' - (second > 'I' ? 1 : 0);
  e += (g % 5) * kSquare;
  n += 4 * kSquare - (g / 5) * kSquare;
  easting = e;
  northing = n;
  return true;
}
