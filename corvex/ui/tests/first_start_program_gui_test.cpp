// The program's first start in a new home, as a new user meets it: a chart named on the command
// line shows at once; without one the chart window offers the chart chooser, whose OK with
// nothing chosen does nothing, and the program still ends cleanly when it is closed under it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "corvex/ostrel_view.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/dlg_chart_select.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ProcessEventsUntil;
using vd::test::ScriptedAnswers;

// The titles of the dialog windows shown while it lives.
class ShownDialogs : public QObject {
 public:
  ShownDialogs() { QCoreApplication::instance()->installEventFilter(this); }
  ~ShownDialogs() override { QCoreApplication::instance()->removeEventFilter(this); }
  std::vector<std::string> titles;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(watched))
        titles.push_back(dialog->windowTitle().toStdString());
    }
    return false;
  }
};

std::string Canonical(const std::string& path) {
  std::error_code error;
  return std::filesystem::weakly_canonical(path, error).string();
}

// Started with a chart, as a double-click on a chart file starts it: the chart shows in the
// program's window; neither the chooser nor its "no maps found" question comes up.
TEST(FirstStart, ChartNamedOnTheCommandLineOpensWithoutTheChooser) {
  CorvexHome home;
  home.FirstStart();
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  const std::string chart = vd::test::WritePlainChart(home);
  ASSERT_FALSE(chart.empty());
  ShownDialogs shown;

  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  ASSERT_EQ(program.frame().ChartFrames().size(), 1u);
  CChildFrame* frame = program.frame().ChartFrames().front();
  auto* view = dynamic_cast<COstrelView*>(frame->view());
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(ProcessEventsUntil([&] { return view->client_size().cx > 100 && view->chart(); }));
  vd::test::DrainEvents();  // what start-up left queued runs, the chooser's offer among it

  EXPECT_TRUE(shown.titles.empty()) << testing::PrintToString(shown.titles);
  EXPECT_TRUE(answers.asked.empty()) << testing::PrintToString(answers.asked);
  EXPECT_EQ(Canonical(view->GetChartPath()), Canonical(chart));
  EXPECT_EQ(frame->windowTitle().toStdString(), chart);
  // The chart's own colour (palette entry 64 of the test palette: red 255 - 64, green 2 x 64,
  // blue 64) is on the screen: the chart, 256 pixels square, is drawn.
  const QImage pixels = vd::test::WindowPixels(*view);
  ASSERT_FALSE(pixels.isNull());
  int chart_pixels = 0;
  for (int y = 0; y < pixels.height(); ++y)
    for (int x = 0; x < pixels.width(); ++x) chart_pixels += pixels.pixelColor(x, y) == QColor(191, 128, 64);
  EXPECT_GT(chart_pixels, 50 * 50);
  EXPECT_TRUE(program.Quit());
}

// Started without a chart and with no maps known: the window offers the chooser once start-up
// is over (after the question about the missing maps and Refresh Map List). OK with nothing
// chosen keeps the chooser up; the session then ends under it (log-out closes the main window
// as the user does): the chooser goes with the window, the program ends cleanly, its
// configuration document is saved.
TEST(FirstStart, WithoutChartTheChooserComesAfterStartUpAndClosingUnderItEndsCleanly) {
  CorvexHome home;
  home.FirstStart();
  home.new_window_chooser.enabled = false;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  ShownDialogs shown;

  Program program;
  ASSERT_TRUE(program.started());
  EXPECT_TRUE(shown.titles.empty()) << "nothing is asked inside start-up";
  ASSERT_EQ(program.frame().ChartFrames().size(), 1u);

  // The user, acting on the dialogs as they come (a modal dialog runs its own loop): Refresh
  // Map List comes first, as no maps are known, and is left; then the chooser, empty, gets OK
  // with nothing chosen; then the session ends while the chooser is up.
  const std::string config = home.ConfigDocument();
  vd::os::RemoveFile(config);
  enum { kRefresh, kChooser, kStillUp, kClosed } step = kRefresh;
  int offered = -1;
  bool up_after_ok = false, closed = false, up_after_close = false;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* modal = dynamic_cast<vd::ui::DialogWindow*>(QApplication::activeModalWidget());
    const QString title = modal ? modal->windowTitle() : QString();
    if (step == kRefresh && title == "Refresh Map List") {
      modal->SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
      step = kChooser;
    } else if (step == kChooser && title == "Map List") {
      auto* list = modal->ControlAs<QTreeWidget>(CDlgChartSelect::kMapList);
      offered = list ? list->topLevelItemCount() : -1;
      modal->SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
      step = kStillUp;
    } else if (step == kStillUp) {
      up_after_ok = title == "Map List" && modal->isVisible();
      step = kClosed;
      closed = program.frame().CloseFrame();
    } else if (step == kClosed && modal) {
      // Left up over the closed window: the test ends it, so as to go on and say so.
      up_after_close = true;
      modal->SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
    }
  });
  user.start(20);
  ASSERT_TRUE(ProcessEventsUntil([&] { return step == kClosed && !QApplication::activeModalWidget(); }));
  user.stop();
  vd::test::DrainEvents();
  EXPECT_EQ(offered, 0);
  EXPECT_TRUE(up_after_ok) << "OK with nothing chosen chooses nothing";
  EXPECT_TRUE(closed);
  EXPECT_FALSE(up_after_close) << "the chooser goes with the window";
  EXPECT_NE(std::find(answers.asked.begin(), answers.asked.end(),
                      "No chart or map files found\nUse the \"Add\" button to add a folder to "
                      "be searched"),
            answers.asked.end())
      << testing::PrintToString(answers.asked);
  EXPECT_TRUE(program.frame().ChartFrames().empty());
  EXPECT_TRUE(vd::os::FileExists(config)) << "the configuration document is saved";
  EXPECT_TRUE(program.Quit());
}

}  // namespace
