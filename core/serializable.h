#pragma once
// Objects stored as typed records of the block stream (core/serializable_stream.h), and the
// registry through which a reader creates the object for a record's type id.
#include <cstdint>
#include <memory>

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
};
