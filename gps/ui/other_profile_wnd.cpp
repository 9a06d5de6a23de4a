#include "gps/ui/other_profile_wnd.h"

#include "overlays/obj_track.h"

COtherProfileWnd::COtherProfileWnd(COstrelObject* track)
    : CDataProfileWnd(track, kSettingsKey) {}

COtherProfileWnd* COtherProfileWnd::Show(CObjTrack* track) {
  if (track == nullptr || track->other_label.empty()) return nullptr;
  return ShowFor<COtherProfileWnd>(track);
}

void COtherProfileWnd::RefreshSeries() {
  if (const CObjTrack* track = ObjectAs<CObjTrack>()) series_name_ = track->other_label;
  FillTrackSeries(&CObjTrack::SampleOtherValue, 1.0);
  CDataProfileWnd::RefreshSeries();
}
