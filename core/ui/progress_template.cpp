#include "core/ui/progress_template.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/dialog_base.h"
#include "platform/ui/dialog_templates.h"

namespace {

void BuildProgressDialog(vd::ui::DialogWindow& dialog) {
  auto* layout = new QVBoxLayout(&dialog);
  auto* message = dialog.AddControl(kProgressMessageControl, new QLabel);
  message->setWordWrap(true);
  message->setMinimumWidth(320);
  layout->addWidget(message);
  auto* bar = dialog.AddControl(kProgressBarControl, new QProgressBar);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  layout->addWidget(bar);
  layout->addWidget(dialog.AddControl(kProgressEstimateControl, new QLabel));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(dialog.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
}

}  // namespace

void RegisterProgressTemplate() {
  if (!vd::ui::HasDialogTemplate(kProgressTemplate))
    vd::ui::RegisterDialogTemplate(kProgressTemplate, BuildProgressDialog);
}

QProgressBar* ProgressBarOf(const DialogBase& dialog) {
  vd::ui::DialogWindow* window = dialog.dialog_window();
  return window ? window->ControlAs<QProgressBar>(kProgressBarControl) : nullptr;
}
