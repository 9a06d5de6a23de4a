#pragma once
// Collecting objects into a long list: an import joining a document collects each imported
// object with what it needs (CollectForExport), and every collection asks whether the list
// holds an object already. While a CollectionIndex of the list lives, COstrelObject's
// CollectForExport and CollectForUndo into that list ask the index instead of searching the
// list, so an import costs about as much as what it brings, whatever the document holds.
//
// User-interface thread only; indexes nest (the innermost of a list answers).
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "app/shell_services.h"

// A set of objects, as an import asks of each object it brings: a flat table of pointers,
// open addressing with linear probing, kept at most half full. Objects made one after another
// lie side by side (the object arena), and their slots too, so a walk over many of them walks
// the table instead of missing the cache on each.
class ObjectSet {
 public:
  ObjectSet() = default;
  template <class Iterator>
  ObjectSet(Iterator first, Iterator last) {
    reserve(static_cast<size_t>(std::distance(first, last)));
    insert(first, last);
  }

  size_t size() const { return size_; }
  // Room for n objects without growing.
  void reserve(size_t n);
  bool contains(const COstrelObject* object) const {
    return object && !slots_.empty() && slots_[Find(object)] == object;
  }
  // True when the object was not in the set. Null is never held.
  bool insert(const COstrelObject* object);
  template <class Iterator>
  void insert(Iterator first, Iterator last) {
    for (; first != last; ++first) insert(*first);
  }

 private:
  size_t Home(const COstrelObject* object) const {
    const auto address = reinterpret_cast<uintptr_t>(object);
    return static_cast<size_t>((address >> 4) ^ (address >> 24)) & mask_;
  }
  // The slot holding object, else the empty slot where its probe ends.
  size_t Find(const COstrelObject* object) const {
    size_t i = Home(object);
    while (slots_[i] && slots_[i] != object) i = (i + 1) & mask_;
    return i;
  }
  void Rehash(size_t capacity);

  std::vector<const COstrelObject*> slots_;  // null: empty
  size_t size_ = 0;
  size_t mask_ = 0;
};

class CollectionIndex {
 public:
  // fresh holds objects known to be outside the list until they are collected into it (the
  // imported ones); it outlives the index. Any other object asked about is looked for in the
  // list: the first such question indexes the whole list once.
  CollectionIndex(ObjectList& list, const ObjectSet& fresh);
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
  const ObjectSet& fresh_;
  ObjectSet members_;        // known to be in the list
  bool whole_list_ = false;  // every object of the list is a member
  CollectionIndex* outer_;
};
