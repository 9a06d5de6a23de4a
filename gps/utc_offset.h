#pragma once
// The local time zone's offset from the system's time-zone database.
#include <cstdint>

// Seconds to add to local time to get UTC (west of Greenwich positive: -3600 in Central
// European winter time, -7200 in its summer time), as in force at the given UTC time, or now.
// 0 when the local time cannot be determined.
int32_t GetUtcOffsetSeconds(int64_t at_seconds_1970);
int32_t GetUtcOffsetSeconds();
