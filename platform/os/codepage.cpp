#include "platform/os/codepage.h"

#include <algorithm>
#include <cstdint>

namespace vd::os {
namespace {

// Code points of the bytes 0x80..0x9F; the undefined bytes keep their own value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {  // every code point of the table lies below U+10000
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes the well-formed sequence at s[i] (no overlong forms, surrogates or values above
// U+10FFFF) and returns its length, or 0 when the lead byte does not start one.
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t lead = byte(i);
  size_t len;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < len || byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  return len;
}

char ToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  const auto* end = std::end(kHighControls);
  const auto* it = std::find(std::begin(kHighControls), end, cp);
  return it == end ? '?' : static_cast<char>(0x80 + (it - kHighControls));
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  Cp1252ToUtf8(bytes, out);
  return out;
}

void Cp1252ToUtf8(std::string_view bytes, std::string& out) {
  if (IsAscii(bytes)) {
    out.assign(bytes);
    return;
  }
  out.clear();
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char c : bytes) {
    const uint8_t b = static_cast<uint8_t>(c);
    AppendUtf8(out, b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : char32_t{b});
  }
}

std::string Utf8ToCp1252(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    if (static_cast<uint8_t>(utf8[i]) < 0x80) {
      out += utf8[i++];
      continue;
    }
    char32_t cp;
    const size_t len = DecodeUtf8(utf8, i, cp);
    out += len ? ToCp1252(cp) : '?';
    i += len ? len : 1;
  }
  return out;
}

}  // namespace vd::os
