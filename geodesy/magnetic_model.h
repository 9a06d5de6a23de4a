#pragma once
// The World Magnetic Model: a degree-12 spherical-harmonic model of the main geomagnetic field
// and its secular variation, read from the published coefficient file "WMM_COF.txt" and
// evaluated at a WGS84 position and date. Magnetic bearings use its declination.
//
// Coefficient file (text, C locale): line 1 is the epoch (decimal year) and the model name;
// then one line per coefficient "n m g h g-dot h-dot" (nT, nT per year); a line starting with
// "9999" ends the list and must be there. Lines with m > n are ignored; a line with n outside
// 1..12, a line that does not read as six numbers, a repeated or missing coefficient, or a
// missing end line (a cut-short file) makes the whole file unusable.
#include <array>
#include <memory>
#include <optional>
#include <string>

// The field at one point, in the geodetic frame.
struct MagneticField {
  double north = 0.0;        // X, nT
  double east = 0.0;         // Y, nT
  double down = 0.0;         // Z, nT
  double declination = 0.0;  // degrees, east positive: atan2(east, north)
  double inclination = 0.0;  // degrees, down positive
};

class WorldMagneticModel {
 public:
  static constexpr int kMaxDegree = 12;
  // Coefficients are indexed n(n + 1)/2 + m for n = 1..12, m = 0..n; index 0 is unused.
  static constexpr int kCoefficientCount = (kMaxDegree + 1) * (kMaxDegree + 2) / 2;
  using Coefficients = std::array<double, kCoefficientCount>;

  // Name of the coefficient file that ships beside the programs.
  static constexpr const char* kFileName = "WMM_COF.txt";

  // vd::os::ProgramFolder() + "/WMM_COF.txt".
  static std::string DefaultPath();

  // Reads a coefficient file. Null, with a reason in *error when given, when the file is
  // missing or damaged.
  static std::shared_ptr<const WorldMagneticModel> Load(const std::string& path,
                                                        std::string* error = nullptr);

  // The model of the file at path, read on the first request for that path and kept for the
  // rest of the run. A file that could not be read is tried again on the next request.
  // Safe to call from any thread.
  static std::shared_ptr<const WorldMagneticModel> Shared(const std::string& path);

  // Decimal year of an instant (seconds since 1 January 1970 UTC): the calendar year plus
  // (day of the year - 1) / days in that year, the model's own date convention.
  static double DecimalYear(double seconds_1970);

  // The field at a geodetic position (degrees; height in metres above the ellipsoid) and date
  // (decimal year). Nothing when the input is not finite or |lat| > 90. The poles give
  // finite values (the declination there follows the longitude given).
  std::optional<MagneticField> Evaluate(double lat, double lon, double height_m,
                                        double decimal_year) const;

  double epoch() const { return epoch_; }
  const std::string& name() const { return name_; }

 private:
  WorldMagneticModel() = default;

  double epoch_ = 0.0;
  std::string name_;
  Coefficients g_{}, h_{}, g_dot_{}, h_dot_{};
};

// Declination in degrees (east positive) at (lat, lon), height in metres and time (seconds
// since 1 January 1970 UTC), from the coefficient file at path (read once and kept; see
// WorldMagneticModel::Shared). Nothing when the file is missing or damaged or the position is
// not valid, so the caller keeps the variation it had.
std::optional<double> GetMagneticDeclination(double lat, double lon, double height_m,
                                             double time_1970, const std::string& path);
