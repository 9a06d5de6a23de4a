#pragma once
// Memory for objects that are made and dropped by the hundred thousand: a file of a million
// marks makes a million objects, and closing it drops them all.
//
// Objects up to kLargest bytes are carved one after another out of large blocks, by size in
// steps of kStep, each size from runs of its own, and a dropped object's memory waits in its
// thread's list for the next object of its size. The heap is slow at this (it searches and
// merges free chunks, and gives freed pages back to the system, which the next load must fault
// in again), and objects of one size made one after another lie side by side, even when
// objects of other sizes (their list nodes, say) are made between them, so walking a long list
// streams through memory.
//
// The memory is kept by the process for reuse once taken: what a thread frees serves its next
// objects, and the lists of a thread that ends serve the other threads, until ReleaseUnused
// gives the blocks whose objects are all free back to the system (a closed document's). Under
// AddressSanitizer every object comes from the heap and goes back to it, so that its checks
// stay exact.
#include <cstddef>
#include <new>

#include "core/address_sanitizer.h"

namespace vd {

class ObjectArena {
 public:
  static constexpr std::size_t kStep = 16;
  static constexpr std::size_t kLargest = 1024;

  static void* Allocate(std::size_t size) {
#if !VD_ADDRESS_SANITIZER
    const std::size_t index = IndexOf(size);
    if (index < kClasses) {
      if (FreeObject* object = t_cache_.heads[index]) {
        t_cache_.heads[index] = object->next;
        return object;
      }
    }
#endif
    return AllocateSlow(size);
  }

  // size is the one the object was allocated with.
  static void Free(void* object, std::size_t size) noexcept {
    if (!object) return;
#if !VD_ADDRESS_SANITIZER
    const std::size_t index = IndexOf(size);
    if (index < kClasses && t_cache_.live) {
      auto* free_object = static_cast<FreeObject*>(object);
      free_object->next = t_cache_.heads[index];
      t_cache_.heads[index] = free_object;
      return;
    }
#endif
    FreeSlow(object, size);
  }

  // Bytes of blocks held now, for tests and diagnostics.
  static std::size_t ReservedBytes();

  // Gives back to the system each block of the calling thread whose every object made so far
  // waits, freed, in the calling thread's lists or in those of ended threads; returns the
  // bytes given back. Costs a walk through those lists: for after a large drop, such as the
  // close of a document.
  static std::size_t ReleaseUnused();

 private:
  static constexpr std::size_t kClasses = kLargest / kStep;

  struct FreeObject {
    FreeObject* next;
  };
  static_assert(kStep % __STDCPP_DEFAULT_NEW_ALIGNMENT__ == 0 && sizeof(FreeObject) <= kStep);

  // The head of each block, before its objects.
  struct Block {
    Block* next;         // the thread's blocks
    std::size_t size;    // bytes, the head included
    std::size_t carved;  // objects made from it so far
    std::size_t free;    // ReleaseUnused: of those, found in the lists
  };
  struct Run {
    char* next;
    char* end;
    Block* block;  // that next and end lie in
  };
  struct ThreadCache {
    FreeObject* heads[kClasses];
    Run runs[kClasses];  // the rest of the run each size is carved from
    Run block;           // the rest of the thread's current block, cut into runs
    std::size_t block_size;  // of the thread's next block
    Block* blocks;       // every block the thread made that is still held
    // The thread's lists take freed objects: set by the thread's first allocation here, which
    // arranges for the lists to be handed on at the thread's end, and cleared then.
    bool live;
    bool released;  // the lists were handed on: the thread is ending
  };
  // Trivial and constant-initialised: reached without a guard or a call.
  static constinit inline thread_local ThreadCache t_cache_{};

  struct ThreadRelease;

  // The list for objects of size bytes (never 0), or kClasses and above for larger objects.
  // Every object in list i has (i + 1) * kStep bytes.
  static std::size_t IndexOf(std::size_t size) { return (size - 1) / kStep; }

  static void* AllocateSlow(std::size_t size);
  static void FreeSlow(void* object, std::size_t size) noexcept;
  static void* Carve(std::size_t index);
  static Run TakeFromBlock(std::size_t bytes);
};

// After a large drop (a document closed): the arena's blocks that ReleaseUnused may give back
// and the heap's free pages go back to the system.
void ReleaseFreedMemory();

// An allocator over the arena, for the nodes of containers that hold such objects by the
// hundred thousand (a document's object list). All of them are equal: memory one takes another
// may free.
template <class T>
struct ArenaAllocator {
  using value_type = T;
  static_assert(alignof(T) <= ObjectArena::kStep);

  ArenaAllocator() = default;
  template <class U>
  ArenaAllocator(const ArenaAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return static_cast<T*>(ObjectArena::Allocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { ObjectArena::Free(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const ArenaAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace vd
