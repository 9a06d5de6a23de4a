#include "core/id_multiset.h"

#include <algorithm>
#include <bit>

namespace {

// Runs of 8 consecutive keys (a cache line of slots) lie side by side.
constexpr unsigned kRunBits = 3;
constexpr size_t kMinCapacity = 64;

}  // namespace

// Keys that follow one another (the ids a bulk operation makes within one second, or those of
// a file numbered in order) take slots that follow one another, so registering them walks the
// table instead of missing the cache on each. The runs start at slots scattered by a
// multiplicative hash: anywhere, not at multiples of the run length, which would make runs
// that collide push each other along by whole runs.
size_t IdMultiset::Home(uint32_t key) const {
  const uint64_t run = (key >> kRunBits) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>((run >> 32) + (key & ((1u << kRunBits) - 1))) & mask_;
}

size_t IdMultiset::Find(uint32_t key) const {
  size_t reusable = slots_.size();
  for (size_t i = Home(key);; i = (i + 1) & mask_) {
    const Slot& slot = slots_[i];
    if (slot.count == kEmpty) return reusable < slots_.size() ? reusable : i;
    if (slot.count == kRemoved) {
      if (reusable == slots_.size()) reusable = i;
    } else if (slot.key == key) {
      return i;
    }
  }
}

uint32_t IdMultiset::Count(uint32_t key) const {
  if (slots_.empty()) return 0;
  const Slot& slot = slots_[Find(key)];
  return Holds(slot) ? slot.count : 0;
}

void IdMultiset::Add(uint32_t key) {
  ++changes_;
  // At most half the slots in use keeps an empty slot at the end of every probe. A new table
  // starts at most a third full, so growing doubles it and removal marks are dropped.
  if ((used_ + 1) * 2 > slots_.size()) Rehash(std::bit_ceil(std::max(kMinCapacity, held_ * 3)));
  Slot& slot = slots_[SlotFor(key)];
  if (Holds(slot)) {
    ++slot.count;
    return;
  }
  if (slot.count == kEmpty) ++used_;
  slot = {key, 1};
  ++held_;
}

void IdMultiset::Remove(uint32_t key) {
  ++changes_;
  if (slots_.empty()) return;
  Slot& slot = slots_[SlotFor(key)];
  if (!Holds(slot)) return;
  if (--slot.count == 0) {
    slot.count = kRemoved;
    --held_;
  }
  // The last key of a large table gone (a large document closed): its memory goes too.
  if (held_ == 0 && slots_.size() > kMinCapacity) {
    std::vector<Slot>().swap(slots_);
    has_last_ = false;
    used_ = 0;
    mask_ = 0;
  }
}

void IdMultiset::Rehash(size_t capacity) {
  std::vector<Slot> old(capacity);
  old.swap(slots_);
  has_last_ = false;
  mask_ = capacity - 1;
  used_ = held_;
  for (const Slot& slot : old) {
    if (Holds(slot)) slots_[Find(slot.key)] = slot;
  }
}
