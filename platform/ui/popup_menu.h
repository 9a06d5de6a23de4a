#pragma once
// A popup menu built at run time. Track shows it and returns the id of the item chosen, 0 when
// the menu is dismissed; the current Responder (responder.h) answers.
#include <memory>
#include <string>
#include <vector>

#include <QPoint>

class QWidget;

namespace vd::ui {

class PopupMenu {
 public:
  enum ItemFlags : unsigned { kChecked = 1, kDisabled = 2 };

  struct Item {
    int id = 0;  // 0 for separators and submenus
    std::string text;
    unsigned flags = 0;
    std::unique_ptr<PopupMenu> submenu;
    bool separator = false;
  };

  // id must not be 0: 0 means "nothing chosen".
  void AppendItem(int id, const std::string& text, unsigned flags = 0);
  void AppendSeparator();
  // The new submenu, to be filled by the caller.
  PopupMenu& AppendSubmenu(const std::string& text);

  const std::vector<Item>& items() const { return items_; }
  bool empty() const { return items_.empty(); }
  // The enabled item with this id, here or in a submenu; null when there is none.
  const Item* FindEnabledItem(int id) const;
  // The first item with this id, enabled or not, here or in a submenu (to change its text or
  // state before the menu shows); null when there is none.
  Item* FindItem(int id);

  // Shows the menu at a screen position; the chosen id, or 0. An answer that names no enabled
  // item counts as 0.
  int Track(QWidget* owner, QPoint screen_pos) const;

 private:
  std::vector<Item> items_;
};

}  // namespace vd::ui
