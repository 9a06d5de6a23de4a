#include "platform/ui/dialog_templates.h"

#include <QBoxLayout>
#include <QPushButton>

#include <map>
#include <memory>

namespace vd::ui {
namespace {

std::map<int, DialogBuilder>& Templates() {
  static std::map<int, DialogBuilder> templates;
  return templates;
}

}  // namespace

void RegisterDialogTemplate(int id, DialogBuilder builder) { Templates()[id] = std::move(builder); }

void UnregisterDialogTemplate(int id) { Templates().erase(id); }

bool HasDialogTemplate(int id) { return Templates().count(id) != 0; }

DialogWindow* CreateDialogFromTemplate(int id, QWidget* parent) {
  const auto it = Templates().find(id);
  if (it == Templates().end() || !it->second) return nullptr;
  const DialogBuilder builder = it->second;  // the builder may register templates itself
  auto dialog = std::make_unique<DialogWindow>(parent);
  builder(*dialog);
  return dialog.release();
}

void AddButtonRow(DialogWindow& dialog, QBoxLayout* layout,
                  std::initializer_list<std::pair<int, const char*>> buttons, int default_id) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (const auto& [id, text] : buttons) row->addWidget(dialog.AddControl(id, new QPushButton(text)));
  layout->addLayout(row);
  if (default_id != 0) dialog.SetDefaultButton(default_id);
}

}  // namespace vd::ui
