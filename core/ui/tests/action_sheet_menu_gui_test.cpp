#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ui/action_sheet_menu.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"

namespace {

std::vector<std::string> g_calls;

void Record(void* argument) {
  g_calls.push_back(argument ? *static_cast<std::string*>(argument) : "null");
}

// Counts the items freed.
int g_freed = 0;
class CountedItem : public CActionSheetItem {
 public:
  explicit CountedItem(std::string text) : CActionSheetItem(std::move(text), 0) {}
  ~CountedItem() override { ++g_freed; }
  void Invoke() override { g_calls.push_back(text()); }
};

// Picks the item shown with the given text.
struct Picker : vd::ui::DialogResponder {
  std::string pick;
  std::vector<std::string> shown;
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    shown.clear();
    return Find(menu);
  }
  int Find(const vd::ui::PopupMenu& menu) {
    for (const auto& item : menu.items()) {
      if (item.separator) continue;
      if (item.submenu) {
        if (const int id = Find(*item.submenu)) return id;
        continue;
      }
      shown.push_back(item.text);
      if (item.text == pick) return item.id;
    }
    return 0;
  }
};

class ActionSheetMenuTest : public testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_freed = 0;
  }
};

TEST_F(ActionSheetMenuTest, ANullOrEmptyRowTableGivesNoItems) {
  const CActionSheetRow rows[] = {{"unused", Record, 0}};
  const CActionSheetMenu empty("Title", nullptr, rows, 0);
  EXPECT_TRUE(empty.items().empty());
  const CActionSheetMenu null_table("Title", nullptr, nullptr, 5);
  EXPECT_TRUE(null_table.items().empty());
  EXPECT_EQ(null_table.title(), "Title");
  EXPECT_TRUE(null_table.enabled());
}

TEST_F(ActionSheetMenuTest, RowsBecomeItemsThatCallTheirCallback) {
  int context = 0;
  const CActionSheetRow rows[] = {
      {"Go-To", Record, CActionSheetMenu::kRowShown},
      {"Delete Mark", Record, CActionSheetMenu::kRowDestructive},
      {"Nothing", nullptr, CActionSheetMenu::kRowShown},
  };
  CActionSheetMenu menu("Mark 1", &context, rows, 3);
  ASSERT_EQ(menu.items().size(), 3u);
  EXPECT_EQ(menu.data(), &context);
  EXPECT_EQ(menu.items()[1]->text(), "Delete Mark");
  EXPECT_EQ(menu.items()[1]->data(), CActionSheetMenu::kRowDestructive);
  EXPECT_EQ(menu.items()[1]->flags(), 0);
  for (const auto& item : menu.items()) item->Invoke();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"null", "null"}));

  std::string argument = "argument";
  menu.AddItem("With argument", Record, 0, &argument);
  menu.items().back()->Invoke();
  EXPECT_EQ(g_calls.back(), "argument");
}

TEST_F(ActionSheetMenuTest, FunctionItemsCallTheirCopyAndAnEmptyOneDoesNothing) {
  CActionSheetMenu menu("", nullptr, nullptr, 0);
  int calls = 0;
  std::function<void()> callable = [&calls] { ++calls; };
  menu.AddFunction("Count", callable);
  callable = nullptr;
  menu.AddFunction("Empty", nullptr);
  menu.items()[0]->Invoke();
  menu.items()[1]->Invoke();
  EXPECT_EQ(calls, 1);
}

TEST_F(ActionSheetMenuTest, DeletingTheMenuFreesItsItemsAndTheirChildren) {
  {
    CActionSheetMenu menu("", nullptr, nullptr, 0);
    menu.AddItem("Parent", nullptr, 0, nullptr);
    auto& children = const_cast<CActionSheetItem&>(*menu.items()[0]).children();
    children.push_back(std::make_unique<CountedItem>("child 1"));
    children.push_back(std::make_unique<CountedItem>("child 2"));
  }
  EXPECT_EQ(g_freed, 2);
}

TEST_F(ActionSheetMenuTest, TrackShowsVisibleRowsAndInvokesTheChosenOne) {
  const CActionSheetRow rows[] = {
      {"Go-To", Record, CActionSheetMenu::kRowHidden},
      {"Cancel Navigation", Record, CActionSheetMenu::kRowShown},
      {"Locked", Record, CActionSheetMenu::kRowDisabled},
      {"Metric", Record, CActionSheetMenu::kRowSelected},
  };
  CActionSheetMenu menu("Mark 1", nullptr, rows, 4);
  Picker picker;
  vd::ui::ScopedResponder scope(&picker);

  picker.pick = "Metric";
  EXPECT_TRUE(menu.Track(nullptr, QPoint()));
  EXPECT_EQ(picker.shown,
            (std::vector<std::string>{"Mark 1", "Cancel Navigation", "Locked", "Metric"}));
  EXPECT_EQ(g_calls, std::vector<std::string>{"null"});

  for (const std::string pick : {"Locked", "Go-To", "Mark 1", ""}) {
    picker.pick = pick;
    EXPECT_FALSE(menu.Track(nullptr, QPoint())) << pick;
  }
  EXPECT_EQ(g_calls.size(), 1u);

  picker.pick = "Metric";
  menu.set_enabled(false);
  EXPECT_FALSE(menu.Track(nullptr, QPoint()));
  EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(ActionSheetMenuTest, ChildrenAreShownAsASubmenu) {
  CActionSheetMenu menu("", nullptr, nullptr, 0);
  menu.AddItem("Units", nullptr, 0, nullptr);
  auto& children = const_cast<CActionSheetItem&>(*menu.items()[0]).children();
  children.push_back(std::make_unique<CountedItem>("Nautical"));
  Picker picker;
  vd::ui::ScopedResponder scope(&picker);
  picker.pick = "Nautical";
  EXPECT_TRUE(menu.Track(nullptr, QPoint()));
  EXPECT_EQ(g_calls, std::vector<std::string>{"Nautical"});
}

}  // namespace
