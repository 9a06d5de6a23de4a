#include "core/string_utils.h"

#include <algorithm>
#include <cinttypes>

#include "platform/os/numbers.h"

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the UTF-8 sequence starting at text[pos], at least 1 and never past the end.
size_t CharLength(std::string_view text, size_t pos) {
  size_t end = pos + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return end - pos;
}

// Iterative matcher: on a mismatch it retries from the last '*', letting it swallow one more
// character, which keeps the cost at text length x pattern length in the worst case.
bool Wildcard(std::string_view text, std::string_view pattern, bool ignore_case) {
  size_t t = 0, p = 0;
  size_t star = std::string_view::npos, star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      t += CharLength(text, t);
    } else if (p < pattern.size() && (ignore_case ? AsciiUpper(pattern[p]) == AsciiUpper(text[t])
                                                  : pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      star_text += CharLength(text, star_text);
      t = star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string ByteSizeText(double value, const char* format, const char* unit) {
  return vd::os::FormatC(format, value, unit);
}

}  // namespace

void StringToLower(std::string& text) {
  std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
}
void StringToUpper(std::string& text) {
  std::transform(text.begin(), text.end(), text.begin(), AsciiUpper);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiUpper(x) == AsciiUpper(y);
         });
}

void StringFormat(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  out = vd::os::VFormatC(format, args);
  va_end(args);
}

void StringAppendFormat(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  out += vd::os::VFormatC(format, args);
  va_end(args);
}

void StringTrim(std::string& text) {
  constexpr std::string_view kBlanks = " \t\n\r";
  size_t last = text.find_last_not_of(kBlanks);
  if (last == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(last + 1);
  text.erase(0, text.find_first_not_of(kBlanks));
}

std::string SanitizeToken(std::string_view text) {
  constexpr size_t kMaxLength = 25;
  std::string out;
  for (char c : text) {
    if (out.size() == kMaxLength) break;
    if (IsAsciiAlnum(c) || c == '_' || c == '-' || c == '.' || c == '+') out += c;
  }
  return out;
}

bool WildcardMatch(std::string_view text, std::string_view pattern) {
  return Wildcard(text, pattern, false);
}
bool WildcardMatchNoCase(std::string_view text, std::string_view pattern) {
  return Wildcard(text, pattern, true);
}

int CompareNatural(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compare the whole runs by value without converting them, so any length works: skip
      // leading zeros, then the longer run is the larger number, else the first differing digit.
      size_t a_end = i, b_end = j;
      while (a_end < a.size() && IsDigit(a[a_end])) ++a_end;
      while (b_end < b.size() && IsDigit(b[b_end])) ++b_end;
      while (i + 1 < a_end && a[i] == '0') ++i;
      while (j + 1 < b_end && b[j] == '0') ++j;
      std::string_view da = a.substr(i, a_end - i), db = b.substr(j, b_end - j);
      if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
      int order = da.compare(db);
      if (order != 0) return order < 0 ? -1 : 1;
      i = a_end;
      j = b_end;
      continue;
    }
    unsigned char ca = static_cast<unsigned char>(AsciiUpper(a[i]));
    unsigned char cb = static_cast<unsigned char>(AsciiUpper(b[j]));
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::vector<std::string> SplitString(std::string_view text, std::string_view delimiters) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  size_t start = 0;
  for (;;) {
    size_t end = text.find_first_of(delimiters, start);
    pieces.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return pieces;
}

std::string_view SkipSpaces(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\n\r");
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string RemoveCarriageReturns(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') {
      out += "\r\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

void ReplaceCharInString(std::string& text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
}

std::string AppendChar(std::string_view text, char c) { return StringConcat(text, {&c, 1}); }

std::string StringConcat(std::string_view a, std::string_view b) {
  std::string out;
  out.reserve(a.size() + b.size());
  out.append(a);
  out.append(b);
  return out;
}

std::string StringFromBytes(const void* bytes, size_t length) {
  if (bytes == nullptr || length == 0) return {};
  return std::string(static_cast<const char*>(bytes), length);
}

bool IsAsciiAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int HexDigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string FormatByteSize(int64_t bytes) {
  constexpr int64_t kKilo = 1024, kMega = kKilo * 1024, kGiga = kMega * 1024;
  if (bytes < 0) return {};
  if (bytes >= kGiga) return ByteSizeText(static_cast<double>(bytes) / kGiga, "%.1f%sB", "G");
  if (bytes >= kMega) return ByteSizeText(static_cast<double>(bytes) / kMega, "%.1f%sB", "M");
  if (bytes >= kKilo) return ByteSizeText(static_cast<double>(bytes) / kKilo, "%.1f%sB", "K");
  return vd::os::FormatC("%" PRId64 " Bytes", bytes);
}

std::string FormatByteSizeLong(int64_t bytes) {
  constexpr int64_t kKilo = 1024, kMega = kKilo * 1024, kGiga = kMega * 1024;
  const double value = static_cast<double>(bytes);
  if (bytes > kGiga) return ByteSizeText(value / kGiga, "%.2f%s", "GB");
  if (bytes > kMega) return ByteSizeText(value / kMega, "%.1f%s", "MB");
  if (bytes > kKilo) return ByteSizeText(value / kKilo, "%.1f%s", "kB");
  return ByteSizeText(value, "%.0f%s", "Bytes");
}

std::string IncrementTrailingNumber(std::string_view name) {
  size_t digits = name.size();
  while (digits > 0 && IsDigit(name[digits - 1])) --digits;
  size_t first = digits;
  while (first + 1 < name.size() && name[first] == '0') ++first;  // "007" counts as 7
  std::string number(first < name.size() ? name.substr(first) : std::string_view("0"));
  // Decimal increment on the text: carry through trailing nines.
  size_t pos = number.size();
  while (pos > 0 && number[pos - 1] == '9') number[--pos] = '0';
  if (pos == 0) {
    number.insert(number.begin(), '1');
  } else {
    ++number[pos - 1];
  }
  return std::string(name.substr(0, digits)) + number;
}
