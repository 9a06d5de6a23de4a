#pragma once
// Test answers to popup menus: each menu shown takes the next text of a list of choices.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/popup_menu.h"

namespace vd::test {

// Records the menu's title (its first item) in `titles`, then returns the id of the item whose
// text is the next of `choices` (a failure when there is none), or 0 when no choice is left.
inline int ChooseMenuItem(const vd::ui::PopupMenu& menu, std::deque<std::string>& choices,
                          std::vector<std::string>& titles) {
  titles.push_back(menu.items().empty() ? "" : menu.items().front().text);
  if (choices.empty()) return 0;
  const std::string choice = choices.front();
  choices.pop_front();
  for (const auto& item : menu.items()) {
    if (item.text == choice && item.id > 0) return item.id;
  }
  ADD_FAILURE() << "no item " << choice;
  return 0;
}

}  // namespace vd::test
