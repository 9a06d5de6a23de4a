#pragma once
// Helpers of the exchange format tests: picking objects of a class out of a list and releasing
// a list the way a document does.
#include <vector>

#include "app/shell_services.h"
#include "overlays/obj_route.h"

namespace vd::test {

template <class T>
std::vector<T*> ObjectsOf(const ObjectList& list) {
  std::vector<T*> out;
  for (COstrelObject* object : list) {
    if (auto* typed = dynamic_cast<T*>(object)) out.push_back(typed);
  }
  return out;
}

// Empties the list, dropping its references; routes first, since a route's end can make its
// marks delete themselves.
inline void ReleaseAll(ObjectList& list) {
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

// ReleaseAll when the scope ends, whatever assertion ended the test.
struct ScopedRelease {
  ObjectList& list;
  ~ScopedRelease() { ReleaseAll(list); }
};

}  // namespace vd::test
