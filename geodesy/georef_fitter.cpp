#include "geodesy/georef_fitter.h"

#include <GeographicLib/Constants.hpp>
#include <GeographicLib/UTMUPS.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "geodesy/matrix.h"

namespace {

constexpr int kMinTerms = 3;  // affine: 1, u, v
constexpr int kMaxTerms = 9;  // the tenth term (v^3) is never fitted
constexpr double kGoodResidual = 1;  // pixels: no more terms are tried below this
constexpr int kSampleIntervals = 17;  // 18 samples along a side
constexpr size_t kMaxSamples = 327;
constexpr size_t kMinSamples = 3;
constexpr unsigned kJitterSeed = 1;  // every fit samples the same pixels
constexpr int kUtmZones = 60;
constexpr double kUtmFailed = std::numeric_limits<double>::infinity();
constexpr double kIntLimit = 2147483648.0;  // 2^31

// Pixels and the positions (degrees) that go with them, one column per coordinate.
struct TiePoints {
  std::vector<double> x, y, lat, lon;

  size_t Size() const { return x.size(); }
  void Add(double px, double py, double la, double lo) {
    x.push_back(px);
    y.push_back(py);
    lat.push_back(la);
    lon.push_back(lo);
  }
};

// The change of variable t = (value - offset) / scale that maps a coordinate's range onto
// -1 .. 1. The fits solve in such variables and convert the result back: in raw degrees a
// harbour chart's latitudes (60.15 +- 0.02, say) make 1, lat and lat^2 nearly dependent, and the
// normal equations would solve for rounding noise; in raw pixels the terms of one row differ by
// up to 10^9 and no pivot threshold could tell a small pivot from a lost one.
struct Normalizer {
  double offset = 0;
  double scale = 1;
};

Normalizer NormalizerOf(const std::vector<double>& values) {
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  const double half_range = (*high - *low) / 2;
  return {(*low + *high) / 2, half_range > 0 ? half_range : 1};
}

// Exponents (of u, of v) of the terms of CubicTerms, and the term of each pair of exponents.
constexpr int kPowers[kCubicTermCount][2] = {{0, 0}, {1, 0}, {0, 1}, {2, 0}, {1, 1},
                                             {0, 2}, {3, 0}, {2, 1}, {1, 2}, {0, 3}};
constexpr int kTermOf[4][4] = {{0, 2, 5, 9}, {1, 4, 8, -1}, {3, 7, -1, -1}, {6, -1, -1, -1}};
constexpr double kBinomial[4][4] = {{1}, {1, 1}, {1, 2, 1}, {1, 3, 3, 1}};

// Coefficients in (u, v) of the polynomial p(s, w), s = (u - nu.offset) / nu.scale and
// w = (v - nv.offset) / nv.scale. Each term only feeds terms of the same or a lower index, so
// coefficients beyond those fitted stay 0.
CubicPolynomial Denormalize(const CubicPolynomial& p, Normalizer nu, Normalizer nv) {
  CubicPolynomial raw{};
  for (int i = 0; i < kCubicTermCount; ++i) {
    if (p[i] == 0) continue;
    const int a = kPowers[i][0];
    const int b = kPowers[i][1];
    const double c = p[i] / (std::pow(nu.scale, a) * std::pow(nv.scale, b));
    // (u - ou)^a (v - ov)^b = sum of C(a, k) u^k (-ou)^(a-k) C(b, l) v^l (-ov)^(b-l)
    for (int k = 0; k <= a; ++k) {
      for (int l = 0; l <= b; ++l) {
        raw[kTermOf[k][l]] += c * kBinomial[a][k] * std::pow(-nu.offset, a - k) *
                              kBinomial[b][l] * std::pow(-nv.offset, b - l);
      }
    }
  }
  return raw;
}

// Least-squares polynomial with the first `terms` terms of `result` in (u, v); false when the
// system is singular.
bool FitPolynomial(const std::vector<double>& u, const std::vector<double>& v,
                   const std::vector<double>& result, int terms, CubicPolynomial& out) {
  const Normalizer nu = NormalizerOf(u);
  const Normalizer nv = NormalizerOf(v);
  const int n = static_cast<int>(u.size());
  CMatrix all_terms(n, kCubicTermCount);
  FitVector values(n);
  for (int r = 0; r < n; ++r) {
    const auto row = CubicTerms((u[r] - nu.offset) / nu.scale, (v[r] - nv.offset) / nv.scale);
    for (int c = 0; c < kCubicTermCount; ++c) all_terms(r, c) = row[c];
    values[r] = result[r];
  }
  CMatrix design(n, terms);
  FitVector solution;
  if (!design.CopyBlock(all_terms, 0, 0) || SolveLeastSquares(design, values, solution) != 0)
    return false;
  CubicPolynomial normalized{};
  for (int i = 0; i < terms; ++i) normalized[i] = solution[i];
  out = Denormalize(normalized, nu, nv);
  return true;
}

// Replaces `set` by a fit of `terms` terms per polynomial: the inverse pair from the pixels,
// the forward pair from the positions. False when a system is singular.
bool FitSet(const TiePoints& points, int terms, GeorefPolynomial& set) {
  set = GeorefPolynomial{};
  return FitPolynomial(points.x, points.y, points.lat, terms, set.inverse.first) &&
         FitPolynomial(points.x, points.y, points.lon, terms, set.inverse.second) &&
         FitPolynomial(points.lat, points.lon, points.x, terms, set.forward.first) &&
         FitPolynomial(points.lat, points.lon, points.y, terms, set.forward.second);
}

// Largest distance in pixels between a point's pixel and the forward pair at its position,
// the longitude first wrapped towards wrap_reference when one is given; NaN when any
// distance is.
double MaxPixelError(const TiePoints& points, const GeorefPolynomial& set,
                     std::optional<double> wrap_reference) {
  double largest = 0;
  for (size_t i = 0; i < points.Size(); ++i) {
    const double lon =
        wrap_reference ? WrapLongitudeTowards(points.lon[i], *wrap_reference) : points.lon[i];
    const auto [x, y] = EvalCubicPolynomial2D(set.forward, points.lat[i], lon);
    const double distance = std::hypot(x - points.x[i], y - points.y[i]);
    if (std::isnan(distance)) return distance;
    largest = std::max(largest, distance);
  }
  return largest;
}

// Runs fit(terms, set) -> residual for terms = 3 .. max_terms and keeps the set with the
// smallest residual in `out`, stopping at the first kept one below kGoodResidual. Returns the
// kept residual, or `none` when no fit beat it (out unchanged).
template <typename Fit>
double KeepBestFit(int max_terms, double none, GeorefPolynomial& out, Fit fit) {
  double best = none;
  for (int terms = kMinTerms; terms <= max_terms; ++terms) {
    GeorefPolynomial set;
    const double residual = fit(terms, set);
    if (residual < best) {
      best = residual;
      out = set;
      if (best < kGoodResidual) break;
    }
  }
  return best;
}

// Jitter of a sample coordinate, uniform in -16 .. 15.
int64_t Jitter(std::mt19937& random) { return static_cast<int64_t>(random() & 31) - 16; }

double SampledFit(int width, int height, const PixelToLatLonMapping& mapping, int terms,
                  std::mt19937& random, GeorefPolynomial& set) {
  if (width <= 0 || height <= 0) return kSingularFitResidual;
  // Sides under 18 pixels would give a step of 0.
  const int64_t step_x = std::max(1, (width - 1) / kSampleIntervals);
  const int64_t step_y = std::max(1, (height - 1) / kSampleIntervals);
  TiePoints samples;
  for (int64_t y = 0; y < height && samples.Size() < kMaxSamples; y += step_y) {
    for (int64_t x = 0; x < width && samples.Size() < kMaxSamples; x += step_x) {
      const int64_t sample_x = x + Jitter(random);
      const int64_t sample_y = y + Jitter(random);
      if (sample_x > INT_MAX || sample_y > INT_MAX) continue;
      double lat = 0;
      double lon = 0;
      if (mapping(static_cast<int>(sample_x), static_cast<int>(sample_y), lat, lon) &&
          std::isfinite(lat) && std::isfinite(lon)) {
        samples.Add(static_cast<double>(sample_x), static_cast<double>(sample_y), lat, lon);
      }
    }
  }
  if (samples.Size() < kMinSamples || !FitSet(samples, terms, set)) return kSingularFitResidual;
  double mean_lon = 0;
  for (double lon : samples.lon) mean_lon += lon;
  mean_lon /= static_cast<double>(samples.Size());
  return MaxPixelError(samples, set, mean_lon);
}

// At least three control points, every value a finite number.
bool UsableControlPoints(const double lat[], const double lon[], const double px[],
                         const double py[], int n) {
  if (n < kMinTerms || !lat || !lon || !px || !py) return false;
  for (const double* values : {lat, lon, px, py}) {
    if (!std::all_of(values, values + n, [](double v) { return std::isfinite(v); }))
      return false;
  }
  return true;
}

}  // namespace

double FitCalibrationPolynomial(const double lat[], const double lon[], const double px[],
                                const double py[], int n, GeorefPolynomial& out) {
  if (!UsableControlPoints(lat, lon, px, py, n)) return kNoCalibrationFit;
  TiePoints points;
  for (int i = 0; i < n; ++i) points.Add(px[i], py[i], lat[i], lon[i]);
  const int max_terms = std::clamp(n - 1, kMinTerms, kMaxTerms);
  return KeepBestFit(max_terms, kNoCalibrationFit, out, [&](int terms, GeorefPolynomial& set) {
    return FitSet(points, terms, set) ? MaxPixelError(points, set, std::nullopt)
                                      : kSingularFitResidual;
  });
}

bool FitPolynomialFromMapping(GeorefPolynomial& out, int width, int height,
                              const PixelToLatLonMapping& mapping, double& residual) {
  std::mt19937 random(kJitterSeed);
  residual = KeepBestFit(kMaxTerms, kSingularFitResidual, out, [&](int terms,
                                                                   GeorefPolynomial& set) {
    return SampledFit(width, height, mapping, terms, random, set);
  });
  return residual < kMappingFitLimit;
}

double FitCalibrationViaUtm(const double lat[], const double lon[], const double px[],
                            const double py[], int n, GeorefPolynomial& out) {
  using GeographicLib::UTMUPS;
  if (!UsableControlPoints(lat, lon, px, py, n)) return kUtmFailed;

  // Longitudes are averaged as offsets from the first point, so that points on both sides of
  // the antimeridian give a zone among them.
  double offsets = 0;
  for (int i = 0; i < n; ++i) offsets += std::remainder(lon[i] - lon[0], 360.0);
  const double mean_lon = std::remainder(lon[0] + offsets / n, 360.0);
  const int zone = std::clamp(static_cast<int>(std::floor(mean_lon / 6 + 31)), 1, kUtmZones);
  const double central_meridian = zone * 6 - 183;

  // Easting and northing of each point; northings continue below the equator as negative
  // values so that a chart across it stays affine.
  std::vector<double> eastings(n);
  std::vector<double> northings(n);
  try {
    for (int i = 0; i < n; ++i) {
      int zone_used = 0;
      bool north = true;
      double gamma = 0;
      double k = 0;
      UTMUPS::Forward(lat[i], lon[i], zone_used, north, eastings[i], northings[i], gamma, k,
                      zone);
      if (!north) northings[i] -= UTMUPS::UTMShift();
    }
  } catch (const GeographicLib::GeographicErr&) {
    return kUtmFailed;
  }
  const std::vector<double> xs(px, px + n);
  const std::vector<double> ys(py, py + n);
  const double max_x = std::max(0.0, *std::max_element(xs.begin(), xs.end()));
  const double max_y = std::max(0.0, *std::max_element(ys.begin(), ys.end()));
  if (max_x >= kIntLimit || max_y >= kIntLimit) return kUtmFailed;
  CubicPolynomial to_easting{};
  CubicPolynomial to_northing{};
  if (!FitPolynomial(xs, ys, eastings, kMinTerms, to_easting) ||
      !FitPolynomial(xs, ys, northings, kMinTerms, to_northing))
    return kUtmFailed;

  const PixelToLatLonMapping through_utm = [&](int x, int y, double& lat_out, double& lon_out) {
    try {
      UTMUPS::Reverse(zone, true, EvalCubicPolynomial(to_easting, x, y),
                      EvalCubicPolynomial(to_northing, x, y), lat_out, lon_out);
    } catch (const GeographicLib::GeographicErr&) {
      return false;
    }
    // Continuous across the antimeridian, like the chart's own longitudes.
    lon_out = central_meridian + std::remainder(lon_out - central_meridian, 360.0);
    return true;
  };
  double residual = kSingularFitResidual;
  FitPolynomialFromMapping(out, static_cast<int>(max_x), static_cast<int>(max_y), through_utm,
                           residual);
  return residual;
}
