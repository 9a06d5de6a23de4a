#include "overlays/model/screen_transform.h"

#include <cmath>

namespace {

int32_t Shift(int32_t value, int32_t shift) {
  // Shifts by 32 or more are not defined; such levels do not occur in a view.
  if (shift >= 0) {
    return shift < 32 ? static_cast<int32_t>(static_cast<uint32_t>(value) << shift) : 0;
  }
  return -shift < 32 ? value >> -shift : (value < 0 ? -1 : 0);
}

}  // namespace

vd::ui::Rect CScreenTransform::Apply(const vd::ui::Rect& world) const {
  const auto x = static_cast<int32_t>(x_offset);
  const auto y = static_cast<int32_t>(y_offset);
  return {x + Shift(world.left, level_shift), y + Shift(world.top, level_shift),
          x + Shift(world.right, level_shift), y + Shift(world.bottom, level_shift)};
}

ScreenPointF CScreenTransform::ToScreen(ScreenPointF world) const {
  const float scale = std::ldexp(1.0f, level_shift);
  return {x_offset + world.x * scale, y_offset + world.y * scale};
}

vd::ui::Point CScreenTransform::ToScreenPixel(ScreenPointF world) const {
  const ScreenPointF screen = ToScreen(world);
  return {static_cast<int>(std::lround(screen.x)), static_cast<int>(std::lround(screen.y))};
}
