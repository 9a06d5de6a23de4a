// Customize in the started program: only while the tool bars are unlocked; a command added to a
// bar is a working button there, kept for the next start; Remove and Reset; the large icons.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QToolBar>

#include <string>
#include <vector>

#include "corvex/ui/dlg_customize.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ScriptedAnswers;

constexpr int kCmdLockToolbars = 33678;
constexpr int kCmdNightColors = 32785;

QToolBar* Bar(CMainFrame& frame, const std::string& name) {
  for (QToolBar* bar : frame.toolbars())
    if (bar->objectName().toStdString() == name) return bar;
  return nullptr;
}

std::vector<int> Buttons(QToolBar* bar) {
  std::vector<int> ids;
  for (QAction* action : bar->actions())
    if (!action->isSeparator()) ids.push_back(action->data().toInt());
  return ids;
}

QAction* Button(QToolBar* bar, int id) {
  for (QAction* action : bar->actions())
    if (!action->isSeparator() && action->data().toInt() == id) return action;
  return nullptr;
}

// Picks a list's row by its text; false when no row has it.
bool Pick(vd::ui::DialogWindow& d, int list_id, const std::string& text) {
  auto* list = d.ControlAs<QListWidget>(list_id);
  for (int row = 0; list && row < list->count(); ++row) {
    if (list->item(row)->text().toStdString() == text) {
      list->setCurrentRow(row);
      return true;
    }
  }
  return false;
}

std::vector<std::string> Rows(vd::ui::DialogWindow& d, int list_id) {
  std::vector<std::string> rows;
  auto* list = d.ControlAs<QListWidget>(list_id);
  for (int row = 0; list && row < list->count(); ++row) rows.push_back(list->item(row)->text().toStdString());
  return rows;
}

void ChooseBar(vd::ui::DialogWindow& d, const std::string& name) {
  auto* combo = d.ControlAs<QComboBox>(CDlgCustomize::kToolbarCombo);
  combo->setCurrentIndex(combo->findText(QString::fromStdString(name)));
  d.SendCommand(CDlgCustomize::kToolbarCombo, vd::ui::kCbnSelChange);
}

TEST(Customize, AddedButtonsWorkAndStayRemoveAndResetTakeThemOff) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  std::vector<int> shipped;
  int small_icon = 0;
  {
    Program program;
    ASSERT_TRUE(program.started());
    CMainFrame& frame = program.frame();
    QToolBar* planning = Bar(frame, "Planning");
    ASSERT_NE(planning, nullptr);
    shipped = Buttons(planning);
    small_icon = planning->iconSize().width();

    // Locked tool bars (as they start) can't be customised.
    EXPECT_FALSE(frame.RouteUpdate(CMainFrame::kCmdCustomize).enabled);
    bool shown = false;
    vd::test::OnceUp([&](vd::ui::DialogWindow&) { shown = true; }, false);
    frame.RouteCommand(CMainFrame::kCmdCustomize);
    vd::test::DrainEvents();
    EXPECT_FALSE(shown);

    frame.RouteCommand(kCmdLockToolbars);
    ASSERT_TRUE(frame.RouteUpdate(CMainFrame::kCmdCustomize).enabled);
    vd::test::OnceUp([&](vd::ui::DialogWindow& d) {
      shown = true;
      // The menu bar's menus, then the three categories of their own.
      const std::vector<std::string> categories = Rows(d, CDlgCustomize::kCategoryList);
      ASSERT_GE(categories.size(), 4u);
      EXPECT_EQ(categories.front(), "File");
      EXPECT_EQ(std::vector<std::string>(categories.end() - 3, categories.end()),
                (std::vector<std::string>{"All Commands", "Built-in Menus", "New Menu"}));
      ASSERT_TRUE(Pick(d, CDlgCustomize::kCategoryList, "Map"));
      ASSERT_TRUE(Pick(d, CDlgCustomize::kCommandList, "Night Colors"));
      ChooseBar(d, "Planning");
      d.SendCommand(CDlgCustomize::kAddButton, vd::ui::kBnClicked);
      d.SendCommand(CDlgCustomize::kAddButton, vd::ui::kBnClicked);  // one button per command
      // A menu is no button.
      ASSERT_TRUE(Pick(d, CDlgCustomize::kCategoryList, "Built-in Menus"));
      d.SendCommand(CDlgCustomize::kAddButton, vd::ui::kBnClicked);
      EXPECT_EQ(Rows(d, CDlgCustomize::kButtonList).back(), "Night Colors");
      d.SetCheckState(CDlgCustomize::kLargeIconsCheck, 1);
    });
    frame.RouteCommand(CMainFrame::kCmdCustomize);
    ASSERT_TRUE(shown);
    std::vector<int> expected = shipped;
    expected.push_back(kCmdNightColors);
    EXPECT_EQ(Buttons(planning), expected);
    EXPECT_GT(planning->iconSize().width(), small_icon);

    // The new button is a working one that shows its command's state.
    QAction* night = Button(planning, kCmdNightColors);
    ASSERT_NE(night, nullptr);
    EXPECT_EQ(night->text(), "Night Colors");
    const int before = program.app().night_colors.value;
    night->trigger();
    EXPECT_NE(program.app().night_colors.value, before);
    vd::test::DrainEvents();
    EXPECT_EQ(night->isChecked(), program.app().night_colors.value != 0);
    night->trigger();  // back as it was
    EXPECT_TRUE(program.Quit());
  }
  {
    // The next start has the button and the large icons; Remove takes one button off, Reset
    // brings the shipped ones back.
    Program program;
    ASSERT_TRUE(program.started());
    CMainFrame& frame = program.frame();
    QToolBar* planning = Bar(frame, "Planning");
    ASSERT_NE(Button(planning, kCmdNightColors), nullptr);
    EXPECT_GT(planning->iconSize().width(), small_icon);
    frame.RouteCommand(kCmdLockToolbars);
    vd::test::OnceUp([&](vd::ui::DialogWindow& d) {
      ChooseBar(d, "Planning");
      ASSERT_TRUE(Pick(d, CDlgCustomize::kButtonList, "Night Colors"));
      d.SendCommand(CDlgCustomize::kRemoveButton, vd::ui::kBnClicked);
    });
    frame.RouteCommand(CMainFrame::kCmdCustomize);
    EXPECT_EQ(Buttons(planning), shipped);

    vd::test::OnceUp([&](vd::ui::DialogWindow& d) {
      ChooseBar(d, "Planning");
      ASSERT_TRUE(Pick(d, CDlgCustomize::kButtonList, "Route"));
      d.SendCommand(CDlgCustomize::kRemoveButton, vd::ui::kBnClicked);
      d.SendCommand(CDlgCustomize::kResetButton, vd::ui::kBnClicked);
      ASSERT_TRUE(Pick(d, CDlgCustomize::kButtonList, "Maps"));
      d.SendCommand(CDlgCustomize::kRemoveButton, vd::ui::kBnClicked);
      d.SetCheckState(CDlgCustomize::kLargeIconsCheck, 0);
    }, /*ok=*/false);  // Cancel: nothing changes
    frame.RouteCommand(CMainFrame::kCmdCustomize);
    EXPECT_EQ(Buttons(planning), shipped);
    EXPECT_GT(planning->iconSize().width(), small_icon);
    EXPECT_TRUE(program.Quit());
  }
}

}  // namespace
