#include "geodesy/utm_grid_formatter.h"

#include <GeographicLib/MGRS.hpp>
#include <GeographicLib/UTMUPS.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <exception>
#include <iterator>

#include "geodesy/nad27_shift.h"
#include "geodesy/projection.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

using GeographicLib::MGRS;
using GeographicLib::UTMUPS;

constexpr double kSouthernFalseNorthing = 10000000.0;
constexpr double kHundredKm = 100000.0;
constexpr int kMgrsPrecision = 5;  // digits per coordinate: 1 m
constexpr char kBandLetters[] = "CDEFGHJKLMNPQRSTUVWX";

bool IsLatitude(double lat) { return std::isfinite(lat) && std::fabs(lat) <= 90.0; }

// Plain 6-degree zone of a finite longitude, taken modulo 360; 180 is zone 60.
int UtmZone(double lon) {
  const double zone = std::floor(std::remainder(lon, 360.0) / 6.0 + 31.0);
  return static_cast<int>(std::clamp(zone, 1.0, 60.0));
}

char BandLetter(double lat) {
  const int band = (static_cast<int>(std::floor(lat)) + 80) / 8;
  return kBandLetters[std::clamp(band, 0, 19)];
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Reads " %d%c %d E %d"-shaped text (blanks are any white space; E in either case; anything
// after the last number is ignored).
class TextCursor {
 public:
  explicit TextCursor(const std::string& text) : at_(text.data()), end_(at_ + text.size()) {}

  void SkipBlanks() {
    while (at_ < end_ && std::isspace(static_cast<unsigned char>(*at_))) ++at_;
  }
  bool Int(long long& value) {
    SkipBlanks();
    if (at_ < end_ && *at_ == '+') ++at_;
    const auto [next, error] = std::from_chars(at_, end_, value);
    if (error != std::errc()) return false;
    at_ = next;
    return true;
  }
  bool Char(char& c) {
    if (at_ == end_) return false;
    c = *at_++;
    return true;
  }
  bool Literal(char upper) {
    SkipBlanks();
    if (at_ == end_ || Upper(*at_) != upper) return false;
    ++at_;
    return true;
  }

 private:
  const char* at_;
  const char* end_;
};

// The largest entry strictly below span; a span at or below the first entry is kept.
template <size_t N>
double PickFromTable(const double (&table)[N], double span) {
  const double* above = std::lower_bound(std::begin(table), std::end(table), span);
  return above == std::begin(table) ? span : *(above - 1);
}

constexpr double kMinute = 1.0 / 60.0;
constexpr double kSecond = 1.0 / 3600.0;
// Grid spacings in degrees for angles shown in minutes, and in minutes and seconds.
constexpr double kDegreeMinuteSteps[] = {
    0.1 * kMinute, 0.2 * kMinute, 0.5 * kMinute, kMinute, 2 * kMinute, 5 * kMinute,
    10 * kMinute,  20 * kMinute,  30 * kMinute,  1,       2,           5,
    10,            20,            1000};
constexpr double kDegreeMinuteSecondSteps[] = {
    10 * kSecond, 20 * kSecond, 30 * kSecond, kMinute, 2 * kMinute, 5 * kMinute,
    10 * kMinute, 20 * kMinute, 30 * kMinute, 1,       2,           5,
    10,           20,           1000};

constexpr int kDegreesMinutesCode = 1;
constexpr int kDegreesMinutesSecondsCode = 2;

}  // namespace

// ---- utm_grid_formatter ----

utm_grid_formatter::~utm_grid_formatter() = default;

double utm_grid_formatter::NiceInterval(double span) {
  const double s = std::fabs(span);
  if (!std::isfinite(s) || s == 0.0) return 0.0;
  // s = m x 10^k with m in [1, 10). Powers of ten are exact up to 1e22, so multiplying or
  // dividing by one keeps "nice" values such as 0.2 exact to the last bit.
  int k = static_cast<int>(std::floor(std::log10(s)));
  auto scaled = [](double v, int power) {
    return power >= 0 ? v * std::pow(10.0, power) : v / std::pow(10.0, -power);
  };
  double m = scaled(s, -k);
  if (m >= 10.0) {
    ++k;
    m = scaled(s, -k);
  } else if (m < 1.0) {
    --k;
    m = scaled(s, -k);
  }
  const double nice = m >= 5.0 ? 5.0 : m >= 2.0 ? 2.0 : 1.0;
  return scaled(nice, k);
}

void utm_grid_formatter::FormatGridValue(double value, std::string& text) {
  text = vd::os::FormatC("%.0f", value);
}

void utm_grid_formatter::FormatGridValue2(double value, std::string& text) {
  utm_grid_formatter::FormatGridValue(value, text);
}

void utm_grid_formatter::SetZoneFor(double, double) {}

// ---- LatLon_Grid ----

LatLon_Grid::LatLon_Grid(int position_format_code, AngleTextFn angle_text)
    : angle_text_(std::move(angle_text)) {
  set_position_format_code(position_format_code);
}

bool LatLon_Grid::FormatPosition(double, double, std::string&) { return false; }

bool LatLon_Grid::ParsePosition(const std::string&, double&, double&) { return false; }

bool LatLon_Grid::LatLonToGrid(double lat, double lon, double& x, double& y) {
  x = lon;
  y = lat;
  return true;
}

bool LatLon_Grid::GridToLatLon(double x, double y, double& lat, double& lon) {
  lat = y;
  lon = x;
  return true;
}

double LatLon_Grid::NiceInterval(double span) {
  const double s = std::fabs(span);
  if (!std::isfinite(s)) return 0.0;
  switch (position_format_code()) {
    case kDegreesMinutesCode:
      return PickFromTable(kDegreeMinuteSteps, s);
    case kDegreesMinutesSecondsCode:
      return PickFromTable(kDegreeMinuteSecondSteps, s);
    default:
      return utm_grid_formatter::NiceInterval(s);
  }
}

void LatLon_Grid::FormatGridValue(double value, std::string& text) {
  text = angle_text_ ? angle_text_(value, "NS") : std::string();
}

void LatLon_Grid::FormatGridValue2(double value, std::string& text) {
  text = angle_text_ ? angle_text_(value, "EW") : std::string();
}

// ---- UTM_WGS84_Grid, UTMbands_WGS84_Grid ----

UTM_WGS84_Grid::UTM_WGS84_Grid() : UTM_WGS84_Grid(Letter::kHemisphere) {}

UTM_WGS84_Grid::UTM_WGS84_Grid(Letter letter) : letter_(letter) {}

UTMbands_WGS84_Grid::UTMbands_WGS84_Grid() : UTM_WGS84_Grid(Letter::kLatitudeBand) {}

bool UTM_WGS84_Grid::FormatPosition(double lat, double lon, std::string& text) {
  if (!IsLatitude(lat) || !std::isfinite(lon)) return false;
  const int zone = UtmZone(lon);
  double easting = 0.0;
  double northing = 0.0;
  if (!TransverseMercatorForward(UtmProjection(kWgs84Ellipsoid, zone), lat, lon, easting,
                                 northing)) {
    return false;
  }
  const bool south = northing < 0.0;
  if (south) northing += kSouthernFalseNorthing;
  const char letter = letter_ == Letter::kLatitudeBand ? BandLetter(lat) : (south ? 's' : 'n');
  text = vd::os::FormatC("%d%c %06.0fE %06.0fN", zone, letter, easting, northing);
  return true;
}

bool UTM_WGS84_Grid::ParsePosition(const std::string& text, double& lat, double& lon) {
  TextCursor in(text);
  long long zone = 0;
  long long easting = 0;
  long long northing = 0;
  char letter = 0;
  if (!in.Int(zone) || !in.Char(letter) || !in.Int(easting) || !in.Literal('E') ||
      !in.Int(northing)) {
    return false;
  }
  // Eastings and northings as this formatter writes them, southern ones with their false
  // northing; anything else is not a UTM position.
  if (zone < 1 || zone > 60 || easting < 0 || easting > 1000000 || northing < 0 ||
      northing > kSouthernFalseNorthing) {
    return false;
  }
  letter = Upper(letter);
  bool south = false;
  if (letter_ == Letter::kLatitudeBand) {
    if (std::char_traits<char>::find(kBandLetters, 20, letter) == nullptr) return false;
    south = letter <= 'M';
  } else {
    if (letter != 'N' && letter != 'S') return false;
    south = letter == 'S';
  }
  const double y = static_cast<double>(northing) - (south ? kSouthernFalseNorthing : 0.0);
  return TransverseMercatorInverse(UtmProjection(kWgs84Ellipsoid, static_cast<int>(zone)),
                                   static_cast<double>(easting), y, lat, lon);
}

bool UTM_WGS84_Grid::LatLonToGrid(double lat, double lon, double& x, double& y) {
  if (zone_ == 0 || !TransverseMercatorForward(tm_, lat, lon, x, y)) return false;
  y += northing_offset_;
  return true;
}

bool UTM_WGS84_Grid::GridToLatLon(double x, double y, double& lat, double& lon) {
  return zone_ != 0 && TransverseMercatorInverse(tm_, x, y - northing_offset_, lat, lon);
}

void UTM_WGS84_Grid::SetZoneFor(double lat, double lon) {
  if (!IsLatitude(lat) || !std::isfinite(lon)) return;
  zone_ = UtmZone(lon);
  tm_ = UtmProjection(kWgs84Ellipsoid, zone_);
  northing_offset_ = lat < 0.0 ? kSouthernFalseNorthing : 0.0;
}

// ---- UTM_NAD27_Grid ----

namespace {

// WGS84 position -> NAD27 through the shift grids (unchanged where none covers it).
void ToNad27(double& lat, double& lon) {
  double dlat = 0.0;
  double dlon = 0.0;
  GetNad27Shift(lat, lon, dlat, dlon);
  lat -= dlat;
  lon -= dlon;
}

void FromNad27(double& lat, double& lon) {
  double dlat = 0.0;
  double dlon = 0.0;
  GetNad27Shift(lat, lon, dlat, dlon);
  lat += dlat;
  lon += dlon;
}

}  // namespace

bool UTM_NAD27_Grid::FormatPosition(double lat, double lon, std::string& text) {
  if (!IsLatitude(lat) || !std::isfinite(lon)) return false;
  ToNad27(lat, lon);
  const int zone = UtmZone(lon);
  double easting = 0.0;
  double northing = 0.0;
  if (!TransverseMercatorForward(UtmProjection(kClarke1866Ellipsoid, zone), lat, lon, easting,
                                 northing)) {
    return false;
  }
  text = vd::os::FormatC("%d %06.0fE %06.0fN", zone, easting, northing);
  return true;
}

bool UTM_NAD27_Grid::ParsePosition(const std::string& text, double& lat, double& lon) {
  TextCursor in(text);
  long long zone = 0;
  long long easting = 0;
  long long northing = 0;
  if (!in.Int(zone) || !in.Int(easting) || !in.Literal('E') || !in.Int(northing)) return false;
  // No southern false northing here: southern points have negative northings.
  if (zone < 1 || zone > 60 || easting < 0 || easting > 1000000 ||
      std::llabs(northing) > kSouthernFalseNorthing) {
    return false;
  }
  double parsed_lat = 0.0;
  double parsed_lon = 0.0;
  if (!TransverseMercatorInverse(UtmProjection(kClarke1866Ellipsoid, static_cast<int>(zone)),
                                 static_cast<double>(easting), static_cast<double>(northing),
                                 parsed_lat, parsed_lon)) {
    return false;
  }
  FromNad27(parsed_lat, parsed_lon);
  lat = parsed_lat;
  lon = parsed_lon;
  return true;
}

bool UTM_NAD27_Grid::LatLonToGrid(double lat, double lon, double& x, double& y) {
  if (zone_ == 0 || !IsLatitude(lat) || !std::isfinite(lon)) return false;
  ToNad27(lat, lon);
  return TransverseMercatorForward(tm_, lat, lon, x, y);
}

bool UTM_NAD27_Grid::GridToLatLon(double x, double y, double& lat, double& lon) {
  double grid_lat = 0.0;
  double grid_lon = 0.0;
  if (zone_ == 0 || !TransverseMercatorInverse(tm_, x, y, grid_lat, grid_lon)) return false;
  FromNad27(grid_lat, grid_lon);
  lat = grid_lat;
  lon = grid_lon;
  return true;
}

void UTM_NAD27_Grid::SetZoneFor(double, double lon) {
  if (!std::isfinite(lon)) return;
  zone_ = UtmZone(lon);
  tm_ = UtmProjection(kClarke1866Ellipsoid, zone_);
}

// ---- OSGB_National_Grid ----

bool OSGB_National_Grid::FormatPosition(double lat, double lon, std::string& text) {
  double easting = 0.0;
  double northing = 0.0;
  return Wgs84ToOsGrid(lat, lon, easting, northing) &&
         FormatOsGridReference(easting, northing, text);
}

bool OSGB_National_Grid::ParsePosition(const std::string& text, double& lat, double& lon) {
  double easting = 0.0;
  double northing = 0.0;
  return ParseOsGridReference(text, easting, northing) &&
         OsGridToWgs84(easting, northing, lat, lon);
}

bool OSGB_National_Grid::LatLonToGrid(double lat, double lon, double& x, double& y) {
  return Wgs84ToOsGrid(lat, lon, x, y);
}

bool OSGB_National_Grid::GridToLatLon(double x, double y, double& lat, double& lon) {
  return OsGridToWgs84(x, y, lat, lon);
}

void OSGB_National_Grid::FormatGridValue(double value, std::string& text) {
  const double km = value / 1000.0;
  double in_square = km - std::floor(km / 100.0) * 100.0;
  if (in_square < 0.01) in_square = 0.0;
  text = vd::os::FormatC("%.4g", in_square);
}

void OSGB_National_Grid::FormatGridValue2(double value, std::string& text) {
  FormatGridValue(value, text);
}

// ---- MGRS_Grid ----
// The grid library throws on positions and texts it cannot take: every call is guarded.

bool MGRS_Grid::FormatPosition(double lat, double lon, std::string& text) {
  if (!IsLatitude(lat) || !std::isfinite(lon)) return false;
  try {
    int zone = 0;
    bool north = true;
    double x = 0.0;
    double y = 0.0;
    UTMUPS::Forward(lat, lon, zone, north, x, y);
    std::string mgrs;
    MGRS::Forward(zone, north, x, y, lat, kMgrsPrecision, mgrs);
    text = std::move(mgrs);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool MGRS_Grid::ParsePosition(const std::string& text, double& lat, double& lon) {
  std::string letters_and_digits;
  std::copy_if(text.begin(), text.end(), std::back_inserter(letters_and_digits),
               [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
  try {
    int zone = 0;
    bool north = true;
    double x = 0.0;
    double y = 0.0;
    int precision = 0;
    MGRS::Reverse(letters_and_digits, zone, north, x, y, precision, true);
    if (zone == UTMUPS::INVALID || !std::isfinite(x) || !std::isfinite(y)) return false;
    double parsed_lat = 0.0;
    double parsed_lon = 0.0;
    UTMUPS::Reverse(zone, north, x, y, parsed_lat, parsed_lon);
    if (!IsLatitude(parsed_lat) || !std::isfinite(parsed_lon)) return false;
    lat = parsed_lat;
    lon = parsed_lon;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool MGRS_Grid::LatLonToGrid(double lat, double lon, double& x, double& y) {
  if (zone_ < 0 || !IsLatitude(lat) || !std::isfinite(lon)) return false;
  try {
    int zone = 0;
    bool north = true;
    double gx = 0.0;
    double gy = 0.0;
    UTMUPS::Forward(lat, lon, zone, north, gx, gy, zone_);
    if (north != north_) {
      // A polar stereographic grid has no meaning for the other hemisphere.
      if (zone_ == UTMUPS::UPS) return false;
      gy += north_ ? -kSouthernFalseNorthing : kSouthernFalseNorthing;
    }
    x = gx;
    y = gy;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool MGRS_Grid::GridToLatLon(double x, double y, double& lat, double& lon) {
  if (zone_ < 0 || !std::isfinite(x) || !std::isfinite(y)) return false;
  try {
    double grid_lat = 0.0;
    double grid_lon = 0.0;
    UTMUPS::Reverse(zone_, north_, x, y, grid_lat, grid_lon);
    lat = grid_lat;
    lon = grid_lon;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void MGRS_Grid::FormatGridValue(double value, std::string& text) {
  text = vd::os::FormatC("%5.0f", value - std::floor(value / kHundredKm) * kHundredKm);
}

void MGRS_Grid::FormatGridValue2(double value, std::string& text) { FormatGridValue(value, text); }

void MGRS_Grid::SetZoneFor(double lat, double lon) {
  if (!IsLatitude(lat) || !std::isfinite(lon)) return;
  try {
    zone_ = UTMUPS::StandardZone(lat, lon);
    north_ = lat >= 0.0;
  } catch (const std::exception&) {
  }
}

// ---- ProjDat_Grid ----

ProjDat_Grid::ProjDat_Grid(const std::string& path) : projection_(std::make_unique<CProjection>()) {
  // The setting names a projection file; older settings hold the projection text itself.
  loaded_ = vd::os::FileExists(path) ? projection_->LoadProjFile(path)
                                     : !path.empty() && projection_->SetFromProjString(path);
}

ProjDat_Grid::~ProjDat_Grid() = default;

bool ProjDat_Grid::FormatPosition(double lat, double lon, std::string& text) {
  double x = 0.0;
  double y = 0.0;
  if (!LatLonToGrid(lat, lon, x, y)) return false;
  text = vd::os::FormatC("%7.0f %7.0f", x, y);
  return true;
}

bool ProjDat_Grid::ParsePosition(const std::string& text, double& lat, double& lon) {
  double x = 0.0;
  double y = 0.0;
  size_t used = 0;
  if (!vd::os::ParseDouble(text, x, &used) ||
      !vd::os::ParseDouble(std::string_view(text).substr(used), y) || !std::isfinite(x) ||
      !std::isfinite(y)) {
    return false;
  }
  return GridToLatLon(x, y, lat, lon);
}

bool ProjDat_Grid::LatLonToGrid(double lat, double lon, double& x, double& y) {
  return loaded_ && projection_->Forward(lat, lon, x, y);
}

bool ProjDat_Grid::GridToLatLon(double x, double y, double& lat, double& lon) {
  return loaded_ && projection_->Inverse(x, y, lat, lon);
}
