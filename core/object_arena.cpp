#include "core/object_arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace vd {

namespace {

// A thread's first block is small, so that a thread making a few objects holds little; each
// next one doubles, up to a size that keeps the blocks few for a million objects.
constexpr std::size_t kFirstBlock = std::size_t{64} << 10;
constexpr std::size_t kLargestBlock = std::size_t{4} << 20;
// Each size is carved from runs of its own: about this many bytes.
constexpr std::size_t kRunBytes = std::size_t{16} << 10;
constexpr std::size_t kClassCount = ObjectArena::kLargest / ObjectArena::kStep;

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

char* ObjectArena::TakeFromBlock(std::size_t bytes) {
  ThreadCache& cache = t_cache_;
  if (static_cast<std::size_t>(cache.block.end - cache.block.next) < bytes) {
    const std::size_t size = std::max(cache.block_size, kFirstBlock);
    // The block is filled from its start as objects are made, so its pages are all asked for
    // at once: far cheaper than a fault on each.
    void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    TheDepot().reserved.fetch_add(size, std::memory_order_relaxed);
    cache.block.next = static_cast<char*>(block);
    cache.block.end = cache.block.next + size;
    cache.block_size = std::min(size * 2, kLargestBlock);
  }
  char* taken = cache.block.next;
  cache.block.next += bytes;
  return taken;
}

void* ObjectArena::Carve(std::size_t index) {
  const std::size_t bytes = (index + 1) * kStep;
  Run& run = t_cache_.runs[index];
  if (static_cast<std::size_t>(run.end - run.next) < bytes) {
    // About kRunBytes (a whole number of objects), 64 objects at least.
    const std::size_t run_bytes = std::max<std::size_t>(64, kRunBytes / bytes) * bytes;
    run.next = TakeFromBlock(run_bytes);
    run.end = run.next + run_bytes;
  }
  void* object = run.next;
  run.next += bytes;
  return object;
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

}  // namespace vd
