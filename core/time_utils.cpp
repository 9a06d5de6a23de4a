#include "core/time_utils.h"

#include <chrono>
#include <climits>
#include <cstdint>

#include "platform/os/clock.h"
#include "platform/os/numbers.h"

int GetDayNumber() {
  constexpr int64_t kSecondsPerDay = 86400;
  return static_cast<int>(vd::os::NowSeconds1970() / kSecondsPerDay);
}

double GetSystemTimeSeconds() {
  auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(since_1970).count() +
         static_cast<double>(vd::os::kSeconds1601To1970);
}

int ParseDateYmd(std::string_view text) {
  int64_t value = 0;
  if (text.size() > 5 && (text[1] == '/' || text[2] == '/')) {
    // "%d/%d/%d": fields that are missing or unreadable stay 0.
    int64_t field[3] = {0, 0, 0};  // month, day, year
    std::string_view rest = text;
    for (int64_t& f : field) {
      size_t used = 0;
      if (!vd::os::ParseInt64(rest, f, 10, &used)) break;
      rest.remove_prefix(used);
      if (&f == &field[2] || rest.empty() || rest[0] != '/') break;
      rest.remove_prefix(1);
    }
    for (int64_t f : field) {
      if (f < INT_MIN || f > INT_MAX) return 0;
    }
    value = field[2] * 10000 + field[0] * 100 + field[1];
  } else {
    for (char c : text) {
      if (c < '0' || c > '9') continue;
      value = value * 10 + (c - '0');
      if (value > INT_MAX) return 0;
    }
  }
  return value >= INT_MIN && value <= INT_MAX ? static_cast<int>(value) : 0;
}
