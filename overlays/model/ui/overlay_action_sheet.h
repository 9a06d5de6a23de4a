#pragma once
// What the action sheets of the newer model's marks, routes and tracks share: each sheet is a
// static table of rows whose states are worked out for the object each time the sheet is built,
// and every row's operation is called with that object.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/ui/action_sheet_menu.h"

class COverlayActionSheet {
 public:
  struct Row {
    const char* text;
    void (*operation)(void* object);  // null: the row does nothing (editing rows)
  };

  // A sheet titled title with one item per row, in order; states[i] is row i's state
  // (CActionSheetMenu::kRowShown ... kRowHidden) and object every operation's argument.
  static std::unique_ptr<CActionSheetMenu> Build(const std::string& title,
                                                 std::span<const Row> rows,
                                                 std::span<const uintptr_t> states, void* object);
  // Shows the sheet at the pointer and runs the operation chosen; false when none was.
  static bool Show(const CActionSheetMenu& sheet);
  // A row's state: shown when the condition holds, else hidden.
  static uintptr_t ShownIf(bool condition) {
    return condition ? CActionSheetMenu::kRowShown : CActionSheetMenu::kRowHidden;
  }
};
