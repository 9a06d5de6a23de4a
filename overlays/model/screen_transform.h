#pragma once
// From a view's world pixels (chart pixels at the chart's own scale) to its screen: each
// coordinate is shifted by the zoom level and moved by the view's offset. The float forms of
// the touch-oriented view (ToScreen, ToWorld, SetOrigin) use the offset as the world point at
// the screen's corner instead, with a free scale.
#include <cstdint>

#include "overlays/model/screen_points.h"
#include "platform/ui/geometry.h"

struct CScreenTransform {
  CScreenTransform() = default;
  CScreenTransform(int32_t level, float x, float y) : level_shift(level), x_offset(x), y_offset(y) {}

  int32_t level_shift = 0;  // > 0 magnifies by 2^shift, < 0 reduces
  float x_offset = 0.0f;
  float y_offset = 0.0f;
  float scale = 1.0f;     // screen pixels per world unit (the float forms only)
  vd::ui::Rect visible;   // screen pixels that a projection is worth making for

  // offset + (c << s) for s >= 0, offset + (c >> -s) otherwise (arithmetic shift; the offsets
  // truncated to integers).
  vd::ui::Rect Apply(const vd::ui::Rect& world) const;
  // The same for one point, without truncation.
  ScreenPointF ApplyPoint(ScreenPointF world) const;
  vd::ui::Point ToScreenPixel(ScreenPointF world) const;
  // The inverse of Apply: each coordinate less the truncated offset, shifted back by the level.
  vd::ui::Rect RectToScreen(const vd::ui::Rect& rect) const;

  // ((x - x_offset) * scale, (y - y_offset) * scale) and back.
  ScreenPointF ToScreen(float x, float y) const;
  ScreenPointF ToWorld(float sx, float sy) const;
  // Moves the offset so that the screen point (sx, sy) shows the world point (wx, wy).
  void SetOrigin(float sx, float sy, float wx, float wy);
};
