#pragma once
// The base of the two navigation panes (steering arrow, navigation figures): binds the pane to
// a target mark or to a followed route, and to the own-vessel object of the target's document,
// and recomputes the navigation values from the vessel's latest fix whenever one of them
// changes (change code 2).
//
// Distances are nautical miles, bearings and angles degrees true, speeds knots.
#include <string>

#include "gps/ui/data_pane.h"
#include "overlays/lat_lon.h"

class CObjCurrentPosition;
class CObjRoute;
class CObjWaypoint;

class CNavigationWnd : public CDataPane {
 public:
  // Speeds at or below this leave the arrow directions as they were.
  static constexpr double kMinimumSpeed = 0.1;

  CNavigationWnd(int pane_id, std::string settings_key, const Placement& placement,
                 int context_menu_id = 0);

  // 1: the deleted target is dropped; a deleted route drops route and target; a pane left
  // with neither destroys itself. 2 for the target, the route or the vessel: recompute,
  // title, repaint. Others are ignored.
  void Update(COstrelObject* object, int hint) override;

  // Binds a mark to go to (the route is cleared) or a route to follow (the mark is cleared),
  // and the own vessel of its document.
  void BindMark(CObjWaypoint* mark);
  void BindRoute(CObjRoute* route);

  CObjWaypoint* target() const { return target_; }
  CObjRoute* route() const { return route_; }
  CObjCurrentPosition* vessel() const { return vessel_; }
  // While following a route: the route point after the target.
  CObjWaypoint* next_mark() const { return next_mark_; }

  // ---- Computed values ----
  double distance() const { return distance_; }
  double bearing() const { return bearing_; }
  double arrow_sin() const { return arrow_sin_; }  // sin(bearing - course) x 0.01
  double arrow_cos() const { return arrow_cos_; }
  double vmg() const { return vmg_; }
  double cross_track() const { return cross_track_; }
  bool left_of_track() const { return left_of_track_; }
  double leg_bearing() const { return leg_bearing_; }
  bool turn_known() const { return turn_known_; }
  double turn_distance() const { return turn_distance_; }
  double turn_bearing() const { return turn_bearing_; }
  double turn_sin() const { return turn_sin_; }
  double turn_cos() const { return turn_cos_; }

  // bearing - heading in whole degrees within -180..180: negative turns left.
  static int TurnAngle(double bearing, double heading);
  // "%d°%c": the angle's size and '<' for a left turn, '>' otherwise.
  static std::string FormatTurn(int angle);

 protected:
  // Change code 2 for the route, else the target.
  void Refresh();
  // Recomputes from the vessel's fix; nothing without a valid fix.
  void Recompute();
  // After a change code 2 has recomputed the values and set the title.
  virtual void OnRecomputed() {}
  // The heading the turn angles refer to: the vessel's heading, its course without one.
  double VesselHeading() const;

  // Finds the pane of class Pane or makes one, binds the mark or the route, refreshes it and
  // shows it; null when no pane could be shown.
  template <class Pane>
  static Pane* ShowFor(CObjWaypoint* mark, CObjRoute* route);

 private:
  void BindVesselOf(COstrelObject* object);
  std::string Title() const;

  CObjWaypoint* target_ = nullptr;
  CObjRoute* route_ = nullptr;
  CObjCurrentPosition* vessel_ = nullptr;

  double distance_ = 0.0;
  double bearing_ = 0.0;
  // Straight up until a direction is known.
  double arrow_sin_ = 0.0;
  double arrow_cos_ = 0.01;
  double vmg_ = 0.0;
  double cross_track_ = 0.0;
  bool left_of_track_ = false;
  double leg_bearing_ = 0.0;
  CObjWaypoint* next_mark_ = nullptr;
  bool turn_known_ = false;
  double turn_distance_ = 0.0;
  double turn_bearing_ = 0.0;
  double turn_sin_ = 0.0;
  double turn_cos_ = 0.01;
};

template <class Pane>
Pane* CNavigationWnd::ShowFor(CObjWaypoint* mark, CObjRoute* route) {
  Pane* pane = FindNextDataWnd<Pane>();
  if (pane == nullptr) {
    pane = new Pane;
    if (!pane->CreatePane("", nullptr)) {
      pane->DestroyWindow();
      return nullptr;
    }
  }
  if (route != nullptr) {
    pane->BindRoute(route);
  } else {
    pane->BindMark(mark);
  }
  pane->Refresh();
  pane->ShowPane();
  return pane;
}
