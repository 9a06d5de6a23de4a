#include "core/ui/action_sheet_menu.h"

#include "platform/ui/popup_menu.h"

namespace {

using Items = std::vector<std::unique_ptr<CActionSheetItem>>;

// Adds the items to the menu with ids from 1 in the order met; `chosen` maps an id back.
void FillMenu(vd::ui::PopupMenu& menu, const Items& items, std::vector<CActionSheetItem*>& chosen) {
  for (const auto& item : items) {
    if (item->data() == CActionSheetMenu::kRowHidden) continue;
    if (!item->children().empty()) {
      FillMenu(menu.AppendSubmenu(item->text()), item->children(), chosen);
      continue;
    }
    chosen.push_back(item.get());
    unsigned flags = 0;
    if (item->data() == CActionSheetMenu::kRowDisabled) flags |= vd::ui::PopupMenu::kDisabled;
    if (item->data() == CActionSheetMenu::kRowSelected) flags |= vd::ui::PopupMenu::kChecked;
    menu.AppendItem(static_cast<int>(chosen.size()), item->text(), flags);
  }
}

}  // namespace

CActionSheetMenu::CActionSheetMenu(std::string title, void* data, const CActionSheetRow* rows,
                                   int count)
    : title_(std::move(title)), data_(data) {
  for (int i = 0; rows && i < count; ++i) {
    AddItem(rows[i].text ? rows[i].text : "", rows[i].callback, rows[i].data, nullptr);
  }
}

void CActionSheetMenu::AddItem(std::string text, void (*callback)(void*), uintptr_t data,
                               void* argument) {
  items_.push_back(
      std::make_unique<CActionSheetItemT<void*>>(std::move(text), data, callback, argument));
}

void CActionSheetMenu::AddFunction(std::string text, std::function<void()> callable) {
  items_.push_back(std::make_unique<CActionSheetFunc>(std::move(text), std::move(callable)));
}

bool CActionSheetMenu::Track(QWidget* owner, QPoint screen_pos) const {
  if (!enabled_) return false;
  vd::ui::PopupMenu menu;
  if (!title_.empty()) {
    menu.AppendItem(-1, title_, vd::ui::PopupMenu::kDisabled);
    menu.AppendSeparator();
  }
  std::vector<CActionSheetItem*> chosen;
  FillMenu(menu, items_, chosen);
  const int id = menu.Track(owner, screen_pos);
  if (id <= 0 || static_cast<size_t>(id) > chosen.size()) return false;
  chosen[static_cast<size_t>(id) - 1]->Invoke();
  return true;
}
