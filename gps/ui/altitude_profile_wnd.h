#pragma once
// The GPS altitude of a track along its length, in the user's height unit.
#include "gps/ui/data_profile_wnd.h"

class CObjTrack;

class CAltitudeProfileWnd : public CDataProfileWnd {
 public:
  static constexpr char kSettingsKey[] = "altprof_wnd";
  static constexpr char kSeriesName[] = "Altitude";

  explicit CAltitudeProfileWnd(COstrelObject* track);

  // The pane of this kind bound to the track, or a new one; null without a track.
  static CAltitudeProfileWnd* Show(CObjTrack* track);

  void RefreshSeries() override;
};
