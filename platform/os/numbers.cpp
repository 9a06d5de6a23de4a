#include "platform/os/numbers.h"

#include <locale.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vd::os {
namespace {

// Switches the calling thread to the C locale for its lifetime; other threads are not touched.
class CLocaleScope {
 public:
  CLocaleScope() : previous_(uselocale(CLocale())) {}
  ~CLocaleScope() { uselocale(previous_); }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

  // Made once and kept for the life of the process.
  static locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return c;
  }

 private:
  locale_t previous_;
};

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

size_t SkipBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i;
}

bool Fail(size_t* used) {
  if (used) *used = 0;
  return false;
}

}  // namespace

std::string VFormatC(const char* fmt, va_list args) {
  CLocaleScope c_locale;
  char small[256];
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, fmt, args);
  std::string out;
  if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
    out.assign(small, n);
  } else if (n > 0) {
    out.resize(n);
    std::vsnprintf(out.data(), out.size() + 1, fmt, again);
  }
  va_end(again);
  return out;
}

std::string FormatC(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = VFormatC(fmt, args);
  va_end(args);
  return out;
}

int ScanC(const char* text, const char* fmt, ...) {
  CLocaleScope c_locale;
  va_list args;
  va_start(args, fmt);
  const int n = std::vsscanf(text, fmt, args);
  va_end(args);
  return n;
}

bool ParseDouble(std::string_view text, double& out, size_t* used) {
  size_t i = SkipBlanks(text);
  // from_chars takes a '-' but no '+'.
  if (i < text.size() && text[i] == '+') {
    ++i;
    if (i < text.size() && text[i] == '-') return Fail(used);
  }
  const char* begin = text.data() + i;
  const char* end = text.data() + text.size();
  double value;
  const auto [stop, ec] = std::from_chars(begin, end, value);
  if (ec == std::errc::invalid_argument) return Fail(used);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value unset on underflow too; strtod on the same characters tells
    // overflow (infinite: a failure) from underflow (zero or a denormal, which is kept).
    const std::string number(begin, stop);
    value = strtod_l(number.c_str(), nullptr, CLocaleScope::CLocale());
    if (std::isinf(value)) return Fail(used);
  }
  out = value;
  if (used) *used = stop - text.data();
  return true;
}

bool ParseInt64(std::string_view text, int64_t& out, int base, size_t* used) {
  if (base != 0 && (base < 2 || base > 36)) return Fail(used);
  size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const auto is_hex_digit = [&](size_t k) {
    return k < text.size() && std::isxdigit(static_cast<unsigned char>(text[k]));
  };
  // "0x" counts as a prefix only when a hexadecimal digit follows; otherwise the "0" is the
  // number and reading stops at the 'x', as strtoll does.
  const bool hex_prefix = (base == 0 || base == 16) && i + 1 < text.size() && text[i] == '0' &&
                          (text[i + 1] == 'x' || text[i + 1] == 'X') && is_hex_digit(i + 2);
  if (hex_prefix) {
    base = 16;
    i += 2;
  } else if (base == 0) {
    base = i < text.size() && text[i] == '0' ? 8 : 10;
  }
  uint64_t magnitude;
  const auto [stop, ec] = std::from_chars(text.data() + i, text.data() + text.size(), magnitude, base);
  if (ec != std::errc{}) return Fail(used);
  const uint64_t limit = negative ? uint64_t{1} << 63 : std::numeric_limits<int64_t>::max();
  if (magnitude > limit) return Fail(used);
  out = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  if (used) *used = stop - text.data();
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string FormatDouble(double v) {
  char buf[32];  // the longest shortest form is 24 characters
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc{} ? std::string(buf, end) : std::string();
}

}  // namespace vd::os
