#include "overlays/collection_index.h"

#include <algorithm>
#include <bit>

namespace {

CollectionIndex* g_innermost = nullptr;

}  // namespace

void ObjectSet::reserve(size_t n) {
  const size_t capacity = std::bit_ceil(std::max<size_t>(16, 2 * n + 1));
  if (capacity > slots_.size()) Rehash(capacity);
}

bool ObjectSet::insert(const COstrelObject* object) {
  if (!object) return false;
  if (2 * (size_ + 1) > slots_.size()) Rehash(std::max<size_t>(16, 2 * slots_.size()));
  const size_t i = Find(object);
  if (slots_[i]) return false;
  slots_[i] = object;
  ++size_;
  return true;
}

void ObjectSet::Rehash(size_t capacity) {
  std::vector<const COstrelObject*> old(capacity, nullptr);
  old.swap(slots_);
  mask_ = capacity - 1;
  for (const COstrelObject* object : old) {
    if (object) slots_[Find(object)] = object;
  }
}

CollectionIndex::CollectionIndex(ObjectList& list, const ObjectSet& fresh)
    : list_(list), fresh_(fresh), outer_(g_innermost) {
  members_.reserve(fresh.size());  // what is collected: mostly the fresh objects
  g_innermost = this;
}

CollectionIndex::~CollectionIndex() { g_innermost = outer_; }

CollectionIndex* CollectionIndex::Of(const ObjectList& list) {
  for (CollectionIndex* index = g_innermost; index; index = index->outer_) {
    if (&index->list_ == &list) return index;
  }
  return nullptr;
}

bool CollectionIndex::Contains(const COstrelObject* object) {
  if (members_.contains(object)) return true;
  if (whole_list_ || fresh_.contains(object)) return false;
  // An object of the list's own that a new one refers to (an imported route through a mark
  // already in the document): from now on the whole list is known.
  members_.insert(list_.begin(), list_.end());
  whole_list_ = true;
  return members_.contains(object);
}

bool CollectionIndex::Add(COstrelObject* object) {
  if (Contains(object)) return false;
  list_.push_back(object);
  members_.insert(object);
  return true;
}
