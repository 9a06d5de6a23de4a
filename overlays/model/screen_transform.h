#pragma once
// From a view's world pixels (chart pixels at the chart's own scale) to its screen: each
// coordinate is shifted by the zoom level and moved by the view's offset.
#include <cstdint>

#include "overlays/model/screen_points.h"
#include "platform/ui/geometry.h"

struct CScreenTransform {
  int32_t level_shift = 0;  // > 0 magnifies by 2^shift, < 0 reduces
  float x_offset = 0.0f;
  float y_offset = 0.0f;

  // offset + (c << s) for s >= 0, offset + (c >> -s) otherwise (arithmetic shift; the offsets
  // truncated to integers).
  vd::ui::Rect Apply(const vd::ui::Rect& world) const;
  // The same for one point, without truncation.
  ScreenPointF ToScreen(ScreenPointF world) const;
  vd::ui::Point ToScreenPixel(ScreenPointF world) const;
};
