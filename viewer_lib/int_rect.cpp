#include "viewer_lib/int_rect.h"

#include <algorithm>

int32_t IntRect::Clip(const IntRect& other) {
  left = std::max(left, other.left);
  top = std::max(top, other.top);
  right = std::max(left, std::min(right, other.right));
  bottom = std::max(top, std::min(bottom, other.bottom));
  return left;
}
