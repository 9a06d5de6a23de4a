// The chart view's side of the 3D viewer: starting it on a point, a route or a track, and
// rendering chart areas into the textures it asks for.
#include <cmath>
#include <string>
#include <vector>

#include "charts/old_quick_chart.h"
#include "app/app_common.h"
#include "corvex/dds_file.h"
#include "corvex/lumex_handover.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/folders.h"
#include "platform/ui/image.h"
#include "platform/ui/message_box.h"

void COstrelView::LaunchTerrainViewer(const std::vector<CLatLon>& points) {
  const CAppCommon* app = CAppCommon::Instance();
  const std::string temp =
      app && !app->temp_folder.empty() ? app->temp_folder : vd::os::TempFolder();
  const std::string program =
      app && !app->program_folder.empty() ? app->program_folder : vd::os::ProgramFolder();
  const CLumexLaunchResult result = LaunchLumex(GetChartPath(), points, temp, program);
  if (!result.started) {
    vd::ui::RunMessageBox(window_.DialogOwner(), result.message, "Corvex",
                          vd::ui::kMbOk | vd::ui::kMbIconError);
  }
}

void COstrelView::On3DWorld() {
  double lat = 0, lon = 0;
  if (!HasGeoreferencedChart() || !GetCentreLatLon(lat, lon)) return;
  LaunchTerrainViewer({CLatLon(lat, lon)});
}

void COstrelView::OnFlyThrough(int id) {
  COstrelObject* current = CurrentObject();
  std::vector<CLatLon> points;
  if (id == kCmdRouteFlyThrough && current && current->IsKindOf(CObjRoute::kClass)) {
    for (const CObjWaypoint* mark : static_cast<CObjRoute*>(current)->points()) {
      points.push_back(mark->position);
    }
  } else if (id == kCmdTrackFlyThrough && current && current->IsKindOf(CObjTrack::kClass)) {
    for (const CTrackpoint& point : static_cast<CObjTrack*>(current)->points()) {
      points.push_back(point.position);
    }
  } else {
    return;
  }
  if (auto* doc = dynamic_cast<COstrelDoc*>(&document_)) doc->set_fly_through_object(current);
  LaunchTerrainViewer(points);
}

bool COstrelView::RenderAreaToDDS(const std::string& path, int zoom_shift, int x, int y,
                                  int width, int height) {
  // Never magnified: a smaller area at shift 0 instead.
  if (zoom_shift < 0) {
    return RenderAreaToDDS(path, 0, x, y, width >> -zoom_shift, height >> -zoom_shift);
  }
  if (!chart_ || width <= 0 || height <= 0) return false;
  // No tile job may read the chart while it renders.
  FlushTiles();
  vd::ui::Image image(width, height, 0xFF000000);
  chart_->RenderArea(image.Row(0), width, {0, 0, width, height}, zoom_shift, x, y);
  DrawOverlaysOnImage(image, {std::ldexp(1.0, -zoom_shift), {x, y}}, 1);
  return WriteDdsFile(path, width, height, image.Row(0), width);
}
