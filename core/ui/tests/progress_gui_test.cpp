#include "core/ui/progress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/ui/progress_template.h"
#include "platform/os/environment.h"
#include "platform/ui/dialog_window.h"

namespace {

constexpr const char* kNoGui = "OSTREL_NOGUI";

// The clock of the estimate, moved by the test.
struct FakeClock {
  uint64_t now_ms = 1000000;
  CProgress::Clock clock() {
    return [this] { return now_ms; };
  }
};

std::string Estimate(const CProgress& progress) {
  return progress.GetItemText(kProgressEstimateControl);
}

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::os::UnsetEnv(kNoGui); }
  void TearDown() override { vd::os::UnsetEnv(kNoGui); }
  FakeClock time;
};

TEST_F(ProgressTest, EstimateTexts) {
  struct Case {
    int range;
    int position;
    uint64_t elapsed_ms;
    std::string text;
  };
  const Case cases[] = {
      // The first estimate waits until more than 5 s have passed, and for some progress.
      {100, 50, 5000, "Estimated time remaining:"},
      {100, 0, 60000, "Estimated time remaining:"},
      {100, 10, 10000, "Estimated time remaining: 1 minute "},  // 90 s
      {100, 50, 59000, "Estimated time remaining: 59 seconds"},
      {100, 80, 6000, "Estimated time remaining: 1 second "},  // 1.5 s
      {100, 50, 3700000, "Estimated time remaining: 1 hour , 1 minute "},
      {100, 50, 7500000, "Estimated time remaining: 2 hours, 5 minutes"},
      {100, 120, 60000, "Estimated time remaining: 0 seconds"},  // past the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    CProgress progress("Copying", c.range, nullptr, time.clock());
    EXPECT_EQ(progress.GetItemText(kProgressMessageControl), "Copying");
    time.now_ms += c.elapsed_ms;
    EXPECT_TRUE(progress.SetPos(c.position));
    EXPECT_EQ(Estimate(progress), c.text);
  }
}

TEST_F(ProgressTest, NextEstimateWaitsFiftyMillisecondsPerSecondLeft) {
  CProgress progress("Copying", 100, nullptr, time.clock());
  time.now_ms += 10000;
  progress.SetPos(10);  // 90 s left: the next estimate comes after 4.5 s
  time.now_ms += 4500;
  progress.SetPos(20);
  EXPECT_EQ(Estimate(progress), "Estimated time remaining: 1 minute ");
  time.now_ms += 1;
  progress.SetPos(20);  // 80 left at 10 per 4.501 s
  EXPECT_EQ(Estimate(progress), "Estimated time remaining: 36 seconds");
  EXPECT_EQ(ProgressBarOf(progress)->value(), 20);
  EXPECT_TRUE(progress.StepIt());
  EXPECT_EQ(ProgressBarOf(progress)->value(), 21);
}

TEST_F(ProgressTest, SetPos64ScalesWithoutOverflow) {
  const int range = 1 << 30;
  CProgress progress("Copying", range, nullptr, time.clock());
  // done x range needs more than 64 bits here.
  EXPECT_TRUE(progress.SetPos64(int64_t{1} << 40, int64_t{1} << 41));
  EXPECT_EQ(ProgressBarOf(progress)->value(), range / 2);
  EXPECT_TRUE(progress.SetPos64(5, 0));  // unknown total: only keeps the interface alive
  EXPECT_EQ(ProgressBarOf(progress)->value(), range / 2);
}

TEST_F(ProgressTest, CancelStopsTheWorkAndTheParentIsDisabledMeanwhile) {
  QWidget parent;
  parent.show();
  {
    CProgress progress("Copying", 10, &parent, time.clock());
    EXPECT_FALSE(parent.isEnabled());
    auto* cancel = progress.dialog_window()->ControlAs<QPushButton>(vd::ui::kIdCancel);
    ASSERT_TRUE(cancel->isEnabled());
    EXPECT_TRUE(progress.StepIt());
    cancel->click();
    EXPECT_FALSE(progress.StepIt());
    EXPECT_FALSE(progress.SetPos64(1, 2));
    EXPECT_TRUE(progress.cancelled());
    EXPECT_FALSE(progress.widget()->isVisible());
  }
  EXPECT_TRUE(parent.isEnabled());
}

// In a child process: a quitting application stays quitting.
TEST(ProgressDeathTest, QuittingTheApplicationStopsTheWork) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        FakeClock time;
        CProgress progress("Copying", 10, nullptr, time.clock());
        const bool before = progress.SetPos(1);
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
        std::_Exit(before && !progress.SetPos(2) ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(ProgressTest, NoGuiWithoutParentIsSilent) {
  ASSERT_TRUE(vd::os::SetEnv(kNoGui, "1"));
  CProgress silent("Copying", 10, nullptr, time.clock());
  EXPECT_EQ(silent.handle(), nullptr);
  EXPECT_TRUE(silent.StepIt());
  EXPECT_TRUE(silent.SetPos(5));
  EXPECT_TRUE(silent.SetPos64(1, 0));
  silent.MoveBy(10, 10);

  QWidget parent;  // a parent given still gets its dialog
  CProgress shown("Copying", 10, &parent, time.clock());
  EXPECT_NE(shown.handle(), nullptr);
}

}  // namespace
