#pragma once
// The object of a list of owned objects whose chosen position lies nearest a position, in a
// flat plane centred on that position. position_of gives an object's position, or nothing for
// an object to pass over. Null when no object has one.
#include <limits>
#include <optional>

#include "geodesy/geo_point.h"
#include "geodesy/local_projection.h"

template <class List, class PositionOf>
auto NearestObject(const List& list, double latitude, double longitude, PositionOf position_of)
    -> decltype(list.front().get()) {
  CLocalProjection plane;
  plane.SetOrigin(latitude, longitude);
  decltype(list.front().get()) best = nullptr;
  double best_distance = std::numeric_limits<double>::infinity();
  for (const auto& object : list) {
    const std::optional<GeoPoint> position = position_of(*object);
    if (!position) continue;
    const double distance = plane.DistanceSquared(position->lat, position->lon);
    if (distance < best_distance) {
      best_distance = distance;
      best = object.get();
    }
  }
  return best;
}
