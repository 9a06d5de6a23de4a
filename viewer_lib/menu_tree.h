#pragma once
// The action sheets of the viewer's lists (the list menus and their sort sheet): an
// action-sheet menu whose items may carry submenus, deleted through the base.
#include "core/ui/action_sheet_menu.h"

class CMenuTree : public CActionSheetMenu {
 public:
  using CActionSheetMenu::CActionSheetMenu;
  ~CMenuTree() override = default;
};
