#include "gps/ui/altitude_profile_wnd.h"

#include "overlays/obj_track.h"

CAltitudeProfileWnd::CAltitudeProfileWnd(COstrelObject* track)
    : CDataProfileWnd(track, kSettingsKey) {
  series_name_ = kSeriesName;
}

CAltitudeProfileWnd* CAltitudeProfileWnd::Show(CObjTrack* track) {
  return ShowFor<CAltitudeProfileWnd>(track);
}

void CAltitudeProfileWnd::RefreshSeries() {
  FillTrackSeries(&CObjTrack::SampleAltitude, HeightUnit(unit_));
  CDataProfileWnd::RefreshSeries();
}
