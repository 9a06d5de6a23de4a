#include "platform/ui/popup_menu.h"

#include "platform/ui/responder.h"

namespace vd::ui {

void PopupMenu::AppendItem(int id, const std::string& text, unsigned flags) {
  items_.push_back(Item{id, text, flags, nullptr, false});
}

void PopupMenu::AppendSeparator() { items_.push_back(Item{0, "", 0, nullptr, true}); }

PopupMenu& PopupMenu::AppendSubmenu(const std::string& text) {
  items_.push_back(Item{0, text, 0, std::make_unique<PopupMenu>(), false});
  return *items_.back().submenu;
}

const PopupMenu::Item* PopupMenu::FindEnabledItem(int id) const {
  for (const Item& item : items_) {
    if (item.submenu) {
      if (const Item* found = item.submenu->FindEnabledItem(id)) return found;
    } else if (!item.separator && item.id == id && (item.flags & kDisabled) == 0) {
      return &item;
    }
  }
  return nullptr;
}

PopupMenu::Item* PopupMenu::FindItem(int id) {
  for (Item& item : items_) {
    if (item.submenu) {
      if (Item* found = item.submenu->FindItem(id)) return found;
    } else if (!item.separator && item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

int PopupMenu::Track(QWidget* owner, QPoint screen_pos) const {
  const int id = CurrentResponder().TrackPopupMenu(*this, owner, screen_pos);
  return id != 0 && FindEnabledItem(id) ? id : 0;
}

}  // namespace vd::ui
