#pragma once
// Calibrating a scanned chart: reference points (a chart pixel and the position it shows), the
// georeference fitted to them, written into the chart file with a boundary and a datum, and the
// chart's calibration file (".jpr") that keeps the points. The calibration dialog
// (corvex/ui/dlg_georeferencing.h) drives it; nothing here knows a window.
//
// Calibration file: key=value lines. Written in this order: "nm=" map name, "cr=" copyright
// (when there is one), "du=" depth units (nautical charts only, when known), "st=" and "sn="
// datum shift in degrees (when known), "pr=UTM" (the fit through UTM), "dm=NAD27" or
// "dm=WGS84", "rpN=lat,lon,x,y" per reference point and "vpN=x,y" per boundary vertex, N
// counted from 1.
#include <cstdint>
#include <string>
#include <vector>

#include "geodesy/geo_point.h"
#include "geodesy/georef_polynomial.h"

struct CalibrationPoint {
  int32_t x = 0;  // chart pixel
  int32_t y = 0;
  double lat = 0.0;  // degrees, WGS84
  double lon = 0.0;
};

// The calibration options, kept as the 24-byte binary setting "chart_calib": six 32-bit fields
// in this order.
struct CalibrationOptions {
  int32_t grid_on = 0;
  float grid_degrees = 1.0f;
  float grid_minutes = 0.0f;
  int32_t utm = 0;               // fit through UTM
  int32_t boundary_on_grid = 0;  // the boundary follows the grid around the chart
  int32_t nad27 = 0;             // the chart is in NAD27

  static constexpr char kSetting[] = "chart_calib";
  static CalibrationOptions Load();
  void Save() const;
  // Degrees between grid lines; 0 when the grid is off.
  double GridInterval() const;
};
static_assert(sizeof(CalibrationOptions) == 24, "stored as 24 bytes");

// Reference points at least this many pixels apart from the line through two others count as
// off it.
inline constexpr double kCollinearPixels = 1.0;

// Reads the reference points "rp1", "rp2", ... of a calibration file. A missing file gives no
// points and true. False with `error` set for a value that is not four numbers, a position off
// the globe, or a numbered key after a gap ("rp3" without "rp2").
bool ReadCalibrationPoints(const std::string& path, std::vector<CalibrationPoint>& points,
                           std::string& error);

// Whether the points can be fitted: three or more, not all on one line (in pixels or in
// positions). False with a message for the user.
bool CheckCalibrationPoints(const std::vector<CalibrationPoint>& points, std::string& error);

// Fits the georeference (polynomial, or through UTM) to the points; the largest residual in
// pixels, or a value of 999 or more when no fit was found (then `out` is unchanged).
double FitCalibration(const std::vector<CalibrationPoint>& points, bool utm,
                      GeorefPolynomial& out);

// What the calibration file says besides the points.
struct CalibrationFile {
  std::string name;
  std::string copyright;
  std::string depth_units;  // written only when not empty
  bool has_shift = false;
  double shift_lat = 0.0;
  double shift_lon = 0.0;
  bool utm = false;
  bool nad27 = false;
  std::vector<CalibrationPoint> points;
  std::vector<std::pair<int32_t, int32_t>> boundary;  // chart pixels
};
std::string FormatCalibrationFile(const CalibrationFile& file);
// Written whole or not at all; false when it can't be.
bool WriteCalibrationFile(const std::string& path, const CalibrationFile& file);

// Writes the georeference into the chart file, then the boundary (when given, positions in
// the chart's datum) and the datum: "WGS84" with no shift, or "NAD27" with the NAD27 shift at
// (centre_lat, centre_lon). One replacement of the file; false, the file unchanged, on failure.
bool ApplyCalibration(const std::string& chart_path, const GeorefPolynomial& georef,
                      const std::vector<GeoPoint>* boundary, bool nad27, double centre_lat,
                      double centre_lon);

// The grid value nearest v for a grid interval g > 0 (v itself for g <= 0).
double SnapToGrid(double v, double g);
