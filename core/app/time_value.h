#pragma once
// Calendar fields of an instant in the user's time zone.
#include <cstdint>
#include <ctime>

class CTimeValue {
 public:
  // The local calendar time of time (seconds since 1970) in out; null when it has none.
  static std::tm* GetLocalTm(int64_t time, std::tm& out);
};
