#include "corvex/ui/dlg_offset_mark.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "corvex/ui/dialog_controls.h"
#include "corvex/ui/object_props_dialog.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"

namespace {

using D = CDlgOffsetMark;

void BuildOffsetDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Offset Mark");
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Offset"), 0, 0);
  grid->addWidget(d.AddControl(D::kDistanceEdit, new QLineEdit), 0, 1);
  grid->addWidget(d.AddControl(D::kUnitCombo, new CUnitCombo), 0, 2);
  grid->addWidget(new QLabel("Bearing"), 1, 0);
  grid->addWidget(d.AddControl(D::kBearingEdit, new QLineEdit), 1, 1);
  grid->addWidget(d.AddControl(D::kBearingUnit, new QLabel), 1, 2);
  layout->addLayout(grid);
  layout->addWidget(d.AddControl(D::kMoveRadio, new QRadioButton("Move mark")));
  layout->addWidget(d.AddControl(D::kCreateNewRadio, new QRadioButton("Create New mark")));
  vd::ui::AddButtonRow(d, layout, {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

double Wrapped(double degrees) {
  double value = std::fmod(degrees, 360.0);
  if (value < 0) value += 360.0;
  return value;
}

}  // namespace

void CDlgOffsetMark::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildOffsetDialog);
}

CDlgOffsetMark::CDlgOffsetMark(QWidget* parent, bool magnetic, double variation)
    : CDialogF1Help(kTemplate, parent), magnetic_(magnetic), variation_(variation) {
  RegisterTemplate();
  create_new_ =
      vd::OpenAppProfile().GetInt(vd::kSettingsSection, kCreateNewSetting).value_or(0) != 0;
}

bool CDlgOffsetMark::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  dynamic_cast<CUnitCombo*>(GetItem(kUnitCombo))->Fill();
  window->SetItemText(kBearingUnit, std::string("\xC2\xB0") + (magnetic_ ? "M" : "T"));
  window->SetItemText(kDistanceEdit, "0");
  window->SetItemText(kBearingEdit, "0");
  window->SetCheckState(create_new_ ? kCreateNewRadio : kMoveRadio, 1);
  return true;
}

void CDlgOffsetMark::OnOK() {
  vd::ui::DialogWindow* window = dialog_window();
  const std::optional<double> distance = ParseNumber(GetItemText(kDistanceEdit));
  const std::optional<double> bearing = ParseNumber(GetItemText(kBearingEdit));
  const float factor = dynamic_cast<CUnitCombo*>(GetItem(kUnitCombo))->GetFactor();
  if (!distance || *distance < 0 || !bearing || factor <= 0.0f) {
    FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconWarning, "%s",
                     "Enter the offset as a distance of 0 or more and a bearing in degrees.");
    return;
  }
  distance_nm_ = *distance / factor;
  bearing_true_ = Wrapped(magnetic_ ? *bearing - variation_ : *bearing);
  create_new_ = window->CheckState(kCreateNewRadio) == 1;
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, kCreateNewSetting, create_new_ ? 1 : 0);
  CDialogF1Help::OnOK();
}
