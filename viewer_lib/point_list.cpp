#include "viewer_lib/point_list.h"

void PointList::Build(double h, double x, double y, double w) {
  points = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
  closed = true;
}
