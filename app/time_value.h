#pragma once
// Calendar fields of an instant in the user's time zone.
#include <cstdint>
#include <ctime>
#include <string>

class CTimeValue {
 public:
  // The local calendar time of time (seconds since 1970) in out; null when it has none.
  static std::tm* GetLocalTm(int64_t time, std::tm& out);
};

// The local date of an instant (seconds since 1970) as "%02d/%s/%04d": day of the month, the
// month "Jan" to "Dec" and the year ("11/Dec/2026"); empty when it has no local date.
std::string FormatShortDate(double seconds_1970);
