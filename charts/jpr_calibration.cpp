#include "charts/jpr_calibration.h"

#include <tuple>
#include <vector>

#include "charts/qct_header_patch.h"
#include "core/key_value_table.h"
#include "core/path_utils.h"
#include "core/string_utils.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/georef_fitter.h"
#include "geodesy/nad27_shift.h"
#include "geodesy/transverse_mercator.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kMaxNumberedKeys = 999;
// Fits with a larger residual (pixels) leave the georeference as it was.
constexpr double kResidualLimit = 10;
// A shift coordinate above this means "none".
constexpr double kNoShift = 100000;
constexpr size_t kMaxDatumName = 100;
// Shifts are written only when smaller than one minute of arc in all.
constexpr double kLargestShiftSquared = 1.0 / 3600.0;

// The values of key1, key2, ... while they exist.
std::vector<std::string> NumberedValues(const CKeyValueTable& table, const std::string& key) {
  std::vector<std::string> values;
  for (int k = 1; k <= kMaxNumberedKeys; ++k) {
    const std::string* value = table.Lookup(key + std::to_string(k));
    if (!value) break;
    values.push_back(*value);
  }
  return values;
}

bool FitReferencePoints(const std::vector<std::string>& points, bool via_utm,
                        GeorefPolynomial& georef) {
  std::vector<double> lat, lon, x, y;
  for (const std::string& point : points) {
    double v[4];
    if (vd::os::ScanC(point.c_str(), " %lf, %lf, %lf, %lf", &v[0], &v[1], &v[2], &v[3]) != 4) {
      continue;
    }
    lat.push_back(v[0]);
    lon.push_back(v[1]);
    x.push_back(v[2]);
    y.push_back(v[3]);
  }
  GeorefPolynomial fitted = georef;
  const int n = int(lat.size());
  const double residual =
      via_utm ? FitCalibrationViaUtm(lat.data(), lon.data(), x.data(), y.data(), n, fitted)
              : FitCalibrationPolynomial(lat.data(), lon.data(), x.data(), y.data(), n, fitted);
  if (!(residual < kResidualLimit)) return false;
  georef = fitted;
  return true;
}

// A Molodensky datum "Molodensky (a, b, dx, dy, dz, name)": the shift at the centre that takes
// the local datum to WGS84, and the name.
bool ParseMolodensky(const std::string& text, double centre_lat, double centre_lon,
                     QctDatumShift& shift, std::string& name) {
  double a, b, dx, dy, dz;
  char parsed[kMaxDatumName + 1] = {};
  if (vd::os::ScanC(text.c_str(), "Molodensky ( %lf , %lf , %lf , %lf , %lf, %100[A-Za-z0-9 ]",
                    &a, &b, &dx, &dy, &dz, parsed) != 6) {
    return false;
  }
  DatumShift datum;
  datum.Init(a, b, dx, dy, dz);
  double lat = centre_lat, lon = centre_lon;
  datum.ToWGS84(lat, lon);
  shift = {lat - centre_lat, lon - centre_lon};
  name = parsed;
  return true;
}

}  // namespace

bool QctApplyJprCalibration(const std::string& image_path, const std::string& chart_path) {
  CKeyValueTable jpr;
  QctHeaderPatch patch;
  if (!jpr.Load(ReplaceFileExtension(image_path, ".jpr")) || !patch.Open(chart_path)) return false;
  QuickChartHeader& header = patch.header();

  const std::vector<std::string> points = NumberedValues(jpr, "rp");
  if (points.size() > 2) {
    const std::string* projection = jpr.Lookup("pr");
    FitReferencePoints(points, projection && EqualsNoCase(*projection, "UTM"), header.georef);
  }

  const double centre_x = header.width * 32.0;
  const double centre_y = header.height * 32.0;
  const auto [centre_lat, centre_lon] =
      EvalCubicPolynomial2D(header.georef.inverse, centre_x, centre_y);
  const std::vector<std::string> boundary = NumberedValues(jpr, "vp");
  if (boundary.size() > 2) {
    ChartViewGeoref georef;  // no datum shift: the outline is in the chart's own datum
    georef.polynomials = header.georef;
    georef.reference_lon = centre_lon;
    georef.width = header.width * kTileSide;
    georef.height = header.height * kTileSide;
    georef.valid = header.HasGeoreference();
    std::vector<GeoPoint> outline;
    for (const std::string& vertex : boundary) {
      int x = 0, y = 0;
      vd::os::ScanC(vertex.c_str(), " %d, %d", &x, &y);
      GeoPoint p;
      std::tie(p.lat, p.lon) = georef.PixelToLatLon(x, y);
      outline.push_back(p);
    }
    patch.WriteOutline(outline);
  }

  QctDatumShift shift{kNoShift, kNoShift};
  std::string datum;
  if (const std::string* dm = jpr.Lookup("dm")) {
    datum = *dm;
    if (dm->find("Molodensky") != std::string::npos) {
      ParseMolodensky(*dm, centre_lat, centre_lon, shift, datum);
    }
    header.SetTextOffset(kQctDatum, QctAppendString(datum, patch.writer()));
  } else {
    datum = patch.ReadText(header.TextOffset(kQctDatum), kMaxDatumName);
  }
  if (const std::string* st = jpr.Lookup("st")) vd::os::ScanC(st->c_str(), "%lf", &shift.lat);
  if (const std::string* sn = jpr.Lookup("sn")) vd::os::ScanC(sn->c_str(), "%lf", &shift.lon);
  if (shift.lat > 1 || shift.lon > 1) {
    if (datum.find("27") != std::string::npos) {
      GetNad27Shift(centre_lat, centre_lon, shift.lat, shift.lon);  // 0 without a grid
    } else if (datum.find("83") != std::string::npos || datum.rfind("84", 0) != 0) {
      shift = {0, 0};
    }
  }
  if (shift.lat * shift.lat + shift.lon * shift.lon < kLargestShiftSquared) {
    patch.WriteDatumShift(shift);
  }
  return patch.Commit();
}
