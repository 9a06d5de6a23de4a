#include "core/ui/dialog.h"

#include "platform/os/numbers.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"
#include "platform/ui/native_window.h"

Dialog::Dialog(int template_id) : DialogBase(template_id) {}

int Dialog::DoModal(QWidget* parent) {
  if (template_id() == 0) return vd::ui::kIdCancel;
  const int result = DialogBase::DoModal(parent);
  if (result == -1 && last_error() != 0) {
    vd::ui::RunMessageBox(parent,
                          vd::os::FormatC("Dialog %d failed: err=0x%x", template_id(), last_error()),
                          "Internal error", vd::ui::kMbIconError);
  }
  return result;
}

void Dialog::SetScrollTarget(vd::ui::NativeWindow* target) {
  scroll_target_ = target;
  scroll_widget_ = target ? target->widget() : nullptr;
}

void Dialog::SetWindowTextFrom(const std::string& text) {
  if (QWidget* window = dialog_window()) window->setWindowTitle(QString::fromStdString(text));
}

void Dialog::ShowItem(int id) {
  if (QWidget* control = GetItem(id)) control->show();
}

void Dialog::OnOK() {
  EndDialog(vd::ui::kIdOk);
  RunCallbacksOnClose(true);
}

void Dialog::OnCancel() {
  EndDialog(vd::ui::kIdCancel);
  RunCallbacksOnClose(false);
}

intptr_t Dialog::WndProc(uint32_t msg, uintptr_t w, intptr_t l) {
  if (msg == vd::ui::kWmMouseWheel && scroll_widget_ && !scroll_target_->is_destroyed()) {
    return scroll_target_->Deliver(msg, w, l);
  }
  if (msg == vd::ui::kWmMoving) moved_ = true;
  return DialogBase::WndProc(msg, w, l);
}
