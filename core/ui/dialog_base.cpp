#include "core/ui/dialog_base.h"

#include <QWidget>

#include "platform/ui/dialog_templates.h"

namespace {

// The control that takes the focus first: the first one the Tab key reaches.
QWidget* FirstFocusControl(QWidget* dialog) {
  for (QWidget* w = dialog->nextInFocusChain(); w && w != dialog; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) return w;
  }
  return nullptr;
}

bool IsDestroyMessage(uint32_t msg) {
  return msg == vd::ui::kWmDestroy || msg == vd::ui::kWmNcDestroy;
}

}  // namespace

int DialogBase::DoModal(QWidget* parent) {
  last_error_ = 0;
  vd::ui::DialogWindow* dialog = vd::ui::CreateDialogFromTemplate(template_id_, parent);
  if (!dialog) {
    last_error_ = vd::ui::kErrorTemplateNotFound;
    return -1;
  }
  Attach(dialog);
  dialog->Deliver(vd::ui::kWmInitDialog, reinterpret_cast<uintptr_t>(FirstFocusControl(dialog)), 0);
  const int result = dialog->RunModal();
  DestroyWindow();
  return result;
}

void DialogBase::EndDialog(int result) {
  if (vd::ui::DialogWindow* dialog = dialog_window()) dialog->End(result);
}

vd::ui::DialogWindow* DialogBase::dialog_window() const {
  return dynamic_cast<vd::ui::DialogWindow*>(handle());
}

QWidget* DialogBase::GetItem(int id) const {
  vd::ui::DialogWindow* dialog = dialog_window();
  return dialog ? dialog->Control(id) : nullptr;
}

std::string DialogBase::GetItemText(int id) const {
  vd::ui::DialogWindow* dialog = dialog_window();
  return dialog ? dialog->ItemText(id) : std::string();
}

void DialogBase::SetItemText(int id, const std::string& text) {
  if (vd::ui::DialogWindow* dialog = dialog_window()) dialog->SetItemText(id, text);
}

bool DialogBase::SetDefaultButton(int id) {
  vd::ui::DialogWindow* dialog = dialog_window();
  return dialog && dialog->SetDefaultButton(id);
}

void DialogBase::OnOK() { EndDialog(vd::ui::kIdOk); }

void DialogBase::OnCancel() { EndDialog(vd::ui::kIdCancel); }

void DialogBase::OnCommand(int id, QWidget* /*control*/, int /*code*/) {
  if (id == vd::ui::kIdOk) {
    OnOK();
  } else if (id == vd::ui::kIdCancel) {
    OnCancel();
  }
}

intptr_t DialogBase::OnNotify(int /*id*/, vd::ui::NotifyHeader* /*header*/) { return 0; }

intptr_t DialogBase::WndProc(uint32_t msg, uintptr_t w, intptr_t l) {
  switch (msg) {
    case vd::ui::kWmNotify:
      OnNotify(static_cast<int>(w), reinterpret_cast<vd::ui::NotifyHeader*>(l));
      return 1;
    case vd::ui::kWmInitDialog:
      return OnInitDialog(reinterpret_cast<QWidget*>(w), l) ? 1 : 0;
    case vd::ui::kWmCommand:
      OnCommand(vd::ui::LowWord(w), reinterpret_cast<QWidget*>(l), vd::ui::HighWord(w));
      return 1;
    default:
      break;
  }
  DispatchWindowEvent(msg, w, l);
  intptr_t result = OnMessage(msg, w, l);
  // What the dialog leaves alone gets the default handling; the destroy messages always pass
  // on, so that this object lets go of the window.
  if (result == 0 || IsDestroyMessage(msg)) {
    const intptr_t by_default = CallPreviousProc(msg, w, l);
    if (result == 0) result = by_default;
  }
  if (msg == vd::ui::kWmDestroy) ClearHandle();
  return result;
}
