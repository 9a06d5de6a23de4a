#pragma once
// The library's own modal dialog, tied to the deferred completion callbacks: at construction it
// takes every pending callback (completion_callback.h), and when it closes with OK or Cancel it
// runs them, then those registered while it was open, the chain starting at 0 for OK and -1
// for Cancel. Callbacks it still holds when destroyed are dropped without running.
//
//   Dialog dialog(kProgressDialog);
//   int result = dialog.DoModal(parent);  // 1 OK, 2 Cancel, or what EndDialog was given
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>

#include "core/completion_callback.h"
#include "core/ui/dialog_base.h"

class Dialog : public DialogBase, public CDialogCallbackList {
 public:
  explicit Dialog(int template_id);
  ~Dialog() override = default;

  // Template id 0 returns 2 at once, showing nothing. A template that cannot be built shows
  // "Dialog %d failed: err=0x%x" (template id, error) captioned "Internal error" with the error
  // icon and returns -1. Otherwise runs the dialog and returns its result.
  int DoModal(QWidget* parent) override;

  // Mouse-wheel messages are handed to this window while it exists (its answer is the
  // result); null for none.
  void SetScrollTarget(vd::ui::NativeWindow* target);
  // Set once the user has dragged the dialog.
  bool moved() const { return moved_; }

  // The dialog window's title; nothing while the dialog is not shown.
  void SetWindowTextFrom(const std::string& text);
  // Shows the control; nothing when it does not exist.
  void ShowItem(int id);

  // EndDialog(1), then the callbacks with chained result 0.
  void OnOK() override;
  // EndDialog(2), then the callbacks with chained result -1.
  void OnCancel() override;
  intptr_t WndProc(uint32_t msg, uintptr_t w, intptr_t l) override;

 private:
  vd::ui::NativeWindow* scroll_target_ = nullptr;
  QPointer<QWidget> scroll_widget_;  // tells whether scroll_target_ still exists
  bool moved_ = false;
};
