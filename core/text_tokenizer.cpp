#include "core/text_tokenizer.h"

#include <climits>
#include <cstdint>

#include "platform/os/numbers.h"

namespace {

constexpr std::string_view kSeparators = "\t,|";

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::optional<std::string> TextTokenizer::NextToken() {
  if (exhausted_) return std::nullopt;
  while (pos_ < text_.size() && IsWhiteSpace(text_[pos_])) ++pos_;
  // A blank text has no fields; past a separator the end still gives one empty field.
  if (pos_ >= text_.size() && !after_separator_) {
    exhausted_ = true;
    return std::nullopt;
  }

  std::string token;
  if (pos_ < text_.size() && text_[pos_] == '"') {
    size_t p = pos_ + 1;
    for (;;) {
      size_t quote = text_.find('"', p);
      if (quote == std::string::npos) {
        token.append(text_, p);
        exhausted_ = true;
        return token;
      }
      token.append(text_, p, quote - p);
      if (quote + 1 < text_.size() && text_[quote + 1] == '"') {
        token += '"';
        p = quote + 2;
        continue;
      }
      size_t separator = text_.find_first_of(kSeparators, quote + 1);
      if (separator == std::string::npos) {
        exhausted_ = true;
      } else {
        pos_ = separator + 1;
        after_separator_ = true;
      }
      return token;
    }
  }

  size_t separator = text_.find_first_of(kSeparators, pos_);
  if (separator == std::string::npos) {
    token.assign(text_, pos_);
    exhausted_ = true;
  } else {
    token.assign(text_, pos_, separator - pos_);
    pos_ = separator + 1;
    after_separator_ = true;
  }
  return token;
}

int TextTokenizer::NextTokenInt(int default_value) {
  std::optional<std::string> token = NextToken();
  if (!token) return default_value;
  int64_t value = 0;
  if (!vd::os::ParseInt64(*token, value)) return 0;
  if (value < INT_MIN) return INT_MIN;
  if (value > INT_MAX) return INT_MAX;
  return static_cast<int>(value);
}
