#include "overlays/model/overlay_shell.h"

#include "platform/os/process.h"

namespace {
COverlayShell* installed = nullptr;
}  // namespace

COverlayShell* COverlayShell::Get() { return installed; }
void COverlayShell::Install(COverlayShell* shell) { installed = shell; }
void COverlayShell::OpenLink(const std::string& link) { vd::os::OpenDocument(link); }
