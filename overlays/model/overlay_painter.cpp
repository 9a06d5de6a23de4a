#include "overlays/model/overlay_painter.h"

namespace {
COverlayPainter* installed = nullptr;
}  // namespace

COverlayPainter* COverlayPainter::Get() { return installed; }
void COverlayPainter::Install(COverlayPainter* painter) { installed = painter; }
