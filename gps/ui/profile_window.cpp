#include "gps/ui/profile_window.h"

#include <algorithm>

#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/numbers.h"
#include "platform/ui/surface.h"

CProfileWindow::CProfileWindow(COstrelObject* object) : CDataProfileWnd(object, kSettingsKey) {
  series_name_ = kSeriesName;
}

CProfileWindow::CProfileWindow(CObjRoute* route, int first, int last)
    : CDataProfileWnd(route, std::string()), first_(first), last_(last) {
  series_name_ = kSeriesName;
  partial_ = true;
}

CProfileWindow* CProfileWindow::Show(COstrelObject* object) {
  if (object == nullptr ||
      !(object->IsKindOf(CObjRoute::kClass) || object->IsKindOf(CObjTrack::kClass))) {
    return nullptr;
  }
  return ShowFor<CProfileWindow>(object);
}

void CProfileWindow::RefreshSeries() {
  if (ResetSamples()) {
    if (CObjRoute* route = ObjectAs<CObjRoute>()) {
      route->SamplePositionsBetween(samples_, first_, last_);
      total_length_ = route->DistanceBetween(first_, last_);
    } else if (CObjTrack* track = ObjectAs<CObjTrack>()) {
      track->SamplePositions(samples_);
      total_length_ = track->total_distance;
    } else {
      samples_.clear();
    }
    ScaleValues(HeightUnit(unit_));
  }
  CDataProfileWnd::RefreshSeries();
}

void CProfileWindow::DrawExtras(vd::ui::Surface& dc) {
  const int last = static_cast<int>(samples_.size()) - 1;
  const unsigned old_align = dc.SetTextAlign(vd::ui::kTextAlignCenter | vd::ui::kTextAlignBottom);
  dc.SelectPen({vd::ui::LineStyle::Solid, 0, kMarkColour});
  for (int i = 0; i <= last; ++i) {
    const ProfileSample& sample = samples_[static_cast<size_t>(i)];
    if (sample.mark == nullptr) continue;
    const vd::ui::Point top = PointForIndex(i);
    dc.MoveTo({top.x, plot().bottom});
    dc.LineTo(top);
    if (!waypoint_labels || sample.mark->label_mode == CObjWaypoint::kLabelSymbolOnly) continue;
    const unsigned horizontal = i == 0      ? vd::ui::kTextAlignLeft
                                : i == last ? vd::ui::kTextAlignRight
                                            : vd::ui::kTextAlignCenter;
    dc.SetTextAlign(horizontal | vd::ui::kTextAlignBottom);
    dc.TextOut({top.x, std::max(top.y - 2, font_height())},
               sample.mark->name + ", " + vd::os::FormatC("%.0f %s", sample.value, unit_.c_str()));
  }
  dc.SetTextAlign(old_align);
}
