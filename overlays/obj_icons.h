#pragma once
// The icon table of an overlay file: an object with no fields of its own whose archive record
// carries the custom icons of the icon library. The overlay file writer puts one at the head of
// a file whose marks use custom icons; reading it enters the icons in the library, and the
// reader then drops it from the list (RemoveIconObjects).
#include "overlays/ostrel_object.h"

class CObjIcons : public COstrelObject {
 public:
  static const OverlayClass kClass;  // "CObjIcons"

  const OverlayClass& GetRuntimeClass() const override;
  // The base record, then the icon library's custom-icon block.
  void Serialize(COverlayArchive& archive) override;
};
