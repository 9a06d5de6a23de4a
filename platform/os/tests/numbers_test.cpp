#include "platform/os/numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace vd::os {
namespace {

// Runs the test under a German locale, whose decimal separator is ',', and restores the
// previous one afterwards.
class GermanLocale : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale does not change the decimal separator";
  }
  void TearDown() override { std::setlocale(LC_ALL, previous_.c_str()); }

 private:
  std::string previous_;
};

TEST_F(GermanLocale, NumbersStillUseADecimalPoint) {
  EXPECT_EQ(FormatC("%.3f|%g|%d", 1234.5, 0.25, -7), "1234.500|0.25|-7");
  EXPECT_EQ(FormatDouble(2.5), "2.5");
  double d = 0;
  size_t used = 0;
  ASSERT_TRUE(ParseDouble("3.75", d, &used));
  EXPECT_EQ(d, 3.75);
  EXPECT_EQ(used, 4u);
  // A comma is not a decimal separator: reading stops there.
  ASSERT_TRUE(ParseDouble("3,75", d, &used));
  EXPECT_EQ(d, 3.0);
  EXPECT_EQ(used, 1u);
  float f = 0;
  ASSERT_EQ(ScanC("x=0.5", "x=%f", &f), 1);
  EXPECT_EQ(f, 0.5f);
  // The process locale is back once the helpers return.
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5");
}

TEST(Numbers, FormatCHasNoLengthLimit) {
  const std::string long_text(5000, 'x');
  const std::string out = FormatC("<%s|%.2f>", long_text.c_str(), 0.5);
  EXPECT_EQ(out, "<" + long_text + "|0.50>");
  EXPECT_EQ(FormatC("%s", ""), "");
}

TEST(Numbers, AwkwardDoublesRoundTrip) {
  const double values[] = {0.1, 1.0 / 3.0, 1e-300, -0.0, DBL_MAX, -DBL_MAX, DBL_MIN,
                           DBL_TRUE_MIN, 2.2250738585072009e-308 /* largest denormal */,
                           123456789012345678.0, 5e-324 * 3};
  for (double v : values) {
    const std::string text = FormatDouble(v);
    double back = 1;
    size_t used = 0;
    ASSERT_TRUE(ParseDouble(text, back, &used)) << text;
    EXPECT_EQ(used, text.size()) << text;
    EXPECT_EQ(back, v) << text;
    EXPECT_EQ(std::signbit(back), std::signbit(v)) << text;
  }
  EXPECT_EQ(FormatDouble(0.1), "0.1");
  double inf = 0;
  ASSERT_TRUE(ParseDouble(FormatDouble(-std::numeric_limits<double>::infinity()), inf));
  EXPECT_EQ(inf, -std::numeric_limits<double>::infinity());
}

TEST(Numbers, ParseDoubleReadsLikeStrtod) {
  struct Case {
    const char* text;
    bool ok;
    double value;
    size_t used;
  };
  const Case cases[] = {
      {"  \t-1.5e3xyz", true, -1500.0, 9},
      {"+2.5", true, 2.5, 4},
      {".5", true, 0.5, 2},
      {"7.", true, 7.0, 2},
      {"1e", true, 1.0, 1},     // an exponent without digits is not part of the number
      {"1e-400", true, 0.0, 6}, // underflow reads as zero
      {"1e400", false, 0, 0},   // overflow fails
      {"", false, 0, 0},
      {"   ", false, 0, 0},
      {"+-1", false, 0, 0},
      {"abc", false, 0, 0},
      {".", false, 0, 0},
  };
  for (const Case& c : cases) {
    double d = -99;
    size_t used = 99;
    EXPECT_EQ(ParseDouble(c.text, d, &used), c.ok) << c.text;
    EXPECT_EQ(used, c.used) << c.text;
    if (c.ok) {
      EXPECT_EQ(d, c.value) << c.text;
    }
  }
  // The view's end bounds the number even when more digits follow in memory.
  double d = 0;
  ASSERT_TRUE(ParseDouble(std::string_view("12345", 3), d));
  EXPECT_EQ(d, 123.0);
}

TEST(Numbers, ParseInt64) {
  struct Case {
    const char* text;
    int base;
    bool ok;
    int64_t value;
    size_t used;
  };
  const Case cases[] = {
      {" -42", 10, true, -42, 4},
      {"+17", 10, true, 17, 3},
      {"12ab", 10, true, 12, 2},  // trailing junk: reading stops, used tells where
      {"0x1F", 0, true, 31, 4},
      {"0X1f", 16, true, 31, 4},
      {"0x", 0, true, 0, 1},      // no hex digit after "0x": the number is the "0"
      {"017", 0, true, 15, 3},
      {"09", 0, true, 0, 1},      // '9' is no octal digit
      {"0", 0, true, 0, 1},
      {"z", 36, true, 35, 1},
      {"9223372036854775807", 10, true, INT64_MAX, 19},
      {"-9223372036854775808", 10, true, INT64_MIN, 20},
      {"9223372036854775808", 10, false, 0, 0},
      {"-9223372036854775809", 10, false, 0, 0},
      {"99999999999999999999999", 10, false, 0, 0},
      {"", 10, false, 0, 0},
      {"  ", 10, false, 0, 0},
      {"-", 10, false, 0, 0},
      {"x1", 10, false, 0, 0},
      {"1", 1, false, 0, 0},      // no such base
  };
  for (const Case& c : cases) {
    int64_t v = -99;
    size_t used = 99;
    EXPECT_EQ(ParseInt64(c.text, v, c.base, &used), c.ok) << c.text;
    EXPECT_EQ(used, c.used) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace vd::os
