#include "platform/ui/colour.h"

#include <QColor>

namespace vd::ui {

QColor QColorFromColourRef(ColourRef c) {
  return QColor(ColourRefRed(c), ColourRefGreen(c), ColourRefBlue(c));
}

QColor QColorFromArgb(Argb c) {
  return QColor(ArgbRed(c), ArgbGreen(c), ArgbBlue(c), ArgbAlpha(c));
}

}  // namespace vd::ui
