#include "gps/utc_offset.h"

#include <ctime>

#include "platform/os/clock.h"

int32_t GetUtcOffsetSeconds(int64_t at_seconds_1970) {
  const time_t at = static_cast<time_t>(at_seconds_1970);
  tm local{};
  if (!localtime_r(&at, &local)) return 0;
  // The local calendar time read back as if it were UTC lies ahead of UTC by the zone's
  // offset, daylight saving included.
  const time_t as_utc = timegm(&local);
  if (as_utc == static_cast<time_t>(-1)) return 0;
  return static_cast<int32_t>(at - as_utc);
}

int32_t GetUtcOffsetSeconds() { return GetUtcOffsetSeconds(vd::os::NowSeconds1970()); }
