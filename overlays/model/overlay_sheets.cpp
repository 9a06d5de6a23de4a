#include "overlays/model/overlay_sheets.h"

namespace {
COverlaySheets* installed = nullptr;
}  // namespace

COverlaySheets* COverlaySheets::Get() { return installed; }
void COverlaySheets::Install(COverlaySheets* sheets) { installed = sheets; }
