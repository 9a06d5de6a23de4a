#include "core/key_value_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using namespace std::string_literals;
using Entries = std::map<std::string, std::string>;

Entries LoadText(const std::string& text) {
  vd::test::TempDir dir;
  const std::string path = dir.File("kv.ini");
  EXPECT_TRUE(vd::os::SaveFileAtomically(path, text));
  CKeyValueFile file;
  EXPECT_TRUE(file.Load(path));
  return file.entries();
}

TEST(KeyValueFileTest, EncodesValuesByteByByte) {
  const struct {
    std::string value, encoded;
  } cases[] = {
      {"a=b&c", "a%3db%26c"},
      {"AZaz09$-_.!*'()", "AZaz09$-_.!*'()"},
      {"two words", "two+words"},
      {"1+1", "1%2b1"},
      {"100%", "100%25"},
      {std::string("\xff\x80\x01\n", 4), "%ff%80%01%0a"},
      {std::string("a\0b", 3), "a%00b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CKeyValueFile::EncodeValue(c.value), c.encoded) << c.value;
    EXPECT_EQ(CKeyValueFile::DecodeValue(c.encoded), c.value) << c.encoded;
  }
}

TEST(KeyValueFileTest, DecodesBrokenEscapes) {
  const struct {
    const char* text;
    const char* decoded;
  } cases[] = {
      {"%41%6a%6A", "Ajj"},  // either case
      {"%zz1", "%zz1"},      // not an escape: kept with the next two characters
      {"x%g", "x"},          // '%' among the last two characters: dropped with the rest
      {"ab%4", "ab"},       {"ab%", "ab"}, {"+%20+", "   "},
  };
  for (const auto& c : cases) EXPECT_EQ(CKeyValueFile::DecodeValue(c.text), c.decoded) << c.text;
}

TEST(KeyValueFileTest, ParsesPairsOfALine) {
  CKeyValueFile file;
  file.ParseLine("a=1&b=x+y&c&=lost&d=&e=f=g& k = v \t");
  file.ParseLine("a=2");  // a later pair wins
  EXPECT_EQ(file.entries(), (Entries{{"a", "2"}, {"b", "x y"}, {"e", "f=g"}, {"k", "v"}}));
}

TEST(KeyValueFileTest, SkipsBlankAndCommentLines) {
  EXPECT_EQ(LoadText("# k=1\n   \t\n  #x=2\nk= v\r\n\n"), (Entries{{"k", "v"}}));
}

TEST(KeyValueFileTest, GarbageLinesGiveNoEntries) {
  EXPECT_EQ(LoadText("=novalue\n&&&\n====\nkeyonly\n%%%\n\x01\x02\n\x7f=\nok=1"),
            (Entries{{"ok", "1"}}));
}

TEST(KeyValueFileTest, OnlyLineFeedEndsALine) {
  // 0xFF is a character of Windows-1252 text; carriage returns and NUL bytes are dropped.
  const std::string text =
      "A=caf\xff"
      "B=1\r\nC=2\0"
      "3\n\xff\xff=\xff"s;
  EXPECT_EQ(LoadText(text), (Entries{{"A",
                                      "caf\xff"
                                      "B=1"},
                                     {"C", "23"},
                                     {"\xff\xff", "\xff"}}));
}

TEST(KeyValueFileTest, OverlongLineIsSkippedAndReadingGoesOn) {
  const std::string longest = "k=" + std::string(CKeyValueFile::kMaxLine - 2, 'x');
  const std::string text =
      "before=1\nlost=" + std::string(1 << 20, 'y') + "\n" + longest + "\nafter=2\n";
  const Entries entries = LoadText(text);
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries.at("before"), "1");
  EXPECT_EQ(entries.at("after"), "2");
  EXPECT_EQ(entries.at("k").size(), CKeyValueFile::kMaxLine - 2);
}

TEST(KeyValueFileTest, SavesInKeyOrderWithoutEmptyEntries) {
  vd::test::TempDir dir;
  CKeyValueFile file;
  file.Set("b", "two words");
  file.Set("a:x", "a=b&c");
  file.Set("a[1]", "y");
  file.Set("empty", "");
  file.Set("", "no key");
  file.SetInt("n", -1);
  file.SetBytes("raw", "\x01\xab", 2);
  ASSERT_TRUE(file.Save(dir.File("out.ini")));
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("out.ini"), text));
  EXPECT_EQ(text, "a:x=a%3db%26c\na[1]=y\nb=two+words\nn=0xffffffff\nraw=01ab\n");

  CKeyValueFile back;
  ASSERT_TRUE(back.Load(dir.File("out.ini")));
  EXPECT_EQ(back.GetStringOr("a:x", ""), "a=b&c");
  EXPECT_EQ(back.GetInt("n", 0), -1);
  EXPECT_FALSE(back.Has("empty"));
  EXPECT_FALSE(file.Save(dir.File("missing/out.ini")));
}

TEST(KeyValueFileTest, MissingFileFailsToLoad) {
  vd::test::TempDir dir;
  CKeyValueFile file;
  EXPECT_FALSE(file.Load(dir.File("none.ini")));
  EXPECT_TRUE(file.entries().empty());
}

TEST(KeyValueFileTest, ReadsIntegersAsC) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"0xff", 255},  {"1", 1},           {"010", 8},
      {"-1", -1},     {"0xffffffff", -1}, {"0x80000000", INT_MIN},
      {"-0x10", -16}, {"4294967297", 1},  // low 32 bits
      {"12abc", 12},  {"abc", 77},        {"99999999999999999999", 77},
  };
  for (const auto& c : cases) {
    CKeyValueFile file;
    file.Set("k", c.text);
    EXPECT_EQ(file.GetInt("k", 77), c.value) << c.text;
  }
  EXPECT_EQ(CKeyValueFile().GetInt("k", 77), 77);
}

TEST(KeyValueFileTest, ReadsDoublesAndBytes) {
  CKeyValueFile file;
  file.Set("d", "2.5e3");
  file.Set("bad", "x1");
  file.Set("hex", "0a0B0cZZ0d");
  EXPECT_EQ(file.GetDouble("d", 0), 2500.0);
  EXPECT_EQ(file.GetDouble("bad", 7), 7.0);
  EXPECT_EQ(file.GetDouble("none", 7), 7.0);

  unsigned char buffer[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(file.GetBytes("hex", buffer, 5), 3);  // stops at the pair that is not hexadecimal
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "\x0a\x0b\x0c\x09\x09");
  EXPECT_EQ(file.GetBytes("hex", buffer, 2), 2);
  EXPECT_EQ(file.GetBytes("none", buffer, 5), 0);
}

}  // namespace
