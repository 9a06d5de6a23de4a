#include "corvex/ui/dlg_magnetic_variation.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"

namespace {

constexpr char kShowMagneticSetting[] = "show_magnetic";

void BuildMagneticVariationDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Magnetic Variation");
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(d.AddControl(CDlgMagneticVariation::kShowMagneticCheck,
                                 new QCheckBox("&Show bearings in degrees magnetic")));
  layout->addWidget(new QLabel("Variation is computed automatically"));
  vd::ui::AddButtonRow(d, layout, {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

}  // namespace

void CDlgMagneticVariation::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildMagneticVariationDialog);
}

CDlgMagneticVariation::CDlgMagneticVariation(QWidget* parent, bool show_magnetic)
    : CDialogF1Help(kTemplate, parent), show_magnetic_(show_magnetic) {
  RegisterTemplate();
}

bool CDlgMagneticVariation::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  dialog_window()->SetCheckState(kShowMagneticCheck, show_magnetic_ ? 1 : 0);
  return true;
}

void CDlgMagneticVariation::OnOK() {
  show_magnetic_ = dialog_window()->CheckState(kShowMagneticCheck) == 1;
  CDialogF1Help::OnOK();
}

bool EditMagneticVariation(CAppCommon& app, QWidget* parent) {
  CDlgMagneticVariation dialog(parent, app.show_magnetic.value != 0);
  if (dialog.DoModal() != vd::ui::kIdOk) return false;
  app.show_magnetic.value = dialog.show_magnetic() ? 1 : 0;
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, kShowMagneticSetting,
                              app.show_magnetic.value);
  if (dialog.show_magnetic()) app.ResetCurrentPosition();
  return true;
}
