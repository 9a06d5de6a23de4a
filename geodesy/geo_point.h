#pragma once
// A WGS84 position in decimal degrees, north and east positive. Lists of positions are contiguous
// arrays of these (16 bytes each, latitude first).

struct GeoPoint {
  double lat = 0.0;
  double lon = 0.0;
};
