#include "geodesy/magnetic_model.h"

#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <string_view>

#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/numbers.h"

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// WGS84 ellipsoid (km) and the model's reference radius.
constexpr double kSemiMajorKm = 6378.137;
constexpr double kEccentricitySquared = 0.006694380004260814;
constexpr double kReferenceRadiusKm = 6371.2;

constexpr int kN = WorldMagneticModel::kMaxDegree;
using Coefficients = WorldMagneticModel::Coefficients;

constexpr int Index(int n, int m) { return n * (n + 1) / 2 + m; }

// Splits off the next blank-separated token of `rest`.
std::string_view NextToken(std::string_view& rest) {
  size_t begin = rest.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) begin = rest.size();
  size_t end = rest.find_first_of(" \t\r", begin);
  if (end == std::string_view::npos) end = rest.size();
  std::string_view token = rest.substr(begin, end - begin);
  rest.remove_prefix(end);
  return token;
}

bool WholeInt(std::string_view token, int& out) {
  int64_t value = 0;
  size_t used = 0;
  if (!vd::os::ParseInt64(token, value, 10, &used) || used != token.size()) return false;
  if (value < -1000 || value > 1000) return false;
  out = static_cast<int>(value);
  return true;
}

bool WholeFiniteDouble(std::string_view token, double& out) {
  size_t used = 0;
  return vd::os::ParseDouble(token, out, &used) && used == token.size() && std::isfinite(out);
}

// Schmidt semi-normalised associated Legendre functions P(n, m) and their derivatives with
// respect to latitude at x = sin(latitude), by the low-degree recursion (exact at the poles).
void SchmidtLegendre(double x, Coefficients& p, Coefficients& dp) {
  const double z = std::sqrt((1.0 - x) * (1.0 + x));
  p[0] = 1.0;
  dp[0] = 0.0;
  // Gauss-normalised functions first; dp is the derivative with respect to colatitude.
  for (int n = 1; n <= kN; ++n) {
    for (int m = 0; m <= n; ++m) {
      const int i = Index(n, m);
      if (n == m) {
        const int i1 = Index(n - 1, m - 1);
        p[i] = z * p[i1];
        dp[i] = z * dp[i1] + x * p[i1];
      } else if (m > n - 2) {  // n = m + 1
        const int i1 = Index(n - 1, m);
        p[i] = x * p[i1];
        dp[i] = x * dp[i1] - z * p[i1];
      } else {
        const int i1 = Index(n - 1, m);
        const int i2 = Index(n - 2, m);
        const double k = static_cast<double>((n - 1) * (n - 1) - m * m) /
                         static_cast<double>((2 * n - 1) * (2 * n - 3));
        p[i] = x * p[i1] - k * p[i2];
        dp[i] = x * dp[i1] - z * p[i1] - k * dp[i2];
      }
    }
  }
  // Scale to Schmidt semi-normalisation; the sign change turns d/dcolatitude into d/dlatitude.
  double norm_m0 = 1.0;
  for (int n = 1; n <= kN; ++n) {
    norm_m0 *= static_cast<double>(2 * n - 1) / n;
    double norm = norm_m0;
    for (int m = 0; m <= n; ++m) {
      if (m > 0) norm *= std::sqrt(static_cast<double>((n - m + 1) * (m == 1 ? 2 : 1)) / (n + m));
      const int i = Index(n, m);
      p[i] *= norm;
      dp[i] *= -norm;
    }
  }
}

// The eastward component at a geographic pole, where the usual division by cos(latitude) is
// undefined: only m = 1 terms contribute, with P(n, 1) / cos(latitude) taken to its limit.
double PoleEastComponent(const Coefficients& g, const Coefficients& h, const double* radius_power,
                         double sin_lat, double cos_lon, double sin_lon) {
  double p[kN + 1];
  p[0] = 1.0;
  double norm = 1.0;
  double east = 0.0;
  for (int n = 1; n <= kN; ++n) {
    norm *= static_cast<double>(2 * n - 1) / n;
    const double norm_m1 = norm * std::sqrt(2.0 * n / (n + 1));
    if (n == 1) {
      p[n] = p[n - 1];
    } else {
      const double k = static_cast<double>((n - 1) * (n - 1) - 1) /
                       static_cast<double>((2 * n - 1) * (2 * n - 3));
      p[n] = sin_lat * p[n - 1] - k * p[n - 2];
    }
    const int i = Index(n, 1);
    east += radius_power[n] * (g[i] * sin_lon - h[i] * cos_lon) * p[n] * norm_m1;
  }
  return east;
}

}  // namespace

std::string WorldMagneticModel::DefaultPath() { return vd::os::ProgramFolder() + "/" + kFileName; }

std::shared_ptr<const WorldMagneticModel> WorldMagneticModel::Load(const std::string& path,
                                                                   std::string* error) {
  auto fail = [&](std::string reason) -> std::shared_ptr<const WorldMagneticModel> {
    if (error) *error = std::move(reason);
    return nullptr;
  };
  std::string bytes;
  if (!vd::os::ReadWholeFile(path, bytes)) return fail("Error opening coefficient file");

  std::shared_ptr<WorldMagneticModel> model(new WorldMagneticModel());
  bool have[kCoefficientCount] = {};
  bool header_read = false;
  bool ended = false;
  int line_number = 0;
  std::string_view text = bytes;
  while (!text.empty() && !ended) {
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    ++line_number;
    const std::string where = " at line " + std::to_string(line_number);

    if (!header_read) {
      std::string_view rest = line;
      if (!WholeFiniteDouble(NextToken(rest), model->epoch_)) return fail("Bad epoch" + where);
      model->name_ = std::string(NextToken(rest));
      header_read = true;
      continue;
    }
    if (line.substr(0, 4) == "9999") {
      ended = true;
      continue;
    }
    std::string_view rest = line;
    std::string_view first = NextToken(rest);
    if (first.empty()) continue;  // blank line
    int n = 0, m = 0;
    double values[4];
    bool ok = WholeInt(first, n) && WholeInt(NextToken(rest), m);
    for (double& v : values) ok = ok && WholeFiniteDouble(NextToken(rest), v);
    if (!ok) return fail("Unreadable coefficient" + where);
    if (m > n) continue;  // not part of the model
    if (n < 1 || n > kMaxDegree || m < 0) return fail("Degree or order out of range" + where);
    const int i = Index(n, m);
    if (have[i]) return fail("Repeated coefficient" + where);
    have[i] = true;
    model->g_[i] = values[0];
    model->h_[i] = values[1];
    model->g_dot_[i] = values[2];
    model->h_dot_[i] = values[3];
  }
  if (!ended) return fail("Coefficient file has no end line");
  for (int i = 1; i < kCoefficientCount; ++i) {
    if (!have[i]) return fail("Coefficient file is incomplete");
  }
  return model;
}

std::shared_ptr<const WorldMagneticModel> WorldMagneticModel::Shared(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const WorldMagneticModel>> loaded;
  std::lock_guard lock(mutex);
  auto& slot = loaded[path];
  if (!slot) slot = Load(path);
  return slot;
}

double WorldMagneticModel::DecimalYear(double seconds_1970) {
  // Beyond a few million years either way the calendar arithmetic would overflow.
  if (!std::isfinite(seconds_1970) || std::fabs(seconds_1970) > 1e14) return std::nan("");
  using namespace std::chrono;
  const sys_days day{days{static_cast<int64_t>(std::floor(seconds_1970 / 86400.0))}};
  const year y = year_month_day(day).year();
  const int day_of_year = (day - sys_days{y / January / 1}).count();  // 0-based
  return static_cast<int>(y) + day_of_year / (y.is_leap() ? 366.0 : 365.0);
}

std::optional<MagneticField> WorldMagneticModel::Evaluate(double lat, double lon, double height_m,
                                                          double decimal_year) const {
  if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(height_m) ||
      !std::isfinite(decimal_year) || std::fabs(lat) > 90.0) {
    return std::nullopt;
  }
  // Coefficients moved to the date.
  Coefficients g, h;
  const double dt = decimal_year - epoch_;
  for (int i = 0; i < kCoefficientCount; ++i) {
    g[i] = g_[i] + dt * g_dot_[i];
    h[i] = h_[i] + dt * h_dot_[i];
  }

  // Geodetic to geocentric spherical coordinates.
  const double height_km = height_m * 0.001;
  const double sin_lat = std::sin(lat * kDegree);
  const double cos_lat = std::cos(lat * kDegree);
  const double rc = kSemiMajorKm / std::sqrt(1.0 - kEccentricitySquared * sin_lat * sin_lat);
  const double xp = (rc + height_km) * cos_lat;
  const double zp = (rc * (1.0 - kEccentricitySquared) + height_km) * sin_lat;
  const double r = std::hypot(xp, zp);
  const double phi = std::asin(zp / r);  // geocentric latitude, radians
  const double sin_phi = std::sin(phi);
  const double cos_phi = std::cos(phi);

  double radius_power[kN + 1];  // (a / r)^(n + 2)
  const double ratio = kReferenceRadiusKm / r;
  radius_power[0] = ratio * ratio;
  for (int n = 1; n <= kN; ++n) radius_power[n] = radius_power[n - 1] * ratio;

  double cos_ml[kN + 1], sin_ml[kN + 1];  // cos and sin of m times the longitude
  const double cos_lon = std::cos(lon * kDegree);
  const double sin_lon = std::sin(lon * kDegree);
  cos_ml[0] = 1.0;
  sin_ml[0] = 0.0;
  for (int m = 1; m <= kN; ++m) {
    cos_ml[m] = cos_ml[m - 1] * cos_lon - sin_ml[m - 1] * sin_lon;
    sin_ml[m] = cos_ml[m - 1] * sin_lon + sin_ml[m - 1] * cos_lon;
  }

  Coefficients p, dp;
  SchmidtLegendre(sin_phi, p, dp);

  // Spherical components: x north, y east, z down.
  double x = 0.0, y = 0.0, z = 0.0;
  for (int n = 1; n <= kN; ++n) {
    for (int m = 0; m <= n; ++m) {
      const int i = Index(n, m);
      const double gh_cos = g[i] * cos_ml[m] + h[i] * sin_ml[m];
      const double gh_sin = g[i] * sin_ml[m] - h[i] * cos_ml[m];
      z -= radius_power[n] * gh_cos * (n + 1) * p[i];
      y += radius_power[n] * gh_sin * m * p[i];
      x -= radius_power[n] * gh_cos * dp[i];
    }
  }
  if (std::fabs(cos_phi) > 1e-10) {
    y /= cos_phi;
  } else {
    y = PoleEastComponent(g, h, radius_power, sin_phi, cos_lon, sin_lon);
  }

  // Rotate from the geocentric to the geodetic frame.
  const double psi = phi - lat * kDegree;
  MagneticField field;
  field.north = x * std::cos(psi) - z * std::sin(psi);
  field.east = y;
  field.down = x * std::sin(psi) + z * std::cos(psi);
  field.declination = std::atan2(field.east, field.north) / kDegree;
  field.inclination = std::atan2(field.down, std::hypot(field.north, field.east)) / kDegree;
  return field;
}

std::optional<double> GetMagneticDeclination(double lat, double lon, double height_m,
                                             double time_1970, const std::string& path) {
  const auto model = WorldMagneticModel::Shared(path);
  if (!model) return std::nullopt;
  const auto field =
      model->Evaluate(lat, lon, height_m, WorldMagneticModel::DecimalYear(time_1970));
  if (!field) return std::nullopt;
  return field->declination;
}
