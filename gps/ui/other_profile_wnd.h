#pragma once
// The extra measurement a track carries (cadence, say) along its length, named by the track;
// without a unit.
#include "gps/ui/data_profile_wnd.h"

class CObjTrack;

class COtherProfileWnd : public CDataProfileWnd {
 public:
  static constexpr char kSettingsKey[] = "otherprof_wnd";

  explicit COtherProfileWnd(COstrelObject* track);

  // The pane of this kind bound to the track, or a new one; null without a track or when the
  // track names no extra measurement.
  static COtherProfileWnd* Show(CObjTrack* track);

  void RefreshSeries() override;
};
