#pragma once
// The speed along a track (its filtered leg speeds), in the user's speed unit.
#include "gps/ui/data_profile_wnd.h"

class CObjTrack;

class CSpeedProfileWnd : public CDataProfileWnd {
 public:
  static constexpr char kSettingsKey[] = "speedprof_wnd";
  static constexpr char kSeriesName[] = "Speed";

  explicit CSpeedProfileWnd(COstrelObject* track);

  // The pane of this kind bound to the track, or a new one; null without a track.
  static CSpeedProfileWnd* Show(CObjTrack* track);

  void RefreshSeries() override;
};
