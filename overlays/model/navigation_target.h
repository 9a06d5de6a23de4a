#pragma once
// The mark manager's navigation target: the mark or route being navigated to and the steering
// quantities of the last fix. After every change the manager fires Listener<NavigationTarget>
// with the record; the navigation panes read it.
#include "geodesy/local_projection.h"
#include "overlays/model/data_speed_direction.h"

class COverlayMark;
class COverlayRoute;

struct NavigationTarget {
  static constexpr double kNoBearing = 1000.0;

  COverlayMark* mark = nullptr;    // navigating to a mark
  COverlayRoute* route = nullptr;  // navigating along a route
  COverlayMark* point = nullptr;   // the current target point (the mark, or a route point)
  COverlayMark* leg_start = nullptr;  // the route point the current leg starts at
  CLocalProjection plane;             // centred on the target point
  EastNorth offset;                   // from the fix to the target, metres
  double distance = 0.0;              // metres
  double leg_length = 0.0;            // from the leg's start point to the target, metres
  double distance_to_route_end = 0.0; // from the target point on along the route, metres
  UnitVector direction;               // towards the target; zero within 5 m
  double bearing = kNoBearing;        // degrees true

  bool HasTarget() const { return mark != nullptr || route != nullptr; }
};
