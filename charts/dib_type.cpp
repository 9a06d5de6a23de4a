#include "charts/dib_type.h"

void CDibType::Reset() {
  x = kNoPosition;
  y = kNoPosition;
  level = kNoLevel;
  needs_render = true;
  ready = false;
}
