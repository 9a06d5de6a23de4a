#pragma once
// The steering arrow pane: a dark blue arrow pointing from the vessel's course to the target
// (up: straight on) and, while a turn after the next route point is known, a small light blue
// arrow pointing along the turn.
#include "gps/ui/navigation_wnd.h"

class CNavArrow : public CNavigationWnd {
 public:
  static constexpr int kPaneId = 162395;
  static constexpr char kSettingsKey[] = "nav_arrow";
  static constexpr vd::ui::ColourRef kArrowColour = vd::ui::MakeColourRef(0, 0, 150);
  static constexpr vd::ui::ColourRef kTurnColour = vd::ui::MakeColourRef(128, 127, 250);
  // The turn arrow's size, per cent of the main arrow's.
  static constexpr int kTurnArrowPercent = 35;

  CNavArrow();

  // Find or make the pane, bind the mark (or route), refresh and show it; null when no pane
  // could be shown.
  static CNavArrow* ShowGotoMark(CObjWaypoint* mark);
  static CNavArrow* ShowFollowRoute(CObjRoute* route);

  void Draw(vd::ui::Surface& dc) override;
};
