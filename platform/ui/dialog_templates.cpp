#include "platform/ui/dialog_templates.h"

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

}  // namespace vd::ui
