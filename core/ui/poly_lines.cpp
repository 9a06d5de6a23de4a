#include "core/ui/poly_lines.h"

#include "platform/ui/surface.h"

namespace {

vd::ui::Point Truncated(const vd::ui::PointF& p) {
  return {static_cast<int>(p.x), static_cast<int>(p.y)};
}

}  // namespace

void DrawPolyline(vd::ui::Surface& dc, const vd::ui::PointF* points, int count) {
  if (points == nullptr || count < 1) return;
  dc.MoveTo(Truncated(points[0]));
  for (int i = 1; i < count; ++i) dc.LineTo(Truncated(points[i]));
}

void DrawPolygon(vd::ui::Surface& dc, const vd::ui::PointF* points, int count) {
  if (points == nullptr || count < 1) return;
  DrawPolyline(dc, points, count);
  dc.LineTo(Truncated(points[0]));
}
