#include "corvex/ui/dlg_route_props_settings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdint>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "corvex/ui/object_props_dialog.h"
#include "platform/os/numbers.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"

namespace {

using D = CDlgRoutePropsSettings;

// The settings hold thousandths: knots for the speed, seconds per metre for the rates.
constexpr double kScale = 1000.0;
// A rate in seconds per metre is shown as minutes per 10 m.
constexpr double kSecondsPerMetrePerShown = 6.0;

void BuildSettingsDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Route Settings");
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  int row = 0;
  grid->addWidget(new QLabel("Speed:"), row, 0);
  grid->addWidget(d.AddControl(D::kSpeedEdit, new QLineEdit), row, 1);
  grid->addWidget(d.AddControl(D::kSpeedUnitText, new QLabel), row++, 2);
  grid->addWidget(new QLabel("Ascent:"), row, 0);
  grid->addWidget(d.AddControl(D::kAscentEdit, new QLineEdit), row, 1);
  grid->addWidget(new QLabel("Minutes per 10m"), row++, 2);
  grid->addWidget(new QLabel("Descent:"), row, 0);
  grid->addWidget(d.AddControl(D::kDescentEdit, new QLineEdit), row, 1);
  grid->addWidget(new QLabel("Minutes per 10m"), row++, 2);
  grid->addWidget(new QLabel("Route Card template:"), row, 0);
  grid->addWidget(d.AddControl(D::kTemplateEdit, new QLineEdit), row, 1);
  grid->addWidget(d.AddControl(D::kBrowseButton, new QPushButton("...")), row++, 2);
  const struct {
    int id;
    const char* text;
  } checks[] = {{D::kOverviewCheck, "Include overview map"},
                {D::kProfileCheck, "Include elevation profile"},
                {D::kThumbnailsCheck, "Include thumbnail pictures"},
                {D::kLabelledOnlyCheck, "Only include labeled waypoints in Route Card"}};
  for (const auto& check : checks)
    grid->addWidget(d.AddControl(check.id, new QCheckBox(check.text)), row++, 0, 1, 3);
  layout->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("OK")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
}

int32_t Setting(const char* name, int32_t fallback) {
  return vd::OpenAppProfile().GetInt(vd::kSettingsSection, name).value_or(fallback);
}

// Writes round(value x 1000), halves away from zero, when the text reads as a value that is
// not negative and fits.
void StoreThousandths(const char* name, const std::string& text, double to_stored) {
  const std::optional<double> shown = ParseNumber(text);
  if (!shown) return;
  const double value = std::round(*shown * to_stored * kScale);
  if (!(value >= 0.0 && value <= INT32_MAX)) return;
  WriteSettingInt(vd::kSettingsSection, name, static_cast<int32_t>(value));
}

}  // namespace

void CDlgRoutePropsSettings::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildSettingsDialog);
}

CDlgRoutePropsSettings::CDlgRoutePropsSettings(CDlgRouteProps::s_RoutePropsSettings& options,
                                               QWidget* parent)
    : CDialogF1Help(kTemplate, parent), options_(options) {
  RegisterTemplate();
}

std::string CDlgRoutePropsSettings::TemplatePath() {
  std::string path =
      vd::OpenAppProfile().GetString(vd::kSettingsSection, "rt_template2").value_or("");
  if (path.empty()) {
    const CAppCommon* app = CAppCommon::Instance();
    path = (app ? app->program_folder : std::string()) +
           "/Route_Card_Templates/Routecard_template.htm";
  }
  return path;
}

bool CDlgRoutePropsSettings::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  std::string distance_unit, speed_unit = "kts";
  if (const CAppCommon* app = CAppCommon::Instance())
    speed_factor_ = app->GetSpeedUnit(distance_unit, speed_unit);
  if (!(speed_factor_ > 0.0)) speed_factor_ = 1.0;
  SetItemText(kSpeedEdit,
              vd::os::FormatC("%g", Setting("rt_est_speed", 3000) / kScale * speed_factor_));
  SetItemText(kSpeedUnitText, speed_unit);
  SetItemText(kAscentEdit, vd::os::FormatC("%g", Setting("rt_est_ascent", 6000) / kScale /
                                                     kSecondsPerMetrePerShown));
  SetItemText(kDescentEdit, vd::os::FormatC("%g", Setting("rt_est_descent", 0) / kScale /
                                                      kSecondsPerMetrePerShown));
  SetItemText(kTemplateEdit, TemplatePath());
  vd::ui::DialogWindow* window = dialog_window();
  window->SetCheckState(kOverviewCheck, options_.overview_map ? 1 : 0);
  window->SetCheckState(kProfileCheck, options_.elevation_profile ? 1 : 0);
  window->SetCheckState(kThumbnailsCheck, options_.thumbnails ? 1 : 0);
  window->SetCheckState(kLabelledOnlyCheck, options_.only_labelled ? 1 : 0);
  return true;
}

void CDlgRoutePropsSettings::OnCommand(int id, QWidget* control, int code) {
  if (id != kBrowseButton) {
    CDialogF1Help::OnCommand(id, control, code);
    return;
  }
  if (const auto path = vd::ui::GetOpenFilePath(dialog_window(), "", "All Files (*.*)|*.*||",
                                                GetItemText(kTemplateEdit)))
    SetItemText(kTemplateEdit, *path);
}

void CDlgRoutePropsSettings::OnOK() {
  StoreThousandths("rt_est_speed", GetItemText(kSpeedEdit), 1.0 / speed_factor_);
  StoreThousandths("rt_est_ascent", GetItemText(kAscentEdit), kSecondsPerMetrePerShown);
  StoreThousandths("rt_est_descent", GetItemText(kDescentEdit), kSecondsPerMetrePerShown);
  vd::OpenAppProfile().SetString(vd::kSettingsSection, "rt_template2",
                                 GetItemText(kTemplateEdit));
  vd::ui::DialogWindow* window = dialog_window();
  options_.overview_map = window->CheckState(kOverviewCheck) == 1;
  options_.elevation_profile = window->CheckState(kProfileCheck) == 1;
  options_.thumbnails = window->CheckState(kThumbnailsCheck) == 1;
  options_.only_labelled = window->CheckState(kLabelledOnlyCheck) == 1;
  CDialogF1Help::OnOK();
}
