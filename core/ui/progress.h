#pragma once
// The modeless progress dialog of work that runs on the user-interface thread itself (a file
// copy, an export): the work calls SetPos or StepIt as it goes, which moves the bar, keeps the
// user interface alive by handling waiting events, and now and then updates an estimate of the
// time left. A false answer means stop: the user cancelled or the application is quitting.
//
//   CProgress progress("Copying " + from + " To " + to, blocks);
//   for (int i = 0; i < blocks; ++i) {
//     ...
//     if (!progress.StepIt()) return false;
//   }
#include <cstdint>
#include <functional>
#include <string>

#include <QPointer>

#include "core/ui/dialog_base.h"

class QWidget;

class CProgress : public DialogBase {
 public:
  // Milliseconds of a monotonic clock; the estimate measures its periods with it.
  using Clock = std::function<uint64_t()>;

  // Without a parent the active window is the parent. The parent is disabled while the dialog
  // exists. When no parent is given and the environment variable "OSTREL_NOGUI" is set, no
  // window is made and every call succeeds silently. An empty clock is the system's tick count.
  CProgress(std::string message, int range, QWidget* parent = nullptr, Clock clock = {});
  // Re-enables the parent and closes the window.
  ~CProgress() override;

  // False once the user has cancelled or the application is quitting; otherwise moves the bar
  // to position (0 .. range) and true.
  bool SetPos(int position);
  // SetPos(position + 1).
  bool StepIt();
  // SetPos(done * range / total); with a total of 0 only handles waiting events.
  bool SetPos64(int64_t done, int64_t total);
  void MoveBy(int dx, int dy);

  bool cancelled() const { return cancelled_; }

  // Cancel, Escape and closing the window cancel and hide the dialog.
  void OnCancel() override;

 private:
  // Handles waiting events; false when the work is to stop.
  bool Pump();
  // The estimate, when the current period has run long enough.
  void UpdateEstimate(int position);

  const Clock clock_;
  bool silent_ = false;  // no window: "OSTREL_NOGUI"
  const std::string message_;
  std::string estimate_text_ = "Estimated time remaining:";
  QPointer<QWidget> parent_;
  bool cancelled_ = false;
  const int range_;
  int position_ = 0;
  uint64_t period_start_ms_ = 0;
  int period_position_ = 0;
  uint64_t interval_ms_ = 0;  // until the next estimate
};
