// The overlay explorer in the started program: its panes, the tree of the document's objects
// by category and how it follows changes, the boxes that show and hide objects on the chart,
// labels, the pop-up commands, drag and drop with undo, the form, and the layout that brings
// the panes back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDropEvent>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <algorithm>
#include <memory>
#include <utility>

#include "corvex/command_ids.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/dlg_current_position_props.h"
#include "corvex/ui/dlg_mark_props.h"
#include "corvex/ui/dlg_route_props.h"
#include "corvex/ui/dlg_text_props.h"
#include "corvex/ui/dlg_track_props.h"
#include "corvex/ui/obj_explorer_form.h"
#include "corvex/ui/obj_explorer_tree.h"
#include "corvex/ui/props_windows.h"
#include "corvex/ui/tests/program_world.h"
#include "overlays/category.h"
#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"

namespace {

using T = CViewObjExplorerTree;

class ExplorerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(world.Start());
    world.frame().ShowExplorerPanes();
    ASSERT_NE(world.frame().explorer_tree(), nullptr);
    tree().expandAll();
  }
  void TearDown() override { world.Stop(); }

  T& tree() { return *world.frame().explorer_tree(); }
  CViewObjExplorerDialog& form() { return *world.frame().explorer_form(); }
  std::string ParentOf(const COstrelObject* object) {
    CExplorerItem* item = tree().ItemOf(object);
    return item ? T::FullPath(item->parent()) : "(none)";
  }
  // The chart view as the screen shows it, once its tiles are in.
  QImage Screen() {
    vd::test::ProcessEventsUntil([&] { return world.view().QueuedTileCount() == 0; });
    vd::test::DrainEvents();
    for (CChartViewWidget* widget : world.frame().findChildren<CChartViewWidget*>())
      if (widget->view() == &world.view()) return widget->grab().toImage();
    return {};
  }
  static int DifferingPixels(const QImage& a, const QImage& b, vd::ui::Point at, int radius) {
    int n = 0;
    for (int y = at.y - radius; y <= at.y + radius; ++y)
      for (int x = at.x - radius; x <= at.x + radius; ++x)
        if (a.valid(x, y) && b.valid(x, y) && a.pixel(x, y) != b.pixel(x, y)) ++n;
    return n;
  }
  // A click on an item's box, as the view passes it to the model.
  void ClickBox(QStandardItem* item) {
    const Qt::CheckState now = item->checkState();
    item->setCheckState(now == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
  void DoubleClickItem(QStandardItem* item) {
    tree().scrollTo(item->index());
    const QPoint at = tree().visualRect(item->index()).center();
    QMouseEvent event(QEvent::MouseButtonDblClick, at, tree().viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &event);
  }
  void Drop(QStandardItem* dragged, QStandardItem* target) {
    tree().setCurrentIndex(dragged->index());
    tree().scrollTo(target->index());
    const QPoint at = tree().visualRect(target->index()).center();
    std::unique_ptr<QMimeData> data(tree().item_model()->mimeData({dragged->index()}));
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &move);
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &drop);
  }
  COstrelObject* FindNamed(const std::string& name) {
    for (COstrelObject* object : *world.doc().GetObjectList())
      if (object->name == name) return object;
    return nullptr;
  }

  vd::test::ProgramWorld world;
};

TEST_F(ExplorerTest, PanesListEveryObjectUnderItsCategory) {
  // The form floats; the tree docks at the left of the charts.
  for (const auto& [pane, floating] : {std::pair{CViewObjExplorerDialog::kPaneId, true},
                                       std::pair{T::kPaneId, false}}) {
    auto* dock = world.frame().findChild<QDockWidget*>(QString("pane_%1").arg(pane));
    ASSERT_NE(dock, nullptr) << pane;
    EXPECT_TRUE(dock->isVisible()) << pane;
    EXPECT_EQ(dock->isFloating(), floating) << pane;
    if (!floating) {
      EXPECT_EQ(world.frame().dockWidgetArea(dock), Qt::LeftDockWidgetArea);
    }
  }
  EXPECT_EQ(ParentOf(world.mark), "Marks");
  EXPECT_EQ(ParentOf(world.route), "Routes");
  EXPECT_EQ(ParentOf(world.route->points()[0]), "Routes");
  EXPECT_EQ(ParentOf(world.track), "Tracks");
  EXPECT_EQ(ParentOf(world.note), "Notes");
  EXPECT_EQ(ParentOf(world.vessel), "Vessel");
  // Categories first, then objects by name with numbers compared by value.
  QStandardItem* routes = tree().CategoryItem("Routes");
  ASSERT_NE(routes, nullptr);
  std::vector<std::string> names;
  for (int row = 0; row < routes->rowCount(); ++row)
    names.push_back(routes->child(row)->text().toStdString());
  EXPECT_EQ(names, (std::vector<std::string>{"End", "Passage", "Start"}));
  // A chart's outline has no category: not listed.
  for (COstrelObject* object : *world.doc().GetObjectList()) {
    if (!object->category()) {
      EXPECT_EQ(tree().ItemOf(object), nullptr);
    }
  }
}

TEST_F(ExplorerTest, CategoryBoxHidesItsObjectsOnTheChartAndGoesMixed) {
  const vd::ui::Point at = world.PointOf(world.mark);
  const QImage shown = Screen();
  QStandardItem* marks = tree().CategoryItem("Marks");
  ASSERT_EQ(marks->checkState(), Qt::Checked);
  ClickBox(marks);
  EXPECT_FALSE(world.mark->visible);
  EXPECT_EQ(tree().ItemOf(world.mark)->checkState(), Qt::Unchecked);
  const QImage hidden = Screen();
  EXPECT_GT(DifferingPixels(shown, hidden, at, 12), 10) << "the mark left the chart";
  ClickBox(marks);
  EXPECT_TRUE(world.mark->visible);
  EXPECT_EQ(DifferingPixels(shown, Screen(), at, 12), 0);

  // One object that differs makes its category mixed; a click on a mixed box hides them all.
  world.note->SetCategory("Marks");
  world.note->NotifyChange(kChangeCategory);
  ClickBox(tree().ItemOf(world.note));
  EXPECT_FALSE(world.note->visible);
  EXPECT_EQ(marks->checkState(), Qt::PartiallyChecked);
  marks->setCheckState(Qt::Checked);  // what a click on a mixed box gives
  EXPECT_EQ(marks->checkState(), Qt::Unchecked);
  EXPECT_FALSE(world.mark->visible);
  EXPECT_FALSE(world.note->visible);

  // Hidden elsewhere: the tree follows.
  world.track->SetVisible(false);
  world.track->NotifyChange(kChangeEditState);
  EXPECT_EQ(tree().ItemOf(world.track)->checkState(), Qt::Unchecked);
  EXPECT_EQ(tree().CategoryItem("Tracks")->checkState(), Qt::Unchecked);
}

// Converting hides the original: its box goes blank with it, and the new object is listed.
TEST_F(ExplorerTest, ConvertingARouteOrATrackUnticksTheOriginal) {
  for (const auto& [original, command] :
       {std::pair<COstrelObject*, int>{world.route, kCmdRouteToTrack},
        std::pair<COstrelObject*, int>{world.track, kCmdTrackToRoute}}) {
    SCOPED_TRACE(original->name);
    ASSERT_EQ(tree().ItemOf(original)->checkState(), Qt::Checked);
    const size_t before = world.doc().GetObjectList()->size();
    original->Select(true);
    ASSERT_TRUE(world.frame().RouteUpdate(command).enabled);
    world.frame().RouteCommand(command);
    vd::test::DrainEvents();
    ASSERT_GT(world.doc().GetObjectList()->size(), before);
    EXPECT_FALSE(original->visible);
    EXPECT_EQ(tree().ItemOf(original)->checkState(), Qt::Unchecked);
    EXPECT_NE(tree().ItemOf(world.doc().GetObjectList()->back()), nullptr);
  }
}

TEST_F(ExplorerTest, RenamesMovesAndDeletionsUpdateTheTreeItemByItem) {
  CExplorerItem* track_item = tree().ItemOf(world.track);
  world.mark->name = "Beacon 10";
  world.mark->NotifyChange(kChangeModified);
  EXPECT_EQ(tree().ItemOf(world.mark)->text(), "Beacon 10");
  world.mark->SetCategory("Hazards:Rocks");
  world.mark->NotifyChange(kChangeCategory);
  EXPECT_EQ(ParentOf(world.mark), "Hazards:Rocks");
  world.mark->SetLocked(true);
  EXPECT_TRUE(world.mark->locked);
  // An object made later joins at its place.
  CObjWaypoint* more = world.doc().NewMark();
  more->name = "Beacon 9";
  more->SetCategory("Hazards:Rocks");
  more->NotifyChange(kChangeCategory);
  QStandardItem* rocks = tree().CategoryItem("Hazards:Rocks");
  ASSERT_EQ(rocks->rowCount(), 2);
  EXPECT_EQ(rocks->child(0)->text(), "Beacon 9");  // 9 before 10
  more->Delete(false);
  EXPECT_EQ(rocks->rowCount(), 1);
  EXPECT_EQ(tree().ItemOf(world.track), track_item) << "the tree was not rebuilt";
}

TEST_F(ExplorerTest, DoubleClickOnEachKindOpensItsWindow) {
  struct Case {
    COstrelObject* object;
    bool (*right_kind)(CObjectPropsDialog*);
  } cases[] = {
      {world.mark, [](CObjectPropsDialog* d) { return dynamic_cast<CDlgMarkProps*>(d) != nullptr; }},
      {world.route, [](CObjectPropsDialog* d) { return dynamic_cast<CDlgRouteProps*>(d) != nullptr; }},
      {world.track, [](CObjectPropsDialog* d) { return dynamic_cast<CDlgTrackProps*>(d) != nullptr; }},
      {world.note, [](CObjectPropsDialog* d) { return dynamic_cast<CDlgTextProps*>(d) != nullptr; }},
      {world.vessel,
       [](CObjectPropsDialog* d) { return dynamic_cast<CDlgCurrentPositionProps*>(d) != nullptr; }}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.object->name);
    DoubleClickItem(tree().ItemOf(c.object));
    EXPECT_TRUE(c.right_kind(world.frame().props_windows().Find(c.object)));
    EXPECT_TRUE(c.object->IsSelected());
    EXPECT_EQ(form().object(), c.object) << "the form shows it too";
  }
}

TEST_F(ExplorerTest, TheWindowOpenedFromTheTreeFollowsTheTreesSelection) {
  CPropsWindows& windows = world.frame().props_windows();
  // No window of the tree's is open: selecting objects opens none.
  tree().setCurrentIndex(tree().ItemOf(world.track)->index());
  EXPECT_EQ(windows.Find(world.track), nullptr);
  // A window opened on the chart is not the tree's.
  world.DoubleClick(world.PointOf(world.route));
  ASSERT_NE(windows.Find(world.route), nullptr);
  EXPECT_EQ(tree().OwnedObject(), nullptr);

  DoubleClickItem(tree().ItemOf(world.mark));
  ASSERT_NE(windows.Find(world.mark), nullptr);
  EXPECT_EQ(tree().OwnedObject(), world.mark);
  tree().activateWindow();
  vd::test::DrainEvents();
  QWidget* active = QApplication::activeWindow();
  tree().setCurrentIndex(tree().ItemOf(world.note)->index());
  EXPECT_EQ(windows.Find(world.mark), nullptr) << "the window of the object left closes";
  EXPECT_TRUE(dynamic_cast<CDlgTextProps*>(windows.Find(world.note)));
  EXPECT_TRUE(world.note->IsSelected());
  EXPECT_EQ(form().object(), world.note);
  vd::test::DrainEvents();
  EXPECT_EQ(QApplication::activeWindow(), active) << "the keyboard stays in the tree";
  EXPECT_NE(windows.Find(world.route), nullptr) << "the chart's window stays";
  // A category selected: the window stays with its object.
  tree().setCurrentIndex(tree().CategoryItem("Routes")->index());
  EXPECT_NE(windows.Find(world.note), nullptr);
  tree().setCurrentIndex(tree().ItemOf(world.vessel)->index());
  EXPECT_EQ(windows.Find(world.note), nullptr);
  EXPECT_TRUE(dynamic_cast<CDlgCurrentPositionProps*>(windows.Find(world.vessel)));

  // Closed by the user, the window is the tree's no more: selecting opens nothing again.
  windows.Find(world.vessel)->OnCancel();
  vd::test::DrainEvents();
  EXPECT_EQ(tree().OwnedObject(), nullptr);
  tree().setCurrentIndex(tree().ItemOf(world.track)->index());
  EXPECT_EQ(windows.Find(world.track), nullptr);
}

TEST_F(ExplorerTest, DeletingTheObjectOfTheTreesWindowSelectsTheItemNextToIt) {
  for (const char* name : {"Cairn", "Dock", "Eddy"}) {
    CObjWaypoint* more = world.doc().NewMark();
    more->Set(world.mark->position.lat, world.mark->position.lon, name, "", 10, 1);
    more->name = name;
    more->SetCategory("Marks");
    more->NotifyChange(kChangeCategory);
  }
  // "Marks" holds Buoy, Cairn, Dock, Eddy.
  const struct {
    const char* deleted;
    bool window;           // its window was opened from the tree
    const char* selected;  // the object selected afterwards, if any
  } cases[] = {{"Cairn", true, "Dock"},   // the item after it
               {"Eddy", true, "Dock"},    // the last: the item before it
               {"Buoy", false, nullptr}};  // selected without the tree's window: nothing
  for (const auto& c : cases) {
    SCOPED_TRACE(c.deleted);
    COstrelObject* doomed = FindNamed(c.deleted);
    ASSERT_NE(doomed, nullptr);
    if (c.window) {
      DoubleClickItem(tree().ItemOf(doomed));
      ASSERT_EQ(tree().OwnedObject(), doomed);
    } else {
      tree().setCurrentIndex(tree().ItemOf(doomed)->index());
      ASSERT_EQ(tree().OwnedObject(), nullptr);
    }
    ASSERT_TRUE(doomed->IsSelected());
    doomed->Delete(false);
    vd::test::DrainEvents();
    EXPECT_EQ(world.frame().props_windows().Find(doomed), nullptr);
    EXPECT_EQ(tree().OwnedObject(), nullptr);
    COstrelObject* selected = COstrelObject::GetSelected(&world.doc());
    CExplorerItem* current = tree().SelectedItem();
    if (c.selected) {
      ASSERT_NE(selected, nullptr);
      EXPECT_EQ(selected->name, c.selected);
      ASSERT_NE(current, nullptr);
      EXPECT_EQ(current->object, selected) << "the tree shows it selected";
      EXPECT_EQ(form().object(), selected);
      EXPECT_EQ(world.frame().props_windows().Find(selected), nullptr) << "no window opens";
    } else {
      for (COstrelObject* object : *world.doc().GetObjectList())
        EXPECT_FALSE(object->IsSelected()) << object->name;
      EXPECT_EQ(current, nullptr);
    }
  }
}

TEST_F(ExplorerTest, DragAndDropMovesAnObjectAndUndoPutsItBack) {
  Drop(tree().ItemOf(world.mark), tree().CategoryItem("Tracks"));
  EXPECT_EQ(world.mark->category()->name(), "Tracks");
  EXPECT_EQ(ParentOf(world.mark), "Tracks");
  // A category can't go below itself.
  QStandardItem* tracks = tree().CategoryItem("Tracks");
  EXPECT_FALSE(tree().DropOn(static_cast<CExplorerItem*>(tracks), static_cast<CExplorerItem*>(tracks)));
  // A category dropped on another goes below it with its objects.
  Drop(tree().CategoryItem("Notes"), tracks);
  EXPECT_EQ(world.note->category()->name(), "Tracks:Notes");
  EXPECT_EQ(ParentOf(world.note), "Tracks:Notes");

  ASSERT_TRUE(world.frame().RouteUpdate(kCmdUndo).enabled);
  world.frame().RouteCommand(kCmdUndo);
  world.frame().RouteCommand(kCmdUndo);
  COstrelObject* buoy = FindNamed("Buoy");
  ASSERT_NE(buoy, nullptr);
  EXPECT_EQ(buoy->category()->name(), "Marks");
  EXPECT_EQ(ParentOf(buoy), "Marks");
}

// Undo rebuilds the tree; the categories the user opened stay open, the others closed.
TEST_F(ExplorerTest, UndoLeavesTheOpenCategoriesOpen) {
  tree().collapseAll();
  // The user opens Marks and Tracks with a click on their expand arrows.
  for (const char* name : {"Marks", "Tracks"}) {
    QStandardItem* category = tree().CategoryItem(name);
    ASSERT_NE(category, nullptr) << name;
    const QRect row = tree().visualRect(category->index());
    const QPoint arrow(row.left() - tree().indentation() / 2, row.center().y());
    QMouseEvent press(QEvent::MouseButtonPress, arrow, tree().viewport()->mapToGlobal(arrow),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, arrow, tree().viewport()->mapToGlobal(arrow),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &release);
    ASSERT_TRUE(tree().isExpanded(category->index())) << name;
  }
  // (Notes, where the dropped object goes back selected, opens to show it.)
  const auto open = [&] {
    std::vector<std::string> names;
    for (const char* name : {"Marks", "Routes", "Tracks", "Vessel"})
      if (QStandardItem* category = tree().CategoryItem(name);
          category && tree().isExpanded(category->index()))
        names.push_back(name);
    return names;
  };
  const std::vector<std::string> before = open();
  ASSERT_EQ(before, (std::vector<std::string>{"Marks", "Tracks"}));
  Drop(tree().ItemOf(world.note), tree().CategoryItem("Marks"));
  ASSERT_EQ(ParentOf(world.note), "Marks");
  ASSERT_TRUE(world.frame().RouteUpdate(kCmdUndo).enabled);
  world.frame().RouteCommand(kCmdUndo);
  vd::test::DrainEvents();
  EXPECT_EQ(open(), before);
}

TEST_F(ExplorerTest, LabelsRenameAndBadCategoryNamesAreRefused) {
  // A label edited as the editor does it.
  CExplorerItem* item = tree().ItemOf(world.track);
  item->setText("Evening");
  EXPECT_EQ(world.track->name, "Evening");
  QStandardItem* tracks = tree().CategoryItem("Tracks");
  tracks->setText("Trips");
  EXPECT_EQ(world.track->category()->name(), "Trips");

  const struct {
    std::string name;
    const char* told;
  } bad[] = {{std::string(10000, 'x'), "at most 255"},
             {"Bad\tname", "control characters"},
             {std::string("Nul\0x", 5), "control characters"},
             {"A:B", "':'"}};
  for (const auto& b : bad) {
    world.answers.asked.clear();
    QStandardItem* trips = tree().CategoryItem("Trips");
    ASSERT_NE(trips, nullptr);
    trips->setText(QString::fromStdString(b.name));
    EXPECT_EQ(trips->text(), "Trips");
    EXPECT_EQ(world.track->category()->name(), "Trips");
    ASSERT_EQ(world.answers.asked.size(), 1u);
    EXPECT_NE(world.answers.asked[0].find(b.told), std::string::npos) << world.answers.asked[0];
  }
  // The form's category box refuses them too.
  world.track->Select(true);
  auto* combo = qobject_cast<QComboBox*>(form().Control(CViewObjExplorerDialog::kCategoryCombo));
  world.answers.asked.clear();
  combo->setEditText(QString(10000, 'y'));
  emit combo->lineEdit()->editingFinished();
  EXPECT_EQ(world.track->category()->name(), "Trips");
  EXPECT_EQ(world.answers.asked.size(), 1u);
}

TEST_F(ExplorerTest, PopupCommandsWorkOnWhatIsBelowTheItem) {
  tree().setCurrentIndex(tree().CategoryItem("Routes")->index());
  const auto menu = tree().BuildPopup();
  EXPECT_NE(menu->FindEnabledItem(T::kCmdRemoveCategory), nullptr);
  tree().OnCommand(T::kCmdHide);
  EXPECT_FALSE(world.route->visible);
  EXPECT_FALSE(world.route->points()[0]->visible);
  tree().OnCommand(T::kCmdShow);
  EXPECT_TRUE(world.route->visible);
  tree().OnCommand(T::kCmdLock);
  EXPECT_TRUE(world.route->locked && world.route->points()[1]->locked);
  tree().OnCommand(T::kCmdUnlock);
  EXPECT_FALSE(world.route->locked);

  // An object item: Remove Category is grey.
  tree().setCurrentIndex(tree().ItemOf(world.mark)->index());
  EXPECT_EQ(tree().BuildPopup()->FindEnabledItem(T::kCmdRemoveCategory), nullptr);
  tree().OnCommand(T::kCmdNewCategory);
  EXPECT_NE(tree().CategoryItem("Marks:New category"), nullptr);

  // Remove Category gives a nested category's objects to its parent.
  world.mark->SetCategory("Marks:Inner");
  world.mark->NotifyChange(kChangeCategory);
  tree().setCurrentIndex(tree().CategoryItem("Marks:Inner")->index());
  tree().OnCommand(T::kCmdRemoveCategory);
  EXPECT_EQ(tree().CategoryItem("Marks:Inner"), nullptr);
  EXPECT_EQ(world.mark->category()->name(), "Marks");

  // Delete asks once for all of them.
  world.answers.answers.push_back({"Deleting", vd::ui::kIdYes});
  tree().setCurrentIndex(tree().CategoryItem("Tracks")->index());
  tree().OnCommand(T::kCmdDelete);
  ASSERT_FALSE(world.answers.asked.empty());
  EXPECT_EQ(world.answers.asked.back(), "Deleting 1 overlay objects...\nAre you sure (no undo)?");
  EXPECT_EQ(FindNamed("Morning"), nullptr);
  ASSERT_NE(tree().CategoryItem("Tracks"), nullptr);
  EXPECT_EQ(tree().CategoryItem("Tracks")->rowCount(), 0);
}

// Delete on a category deletes its objects as the document deletes a chosen set: a route takes
// its own marks with it, wherever they are filed, and the tree keeps no item of anything that
// went; its categories stay, an empty one the user made among them.
TEST_F(ExplorerTest, DeleteLeavesNoItemOfWhatWentAndKeepsTheCategories) {
  CObjWaypoint* start = world.route->points()[0];
  CObjWaypoint* end = world.route->points()[1];
  for (CObjWaypoint* point : {start, end}) {
    point->SetCategory("Buoys");
    point->NotifyChange(kChangeCategory);
  }
  tree().setCurrentIndex(tree().CategoryItem("Notes")->index());
  tree().OnCommand(T::kCmdNewCategory);
  ASSERT_NE(tree().CategoryItem("Notes:New category"), nullptr);
  // Held here only to be looked for once they have left the document.
  start->AddRef();
  end->AddRef();

  world.answers.answers.push_back({"Deleting", vd::ui::kIdYes});
  tree().setCurrentIndex(tree().CategoryItem("Routes")->index());
  tree().OnCommand(T::kCmdDelete);
  ASSERT_FALSE(world.answers.asked.empty());
  EXPECT_EQ(world.answers.asked.back(), "Deleting 1 overlay objects...\nAre you sure (no undo)?");
  vd::test::DrainEvents();
  for (const char* name : {"Passage", "Start", "End"}) EXPECT_EQ(FindNamed(name), nullptr) << name;
  EXPECT_EQ(tree().ItemOf(start), nullptr);
  EXPECT_EQ(tree().ItemOf(end), nullptr);
  ASSERT_NE(tree().CategoryItem("Buoys"), nullptr);
  EXPECT_EQ(tree().CategoryItem("Buoys")->rowCount(), 0);
  ASSERT_NE(tree().CategoryItem("Routes"), nullptr);
  EXPECT_EQ(tree().CategoryItem("Routes")->rowCount(), 0);
  EXPECT_NE(tree().CategoryItem("Notes:New category"), nullptr);
  EXPECT_NE(tree().ItemOf(world.mark), nullptr);
  start->Release();
  end->Release();
}

TEST_F(ExplorerTest, FormEditsTheSelectedObject) {
  world.note->Select(true);
  EXPECT_EQ(form().object(), world.note);
  auto* name = qobject_cast<QLineEdit*>(form().Control(CViewObjExplorerDialog::kNameEdit));
  name->setText("Lunch stop");
  emit name->textEdited(name->text());
  EXPECT_EQ(world.note->name, "Lunch stop");
  EXPECT_EQ(tree().ItemOf(world.note)->text(), "Lunch stop");
  auto* visible = qobject_cast<QCheckBox*>(form().Control(CViewObjExplorerDialog::kVisibleCheck));
  visible->click();
  EXPECT_FALSE(world.note->visible);
  EXPECT_EQ(tree().ItemOf(world.note)->checkState(), Qt::Unchecked);
  auto* combo = qobject_cast<QComboBox*>(form().Control(CViewObjExplorerDialog::kCategoryCombo));
  const int marks = combo->findText("Marks");
  ASSERT_GE(marks, 0);
  combo->setCurrentIndex(marks);
  emit combo->activated(marks);
  EXPECT_EQ(ParentOf(world.note), "Marks");
}

TEST_F(ExplorerTest, TheLayoutBringsThePanesBack) {
  world.frame().SaveLayout();
  world.Stop();
  COstrelApp again;
  again.SetChartViewMaker(MakeChartViewWidget);
  ASSERT_TRUE(again.InitInstance({"--no-splash"}));
  vd::test::DrainEvents();
  CMainFrame* frame = again.GetMainFrame();
  ASSERT_NE(frame->explorer_tree(), nullptr);
  auto* dock = frame->findChild<QDockWidget*>("pane_135");
  ASSERT_NE(dock, nullptr);
  EXPECT_TRUE(dock->isVisible());
  EXPECT_FALSE(dock->isFloating());
  EXPECT_EQ(frame->dockWidgetArea(dock), Qt::LeftDockWidgetArea);
  frame->CloseFrame();
  again.ExitInstance();
}

}  // namespace
