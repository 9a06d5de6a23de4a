#include "platform/ui/dash_pattern.h"

namespace vd::ui {

QList<qreal> DashPattern(LineStyle style, bool thin_pen) {
  switch (style) {
    case LineStyle::Dash:
      return thin_pen ? QList<qreal>{18, 6} : QList<qreal>{3, 1};
    case LineStyle::Dot:
      return thin_pen ? QList<qreal>{3, 3} : QList<qreal>{1, 1};
    case LineStyle::DashDot:
      return thin_pen ? QList<qreal>{9, 6, 3, 6} : QList<qreal>{3, 1, 1, 1};
    case LineStyle::DashDotDot:
      return thin_pen ? QList<qreal>{9, 3, 3, 3, 3, 3} : QList<qreal>{3, 1, 1, 1, 1, 1};
    case LineStyle::Solid:
    case LineStyle::Null:
      break;
  }
  return {};
}

}  // namespace vd::ui
