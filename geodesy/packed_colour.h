#pragma once
// A colour packed into 32 bits: red in the low byte, then green, blue and the top byte.
#include <cstdint>

class PackedColour {
 public:
  // Each component is taken modulo 256.
  void Set(int red, int green, int blue, int top) {
    value_ = (static_cast<uint32_t>(red) & 0xFFu) | (static_cast<uint32_t>(green) & 0xFFu) << 8 |
             (static_cast<uint32_t>(blue) & 0xFFu) << 16 |
             (static_cast<uint32_t>(top) & 0xFFu) << 24;
  }
  uint32_t value() const { return value_; }

 private:
  uint32_t value_ = 0;
};
