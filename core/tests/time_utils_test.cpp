#include "core/time_utils.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

TEST(TimeUtilsTest, ParsesEditionDates) {
  const std::pair<const char*, int> cases[] = {
      {"12/25/2009", 20091225},
      {"1/2/2010", 20100102},
      {"01/02/2010 extra", 20100102},
      {"20091225", 20091225},
      {"2009-12-25", 20091225},
      {"ed. 7", 7},
      {"1/2/x9", 102},
      {"", 0},
      {"99999999999", 0},  // too large
      {"1/2/99999999999", 0},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseDateYmd(text), expected) << text;
}

TEST(TimeUtilsTest, ClocksAgreeWithTheSystemClock) {
  // The clock may tick between the calls, so allow one unit of difference.
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  EXPECT_NEAR(GetDayNumber(), now / 86400, 1);
  EXPECT_NEAR(GetSystemTimeSeconds(), static_cast<double>(now) + 11644473600.0, 2.0);
}

}  // namespace
