#include "platform/os/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace vd::os {
namespace {

// time() may read the coarse clock, which lags the precise one by up to a tick around a second's
// turn; the precise clock read straight from the kernel is the reference here.
int64_t KernelSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

TEST(Clock, EpochsAgree) {
  const int64_t before = KernelSeconds();
  const int64_t since_1970 = NowSeconds1970();
  const int64_t since_1601 = NowSeconds1601();
  const int64_t after = KernelSeconds();
  EXPECT_GE(since_1970, before);
  EXPECT_LE(since_1970, after);
  EXPECT_GE(since_1601 - kSeconds1601To1970, before);
  EXPECT_LE(since_1601 - kSeconds1601To1970, after);
  // 1601-01-01 to 1970-01-01: 369 years with 89 leap days.
  EXPECT_EQ(kSeconds1601To1970, (369 * 365 + 89) * 86400LL);
}

TEST(Clock, TickCountNeverGoesBack) {
  uint64_t last = TickCountMs();
  for (int i = 0; i < 10000; ++i) {
    const uint64_t now = TickCountMs();
    ASSERT_GE(now, last);
    last = now;
  }
}

}  // namespace
}  // namespace vd::os
