#include "gps/ui/heartrate_profile_wnd.h"

#include "overlays/obj_track.h"

CHeartrateProfileWnd::CHeartrateProfileWnd(COstrelObject* track)
    : CDataProfileWnd(track, kSettingsKey) {
  series_name_ = kSeriesName;
}

CHeartrateProfileWnd* CHeartrateProfileWnd::Show(CObjTrack* track) {
  return ShowFor<CHeartrateProfileWnd>(track);
}

void CHeartrateProfileWnd::RefreshSeries() {
  unit_ = "bpm";
  FillTrackSeries(&CObjTrack::SampleHeartRate, 1.0);
  CDataProfileWnd::RefreshSeries();
}
