#include "viewer_lib/dlg_buttons.h"

bool CDlgButtons::OnInitDialog(QWidget* focus, intptr_t param) {
  if (text_control != 0) SetItemText(text_control, text);
  return Dialog::OnInitDialog(focus, param);
}

void CDlgButtons::OnCommand(int id, QWidget* control, int code) {
  if (control) {
    Dialog::OnCommand(id, control, code);
    return;
  }
  result = id;
  OnCancel();
}

int ShowButtonDialog(int template_id, QWidget* parent, const std::string& text,
                     int text_control) {
  CDlgButtons dialog(template_id);
  dialog.text = text;
  dialog.text_control = text_control;
  const int closed_by = dialog.DoModal(parent);
  return dialog.result != 0 ? dialog.result : closed_by;
}
