#include "overlays/collection_index.h"

namespace {

CollectionIndex* g_innermost = nullptr;

}  // namespace

CollectionIndex::CollectionIndex(ObjectList& list,
                                 const std::unordered_set<const COstrelObject*>& fresh)
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
