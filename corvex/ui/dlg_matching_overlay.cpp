#include "corvex/ui/dlg_matching_overlay.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "corvex/ostrel_doc.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"

namespace {

using D = CDlgMatchingOverlay;

void BuildMatchingDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Show/Hide Matching Overlays");
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(d.AddControl(D::kHeading, new QLabel));
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Name:"), 0, 0);
  grid->addWidget(d.AddControl(D::kNameEdit, new QLineEdit), 0, 1);
  grid->addWidget(new QLabel("Category:"), 1, 0);
  grid->addWidget(d.AddControl(D::kCategoryEdit, new QLineEdit), 1, 1);
  layout->addLayout(grid);
  layout->addWidget(new QLabel("Use * and ? wildcards to match overlay name and category"));
  vd::ui::AddButtonRow(d, layout, {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

}  // namespace

void CDlgMatchingOverlay::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildMatchingDialog);
}

CDlgMatchingOverlay::CDlgMatchingOverlay(QWidget* parent, bool show)
    : CDialogF1Help(kTemplate, parent), show_(show) {
  RegisterTemplate();
}

bool CDlgMatchingOverlay::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  dialog_window()->SetItemText(
      kHeading, show_ ? "Show all overlays matching:" : "Hide all overlays matching:");
  return true;
}

void CDlgMatchingOverlay::OnOK() {
  name_ = NormaliseMatchPattern(GetItemText(kNameEdit));
  category_ = NormaliseMatchPattern(GetItemText(kCategoryEdit));
  CDialogF1Help::OnOK();
}
