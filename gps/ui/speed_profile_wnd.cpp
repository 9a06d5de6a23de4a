#include "gps/ui/speed_profile_wnd.h"

#include "overlays/obj_track.h"

CSpeedProfileWnd::CSpeedProfileWnd(COstrelObject* track)
    : CDataProfileWnd(track, kSettingsKey) {
  series_name_ = kSeriesName;
}

CSpeedProfileWnd* CSpeedProfileWnd::Show(CObjTrack* track) {
  return ShowFor<CSpeedProfileWnd>(track);
}

void CSpeedProfileWnd::RefreshSeries() {
  double factor = 1.0;
  if (const CAppCommon* app = CAppCommon::Instance()) {
    std::string distance_unit;
    factor = app->GetSpeedUnit(distance_unit, unit_);
  }
  FillTrackSeries(&CObjTrack::SampleSpeed, factor);
  CDataProfileWnd::RefreshSeries();
}
