#pragma once
// Objects stored as typed records of the block stream (core/serializable_stream.h), and the
// registry through which a reader creates the object for a record's type id.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "core/address_sanitizer.h"

class CSerializableStream;

class CSerializable {
 public:
  // One registration per record type, normally a static member `cType` of the class, so that
  // it registers itself during static initialisation:
  //   static const CSerializable::TypeOf<COverlayMark> cType;   // defined with its id, 20
  // The newest registration of an id wins. A registration leaves the registry when destroyed.
  class Type {
   public:
    explicit Type(int32_t type_id);
    virtual ~Type();
    Type(const Type&) = delete;
    Type& operator=(const Type&) = delete;

    // A default-constructed object of the registered class.
    virtual std::unique_ptr<CSerializable> Create() const = 0;
    int32_t type_id() const { return type_id_; }

    // The registration of type_id, or null when no class has it.
    static const Type* Find(int32_t type_id);

   private:
    int32_t type_id_;
    Type* next_ = nullptr;
  };

  template <class T>
  class TypeOf final : public Type {
   public:
    using Type::Type;
    std::unique_ptr<CSerializable> Create() const override { return std::make_unique<T>(); }
  };

  virtual ~CSerializable() = default;

  // Exchanges the object's fields with the stream, reading or writing as the stream is
  // opened. Normally opens one block, exchanges the fields in a fixed order and closes it.
  virtual bool Serialize(CSerializableStream& stream) = 0;
  // The registered record type, -1 when the class has none.
  virtual int32_t GetTypeId() const { return -1; }

  // Reading a file creates and destroys records one by one in large numbers. The memory of
  // small objects is kept for reuse in short lists per thread and size, so that a reader that
  // drops each record before it has read many more does not go to the heap for it. The size is
  // a constant where these are called (the class's own), so the inline part folds to a few
  // instructions.
  static void* operator new(std::size_t size) {
    if (FreeList* list = ListFor(size); list && list->head) {
      FreeObject* object = list->head;
      list->head = object->next;
      --list->count;
      return object;
    }
    return AllocateSlow(size);
  }
  static void operator delete(void* object, std::size_t size) noexcept {
    FreeList* list = ListFor(size);
    if (object && list && list->count < kKept && free_lists_.armed) {
      auto free_object = static_cast<FreeObject*>(object);
      free_object->next = list->head;
      list->head = free_object;
      ++list->count;
      return;
    }
    FreeSlow(object, size);
  }
  // Over-aligned classes take the ordinary heap.
  static void* operator new(std::size_t size, std::align_val_t alignment) {
    return ::operator new(size, alignment);
  }
  static void operator delete(void* object, std::size_t size,
                              std::align_val_t alignment) noexcept {
    ::operator delete(object, size, alignment);
  }

 private:
  struct FreeListsRelease;

  // Objects up to kPooledSize bytes, by size in steps of kSizeStep, at most kKept of each size
  // per thread. Under AddressSanitizer nothing is kept, so that its checks stay exact.
  static constexpr std::size_t kSizeStep = 16;
  static constexpr std::size_t kPooledSize = 256;
  static constexpr std::size_t kSizes = kPooledSize / kSizeStep;
#if VD_ADDRESS_SANITIZER
  static constexpr unsigned kKept = 0;
#else
  static constexpr unsigned kKept = 32;
#endif

  struct FreeObject {
    FreeObject* next;
  };
  static_assert(kSizeStep % __STDCPP_DEFAULT_NEW_ALIGNMENT__ == 0 &&
                sizeof(FreeObject) <= kSizeStep);
  struct FreeList {
    FreeObject* head;
    unsigned count;
  };
  struct FreeLists {
    FreeList by_size[kSizes];
    // Objects are kept only once the lists are due to go back to the heap at the thread's
    // end (FreeSlow arranges it), and no longer after that.
    bool armed;
  };
  // Trivial and constant-initialised: reached without a guard or a call.
  static constinit inline thread_local FreeLists free_lists_{};

  // The index of the list for objects of size bytes (never 0: every record has a vtable), or
  // kSizes when such objects are not kept. Every object in list i has (i + 1) * kSizeStep
  // bytes, so that any of them serves.
  static std::size_t ListIndex(std::size_t size) {
    return std::min((size - 1) / kSizeStep, kSizes);
  }
  static FreeList* ListFor(std::size_t size) {
    const std::size_t index = ListIndex(size);
    return index < kSizes ? &free_lists_.by_size[index] : nullptr;
  }
  static void* AllocateSlow(std::size_t size);
  static void FreeSlow(void* object, std::size_t size) noexcept;
};
