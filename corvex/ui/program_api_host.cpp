#include "corvex/ui/program_api_host.h"

#include <cmath>

#include "gps/ui/nav_arrow.h"
#include "gps/ui/navigation_data.h"
#include "gps/ui/navigation_wnd.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"

bool CProgramApiHost::GetNavigationTarget(CApiNavigationTarget& target) {
  for (CNavigationWnd* pane = CDataPane::FindNextDataWnd<CNavigationWnd>(); pane;
       pane = CDataPane::FindNextDataWnd<CNavigationWnd>(pane)) {
    CObjWaypoint* mark = pane->target();
    if (!mark) continue;
    target.target = mark;
    target.route = pane->route();
    target.lat = mark->position.lat;
    target.lon = mark->position.lon;
    target.distance_nm = static_cast<float>(pane->distance());
    target.bearing_deg = static_cast<float>(pane->bearing());
    // The pane shows ">>" (steer to the right) while the vessel is left of the track.
    const double cross_track = std::abs(pane->cross_track());
    target.cross_track_nm = static_cast<float>(pane->left_of_track() ? cross_track : -cross_track);
    target.closing_speed_kn = static_cast<float>(pane->vmg());
    target.name = mark->name;
    return true;
  }
  return false;
}

bool CProgramApiHost::ShowGotoMark(CObjWaypoint& mark) {
  const bool figures = CNavigationData::ShowGotoMark(&mark) != nullptr;
  const bool arrow = CNavArrow::ShowGotoMark(&mark) != nullptr;
  return arrow || figures;
}

bool CProgramApiHost::ShowFollowRoute(CObjRoute& route) {
  const bool figures = CNavigationData::ShowFollowRoute(&route) != nullptr;
  const bool arrow = CNavArrow::ShowFollowRoute(&route) != nullptr;
  return arrow || figures;
}
