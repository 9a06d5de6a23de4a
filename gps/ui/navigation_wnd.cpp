#include "gps/ui/navigation_wnd.h"

#include <cmath>
#include <cstdlib>

#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"

namespace {

constexpr double kDegreesToRadians = M_PI / 180.0;
constexpr double kArrowScale = 0.01;

void ArrowDirection(double angle_degrees, double& sin_out, double& cos_out) {
  sin_out = std::sin(angle_degrees * kDegreesToRadians) * kArrowScale;
  cos_out = std::cos(angle_degrees * kDegreesToRadians) * kArrowScale;
}

}  // namespace

CNavigationWnd::CNavigationWnd(int pane_id, std::string settings_key,
                               const Placement& placement, int context_menu_id)
    : CDataPane(pane_id, std::move(settings_key), placement, context_menu_id) {}

void CNavigationWnd::BindMark(CObjWaypoint* mark) {
  route_ = nullptr;
  next_mark_ = nullptr;
  turn_known_ = false;
  cross_track_ = 0.0;
  target_ = mark;
  BindVesselOf(mark);
}

void CNavigationWnd::BindRoute(CObjRoute* route) {
  target_ = nullptr;
  next_mark_ = nullptr;
  turn_known_ = false;
  route_ = route;
  BindVesselOf(route);
}

void CNavigationWnd::BindVesselOf(COstrelObject* object) {
  if (object == nullptr) return;
  if (auto* document = dynamic_cast<CCurrentPositionDocument*>(object->document())) {
    vessel_ = document->PeekCurrentPosition();
  }
}

void CNavigationWnd::Update(COstrelObject* object, int hint) {
  if (object == nullptr) return;
  if (hint == kChangeDeleted) {
    if (object == vessel_) vessel_ = nullptr;
    if (object == route_) {
      route_ = nullptr;
      target_ = nullptr;
      next_mark_ = nullptr;
      turn_known_ = false;
    } else if (object == target_) {
      target_ = nullptr;
    }
    if (object == next_mark_) {
      next_mark_ = nullptr;
      turn_known_ = false;
    }
    if (route_ == nullptr && target_ == nullptr) DestroyWindow();
    return;
  }
  if (hint != kChangeModified) return;
  // The vessel may have come into being after the pane was bound.
  if (vessel_ == nullptr) BindVesselOf(route_ != nullptr ? static_cast<COstrelObject*>(route_)
                                                         : static_cast<COstrelObject*>(target_));
  if (object != target_ && object != route_ && object != vessel_) return;
  Recompute();
  SetPaneTitle(Title());
  OnRecomputed();
  update();
}

void CNavigationWnd::Refresh() {
  if (route_ != nullptr) {
    Update(route_, kChangeModified);
  } else {
    Update(target_, kChangeModified);
  }
}

std::string CNavigationWnd::Title() const {
  std::string title;
  if (route_ != nullptr) title = route_->name + ": ";
  if (target_ != nullptr) title += target_->name;
  return title;
}

double CNavigationWnd::VesselHeading() const {
  if (vessel_ == nullptr) return 0.0;
  return vessel_->HasHeading() ? vessel_->heading : vessel_->course;
}

void CNavigationWnd::Recompute() {
  if (vessel_ == nullptr || !vessel_->valid) return;
  const CLatLon here(vessel_->position.lat, vessel_->position.lon);
  const double speed = vessel_->speed;
  const double course = vessel_->course;

  if (route_ != nullptr) {
    double cross_track = 0.0;
    double leg_bearing = 0.0;
    bool left = false;
    CObjWaypoint* next = nullptr;
    if (CObjWaypoint* mark = route_->ComputeLegs(here, cross_track, left, leg_bearing, next)) {
      target_ = mark;
      cross_track_ = cross_track;
      left_of_track_ = left;
      leg_bearing_ = leg_bearing;
      next_mark_ = next;
    }
    turn_known_ = false;
    if (speed > kMinimumSpeed && next_mark_ != nullptr) {
      here.DistanceAndBearingTo(next_mark_->position, turn_distance_, turn_bearing_);
      ArrowDirection(turn_bearing_ - course, turn_sin_, turn_cos_);
      turn_known_ = true;
    }
  }
  if (target_ == nullptr) return;
  here.DistanceAndBearingTo(target_->position, distance_, bearing_);
  if (speed > kMinimumSpeed) ArrowDirection(bearing_ - course, arrow_sin_, arrow_cos_);
  vmg_ = speed > 0.0 ? speed * std::cos((bearing_ - course) * kDegreesToRadians) : 0.0;
}

int CNavigationWnd::TurnAngle(double bearing, double heading) {
  int angle = static_cast<int>(std::lround(bearing - heading));
  if (angle < -180) angle += 360;
  if (angle > 180) angle -= 360;
  return angle;
}

std::string CNavigationWnd::FormatTurn(int angle) {
  return std::to_string(std::abs(angle)) + "°" + (angle < 0 ? "<" : ">");
}
