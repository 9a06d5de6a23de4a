#include "overlays/model/overlay_selection.h"

namespace {

COverlaySelection& Record() {
  static COverlaySelection record;
  return record;
}

}  // namespace

const COverlaySelection& COverlaySelection::Current() { return Record(); }

void COverlaySelection::Replace(COverlayObject* object) { Record() = COverlaySelection{object}; }

void COverlaySelection::Forget(const COverlayObject* object) {
  if (Record().object == object) Record() = COverlaySelection{};
}
