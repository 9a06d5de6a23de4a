#pragma once
// The handles a document hands to other programs for its overlay objects. A handle is a
// number from 1 up, given to an object the first time it is asked for and never given to
// another object during the run, so a client holding the handle of a deleted object can never
// reach an object made later at the same address. One table per document; user-interface
// thread only.
#include <cstdint>
#include <unordered_map>

#include "app/shell_services.h"
#include "corvex/vd_transaction.h"

class CApiHandleTable {
 public:
  // The object's handle; kNone for null, and once every 32-bit number has been given out.
  ApiHandle HandleOf(const COstrelObject* object);
  // The object of the handle while it is in the list; null for kNone, a handle this table did
  // not give out, and the handle of an object that has left the list or been destroyed.
  COstrelObject* Find(ApiHandle handle, const ObjectList& list) const;

 private:
  struct Entry {
    const COstrelObject* object;
    uint64_t serial;  // tells the object from a later one at the same address
  };

  std::unordered_map<uint32_t, Entry> entries_;
  std::unordered_map<uint64_t, uint32_t> handle_of_serial_;
  uint32_t next_ = 1;
};
