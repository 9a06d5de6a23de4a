#include "overlays/model/overlay_shell.h"

namespace {
COverlayShell* installed = nullptr;
}  // namespace

COverlayShell* COverlayShell::Get() { return installed; }
void COverlayShell::Install(COverlayShell* shell) { installed = shell; }
