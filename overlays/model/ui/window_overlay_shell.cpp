#include "overlays/model/ui/window_overlay_shell.h"

#include <QMainWindow>
#include <QStatusBar>

#include "platform/ui/message_box.h"

CWindowOverlayShell::CWindowOverlayShell(QMainWindow* window) : window_(window) {}

namespace {

// The window's status bar; null when it has none (asking the window for it would add one).
QStatusBar* StatusBarOf(QMainWindow* window) {
  return window ? window->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace

void CWindowOverlayShell::SetStatusText(const std::string& text) {
  if (QStatusBar* bar = StatusBarOf(window_)) bar->showMessage(QString::fromStdString(text));
}

void CWindowOverlayShell::ClearStatusText() {
  if (QStatusBar* bar = StatusBarOf(window_)) bar->clearMessage();
}

void CWindowOverlayShell::ShowHint(const std::string& text) {
  vd::ui::RunMessageBox(window_, text, "Hint", vd::ui::kMbOk | vd::ui::kMbIconInformation);
}

void CWindowOverlayShell::ShowWarning(const std::string& caption, const std::string& text) {
  vd::ui::RunMessageBox(window_, text, caption, vd::ui::kMbOk | vd::ui::kMbIconWarning);
}

QWidget* CWindowOverlayShell::SheetOwner() {
  const auto* shell = dynamic_cast<CWindowOverlayShell*>(COverlayShell::Get());
  return shell != nullptr ? shell->window() : nullptr;
}
