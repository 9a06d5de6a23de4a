#include "geodesy/chart_view_georef.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <tuple>
#include <utility>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A chart turned by `angle` (radians, clockwise on screen) around pixel (0, 0) at 50 N 4 W,
// with `scale` pixels per degree on both axes; the inverse pair is the exact inverse.
ChartViewGeoref RotatedChart(double angle, double scale) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  ChartViewGeoref view;
  // x = scale (c (lon + 4) + s (lat - 50)), y = scale (s (lon + 4) - c (lat - 50))
  view.polynomials.forward.first = {scale * (4 * c - 50 * s), scale * s, scale * c};
  view.polynomials.forward.second = {scale * (4 * s + 50 * c), -scale * c, scale * s};
  // lon + 4 = (c x + s y) / scale, lat - 50 = (s x - c y) / scale
  view.polynomials.inverse.first = {50, s / scale, -c / scale};
  view.polynomials.inverse.second = {-4, c / scale, s / scale};
  view.reference_lon = -4;
  view.valid = true;
  return view;
}

TEST(ChartViewGeorefTest, DatumShiftAndWrap) {
  ChartViewGeoref view = RotatedChart(0, 1000);
  view.shift_lat = 0.001;
  view.shift_lon = -0.002;
  // WGS84 position = chart datum + shift, in both directions.
  const auto [x, y] = view.LatLonToPixel(49.501, -3.502);
  EXPECT_NEAR(x, 500, 1e-6);
  EXPECT_NEAR(y, 500, 1e-6);
  const auto [lat, lon] = view.PixelToLatLon(500, 500);
  EXPECT_NEAR(lat, 49.501, 1e-12);
  EXPECT_NEAR(lon, -3.502, 1e-12);

  // A chart straddling the antimeridian, referenced at 179.9: 179.95 W is 0.15 degrees east.
  ChartViewGeoref east = RotatedChart(0, 1000);
  east.polynomials.forward.first[0] = -179800;  // x = 1000 (lon - 179.8)
  east.reference_lon = 179.9;
  EXPECT_NEAR(east.LatLonToPixel(50, -179.95).first, 250, 1e-6);
}

TEST(ChartViewGeorefTest, OneCorrectionStepCancelsAnOffsetInverse) {
  ChartViewGeoref view = RotatedChart(0.3, 2000);
  // The stored inverse is off by a constant; the forward pair pulls it back.
  view.polynomials.inverse.first[0] += 0.01;
  view.polynomials.inverse.second[0] -= 0.02;
  const ChartViewGeoref exact = RotatedChart(0.3, 2000);
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, {812.5, -77.0}, {-3000.0, 4000.0}}) {
    const auto [lat, lon] = view.PixelToLatLon(x, y);
    const auto [true_lat, true_lon] = EvalCubicPolynomial2D(exact.polynomials.inverse, x, y);
    EXPECT_NEAR(lat, true_lat, 1e-9);
    EXPECT_NEAR(lon, true_lon, 1e-9);
  }
}

TEST(ChartViewGeorefTest, LatLonToScreenRefusesFarAndUnknownPixels) {
  const ChartViewGeoref view = RotatedChart(0, 1000);
  float x = 0;
  float y = 0;
  ASSERT_TRUE(view.LatLonToScreen(49.5, -3.75, x, y));
  EXPECT_FLOAT_EQ(x, 250);
  EXPECT_FLOAT_EQ(y, 500);

  struct Case {
    double lat, lon;
  };
  // 2e9 pixels away is 2e6 degrees at this scale; NaN positions give NaN pixels.
  const Case refused[] = {{50, 2.1e6}, {-3e6, -4}, {kNaN, -4}, {50, kNaN}};
  for (const Case& c : refused) {
    x = 7;
    y = 7;
    EXPECT_FALSE(view.LatLonToScreen(c.lat, c.lon, x, y)) << c.lat << " " << c.lon;
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
  }
}

TEST(ChartViewGeorefTest, NorthDirection) {
  // North-up: the parallel runs along +x.
  auto [dx, dy] = RotatedChart(0, 1000).NorthDirectionAt(10, 20);
  EXPECT_NEAR(dx, 1, 1e-6);
  EXPECT_NEAR(dy, 0, 1e-6);

  const double angle = std::numbers::pi / 6;
  std::tie(dx, dy) = RotatedChart(angle, 1000).NorthDirectionAt(-50, 900);
  EXPECT_NEAR(dx, std::cos(angle), 1e-6);
  EXPECT_NEAR(dy, std::sin(angle), 1e-6);

  // No latitude gradient (an empty georeference) or no number: straight up.
  ChartViewGeoref empty;
  EXPECT_EQ(empty.NorthDirectionAt(10, 10), (std::pair{0.0f, -1.0f}));
  EXPECT_EQ(RotatedChart(0, 1000).NorthDirectionAt(kNaN, 0), (std::pair{0.0f, -1.0f}));
}

}  // namespace
