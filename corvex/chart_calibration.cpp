#include "corvex/chart_calibration.h"

#include <cmath>
#include <limits>

#include "charts/qct_header_patch.h"
#include "charts/quick_chart_header.h"
#include "core/key_value_table.h"
#include "core/persistent_value.h"
#include "geodesy/georef_fitter.h"
#include "geodesy/nad27_shift.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kMaxNumberedKeys = 999;

// Twice the area of the triangle (a, b, c).
double TwiceArea(double ax, double ay, double bx, double by, double cx, double cy) {
  return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

// Whether every point lies within `tolerance` of the line through the two farthest apart.
template <class X, class Y>
bool AllOnOneLine(const std::vector<CalibrationPoint>& points, X x, Y y, double tolerance) {
  size_t a = 0, b = 0;
  double longest = -1;
  for (size_t i = 0; i < points.size(); ++i) {
    for (size_t j = i + 1; j < points.size(); ++j) {
      const double d = std::hypot(x(points[j]) - x(points[i]), y(points[j]) - y(points[i]));
      if (d > longest) {
        longest = d;
        a = i;
        b = j;
      }
    }
  }
  if (!(longest > tolerance)) return true;  // all at one place
  for (const CalibrationPoint& p : points) {
    const double distance =
        std::fabs(TwiceArea(x(points[a]), y(points[a]), x(points[b]), y(points[b]), x(p), y(p))) /
        longest;
    if (distance > tolerance) return false;
  }
  return true;
}

}  // namespace

namespace {
bool ReadPoints(const std::string& path, std::vector<CalibrationPoint>& points,
                std::string& error);
}  // namespace

CalibrationOptions CalibrationOptions::Load() {
  CalibrationOptions options;
  vd::LoadProfileBinary(kSetting, &options, sizeof(options));
  return options;
}

void CalibrationOptions::Save() const { vd::SaveProfileBinary(kSetting, this, sizeof(*this)); }

double CalibrationOptions::GridInterval() const {
  if (!grid_on) return 0.0;
  const double g = double(grid_degrees) + double(grid_minutes) / 60.0;
  return std::isfinite(g) && g > 0 ? g : 0.0;
}

bool ReadCalibrationPoints(const std::string& path, std::vector<CalibrationPoint>& points,
                           std::string& error) {
  const bool read = ReadPoints(path, points, error);
  if (!read) points.clear();
  return read;
}

namespace {

bool ReadPoints(const std::string& path, std::vector<CalibrationPoint>& points,
                std::string& error) {
  points.clear();
  error.clear();
  if (!vd::os::FileExists(path)) return true;
  CKeyValueTable table;
  if (!table.Load(path)) {
    error = "Can't read the calibration file " + path;
    return false;
  }
  int k = 1;
  for (; k <= kMaxNumberedKeys; ++k) {
    const std::string* value = table.Lookup("rp" + std::to_string(k));
    if (!value) break;
    double v[4];
    char rest = 0;
    const int read = vd::os::ScanC(value->c_str(), " %lf, %lf, %lf, %lf %c", &v[0], &v[1], &v[2],
                                   &v[3], &rest);
    if (read != 4 || !std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]) ||
        !std::isfinite(v[3])) {
      error = vd::os::FormatC(
          "Reference point rp%d of %s is not understood: \"%s\"\n"
          "It must read latitude, longitude, x, y (four numbers).",
          k, path.c_str(), value->c_str());
      return false;
    }
    if (std::fabs(v[0]) > 90 || std::fabs(v[1]) > 360) {
      error = vd::os::FormatC("Reference point rp%d of %s is not a position on the globe: \"%s\"",
                              k, path.c_str(), value->c_str());
      return false;
    }
    if (std::fabs(v[2]) > std::numeric_limits<int32_t>::max() ||
        std::fabs(v[3]) > std::numeric_limits<int32_t>::max()) {
      error = vd::os::FormatC("Reference point rp%d of %s lies off the map: \"%s\"", k,
                              path.c_str(), value->c_str());
      return false;
    }
    points.push_back({static_cast<int32_t>(v[2]), static_cast<int32_t>(v[3]), v[0], v[1]});
  }
  // A point numbered past a gap would be lost without a word.
  for (int later = k + 1; later <= kMaxNumberedKeys; ++later) {
    if (table.Lookup("rp" + std::to_string(later))) {
      error = vd::os::FormatC("Reference point rp%d of %s is missing (rp%d follows it)", k,
                              path.c_str(), later);
      return false;
    }
  }
  return true;
}

}  // namespace

bool CheckCalibrationPoints(const std::vector<CalibrationPoint>& points, std::string& error) {
  if (points.size() < 3) {
    error = "At least three reference points are needed to calibrate the map";
    return false;
  }
  if (AllOnOneLine(points, [](const CalibrationPoint& p) { return double(p.x); },
                   [](const CalibrationPoint& p) { return double(p.y); }, kCollinearPixels)) {
    error = "The reference points lie on one line on the map.\n"
            "Add a point away from that line.";
    return false;
  }
  // About 1 m on the ground.
  if (AllOnOneLine(points, [](const CalibrationPoint& p) { return p.lon; },
                   [](const CalibrationPoint& p) { return p.lat; }, 1e-5)) {
    error = "The positions of the reference points lie on one line.\n"
            "Check the positions typed.";
    return false;
  }
  return true;
}

double FitCalibration(const std::vector<CalibrationPoint>& points, bool utm,
                      GeorefPolynomial& out) {
  std::vector<double> lat, lon, x, y;
  for (const CalibrationPoint& p : points) {
    lat.push_back(p.lat);
    lon.push_back(p.lon);
    x.push_back(p.x);
    y.push_back(p.y);
  }
  const int n = static_cast<int>(points.size());
  GeorefPolynomial fitted = out;
  const double residual =
      utm ? FitCalibrationViaUtm(lat.data(), lon.data(), x.data(), y.data(), n, fitted)
          : FitCalibrationPolynomial(lat.data(), lon.data(), x.data(), y.data(), n, fitted);
  if (!(residual < kNoCalibrationFit)) return std::max(residual, kNoCalibrationFit);
  out = fitted;
  return residual;
}

std::string FormatCalibrationFile(const CalibrationFile& file) {
  std::string text = "nm=" + file.name + "\n";
  if (!file.copyright.empty()) text += "cr=" + file.copyright + "\n";
  if (!file.depth_units.empty()) text += "du=" + file.depth_units + "\n";
  if (file.has_shift) {
    text += vd::os::FormatC("st=%f\n", file.shift_lat);
    text += vd::os::FormatC("sn=%f\n", file.shift_lon);
  }
  if (file.utm) text += "pr=UTM\n";
  text += file.nad27 ? "dm=NAD27\n" : "dm=WGS84\n";
  int k = 1;
  for (const CalibrationPoint& p : file.points) {
    text += vd::os::FormatC("rp%d=%f,%f,%d,%d\n", k++, p.lat, p.lon, p.x, p.y);
  }
  k = 1;
  for (const auto& [x, y] : file.boundary) text += vd::os::FormatC("vp%d=%d,%d\n", k++, x, y);
  return text;
}

bool WriteCalibrationFile(const std::string& path, const CalibrationFile& file) {
  return vd::os::SaveFileAtomically(path, FormatCalibrationFile(file));
}

bool ApplyCalibration(const std::string& chart_path, const GeorefPolynomial& georef,
                      const std::vector<GeoPoint>* boundary, bool nad27, double centre_lat,
                      double centre_lon) {
  QctHeaderPatch patch;
  if (!patch.Open(chart_path)) return false;
  patch.header().georef = georef;
  if (boundary && !boundary->empty() && !patch.WriteOutline(*boundary)) return false;
  QctDatumShift shift{0, 0};
  if (nad27) GetNad27Shift(centre_lat, centre_lon, shift.lat, shift.lon);  // 0 without a grid
  patch.WriteText(kQctDatum, nad27 ? "NAD27" : "WGS84");
  patch.WriteDatumShift(shift);
  return patch.Commit();
}

double SnapToGrid(double v, double g) {
  if (!(g > 0)) return v;
  double t = v + g / 2;
  if (t < 0) t -= g;
  return std::trunc(t / g) * g;
}
