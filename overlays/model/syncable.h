#pragma once
// Base of every stored and synchronised object of the newer overlay model (marks, routes,
// tracks): times, texts, the live/deleted state and the synchronisation id. A deleted object
// stays with its owner as a deletion record until the synchronisation side has seen it.
#include <cstdint>
#include <string>

#include "core/serializable.h"
#include "geodesy/geo_bounds.h"

class CSerializableStream;

class CSyncable : public CSerializable {
 public:
  // Empty texts, created = modified = GetNow(), live, no sync id.
  CSyncable();

  // The record for synchronisation; flags and time are the synchronisation side's, the base
  // writes the ordinary record.
  virtual bool SerializeForSync(CSerializableStream& stream, int32_t flags, double time);
  // Widens box to hold the object; false when the object adds nothing.
  virtual bool ExtendBounds(CGeoBounds& box) const;
  // Appends the object's GPX element to out; true when it was written.
  virtual bool WriteGPX(std::string& out) const;

  // The base record: one block of sync id, purge, modified, deleted, created, live, keep.
  // Reading corrects a created time later than the modified time and a deleted object that
  // says it is live. True when every field was exchanged.
  bool SerializeBase(CSerializableStream& stream);

  // "vdid:" and the sync id in upper-case hexadecimal.
  std::string GetSyncIdText() const;
  // Deleted, no longer live, modified now; purge when it never had a sync id.
  void MarkDeleted();

  int32_t reserved = 0;
  double modified;  // seconds since 1601 (GetNow)
  double created;
  std::string name;
  std::string description;
  std::string type;  // free type text
  bool live = true;
  bool keep = false;   // per class; marks: stays when route creation consumes it
  bool purge = false;  // deleted before it ever had a sync id
  uint64_t sync_id = 0;  // 0 = none yet
  bool deleted = false;
  // Left out of the overlay sync while set. Kept while the program runs; not part of the
  // stored or synchronised record, whose layout others rely on.
  bool not_syncable = false;
};
