#include "overlays/model/ui/overlay_action_sheet.h"

#include <QCursor>
#include <QGuiApplication>

#include "overlays/model/ui/window_overlay_shell.h"

std::unique_ptr<CActionSheetMenu> COverlayActionSheet::Build(const std::string& title,
                                                             std::span<const Row> rows,
                                                             std::span<const uintptr_t> states,
                                                             void* object) {
  auto sheet = std::make_unique<CActionSheetMenu>(title, object, nullptr, 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    sheet->AddItem(rows[i].text, rows[i].operation,
                   i < states.size() ? states[i] : CActionSheetMenu::kRowShown, object);
  }
  return sheet;
}

bool COverlayActionSheet::Show(const CActionSheetMenu& sheet) {
  // Without a running application (headless use) the sheet has no pointer to open at.
  const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
  const QPoint at = gui ? QCursor::pos() : QPoint();
  return sheet.Track(CWindowOverlayShell::SheetOwner(), at);
}
