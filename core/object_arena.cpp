#include "core/object_arena.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <new>
#include <vector>

namespace vd {

namespace {

// A thread's first block is small, so that a thread making a few objects holds little; each
// next one doubles, up to a size that keeps the blocks few for a million objects.
constexpr std::size_t kFirstBlock = std::size_t{64} << 10;
constexpr std::size_t kLargestBlock = std::size_t{4} << 20;
// Each size is carved from runs of its own: about this many bytes.
constexpr std::size_t kRunBytes = std::size_t{16} << 10;
constexpr std::size_t kClassCount = ObjectArena::kLargest / ObjectArena::kStep;
// The head of a block, rounded up so that its objects keep their alignment.
constexpr std::size_t kBlockHead = 64;

// The lists of threads that have ended, and objects freed by threads without lists of their
// own (that never allocated here, or are past their end).
struct Depot {
  std::mutex mutex;
  void* heads[kClassCount] = {};
  std::atomic<bool> has[kClassCount] = {};  // heads[i] is not empty; read without the lock
  std::atomic<std::size_t> reserved{0};

  void Push(std::size_t index, void* object) {  // under the lock
    *static_cast<void**>(object) = heads[index];
    heads[index] = object;
    has[index].store(true, std::memory_order_relaxed);
  }
};

Depot& TheDepot() {
  static auto* depot = new Depot;  // never destroyed: objects may be freed at any time in exit
  return *depot;
}

}  // namespace

// Made by a thread's first allocation here; hands the thread's lists to the depot when the
// thread ends.
struct ObjectArena::ThreadRelease {
  ThreadRelease() { t_cache_.live = true; }
  ~ThreadRelease() {
    t_cache_.live = false;
    t_cache_.released = true;
    Depot& depot = TheDepot();
    const std::lock_guard lock(depot.mutex);
    for (std::size_t i = 0; i < kClasses; ++i) {
      while (FreeObject* object = t_cache_.heads[i]) {
        t_cache_.heads[i] = object->next;
        depot.Push(i, object);
      }
    }
    // The rest of the current block and runs is left unused.
    t_cache_.block = {};
    for (Run& run : t_cache_.runs) run = {};
  }
};

std::size_t ObjectArena::ReservedBytes() {
  return TheDepot().reserved.load(std::memory_order_relaxed);
}

ObjectArena::Run ObjectArena::TakeFromBlock(std::size_t bytes) {
  ThreadCache& cache = t_cache_;
  if (static_cast<std::size_t>(cache.block.end - cache.block.next) < bytes) {
    const std::size_t size = std::max(cache.block_size, kFirstBlock);
    // The block is filled from its start as objects are made, so its pages are all asked for
    // at once: far cheaper than a fault on each.
    void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    TheDepot().reserved.fetch_add(size, std::memory_order_relaxed);
    auto* block = new (memory) Block{cache.blocks, size, 0, 0};
    cache.blocks = block;
    cache.block.next = static_cast<char*>(memory) + kBlockHead;
    cache.block.end = static_cast<char*>(memory) + size;
    cache.block.block = block;
    cache.block_size = std::min(size * 2, kLargestBlock);
  }
  const Run taken{cache.block.next, cache.block.next + bytes, cache.block.block};
  cache.block.next += bytes;
  return taken;
}

void* ObjectArena::Carve(std::size_t index) {
  const std::size_t bytes = (index + 1) * kStep;
  Run& run = t_cache_.runs[index];
  if (static_cast<std::size_t>(run.end - run.next) < bytes) {
    // About kRunBytes (a whole number of objects), 64 objects at least.
    run = TakeFromBlock(std::max<std::size_t>(64, kRunBytes / bytes) * bytes);
  }
  void* object = run.next;
  run.next += bytes;
  ++run.block->carved;
  return object;
}

std::size_t ObjectArena::ReleaseUnused() {
  static_assert(sizeof(Block) <= kBlockHead && kBlockHead % kStep == 0);
  ThreadCache& cache = t_cache_;
  if (VD_ADDRESS_SANITIZER || !cache.live || !cache.blocks) return 0;
  std::vector<Block*> blocks;  // by address
  for (Block* block = cache.blocks; block; block = block->next) {
    block->free = 0;
    blocks.push_back(block);
  }
  std::sort(blocks.begin(), blocks.end());
  const auto block_of = [&](const void* object) -> Block* {
    auto after = std::upper_bound(blocks.begin(), blocks.end(), object,
                                  [](const void* p, const Block* b) { return p < b; });
    if (after == blocks.begin()) return nullptr;
    Block* block = *std::prev(after);
    return static_cast<const char*>(object) < reinterpret_cast<char*>(block) + block->size
               ? block
               : nullptr;
  };
  // A block goes when all it made is free: every one of its objects is then in a list.
  const auto goes = [](const Block* block) {
    return block && block->carved > 0 && block->free == block->carved;
  };
  Depot& depot = TheDepot();
  const std::lock_guard lock(depot.mutex);
  const auto count = [&](void* head) {
    for (auto* object = static_cast<FreeObject*>(head); object; object = object->next) {
      if (Block* block = block_of(object)) ++block->free;
    }
  };
  for (std::size_t i = 0; i < kClasses; ++i) {
    count(cache.heads[i]);
    count(depot.heads[i]);
  }
  if (std::none_of(blocks.begin(), blocks.end(), goes)) return 0;
  const auto drop_going = [&](void* head) {
    FreeObject* kept = nullptr;
    FreeObject** tail = &kept;
    for (auto* object = static_cast<FreeObject*>(head); object;) {
      FreeObject* next = object->next;
      if (!goes(block_of(object))) {
        *tail = object;
        tail = &object->next;
      }
      object = next;
    }
    *tail = nullptr;
    return kept;
  };
  for (std::size_t i = 0; i < kClasses; ++i) {
    cache.heads[i] = drop_going(cache.heads[i]);
    depot.heads[i] = drop_going(depot.heads[i]);
    depot.has[i].store(depot.heads[i] != nullptr, std::memory_order_relaxed);
  }
  // What is left of the runs and the current block in a going block goes with it.
  for (Run& run : cache.runs) {
    if (goes(run.block)) run = {};
  }
  if (goes(cache.block.block)) cache.block = {};
  std::size_t released = 0;
  for (Block** link = &cache.blocks; *link;) {
    Block* block = *link;
    if (!goes(block)) {
      link = &block->next;
      continue;
    }
    *link = block->next;
    released += block->size;
    ::munmap(block, block->size);
  }
  depot.reserved.fetch_sub(released, std::memory_order_relaxed);
  return released;
}

void* ObjectArena::AllocateSlow(std::size_t size) {
  const std::size_t index = IndexOf(size);
  if (VD_ADDRESS_SANITIZER || index >= kClasses) return ::operator new(size);
  ThreadCache& cache = t_cache_;
  if (!cache.live && !cache.released) static thread_local ThreadRelease release;
  Depot& depot = TheDepot();
  if (depot.has[index].load(std::memory_order_relaxed)) {
    // The whole list: one lock for many objects.
    const std::lock_guard lock(depot.mutex);
    if (void* object = depot.heads[index]) {
      depot.heads[index] = nullptr;
      depot.has[index].store(false, std::memory_order_relaxed);
      auto* first = static_cast<FreeObject*>(object);
      if (cache.live) {
        cache.heads[index] = first->next;
      } else {
        depot.heads[index] = first->next;  // past the thread's end: only the one
        depot.has[index].store(first->next != nullptr, std::memory_order_relaxed);
      }
      return first;
    }
  }
  return Carve(index);
}

void ObjectArena::FreeSlow(void* object, std::size_t size) noexcept {
  const std::size_t index = IndexOf(size);
  if (VD_ADDRESS_SANITIZER || index >= kClasses) {
    ::operator delete(object);
    return;
  }
  // A thread without lists of its own.
  Depot& depot = TheDepot();
  const std::lock_guard lock(depot.mutex);
  depot.Push(index, object);
}

void ReleaseFreedMemory() {
  ObjectArena::ReleaseUnused();
  ::malloc_trim(0);
}

}  // namespace vd
