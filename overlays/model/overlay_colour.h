#pragma once
// Colour texts of the newer overlay model's settings: "#" and hexadecimal digits.
#include <cstdint>
#include <string>
#include <string_view>

class COverlayColour {
 public:
  // "#RGB", "#ARGB" (a digit d gives the byte d x 16), "#RRGGBB" (alpha 0xFF when not given)
  // or "#AARRGGBB" into 0xAARRGGBB. Other texts leave argb unchanged and give false.
  static bool Parse(std::string_view text, uint32_t& argb);
  // "#AARRGGBB", upper case.
  static std::string Format(uint32_t argb);
};
