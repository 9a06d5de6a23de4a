#pragma once
// Collecting objects into a long list: an import joining a document collects each imported
// object with what it needs (CollectForExport), and every collection asks whether the list
// holds an object already. While a CollectionIndex of the list lives, COstrelObject's
// CollectForExport and CollectForUndo into that list ask the index instead of searching the
// list, so an import costs about as much as what it brings, whatever the document holds.
//
// User-interface thread only; indexes nest (the innermost of a list answers).
#include <unordered_set>

#include "app/shell_services.h"

class CollectionIndex {
 public:
  // fresh holds objects known to be outside the list until they are collected into it (the
  // imported ones); it outlives the index. Any other object asked about is looked for in the
  // list: the first such question indexes the whole list once.
  CollectionIndex(ObjectList& list, const std::unordered_set<const COstrelObject*>& fresh);
  ~CollectionIndex();
  CollectionIndex(const CollectionIndex&) = delete;
  CollectionIndex& operator=(const CollectionIndex&) = delete;

  // The innermost living index of list; null when none.
  static CollectionIndex* Of(const ObjectList& list);

  bool Contains(const COstrelObject* object);
  // Appends object to the list unless it holds it; true when appended.
  bool Add(COstrelObject* object);

 private:
  ObjectList& list_;
  const std::unordered_set<const COstrelObject*>& fresh_;
  std::unordered_set<const COstrelObject*> members_;  // known to be in the list
  bool whole_list_ = false;                           // every object of the list is a member
  CollectionIndex* outer_;
};
