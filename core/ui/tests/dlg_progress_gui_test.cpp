#include "core/ui/dlg_progress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/completion_callback.h"
#include "core/ui/progress_template.h"
#include "core/worker_thread.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"

namespace {

constexpr int64_t kTotal = int64_t{1} << 20;  // fractions of a power of two are exact

// Runs `dialog` modally; `drive` runs inside its event loop once it is up and must end it.
int RunDriven(CDlgProgress& dialog, const std::function<void()>& drive) {
  QTimer::singleShot(0, drive);
  return dialog.DoModal(nullptr);
}

// One poll of the dialog, as its timer would deliver it: the test is the dialog's clock.
void Poll(CDlgProgress& dialog, int times = 1) {
  for (int i = 0; i < times; ++i)
    dialog.handle()->Deliver(vd::ui::kWmTimer, CDlgProgress::kPollTimer, 0);
}

std::string Estimate(const CDlgProgress& dialog) {
  return dialog.GetItemText(kProgressEstimateControl);
}

class DlgProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDialogCallbackList drop;  // nothing left pending by an earlier test
    NewJob();
  }
  void NewJob(int64_t total = kTotal) {
    job.Reset();
    job.total = total;
  }
  // Polls `ticks` times with nothing done, then once more with `fraction` done.
  void PollUntilDone(CDlgProgress& dialog, int ticks, double fraction) {
    job.done = 0;
    Poll(dialog, ticks - 1);
    job.done = static_cast<int64_t>(fraction * kTotal);
    Poll(dialog);
  }
  // Ends the dialog the way the worker does: finished, then the next poll.
  void Finish(CDlgProgress& dialog) {
    job.SetFinished();
    Poll(dialog);
  }

  CDownloadProgress job;
};

TEST_F(DlgProgressTest, EstimateTexts) {
  struct Case {
    int ticks;  // 250 ms each
    double fraction;
    std::string text;
  };
  const Case cases[] = {
      {9, 0.5, ""},  // too early for an estimate
      {10, 0.5, "Estimated time: 2 seconds"},
      {18, 0.75, "Estimated time: 1 second "},
      {238, 0.5, "Estimated time: 59 seconds"},
      {362, 0.5, "Estimated time: 1 m, 30 s"},
      {86, 0.125, "Estimated time: 2 minutes"},
      {987, 0.0625, "Estimated time: 1 hour , 1 min "},  // 3701 s
      {477, 0.015625, "Estimated time: 2 hours, 5 mins"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    NewJob();
    CDlgProgress dialog(job, "Downloading", /*poll_timer=*/false);
    std::string text;
    int bar = -1;
    int result = RunDriven(dialog, [&] {
      PollUntilDone(dialog, c.ticks, c.fraction);
      text = Estimate(dialog);
      bar = ProgressBarOf(dialog)->value();
      Finish(dialog);
    });
    EXPECT_EQ(result, vd::ui::kIdOk);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(bar, static_cast<int>(c.fraction * 100));
  }
}

TEST_F(DlgProgressTest, EstimateSmoothsRestartsAndShowsStatusLines) {
  CDlgProgress dialog(job, "Downloading", /*poll_timer=*/false);
  std::vector<std::string> texts;
  RunDriven(dialog, [&] {
    texts.push_back(dialog.GetItemText(kProgressMessageControl));
    PollUntilDone(dialog, 10, 0.25);  // gain 0.25: 2.5 s x 0.75 / 0.25
    texts.push_back(Estimate(dialog));
    job.done = kTotal / 4;
    Poll(dialog, 9);
    job.done = kTotal * 3 / 4;  // gain 0.5, smoothed to 0.375: 2.5 s x 0.25 / 0.375
    job.SetMessage("Unpacking");
    Poll(dialog);
    texts.push_back(Estimate(dialog));
    texts.push_back(dialog.GetItemText(kProgressMessageControl));
    // A new phase: counting starts again from nothing done (else this would be 1 s).
    job.restart_estimate = true;
    Poll(dialog);
    EXPECT_FALSE(job.restart_estimate);
    job.done = kTotal * 7 / 8;  // gain 0.875, smoothed to 0.625: 2.5 s x 0.125 / 0.625
    Poll(dialog, 10);
    texts.push_back(Estimate(dialog));
    Finish(dialog);
  });
  EXPECT_EQ(texts, (std::vector<std::string>{"Downloading", "Estimated time: 7 seconds",
                                             "Estimated time: 1 second ", "Unpacking",
                                             "Estimated time: 0 seconds"}));
  EXPECT_FALSE(job.TakeMessage());
}

TEST_F(DlgProgressTest, UnknownTotalLeavesBarAndEstimateAlone) {
  for (int64_t total : {int64_t{0}, int64_t{-1}}) {
    NewJob(total);
    job.done = 12345;
    CDlgProgress dialog(job, "Downloading", /*poll_timer=*/false);
    int bar = -1;
    std::string text = "unset";
    RunDriven(dialog, [&] {
      Poll(dialog, 40);
      bar = ProgressBarOf(dialog)->value();
      text = Estimate(dialog);
      Finish(dialog);
    });
    EXPECT_EQ(bar, 0);
    EXPECT_EQ(text, "");
  }
}

// A pool that works until it is cancelled through the job's progress record.
class CancellablePool : public CWorkerThread {
 public:
  explicit CancellablePool(CDownloadProgress& job) : job_(job) {
    for (auto& j : jobs_) j.pool = this;
  }
  ~CancellablePool() override { Stop(); }

 protected:
  JobData* CreateJobData(int index) override { return &jobs_[static_cast<size_t>(index)]; }

 private:
  struct Job : JobData {
    bool Claim() override { return true; }
    void Work() override {
      pool->job_.done += 1;
      if (pool->job_.cancel) pool->RequestStop();
      std::this_thread::yield();
    }
    CancellablePool* pool = nullptr;
  };
  CDownloadProgress& job_;
  std::array<Job, kDefaultCount> jobs_;
};

TEST_F(DlgProgressTest, CancelStopsTheWorkersAndClosesOnceTheyHaveFinished) {
  enum class How { kButton, kCloseWindow, kEscape };
  for (How how : {How::kButton, How::kCloseWindow, How::kEscape}) {
    SCOPED_TRACE(static_cast<int>(how));
    NewJob();
    CancellablePool pool(job);
    job.thread = std::thread([&] {
      pool.Run();
      job.SetFinished();
    });

    bool open_after_cancel = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      switch (how) {
        case How::kButton: dialog->ControlAs<QPushButton>(vd::ui::kIdCancel)->click(); break;
        case How::kCloseWindow: dialog->close(); break;
        case How::kEscape: dialog->reject(); break;
      }
      open_after_cancel = !dialog->ended();
    });
    int chained = 99;
    CCompletionCallback after;
    after.Register([&](int result) { return chained = result; });
    RunWithProgress(nullptr, job, "Working");  // returns once the pool has stopped
    RunPendingCallbacks(after);

    EXPECT_TRUE(open_after_cancel);  // the dialog waited for the workers
    EXPECT_TRUE(job.cancel);
    EXPECT_TRUE(pool.stopping());
    EXPECT_FALSE(job.thread.joinable());  // joined by the dialog's completion step
    EXPECT_EQ(chained, -1);
  }
}

// In a child process: a quitting application stays quitting.
TEST(DlgProgressDeathTest, QuittingWhileTheJobRunsStillCancelsAndJoinsTheWorker) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        CDownloadProgress job;
        job.total = kTotal;
        CancellablePool pool(job);
        job.thread = std::thread([&] {
          pool.Run();
          job.SetFinished();
        });
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);  // the dialog's event loop returns at once
        int chained = 99;
        CCompletionCallback after;
        after.Register([&](int result) { return chained = result; });
        RunWithProgress(nullptr, job, "Working");
        RunPendingCallbacks(after);
        const bool joined = !job.thread.joinable();
        std::_Exit(chained == -1 && job.cancel && pool.stopping() && joined ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

struct RecordingResponder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    boxes.push_back(request.caption + ": " + request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> boxes;
};

TEST_F(DlgProgressTest, AJobDoneAtOnceShowsNoDialogButItsErrorAfterwards) {
  for (bool with_owner : {true, false}) {
    SCOPED_TRACE(with_owner);
    NewJob();
    job.thread = std::thread([&] {
      job.SetErrorText("Server said no");
      job.SetFinished();
    });
    ASSERT_TRUE(job.WaitFinished(30000));

    RecordingResponder responder;
    vd::ui::ScopedResponder scope(&responder);
    QWidget owner;
    bool dialog_shown = false;
    QTimer::singleShot(0, [&] { dialog_shown = QApplication::activeModalWidget() != nullptr; });
    int chained = 99;
    CCompletionCallback after;
    after.Register([&](int result) { return chained = result; });
    RunWithProgress(with_owner ? &owner : nullptr, job, "Working");
    RunPendingCallbacks(after);
    QCoreApplication::processEvents();  // lets the probe run if no dialog did

    EXPECT_FALSE(dialog_shown);
    EXPECT_FALSE(job.thread.joinable());
    EXPECT_EQ(chained, 0);
    EXPECT_EQ(responder.boxes, with_owner ? std::vector<std::string>{"Error: Server said no"}
                                          : std::vector<std::string>{});
  }
}

}  // namespace
