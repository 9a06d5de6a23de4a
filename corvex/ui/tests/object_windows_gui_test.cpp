// The object property windows in the started program: double-click on the chart and the
// Properties command open the window of every kind of object, windows are modeless and one per
// object, they follow what happens to their object elsewhere, and the route window's
// "Settings..." opens the route settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <typeinfo>

#include "corvex/command_ids.h"
#include "corvex/ui/dlg_current_position_props.h"
#include "corvex/ui/dlg_mark_props.h"
#include "corvex/ui/dlg_route_props.h"
#include "corvex/ui/dlg_route_props_settings.h"
#include "corvex/ui/dlg_text_props.h"
#include "corvex/ui/dlg_track_props.h"
#include "corvex/ui/props_windows.h"
#include "corvex/ui/tests/program_world.h"
#include "platform/ui/dialog_window.h"

namespace {

class ObjectWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void TearDown() override { world.Stop(); }

  CPropsWindows& windows() { return world.frame().props_windows(); }

  vd::test::ProgramWorld world;
};

template <class T>
bool WindowIs(CObjectPropsDialog* dialog) {
  return dialog && dynamic_cast<T*>(dialog) != nullptr;
}

TEST_F(ObjectWindowsTest, DoubleClickOpensTheWindowOfEveryKindModelessOnePerObject) {
  struct Case {
    COstrelObject* object;
    bool (*right_kind)(CObjectPropsDialog*);
  } cases[] = {{world.mark, WindowIs<CDlgMarkProps>},
               {world.route, WindowIs<CDlgRouteProps>},
               {world.track, WindowIs<CDlgTrackProps>},
               {world.note, WindowIs<CDlgTextProps>},
               {world.vessel, WindowIs<CDlgCurrentPositionProps>}};
  size_t open = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.object->name);
    world.DoubleClick(world.PointOf(c.object));
    vd::test::DrainEvents();
    CObjectPropsDialog* dialog = windows().Find(c.object);
    ASSERT_TRUE(c.right_kind(dialog));
    EXPECT_TRUE(dialog->widget()->isVisible());
    EXPECT_FALSE(dialog->widget()->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(windows().size(), ++open) << "the other windows stay open";
    // Asked again, the same window comes up.
    world.DoubleClick(world.PointOf(c.object));
    EXPECT_EQ(windows().Find(c.object), dialog);
    EXPECT_EQ(windows().size(), open);
  }
}

TEST_F(ObjectWindowsTest, PropertiesIsAlwaysEnabledAndOpensTheSelectedObjectsWindow) {
  EXPECT_TRUE(world.frame().RouteUpdate(kCmdProperties).enabled);  // nothing selected
  EXPECT_TRUE(world.frame().RouteCommand(kCmdProperties));
  EXPECT_EQ(windows().size(), 0u);
  for (COstrelObject* object : {static_cast<COstrelObject*>(world.note),
                                static_cast<COstrelObject*>(world.vessel),
                                static_cast<COstrelObject*>(world.track)}) {
    object->Select(true);
    ASSERT_TRUE(world.frame().RouteUpdate(kCmdProperties).enabled);
    EXPECT_TRUE(world.frame().RouteCommand(kCmdProperties));
    EXPECT_NE(windows().Find(object), nullptr) << object->name;
  }
}

TEST_F(ObjectWindowsTest, WindowsFollowTheirObjectAndCloseWhenItIsDeleted) {
  world.mark->Select(true);
  world.frame().RouteCommand(kCmdProperties);
  CObjectPropsDialog* dialog = windows().Find(world.mark);
  ASSERT_NE(dialog, nullptr);
  QPointer<QWidget> window = dialog->widget();
  const std::string before = dialog->GetItemText(CDlgMarkProps::kPositionEdit);

  // Moved elsewhere (on the chart, by another window): the window shows the new position.
  world.mark->position.lat += 0.01;
  world.mark->NotifyChange(kChangeModified);
  EXPECT_NE(dialog->GetItemText(CDlgMarkProps::kPositionEdit), before);

  world.mark->Delete(false);
  EXPECT_EQ(windows().Find(world.mark), nullptr);
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return window.isNull(); }));
}

TEST_F(ObjectWindowsTest, RouteWindowSettingsOpensTheRouteSettings) {
  ASSERT_TRUE(world.frame().ShowProperties(world.route));
  CObjectPropsDialog* dialog = windows().Find(world.route);
  ASSERT_NE(dialog, nullptr);
  std::string seen;
  QTimer::singleShot(0, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      seen = modal->windowTitle().toStdString();
      modal->close();
    }
  });
  dialog->dialog_window()->SendCommand(CDlgRouteProps::kSettingsButton, vd::ui::kBnClicked);
  EXPECT_EQ(seen, "Route Settings");
  EXPECT_NE(windows().Find(world.route), nullptr) << "the route window stays";
}

}  // namespace
