#include "corvex/ui/dlg_merge_chart.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

#include "overlays/outline/stored_path.h"
#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/window_messages.h"

namespace {

void BuildMergeDialog(vd::ui::DialogWindow& d) {
  using D = CDlgMergeChart;
  d.setWindowTitle("Merge");
  auto* layout = new QVBoxLayout(&d);
  auto* name = new QHBoxLayout;
  name->addWidget(new QLabel("Map name:"));
  name->addWidget(d.AddControl(D::kNameEdit, new QLineEdit), 1);
  layout->addLayout(name);
  layout->addWidget(d.AddControl(
      D::kAntialiasCheck, new QCheckBox("Anti-alias (better-looking, but larger filesize)")));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("OK")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
  d.SetDefaultButton(vd::ui::kIdOk);
}

bool KeptInFileName(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view(" -_+.").find(c) != std::string_view::npos;
}

}  // namespace

std::string MergedChartPath(const std::string& folder, const std::string& name, int64_t seconds) {
  std::string kept;
  for (char c : name)
    if (KeptInFileName(c)) kept += c;
  return folder + "/" + kept + vd::os::FormatC("_%llx.qct", static_cast<unsigned long long>(seconds));
}

void CDlgMergeChart::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildMergeDialog);
}

CDlgMergeChart::CDlgMergeChart(QWidget* parent) : CDialogF1Help(kTemplate, parent) {
  RegisterTemplate();
  antialias_ =
      vd::OpenAppProfile().GetInt(vd::kSettingsSection, kQuiltAntialiasSetting).value_or(0) != 0;
}

bool CDlgMergeChart::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  SetItemText(kNameEdit, name_);
  dialog_window()->SetCheckState(kAntialiasCheck, antialias_ ? 1 : 0);
  return true;
}

void CDlgMergeChart::OnOK() {
  name_ = GetItemText(kNameEdit);
  antialias_ = dialog_window()->CheckState(kAntialiasCheck) == 1;
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  profile.SetInt(vd::kSettingsSection, kQuiltAntialiasSetting, antialias_ ? 1 : 0);
  std::string folder =
      StoredPathToLocal(profile.GetString(vd::kSettingsSection, "qct_dir").value_or(""));
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) {
    FormatMessageBox(vd::ui::kMbIconError, "The folder for converted maps is not set");
    return;
  }
  output_path_ = MergedChartPath(folder, name_, static_cast<int64_t>(std::time(nullptr)));
  EndDialog(vd::ui::kIdOk);
}
