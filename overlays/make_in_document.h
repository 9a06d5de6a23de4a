#pragma once
// Making an overlay object inside a document.
#include "app/shell_services.h"
#include "overlays/ostrel_object.h"

// A new object in the document's list (with the list's reference), made while the document is
// the current one. Null when the document keeps no list.
template <class T>
T* MakeInDocument(COstrelDocBase* document) {
  ObjectList* list = document ? document->GetObjectList() : nullptr;
  if (!list) return nullptr;
  CCurrentOwnerScope owner(document);
  T* object = new T;
  object->AddRef();
  list->push_back(object);
  return object;
}
