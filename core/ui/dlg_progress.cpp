#include "core/ui/dlg_progress.h"

#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <utility>

#include "core/completion_callback.h"
#include "core/ui/progress_template.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"

namespace {

constexpr int kTicksPerEstimate = 10;
constexpr double kSecondsPerTick = 0.25;
constexpr double kLeastGain = 0.0001;  // below it the estimate waits for more progress
constexpr int kFinishWaitMs = 10;      // a job done by then shows no dialog

std::string EstimateText(int seconds) {
  const int h = seconds / 3600;
  const int m = (seconds / 60) % 60;
  const int s = seconds % 60;
  if (h >= 1)
    return vd::os::FormatC("Estimated time: %d hour%c, %d min%c", h, PluralLetter(h), m,
                           PluralLetter(m));
  if (m >= 2) return vd::os::FormatC("Estimated time: %d minutes", m);
  if (m < 1) return vd::os::FormatC("Estimated time: %d second%c", s, PluralLetter(s));
  return vd::os::FormatC("Estimated time: 1 m, %d s", s);
}

}  // namespace

CDlgProgress::CDlgProgress(CDownloadProgress& job, std::string title, bool poll_timer)
    : Dialog(kProgressTemplate), job_(job), title_(std::move(title)), poll_timer_(poll_timer) {
  RegisterProgressTemplate();
}

int CDlgProgress::Run(QWidget* owner) {
  const int result = DoModal(owner);
  if (result != vd::ui::kIdOk && result != vd::ui::kIdCancel) {
    job_.cancel = true;
    RunCallbacksOnClose(false);
  }
  return result;
}

bool CDlgProgress::OnInitDialog(QWidget* focus, intptr_t param) {
  SetItemText(kProgressMessageControl, title_);
  if (poll_timer_) handle()->SetTimer(kPollTimer, kPollMs);
  return Dialog::OnInitDialog(focus, param);
}

void CDlgProgress::OnTimer(uintptr_t id) {
  vd::ui::DialogWindow* window = dialog_window();
  if (id != kPollTimer || !window || window->ended()) return;
  Update();
  if (!job_.finished()) return;
  if (job_.cancel)
    Dialog::OnCancel();
  else
    Dialog::OnOK();
}

void CDlgProgress::OnCancel() { job_.cancel = true; }

void CDlgProgress::Update() {
  ++ticks_;
  const int64_t total = job_.total;
  // A total of 0 (or a negative one, for a size the server did not give) is unknown: the bar
  // stays and no estimate is made.
  if (total > 0) {
    const float fraction =
        std::clamp(static_cast<float>(static_cast<double>(job_.done) / static_cast<double>(total)),
                   0.0f, 1.0f);
    if (QProgressBar* bar = ProgressBarOf(*this)) bar->setValue(static_cast<int>(fraction * 100));
    if (ticks_ >= kTicksPerEstimate) {
      const float gain = fraction - last_fraction_;
      const float previous = smoothed_gain_ != 0 ? smoothed_gain_ : gain;
      smoothed_gain_ = static_cast<float>((previous + gain) * 0.5);
      if (smoothed_gain_ > kLeastGain) {
        const double seconds = ticks_ * kSecondsPerTick * (1 - fraction) / smoothed_gain_;
        ticks_ = 0;
        last_fraction_ = fraction;
        SetItemText(kProgressEstimateControl,
                    EstimateText(static_cast<int>(std::min(seconds, double{INT_MAX}))));
      }
    }
  }
  if (std::optional<std::string> message = job_.TakeMessage())
    SetItemText(kProgressMessageControl, *message);
  if (job_.restart_estimate.exchange(false)) {
    ticks_ = 0;
    last_fraction_ = 0;
  }
}

void RunWithProgress(QWidget* owner, CDownloadProgress& job, const std::string& title) {
  CCompletionCallback entry;
  entry.Register([owner = QPointer<QWidget>(owner), &job](int chained) {
    const std::string error = job.GetErrorText();
    if (owner && !error.empty()) vd::ui::RunMessageBox(owner, error, "Error", vd::ui::kMbOk);
    if (job.thread.joinable()) job.thread.join();
    return chained;
  });
  if (!job.WaitFinished(kFinishWaitMs)) {
    // Takes the pending callbacks, this one included, and runs them when it closes.
    CDlgProgress dialog(job, title);
    dialog.Run(owner);
  }
  RunPendingCallbacks(entry);
}
