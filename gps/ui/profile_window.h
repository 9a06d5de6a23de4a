#pragma once
// The elevation profile: the terrain height under a route or track (from the open elevation
// file, 0 where it has none) along its length, in the user's height unit. On a route each
// mark stands on the profile as a blue line, labelled with its name and height when the mark
// shows its name.
#include "gps/ui/data_profile_wnd.h"

class CObjRoute;

class CProfileWindow : public CDataProfileWnd {
 public:
  static constexpr char kSettingsKey[] = "profile_wnd";
  static constexpr char kSeriesName[] = "Elevation";
  static constexpr vd::ui::ColourRef kMarkColour = vd::ui::MakeColourRef(0, 0, 255);

  // A pane over a whole route or track.
  explicit CProfileWindow(COstrelObject* object);
  // A pane over the route from point `first` to point `last` (the end for last < 0) that keeps
  // nothing in the profile and is never reused by Show: the route card draws it into a
  // picture (SetClientSize, SaveAsBitmap).
  CProfileWindow(CObjRoute* route, int first, int last);

  // The elevation pane of the route or track, or a new one; null for any other object.
  static CProfileWindow* Show(COstrelObject* object);

  void RefreshSeries() override;

 protected:
  void DrawExtras(vd::ui::Surface& dc) override;

 private:
  int first_ = 0;
  int last_ = -1;
};
