#include "geodesy/chart_view_georef.h"

#include <cmath>

namespace {

constexpr double kScreenLimitSquared = 4e18;  // (2e9)^2

}  // namespace

std::pair<double, double> ChartViewGeoref::LatLonToPixel(double lat, double lon) const {
  return polynomials.LatLonToPixel(lat - shift_lat, lon - shift_lon, reference_lon);
}

bool ChartViewGeoref::LatLonToScreen(double lat, double lon, float& x, float& y) const {
  const auto [px, py] = LatLonToPixel(lat, lon);
  if (px * px + py * py < kScreenLimitSquared) {
    x = static_cast<float>(px);
    y = static_cast<float>(py);
    return true;
  }
  x = -1;
  y = -1;
  return false;
}

std::pair<double, double> ChartViewGeoref::PixelToLatLon(double x, double y) const {
  const auto [lat0, lon0] = EvalCubicPolynomial2D(polynomials.inverse, x, y);
  const auto [x1, y1] = EvalCubicPolynomial2D(polynomials.forward, lat0, lon0);
  const auto [lat, lon] = EvalCubicPolynomial2D(polynomials.inverse, 2 * x - x1, 2 * y - y1);
  return {lat + shift_lat, lon + shift_lon};
}

std::pair<float, float> ChartViewGeoref::NorthDirectionAt(double x, double y) const {
  const auto [dlat_dx, dlat_dy] = CubicGradient(polynomials.inverse.first, x, y);
  const double length = std::hypot(dlat_dx, dlat_dy);
  if (!(length > 0) || !std::isfinite(length)) return {0.0f, -1.0f};
  return {static_cast<float>(-dlat_dy / length), static_cast<float>(dlat_dx / length)};
}
