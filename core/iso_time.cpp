#include "core/iso_time.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "platform/os/numbers.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr double kFirstSecond = -62167219200.0;  // 0000-01-01T00:00:00Z
constexpr double kLastSecond = 253402300799.0;   // 9999-12-31T23:59:59Z

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date; the month may lie outside 1..12.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year += FloorDiv(month - 1, 12);
  month = month - 1 - 12 * FloorDiv(month - 1, 12) + 1;
  year -= month <= 2;
  const int64_t era = FloorDiv(year, 400);
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

struct CivilDate {
  int64_t year, month, day;
};

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = FloorDiv(days, 146097);
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {year_of_era + era * 400 + (month <= 2), month, day};
}

// A number that fits an int, as "%d" reads it.
bool ReadInt(std::string_view& text, int64_t& out) {
  size_t used = 0;
  if (!vd::os::ParseInt64(text, out, 10, &used) || out < INT_MIN || out > INT_MAX) return false;
  text.remove_prefix(used);
  return true;
}

bool ReadDigits(std::string_view& text, size_t count, int64_t& out) {
  if (text.size() < count) return false;
  out = 0;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  text.remove_prefix(count);
  return true;
}

// Seconds to subtract to get UTC: the zone at the start of `text`, 0 for "Z" or none.
int64_t ZoneOffsetSeconds(std::string_view text) {
  if (text.empty() || (text[0] != '+' && text[0] != '-')) return 0;
  const int sign = text[0] == '-' ? -1 : 1;
  text.remove_prefix(1);
  int64_t hours = 0, minutes = 0;
  if (!ReadDigits(text, 2, hours)) return 0;
  if (!text.empty() && text[0] == ':') text.remove_prefix(1);
  if (!ReadDigits(text, 2, minutes)) minutes = 0;
  if (hours > 23 || minutes > 59) return 0;
  return sign * (hours * 3600 + minutes * 60);
}

}  // namespace

std::string FormatIsoTime(double seconds_since_1970) {
  double seconds = std::isnan(seconds_since_1970) ? 0 : seconds_since_1970;
  const auto whole =
      static_cast<int64_t>(std::floor(std::clamp(seconds, kFirstSecond, kLastSecond)));
  const int64_t days = FloorDiv(whole, kSecondsPerDay);
  const int64_t second_of_day = whole - days * kSecondsPerDay;
  const CivilDate date = CivilFromDays(days);
  return vd::os::FormatC(
      "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(date.year), static_cast<int>(date.month),
      static_cast<int>(date.day), static_cast<int>(second_of_day / 3600),
      static_cast<int>(second_of_day / 60 % 60), static_cast<int>(second_of_day % 60));
}

double ParseIsoTime(std::string_view text) {
  static constexpr char kSeparators[] = "--T::";
  int64_t field[6];  // year, month, day, hour, minute, second
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (text.empty() || text[0] != kSeparators[i - 1]) return 0;
      text.remove_prefix(1);
    }
    if (!ReadInt(text, field[i])) return 0;
  }
  double fraction = 0;
  if (text.size() > 1 && (text[0] == '.' || text[0] == ',') && text[1] >= '0' && text[1] <= '9') {
    size_t digits = 1;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    std::string decimal = "0." + std::string(text.substr(1, digits - 1));
    vd::os::ParseDouble(decimal, fraction);
    text.remove_prefix(digits);
  }
  const int64_t seconds = DaysFromCivil(field[0], field[1], field[2]) * kSecondsPerDay +
                          field[3] * 3600 + field[4] * 60 + field[5] - ZoneOffsetSeconds(text);
  return static_cast<double>(seconds) + (field[5] < 0 ? -fraction : fraction);
}
