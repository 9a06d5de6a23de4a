#pragma once
// The action sheets of routes of the newer model: the route sheet (a long tap on a route point,
// or on the route, which goes to its last point), and from it the route operations sheet, the
// routing sheet and the route point sheet.
#include <memory>

#include "core/ui/action_sheet_menu.h"

class COverlayMark;
class COverlayRoute;

class CRouteActionSheet {
 public:
  // Follow the route, cancel the navigation, delete the route, the two sheets below.
  static std::unique_ptr<CActionSheetMenu> Build(COverlayMark& point);
  // Reverse, optimise, convert to a track, download chart data along or inside the route.
  static std::unique_ptr<CActionSheetMenu> BuildOperations(COverlayRoute& route);
  // Road routing for walking, cycling or driving, and "revert".
  static std::unique_ptr<CActionSheetMenu> BuildRouting(COverlayRoute& route);
  // Delete the point, go to it, insert points after it, split the route there, open its link,
  // and for a first point, join the route onto the route ending nearest it.
  static std::unique_ptr<CActionSheetMenu> BuildPoint(COverlayMark& point);

  // Each builds its sheet, shows it and runs the row chosen; false when none was. Opening the
  // operations sheet first ends the creation of a route by tapping.
  static bool Open(COverlayMark& point);
  static bool OpenOperations(COverlayRoute& route);
  static bool OpenRouting(COverlayRoute& route);
  static bool OpenPoint(COverlayMark& point);

  // Another live route with points whose last point lies nearest the point, or null.
  static COverlayRoute* RouteToJoinOnto(const COverlayMark& point);
};
