#pragma once
// A chart for the moving targets' tests: one pixel per metre, north up, (kLat, kLon) at pixel
// (0, 0).
#include "geodesy/chart_view_georef.h"
#include "geodesy/local_projection.h"

namespace vd::test {

constexpr double kTargetLat = 50.0;
constexpr double kTargetLon = -4.0;

inline ChartViewGeoref MetreChart() {
  CLocalProjection plane;
  plane.SetOrigin(kTargetLat, kTargetLon);
  const double kn = plane.north_factor();
  const double ke = plane.east_factor();
  ChartViewGeoref view;
  view.polynomials.forward.first = {-ke * kTargetLon, 0, ke};
  view.polynomials.forward.second = {kn * kTargetLat, -kn, 0};
  view.reference_lon = kTargetLon;
  view.valid = true;
  return view;
}

}  // namespace vd::test
