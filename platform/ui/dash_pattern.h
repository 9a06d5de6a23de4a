#pragma once
// Dash patterns of the line styles, shared by the surface's pens and the anti-aliased pens.
#include <QList>

#include "platform/ui/surface.h"

namespace vd::ui {

// Dash and gap lengths of a style other than Solid and Null: in device pixels for one-pixel
// pens (the fixed patterns of thin styled lines), else in multiples of the pen width.
QList<qreal> DashPattern(LineStyle style, bool thin_pen);

}  // namespace vd::ui
