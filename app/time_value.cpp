#include "app/time_value.h"

#include <cmath>

#include "platform/os/numbers.h"

std::tm* CTimeValue::GetLocalTm(int64_t time, std::tm& out) {
  const std::time_t t = static_cast<std::time_t>(time);
  return localtime_r(&t, &out);
}

std::string FormatShortDate(double seconds_1970) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // Beyond this no calendar holds the instant (and the conversion to an integer would overflow).
  constexpr double kLimit = 1e15;
  const double seconds = std::floor(seconds_1970);
  std::tm local{};
  if (!std::isfinite(seconds) || std::fabs(seconds) > kLimit ||
      CTimeValue::GetLocalTm(static_cast<int64_t>(seconds), local) == nullptr ||
      local.tm_mon < 0 || local.tm_mon > 11) {
    return std::string();
  }
  return vd::os::FormatC("%02d/%s/%04d", local.tm_mday, kMonths[local.tm_mon],
                         local.tm_year + 1900);
}
