#include "core/iso_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

TEST(IsoTimeTest, Parse) {
  struct Case {
    const char* text;
    double seconds;
  };
  const Case cases[] = {
      {"1970-01-02T00:00:00Z", 86400},
      {"1970-01-01T00:00:00", 0},
      {"2000-02-29T12:34:56Z", 951827696},
      {"2038-01-19T03:14:08Z", 2147483648.0},
      {"1969-12-31T23:59:59Z", -1},
      {"2000-02-29T12:34:56+02:00", 951827696 - 7200},
      {"2000-02-29T12:34:56-05:30", 951827696 + 19800},
      {"2000-02-29T12:34:56+0530", 951827696 - 19800},
      {"2000-02-29T12:34:56-08", 951827696 + 28800},
      {"2000-02-29T12:34:56.25Z", 951827696.25},
      {"2000-02-29T12:34:56,5+01:00", 951827696.5 - 3600},
      {"2000-02-29T12:34:56.125", 951827696.125},
      // The zone must be well formed to count.
      {"2000-02-29T12:34:56+2", 951827696},
      {"2000-02-29T12:34:56+25:00", 951827696},
      {"2000-02-29T12:34:56 +02:00", 951827696},
      // Fields beyond their range carry over.
      {"1969-13-01T00:00:00Z", 0},
      {"1970-01-01T00:00:86400Z", 86400},
      {" 1970-1-2T0:0:0Z", 86400},
      // Fewer than six numbers.
      {"2000-02-29", 0},
      {"2000-02-29T12:34", 0},
      {"2000-02-29 12:34:56", 0},
      {"", 0},
      {"yesterday", 0},
      {"99999999999-01-01T00:00:00Z", 0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(ParseIsoTime(c.text), c.seconds) << c.text;
  }
}

TEST(IsoTimeTest, FormatMatchesTheCLibraryAndReadsBack) {
  EXPECT_EQ(FormatIsoTime(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(FormatIsoTime(86400.9), "1970-01-02T00:00:00Z");
  EXPECT_EQ(FormatIsoTime(-0.5), "1969-12-31T23:59:59Z");
  EXPECT_EQ(FormatIsoTime(1e300), "9999-12-31T23:59:59Z");
  EXPECT_EQ(FormatIsoTime(-1e300), "0000-01-01T00:00:00Z");
  for (int64_t t = -4102444800; t < 7258118400; t += 7777777 + t % 97) {
    time_t value = static_cast<time_t>(t);
    tm utc{};
    ASSERT_NE(gmtime_r(&value, &utc), nullptr);
    char expected[32];
    strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%SZ", &utc);
    ASSERT_EQ(FormatIsoTime(static_cast<double>(t)), expected);
    ASSERT_EQ(ParseIsoTime(expected), static_cast<double>(t));
  }
}

}  // namespace
