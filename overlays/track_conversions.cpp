// Turning a track into a route of new marks and a route into a track.
#include <vector>

#include "app/app_common.h"
#include "geodesy/degree_length.h"
#include "geodesy/plane_geometry.h"
#include "overlays/make_in_document.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/undo_ring.h"
#include "platform/os/numbers.h"

namespace {

// Squared degrees of latitude per squared metre of update distance: the simplification keeps
// the route within four update distances of the track, at 60 x 1852 metres per degree.
constexpr double kSquaredToleranceFactor = 1.2957926648805461e-9;

}  // namespace

CObjRoute* CObjTrack::ConvertToRoute() {
  if (points_.size() < 2) return nullptr;
  COstrelDocBase* doc = document();
  CCurrentOwnerScope owner(doc);
  CObjRoute* route = MakeInDocument<CObjRoute>(doc);
  if (!route) return nullptr;
  SaveUndoForPair(this, route);

  // The track's local plane: longitudes scaled to latitude degrees at the middle latitude.
  double min_lat, max_lat, min_lon, max_lon;
  GetBounds(min_lat, max_lat, min_lon, max_lon);
  const double middle = (min_lat + max_lat) / 2;
  const double lat_length = LatDegreeLength(middle);
  const double lon_length = LonDegreeLength(middle);
  // At a pole a degree of longitude has no length; the points keep their longitudes there.
  const double r = lon_length > 0 && lat_length > 0 ? lon_length / lat_length : 1.0;
  std::vector<PlanePoint> plane;
  plane.reserve(points_.size());
  for (const CTrackpoint& point : points_) {
    plane.push_back({point.position.lon * r, point.position.lat});
  }
  const double metres = update_distance;
  const double tolerance = metres * metres * kSquaredToleranceFactor;
  const size_t kept = SimplifyPolyline(plane, tolerance);

  const CAppCommon* app = CAppCommon::Instance();
  for (size_t k = 0; k < kept; ++k) {
    CObjWaypoint* mark = MakeInDocument<CObjWaypoint>(doc);
    mark->SetCategory("Waypoints");
    mark->name = vd::os::FormatC("WP%02d", static_cast<int>(k + 1));
    mark->short_name = mark->name;
    mark->colour = app ? static_cast<uint32_t>(app->default_route_point_colour) : 0xff0000;
    mark->SetSymbol(app ? app->default_route_point_symbol : 0);
    mark->position = {plane[k].y, plane[k].x / r};
    mark->being_placed = false;
    mark->NotifyChange(kChangeModified);
    route->AppendWaypoint(mark);
  }
  if (closed) route->AppendWaypoint(route->points().front());
  route->RecomputeLength();
  route->NotifyChange(kChangeModified);
  SetVisible(false);
  NotifyChange(kChangeEditState);  // the explorer's tick and the views follow the hiding
  return route;
}

CObjTrack* CObjRoute::ConvertToTrack() {
  CObjTrack* track = MakeInDocument<CObjTrack>(document());
  if (!track) return nullptr;
  SaveUndoForPair(this, track);
  for (const CObjWaypoint* mark : points_) {
    track->AddPoint(mark->position.lat, mark->position.lon, 0, 0.0f, 0, 0);
  }
  track->closed = IsClosed();
  track->RecomputeTotals();
  track->NotifyChange(kChangeModified);
  SetVisible(false);
  NotifyChange(kChangeEditState);  // the explorer's tick and the views follow the hiding
  return track;
}
