#pragma once
// Releasing what an overlay reader made: routes first, as a document does, since a route that
// goes drops the marks it leaves without a route.
#include "overlays/obj_route.h"
#include "overlays/ostrel_object.h"

namespace vd::fuzz {

inline void ReleaseObjects(ObjectList& list) {
  for (const bool routes : {true, false}) {
    for (auto it = list.begin(); it != list.end();) {
      if ((*it)->IsKindOf(CObjRoute::kClass) != routes) {
        ++it;
        continue;
      }
      COstrelObject* object = *it;
      it = list.erase(it);
      object->Release();
    }
  }
}

}  // namespace vd::fuzz
