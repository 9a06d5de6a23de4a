#pragma once
// The heart rate recorded with a track along its length, beats per minute.
#include "gps/ui/data_profile_wnd.h"

class CObjTrack;

class CHeartrateProfileWnd : public CDataProfileWnd {
 public:
  static constexpr char kSettingsKey[] = "heartprof_wnd";
  static constexpr char kSeriesName[] = "Heart Rate";

  explicit CHeartrateProfileWnd(COstrelObject* track);

  // The pane of this kind bound to the track, or a new one; null without a track.
  static CHeartrateProfileWnd* Show(CObjTrack* track);

  void RefreshSeries() override;
};
