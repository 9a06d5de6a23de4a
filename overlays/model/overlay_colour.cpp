#include "overlays/model/overlay_colour.h"

#include "platform/os/numbers.h"

using vd::os::HexDigit;

bool COverlayColour::Parse(std::string_view text, uint32_t& argb) {
  if (text.empty() || text.front() != '#') return false;
  const std::string_view digits = text.substr(1);
  const size_t n = digits.size();
  if (n != 3 && n != 4 && n != 6 && n != 8) return false;
  for (char c : digits) {
    if (HexDigit(c) < 0) return false;
  }
  // The components in text order; one-digit forms give d x 16.
  const size_t width = n <= 4 ? 1 : 2;
  uint32_t parts[4] = {};
  const size_t count = n / width;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t high = static_cast<uint32_t>(HexDigit(digits[i * width]));
    const uint32_t low =
        width == 1 ? 0 : static_cast<uint32_t>(HexDigit(digits[i * width + 1]));
    parts[i] = high * 16 + low;
  }
  const bool has_alpha = count == 4;
  const uint32_t alpha = has_alpha ? parts[0] : 0xFF;
  const uint32_t* rgb = has_alpha ? parts + 1 : parts;
  argb = alpha << 24 | rgb[0] << 16 | rgb[1] << 8 | rgb[2];
  return true;
}

std::string COverlayColour::Format(uint32_t argb) {
  return vd::os::FormatC("#%02X%02X%02X%02X", argb >> 24, argb >> 16 & 0xFF, argb >> 8 & 0xFF,
                         argb & 0xFF);
}
