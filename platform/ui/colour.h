#pragma once
// The two colour forms the drawing code hands around, as plain 32-bit values:
// - ColourRef, 0x00BBGGRR: red in the low byte. GDI-style drawing (pens, brushes, text) and the
//   colours stored by the older overlay model and the charts use it.
// - Argb, 0xAARRGGBB: alpha in the high byte. Anti-aliased drawing, images and the newer
//   overlay model use it.
// Both are aliases of uint32_t, so the names of the helpers say which form they take.
#include <cstdint>

class QColor;

namespace vd::ui {

using ColourRef = uint32_t;
using Argb = uint32_t;

constexpr ColourRef MakeColourRef(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<ColourRef>(red) | static_cast<ColourRef>(green) << 8 |
         static_cast<ColourRef>(blue) << 16;
}
constexpr uint8_t ColourRefRed(ColourRef c) { return static_cast<uint8_t>(c); }
constexpr uint8_t ColourRefGreen(ColourRef c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t ColourRefBlue(ColourRef c) { return static_cast<uint8_t>(c >> 16); }

constexpr Argb MakeArgb(uint8_t alpha, uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<Argb>(alpha) << 24 | static_cast<Argb>(red) << 16 |
         static_cast<Argb>(green) << 8 | static_cast<Argb>(blue);
}
constexpr uint8_t ArgbAlpha(Argb c) { return static_cast<uint8_t>(c >> 24); }
constexpr uint8_t ArgbRed(Argb c) { return static_cast<uint8_t>(c >> 16); }
constexpr uint8_t ArgbGreen(Argb c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t ArgbBlue(Argb c) { return static_cast<uint8_t>(c); }

// The ColourRef's red, green and blue with the given alpha (the byte above them is ignored).
constexpr Argb ArgbFromColourRef(ColourRef c, uint8_t alpha = 0xFF) {
  return MakeArgb(alpha, ColourRefRed(c), ColourRefGreen(c), ColourRefBlue(c));
}
// The red, green and blue of an Argb; the alpha is dropped.
constexpr ColourRef ColourRefFromArgb(Argb c) {
  return MakeColourRef(ArgbRed(c), ArgbGreen(c), ArgbBlue(c));
}

// Opaque; the byte above blue is ignored.
QColor QColorFromColourRef(ColourRef c);
QColor QColorFromArgb(Argb c);

}  // namespace vd::ui
