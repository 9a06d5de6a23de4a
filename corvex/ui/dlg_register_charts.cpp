#include "corvex/ui/dlg_register_charts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "corvex/ui/browse_for_folder.h"
#include "core/file_utils.h"
#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "corvex/ostrel_doc.h"
#include "corvex/startup_files.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

using D = CDlgRegisterCharts;

void BuildRegisterChartsDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Refresh Map List");
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel("Folders searched for maps:"));
  auto* folders = new QHBoxLayout;
  auto* list = new QListWidget;
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  folders->addWidget(d.AddControl(D::kFolderList, list), 1);
  auto* folder_buttons = new QVBoxLayout;
  folder_buttons->addWidget(d.AddControl(D::kAddButton, new QPushButton("&Add Folder...")));
  folder_buttons->addWidget(d.AddControl(D::kRemoveButton, new QPushButton("&Remove Folder")));
  folder_buttons->addWidget(d.AddControl(D::kRemoveAllButton, new QPushButton("Remove &All")));
  folder_buttons->addStretch();
  folders->addLayout(folder_buttons);
  layout->addLayout(folders);
  layout->addWidget(d.AddControl(D::kSubfoldersCheck, new QCheckBox("&Search sub-folders")));
  layout->addWidget(d.AddControl(
      D::kLoadAllCheck, new QCheckBox("&Load all maps now (may take several minutes)")));
  layout->addWidget(
      d.AddControl(D::kClearCheck, new QCheckBox("&Clear all previously loaded maps")));
  layout->addWidget(new QLabel("Folder containing converted maps:"));
  auto* converted = new QHBoxLayout;
  auto* edit = new QLineEdit;
  edit->setReadOnly(true);
  converted->addWidget(d.AddControl(D::kConvertedFolderEdit, edit), 1);
  converted->addWidget(d.AddControl(D::kConvertedFolderButton, new QPushButton("Map Folder...")));
  layout->addLayout(converted);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("OK")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
  d.SetDefaultButton(vd::ui::kIdOk);
}

}  // namespace

void CDlgRegisterCharts::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildRegisterChartsDialog);
}

CDlgRegisterCharts::CDlgRegisterCharts(COstrelDoc& doc, QWidget* parent)
    : CDialogF1Help(kTemplate, parent), doc_(doc) {
  RegisterTemplate();
}

QListWidget* CDlgRegisterCharts::list() const {
  return dialog_window()->ControlAs<QListWidget>(kFolderList);
}

bool CDlgRegisterCharts::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  std::vector<std::string> folders;
  LoadChartDirs(profile, folders);
  for (const std::string& folder : folders) list()->addItem(QString::fromStdString(folder));
  QObject::connect(list(), &QListWidget::itemSelectionChanged, list(),
                   [this] { UpdateButtons(); });
  vd::ui::DialogWindow* window = dialog_window();
  window->SetCheckState(kSubfoldersCheck,
                        profile.GetInt(vd::kSettingsSection, "search_subdirs").value_or(1) ? 1 : 0);
  SetItemText(kConvertedFolderEdit,
              profile.GetString(vd::kSettingsSection, "qct_dir").value_or(""));
  UpdateButtons();
  return true;
}

std::vector<std::string> CDlgRegisterCharts::Folders() const {
  std::vector<std::string> folders;
  for (int row = 0; row < list()->count(); ++row) {
    folders.push_back(list()->item(row)->text().toStdString());
  }
  return folders;
}

void CDlgRegisterCharts::UpdateButtons() {
  dialog_window()->EnableItem(kRemoveButton, !list()->selectedItems().isEmpty());
}

void CDlgRegisterCharts::AddFolder() {
  std::string folder;
  if (!BrowseForFolder(folder, "Select a folder containing map files", dialog_window())) return;
  const std::vector<std::string> folders = Folders();
  if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
    list()->addItem(QString::fromStdString(folder));
  }
}

void CDlgRegisterCharts::ChooseConvertedFolder() {
  std::string folder = GetItemText(kConvertedFolderEdit);
  if (!BrowseForFolder(folder, "Folder for cached map data", dialog_window())) return;
  if (!IsWritableFolder(folder)) {
    FormatMessageBox(vd::ui::kMbIconError,
                     "The cache folder must be writeable!\n\nUse the \"Add\" button to locate "
                     "map folders");
    return;
  }
  SetItemText(kConvertedFolderEdit, folder);
}

void CDlgRegisterCharts::OnCommand(int id, QWidget* control, int code) {
  switch (id) {
    case kAddButton: AddFolder(); return;
    case kRemoveButton:
      for (QListWidgetItem* item : list()->selectedItems()) delete item;
      UpdateButtons();
      return;
    case kRemoveAllButton:
      list()->clear();
      UpdateButtons();
      return;
    case kConvertedFolderButton: ChooseConvertedFolder(); return;
    default: CDialogF1Help::OnCommand(id, control, code);
  }
}

void CDlgRegisterCharts::OnOK() {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  const std::string converted = GetItemText(kConvertedFolderEdit);
  if (!converted.empty()) profile.SetString(vd::kSettingsSection, "qct_dir", converted);
  SaveChartDirs(profile, Folders());
  vd::ui::DialogWindow* window = dialog_window();
  profile.SetInt(vd::kSettingsSection, "search_subdirs",
                 window->CheckState(kSubfoldersCheck) == 1 ? 1 : 0);
  const bool load_all = window->CheckState(kLoadAllCheck) == 1;
  const bool clear = window->CheckState(kClearCheck) == 1;
  doc_.RescanChartFolders(load_all, clear);
  EndDialog(vd::ui::kIdOk);
}
