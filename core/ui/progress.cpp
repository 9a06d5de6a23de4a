#include "core/ui/progress.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProgressBar>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <utility>

#include "core/ui/progress_template.h"
#include "platform/ui/message_box.h"
#include "platform/os/clock.h"
#include "platform/os/environment.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"

namespace {

constexpr uint64_t kFirstEstimateMs = 5000;
// The next estimate comes after 50 ms per second left, within these bounds.
constexpr uint64_t kMsPerSecondLeft = 50;
constexpr uint64_t kLongestInterval = 6000;
constexpr uint64_t kShortestInterval = 1000;

std::string EstimateText(int seconds) {
  const int h = seconds / 3600;
  const int m = (seconds / 60) % 60;
  const int s = seconds % 60;
  if (h >= 1)
    return vd::os::FormatC("Estimated time remaining: %d hour%c, %d minute%c", h, PluralLetter(h),
                           m, PluralLetter(m));
  if (m >= 1) return vd::os::FormatC("Estimated time remaining: %d minute%c", m, PluralLetter(m));
  return vd::os::FormatC("Estimated time remaining: %d second%c", s, PluralLetter(s));
}

}  // namespace

CProgress::CProgress(std::string message, int range, QWidget* parent, Clock clock)
    : DialogBase(kProgressTemplate),
      clock_(clock ? std::move(clock) : Clock(vd::os::TickCountMs)),
      message_(std::move(message)),
      range_(range) {
  if (!parent && vd::os::GetEnv("OSTREL_NOGUI")) {
    silent_ = true;
    return;
  }
  if (!parent) parent = vd::ui::ActiveDialogOwner();
  RegisterProgressTemplate();
  vd::ui::DialogWindow* dialog = vd::ui::CreateDialogFromTemplate(kProgressTemplate, parent);
  Attach(dialog);
  if (parent) {
    parent_ = parent;
    parent->setEnabled(false);
    // Disabling a widget disables its windows too; this one must stay usable.
    dialog->setEnabled(true);
  }
  // A range of 0 would turn the bar into a busy indicator.
  if (QProgressBar* bar = ProgressBarOf(*this)) bar->setRange(0, std::max(range_, 1));
  SetItemText(kProgressMessageControl, message_);
  SetItemText(kProgressEstimateControl, estimate_text_);
  dialog->show();
  period_start_ms_ = clock_();
  interval_ms_ = kFirstEstimateMs;
}

CProgress::~CProgress() {
  if (parent_) parent_->setEnabled(true);
  DestroyWindow();
}

bool CProgress::SetPos(int position) {
  if (silent_) return true;
  if (!Pump()) return false;
  position_ = position;
  if (QProgressBar* bar = ProgressBarOf(*this))
    bar->setValue(std::clamp(position, 0, bar->maximum()));
  UpdateEstimate(position);
  return true;
}

bool CProgress::StepIt() { return SetPos(position_ + 1); }

bool CProgress::SetPos64(int64_t done, int64_t total) {
  if (total <= 0) return silent_ || Pump();
  // 128 bits: done x range overflows 64 bits for files past a few gigabytes.
  return SetPos(static_cast<int>(static_cast<__int128>(done) * range_ / total));
}

void CProgress::MoveBy(int dx, int dy) {
  if (QWidget* window = widget()) window->move(window->pos() + QPoint(dx, dy));
}

void CProgress::OnCancel() {
  cancelled_ = true;
  EndDialog(vd::ui::kIdCancel);
}

bool CProgress::Pump() {
  // An application that quits closes every window, this one too, which cancels the work.
  if (cancelled_ || !handle()) return false;
  QCoreApplication::processEvents();
  return !cancelled_ && handle();
}

void CProgress::UpdateEstimate(int position) {
  const uint64_t now = clock_();
  const uint64_t elapsed_ms = now - period_start_ms_;
  if (position <= period_position_ || elapsed_ms <= interval_ms_) return;
  const double left = static_cast<double>(range_ - position) * static_cast<double>(elapsed_ms) *
                      0.001 / (position - period_position_);
  const int seconds = static_cast<int>(std::clamp(left, 0.0, double{INT_MAX}));
  interval_ms_ = static_cast<uint64_t>(seconds) * kMsPerSecondLeft;
  if (interval_ms_ > kLongestInterval + 1) interval_ms_ = kLongestInterval;
  if (interval_ms_ < kShortestInterval) interval_ms_ = kShortestInterval;
  estimate_text_ = EstimateText(seconds);
  period_start_ms_ = now;
  period_position_ = position;
  SetItemText(kProgressMessageControl, message_);
  SetItemText(kProgressEstimateControl, estimate_text_);
}
