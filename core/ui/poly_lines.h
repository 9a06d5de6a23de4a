#pragma once
// Chains of lines through points with the surface's current pen, as the drawing code of the
// charts and panes draws outlines: a MoveTo to the first point and a LineTo through each of the
// others, coordinates cut to whole pixels (toward zero). The current position is left at the
// last point drawn to. Nothing is drawn for a count below 1.
#include "platform/ui/geometry.h"

namespace vd::ui {
class Surface;
}

void DrawPolyline(vd::ui::Surface& dc, const vd::ui::PointF* points, int count);
// The same, then a line back to the first point.
void DrawPolygon(vd::ui::Surface& dc, const vd::ui::PointF* points, int count);
