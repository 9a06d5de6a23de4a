#include "viewer_lib/geo_box.h"

#include <algorithm>

void GeoBox::Extend(const GeoPoint& point) {
  min_a = std::min(min_a, point.lat);
  max_a = std::max(max_a, point.lat);
  min_b = std::min(min_b, point.lon);
  max_b = std::max(max_b, point.lon);
}
