#pragma once
// The action sheet of a track of the newer model (a long tap on one of its sections, at the
// section's tapped point): split the track there, join it with the track nearest its end or its
// start, convert it to a route, delete it.
#include <memory>

#include "core/ui/action_sheet_menu.h"

class COverlayTrack;
class CTrackSection;

class CTrackActionSheet {
 public:
  static std::unique_ptr<CActionSheetMenu> Build(CTrackSection& section);
  // Builds the sheet, shows it and runs the row chosen; false when none was.
  static bool Open(CTrackSection& section);

  // Another track whose first point lies nearest the track's last point, or null.
  static COverlayTrack* TrackToAppend(const COverlayTrack& track);
  // Another track whose last point lies nearest the track's first point, or null.
  static COverlayTrack* TrackToJoinOnto(const COverlayTrack& track);
};
