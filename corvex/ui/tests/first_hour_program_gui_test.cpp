// What a new user meets in the first hour with the started program: the status bar under the
// mouse, the Map List on the sample chart, Find Location driven with the keyboard, the tool bar
// layout entries of the Mode menu, and the data panes' places kept from one start to the next.
#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <string>
#include <vector>

#include "charts/tests/geo_name_fixture.h"
#include "app/app_common.h"
#include "corvex/command_ids.h"
#include "corvex/ostrel_view.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/dlg_chart_select.h"
#include "corvex/ui/place_search_dialog.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "corvex/ui/tests/sample_chart_program.h"
#include "gps/ui/nav_arrow.h"
#include "gps/ui/navigation_data.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ProcessEventsUntil;
using vd::test::SampleChartProgram;
using vd::test::ScriptedAnswers;

// Every text the status bar shows: its message and the texts of its panes.
std::vector<std::string> StatusBarTexts(CMainFrame& frame) {
  std::vector<std::string> texts{frame.statusBar()->currentMessage().toStdString()};
  for (const QLabel* label : frame.statusBar()->findChildren<QLabel*>())
    if (label->isVisible()) texts.push_back(label->text().toStdString());
  return texts;
}

class FirstHourOnTheSampleChart : public SampleChartProgram {};

// The mouse over the chart: its position shows once in the status bar, in the read-out pane,
// in WGS84 (the sample chart is drawn on it); the message at the left stays free for messages.
TEST_F(FirstHourOnTheSampleChart, TheStatusBarShowsTheCursorPositionOnce) {
  CChartViewWidget* widget = vd::test::WidgetOf(view());
  ASSERT_NE(widget, nullptr);
  for (const QPointF at : {QPointF(120, 90), QPointF(200, 150)}) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
    vd::test::DrainEvents();
    std::string where;
    FormatPositionText(view()->cursor_position().lat, view()->cursor_position().lon, where);
    ASSERT_FALSE(where.empty());
    int showing = 0;
    std::string read_out;
    for (const std::string& text : StatusBarTexts(frame())) {
      if (text.find(where) == std::string::npos) continue;
      ++showing;
      read_out = text;
    }
    EXPECT_EQ(showing, 1) << testing::PrintToString(StatusBarTexts(frame()));
    EXPECT_EQ(read_out, "Cursor: " + where + " (WGS84)");
    EXPECT_EQ(frame().StatusText(), "");
  }
}

// The Map List on the sample chart (a chart on WGS 84): its datum shift is known, nothing, and
// its type and ID show whole in their columns.
TEST_F(FirstHourOnTheSampleChart, MapListTellsTheDatumShiftAndShowsTypeAndIdWhole) {
  std::string datum;
  std::vector<std::string> cut;
  vd::test::OnceUp(
      [&](vd::ui::DialogWindow& d) {
        auto* list = d.ControlAs<QTreeWidget>(CDlgChartSelect::kMapList);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->topLevelItemCount(), 1);
        list->topLevelItem(0)->setSelected(true);
        datum = d.ItemText(CDlgChartSelect::kDatumText);
        const QFontMetrics metrics(list->font());
        const int margins = 2 * list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list);
        for (int column : {CDlgChartSelect::kType, CDlgChartSelect::kId}) {
          const QString text = list->topLevelItem(0)->text(column);
          if (metrics.horizontalAdvance(text) + margins > list->columnWidth(column))
            cut.push_back(text.toStdString());
        }
      },
      false);
  ASSERT_TRUE(frame().RouteCommand(kCmdMapList));
  EXPECT_EQ(datum, "Datum shift: 0.0000'N 0.0000'E");
  EXPECT_TRUE(cut.empty()) << testing::PrintToString(cut);
}

// The Mode menu's tool bar layouts are a choice of two with a radio mark (not a tick) on the one
// in use, whatever tool bars show: the Navigation tool bar shows in the planning layout.
TEST_F(FirstHourOnTheSampleChart, ToolbarLayoutEntriesMarkTheLayoutInUse) {
  QMenu* layouts = nullptr;
  for (QMenu* menu : frame().menuBar()->findChildren<QMenu*>())
    if (menu->title() == "&Toolbar layout") layouts = menu;
  ASSERT_NE(layouts, nullptr);
  const auto entries = [&] {
    emit layouts->aboutToShow();  // as when the user opens it
    std::map<std::string, std::pair<bool, bool>> shown;  // text: (radio mark, tick)
    for (QAction* action : layouts->actions()) {
      if (action->isSeparator() || action->text() == "&Customize...") continue;
      const bool radio = action->isCheckable() && action->actionGroup() &&
                         action->actionGroup()->exclusionPolicy() != QActionGroup::ExclusionPolicy::None;
      shown[action->text().toStdString()] = {radio && action->isChecked(),
                                             !radio && action->isChecked()};
    }
    return shown;
  };
  QToolBar* navigation_bar = frame().findChild<QToolBar*>("Navigation");
  ASSERT_NE(navigation_bar, nullptr);
  EXPECT_TRUE(navigation_bar->isVisible());
  using Shown = std::map<std::string, std::pair<bool, bool>>;
  EXPECT_EQ(entries(), (Shown{{"&Planning", {true, false}},
                              {"&Navigation", {false, false}},
                              {"&Lock Toolbars", {false, true}}}));
  for (QAction* action : layouts->actions())
    if (action->text() == "&Navigation") action->trigger();
  EXPECT_EQ(entries(), (Shown{{"&Planning", {false, false}},
                              {"&Navigation", {true, false}},
                              {"&Lock Toolbars", {false, true}}}));
}

// Find Location from the Edit menu, with the keyboard: Enter in the search text searches
// (the dialog stays), a search that finds nothing says so, and Enter on a chosen place views
// it.
TEST(FirstHour, FindLocationSearchesOnEnterAndSaysWhenNothingIsFound) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      home.DataFolder() + "/indexdata.vdq",
      vd::test::GeoNameIndexBytes({"Town"}, {{0, 50.25, -4.5, "Harbour Town"},
                                             {0, 50.5, -4.75, "Old Harbour"},
                                             {0, 51.0, -5.0, "Bay"}})));
  Program program;
  ASSERT_TRUE(program.started());
  vd::test::DrainEvents();

  struct Step {
    std::string typed;
    std::vector<std::string> rows;
    bool open_after_enter;
  };
  std::vector<Step> seen;
  bool viewed_by_enter = false;
  bool open_before_choosing = false;
  QTimer::singleShot(0, [&] {
    auto* d = dynamic_cast<vd::ui::DialogWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    auto* find = d->ControlAs<QLineEdit>(CDlgFindName::kFindEdit);
    auto* list = d->ControlAs<QListWidget>(CDlgFindName::kNameList);
    for (const char* typed : {"nowhere", "harb"}) {
      find->setFocus();
      find->selectAll();
      QTest::keyClicks(find, typed);
      QTest::keyClick(find, Qt::Key_Return);
      Step step{typed, {}, d->isVisible()};
      for (int row = 0; row < list->count(); ++row)
        step.rows.push_back(list->item(row)->text().toStdString());
      seen.push_back(step);
    }
    // Enter in the list before a place is chosen: "View" is grey, nothing happens.
    list->setFocus();
    list->clearSelection();
    QTest::keyClick(list, Qt::Key_Return);
    open_before_choosing = d->isVisible();
    // The second place chosen in the list; Enter there views it.
    list->setCurrentRow(1);
    emit list->itemClicked(list->item(1));
    QTest::keyClick(list, Qt::Key_Return);
    viewed_by_enter = !d->isVisible();
    if (d->isVisible()) d->SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
  });
  ASSERT_TRUE(program.frame().RouteCommand(kCmdFindPlace));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].rows, std::vector<std::string>{CDlgFindName::kNoneFound});
  EXPECT_TRUE(seen[0].open_after_enter);
  EXPECT_EQ(seen[1].rows, (std::vector<std::string>{"Harbour Town", "Old Harbour"}));
  EXPECT_TRUE(seen[1].open_after_enter);
  EXPECT_TRUE(open_before_choosing);
  EXPECT_TRUE(viewed_by_enter);
  // "Create mark at location" is off: the place is only viewed; the search is kept.
  EXPECT_EQ(vd::OpenAppProfile().GetString(vd::kSettingsSection, "find_searchtext"), "harb");
}

// Go to a mark shows the navigation panes; the user docks the figures under the charts and
// moves the arrow. At the next start the panes open where they were left.
TEST(FirstHour, DataPanesOpenWhereTheyWereLeftAtTheLastRun) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  const auto go_to_a_mark = [](Program& program) {
    CObjWaypoint* mark = program.document()->NewMark();
    mark->Set(50.0, -5.0, "", "", 10, 1);
    mark->name = "Buoy";
    mark->Select(true);
    EXPECT_TRUE(program.frame().RouteCommand(kCmdGotoMark));
    vd::test::DrainEvents();
  };
  const auto dock = [](Program& program, int pane) {
    return program.frame().findChild<QDockWidget*>(QString("pane_%1").arg(pane));
  };
  QPoint arrow_at;
  {
    Program program;
    ASSERT_TRUE(program.started());
    go_to_a_mark(program);
    QDockWidget* data = dock(program, CNavigationData::kPaneId);
    QDockWidget* arrow = dock(program, CNavArrow::kPaneId);
    ASSERT_TRUE(data && arrow);
    ASSERT_TRUE(data->isFloating());
    data->setFloating(false);
    program.frame().addDockWidget(Qt::BottomDockWidgetArea, data);
    arrow->move(arrow->pos() + QPoint(150, 120));
    arrow_at = arrow->pos();
    vd::test::DrainEvents();
    ASSERT_TRUE(program.Quit());
  }
  Program again;
  ASSERT_TRUE(again.started());
  vd::test::DrainEvents();
  go_to_a_mark(again);
  QDockWidget* data = dock(again, CNavigationData::kPaneId);
  QDockWidget* arrow = dock(again, CNavArrow::kPaneId);
  ASSERT_TRUE(data && arrow);
  EXPECT_TRUE(data->isVisible());
  EXPECT_FALSE(data->isFloating());
  EXPECT_EQ(again.frame().dockWidgetArea(data), Qt::BottomDockWidgetArea);
  EXPECT_TRUE(arrow->isVisible());
  EXPECT_TRUE(arrow->isFloating());
  EXPECT_EQ(arrow->pos(), arrow_at);
}

}  // namespace
