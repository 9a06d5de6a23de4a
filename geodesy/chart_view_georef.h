#pragma once
// A chart view's copy of the open chart's georeference, filled by the view when it opens a
// chart. Positions outside are WGS84; the polynomials work in the chart's own datum, which
// differs from WGS84 by the datum shift (WGS84 = chart datum + shift).
#include <cstdint>
#include <utility>

#include "geodesy/georef_polynomial.h"

struct ChartViewGeoref {
  GeorefPolynomial polynomials;
  double shift_lat = 0;  // degrees
  double shift_lon = 0;  // degrees
  // The chart's centre longitude (degrees): positions are wrapped towards it.
  double reference_lon = 0;
  int32_t width = 0;  // chart size in pixels
  int32_t height = 0;
  bool valid = false;  // the copy has been filled from a georeferenced chart

  // (x, y) chart pixel of a WGS84 position.
  std::pair<double, double> LatLonToPixel(double lat, double lon) const;
  // LatLonToPixel as floats; false with (-1, -1) when the pixel lies 2e9 or more from the
  // origin (or is not a number), where floats and the screen's integers stop being usable.
  bool LatLonToScreen(double lat, double lon, float& x, float& y) const;
  // (lat, lon) WGS84 position of a chart pixel: the inverse polynomials refined by one step
  // through the forward ones.
  std::pair<double, double> PixelToLatLon(double x, double y) const;
  // (dx, dy): the unit vector along the local parallel in pixel space (callers turn heading
  // arrows with it); (0, -1) where the latitude gradient vanishes or is not a number.
  std::pair<float, float> NorthDirectionAt(double x, double y) const;
};
