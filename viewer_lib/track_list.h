#pragma once
// The pieces of the track manager's list (it has no delegate of its own): the sheet "Tracks
// menu" and the text of a track's row.
#include <memory>

#include "core/ui/action_sheet_menu.h"
#include "viewer_lib/overlay_list_delegate.h"

class COverlayTrack;

class CTrackList {
 public:
  // Deletes, saves, loads, shows or hides all tracks, makes them syncable or not, sorts and
  // syncs; questions, choosers and the sync have owner as their parent.
  static std::unique_ptr<CActionSheetMenu> BuildListMenu(QWidget* owner);
  // Title: the name. Detail: "Empty track" without points, else the creation date, the length
  // and the duration; the flag is clear.
  static void GetRowText(COverlayTrack& track, COverlayListRow& row);
};
