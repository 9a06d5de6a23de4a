#pragma once
// A font as the drawing code describes it (the fields of a logical font record), and its
// realisation as a Qt font. Family names of the other platform map to metric-compatible fonts
// installed here: "Arial" -> Liberation Sans, "Times New Roman" -> Liberation Serif,
// "Courier New" -> Liberation Mono, and their look-alikes likewise.
#include <string>
#include <string_view>

class QFont;

namespace vd::ui {

struct Font {
  std::string face = "Arial";
  // In logical units. Negative: the character height (the em size), as most callers give it;
  // positive: the cell height (ascent plus descent); 0: a default height.
  int height = 0;
  int weight = 400;  // 100 (thin) to 900 (black); 400 normal, 700 bold; 0 counts as 400
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  int escapement = 0;  // angle of the text's base line, tenths of a degree, anticlockwise
};

constexpr int kFontWeightNormal = 400;
constexpr int kFontWeightBold = 700;

// The installed family that stands in for `face` (case-insensitive). A family that has no
// stand-in but is installed is kept; anything else becomes Liberation Sans.
std::string ResolveFontFamily(std::string_view face);

// The Qt font for `font`, its pixel size in logical units. The escapement is not part of it:
// the surface turns the text when it draws.
QFont MakeQFont(const Font& font);

}  // namespace vd::ui
