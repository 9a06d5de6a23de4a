#include "core/app/time_value.h"

std::tm* CTimeValue::GetLocalTm(int64_t time, std::tm& out) {
  const std::time_t t = static_cast<std::time_t>(time);
  return localtime_r(&t, &out);
}
