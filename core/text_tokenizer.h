#pragma once
// Reads the fields of one line of comma-separated text, one call at a time.
//
// Fields are separated by a comma, a tab or a vertical bar. Leading white space of a field is
// skipped. A field that begins with a double quote runs to the next lone double quote; the
// quotes are removed and a doubled quote inside stands for one quote character. After the
// closing quote everything up to and including the next separator is skipped. Without a closing
// quote the field is the rest of the line.
//
// The last field runs to the end of the text; a separator at the very end gives one more, empty
// field; a blank text has none. After the last field NextToken returns nullopt.
#include <optional>
#include <string>
#include <string_view>

class TextTokenizer {
 public:
  explicit TextTokenizer(std::string_view text) : text_(text) {}

  std::optional<std::string> NextToken();
  // The next field read as a decimal integer as atoi reads it (leading digits, 0 when there are
  // none), or `default_value` once the fields are exhausted.
  int NextTokenInt(int default_value);

 private:
  std::string text_;
  size_t pos_ = 0;
  bool exhausted_ = false;
  bool after_separator_ = false;
};
