#include "overlays/model/overlay_object.h"

#include "core/listener.h"
#include "overlays/model/overlay_selection.h"

COverlayObject::~COverlayObject() {
  NotifyChange(kGoingAway);
  COverlaySelection::Forget(this);
}

void COverlayObject::NotifyChange(int32_t code) {
  change_code = code;
  Listener<COverlayObject>::Fire(*this);
}
