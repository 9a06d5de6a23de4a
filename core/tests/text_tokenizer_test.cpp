#include "core/text_tokenizer.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

std::vector<std::string> AllTokens(std::string_view line) {
  TextTokenizer tokens(line);
  std::vector<std::string> out;
  while (std::optional<std::string> token = tokens.NextToken()) out.push_back(*token);
  EXPECT_FALSE(tokens.NextToken().has_value()) << "stays exhausted";
  return out;
}

TEST(TextTokenizerTest, SplitsFields) {
  struct Case {
    const char* line;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"WP05,1.5,-2.25,7", {"WP05", "1.5", "-2.25", "7"}},
      {"a|b\tc", {"a", "b", "c"}},  // all three separators
      {"  a,   b", {"a", "b"}},     // leading blanks skipped
      {"a ,b ", {"a ", "b "}},      // trailing blanks kept
      {"a,,b", {"a", "", "b"}},     // empty field between commas
      {"a,", {"a", ""}},            // separator at the end: one more
      {"a, ", {"a", ""}},
      {"", {}},  // blank lines have no fields
      {"   ", {}},
      {",", {"", ""}},
      {"\"x, y|z\",2", {"x, y|z", "2"}},              // separators inside quotes
      {"\"name\" junk,next", {"name", "next"}},       // text after the quote is skipped
      {"\"\",\"\"", {"", ""}},                        // empty quoted fields
      {"\"say \"\"hi\"\"\",1", {"say \"hi\"", "1"}},  // a doubled quote is one quote
      {"1,\"unterminated, rest|x", {"1", "unterminated, rest|x"}},
      {"\"last\"", {"last"}},
      {"\"last\",", {"last", ""}},
      {"  \"q\"  ,  v", {"q", "v"}},
  };
  for (const Case& c : cases) EXPECT_EQ(AllTokens(c.line), c.tokens) << c.line;
}

TEST(TextTokenizerTest, ReadsIntegersWithDefaults) {
  TextTokenizer tokens("12, -3,7abc,x,,99999999999");
  EXPECT_EQ(tokens.NextTokenInt(-1), 12);
  EXPECT_EQ(tokens.NextTokenInt(-1), -3);
  EXPECT_EQ(tokens.NextTokenInt(-1), 7);  // leading digits, as atoi
  EXPECT_EQ(tokens.NextTokenInt(-1), 0);  // no digits
  EXPECT_EQ(tokens.NextTokenInt(-1), 0);  // empty field
  EXPECT_EQ(tokens.NextTokenInt(-1), INT_MAX);
  EXPECT_EQ(tokens.NextTokenInt(-1), -1);  // exhausted: the default
}

TEST(TextTokenizerTest, SeparateTokenizersDoNotShareAPosition) {
  TextTokenizer first("a,b");
  TextTokenizer second("x,y");
  EXPECT_EQ(first.NextToken(), "a");
  EXPECT_EQ(second.NextToken(), "x");
  EXPECT_EQ(first.NextToken(), "b");
  EXPECT_EQ(second.NextToken(), "y");
}

}  // namespace
