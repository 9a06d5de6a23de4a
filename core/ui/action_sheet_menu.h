#pragma once
// An action-sheet menu: a title and a list of items, built from a table of rows and shown as
// a popup menu. The sheet tables pass each row's state as the item's data:
// kRowShown, kRowDestructive, kRowDisabled (shown, not selectable), kRowHidden, kRowSelected.
#include <QPoint>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ui/action_sheet_item.h"

class QWidget;

struct CActionSheetRow {
  const char* text;
  void (*callback)(void* argument);
  uintptr_t data;
};

class CActionSheetMenu {
 public:
  static constexpr uintptr_t kRowShown = 0;
  static constexpr uintptr_t kRowDestructive = 1;
  static constexpr uintptr_t kRowDisabled = 2;
  static constexpr uintptr_t kRowHidden = 3;
  static constexpr uintptr_t kRowSelected = 4;

  // One item per row, each calling its callback with a null argument; a null table adds
  // nothing.
  CActionSheetMenu(std::string title, void* data, const CActionSheetRow* rows, int count);
  virtual ~CActionSheetMenu() = default;
  CActionSheetMenu(const CActionSheetMenu&) = delete;
  CActionSheetMenu& operator=(const CActionSheetMenu&) = delete;

  void AddItem(std::string text, void (*callback)(void*), uintptr_t data, void* argument);
  void AddFunction(std::string text, std::function<void()> callable);

  const std::vector<std::unique_ptr<CActionSheetItem>>& items() const { return items_; }
  const std::string& title() const { return title_; }
  void* data() const { return data_; }
  bool enabled() const { return enabled_; }
  void set_enabled(bool enabled) { enabled_ = enabled; }

  // Shows the sheet as a popup menu (titled, hidden rows left out, children as submenus) and
  // invokes the item chosen; false when nothing was chosen or the sheet is disabled.
  bool Track(QWidget* owner, QPoint screen_pos) const;

 private:
  std::vector<std::unique_ptr<CActionSheetItem>> items_;
  std::string title_;
  void* data_;
  bool enabled_ = true;
};
