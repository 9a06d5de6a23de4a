#include "gps/ui/fix_pane.h"

#include "overlays/obj_current_position.h"

void CFixPane::Update(COstrelObject* object, int hint) {
  if (object == nullptr || object != object_) return;
  if (hint == kChangeDeleted) {
    object_ = nullptr;
    DestroyWindow();
  } else if (hint == kChangeModified) {
    OnObjectChanged();
  }
}

void CFixPane::Bind(CObjCurrentPosition* object, bool refresh) {
  object_ = object;
  if (refresh) OnObjectChanged();
}
