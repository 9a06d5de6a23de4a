#include "corvex/ui/dlg_current_position_props.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <bit>
#include <cmath>
#include <ctime>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "corvex/ui/dialog_controls.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"

namespace {

using D = CDlgCurrentPositionProps;

void BuildPositionDialog(vd::ui::DialogWindow& d) {
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  int row = 0;
  auto add = [&](const char* label, int id, QWidget* control) {
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(d.AddControl(id, control), row++, 1);
  };
  add("Local Time:", D::kTimeText, new QLabel);
  add("Local Date:", D::kDateText, new QLabel);
  add("Position:", D::kPositionText, new QLabel);
  add("Course:", D::kCourseText, new QLabel);
  add("Speed:", D::kSpeedText, new QLabel);
  add("Position accuracy:", D::kAccuracyText, new QLabel);
  add("Altitude:", D::kAltitudeText, new QLabel);
  add("Status:", D::kStatusText, new QLabel);
  grid->addWidget(d.AddControl(D::kShowVectorCheck, new QCheckBox("Show velocity vector")), row, 0);
  grid->addWidget(d.AddControl(D::kVectorMinutesEdit, new QLineEdit), row, 1);
  grid->addWidget(new QLabel("minutes"), row++, 2);
  auto* colours = new CColorCombo;
  colours->FillStandard();
  add("Color", D::kColourCombo, colours);
  add("Range circle radius:", D::kRadiusEdit, new QLineEdit);
  grid->addWidget(d.AddControl(D::kRadiusUnit, new CUnitCombo), row - 1, 2);
  layout->addLayout(grid);
  AddPropsButtons(d, layout);
}

// The local time of a fix by a strftime format; empty when it cannot be had.
std::string LocalTime(int32_t seconds_1970, const char* format) {
  const std::time_t when = seconds_1970;
  std::tm local{};
  char text[128] = "";
  if (!localtime_r(&when, &local) || std::strftime(text, sizeof text, format, &local) == 0)
    return "";
  return text;
}

void SaveSetting(const char* name, int32_t value) {
  WriteSettingInt(vd::kSettingsSection, name, value);
}

int32_t VectorSecondsSetting(double minutes) { return static_cast<int32_t>(minutes * 60.0); }

}  // namespace

int32_t RangeRadiusSetting(float radius_nm) { return std::bit_cast<int32_t>(radius_nm); }

void CDlgCurrentPositionProps::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildPositionDialog);
}

CDlgCurrentPositionProps::CDlgCurrentPositionProps(CObjCurrentPosition* vessel, QWidget* parent)
    : CObjectPropsDialog(vessel, kTemplate, parent) {
  RegisterTemplate();
  CreateWindow();
}

bool CDlgCurrentPositionProps::OnInitDialog(QWidget* focus, intptr_t param) {
  Item<CUnitCombo>(kRadiusUnit)->Fill();
  return CObjectPropsDialog::OnInitDialog(focus, param);
}

void CDlgCurrentPositionProps::Refresh() {
  // The owner may call this directly: the rounded texts must not be read back.
  const bool was = filling_;
  filling_ = true;
  const CObjCurrentPosition& v = vessel();
  ShowFix();
  ShowText(kStatusText, v.status ? v.status : "");
  ShowCheck(kShowVectorCheck, v.show_vector);
  ShowText(kVectorMinutesEdit, vd::os::FormatC("%.1f", v.vector_minutes));
  if (auto* colours = Item<CColorCombo>(kColourCombo)) colours->Select(v.colour);
  ShowRadius(false);
  filling_ = was;
}

void CDlgCurrentPositionProps::ShowFix() {
  const CObjCurrentPosition& v = vessel();
  if (v.time == 0) {
    SetItemText(kTimeText, "Time not available from GPS!");
    SetItemText(kDateText, "");
  } else {
    SetItemText(kTimeText, LocalTime(v.time, "%X"));
    SetItemText(kDateText, LocalTime(v.time, "%A, %d %B %Y"));
  }
  for (int id : {kPositionText, kCourseText, kSpeedText, kAccuracyText, kAltitudeText})
    SetItemText(id, "");
  CAppCommon* app = App();
  if (!v.valid || !app) return;
  std::string position;
  FormatPositionText(v.position.lat, v.position.lon, position);
  SetItemText(kPositionText, position);
  SetItemText(kCourseText, app->FormatBearing(v.course));
  SetItemText(kSpeedText, app->FormatSpeed(v.speed));
  if (v.precision != 0.0f) SetItemText(kAccuracyText, app->FormatDistance(v.precision * kNmPerMetre));
  if (v.altitude != 0.0f) SetItemText(kAltitudeText, app->FormatDepth(v.altitude));
}

void CDlgCurrentPositionProps::ShowRadius(bool even_when_focused) {
  const float factor = Item<CUnitCombo>(kRadiusUnit)->GetFactor();
  if (factor <= 0.0f || (!even_when_focused && (HasFocus(kRadiusEdit) || HasFocus(kRadiusUnit))))
    return;
  // The rounded text must not be read back as a new radius.
  const bool was = filling_;
  filling_ = true;
  SetItemText(kRadiusEdit, vd::os::FormatC("%.1f", vessel().range_radius_nm * factor));
  filling_ = was;
}

void CDlgCurrentPositionProps::OnControl(int id, int code) {
  if (filling_) return;
  CObjCurrentPosition& v = vessel();
  switch (id) {
    case kShowVectorCheck:
      v.show_vector = IsChecked(kShowVectorCheck);
      SaveSetting("cur_pos_show_vector", v.show_vector ? 1 : 0);
      v.NotifyChange(kChangeEditState);
      return;
    case kVectorMinutesEdit:
      if (code == vd::ui::kEnChange) ApplyVectorMinutes();
      return;
    case kColourCombo:
      if (const auto colour = Item<CColorCombo>(kColourCombo)->GetSelectedColour()) {
        v.colour = *colour;
        SaveSetting("cur_pos_color", static_cast<int32_t>(v.colour));
        v.NotifyChange(kChangeEditState);
      }
      return;
    case kRadiusEdit:
      if (code == vd::ui::kEnChange) ApplyRadius();
      return;
    case kRadiusUnit:
      ShowRadius(true);
      return;
    default:
      return;
  }
}

void CDlgCurrentPositionProps::ApplyVectorMinutes() {
  const std::optional<double> minutes = ParseNumber(GetItemText(kVectorMinutesEdit));
  if (!minutes || *minutes < 0.0 || *minutes > kMaxVectorMinutes) return;
  vessel().vector_minutes = *minutes;
  SaveSetting("cur_pos_vector_secs", VectorSecondsSetting(*minutes));
  vessel().NotifyChange(kChangeDisplay);
}

void CDlgCurrentPositionProps::ApplyRadius() {
  const float factor = Item<CUnitCombo>(kRadiusUnit)->GetFactor();
  const std::optional<double> value = ParseNumber(GetItemText(kRadiusEdit));
  if (!value || *value < 0.0 || factor <= 0.0f) return;
  const float radius = static_cast<float>(*value / factor);
  if (!std::isfinite(radius)) return;
  vessel().range_radius_nm = radius;
  SaveSetting("cur_pos_radius", RangeRadiusSetting(radius));
  vessel().NotifyChange(kChangeDisplay);
}
