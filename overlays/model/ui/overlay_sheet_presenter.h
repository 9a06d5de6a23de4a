#pragma once
// The action sheets of the newer overlay model shown as popup menus at the pointer: the
// presenter a program installs so that a long tap on a mark, route point or track opens its
// sheet.
#include "overlays/model/overlay_sheets.h"

class COverlaySheetPresenter : public COverlaySheets {
 public:
  bool OpenMarkSheet(COverlayMark& mark) override;
  bool OpenTrackSheet(CTrackSection& section) override;

  // The presenter every program installs at start-up.
  static COverlaySheetPresenter& Global();
};
