#pragma once
// A multiset of 32-bit keys: the low halves of the ids that one document's overlay objects
// hold, each with the number of objects holding it (an object read back from a file or an undo
// step carries the id of the object it stands for).
//
// Loading a file registers an id per object, a million of them for a large file, so the keys
// live in one flat table rather than a node each: open addressing with linear probing, kept at
// most half full (removal marks included) so that every probe ends at an empty slot soon.
#include <cstddef>
#include <cstdint>
#include <vector>

class IdMultiset {
 public:
  bool empty() const { return held_ == 0; }
  // Bytes of the table.
  size_t MemoryBytes() const { return slots_.capacity() * sizeof(Slot); }
  // Grows with every Add and Remove: equal values tell that the keys stayed as they were.
  uint64_t changes() const { return changes_; }
  // How many times key was added and not yet removed.
  uint32_t Count(uint32_t key) const;
  bool Contains(uint32_t key) const { return Count(key) != 0; }
  void Add(uint32_t key);
  // Removes one occurrence; nothing when key is not held.
  void Remove(uint32_t key);

 private:
  // A slot is empty (count 0), holds a key (count > 0), or marks a removed key, so that probes
  // for keys placed beyond it go on.
  static constexpr uint32_t kEmpty = 0;
  static constexpr uint32_t kRemoved = UINT32_MAX;
  struct Slot {
    uint32_t key = 0;
    uint32_t count = kEmpty;
  };
  static bool Holds(const Slot& slot) { return slot.count != kEmpty && slot.count != kRemoved; }

  size_t Home(uint32_t key) const;
  // The slot holding key, else the first slot on its probe path that may take it.
  size_t Find(uint32_t key) const;
  // A table of the capacity (a power of two) holding the same keys, without removal marks.
  void Rehash(size_t capacity);

  // The slot of the key added or removed last, valid until a rehash: a key added and removed
  // over and over (the time a load gives each new object until its record sets it) takes the
  // same slot without a search. A removed key's slot stays on its probe path and no other
  // slot holds it, so it may take the key back.
  size_t SlotFor(uint32_t key) {
    if (!(has_last_ && last_key_ == key)) {
      last_slot_ = Find(key);
      last_key_ = key;
      has_last_ = true;
    }
    return last_slot_;
  }

  std::vector<Slot> slots_;
  bool has_last_ = false;
  uint32_t last_key_ = 0;
  size_t last_slot_ = 0;
  uint64_t changes_ = 0;
  size_t held_ = 0;  // slots holding a key
  size_t used_ = 0;  // slots not empty: held and removal marks
  size_t mask_ = 0;
};
