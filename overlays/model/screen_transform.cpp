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

vd::ui::Rect CScreenTransform::RectToScreen(const vd::ui::Rect& rect) const {
  const auto x = static_cast<int32_t>(x_offset);
  const auto y = static_cast<int32_t>(y_offset);
  return {Shift(rect.left - x, -level_shift), Shift(rect.top - y, -level_shift),
          Shift(rect.right - x, -level_shift), Shift(rect.bottom - y, -level_shift)};
}

ScreenPointF CScreenTransform::ApplyPoint(ScreenPointF world) const {
  const float scale = std::ldexp(1.0f, level_shift);
  return {x_offset + world.x * scale, y_offset + world.y * scale};
}

vd::ui::Point CScreenTransform::ToScreenPixel(ScreenPointF world) const {
  const ScreenPointF screen = ApplyPoint(world);
  return {static_cast<int>(std::lround(screen.x)), static_cast<int>(std::lround(screen.y))};
}

ScreenPointF CScreenTransform::ToScreen(float x, float y) const {
  return {(x - x_offset) * scale, (y - y_offset) * scale};
}

ScreenPointF CScreenTransform::ToWorld(float sx, float sy) const {
  return {sx / scale + x_offset, sy / scale + y_offset};
}

void CScreenTransform::SetOrigin(float sx, float sy, float wx, float wy) {
  x_offset = wx - sx / scale;
  y_offset = wy - sy / scale;
}
