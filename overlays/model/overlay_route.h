#pragma once
// A route of the newer overlay model: an ordered list of marks drawn as one line, owned by the
// mark manager. Built by tapping, reversed, split, joined and navigated along its legs.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "geodesy/local_projection.h"
#include "overlays/model/data_speed_direction.h"
#include "overlays/model/overlay_mark.h"
#include "overlays/model/overlay_object.h"
#include "overlays/model/syncable.h"

class COverlayTrack;

// One leg of a route for navigation, in the route's leg plane.
struct RouteLeg {
  EastNorth start;
  EastNorth end;
  UnitVector direction;
  double length = 0.0;
  COverlayMark* start_mark = nullptr;
  COverlayMark* end_mark = nullptr;
  double distance_to_end = 0.0;  // the lengths of the later legs
  // Per fix.
  bool beside = false;
  double cross_squared = 0.0;

  // The point test of one leg, with a point of the leg plane: beside when the point is not
  // behind the leg's start line, seen along the leg's direction, or along the sum of the
  // previous leg's direction and this one's when previous is given (the leg's end is not
  // tested). Only a point beside stores its squared distance from the leg's line. Returns
  // beside.
  bool DistanceSquaredTo(const EastNorth& point, const UnitVector* previous = nullptr);
};
// The segment table's name for a leg.
using RouteSegment = RouteLeg;

// What FindLeg gives for a position.
struct RouteLegMatch {
  COverlayMark* target = nullptr;     // the leg's end (the first point when no leg qualifies)
  COverlayMark* leg_start = nullptr;  // null when no leg qualifies
  double distance_to_end = 0.0;       // from the target to the route's end, metres
};

class COverlayRoute : public COverlayObject, public CSyncable {
 public:
  static constexpr int32_t kTypeId = 40;
  static const CSerializable::TypeOf<COverlayRoute> cType;
  static constexpr uint32_t kMaxCount = 10'000'000;
  static constexpr double kMinLegLength = 3.0;  // metres

  // No points, colour default_wp_color2, width 2, solid.
  COverlayRoute();
  ~COverlayRoute() override;
  COverlayRoute(const COverlayRoute&) = delete;
  COverlayRoute& operator=(const COverlayRoute&) = delete;

  bool Serialize(CSerializableStream& stream) override;
  int32_t GetTypeId() const override { return kTypeId; }

  // Metres along straight lines in one flat plane at the first point; 0 below 2 points.
  double GetLength() const;
  // Forgets the pending action of this route, deletes the points, stops navigation along it and
  // its creation, empties the texts.
  void Clear();
  // Alias for re-reading: the same as Clear.
  void Reset() { Clear(); }
  // Code 0 first empties the cached legs; the route, then each point, announces the code.
  void AnnounceAll(int32_t code);
  // Deletion record: deleted, cleared, announced going away.
  void Delete();
  // Inserts a point (kind kRoutePoint, parent this) at index (clamped to the end); returns it.
  COverlayMark* InsertPoint(std::unique_ptr<COverlayMark> point, size_t index);
  // A route of 2 points or fewer is deleted as a whole; otherwise the point is destroyed.
  void RemovePoint(COverlayMark* mark);
  void Reverse();
  void NameFromEnds();
  // The new "-split" route (appended to the mark manager), or null when mark is not a point of
  // this route or there is no manager.
  COverlayRoute* SplitAt(COverlayMark* mark);
  // Appends the other route's points (its first one left out when it coincides with this
  // route's end) and deletes the other route.
  void Join(COverlayRoute& other);
  // (longitude, latitude) of every point, appended in order.
  void GetPoints(std::vector<std::pair<double, double>>& list) const;
  void AppendToTrack(COverlayTrack& track) const;
  // The legs between the points (steps of 3 m or less merged into the next leg), in a plane
  // centred on the middle of the route's extent, each with the length of the legs after it;
  // the number of legs. Under 2 points there are none (and no stale ones are kept).
  size_t BuildLegs();
  size_t BuildSegmentTable() { return BuildLegs(); }
  RouteLegMatch FindLeg(double latitude, double longitude);
  // The index of mark in the list, or points.size().
  size_t IndexOf(const COverlayMark* mark) const;

  void Project(CScreenPoints& points, const ChartViewGeoref& georef) override;
  void Draw(vd::ui::Surface& dc, const CScreenTransform& view,
            const CScreenPoints& points) override;
  bool IsLive() const override { return live; }
  bool OnTap(float x, float y, const GeoPoint& position) override;
  bool OnLongTap(float, float, const GeoPoint&) override { return false; }
  bool OnKey(int32_t code, int32_t data) override;
  bool ExtendBounds(CGeoBounds& box) const override;
  bool WriteGPX(std::string& out) const override;
  // The line style extension shared with tracks.
  static void WriteLineStyle(std::string& out, uint32_t colour, float width, int32_t pattern);

  // Road routing (overlay_route_online.h): mode "walking", "bicycling" or "driving" rebuilds the
  // route along roads or trails; "revert" gives the route last optimised its earlier points,
  // name, description and type back. Refusals and failures are shown; true on success.
  static bool OptimiseOnline(COverlayRoute& route, const std::string& mode);

  // Adds a point at the tapped position while this route is being created; returns it.
  COverlayMark* AddTappedPoint(float x, float y, const GeoPoint& position);

  std::vector<std::unique_ptr<COverlayMark>> points;
  uint32_t colour;
  float width = 2.0f;
  int32_t pattern = 0;  // 0 Solid, 1 Dash, 2 Dot, 3 DashDot, 4 DashDotDot
  bool is_navigation = false;
  std::vector<RouteLeg> legs;
  CLocalProjection leg_plane;
  // Set by Project while this route is being created: drawn in the editing style.
  bool editing = false;
};
