#pragma once
// The object archive of overlay files (".vdo"), the user-data file and the undo and redo steps.
// Everything is little-endian:
//
//   int32, uint32, float     4 bytes; bool 1 byte (0 or 1; any non-zero reads as true)
//   double                   8 bytes; a 64-bit id is its low 32 bits, then its high 32 bits
//   string                   length, then that many Windows-1252 bytes (no terminator). The
//                            length is one byte below 255; else 0xFF and a 16-bit length below
//                            0xFFFE; else 0xFF, 0xFFFF and a 32-bit length
//   count                    16-bit; from 0xFFFF on, 0xFFFF and a 32-bit count
//   object reference         16-bit 0 for none. Every class and every object gets the next
//                            number of one sequence starting at 1 where it first appears:
//                            - an object seen before: its number (from 0x7FFF on: 0x7FFF and
//                              the 32-bit number)
//                            - an object of a new class: 0xFFFF, 16-bit schema, 16-bit length
//                              and the ASCII class name, then the object's record
//                            - an object of a class seen before: 0x8000 | the class number
//                              (from 0x7FFF on: 0x7FFF and the 32-bit 0x80000000 | number),
//                              then the object's record
//
// Text is UTF-8 in memory and Windows-1252 in the archive (unrepresentable characters are
// written as '?').
//
// A malformed or short archive throws COverlayArchiveException from the read that meets it;
// the document boundary (ReadOverlayFileObjects) catches it. Objects made while loading are
// made by their stored class name (object_factory.h); the archive holds a reference on each
// (COstrelObject, CCategory) until it is destroyed, so a load that fails halfway leaves
// nothing behind once its list and archive are gone. Objects are linked to each other (a
// mark to its routes) only by FinishLoad, after the whole load: a failed load unlinks all of
// them before any is released.
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "overlays/object_factory.h"

class CCategory;
class COstrelObject;

namespace vd::os {
class File;
}

class COverlayArchiveException : public std::exception {
 public:
  enum Cause {
    kEndOfFile,    // a read went past the last byte
    kBadSchema,    // a record of a newer schema than this program writes
    kBadClass,     // an unknown class name, or an object of the wrong class
    kBadIndex,     // a reference to a number not yet given, or to a class
    kBadCount,     // a count or length larger than the bytes left could hold
    kBadString,    // a string length form the archive does not use
    kTooDeep,      // object records nested deeper than any stored file nests them
    kReadFailed,   // the file could not be read
    kWriteFailed,  // the file could not be written
  };

  COverlayArchiveException(Cause cause, std::string message);
  Cause cause() const { return cause_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  Cause cause_;
  std::string message_;
};

// The text shown when a record is newer than this program can read.
inline constexpr char kNewerVersionMessage[] =
    "This file was created with a newer version of the software";

class COverlayArchive {
 public:
  enum class Mode { kLoad, kStore };

  // Loading the bytes of a file from its current position on, or storing to it, through a
  // buffer; a storing archive is flushed (Flush) before the file is closed.
  COverlayArchive(vd::os::File& file, Mode mode);
  // Loading bytes the caller keeps for the archive's lifetime.
  explicit COverlayArchive(std::span<const uint8_t> bytes);

  // Releases the archive's references on the objects it made.
  ~COverlayArchive();
  COverlayArchive(const COverlayArchive&) = delete;
  COverlayArchive& operator=(const COverlayArchive&) = delete;

  bool IsLoading() const { return !storing_; }
  bool IsStoring() const { return storing_; }

  // Loading: the schema of the class tag of the object whose record is being read. Storing:
  // kOverlaySchema.
  uint16_t GetObjectSchema() const { return object_schema_; }

  // The folder that relative links in records are resolved against and made relative to; empty
  // when links are stored as they stand (undo steps store absolute links).
  const std::string& link_folder() const { return link_folder_; }
  void set_link_folder(std::string folder) { link_folder_ = std::move(folder); }

  // Storing: hands the buffered bytes to the file; throws kWriteFailed.
  void Flush();

  // ---- Values ----
  void WriteInt32(int32_t v) { WriteRaw(&v, 4); }
  void WriteUInt32(uint32_t v) { WriteRaw(&v, 4); }
  void WriteUInt16(uint16_t v) { WriteRaw(&v, 2); }
  void WriteByte(uint8_t v) { WriteRaw(&v, 1); }
  void WriteBool(bool v) { WriteByte(v ? 1 : 0); }
  void WriteFloat(float v) { WriteRaw(&v, 4); }
  void WriteDouble(double v) { WriteRaw(&v, 8); }
  void WriteId(uint64_t id) { WriteRaw(&id, 8); }  // low half first, as little-endian gives
  void WriteString(const std::string& utf8);
  void WriteCount(uint32_t count);
  void WriteBytes(const void* data, size_t size) { WriteRaw(data, size); }

  int32_t ReadInt32() { return ReadValue<int32_t>(); }
  uint32_t ReadUInt32() { return ReadValue<uint32_t>(); }
  uint16_t ReadUInt16() { return ReadValue<uint16_t>(); }
  uint8_t ReadByte() { return ReadValue<uint8_t>(); }
  bool ReadBool() { return ReadByte() != 0; }
  float ReadFloat() { return ReadValue<float>(); }
  double ReadDouble() { return ReadValue<double>(); }
  uint64_t ReadId() { return ReadValue<uint64_t>(); }
  std::string ReadString();
  // The same into out, reusing its room: a load reads a few strings into each of a million
  // objects.
  void ReadString(std::string& out);
  // A count of elements each at least min_bytes_each long: kBadCount when the bytes left
  // cannot hold them, so a caller may reserve room for the count.
  uint32_t ReadCount(size_t min_bytes_each = 1);
  // Raw bytes: ReadArchiveExact (below).
  friend void ReadArchiveExact(COverlayArchive& archive, void* buffer, size_t length);

  // Bytes not yet read (loading).
  uint64_t BytesLeft() const;

  // ---- Object references ----
  void WriteObject(const CArchiveObject* object);
  // Storing: a hint that object is written soon (a list's next one), so that looking it up
  // then does not wait for memory.
  void PrefetchObject(const CArchiveObject* object) const;
  // The object referred to, null for none. An object that is not of cls (or derived from it)
  // throws kBadClass.
  CArchiveObject* ReadObject(const OverlayClass& cls);
  template <class T>
  T* ReadObject() {
    return static_cast<T*>(ReadObject(T::kClass));
  }
  // Loading: a category reference, as the program's category of the stored name
  // (CCategory::FindOrCreate) with one reference for the caller; null for none. Each stored
  // category is looked up once: its objects all name it.
  CCategory* ReadSharedCategory();
  // Loading: a hint that count more objects follow (a list's count), so that the table of
  // the objects read is made at its size at once.
  void ReserveObjects(uint32_t count);
  // Loading: everything the caller wanted is read and it holds references on the objects it
  // keeps. Those objects are linked to each other as their records say (LinkAfterLoad); the
  // ones only the archive holds are unlinked (UnlinkAfterLoad) and go with the archive.
  // Without this call the load counts as failed: the archive's end unlinks every object it
  // made before releasing them.
  void FinishLoad();

 private:
  class StoreMap;
  // What the archive holds of an object it made.
  enum class Held : uint8_t { kNothing, kOverlayObject, kCategory };
  // One number of the load table: a class with the schema of its tag, or an object.
  struct Loaded {
    const void* item;  // OverlayClass or CArchiveObject
    uint16_t schema;
    bool is_class;
    Held held;
    uint32_t shared = 0;  // a stored category: 1 + its index in shared_categories_, or 0
  };

  void WriteRaw(const void* data, size_t size) {
    if (size == 0) return;  // empty data may come with a null pointer, which memcpy must not see
    if (static_cast<size_t>(end_ - cur_) < size) {
      WriteSlow(data, size);
      return;
    }
    std::memcpy(cur_, data, size);
    cur_ += size;
  }
  void WriteSlow(const void* data, size_t size);

  template <class T>
  T ReadValue() {
    T v;
    if (static_cast<size_t>(end_ - cur_) < sizeof(T)) {
      ReadSlow(&v, sizeof(T));
    } else {
      std::memcpy(&v, cur_, sizeof(T));
      cur_ += sizeof(T);
    }
    return v;
  }
  void ReadSlow(void* data, size_t size);
  // The loading constructors' common part.
  void StartLoading();
  // Loading from a file: moves what is left to the front of the buffer and fills the rest.
  // False at the end of the file.
  bool Refill();
  [[noreturn]] void Fail(COverlayArchiveException::Cause cause, const char* what) const;

  // ReadObject: the number of the object referred to, 0 for none.
  uint32_t ReadNumber(const OverlayClass& wanted);
  const OverlayClass& ReadNewClass(uint16_t& schema);
  void WriteTag(uint32_t number, bool is_class);
  // Takes a reference on a new object, when its class counts them.
  static Held Keep(CArchiveObject* object);
  // The overlay object of an entry held as one.
  static COstrelObject* OverlayObjectOf(const Loaded& entry);

  bool storing_;
  vd::os::File* file_;
  uint8_t* cur_ = nullptr;  // next byte to read or write
  uint8_t* end_ = nullptr;  // end of the readable bytes or of the free buffer
  std::vector<uint8_t> buffer_;
  uint64_t file_left_ = 0;  // loading from a file: bytes not yet in the buffer
  uint16_t object_schema_ = kOverlaySchema;
  std::string link_folder_;
  int32_t creation_time_ = 0;  // loading: the time objects are made with (CCreationTimeScope)

  std::vector<Loaded> loaded_;        // loading: number -> class or object (0: none)
  std::vector<uint32_t> linking_;     // loading: numbers of the objects that LinksAfterLoad
  // Loading: the program's categories that stored ones stand for, each holding a reference.
  std::vector<CCategory*> shared_categories_;
  std::unique_ptr<StoreMap> stored_;  // storing: class or object -> number
  uint32_t next_number_ = 1;
  int depth_ = 0;  // loading: object records being read, one inside the other
  bool load_finished_ = false;
};

// Reads exactly `length` bytes of a loading archive into buffer; throws COverlayArchiveException
// kEndOfFile, reading nothing, when fewer are left.
void ReadArchiveExact(COverlayArchive& archive, void* buffer, size_t length);

// The program-wide older-schema value: the schema of the last record read whose schema was
// below kOverlaySchema (0 until one is read, or after ResetOlderSchema).
int OlderSchemaRead();
void ResetOlderSchema();
