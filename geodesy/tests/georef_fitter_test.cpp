#include "geodesy/georef_fitter.h"

#include <GeographicLib/UTMUPS.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "geodesy/chart_view_georef.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct ControlPoints {
  std::vector<double> lat, lon, x, y;
  int Size() const { return static_cast<int>(lat.size()); }
  void Add(double la, double lo, double px, double py) {
    lat.push_back(la);
    lon.push_back(lo);
    x.push_back(px);
    y.push_back(py);
  }
  double Fit(GeorefPolynomial& out) const {
    return FitCalibrationPolynomial(lat.data(), lon.data(), x.data(), y.data(), Size(), out);
  }
  double FitViaUtm(GeorefPolynomial& out) const {
    return FitCalibrationViaUtm(lat.data(), lon.data(), x.data(), y.data(), Size(), out);
  }
};

// A chart whose pixel is a known polynomial with `terms` terms of the position.
struct KnownChart {
  const char* name;
  double lat0, lon0;    // centre, degrees
  double dlat, dlon;    // extent, degrees
  int terms;            // the fit should need exactly these
  int rows, columns;    // grid of control points

  // The pixel, a polynomial in the position relative to the chart's extent.
  std::pair<double, double> Truth(double lat, double lon) const {
    CubicPolynomialPair local;
    local.first = {500, 30, 1000, 40, 60, 50, 60, 40, 30, 0};
    local.second = {400, -800, 20, 30, 40, -50, 30, -40, 50, 0};
    std::fill(local.first.begin() + terms, local.first.end(), 0);
    std::fill(local.second.begin() + terms, local.second.end(), 0);
    return EvalCubicPolynomial2D(local, (lat - lat0) / dlat, (lon - lon0) / dlon);
  }
  double Lat(double s) const { return lat0 + s * dlat; }
  double Lon(double w) const { return lon0 + w * dlon; }
};

TEST(GeorefFitterTest, RecoversAKnownPolynomialFromControlPoints) {
  const KnownChart charts[] = {
      {"affine, Gulf of Guinea", 0.5, 0.5, 1, 1, 3, 2, 2},
      {"quadratic, English Channel", 50.2, -1.5, 0.8, 2.0, 6, 4, 4},
      {"quadratic, harbour", 60.15, 24.95, 0.05, 0.1, 6, 4, 4},
      {"cubic, Chilean coast", -41.0, -73.0, 2, 3, 9, 5, 5},
      {"cubic, across the antimeridian", -17.0, 180.0, 2, 2, 9, 4, 4},
      {"cubic, Svalbard", 78, 15, 1, 4, 9, 4, 4},
  };
  for (const KnownChart& chart : charts) {
    SCOPED_TRACE(chart.name);
    ControlPoints points;
    for (int r = 0; r < chart.rows; ++r) {
      for (int c = 0; c < chart.columns; ++c) {
        const double lat = chart.Lat(r / (chart.rows - 1.0) - 0.5);
        const double lon = chart.Lon(c / (chart.columns - 1.0) - 0.5);
        const auto [x, y] = chart.Truth(lat, lon);
        points.Add(lat, lon, x, y);
      }
    }
    GeorefPolynomial fitted{};
    EXPECT_LT(points.Fit(fitted), 1e-6);
    // Terms beyond those fitted are exactly 0 in all four polynomials.
    for (const CubicPolynomial* p : {&fitted.forward.first, &fitted.forward.second,
                                     &fitted.inverse.first, &fitted.inverse.second}) {
      for (int i = chart.terms; i < kCubicTermCount; ++i) EXPECT_EQ((*p)[i], 0) << i;
      EXPECT_NE((*p)[chart.terms - 1], 0);
    }
    // The forward pair is the known one everywhere on the chart, not only at the points.
    double worst = 0;
    for (double s = -0.5; s <= 0.5; s += 0.125) {
      for (double w = -0.5; w <= 0.5; w += 0.125) {
        const auto [x, y] = EvalCubicPolynomial2D(fitted.forward, chart.Lat(s), chart.Lon(w));
        const auto [tx, ty] = chart.Truth(chart.Lat(s), chart.Lon(w));
        worst = std::max(worst, std::hypot(x - tx, y - ty));
      }
    }
    EXPECT_LT(worst, 1e-6);
    // The inverse pair is a least-squares cubic of the (non-polynomial) inverse; with the
    // view's correction step it lands near the control points.
    ChartViewGeoref view;
    view.polynomials = fitted;
    view.reference_lon = chart.lon0;
    double worst_inverse = 0;
    for (int i = 0; i < points.Size(); ++i) {
      const auto [lat, lon] = view.PixelToLatLon(points.x[i], points.y[i]);
      const auto [x, y] = view.LatLonToPixel(lat, lon);
      worst_inverse = std::max(worst_inverse, std::hypot(x - points.x[i], y - points.y[i]));
    }
    EXPECT_LT(worst_inverse, 0.1);
  }
}

TEST(GeorefFitterTest, ThreePointsGiveTheAffineFit) {
  const KnownChart curved = {"quadratic", 50.2, -1.5, 0.8, 2.0, 6, 0, 0};
  ControlPoints points;
  for (const auto& [s, w] : {std::pair{-0.5, -0.5}, {0.5, -0.2}, {0.1, 0.5}}) {
    const auto [x, y] = curved.Truth(curved.Lat(s), curved.Lon(w));
    points.Add(curved.Lat(s), curved.Lon(w), x, y);
  }
  GeorefPolynomial fitted;
  EXPECT_LT(points.Fit(fitted), 1e-6);  // three points fit any affine map exactly
  for (const CubicPolynomial* p : {&fitted.forward.first, &fitted.forward.second,
                                   &fitted.inverse.first, &fitted.inverse.second}) {
    EXPECT_TRUE(std::all_of(p->begin() + 3, p->end(), [](double c) { return c == 0; }));
  }
}

TEST(GeorefFitterTest, ControlPointFitsThatCannotSucceed) {
  ControlPoints two;
  two.Add(50, -1, 0, 0);
  two.Add(51, 0, 800, 700);
  ControlPoints with_nan = two;
  with_nan.Add(kNaN, -0.5, 400, 100);
  ControlPoints with_infinity = two;
  with_infinity.Add(50.5, -0.5, std::numeric_limits<double>::infinity(), 100);
  std::vector<std::pair<std::string, ControlPoints>> cases = {
      {"two points", two}, {"NaN latitude", with_nan}, {"infinite pixel", with_infinity}};

  // Points along one line, on the chart and on the ground, leave every term count
  // undetermined. Rounding rarely makes such a system exactly singular; solving it anyway
  // gives a tiny residual and coefficients of 1e17.
  std::mt19937 random(7);
  const auto uniform = [&random] { return random() / 4294967296.0; };
  for (int trial = 0; trial < 200; ++trial) {
    const double lat0 = -60 + 120 * uniform(), lon0 = -170 + 340 * uniform();
    const double dlat = uniform() - 0.5, dlon = uniform() - 0.5;
    const double x0 = 1000 * uniform(), y0 = 1000 * uniform();
    const double dx = 2000 * (uniform() - 0.5), dy = 2000 * (uniform() - 0.5);
    ControlPoints line;
    for (int i = 0; i < 3 + trial % 8; ++i) {
      const double t = uniform();
      line.Add(lat0 + dlat * t, lon0 + dlon * t, x0 + dx * t, y0 + dy * t);
    }
    cases.emplace_back("collinear #" + std::to_string(trial), line);
  }

  for (const auto& [name, points] : cases) {
    GeorefPolynomial out;
    out.forward.first.fill(7);
    const GeorefPolynomial before = out;
    EXPECT_EQ(points.Fit(out), kNoCalibrationFit) << name;
    EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << name << ": output changed";
  }
  GeorefPolynomial out;
  EXPECT_EQ(FitCalibrationPolynomial(nullptr, nullptr, nullptr, nullptr, 5, out),
            kNoCalibrationFit);
}

// A north-up chart drawn on a UTM grid: pixel (0, 0) at (easting0, northing0), `metres` per
// pixel. Northings south of the equator are negative (no false northing), so a chart across
// it is still a plain rectangle of the grid.
struct UtmChart {
  const char* name;
  int zone;
  double easting0, northing0;
  double metres;
  int width, height;

  double CentralMeridian() const { return zone * 6 - 183; }
  // Position of a pixel, the longitude kept continuous across the antimeridian.
  std::pair<double, double> LatLon(double x, double y) const {
    double lat = 0;
    double lon = 0;
    GeographicLib::UTMUPS::Reverse(zone, true, easting0 + x * metres, northing0 - y * metres,
                                   lat, lon);
    return {lat, CentralMeridian() + std::remainder(lon - CentralMeridian(), 360.0)};
  }
  std::pair<double, double> Pixel(double lat, double lon) const {
    int zone_used = 0;
    bool north = true;
    double easting = 0, northing = 0, gamma = 0, k = 0;
    GeographicLib::UTMUPS::Forward(lat, lon, zone_used, north, easting, northing, gamma, k,
                                   zone);
    if (!north) northing -= GeographicLib::UTMUPS::UTMShift();
    return {(easting - easting0) / metres, (northing0 - northing) / metres};
  }
  // Largest distance, in pixels, between pixels of the chart and the truth's pixel of the
  // fitted set's position for them (through the view, with its correction step), and between
  // the fitted forward pair and the truth for the same positions.
  std::pair<double, double> WorstErrors(const GeorefPolynomial& set) const {
    ChartViewGeoref view;
    view.polynomials = set;
    view.reference_lon = LatLon(width / 2.0, height / 2.0).second;
    double inverse = 0;
    double forward = 0;
    for (double x = 0; x <= width; x += width / 10.0) {
      for (double y = 0; y <= height; y += height / 8.0) {
        const auto [lat, lon] = view.PixelToLatLon(x, y);
        const auto [tx, ty] = Pixel(lat, lon);
        inverse = std::max(inverse, std::hypot(tx - x, ty - y));
        const auto [true_lat, true_lon] = LatLon(x, y);
        const auto [fx, fy] = view.LatLonToPixel(true_lat, true_lon);
        forward = std::max(forward, std::hypot(fx - x, fy - y));
      }
    }
    return {inverse, forward};
  }
};

// The residual a fit reports holds over the whole chart, not only at the samples it was
// measured on, and it is below a pixel.
void ExpectTruthfulResidual(const UtmChart& chart, const GeorefPolynomial& set, double residual) {
  EXPECT_LT(residual, 1);
  const auto [inverse, forward] = chart.WorstErrors(set);
  EXPECT_LE(inverse, 1.1 * residual + 0.01);
  EXPECT_LE(forward, 1.1 * residual + 0.01);
}

const UtmChart kUtmCharts[] = {
    {"Channel, 10 m per pixel", 30, 560000, 5560000, 10, 1000, 800},
    {"Tasman Sea, 60 m per pixel", 56, 300000, -3700000, 60, 1000, 800},
    {"across the equator, 30 m per pixel", 33, 420000, 12000, 30, 1000, 800},
    {"Fiji across 180, 25 m per pixel", 60, 800000, -1870000, 25, 1000, 800},
    {"Bay of Biscay, 150 m per pixel", 30, 300000, 5300000, 150, 1000, 800},
    {"Barents Sea, 400 m per pixel", 35, 300000, 8000000, 400, 1000, 800},
};

TEST(GeorefFitterTest, SampledFitFollowsAUtmChart) {
  for (const UtmChart& chart : kUtmCharts) {
    SCOPED_TRACE(chart.name);
    GeorefPolynomial set;
    double residual = -1;
    ASSERT_TRUE(FitPolynomialFromMapping(
        set, chart.width, chart.height,
        [&](int x, int y, double& lat, double& lon) {
          std::tie(lat, lon) = chart.LatLon(x, y);
          return true;
        },
        residual));
    ExpectTruthfulResidual(chart, set, residual);
  }
}

TEST(GeorefFitterTest, CalibrationThroughUtm) {
  for (const UtmChart& chart : kUtmCharts) {
    SCOPED_TRACE(chart.name);
    ControlPoints points;
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {1.0 * chart.width, 0.0},
                               {0.0, 1.0 * chart.height}, {1.0 * chart.width, 1.0 * chart.height},
                               {0.4 * chart.width, 0.6 * chart.height}}) {
      auto [lat, lon] = chart.LatLon(x, y);
      // Control points come with longitudes in -180 .. 180.
      points.Add(lat, std::remainder(lon, 360.0), x, y);
    }
    GeorefPolynomial set;
    ExpectTruthfulResidual(chart, set, points.FitViaUtm(set));
  }

  // Points around the antimeridian, their longitudes averaging 180.
  const UtmChart& fiji = kUtmCharts[3];
  ControlPoints around_180;
  for (const auto& [lat, lon] : {std::pair{-16.8, 179.9}, {-16.8, -179.9}, {-17.0, 179.9},
                                 {-17.0, -179.9}, {-16.9, 180.0}}) {
    const auto [x, y] = fiji.Pixel(lat, lon);
    around_180.Add(lat, lon, x + 100, y + 100);
  }
  GeorefPolynomial set;
  EXPECT_LT(around_180.FitViaUtm(set), 1);
  // The set's longitudes run on past 180 instead of jumping to -180.
  EXPECT_NEAR(EvalCubicPolynomial2D(set.inverse, around_180.x[1], around_180.y[1]).second,
              180.1, 1e-3);
}

TEST(GeorefFitterTest, CalibrationThroughUtmFailures) {
  ControlPoints good;
  const UtmChart& chart = kUtmCharts[0];
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, {1000.0, 0.0}, {0.0, 800.0}}) {
    const auto [lat, lon] = chart.LatLon(x, y);
    good.Add(lat, lon, x, y);
  }
  ControlPoints two = good;
  two.lat.pop_back(), two.lon.pop_back(), two.x.pop_back(), two.y.pop_back();
  ControlPoints nan_lon = good;
  nan_lon.lon[1] = kNaN;
  ControlPoints near_pole = good;  // beyond the northings UTM reaches
  near_pole.lat[2] = 89.95;
  ControlPoints collinear = good;  // pixels on one line: no affine map from them
  collinear.x[2] = 500;
  collinear.y[2] = 0;
  ControlPoints huge = good;
  huge.x[1] = 3e9;

  struct Case {
    const char* name;
    const ControlPoints& points;
  };
  for (const Case& c : {Case{"two points", two}, {"NaN longitude", nan_lon},
                        {"near the pole", near_pole}, {"collinear pixels", collinear},
                        {"chart too large", huge}}) {
    GeorefPolynomial out;
    out.inverse.second.fill(3);
    const GeorefPolynomial before = out;
    EXPECT_EQ(c.points.FitViaUtm(out), kInfinity) << c.name;
    EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << c.name << ": output changed";
  }
  GeorefPolynomial out;
  EXPECT_LT(good.FitViaUtm(out), 1);
}

TEST(GeorefFitterTest, SampledFitOfTinyEmptyOrHugeAreas) {
  // A north-up chart at 50 N, small enough in degrees per pixel that even 2^31 pixels span
  // only a few degrees.
  const auto linear = [](int x, int y, double& lat, double& lon) {
    lat = 50 - y * 1e-9;
    lon = -1 + x * 1.5e-9;
    return true;
  };
  struct Case {
    int width, height;
    bool fits;
  };
  const Case cases[] = {
      {0, 0, false},    {0, 800, false},   {1000, 0, false}, {-3, 5, false},
      {1, 1, false},    // one sample
      {1, 2, false},    // two
      {10, 10, true},   {17, 40, true},    {2147483647, 2147483647, true},
  };
  for (const Case& c : cases) {
    int calls = 0;
    GeorefPolynomial out;
    out.forward.second.fill(5);
    const GeorefPolynomial before = out;
    double residual = -1;
    const bool fitted = FitPolynomialFromMapping(
        out, c.width, c.height,
        [&](int x, int y, double& lat, double& lon) { return ++calls, linear(x, y, lat, lon); },
        residual);
    EXPECT_EQ(fitted, c.fits) << c.width << " x " << c.height;
    if (c.fits) {
      EXPECT_LT(residual, 1e-3) << c.width << " x " << c.height;
    } else {
      EXPECT_EQ(residual, kSingularFitResidual);
      EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << c.width << " x " << c.height;
      if (c.width <= 0 || c.height <= 0) {
        EXPECT_EQ(calls, 0);
      }
    }
  }
}

TEST(GeorefFitterTest, SampledFitSkipsPixelsWithoutPosition) {
  const UtmChart& chart = kUtmCharts[1];
  const auto truth = [&](int x, int y, double& lat, double& lon) {
    std::tie(lat, lon) = chart.LatLon(x, y);
    return true;
  };
  struct Case {
    const char* name;
    PixelToLatLonMapping mapping;
    bool fits;
  };
  const Case cases[] = {
      {"no position outside a disc",
       [&](int x, int y, double& lat, double& lon) {
         return std::hypot(x - 500, y - 400) < 450 && truth(x, y, lat, lon);
       },
       true},
      {"NaN left of the middle",
       [&](int x, int y, double& lat, double& lon) {
         truth(x, y, lat, lon);
         if (x < 500) lat = kNaN;
         return true;
       },
       true},
      {"NaN everywhere",
       [](int, int, double& lat, double& lon) {
         lat = kNaN;
         lon = kNaN;
         return true;
       },
       false},
      {"infinite longitude", [](int, int, double& lat, double& lon) {
         lat = 10;
         lon = std::numeric_limits<double>::infinity();
         return true;
       },
       false},
      {"never a position", [](int, int, double&, double&) { return false; }, false},
  };
  for (const Case& c : cases) {
    GeorefPolynomial set;
    double residual = -1;
    EXPECT_EQ(FitPolynomialFromMapping(set, chart.width, chart.height, c.mapping, residual),
              c.fits)
        << c.name;
    if (c.fits) {
      EXPECT_LT(residual, 1) << c.name;
      // The fit holds where it was sampled.
      const auto [lat, lon] = EvalCubicPolynomial2D(set.inverse, 600, 400);
      const auto [x, y] = chart.Pixel(lat, lon);
      EXPECT_LT(std::hypot(x - 600, y - 400), 1) << c.name;
    } else {
      EXPECT_EQ(residual, kSingularFitResidual) << c.name;
    }
  }
}

}  // namespace
