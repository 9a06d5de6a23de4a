#include "corvex/ui/dlg_nav_alarms.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cmath>

#include "core/ui/message_boxes.h"
#include "corvex/ui/dialog_controls.h"
#include "gps/ui/navigation_data.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"

namespace {

void BuildNavAlarmsDialog(vd::ui::DialogWindow& d) {
  using D = CDlgNavAlarms;
  d.setWindowTitle("Nav Alarms");
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  grid->addWidget(d.AddControl(D::kArrivalCheck, new QCheckBox("Waypoint Arrival")), 0, 0);
  grid->addWidget(d.AddControl(D::kArrivalEdit, new QLineEdit), 0, 1);
  grid->addWidget(d.AddControl(D::kUnitCombo, new CUnitCombo), 0, 2, 2, 1);
  grid->addWidget(d.AddControl(D::kCrossTrackCheck, new QCheckBox("Cross-track")), 1, 0);
  grid->addWidget(d.AddControl(D::kCrossTrackEdit, new QLineEdit), 1, 1);
  layout->addLayout(grid);
  vd::ui::AddButtonRow(d, layout, {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

// The whole text as a number (blanks around it allowed).
std::optional<double> WholeNumber(const std::string& text) {
  double value = 0.0;
  size_t used = 0;
  if (!vd::os::ParseDouble(text, value, &used)) return std::nullopt;
  if (text.find_first_not_of(" \t", used) != std::string::npos) return std::nullopt;
  return value;
}

}  // namespace

void CDlgNavAlarms::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildNavAlarmsDialog);
}

CDlgNavAlarms::CDlgNavAlarms(QWidget* parent, float arrival_nm, float cross_track_nm)
    : CDialogF1Help(kTemplate, parent),
      alarms_{{{kArrivalCheck, kArrivalEdit, "arrival", arrival_nm, {}},
               {kCrossTrackCheck, kCrossTrackEdit, "cross-track", cross_track_nm, {}}}} {
  RegisterTemplate();
  // A stored value that is no distance switches its alarm off.
  for (Alarm& alarm : alarms_)
    if (!(alarm.nm > 0.0f) || !std::isfinite(alarm.nm)) alarm.nm = 0.0f;
}

bool CDlgNavAlarms::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  auto* units = dynamic_cast<CUnitCombo*>(GetItem(kUnitCombo));
  units->Fill();
  factor_ = units->GetFactor();
  for (Alarm& alarm : alarms_) {
    dialog_window()->SetCheckState(alarm.check, alarm.nm > 0.0f ? 1 : 0);
    Show(alarm);
  }
  EnableEdits();
  return true;
}

std::optional<float> CDlgNavAlarms::TypedNm(const Alarm& alarm) const {
  const std::string text = GetItemText(alarm.edit);
  if (text == alarm.shown) return alarm.nm;
  const std::optional<double> value = WholeNumber(text);
  if (!value || !(*value >= 0.0)) return std::nullopt;
  const float nm = static_cast<float>(*value / factor_);
  if (!std::isfinite(nm)) return std::nullopt;
  return nm;
}

void CDlgNavAlarms::Show(Alarm& alarm) {
  alarm.shown = vd::os::FormatC("%.2f", alarm.nm * factor_);
  SetItemText(alarm.edit, alarm.shown);
}

void CDlgNavAlarms::EnableEdits() {
  for (const Alarm& alarm : alarms_)
    dialog_window()->EnableItem(alarm.edit, dialog_window()->CheckState(alarm.check) == 1);
}

void CDlgNavAlarms::OnCommand(int id, QWidget* control, int code) {
  if (id == kArrivalCheck || id == kCrossTrackCheck) {
    EnableEdits();
    return;
  }
  if (id == kUnitCombo) {
    const float factor = dynamic_cast<CUnitCombo*>(GetItem(kUnitCombo))->GetFactor();
    if (factor <= 0.0f) return;
    // Distances typed in the old unit are taken over; text that is no distance stays as typed.
    std::array<std::optional<float>, 2> typed;
    for (size_t i = 0; i < alarms_.size(); ++i) typed[i] = TypedNm(alarms_[i]);
    factor_ = factor;
    for (size_t i = 0; i < alarms_.size(); ++i) {
      if (!typed[i]) continue;
      alarms_[i].nm = *typed[i];
      Show(alarms_[i]);
    }
    return;
  }
  CDialogF1Help::OnCommand(id, control, code);
}

void CDlgNavAlarms::OnOK() {
  std::array<float, 2> values{};
  for (size_t i = 0; i < alarms_.size(); ++i) {
    const Alarm& alarm = alarms_[i];
    if (dialog_window()->CheckState(alarm.check) != 1) continue;  // unticked: off
    const std::optional<float> nm = TypedNm(alarm);
    if (!nm) {
      FormatMessageBox(vd::ui::kMbIconWarning,
                       "Please enter the %s distance as a number of 0 or more.", alarm.name);
      if (QWidget* edit = GetItem(alarm.edit)) edit->setFocus();
      return;
    }
    values[i] = *nm;
  }
  for (size_t i = 0; i < alarms_.size(); ++i) alarms_[i].nm = values[i];
  CDialogF1Help::OnOK();
}

bool EditNavigationAlarms(QWidget* parent) {
  CDlgNavAlarms dialog(parent, CNavigationData::arrival_alarm_nm,
                       CNavigationData::cross_track_alarm_nm);
  if (dialog.DoModal() != vd::ui::kIdOk) return false;
  CNavigationData::arrival_alarm_nm = dialog.arrival_nm();
  CNavigationData::cross_track_alarm_nm = dialog.cross_track_nm();
  return true;
}
