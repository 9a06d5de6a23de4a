// Menu entries and tool bar buttons show their commands' state in the started program.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "corvex/command_ids.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ui/tests/sample_chart_program.h"
#include "charts/old_quick_chart.h"
#include "corvex/ui/child_frame.h"
#include "overlays/obj_waypoint.h"

namespace {

using vd::test::DrainEvents;

class CommandStates : public vd::test::SampleChartProgram {
 protected:
  QAction* ToolbarAction(const QString& bar_name, int id) {
    for (QToolBar* bar : frame().findChildren<QToolBar*>()) {
      if (bar->objectName() != bar_name) continue;
      for (QAction* action : bar->actions())
        if (action->data().toInt() == id) return action;
    }
    return nullptr;
  }
  // The entry of a command in the menu bar's menus, after the menu showing it has opened.
  QAction* MenuAction(int id) {
    QAction* found = nullptr;
    for (QMenu* menu : frame().menuBar()->findChildren<QMenu*>()) {
      emit menu->aboutToShow();
      for (QAction* action : menu->actions())
        if (!action->menu() && !action->isSeparator() && action->data().toInt() == id) found = action;
    }
    return found;
  }
};

// The Planning bar's object buttons come up enabled with the chart, without any other command
// having run first, and follow a state change as soon as the program's loop turns.
TEST_F(CommandStates, ToolbarButtonsAreCurrentFromStartUp) {
  for (int id : {kCmdNewMarkToolbar, kCmdNewRoute, kCmdAddText}) {
    QAction* button = ToolbarAction("Planning", id);
    ASSERT_NE(button, nullptr) << id;
    EXPECT_TRUE(button->isEnabled()) << id;
    EXPECT_FALSE(button->isChecked()) << id;
  }
  QAction* undo = ToolbarAction("Standard", kCmdUndo);
  ASSERT_NE(undo, nullptr);
  EXPECT_FALSE(undo->isEnabled());

  // A mark begun elsewhere than by the bar (the menu, a key, another program): the Mark button
  // shows it checked once the loop has turned.
  CObjWaypoint* mark = document().NewMark();
  ASSERT_NE(mark, nullptr);
  DrainEvents();
  EXPECT_TRUE(ToolbarAction("Planning", kCmdNewMarkToolbar)->isChecked());
}

// Only entries whose command has a check or radio mark carry a check box.
TEST_F(CommandStates, OnlyCheckedEntriesCarryACheckBox) {
  for (int id : {kCmdImport, 57665 /* Exit */, kCmdFindPlace, 32878 /* Help Topics */}) {
    QAction* entry = MenuAction(id);
    ASSERT_NE(entry, nullptr) << id;
    EXPECT_FALSE(entry->isCheckable()) << id;
  }
  // Statute miles is the unit; Night Colors is off until chosen, then checked.
  EXPECT_TRUE(MenuAction(32843)->isCheckable());
  EXPECT_TRUE(MenuAction(32843)->isChecked());
  EXPECT_FALSE(MenuAction(32842)->isCheckable());
  constexpr int kNightColors = 32785;
  EXPECT_FALSE(MenuAction(kNightColors)->isCheckable());
  ASSERT_TRUE(frame().RouteCommand(kNightColors));
  EXPECT_TRUE(MenuAction(kNightColors)->isChecked());
}

// The chart window's picture once every tile it shows is drawn.
QImage SettledPicture(QWidget& widget, COstrelView& view) {
  QImage picture;
  EXPECT_TRUE(vd::test::ProcessEventsUntil([&] {
    picture = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    return view.QueuedTileCount() == 0;
  }));
  return picture;
}

// Night Colors dims the open chart at once, in the same chart (not reopened), and back again.
TEST_F(CommandStates, NightColorsRecoloursTheOpenChart) {
  constexpr int kNightColors = 32785;
  COstrelView* chart_view = view();
  ASSERT_NE(chart_view, nullptr);
  QWidget* widget = frame().ChartFrames().front()->widget();
  ASSERT_NE(widget, nullptr);
  const COldQuickChart* chart = chart_view->chart();
  const QImage day = SettledPicture(*widget, *chart_view);

  ASSERT_TRUE(frame().RouteCommand(kNightColors));
  EXPECT_EQ(chart_view->chart(), chart);
  const QImage night = SettledPicture(*widget, *chart_view);
  ASSERT_EQ(night.size(), day.size());
  // The middle of the window shows the chart: its red stays, its green and blue drop to 3/4.
  int dimmed = 0, compared = 0;
  const QRect middle(day.width() / 4, day.height() / 4, day.width() / 2, day.height() / 2);
  for (int y = middle.top(); y <= middle.bottom(); y += 3) {
    for (int x = middle.left(); x <= middle.right(); x += 3) {
      const QRgb d = day.pixel(x, y), n = night.pixel(x, y);
      ++compared;
      if (qRed(n) == qRed(d) && std::abs(qGreen(n) - qGreen(d) * 3 / 4) <= 1 &&
          std::abs(qBlue(n) - qBlue(d) * 3 / 4) <= 1)
        ++dimmed;
    }
  }
  EXPECT_GT(dimmed, compared * 9 / 10) << dimmed << " of " << compared;
  EXPECT_NE(night, day);

  ASSERT_TRUE(frame().RouteCommand(kNightColors));
  EXPECT_EQ(SettledPicture(*widget, *chart_view), day);
}

}  // namespace
