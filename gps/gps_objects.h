#pragma once
// What the GPS interfaces move between the document and a device: marks and routes as plain
// records (name and position), independent of the overlay objects that hold them.
#include <string>
#include <vector>

#include "geodesy/geo_point.h"

struct GpsMark {
  std::string name;  // UTF-8
  GeoPoint position;
};

struct GpsRoute {
  std::string name;
  std::vector<GpsMark> points;  // in route order; a mark may appear in several routes
};

// The visible marks and routes to send, or what a device delivered.
struct GpsObjectList {
  std::vector<GpsMark> marks;  // marks that no route uses
  std::vector<GpsRoute> routes;
};
