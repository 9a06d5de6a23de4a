#include "app/app_common.h"

#include "core/file_utils.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "charts/degree_text.h"
#include "charts/offline_data.h"
#include "app/shell_services.h"
#include "app/time_value.h"
#include "geodesy/angle_text.h"
#include "geodesy/magnetic_model.h"
#include "geodesy/township_converter.h"
#include "geodesy/utm_grid_formatter.h"
#include "platform/os/clock.h"
#include "platform/os/folders.h"
#include "platform/os/numbers.h"
#include "platform/os/process.h"
#include "platform/os/profile_store.h"

namespace {

CAppCommon* g_app = nullptr;

constexpr char kDegreeSign[] = "°";

constexpr double kYardsPerNauticalMile = 2025.333;
constexpr double kStatuteMilesPerNauticalMile = 1.1507823082754423;
constexpr double kFeetPerNauticalMile = 6076.0;
constexpr double kKilometresPerNauticalMile = 1.852;
constexpr double kFeetPerMetre = 3.2808;
constexpr double kSquareNauticalMilesPerSquareMetre = 2.9155334959812285e-7;
constexpr double kAcresPerSquareMetre = 2.471e-4;
constexpr double kHectaresPerSquareMetre = 1e-4;
constexpr double kSquareKilometresPerSquareMetre = 1e-6;
// Depths and heights from this on are "none".
constexpr double kNoDepth = 30000.0;
constexpr double kVariationModelHeightMetres = 100.0;

// Position-format codes the formatting tells apart.
constexpr int kCodeDegrees = 0;
constexpr int kCodeDegMinSec = 2;
constexpr int kCodeNad27 = 3;
constexpr int kCodeBritishGrid = 4;
constexpr int kCodeUtm = 5;
constexpr int kCodeProjectionFile = 6;
constexpr int kCodeTownship = 7;
constexpr int kCodeSignedDegrees = 8;
constexpr int kCodeMgrs = 9;
constexpr int kCodeUtmBands = 10;

// One step of 360 towards -180..180.
double WrapLongitudeOnce(double lon) {
  if (lon < -180.0) return lon + 360.0;
  if (lon > 180.0) return lon - 360.0;
  return lon;
}

int DateOrderOfUserLocale() {
  const locale_t locale = newlocale(LC_TIME_MASK, "", nullptr);
  if (locale == nullptr) return CAppCommon::kDayMonthYear;
  const int order = CAppCommon::DateOrderOfFormat(nl_langinfo_l(D_FMT, locale));
  freelocale(locale);
  return order;
}

bool IsPosition(double lat, double lon) {
  return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0;
}

}  // namespace

namespace {

OfflineDataServices MapStoreServices() {
  OfflineDataServices services;
  services.map_store_folder = &CAppCommon::GetKvxFolder;
  return services;
}

}  // namespace

CAppCommon::CAppCommon()
    : date_order(DateOrderOfUserLocale()),
      offline_data_(std::make_unique<COfflineData>(MapStoreServices())) {
  std::srand(static_cast<unsigned>(vd::os::TickCountMs()));
  g_app = this;
}

CAppCommon::~CAppCommon() {
  if (g_app == this) g_app = nullptr;
}

CAppCommon* CAppCommon::Instance() { return g_app; }

const CElevationFile* CAppCommon::GetElevationFile() const {
  const CElevationFile& file = offline_data_->elevation_file();
  return file.IsLoaded() ? &file : nullptr;
}

std::string CAppCommon::DownloadOfflineData(const std::string& chart_path,
                                            const std::string& name, const std::string& kind,
                                            bool requery) {
  return offline_data_->DownloadOfflineData(chart_path, name, kind, requery);
}

void CAppCommon::FindElevationFile(const std::string& chart_path, const std::string& name) {
  offline_data_->FindElevationFile(chart_path, name);
}

bool CAppCommon::OpenElevationFile(const std::string& path) {
  return offline_data_->OpenElevationFile(path);
}

void CAppCommon::InitFolders() {
  program_folder = vd::os::ProgramFolder();
  const std::string documents = vd::os::DocumentsFolder();
  data_folder = documents.empty() ? program_folder + "/data" : documents + "/Map Overlays";
  temp_folder = vd::os::TempFolder();
}

void CAppCommon::BindProfileValues() {
  show_altitude.Init("show_altitude", 1);
  night_colors.Init("night_colors", 0);
  distance_units.Init("distance_units", kStatuteMiles);
  posn_format.Init("posn_format", 1);
  show_magnetic.Init("show_magnetic", 0);
  const int minutes =
      vd::OpenAppProfile().GetInt(vd::kSettingsSection, "magnetic_variation").value_or(0);
  magnetic_variation = static_cast<float>(minutes / 60.0);
}

void CAppCommon::LoadCommonSettings() {
  offline_data_->OpenSavedElevationFile(program_folder);
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  default_mark_symbol = profile.GetInt(vd::kSettingsSection, "def_mark").value_or(10);
  default_route_point_symbol = profile.GetInt(vd::kSettingsSection, "def_wp").value_or(0);
  default_mark_colour = profile.GetInt(vd::kSettingsSection, "def_mark_color").value_or(255);
  default_route_point_colour =
      profile.GetInt(vd::kSettingsSection, "def_wp_color").value_or(16711680);
}

std::string CAppCommon::GetKvxFolder() {
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  const std::string chosen = profile.GetString(vd::kSettingsSection, "kvx_folder").value_or("");
  if (!chosen.empty() && IsWritableFolder(chosen)) return chosen;
  const std::string charts = profile.GetString(vd::kSettingsSection, "qct_dir").value_or("");
  if (!charts.empty()) return charts + "/KVX";
  // Without a chart folder the map store goes with the program's data, never to "/KVX".
  const CAppCommon* app = Instance();
  return app && !app->data_folder.empty() ? app->data_folder + "/KVX" : "";
}

int CAppCommon::ReadRegistryDword(const std::string& sub_key, const std::string& name,
                                  int default_value) {
  return vd::os::ProfileStore(kLegacyProfileKey).GetInt(sub_key, name).value_or(default_value);
}

std::string CAppCommon::ReadRegistryString(const std::string& sub_key, const std::string& name,
                                           const std::string& default_value) {
  return vd::os::ProfileStore(kLegacyProfileKey).GetString(sub_key, name).value_or(default_value);
}

void CAppCommon::SetDistanceUnits(int units) {
  if (units < kNauticalMiles || units > kKilometres) return;
  distance_units.value = units;
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, "distance_units", units);
  if (COstrelDocBase* doc = FindFirstDocument()) doc->UpdateAllViews(nullptr, 0, nullptr);
}

void CAppCommon::SetPositionFormat(int code) {
  if (code < kCodeDegrees || code > kCodeUtmBands) return;
  posn_format.value = code;
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, "posn_format", code);
  if (COstrelDocBase* doc = FindFirstDocument()) doc->UpdateAllViews(nullptr, 0, nullptr);
}

// ---- data panes ----

void CAppCommon::AddDataWindow(CDataWnd* pane) {
  if (pane != nullptr &&
      std::find(data_windows_.begin(), data_windows_.end(), pane) == data_windows_.end()) {
    data_windows_.push_back(pane);
  }
}

void CAppCommon::RemoveDataWindow(CDataWnd* pane) { std::erase(data_windows_, pane); }

void CAppCommon::BroadcastToDataWindows(COstrelObject* object, int hint) {
  const std::vector<CDataWnd*> panes = data_windows_;
  for (CDataWnd* pane : panes) {
    if (std::find(data_windows_.begin(), data_windows_.end(), pane) == data_windows_.end()) {
      continue;  // left (or was destroyed) during an earlier pane's update
    }
    pane->Update(object, hint);
  }
}

void CAppCommon::CloseAllDataWindows() {
  while (!data_windows_.empty()) {
    CDataWnd* first = data_windows_.front();
    first->DestroyWindow();
    // A pane that failed to leave would otherwise be destroyed for ever.
    if (!data_windows_.empty() && data_windows_.front() == first) RemoveDataWindow(first);
  }
}

// ---- formatting ----

std::string CAppCommon::FormatDistance(double nautical_miles) const {
  if (nautical_miles == 0.0) return "0";
  const double nm = nautical_miles;
  double value = nm;
  const char* unit = "NM";
  switch (distance_units.value) {
    case kStatuteMiles: {
      const double miles = nm * kStatuteMilesPerNauticalMile;
      if (std::fabs(miles) < 0.1645) {
        value = nm * kFeetPerNauticalMile;
        unit = "ft";
      } else {
        value = miles;
        unit = "Mi";
      }
      break;
    }
    case kKilometres: {
      const double km = nm * kKilometresPerNauticalMile;
      if (std::fabs(km) < 1.0) {
        value = km * 1000.0;
        unit = "m";
      } else {
        value = km;
        unit = "km";
      }
      break;
    }
    default:
      if (std::fabs(nm) < 0.05) {
        value = nm * kYardsPerNauticalMile;
        unit = "yds";
      }
      break;
  }
  // "%.3g" would print "1e+03" for values that round to 1000.
  return vd::os::FormatC(std::fabs(value) >= 999.5 ? "%.0f %s" : "%.3g %s", value, unit);
}

double CAppCommon::GetSpeedUnit(std::string& distance_unit, std::string& speed_unit) const {
  switch (distance_units.value) {
    case kNauticalMiles:
      distance_unit = "NM";
      speed_unit = "kts";
      return 1.0;
    case kStatuteMiles:
      distance_unit = "mi";
      speed_unit = "mph";
      return 1.1507823;
    case kKilometres:
      distance_unit = "km";
      speed_unit = "km/h";
      return kKilometresPerNauticalMile;
    default:
      distance_unit.clear();
      speed_unit.clear();
      return 1.0;
  }
}

std::string CAppCommon::FormatSpeed(double knots) const {
  std::string distance_unit;
  std::string speed_unit;
  const double value = knots * GetSpeedUnit(distance_unit, speed_unit);
  return vd::os::FormatC(value < 10.0 ? "%.02f %s" : "%.01f %s", value, speed_unit.c_str());
}

double CAppCommon::GetDepthUnit(std::string& name) const {
  if (distance_units.value == kKilometres) {
    name = "m";
    return 1.0;
  }
  name = "ft";
  return kFeetPerMetre;
}

std::string CAppCommon::FormatDepth(double metres) const {
  if (show_altitude.value == 0 || !(metres < kNoDepth)) return std::string();
  std::string unit;
  const double factor = GetDepthUnit(unit);
  return vd::os::FormatC("%.0f %s", metres * factor, unit.c_str());
}

std::string CAppCommon::FormatArea(double square_metres) const {
  double value = square_metres * kSquareNauticalMilesPerSquareMetre;
  const char* unit = "sq NM";
  if (distance_units.value == kStatuteMiles) {
    value = square_metres * kAcresPerSquareMetre;
    unit = "acres";
  } else if (distance_units.value == kKilometres) {
    value = square_metres * kHectaresPerSquareMetre;
    unit = "hectares";
    if (value > 1000.0) {
      value = square_metres * kSquareKilometresPerSquareMetre;
      unit = "sq km";
    }
  }
  return vd::os::FormatC("%.2f %s", value, unit);
}

std::string CAppCommon::FormatBearing(double degrees_true) const {
  const bool magnetic = show_magnetic.value != 0;
  const char* suffix = magnetic ? "M" : "T";
  const double value = magnetic ? degrees_true + magnetic_variation : degrees_true;
  if (!std::isfinite(value)) return std::string(kDegreeSign) + suffix;
  // Rounded to the nearest degree (also for negative values), then into 0..359.
  double whole = std::fmod(std::floor(value + 0.5), 360.0);
  if (whole < 0.0) whole += 360.0;
  return vd::os::FormatC("%03d%s%s", static_cast<int>(whole), kDegreeSign, suffix);
}

std::string CAppCommon::FormatRangeBearing(double nautical_miles, double degrees_true) const {
  return FormatDistance(nautical_miles) + " " + FormatBearing(degrees_true);
}

std::string CAppCommon::FormatDuration(int64_t seconds) {
  if (seconds < 0) {
    // Negated as unsigned so that the most negative value does not overflow.
    const uint64_t magnitude = 0 - static_cast<uint64_t>(seconds);
    return "-" + FormatDuration(static_cast<int64_t>(std::min<uint64_t>(magnitude, INT64_MAX)));
  }
  const int64_t days = seconds / 86400;
  const int hours = static_cast<int>(seconds % 86400 / 3600);
  const int minutes = static_cast<int>(seconds % 3600 / 60);
  if (days > 0) {
    return vd::os::FormatC("%lld day%s, %d:%02d", static_cast<long long>(days),
                           days >= 2 ? "s" : "", hours, minutes);
  }
  return vd::os::FormatC("%d:%02d", hours, minutes);
}

std::string CAppCommon::FormatTime(int64_t seconds_1970, bool with_seconds) const {
  std::tm local{};
  if (CTimeValue::GetLocalTm(seconds_1970, local) == nullptr) return std::string();
  std::string text =
      with_seconds ? vd::os::FormatC("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec)
                   : vd::os::FormatC("%02d:%02d", local.tm_hour, local.tm_min);
  const int day = local.tm_mday;
  const int month = local.tm_mon + 1;
  const int year = (local.tm_year + 1900) % 100;
  switch (date_order) {
    case kMonthDayYear:
      text += vd::os::FormatC(" %02d/%02d/%02d", month, day, year);
      break;
    case kYearMonthDay:
      text += vd::os::FormatC(" %02d/%02d/%02d", year, month, day);
      break;
    default:
      text += vd::os::FormatC(" %02d/%02d/%02d", day, month, year);
      break;
  }
  return text;
}

std::string CAppCommon::FormatDateTime(int32_t seconds_1970, bool with_seconds) const {
  return FormatTime(seconds_1970, with_seconds);
}

std::string CAppCommon::FormatLatLon(double value, const char* letters) const {
  return FormatLatLon(value, letters, posn_format.value);
}

std::string CAppCommon::FormatLatLon(double value, const char* letters, int position_format_code) {
  AngleTextType type = kAngleDegMin;
  if (position_format_code == kCodeSignedDegrees) type = kAngleSigned;
  if (position_format_code == kCodeDegrees) type = kAngleDegrees;
  if (position_format_code == kCodeDegMinSec) type = kAngleDegMinSec;
  return FormatAngleText(value, letters, type);
}

void CAppCommon::FormatPosition(double lat, double lon, std::string& out) {
  lon = WrapLongitudeOnce(lon);
  utm_grid_formatter* formatter = GetPositionFormatter();
  std::string text;
  if (formatter->FormatPosition(lat, lon, text)) {
    out = std::move(text);
    return;
  }
  out = FormatLatLon(lat, "NS") + ", " + FormatLatLon(lon, "EW");
}

utm_grid_formatter* CAppCommon::GetPositionFormatter() {
  const int code = posn_format.value;
  if (position_formatter_ && position_formatter_->position_format_code() == code) {
    return position_formatter_.get();
  }
  position_formatter_.reset();
  switch (code) {
    case kCodeNad27:
      position_formatter_ = std::make_unique<UTM_NAD27_Grid>();
      break;
    case kCodeBritishGrid:
      position_formatter_ = std::make_unique<OSGB_National_Grid>();
      break;
    case kCodeUtm:
      position_formatter_ = std::make_unique<UTM_WGS84_Grid>();
      break;
    case kCodeProjectionFile:
      position_formatter_ = std::make_unique<ProjDat_Grid>(
          vd::OpenAppProfile().GetString(vd::kSettingsSection, "posn_format_proj").value_or(""));
      break;
    case kCodeTownship:
      position_formatter_ = std::make_unique<township_converter>(
          [this](const std::string& message) { ShowUserMessage(message); });
      break;
    case kCodeMgrs:
      position_formatter_ = std::make_unique<MGRS_Grid>();
      break;
    case kCodeUtmBands:
      position_formatter_ = std::make_unique<UTMbands_WGS84_Grid>();
      break;
    default:
      position_formatter_ = std::make_unique<LatLon_Grid>(
          code,
          [this](double degrees, const char* letters) { return FormatLatLon(degrees, letters); });
      break;
  }
  position_formatter_->set_position_format_code(code);
  return position_formatter_.get();
}

void CAppCommon::DropPositionFormatter() { position_formatter_.reset(); }

void CAppCommon::ShowUserMessage(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

// ---- magnetic variation ----

void CAppCommon::UpdateMagneticVariation(double lat, double lon, int64_t seconds_1970) {
  if (show_magnetic.value == 0) {
    last_variation_lat = lat;
    last_variation_lon = lon;
    last_variation_time = seconds_1970;
    return;
  }
  if (!IsPosition(lat, lon)) return;
  const double dlat = lat - last_variation_lat;
  const double dlon = lon - last_variation_lon;
  if (dlat * dlat + dlon * dlon < 1.0) return;
  const std::optional<double> declination = GetMagneticDeclination(
      lat, lon, kVariationModelHeightMetres, static_cast<double>(seconds_1970),
      program_folder + "/" + WorldMagneticModel::kFileName);
  if (!declination) return;
  magnetic_variation = static_cast<float>(-*declination);
  last_variation_lat = lat;
  last_variation_lon = lon;
  last_variation_time = seconds_1970;
}

void CAppCommon::ResetCurrentPosition() {
  const double lat = last_variation_lat;
  const double lon = last_variation_lon;
  const int64_t time = last_variation_time;
  last_variation_lat = kNoPosition;
  last_variation_lon = kNoPosition;
  last_variation_time = 0;
  UpdateMagneticVariation(lat, lon, time);
}

// ---- shell ----

bool CAppCommon::OpenURL(const std::string& text) {
  if (text.empty()) return false;
  return vd::os::OpenDocument(text.find("://") == std::string::npos ? "http://" + text : text);
}

int CAppCommon::DateOrderOfFormat(std::string_view date_format) {
  size_t day = std::string_view::npos;
  size_t month = std::string_view::npos;
  size_t year = std::string_view::npos;
  for (size_t i = 0; i + 1 < date_format.size(); ++i) {
    if (date_format[i] != '%') continue;
    size_t conversion = i + 1;
    // Modifiers: "%Ey", "%Od", flags and widths ("%-d", "%02d").
    while (conversion < date_format.size() &&
           std::string_view("EO_-0^#123456789").find(date_format[conversion]) !=
               std::string_view::npos) {
      ++conversion;
    }
    if (conversion >= date_format.size()) break;
    switch (date_format[conversion]) {
      case 'd':
      case 'e':
        day = std::min(day, i);
        break;
      case 'm':
      case 'b':
      case 'B':
      case 'h':
        month = std::min(month, i);
        break;
      case 'y':
      case 'Y':
      case 'C':
      case 'G':
        year = std::min(year, i);
        break;
      case 'D':  // %m/%d/%y
        return kMonthDayYear;
      case 'F':  // %Y-%m-%d
        return kYearMonthDay;
      default:
        break;
    }
    i = conversion;
  }
  if (day == std::string_view::npos || month == std::string_view::npos) return kDayMonthYear;
  if (year < day && year < month) return kYearMonthDay;
  return month < day ? kMonthDayYear : kDayMonthYear;
}

// ---- free wrappers ----

void FormatLatitudeText(double lat, std::string& out) {
  CAppCommon* app = CAppCommon::Instance();
  out = app != nullptr ? app->FormatLatLon(lat, "NS") : CAppCommon::FormatLatLon(lat, "NS", 1);
}

void FormatLongitudeText(double lon, std::string& out) {
  lon = WrapLongitudeOnce(lon);
  CAppCommon* app = CAppCommon::Instance();
  out = app != nullptr ? app->FormatLatLon(lon, "EW") : CAppCommon::FormatLatLon(lon, "EW", 1);
}

void FormatPositionText(double lat, double lon, std::string& out) {
  if (CAppCommon* app = CAppCommon::Instance()) {
    app->FormatPosition(lat, lon, out);
    return;
  }
  std::string longitude;
  FormatLatitudeText(lat, out);
  FormatLongitudeText(lon, longitude);
  out += ", " + longitude;
}

bool ParsePositionText(const std::string& text, double& lat, double& lon) {
  CAppCommon* app = CAppCommon::Instance();
  if (app != nullptr && app->GetPositionFormatter()->ParsePosition(text, lat, lon)) return true;
  return SplitLatLonText(text, [&](std::string_view lat_text, std::string_view lon_text) {
    double la = 0.0;
    double lo = 0.0;
    if (!ParseLatitudeText(std::string(lat_text), la) ||
        !ParseLongitudeText(std::string(lon_text), lo)) {
      return false;
    }
    lat = la;
    lon = lo;
    return true;
  });
}
