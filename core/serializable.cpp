#include "core/serializable.h"

namespace {

// The head of the registry's list. A function-local static so that registrations made during
// static initialisation of other files find it ready whatever the order of initialisation.
CSerializable::Type*& Head() {
  static CSerializable::Type* head = nullptr;
  return head;
}

}  // namespace

CSerializable::Type::Type(int32_t type_id) : type_id_(type_id), next_(Head()) { Head() = this; }

CSerializable::Type::~Type() {
  for (Type** link = &Head(); *link; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      return;
    }
  }
}

const CSerializable::Type* CSerializable::Type::Find(int32_t type_id) {
  for (const Type* t = Head(); t; t = t->next_) {
    if (t->type_id_ == type_id) return t;
  }
  return nullptr;
}

// ---- memory of records

namespace {
// Set when the thread's lists have been given back: objects freed after that (by destructors
// that run later in the thread's exit) go straight to the heap.
thread_local bool t_lists_released = false;
}  // namespace

// Gives a thread's kept objects back to the heap when the thread ends.
struct CSerializable::FreeListsRelease {
  ~FreeListsRelease() {
    t_lists_released = true;
    free_lists_.armed = false;
    for (FreeList& list : free_lists_.by_size) {
      while (FreeObject* object = list.head) {
        list.head = object->next;
        ::operator delete(object);
      }
      list.count = 0;
    }
  }
};

void* CSerializable::AllocateSlow(std::size_t size) {
  const std::size_t index = ListIndex(size);
  return ::operator new(index < kSizes ? (index + 1) * kSizeStep : size);
}

void CSerializable::FreeSlow(void* object, std::size_t size) noexcept {
  if (object && kKept > 0 && ListFor(size) && !free_lists_.armed && !t_lists_released) {
    // The first object the thread keeps: arrange for its lists to be given back at its end.
    static thread_local FreeListsRelease release;
    free_lists_.armed = true;
    operator delete(object, size);  // kept now
    return;
  }
  ::operator delete(object);
}
