#include "corvex/api_handle_table.h"

#include <algorithm>

#include "overlays/ostrel_object.h"

ApiHandle CApiHandleTable::HandleOf(const COstrelObject* object) {
  if (!object) return ApiHandle::kNone;
  const auto known = handle_of_serial_.find(object->serial());
  if (known != handle_of_serial_.end()) return static_cast<ApiHandle>(known->second);
  if (next_ == 0) return ApiHandle::kNone;  // all numbers used up
  const uint32_t handle = next_++;
  entries_.emplace(handle, Entry{object, object->serial()});
  handle_of_serial_.emplace(object->serial(), handle);
  return static_cast<ApiHandle>(handle);
}

COstrelObject* CApiHandleTable::Find(ApiHandle handle, const ObjectList& list) const {
  const auto entry = entries_.find(static_cast<uint32_t>(handle));
  if (entry == entries_.end()) return nullptr;
  // Only an object found in the list is alive and may be looked at.
  const auto it = std::find(list.begin(), list.end(), entry->second.object);
  if (it == list.end() || (*it)->serial() != entry->second.serial) return nullptr;
  return *it;
}
