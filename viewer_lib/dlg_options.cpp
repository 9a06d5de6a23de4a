#include "viewer_lib/dlg_options.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/dialog_templates.h"
#include "platform/ui/window_messages.h"

namespace {

void RegisterOptionsTemplate() {
  if (vd::ui::HasDialogTemplate(CDlgOptions::kTemplate)) return;
  vd::ui::RegisterDialogTemplate(CDlgOptions::kTemplate, [](vd::ui::DialogWindow& d) {
    auto* layout = new QVBoxLayout(&d);
    auto* label = d.AddControl(CDlgOptions::kTextControl, new QLabel);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (const int id : CDlgOptions::kButtons) {
      auto* button = d.AddControl(id, new QPushButton);
      button->setVisible(false);  // OnInitDialog shows those in use
      row->addWidget(button);
    }
    layout->addLayout(row);
  });
}

}  // namespace

CDlgOptions::CDlgOptions() : Dialog(kTemplate) { RegisterOptionsTemplate(); }

int CDlgOptions::ButtonCount() const {
  return std::clamp(static_cast<int>(option_texts.size()), 1, kMaxOptions);
}

bool CDlgOptions::OnInitDialog(QWidget* focus, intptr_t param) {
  Dialog::OnInitDialog(focus, param);
  SetWindowTextFrom(title);
  SetItemText(kTextControl, text);
  const int count = ButtonCount();
  const int first = kMaxOptions - count;
  for (int k = 0; k < count; ++k) {
    const int id = kButtons[first + k];
    ShowItem(id);
    SetItemText(id, k < static_cast<int>(option_texts.size()) ? option_texts[k] : std::string());
  }
  SetDefaultButton(kButtons[first]);
  return true;
}

void CDlgOptions::OnCommand(int id, QWidget* /*control*/, int /*code*/) {
  if (id == vd::ui::kIdCancel) {  // Escape or the close box: no option chosen
    OnCancel();
    return;
  }
  const int count = ButtonCount();
  int index = id;  // any other command names the option itself
  for (int b = 0; b < kMaxOptions; ++b) {
    if (id == kButtons[b]) index = b - (kMaxOptions - count);
  }
  if (index < 0) {
    OnCancel();
    return;
  }
  if (index < static_cast<int>(callbacks.size()) && callbacks[index]) {
    callbacks[index](context, index);
  }
  OnOK();
}

int MessageBoxN(QWidget* parent, void* context, const std::string& title, const std::string& text,
                const std::vector<DialogOption>& options) {
  CDlgOptions dialog;
  dialog.context = context;
  dialog.title = title;
  dialog.text = text;
  for (size_t k = 0; k < options.size() && k < CDlgOptions::kMaxOptions; ++k) {
    dialog.option_texts.push_back(options[k].text);
    dialog.callbacks.push_back(options[k].callback);
  }
  return dialog.DoModal(parent);
}
