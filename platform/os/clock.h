#pragma once
// Time sources: a monotonic tick count for measuring intervals and the wall clock in the two
// epochs stored files use (1970 for most records, 1601 for the newer overlay model).
#include <cstdint>

namespace vd::os {

constexpr int64_t kSeconds1601To1970 = 11644473600;

// Milliseconds of a monotonic clock with an arbitrary origin; never goes back.
uint64_t TickCountMs();
// Whole seconds of UTC wall-clock time.
int64_t NowSeconds1970();
int64_t NowSeconds1601();

}  // namespace vd::os
