#include "platform/os/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace vd::os {
namespace {

TEST(Codepage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  // The undefined bytes become the C1 controls of the same value.
  EXPECT_NE(utf8.find("\xC2\x81"), std::string::npos);
  EXPECT_NE(utf8.find("\xC2\x9D"), std::string::npos);
}

TEST(Codepage, Characters) {
  struct Case {
    const char* utf8;
    const char* cp1252;
  };
  const Case cases[] = {
      {"\xE2\x82\xAC", "\x80"},        // euro sign
      {"\xE2\x84\xA2", "\x99"},        // trade mark
      {"\xC5\x92", "\x8C"},            // OE ligature
      {"\xC5\xB8", "\x9F"},            // Y with diaeresis
      {"\xC3\xA9", "\xE9"},            // e acute
      {"\xC2\xB0", "\xB0"},            // degree sign
      {"\xC2\xA0", "\xA0"},            // no-break space
      {"N 12\xC2\xB0", "N 12\xB0"},    // mixed with ASCII
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
    EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8) << c.utf8;
  }
}

TEST(Codepage, UnrepresentableAndMalformedBecomeQuestionMarks) {
  struct Case {
    std::string utf8;
    std::string cp1252;
  };
  const Case cases[] = {
      {"a\xE6\xB5\xB7z", "a?z"},            // CJK character
      {"\xF0\x9F\x98\x80", "?"},            // emoji
      {"\xC2\x80", "?"},                    // C1 control that Windows-1252 puts to other use
      {"a\x80z", "a?z"},                    // lone continuation byte
      {"\xE2\x82" "A", "??A"},              // truncated sequence: one '?' per byte
      {"\xC0\xAF", "??"},                   // overlong form of '/'
      {"\xED\xA0\x80", "???"},              // UTF-16 surrogate
      {"\xF4\x90\x80\x80", "????"},         // beyond U+10FFFF
      {"\xE2\x82", "??"},                   // sequence cut by the end of the text
      {std::string("\0\xFF", 2), std::string("\0?", 2)},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << testing::PrintToString(c.utf8);
}

}  // namespace
}  // namespace vd::os
