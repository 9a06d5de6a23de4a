#pragma once
// An application with one document and an open elevation file of known heights, for tests of
// routes and tracks that read terrain heights. The terrain rises 10 m per grid column
// eastwards: height(x, y) = 100 + 10 x, on 12 x 8 samples 1/16 degree apart, north-west
// corner at 50 N 3 W, so At(x, y) has the height 100 + 10 x for 0 <= x < 11, 0 <= y < 7.
#include <string>
#include <utility>
#include <vector>

#include "charts/elevation_file.h"
#include "charts/tests/qed_fixture.h"
#include "core/persistent_value.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "tests/temp_dir.h"

namespace vd::test {

class ElevationApp : public FakeApp {
 public:
  const CElevationFile* GetElevationFile() const override { return file; }
  const CElevationFile* file = nullptr;
};

struct TerrainWorld {
  TerrainWorld() : owner(&doc) {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    terrain.cell_degrees = 0.0625;
    terrain.height = [](int x, int) { return 100 + 10 * x; };
    const std::string path = dir.path() + "/terrain.qed";
    if (WriteQedFile(path, terrain) && elevation.Open(path)) app.file = &elevation;
    app.document = &doc;
    app.default_route_point_colour = 0x123456;
    app.default_route_point_symbol = 3;
  }
  // Routes go first: a mark's destruction can make its route delete itself, which the
  // document's plain release loop would not expect.
  ~TerrainWorld() {
    ObjectList routes;
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(CObjRoute::kClass)) routes.push_back(object);
    }
    for (COstrelObject* route : routes) route->Delete(false);
    CObjRoute::SetCurrent(nullptr);
  }

  // The position of grid point (x, y).
  CLatLon At(double x, double y) const {
    const GeoPoint p = QedSamplePosition(terrain, x, y);
    return {p.lat, p.lon};
  }
  CObjWaypoint* Mark(const std::string& name, double x, double y) {
    CObjWaypoint* mark = doc.Add(new CObjWaypoint);
    mark->name = mark->short_name = name;
    mark->position = At(x, y);
    mark->being_placed = false;
    return mark;
  }
  // A track with a point per grid position, without times.
  CObjTrack* Track(const std::vector<std::pair<double, double>>& grid_points) {
    CObjTrack* track = doc.Add(new CObjTrack);
    for (const auto& [x, y] : grid_points) {
      const CLatLon p = At(x, y);
      track->AddPoint(p.lat, p.lon, 0, 0.0f, 0, 0);
    }
    track->RecomputeTotals();
    return track;
  }
  CObjRoute* Route(const std::vector<CObjWaypoint*>& marks) {
    CObjRoute* route = doc.Add(new CObjRoute);
    for (CObjWaypoint* mark : marks) route->LinkWaypoint(mark);
    route->EndEditing();
    return route;
  }

  TempDir dir;
  QedFixture terrain;
  CElevationFile elevation;
  ElevationApp app;
  FakeDoc doc;
  CCurrentOwnerScope owner;
};

}  // namespace vd::test
