#include "corvex/ui/browse_for_folder.h"

#include <optional>

#include "platform/ui/common_dialogs.h"

bool BrowseForFolder(std::string& folder, const std::string& title, QWidget* owner,
                     uint32_t /*flags*/) {
  std::optional<std::string> chosen = vd::ui::ChooseFolder(owner, title, folder);
  if (!chosen) return false;
  while (chosen->size() > 1 && (chosen->back() == '/' || chosen->back() == '\\')) chosen->pop_back();
  if (chosen->empty() || *chosen == "\\") return false;
  folder = *chosen;
  return true;
}
