// Every command of the shipped menus, tool bars and context menus, walked in the started
// program with one object of each kind selected in turn: each has a handler, and its entry or
// button shows its enabled and checked state as soon as the program's loop has turned.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QApplication>
#include <QDockWidget>
#include <QKeySequence>
#include <QtTest/QTest>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "corvex/command_ids.h"
#include "corvex/menu_resource.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "corvex/ui/tests/program_world.h"
#include "gps/ui/nav_arrow.h"
#include "gps/ui/navigation_data.h"
#include "gps/ui/other_profile_wnd.h"
#include "platform/os/files.h"
#include "platform/ui/popup_menu.h"
#include "corvex/ostrel_view.h"
#include <memory>

namespace {

// The selections walked: nothing, then each kind of object.
enum Selection { kNone, kMark, kRoute, kRoutePoint, kTrack, kNote, kVessel, kSelections };
constexpr const char* kSelectionNames[] = {"none", "mark", "route", "route point", "track", "note", "vessel"};

// The expected state of every command for each selection, in the order of Selection:
// 'e' enabled, 'C' enabled and checked, '-' grey. Commands grey in every selection say why;
// those "being built elsewhere" are carried out by work under way and are expected to turn
// enabled (this table then changes with them).
const std::map<int, std::string> kExpected = {
    {229, "eeeeeee"},
    {230, "eeeeeee"},
    {232, "eeeeeee"},
    {234, "eeeeeee"},
    {235, "eeeeeee"},
    {236, "----e--"},
    {238, "----e--"},
    {239, "eeeeeee"},
    {244, "----e--"},
    {245, "--e----"},
    {264, "----e--"},
    {267, "eeeeeee"},
    {9148, "-------"},  // Customize: the tool bars are locked
    {32780, "eeeeeee"},
    {32785, "eeeeeee"},
    {32786, "eeeeeee"},
    {32787, "eeeeeee"},
    {32788, "eeeeeee"},
    {32789, "eeeeeee"},
    {32793, "--ee---"},
    {32795, "--ee---"},
    {32796, "--ee---"},
    {32797, "--ee---"},
    {32798, "--ee---"},
    {32799, "--ee---"},
    {32800, "eeeeeee"},
    {32802, "eeeeeee"},
    {32804, "eeeeeee"},
    {32808, "-------"},  // Lock onto GPS: no GPS input
    {32809, "eeeeeee"},
    {32810, "-------"},  // Lock onto GPS: no GPS input
    {32812, "eeeeeee"},
    {32813, "eeeeeee"},
    {32814, "eeeeeee"},
    {32815, "eeeeeee"},
    {32831, "-------"},  // GPS transfer: no GPS input
    {32832, "eeeeeee"},
    {32835, "eeeeeee"},
    {32839, "-------"},  // no GPS input
    {32840, "-------"},  // no GPS input
    {32842, "eeeeeee"},
    {32843, "CCCCCCC"},
    {32844, "eeeeeee"},
    {32845, "eeeeeee"},
    {32847, "eeeeeee"},
    {32848, "eeeeeee"},
    {32849, "eeeeeee"},
    {32850, "eeeeeee"},
    {32851, "CCCCCCC"},
    {32855, "eeeeeee"},
    {32856, "eeeeeee"},
    {32861, "CCCCCCC"},
    {32862, "CCCCCCC"},
    {32871, "-eeeeee"},
    {32872, "-eeeeee"},
    {32875, "eeeeeee"},
    {32877, "eeeeeee"},
    {32878, "eeeeeee"},
    {32879, "eeeeeee"},
    {32881, "-------"},  // Mark Position: no GPS fix
    {32885, "-eeeeee"},
    {32890, "-eeeeee"},
    {32891, "eeeeeee"},
    {32892, "----e--"},
    {32893, "eeeeeee"},
    {32902, "eeeeeee"},
    {32903, "eeeeeee"},
    {32906, "eeeeeee"},
    {32914, "-------"},  // no GPS input
    {32915, "-------"},  // no GPS input
    {32916, "-------"},  // no GPS input
    {32917, "-------"},  // no GPS input
    {32920, "eeeeeee"},
    {32921, "-eee---"},
    {32922, "-eee---"},
    {32924, "-eee---"},
    {32929, "CCCCCCC"},
    {32931, "eeeeeee"},
    {32934, "-------"},  // no GPS input
    {32935, "eeeeeee"},
    {32938, "eeeeeee"},
    {32939, "CCCCCCC"},
    {32940, "eeeeeee"},
    {32941, "eeeeeee"},
    {32942, "eeeeeee"},
    {32944, "-------"},  // no GPS input
    {32945, "eeeeeee"},
    {32946, "eeeeeee"},
    {32947, "eeeeeee"},
    {32965, "--ee---"},
    {32966, "-------"},  // the mark has no linked file
    {32969, "eeeeeee"},
    {32971, "eeeeeee"},
    {32972, "eeeeeee"},
    {32978, "eeeeeee"},
    {32980, "--ee---"},
    {33083, "eeeeeee"},
    {33084, "eeeeeee"},
    {33085, "-------"},  // no merge to undo
    {33086, "eeeeeee"},
    {33088, "eeeeeee"},
    {33089, "eeeeeee"},  // unset, it says so when run
    {33091, "eeeeeee"},
    {33092, "--e----"},
    {33093, "----e--"},
    {33094, "----e--"},
    {33095, "-eeeeee"},
    {33099, "eeeeeee"},
    {33101, "eeeeeee"},
    {33104, "eeeeeee"},
    {33107, "eeeeeee"},
    {33109, "--e-e--"},
    {33110, "----e--"},
    {33111, "eeeeeee"},
    {33113, "eeeeeee"},
    {33114, "----e--"},
    {33115, "-eeeeee"},
    {33325, "eeeeeee"},
    {33326, "eeeeeee"},
    {33327, "eeeeeee"},
    {33431, "eeeeeee"},
    {33530, "-------"},  // Print pages: only in print-area mode
    {33531, "-------"},  // Cancel printing: likewise
    {33533, "-------"},  // Print Preview: likewise
    {33536, "-------"},  // Remove Page: likewise
    {33432, "-eeeeee"},
    {33433, "--e----"},
    {33434, "----e--"},
    {33539, "-------"},  // map-area export: the route is not closed
    {33541, "--ee---"},
    {33543, "eeeeeee"},
    {33544, "-------"},  // Other profile: the walked track records no extra series (below)
    {33649, "-------"},  // enclosed marks: the route is not closed
    {33652, "-------"},  // downloads: chart commands being built elsewhere
    {33653, "-------"},  // likewise
    {33655, "eeeeeee"},
    {33656, "eeeeeee"},
    {33658, "-------"},  // likewise
    {33661, "-------"},  // nothing to undo
    {33662, "-------"},  // nothing to redo
    {33665, "-------"},  // no later place
    {33666, "-------"},  // no earlier place
    {33674, "CCCCCCC"},
    {33675, "eeeeeee"},
    {33678, "CCCCCCC"},
    {33687, "eeeeeee"},
    {33689, "-------"},  // Cloud Sync data: needs a cloud sign-in, which this version does not have
    {33691, "eeeeeee"},
    {33694, "eeeeeee"},
    {33698, "--e----"},
    {33699, "--e----"},
    {33700, "--e----"},
    {33703, "-------"},  // likewise
    {33704, "-------"},  // likewise
    {33705, "-------"},  // likewise
    {33708, "eeeeeee"},
    {33709, "-------"},  // Split/Join: no route point under the mouse
    {33711, "-------"},  // Split: no route point under the mouse
    {57607, "eeeeeee"},
    {57650, "eeeeeee"},
    {57651, "eeeeeee"},
    {57664, "eeeeeee"},
    {57665, "eeeeeee"},
};
// The desktop's standard keys (Qt's standard key sequences, as the platform's theme binds
// them) of the commands that have one; every other entry has no key.
const std::map<int, QKeySequence::StandardKey> kStandardKeys = {
    {33661, QKeySequence::Undo},      {33662, QKeySequence::Redo},
    {32872, QKeySequence::Delete},    {32849, QKeySequence::Open},
    {32847, QKeySequence::Save},      {32848, QKeySequence::SaveAs},
    {57607, QKeySequence::Print},     {57665, QKeySequence::Quit},
    {32903, QKeySequence::Find},      {32969, QKeySequence::ZoomIn},
    {32971, QKeySequence::ZoomOut},   {33666, QKeySequence::Back},
    {33665, QKeySequence::Forward},   {32878, QKeySequence::HelpContents},
};

// Commands that nothing handles yet.
const std::set<int> kWithoutHandler = {};

// Entries that stand for lists the program fills in when the menu opens.
const std::set<int> kListPlaceholders = {33224, 33123, 33546, 33329};

void CollectIds(const std::vector<CMenuEntry>& entries, std::set<int>& ids) {
  for (const CMenuEntry& entry : entries) {
    if (entry.kind == CMenuEntry::kItem && !kListPlaceholders.count(entry.id)) ids.insert(entry.id);
    if (entry.kind == CMenuEntry::kPopup) CollectIds(entry.children, ids);
  }
}

std::vector<CMenuResource> ShippedMenus(const std::string& file) {
  std::string text, error;
  EXPECT_TRUE(vd::os::ReadWholeFile(vd::os::ProgramFolder() + "/resources/menus/" + file, text));
  auto parsed = ParseMenuResources(text, error);
  EXPECT_TRUE(parsed) << error;
  return parsed ? *parsed : std::vector<CMenuResource>{};
}

class CommandWalk : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void TearDown() override { world.Stop(); }

  void Select(Selection selection) {
    if (COstrelObject* selected = COstrelObject::GetSelected(&world.doc())) selected->Deselect();
    COstrelObject* object = nullptr;
    switch (selection) {
      case kMark: object = world.mark; break;
      case kRoute: object = world.route; break;
      case kRoutePoint: object = world.route->points().front(); break;
      case kTrack: object = world.track; break;
      case kNote: object = world.note; break;
      case kVessel: object = world.vessel; break;
      default: break;
    }
    if (object) object->Select(true);
    vd::test::DrainEvents();
  }
  // Whether any target of the routing knows the command.
  bool Handled(int id) {
    CCmdUI ui;
    if (auto* view = dynamic_cast<CCommandTarget*>(&world.view()); view && view->OnUpdateCommand(id, ui))
      return true;
    CChildFrame* chart_frame = world.frame().ActiveChartFrame();
    return world.doc().OnUpdateCommand(id, ui = {}) ||
           (chart_frame && chart_frame->OnUpdateCommand(id, ui = {})) ||
           world.frame().OnUpdateCommand(id, ui = {}) || world.app.OnUpdateCommand(id, ui = {});
  }

  vd::test::ProgramWorld world;
};

QMenu* MenuOf(QAction* action) { return action ? action->menu() : nullptr; }

TEST_F(CommandWalk, EveryCommandShowsItsStateAtOnce) {
  std::set<int> ids;
  const auto menus = ShippedMenus("corvex.menu");
  const auto context_menus = ShippedMenus("corvex_context.menu");
  ASSERT_FALSE(menus.empty());
  ASSERT_FALSE(context_menus.empty());
  for (const auto& menu : menus) CollectIds(menu.entries, ids);
  for (const auto& menu : context_menus) CollectIds(menu.entries, ids);

  for (int id : ids) {
    EXPECT_TRUE(kExpected.count(id)) << id << " is in the menus but not in the table";
    EXPECT_EQ(Handled(id), !kWithoutHandler.count(id)) << id;
  }
  for (int s = 0; s < kSelections; ++s) {
    Select(Selection(s));
    const std::string selection = kSelectionNames[s];
    const auto expected = [&](int id) {
      const auto found = kExpected.find(id);
      return found == kExpected.end() ? '?' : found->second[s];
    };
    for (int id : ids) {
      const CCmdUI ui = world.frame().RouteUpdate(id);
      const char state = ui.enabled ? (ui.checked ? 'C' : 'e') : (ui.checked ? '!' : '-');
      EXPECT_EQ(state, expected(id)) << id << " with " << selection << " selected";
    }
    // The tool bar buttons already show it: the loop has turned once since the change.
    for (QToolBar* bar : world.frame().findChildren<QToolBar*>()) {
      for (QAction* action : bar->actions()) {
        if (action->isSeparator()) continue;
        const int id = action->data().toInt();
        EXPECT_EQ(action->isEnabled(), expected(id) != '-') << id << " on " << bar->objectName().toStdString() << " with " << selection;
        EXPECT_EQ(action->isChecked(), expected(id) == 'C') << id << " with " << selection;
        EXPECT_FALSE(action->icon().isNull()) << id << " has a picture";
      }
    }
    // A menu shows it when it opens; only checked entries carry a check box. Each entry shows
    // its standard key.
    for (QMenu* menu : world.frame().menuBar()->findChildren<QMenu*>()) {
      emit menu->aboutToShow();
      for (QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        if (action->isSeparator() || action->menu() || !kExpected.count(id)) continue;
        const auto key = kStandardKeys.find(id);
        EXPECT_EQ(action->shortcuts(), key == kStandardKeys.end()
                                           ? QList<QKeySequence>{}
                                           : QKeySequence::keyBindings(key->second))
            << id;
        EXPECT_EQ(action->isEnabled(), expected(id) != '-') << id << " in a menu with " << selection;
        EXPECT_EQ(action->isCheckable(), expected(id) == 'C') << id << " with " << selection;
        EXPECT_EQ(action->isChecked(), expected(id) == 'C') << id << " with " << selection;
      }
    }
    // The chart view's context menus.
    for (const auto& resource : context_menus) {
      const std::unique_ptr<vd::ui::PopupMenu> menu = COstrelView::LoadViewMenu(resource.id);
      ASSERT_NE(menu, nullptr) << resource.id;
      const auto shown = world.view().WithCommandStates(*menu);
      std::vector<const vd::ui::PopupMenu*> pending = {shown.get()};
      while (!pending.empty()) {
        const vd::ui::PopupMenu* current = pending.back();
        pending.pop_back();
        for (const auto& item : current->items()) {
          if (item.submenu) pending.push_back(item.submenu.get());
          if (item.separator || item.submenu || !kExpected.count(item.id)) continue;
          EXPECT_EQ((item.flags & vd::ui::PopupMenu::kDisabled) == 0, expected(item.id) != '-')
              << item.id << " in context menu " << resource.id << " with " << selection;
        }
      }
    }
  }
}

// The keys the user knows from other programs run their commands from the main window, and the
// keys of the chart view keep their meaning there: Del and Ctrl+Z in the window; Del in the chart
// view with a track being drawn takes back its last point instead of deleting the track.
TEST_F(CommandWalk, StandardKeysRunTheirCommandsAndTheChartViewKeepsItsKeys) {
  // Bound on every desktop (Quit is not where the desktop has no such key).
  for (QKeySequence::StandardKey key : {QKeySequence::Undo, QKeySequence::Redo,
                                        QKeySequence::Delete, QKeySequence::Save,
                                        QKeySequence::Print, QKeySequence::HelpContents,
                                        QKeySequence::ZoomIn, QKeySequence::ZoomOut}) {
    EXPECT_FALSE(QKeySequence::keyBindings(key).isEmpty()) << "the desktop binds key " << key;
  }
  const auto has = [&](const char* name) {
    for (COstrelObject* object : *world.doc().GetObjectList())
      if (object->name == name) return true;
    return false;
  };
  world.answers.answers = {{"Are you sure?", vd::ui::kIdOk}};
  CMainFrame& frame = world.frame();
  QApplication::setActiveWindow(&frame);
  frame.setFocus();
  Select(kMark);
  ASSERT_TRUE(has("Buoy"));
  QTest::keyClick(&frame, Qt::Key_Delete);
  vd::test::DrainEvents();
  EXPECT_FALSE(has("Buoy")) << testing::PrintToString(world.answers.asked);
  QTest::keyClick(&frame, Qt::Key_Z, Qt::ControlModifier);
  vd::test::DrainEvents();
  EXPECT_TRUE(has("Buoy")) << "Ctrl+Z undoes the deletion";

  // The track being drawn, selected, in the chart view.
  Select(kTrack);
  world.track->drawing_state = 1;
  QWidget* chart = vd::test::WidgetOf(&world.view());
  ASSERT_NE(chart, nullptr);
  chart->setFocus();
  world.answers.asked.clear();
  const size_t points = world.track->points().size();
  QTest::keyClick(chart, Qt::Key_Delete);
  vd::test::DrainEvents();
  EXPECT_TRUE(has("Morning"));
  EXPECT_EQ(world.track->points().size(), points - 1);
  EXPECT_TRUE(world.answers.asked.empty()) << testing::PrintToString(world.answers.asked);
}

// The title the user sees on the docking pane that holds `pane`; "" when it is in none.
std::string DockTitle(const QWidget* pane) {
  for (const QWidget* w = pane; w; w = w->parentWidget())
    if (const auto* dock = qobject_cast<const QDockWidget*>(w)) return dock->windowTitle().toStdString();
  return "";
}

// The one pane of that class in the window; null when there is none or more than one.
template <class Pane>
Pane* OnlyPane(QWidget& frame) {
  std::vector<Pane*> panes;
  for (QWidget* widget : frame.findChildren<QWidget*>())
    if (auto* pane = dynamic_cast<Pane*>(widget)) panes.push_back(pane);
  return panes.size() == 1 ? panes.front() : nullptr;
}

// Goto Mark, Goto waypoint and Follow route from the menus, with a mark, a route or a route's
// point selected: both navigation panes go to the mark, or follow the route to its next point
// (the vessel has a fix beyond the route's end), and say so in their titles.
TEST_F(CommandWalk, GotoAndFollowRouteGiveThePanesAMarkOrARoute) {
  world.vessel->valid = true;
  world.vessel->NotifyChange(kChangeModified);
  const struct {
    int command;
    Selection selection;
    std::string title;
    bool follows;  // the route, else goes to a mark
  } cases[] = {
      {kCmdGotoMark, kMark, "Buoy", false},
      {kCmdGotoMark, kRoutePoint, "Start", false},
      {kCmdGotoMark, kRoute, "Passage: End", true},
      {kCmdGotoWaypoint, kRoutePoint, "Start", false},
      {kCmdGotoWaypoint, kRoute, "Passage: End", true},
      {kCmdGotoWaypoint, kMark, "Buoy", false},
      {kCmdFollowRoute, kRoute, "Passage: End", true},
      {kCmdFollowRoute, kRoutePoint, "Passage: End", true},
      {kCmdFollowRoute, kMark, "Buoy", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.command) + " with " + kSelectionNames[c.selection]);
    Select(c.selection);
    ASSERT_TRUE(world.frame().RouteUpdate(c.command).enabled);
    ASSERT_TRUE(world.frame().RouteCommand(c.command));
    vd::test::DrainEvents();
    CNavArrow* arrow = OnlyPane<CNavArrow>(world.frame());
    CNavigationData* data = OnlyPane<CNavigationData>(world.frame());
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(data, nullptr);
    for (CNavigationWnd* pane : {static_cast<CNavigationWnd*>(arrow), static_cast<CNavigationWnd*>(data)}) {
      EXPECT_EQ(DockTitle(pane), c.title);
      EXPECT_EQ(pane->route(), c.follows ? world.route : nullptr);
      ASSERT_NE(pane->target(), nullptr);
      EXPECT_EQ(pane->target()->name, c.title.substr(c.title.rfind(' ') + 1));
    }
  }
  // Nothing to go to: a track, a note, the vessel, or nothing selected.
  for (Selection selection : {kNone, kTrack, kNote, kVessel}) {
    Select(selection);
    for (int command : {kCmdGotoMark, kCmdGotoWaypoint, kCmdFollowRoute})
      EXPECT_FALSE(world.frame().RouteUpdate(command).enabled) << command << " with " << kSelectionNames[selection];
  }
}

// Other profile in the menu bar is there only for a track that records an extra series, named
// after it, and opens the profile of that series (the track's own menu: track_menu_gui_test).
// Without the series the entry is grey and has its own name again.
TEST_F(CommandWalk, OtherProfileIsThereForATrackWithAnExtraSeries) {
  const auto menu_entry = [&]() -> QAction* {
    for (QMenu* menu : world.frame().menuBar()->findChildren<QMenu*>()) {
      emit menu->aboutToShow();
      for (QAction* action : menu->actions())
        if (action->data().toInt() == kCmdOtherProfile) return action;
    }
    return nullptr;
  };
  Select(kTrack);
  ASSERT_NE(menu_entry(), nullptr);
  EXPECT_FALSE(menu_entry()->isEnabled());
  EXPECT_EQ(menu_entry()->text(), "&Other profile");

  world.track->other_label = "Cadence (rpm)";
  QAction* entry = menu_entry();
  EXPECT_TRUE(entry->isEnabled());
  EXPECT_EQ(entry->text(), "Cadence (rpm) Profile");
  entry->trigger();
  vd::test::DrainEvents();
  COtherProfileWnd* pane = OnlyPane<COtherProfileWnd>(world.frame());
  ASSERT_NE(pane, nullptr) << "the profile opened";
  EXPECT_EQ(pane->series_name(), "Cadence (rpm)");
  EXPECT_EQ(DockTitle(pane), "Morning Cadence (rpm)");

  world.track->other_label.clear();
  EXPECT_FALSE(menu_entry()->isEnabled());
  EXPECT_EQ(menu_entry()->text(), "&Other profile");
}

// The custom command, unset, is there to run and says why nothing ran.
TEST_F(CommandWalk, UnsetCustomCommandSaysItFailed) {
  ASSERT_TRUE(world.frame().RouteCommand(33089));
  EXPECT_EQ(world.answers.asked, std::vector<std::string>{"Failed to run custom command process:\n"});
}

}  // namespace
