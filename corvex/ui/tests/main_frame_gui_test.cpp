// The main frame's chart frames, layout, splash and command routing, in a started program.
#include "corvex/ui/main_frame.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QScreen>

#include <future>

#include "core/persistent_value.h"
#include "corvex/command_ids.h"
#include "corvex/ostrel_doc.h"
#include "overlays/category.h"
#include "overlays/obj_waypoint.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/splash_wnd.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/corvex_home.h"
#include "core/ui/message_boxes.h"
#include "platform/ui/responder.h"
#include "platform/os/ipc_channel.h"

namespace {

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.SetChartViewMaker(MakeChartViewWidget);
    ASSERT_TRUE(app_.InitInstance({"--no-splash"}));
    vd::test::DrainEvents();  // the program's loop has turned once before the user acts
  }
  void TearDown() override {
    frame().CloseFrame();
    app_.ExitInstance();
  }
  CMainFrame& frame() { return *app_.GetMainFrame(); }

  static bool CloseEnabled(CChildFrame* child) {
    for (QAction* action : child->systemMenu()->actions())
      if (action->text().contains("Close")) return action->isEnabled();
    return true;
  }

  vd::test::CorvexHome home_;
  vd::test::ScriptedAnswers answers_;
  vd::ui::ScopedResponder responder_{&answers_};
  COstrelApp app_;
};

// The last chart window stays: its Close is grey and a close does nothing. A second window
// makes both closable; closing one greys the other again and ends linked views.
TEST_F(MainFrameTest, TheLastChartFrameCannotBeClosed) {
  auto frames = frame().ChartFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(CloseEnabled(frames[0]));
  frames[0]->close();
  EXPECT_EQ(frame().ChartFrames().size(), 1u);

  ASSERT_NE(frame().CreateChartFrame(), nullptr);
  frames = frame().ChartFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_TRUE(CloseEnabled(frames[0]));
  EXPECT_TRUE(CloseEnabled(frames[1]));
  COstrelDoc& doc = *app_.Document();
  doc.set_sync_views(true);
  EXPECT_EQ(doc.views().size(), 2u);

  EXPECT_TRUE(frames[1]->close());
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return frame().ChartFrames().size() == 1; }));
  EXPECT_FALSE(CloseEnabled(frame().ChartFrames()[0]));
  EXPECT_FALSE(doc.sync_views());
  EXPECT_EQ(doc.views().size(), 1u);
}

// A stored layout that grew to the pane limit is dropped at close and not replaced.
TEST_F(MainFrameTest, OversizedLayoutIsDropped) {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  const char* section = "DockingPaneLayouts\\NormalLayout";
  frame().SaveLayout();
  EXPECT_TRUE(profile.GetBinary(section, "State"));
  profile.SetInt(section, "Panes", CMainFrame::kLayoutPaneLimit);
  frame().SaveLayout();
  EXPECT_FALSE(profile.GetBinary(section, "State"));
  EXPECT_FALSE(profile.GetInt(section, "Panes"));
  frame().SaveLayout();  // the next close saves a layout again
  EXPECT_TRUE(profile.GetBinary(section, "State"));
}

TEST_F(MainFrameTest, CommandsReachTheirTargetsAndUnbuiltOnesAreGrey) {
  EXPECT_TRUE(frame().RouteUpdate(kCmdShowAll).enabled);     // the document's
  EXPECT_TRUE(frame().RouteUpdate(57665).enabled);            // the frame's Exit
  EXPECT_TRUE(frame().RouteUpdate(32843).enabled);            // the application's units
  EXPECT_FALSE(frame().RouteUpdate(kCmdUndo).enabled);        // nothing to undo yet
  EXPECT_FALSE(frame().RouteUpdate(kCmdWebCloudSync).enabled); // a service not built
  EXPECT_FALSE(frame().RouteUpdate(40050).enabled);           // nobody's

  // Statute miles is the default unit; metric takes the radio mark.
  EXPECT_TRUE(frame().RouteUpdate(32843).checked);
  EXPECT_TRUE(frame().RouteCommand(32844));
  EXPECT_TRUE(frame().RouteUpdate(32844).checked);
  EXPECT_EQ(vd::OpenAppProfile().GetInt("settings", "distance_units"), 2);

  // The menu bar comes from the program's menu resource.
  QStringList titles;
  for (QAction* action : frame().menuBar()->actions()) titles << action->text();
  EXPECT_TRUE(titles.contains("&File"));
  EXPECT_TRUE(titles.contains("&Help"));
}

// Go to a mark opens the steering arrow and the navigation data as docking panes of the frame.
TEST_F(MainFrameTest, GotoMarkOpensTheNavigationPanes) {
  COstrelDoc* document = app_.Document();
  ASSERT_NE(document, nullptr);
  CObjWaypoint* mark = document->NewMark();
  mark->Set(50.0, -5.0, "", "", 10, 1);
  mark->name = "Buoy";
  mark->Select(true);
  const int docks_before = frame().findChildren<QDockWidget*>().size();
  ASSERT_TRUE(frame().RouteUpdate(kCmdGotoMark).enabled);
  ASSERT_TRUE(frame().RouteCommand(kCmdGotoMark));
  vd::test::DrainEvents();
  EXPECT_EQ(frame().findChildren<QDockWidget*>().size(), docks_before + 2);
  EXPECT_FALSE(frame().RouteUpdate(32944).enabled);  // no GPS input: no satellite pane
}

// Another program restores the window into a rectangle; what lies outside the work area, or is
// too small or inside out, is brought within it.
TEST_F(MainFrameTest, AnotherProgramPlacesTheWindowWithinTheWorkArea) {
  const QRect area = frame().screen()->availableVirtualGeometry();
  const QRect half(area.left() + area.width() / 2, area.top(), area.width() / 2, area.height());
  const struct {
    vd::os::PlacementRect asked;
    QRect placed;
  } cases[] = {
      {{half.left(), half.top(), half.left() + half.width(), half.top() + half.height()}, half},
      {{-100000, -5, 99999999999, INT64_MAX}, area},
      {{area.left() + 100, area.top() + 50, area.left() + 90, area.top() + 40},
       QRect(area.left() + 100, area.top() + 50, kMinPlacedWidth, kMinPlacedHeight)},
      {{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN},
       QRect(area.right() + 1 - kMinPlacedWidth, area.bottom() + 1 - kMinPlacedHeight,
             kMinPlacedWidth, kMinPlacedHeight)},
  };
  for (const auto& c : cases) {
    const std::string text =
        vd::os::FormatPlacementText(c.asked.left, c.asked.top, c.asked.right, c.asked.bottom);
    auto reply = std::async(std::launch::async, [&] {
      return vd::os::IpcSendText(kMainWindowClass, vd::os::kIpcSetPlacement, 9, text);
    });
    ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
      return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    EXPECT_EQ(reply.get(), std::optional<intptr_t>(1)) << text;
    EXPECT_FALSE(frame().isMaximized()) << text;
    EXPECT_EQ(frame().frameGeometry(), c.placed) << text;
  }
  // A text that is no rectangle is refused, and the window stays.
  auto refused = std::async(std::launch::async, [] {
    return vd::os::IpcSendText(kMainWindowClass, vd::os::kIpcSetPlacement, 9, "left top");
  });
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
    return refused.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  EXPECT_EQ(refused.get(), std::optional<intptr_t>(0));

  // Shown hidden and again.
  for (const auto& [command, visible] : {std::pair{0, false}, std::pair{5, true}}) {
    auto shown = std::async(std::launch::async, [command = command] {
      return vd::os::IpcSend(kMainWindowClass, vd::os::kIpcShowWindow, command);
    });
    ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
      return shown.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    EXPECT_EQ(frame().isVisible(), visible) << command;
  }
}

QMenu* FindMenu(QWidget* parent, const QString& title) {
  for (QAction* action : parent->actions()) {
    if (action->menu() && action->text() == title) return action->menu();
  }
  return nullptr;
}

// Show All lists one entry per category, numbered from the list's first id, each time it opens.
TEST_F(MainFrameTest, CategoryMenusListTheCategories) {
  QMenu* overlay = FindMenu(frame().menuBar(), "&Overlay");
  ASSERT_NE(overlay, nullptr);
  QMenu* show_all = FindMenu(overlay, "&Show All");
  ASSERT_NE(show_all, nullptr);
  auto entries = [&] {
    std::vector<std::pair<int, std::string>> found;
    for (QAction* action : show_all->actions())
      if (action->property("dynamic_entry").toBool())
        found.emplace_back(action->data().toInt(), action->text().toStdString());
    return found;
  };
  CCategory* dives = CCategory::FindOrCreate("Dives");  // with the test's reference
  emit show_all->aboutToShow();
  const auto first = entries();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.front().first, kCmdShowCategoryFirst);
  EXPECT_NE(std::find(first.begin(), first.end(),
                      std::pair<int, std::string>(
                          kCmdShowCategoryFirst + static_cast<int>(first.size()) - 1, "Dives")),
            first.end());
  emit show_all->aboutToShow();  // opened again: the same entries, not twice as many
  EXPECT_EQ(entries().size(), first.size());
  dives->Release();
}

TEST(SplashTest, AKeyPressOnlyHidesTheSplash) {
  CSplashWnd::SetEnabled(true);
  QWidget target;
  CSplashWnd::ShowSplash("Version test", QString(), nullptr);
  ASSERT_NE(CSplashWnd::Current(), nullptr);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  EXPECT_TRUE(QApplication::sendEvent(&target, &press) || true);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  // Nothing shows while splashes are off.
  CSplashWnd::SetEnabled(false);
  CSplashWnd::ShowSplash("Version test", QString(), nullptr);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

// A message box of the start-up never belongs to the splash: when the splash closes while the
// box is open (its time runs out, the user clicks), the box stays and is answered.
TEST(SplashTest, AMessageBoxOutlivesTheSplashClosingUnderIt) {
  CSplashWnd::SetEnabled(true);
  QWidget frame;
  frame.show();
  CSplashWnd::ShowSplash("Version test", QString(), &frame);
  CSplashWnd* splash = CSplashWnd::Current();
  ASSERT_NE(splash, nullptr);
  splash->activateWindow();
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return QApplication::activeWindow() == splash; }));

  // The real box, in its own event loop; the splash goes while it is open.
  struct CloseSplashThenAnswer : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest& request) override {
      owner = request.owner;
      QTimer::singleShot(0, [this] {
        going = CSplashWnd::Current();
        CSplashWnd::HideSplash();
        AnswerOnceTheSplashIsGone();
      });
      return DialogResponder::MessageBox(request);
    }
    void AnswerOnceTheSplashIsGone() {
      QTimer::singleShot(0, [this] {
        if (!going.isNull()) return AnswerOnceTheSplashIsGone();
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          box->button(QMessageBox::Retry)->click();
        }
      });
    }
    QWidget* owner = nullptr;
    QPointer<CSplashWnd> going;
  } responder;
  vd::ui::ScopedResponder scope(&responder);
  EXPECT_EQ(FormatMessageBox(vd::ui::kMbRetryCancel | vd::ui::kMbIconError, "Cannot open file"),
            vd::ui::kIdRetry);
  EXPECT_EQ(responder.owner, &frame);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  CSplashWnd::SetEnabled(false);
}

TEST(SplashTest, ProgramPictureFollowsTheScreensDotsPerInch) {
  const struct {
    double dpi;
    int bitmap;
  } kScreens[] = {{72, 102}, {96, 102}, {130, 102}, {130.5, 291}, {144, 291}, {192, 291}};
  for (const auto& screen : kScreens) EXPECT_EQ(CSplashWnd::BitmapFor(screen.dpi), screen.bitmap) << screen.dpi;
  // Both pictures are shipped, the larger at twice the size.
  const QImage normal(CSplashWnd::BitmapPath(CSplashWnd::kBitmapNormal));
  const QImage large(CSplashWnd::BitmapPath(CSplashWnd::kBitmapHighDpi));
  ASSERT_FALSE(normal.isNull());
  ASSERT_FALSE(large.isNull());
  EXPECT_EQ(large.size(), normal.size() * 2);
}

// The started program shows its picture for its screen; when that time is up, a map
// collection's own picture follows for another while, without text, and nothing after it.
TEST(SplashTest, StartedProgramShowsItsPictureThenTheMapCollectionsOne) {
  vd::test::CorvexHome home;
  vd::test::ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  const auto time_up = [] {
    CSplashWnd* splash = CSplashWnd::Current();
    QTimerEvent ended(splash->timer_id());
    QApplication::sendEvent(splash, &ended);
  };
  QImage collection(64, 40, QImage::Format_RGB32);
  collection.fill(Qt::darkGreen);
  const std::string second = home.File(".local/share/Maps_v5/Splash.png");
  ASSERT_EQ(CSplashWnd::SecondSplashPath().toStdString(), second);

  // Without, with, and with a key pressed during the program's picture.
  for (const char* run : {"without", "with", "key"}) {
    SCOPED_TRACE(run);
    if (std::string(run) != "without") {
      ASSERT_TRUE(vd::os::MakeFolders(home.File(".local/share/Maps_v5")));
      ASSERT_TRUE(collection.save(QString::fromStdString(second)));
    }
    CSplashWnd::SetEnabled(true);
    vd::test::Program program(std::vector<std::string>{});
    ASSERT_TRUE(program.started());
    CSplashWnd* splash = CSplashWnd::Current();
    ASSERT_NE(splash, nullptr);
    const QImage expected(CSplashWnd::BitmapPath(
        CSplashWnd::BitmapFor(QGuiApplication::primaryScreen()->logicalDotsPerInchX())));
    EXPECT_EQ(splash->image(), expected);
    EXPECT_TRUE(splash->text().startsWith("Version 6.4.3")) << splash->text().toStdString();
    if (std::string(run) == "key") {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
      QApplication::sendEvent(&program.frame(), &press);
      EXPECT_EQ(CSplashWnd::Current(), nullptr) << "a key only hides it";
    } else {
      time_up();
      if (std::string(run) == "with") {
        CSplashWnd* following = CSplashWnd::Current();
        ASSERT_NE(following, nullptr);
        EXPECT_EQ(following->image().size(), collection.size());
        EXPECT_TRUE(following->text().isEmpty());
        time_up();
      }
      EXPECT_EQ(CSplashWnd::Current(), nullptr);
    }
    vd::test::DrainEvents();
    EXPECT_TRUE(program.Quit());
  }
  // A picture given by file is not followed by the collection's.
  CSplashWnd::ShowSplash("Given", QString::fromStdString(second), nullptr);
  ASSERT_NE(CSplashWnd::Current(), nullptr);
  time_up();
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  CSplashWnd::SetEnabled(false);
}

}  // namespace
