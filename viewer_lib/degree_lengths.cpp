#include "viewer_lib/degree_lengths.h"

#include <cmath>

#include "geodesy/degree_length.h"
#include "viewer_lib/quick_chart_view.h"

namespace {

double stored_lat = 90;
double stored_lon = 0;

}  // namespace

DegreeLengths& DegreeLengths::Global() {
  static DegreeLengths lengths;
  return lengths;
}

void SetDegreeLengthsPosition(double lat, double lon) {
  stored_lat = lat;
  stored_lon = lon;
}

void UpdateDegreeLengths() {
  double lat = stored_lat, lon = stored_lon;
  if (const CQuickChartView* view = CQuickChartView::Current()) {
    if (!view->GetCentre(lat, lon)) return;
  }
  if (!(std::abs(lat) < 90)) return;
  DegreeLengths& lengths = DegreeLengths::Global();
  lengths.lat_metres = LatDegreeLength(lat) * kMetresPerNauticalMile;
  lengths.lon_metres = LonDegreeLength(lat) * kMetresPerNauticalMile;
  lengths.at_lat = lat;
}
