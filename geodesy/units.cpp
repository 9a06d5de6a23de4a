#include "geodesy/units.h"

#include <cmath>
#include <ctime>

#include "geodesy/angle_text.h"
#include "geodesy/default_units.h"
#include "geodesy/units_osgb.h"
#include "geodesy/units_position_utm84.h"
#include "platform/os/numbers.h"

namespace {

// Head of the list of registered formats; constant-initialised, so formats registering from
// other files' static objects find it ready.
constinit CUnits::PositionFormatType* g_first_format = nullptr;

}  // namespace

CUnits::PositionFormatType::PositionFormatType(std::string name)
    : name_(std::move(name)), next_(g_first_format) {
  g_first_format = this;
}

CUnits::PositionFormatType::~PositionFormatType() {
  for (PositionFormatType** link = &g_first_format; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

CUnits::PosFmtLatLon::PosFmtLatLon(std::string name, int angle_type)
    : PositionFormatType(std::move(name)), angle_type_(angle_type) {}

bool CUnits::PosFmtLatLon::Format(double lat, double lon, std::string& text) const {
  std::string longitude;
  FormatAngle(text, "NS", lat, angle_type_);
  FormatAngle(longitude, "EW", lon, angle_type_);
  text += ", ";
  text += longitude;
  return true;
}

bool CUnits::PosFmtLatLon::Parse(const std::string& text, double& lat, double& lon) const {
  return ParseLatLonText(text, lat, lon);
}

CUnits::PosFmtDegMin::PosFmtDegMin() : PosFmtLatLon("Deg,Min", kAngleDegMin) {}
CUnits::PosFmtDMS::PosFmtDMS() : PosFmtLatLon("Deg,Min,Sec", kAngleDegMinSec) {}
CUnits::PosFmtDeg::PosFmtDeg() : PosFmtLatLon("Degrees", kAngleDegrees) {}

namespace {

// The registered formats, in registration order. They are all here, in one file, so that
// their order is fixed and none is dropped by the linker.
CUnits::PosFmtDegMin g_deg_min;
CUnits::PosFmtDMS g_deg_min_sec;
CUnits::PosFmtDeg g_degrees;
CUnitsOSGB g_british_grid;
CUnitsPositionUTM84 g_utm;
CUnitsPositionUTM84bands g_utm_bands;

}  // namespace

CUnits::PositionFormatType* CUnits::FirstPositionFormat() { return g_first_format; }

CUnits::PositionFormatType* CUnits::FindPositionFormat(std::string_view name) {
  for (PositionFormatType* f = g_first_format; f != nullptr; f = f->next()) {
    if (f->name() == name) return f;
  }
  return nullptr;
}

CUnits::PositionFormatType* CUnits::DefaultPositionFormat() { return &g_deg_min; }

void CUnits::FormatAngle(std::string& text, const char* letters, double value, int type) {
  text = FormatAngleText(value, letters, static_cast<AngleTextType>(type));
}

char CUnits::ParseDegreesText(const std::string& text, double& value) {
  const DegreesText read = ScanDegreesText(text, false);
  value = read.value.value_or(999.0);
  return read.hemisphere;
}

bool CUnits::ParseLatitudeText(const std::string& text, double& lat) {
  return ParseAngleText(text, AngleAxis::kLatitude, false, lat);
}

bool CUnits::ParseLongitudeText(const std::string& text, double& lon) {
  return ParseAngleText(text, AngleAxis::kLongitude, false, lon);
}

bool CUnits::ParseLatLonText(const std::string& text, double& lat, double& lon) {
  return SplitLatLonText(text, [&](std::string_view lat_text, std::string_view lon_text) {
    double la = 0.0;
    double lo = 0.0;
    if (!ParseAngleText(lat_text, AngleAxis::kLatitude, false, la) ||
        !ParseAngleText(lon_text, AngleAxis::kLongitude, false, lo)) {
      return false;
    }
    lat = la;
    lon = lo;
    return true;
  });
}

void CUnits::FormatBearingValue(float bearing, std::string& text) {
  CDefaultUnits::Global().FormatBearingValue(bearing, text);
}

std::string CUnits::FormatClockTime(double seconds_1970) {
  constexpr double kLatestTime = 1e15;  // far beyond any calendar; keeps the cast defined
  if (!(std::fabs(seconds_1970) < kLatestTime)) return std::string();
  const std::time_t t = static_cast<std::time_t>(std::floor(seconds_1970));
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return std::string();
  const int hour = local.tm_hour >= 13 ? local.tm_hour - 12 : local.tm_hour;
  return vd::os::FormatC("%d:%02d%s", hour, local.tm_min, local.tm_hour < 12 ? "am" : "pm");
}
