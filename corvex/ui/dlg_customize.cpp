#include "corvex/ui/dlg_customize.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"

namespace {

using D = CDlgCustomize;

// A menu text as a list shows it: no '&' marks ("&&" is one '&') and no tab part.
std::string PlainText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\t') break;
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

void CollectItems(const std::vector<CMenuEntry>& entries, std::vector<const CMenuEntry*>& out) {
  for (const CMenuEntry& entry : entries) {
    if (entry.kind == CMenuEntry::kItem) out.push_back(&entry);
    if (entry.kind == CMenuEntry::kPopup) CollectItems(entry.children, out);
  }
}

void BuildCustomizeDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Customize");
  auto* layout = new QVBoxLayout(&d);
  auto* tabs = new QTabWidget;
  layout->addWidget(tabs);

  auto* commands = new QWidget;
  auto* grid = new QGridLayout(commands);
  grid->addWidget(new QLabel("Categories:"), 0, 0);
  grid->addWidget(new QLabel("Commands:"), 0, 1);
  grid->addWidget(d.AddControl(D::kCategoryList, new QListWidget), 1, 0);
  grid->addWidget(d.AddControl(D::kCommandList, new QListWidget), 1, 1);
  auto* bar_row = new QHBoxLayout;
  bar_row->addWidget(new QLabel("Toolbar:"));
  bar_row->addWidget(d.AddControl(D::kToolbarCombo, new QComboBox), 1);
  bar_row->addWidget(d.AddControl(D::kAddButton, new QPushButton("&Add to Toolbar")));
  grid->addLayout(bar_row, 2, 0, 1, 2);
  grid->addWidget(new QLabel("Buttons of the toolbar:"), 3, 0, 1, 2);
  grid->addWidget(d.AddControl(D::kButtonList, new QListWidget), 4, 0, 1, 2);
  auto* button_row = new QHBoxLayout;
  button_row->addStretch();
  button_row->addWidget(d.AddControl(D::kRemoveButton, new QPushButton("&Remove")));
  button_row->addWidget(d.AddControl(D::kResetButton, new QPushButton("R&eset")));
  grid->addLayout(button_row, 5, 0, 1, 2);
  tabs->addTab(commands, "&Commands");

  auto* options = new QWidget;
  auto* column = new QVBoxLayout(options);
  column->addWidget(d.AddControl(D::kLargeIconsCheck, new QCheckBox("&Large icons")));
  column->addWidget(d.AddControl(D::kScreenTipsCheck, new QCheckBox("Show Screen&Tips on toolbars")));
  column->addStretch();
  tabs->addTab(options, "&Options");

  vd::ui::AddButtonRow(d, layout, {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

QListWidget* List(vd::ui::DialogWindow* d, int id) { return d->ControlAs<QListWidget>(id); }

}  // namespace

std::string CDlgCustomize::CommandText(const std::vector<CMenuEntry>& menu_bar, int id) {
  std::vector<const CMenuEntry*> items;
  CollectItems(menu_bar, items);
  for (const CMenuEntry* item : items)
    if (item->id == id) return PlainText(item->text);
  return "";
}

void CDlgCustomize::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildCustomizeDialog);
}

CDlgCustomize::CDlgCustomize(QWidget* parent, std::vector<CMenuEntry> menu_bar,
                             std::vector<CToolbarButtons> toolbars, CToolbarOptions options)
    : CDialogF1Help(kTemplate, parent),
      menu_bar_(std::move(menu_bar)),
      toolbars_(std::move(toolbars)),
      options_(options) {
  RegisterTemplate();
}

bool CDlgCustomize::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* d = dialog_window();
  QListWidget* categories = List(d, kCategoryList);
  for (const CMenuEntry& entry : menu_bar_)
    if (entry.kind == CMenuEntry::kPopup) categories->addItem(QString::fromStdString(PlainText(entry.text)));
  for (const char* extra : {kAllCommands, kBuiltInMenus, kNewMenu}) categories->addItem(extra);
  auto* bars = d->ControlAs<QComboBox>(kToolbarCombo);
  for (const CToolbarButtons& bar : toolbars_) bars->addItem(QString::fromStdString(bar.name));
  d->SetCheckState(kLargeIconsCheck, options_.large_icons ? 1 : 0);
  d->SetCheckState(kScreenTipsCheck, options_.screen_tips ? 1 : 0);
  categories->setCurrentRow(0);
  ShowCategory();
  ShowButtons();
  return true;
}

// The commands of the chosen category, each with its id (0 for entries that are no command:
// the built-in menus and the new menu, which only a menu can take).
void CDlgCustomize::ShowCategory() {
  vd::ui::DialogWindow* d = dialog_window();
  QListWidget* list = List(d, kCommandList);
  list->clear();
  const QListWidgetItem* current = List(d, kCategoryList)->currentItem();
  if (!current) return;
  const std::string category = current->text().toStdString();
  auto add = [&](const std::string& text, int id) {
    auto* item = new QListWidgetItem(QString::fromStdString(text), list);
    item->setData(Qt::UserRole, id);
  };
  std::vector<const CMenuEntry*> items;
  if (category == kAllCommands) {
    CollectItems(menu_bar_, items);
    std::map<std::string, int> sorted;
    for (const CMenuEntry* item : items) sorted.emplace(PlainText(item->text), item->id);
    for (const auto& [text, id] : sorted) add(text, id);
  } else if (category == kBuiltInMenus) {
    for (const CMenuEntry& entry : menu_bar_)
      if (entry.kind == CMenuEntry::kPopup) add(PlainText(entry.text), 0);
  } else if (category == kNewMenu) {
    add(kNewMenu, 0);
  } else {
    for (const CMenuEntry& entry : menu_bar_) {
      if (entry.kind == CMenuEntry::kPopup && PlainText(entry.text) == category) {
        CollectItems(entry.children, items);
        for (const CMenuEntry* item : items) add(PlainText(item->text), item->id);
      }
    }
  }
  if (list->count() > 0) list->setCurrentRow(0);
}

void CDlgCustomize::ShowButtons() {
  vd::ui::DialogWindow* d = dialog_window();
  QListWidget* list = List(d, kButtonList);
  list->clear();
  const int bar = d->ControlAs<QComboBox>(kToolbarCombo)->currentIndex();
  if (bar < 0 || bar >= static_cast<int>(toolbars_.size())) return;
  const CToolbarButtons& buttons = toolbars_[static_cast<size_t>(bar)];
  for (int id : buttons.ids) {
    const auto caption = buttons.captions.find(id);
    const std::string text = id == 0                           ? "----"
                             : caption != buttons.captions.end() ? caption->second
                                                                 : CommandText(menu_bar_, id);
    auto* item = new QListWidgetItem(
        QString::fromStdString(text.empty() ? std::to_string(id) : text), list);
    item->setData(Qt::UserRole, id);
  }
}

void CDlgCustomize::OnCommand(int id, QWidget* control, int code) {
  vd::ui::DialogWindow* d = dialog_window();
  const int bar = d->ControlAs<QComboBox>(kToolbarCombo)->currentIndex();
  CToolbarButtons* buttons =
      bar >= 0 && bar < static_cast<int>(toolbars_.size()) ? &toolbars_[static_cast<size_t>(bar)] : nullptr;
  switch (id) {
    case kCategoryList:
      if (code == vd::ui::kCbnSelChange) ShowCategory();
      return;
    case kToolbarCombo:
      if (code == vd::ui::kCbnSelChange) ShowButtons();
      return;
    case kAddButton: {
      const QListWidgetItem* item = List(d, kCommandList)->currentItem();
      const int command = item ? item->data(Qt::UserRole).toInt() : 0;
      // A button per command and bar; menus are no buttons.
      if (!buttons || command == 0 ||
          std::find(buttons->ids.begin(), buttons->ids.end(), command) != buttons->ids.end())
        return;
      buttons->ids.push_back(command);
      ShowButtons();
      return;
    }
    case kRemoveButton: {
      const int row = List(d, kButtonList)->currentRow();
      if (!buttons || row < 0 || row >= static_cast<int>(buttons->ids.size())) return;
      buttons->ids.erase(buttons->ids.begin() + row);
      ShowButtons();
      return;
    }
    case kResetButton:
      if (buttons) buttons->ids = buttons->shipped;
      ShowButtons();
      return;
    default:
      CDialogF1Help::OnCommand(id, control, code);
  }
}

void CDlgCustomize::OnOK() {
  options_.large_icons = dialog_window()->CheckState(kLargeIconsCheck) == 1;
  options_.screen_tips = dialog_window()->CheckState(kScreenTipsCheck) == 1;
  CDialogF1Help::OnOK();
}
