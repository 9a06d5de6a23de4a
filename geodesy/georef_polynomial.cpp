#include "geodesy/georef_polynomial.h"

#include <cmath>

namespace {

constexpr double kNauticalMilesPerDegreeOfLatitude = 60;
constexpr double kHalfTurnSquared = 180.0 * 180.0;

}  // namespace

std::array<double, kCubicTermCount> CubicTerms(double u, double v) {
  return {1, u, v, u * u, u * v, v * v, u * u * u, u * u * v, u * v * v, v * v * v};
}

double EvalCubicPolynomial(const CubicPolynomial& p, double u, double v) {
  const auto terms = CubicTerms(u, v);
  double sum = 0;
  for (int i = 0; i < kCubicTermCount; ++i) sum += p[i] * terms[i];
  return sum;
}

std::pair<double, double> CubicGradient(const CubicPolynomial& p, double u, double v) {
  const double du = p[1] + 2 * p[3] * u + p[4] * v + 3 * p[6] * u * u + 2 * p[7] * u * v +
                    p[8] * v * v;
  const double dv = p[2] + p[4] * u + 2 * p[5] * v + p[7] * u * u + 2 * p[8] * u * v +
                    3 * p[9] * v * v;
  return {du, dv};
}

std::pair<double, double> EvalCubicPolynomial2D(const CubicPolynomialPair& pair, double u,
                                                double v) {
  return {EvalCubicPolynomial(pair.first, u, v), EvalCubicPolynomial(pair.second, u, v)};
}

double WrapLongitudeTowards(double lon, double reference_lon) {
  const double d = lon - reference_lon;
  if (d * d > kHalfTurnSquared) return d < 0 ? lon + 360 : lon - 360;
  return lon;
}

double GeorefPolynomial::ScaleAt(double x, double y) const {
  const auto [dlat_dx, dlat_dy] = CubicGradient(inverse.first, x, y);
  return kNauticalMilesPerDegreeOfLatitude * std::hypot(dlat_dx, dlat_dy);
}

std::pair<double, double> GeorefPolynomial::LatLonToPixel(double lat, double lon,
                                                          double reference_lon) const {
  return EvalCubicPolynomial2D(forward, lat, WrapLongitudeTowards(lon, reference_lon));
}
