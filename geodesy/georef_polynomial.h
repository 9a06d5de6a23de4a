#pragma once
// The georeference of a raster chart: bivariate cubic polynomials between chart pixels and
// latitude/longitude in degrees. Every polynomial in (u, v) has ten coefficients for the terms
// 1, u, v, u^2, uv, v^2, u^3, u^2 v, u v^2, v^3 in that order; a fit with fewer terms leaves the
// remaining coefficients 0. Chart files store the set as 40 doubles in the member order below.
#include <array>
#include <utility>

inline constexpr int kCubicTermCount = 10;
using CubicPolynomial = std::array<double, kCubicTermCount>;

// The ten terms at (u, v), in coefficient order (also the rows of least-squares fits).
std::array<double, kCubicTermCount> CubicTerms(double u, double v);
double EvalCubicPolynomial(const CubicPolynomial& p, double u, double v);
// (dp/du, dp/dv) at (u, v).
std::pair<double, double> CubicGradient(const CubicPolynomial& p, double u, double v);

struct CubicPolynomialPair {
  CubicPolynomial first{};
  CubicPolynomial second{};
};

// (first, second) of a pair at the same (u, v).
std::pair<double, double> EvalCubicPolynomial2D(const CubicPolynomialPair& pair, double u,
                                                double v);

// lon moved by 360 degrees towards reference_lon when the two are more than 180 degrees apart;
// otherwise unchanged. Charts near the antimeridian use longitudes beyond +-180 in their
// polynomials.
double WrapLongitudeTowards(double lon, double reference_lon);

struct GeorefPolynomial {
  CubicPolynomialPair forward;  // pixel x, pixel y from (u = latitude, v = longitude)
  CubicPolynomialPair inverse;  // latitude, longitude from (u = pixel x, v = pixel y)

  // Nautical miles per pixel at pixel (x, y), from the gradient of the inverse latitude
  // polynomial (one degree of latitude counted as 60 nautical miles).
  double ScaleAt(double x, double y) const;
  // (x, y) pixel of a position in the chart's datum, its longitude first wrapped towards
  // the chart's reference longitude.
  std::pair<double, double> LatLonToPixel(double lat, double lon, double reference_lon) const;
};
static_assert(sizeof(GeorefPolynomial) == 4 * kCubicTermCount * sizeof(double),
              "the set is stored as 40 consecutive doubles");
