#pragma once
// The action sheet of a free mark of the newer model (its long tap): go to it, cancel the
// navigation, start a route from it, open its link, delete it.
#include <memory>

#include "core/ui/action_sheet_menu.h"

class COverlayMark;

class CMarkActionSheet {
 public:
  static std::unique_ptr<CActionSheetMenu> Build(COverlayMark& mark);
  // Builds the sheet, shows it and runs the row chosen; false when none was.
  static bool Open(COverlayMark& mark);

  // Opens the mark's link through the shell (else with the desktop's handler).
  static void OpenLink(const COverlayMark& mark);
  // Asks "Delete Mark" (mentioning a locked mark) and deletes the mark, or route point, on Yes.
  static void AskDeleteMark(COverlayMark& mark);
};
