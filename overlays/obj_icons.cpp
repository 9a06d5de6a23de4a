#include "overlays/obj_icons.h"

#include "overlays/icon_library.h"
#include "overlays/overlay_archive.h"

const OverlayClass CObjIcons::kClass("CObjIcons", kOverlaySchema, &COstrelObject::kClass,
                                     &CreateArchiveObject<CObjIcons>);

const OverlayClass& CObjIcons::GetRuntimeClass() const { return kClass; }

void CObjIcons::Serialize(COverlayArchive& archive) {
  COstrelObject::Serialize(archive);
  CIconLibrary& library = CIconLibrary::Get();
  library.EnsureLoaded();
  if (archive.IsStoring()) {
    library.WriteCustomIcons(archive);
  } else {
    library.ReadCustomIcons(archive);
  }
}
