#include "corvex/ui/dlg_send_chart_to.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "corvex/ui/browse_for_folder.h"
#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "platform/os/numbers.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/window_messages.h"

namespace {

void BuildSendChartDialog(vd::ui::DialogWindow& d) {
  using D = CDlgSendChartTo;
  d.setWindowTitle("Save Map");
  auto* layout = new QVBoxLayout(&d);
  auto* folder = new QHBoxLayout;
  folder->addWidget(new QLabel("Save to folder:"));
  folder->addWidget(d.AddControl(D::kFolderEdit, new QLineEdit), 1);
  folder->addWidget(d.AddControl(D::kBrowseButton, new QPushButton("...")));
  layout->addLayout(folder);
  auto* description = new QHBoxLayout;
  description->addWidget(d.AddControl(D::kDescriptionLabel, new QLabel("Description:")));
  description->addWidget(d.AddControl(D::kDescriptionEdit, new QLineEdit), 1);
  layout->addLayout(description);
  layout->addWidget(d.AddControl(D::kSizeText, new QLabel));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("OK")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
  d.SetDefaultButton(vd::ui::kIdOk);
}

}  // namespace

std::string FormatChartSize(double bytes) {
  struct Unit {
    double size;
    char letter;
  };
  for (const Unit unit : {Unit{1073741824.0, 'G'}, Unit{1048576.0, 'M'}, Unit{1024.0, 'k'}}) {
    if (bytes >= unit.size) return vd::os::FormatC("%.1f %cbyte", bytes / unit.size, unit.letter);
  }
  return vd::os::FormatC("%.1f  byte", bytes);
}

void CDlgSendChartTo::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildSendChartDialog);
}

CDlgSendChartTo::CDlgSendChartTo(double bytes, std::string description, QWidget* parent)
    : CDialogF1Help(kTemplate, parent), bytes_(bytes), description_(std::move(description)) {
  RegisterTemplate();
  folder_ = vd::OpenAppProfile()
                .GetString(vd::kSettingsSection, kChartDestinationSetting)
                .value_or("");
}

bool CDlgSendChartTo::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  SetItemText(kFolderEdit, folder_);
  SetItemText(kDescriptionEdit, description_);
  SetItemText(kSizeText, FormatChartSize(bytes_));
  if (description_.empty()) {
    GetItem(kDescriptionLabel)->hide();
    GetItem(kDescriptionEdit)->hide();
  }
  return true;
}

void CDlgSendChartTo::OnCommand(int id, QWidget* control, int code) {
  if (id == kBrowseButton && code == vd::ui::kBnClicked) {
    if (std::string chosen = GetItemText(kFolderEdit);
        BrowseForFolder(chosen, "Select the storage card drive / folder", dialog_window())) {
      SetItemText(kFolderEdit, chosen);
    }
    return;
  }
  CDialogF1Help::OnCommand(id, control, code);
}

void CDlgSendChartTo::OnOK() {
  folder_ = GetItemText(kFolderEdit);
  if (!description_.empty()) description_ = GetItemText(kDescriptionEdit);
  if (folder_.empty()) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", "Choose the folder the map goes to");
    return;
  }
  vd::OpenAppProfile().SetString(vd::kSettingsSection, kChartDestinationSetting, folder_);
  EndDialog(vd::ui::kIdOk);
}
