#include "core/string_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <vector>

namespace {

TEST(CompareNaturalTest, OrdersDigitRunsByValueAndLettersWithoutCase) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"item9", "item10", -1},
      {"item19", "item100", -1},  // whole runs: 19 < 100
      {"item100", "item19", 1},
      {"abc", "ABCD", -1},  // a prefix sorts first, case ignored
      {"Chart", "chart", 0},
      {"a07", "a7", 0},      // leading zeros do not change the value
      {"a007b", "a7c", -1},  // equal numbers: the walk goes on after them
      {"a010", "a9", 1},
      {"x2y10", "x2y9", 1},
      {"12345678901234567890", "12345678901234567891", -1},  // longer than any integer type
      {"file", "file1", -1},
      {"a1", "a_", -1},  // '1' (0x31) before '_' (0x5F)
      {"", "", 0},
      {"", "a", -1},
      {"Z\xC3\xA9", "Za", 1},  // bytes of other characters sort after ASCII
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareNatural(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareNatural(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
}

TEST(CompareNaturalTest, SortsAListAsPeopleExpect) {
  std::vector<std::string> names = {"Route100", "route2",  "Route10",
                                    "Route1",   "ROUTE20", "Route01a"};
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareNatural(a, b) < 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Route1", "Route01a", "route2", "Route10", "ROUTE20",
                                             "Route100"}));
}

TEST(WildcardTest, MatchesQuestionMarksAndStars) {
  struct Case {
    const char* text;
    const char* pattern;
    bool exact;
    bool no_case;
  };
  const Case cases[] = {
      {"Chart.QCT", "*.qct", false, true},
      {"Chart.QCT", "*.QCT", true, true},
      {"chart.qct", "chart.qct", true, true},
      {"", "*", true, true},
      {"", "", true, true},
      {"", "?", false, false},
      {"abc", "a?c", true, true},
      {"abc", "a?", false, false},
      {"abcbc", "*bc", true, true},  // the star must give back characters
      {"abcbd", "*bc", false, false},
      {"aXbXc", "a*b*c", true, true},
      {"ab", "a**b", true, true},
      {"mississippi", "m*iss*ppi", true, true},
      {"mississippi", "m*iss*ppx", false, false},
      {"Caf\xC3\xA9", "Caf?", true, true},  // '?' is one whole character, not one byte
      {"Caf\xC3\xA9", "Caf??", false, false},
      {"a*b", "a*b", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.text, c.pattern), c.exact) << c.text << " ~ " << c.pattern;
    EXPECT_EQ(WildcardMatchNoCase(c.text, c.pattern), c.no_case) << c.text << " ~ " << c.pattern;
  }
}

TEST(WildcardTest, LongRunsOfStarsStayFast) {
  // A backtracking matcher without memory takes exponential time on this.
  std::string text(200, 'a');
  std::string pattern;
  for (int i = 0; i < 20; ++i) pattern += "*a";
  pattern += "b";
  EXPECT_FALSE(WildcardMatch(text, pattern));
}

TEST(ByteSizeTest, FormatsBothForms) {
  struct Case {
    int64_t bytes;
    const char* short_form;
    const char* long_form;
  };
  const Case cases[] = {
      {-1, "", "-1Bytes"},
      {0, "0 Bytes", "0Bytes"},
      {1023, "1023 Bytes", "1023Bytes"},
      {1024, "1.0KB", "1024Bytes"},  // the long form changes unit only above 1024
      {1536, "1.5KB", "1.5kB"},
      {1048576, "1.0MB", "1024.0kB"},
      {5 * 1048576 + 524288, "5.5MB", "5.5MB"},
      {1073741824, "1.0GB", "1024.0MB"},
      {int64_t{3} << 30, "3.0GB", "3.00GB"},
      {int64_t{5} << 40, "5120.0GB", "5120.00GB"},  // beyond 32 bits
      {int64_t{9000000000}, "8.4GB", "8.38GB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatByteSize(c.bytes), c.short_form) << c.bytes;
    EXPECT_EQ(FormatByteSizeLong(c.bytes), c.long_form) << c.bytes;
  }
}

TEST(ByteSizeTest, IgnoresTheUsersLocale) {
  // A locale with a decimal comma must not turn "1.5KB" into "1,5KB".
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  std::string text = FormatByteSize(1536);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text, "1.5KB");
}

TEST(IncrementTrailingNumberTest, RaisesTheNumberAtTheEnd) {
  const std::pair<const char*, const char*> cases[] = {
      {"Route", "Route1"},
      {"Route9", "Route10"},
      {"Route007", "Route8"},
      {"Route0", "Route1"},
      {"", "1"},
      {"99", "100"},
      {"a1b", "a1b1"},
      {"WP-199", "WP-200"},
      {"x000", "x1"},
      {"n99999999999999999999", "n100000000000000000000"},  // no integer overflow
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(IncrementTrailingNumber(name), expected) << name;
}

TEST(StringHelpersTest, TrimSanitizeAndLineEnds) {
  std::string text = " \t\r\nkey value \n\r";
  StringTrim(text);
  EXPECT_EQ(text, "key value");
  text = " \t \n";
  StringTrim(text);
  EXPECT_EQ(text, "");

  EXPECT_EQ(SanitizeToken("My chart/v1.2+x_y-z!"), "Mychartv1.2+x_y-z");
  EXPECT_EQ(SanitizeToken(std::string(40, 'a')), std::string(25, 'a'));

  EXPECT_EQ(ToCrLf("a\r\nb\nc\r"), "a\r\nb\r\nc");
  EXPECT_EQ(RemoveCarriageReturns("a\r\nb\r"), "a\nb");

  std::string mixed = "Caf\xC3\xA9 Ab";
  StringToUpper(mixed);
  EXPECT_EQ(mixed, "CAF\xC3\xA9 AB");  // bytes of other characters are left alone
  StringToLower(mixed);
  EXPECT_EQ(mixed, "caf\xC3\xA9 ab");
}

TEST(StringHelpersTest, JoiningAndBytesKeepEveryByte) {
  const char bytes[] = {'a', '\0', 'b'};
  EXPECT_EQ(StringFromBytes(bytes, 3), std::string("a\0b", 3));
  EXPECT_EQ(StringFromBytes(bytes, 0), "");
  EXPECT_EQ(StringFromBytes(nullptr, 5), "");
  EXPECT_EQ(StringConcat(std::string_view("a\0", 2), "b"), std::string("a\0b", 3));
  EXPECT_EQ(StringConcat("", ""), "");
  EXPECT_EQ(AppendChar("Route", '\0'), std::string("Route\0", 6));
}

TEST(StringHelpersTest, SplitKeepsEmptyPieces) {
  EXPECT_EQ(SplitString("a,b;;c", ",;"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(SplitString(",", ","), (std::vector<std::string>{"", ""}));
  EXPECT_TRUE(SplitString("", ",").empty());
  EXPECT_EQ(SkipSpaces(" \t\r\n x "), "x ");
  EXPECT_EQ(SkipSpaces("  "), "");
}

TEST(StringHelpersTest, FormatHasNoLengthLimit) {
  std::string out = "old";
  std::string long_text(5000, 'x');
  StringFormat(out, "%s|%d", long_text.c_str(), 42);
  EXPECT_EQ(out, long_text + "|42");
  StringAppendFormat(out, "%.2f", 2.5);
  EXPECT_EQ(out, long_text + "|422.50");
}

TEST(StringHelpersTest, HexDigits) {
  const std::pair<char, int> cases[] = {{'0', 0},  {'9', 9}, {'a', 10},
                                        {'F', 15}, {'g', 0}, {' ', 0}};
  for (auto [c, value] : cases) EXPECT_EQ(HexDigitValue(c), value) << c;
}

}  // namespace
