#pragma once
// The block stream: a compact binary file of typed records that tolerates version differences
// in both directions. Each object body is framed as a block
//   0xBE, uint32 length of the whole block (its 5 header bytes included), body
// so that a reader keeps its defaults for fields an older writer did not write (a field read at
// the end of its block is absent and leaves the value alone) and skips the fields a newer writer
// added (EndBlock passes over the rest and sets Skipped). A typed record is
//   int32 type id, int32 body length (> 0, the bytes after this header), body (normally a block)
// and is created through the CSerializable::Type registry. All integers are little-endian.
//
// One object serves both directions: Serialize implementations call the same Exchange*
// operations, which read or write as the stream was opened. Every length read from the file is
// checked against the bytes of the enclosing block (or of the file) before it is used; a framing
// error (bad marker, bad block or record length) ends reading of the whole stream.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "core/serializable.h"
#include "platform/os/files.h"

static_assert(std::endian::native == std::endian::little,
              "raw fields are stored as the little-endian bytes of the value");

class CSerializableStream {
 public:
  static constexpr uint8_t kBlockMarker = 0xBE;
  static constexpr uint32_t kBlockHeaderSize = 5;
  static constexpr uint32_t kRecordHeaderSize = 8;
  static constexpr uint32_t kMaxBlockLength = 100'000'000;
  static constexpr uint32_t kMaxStringLength = 1'000'000;
  static constexpr size_t kBufferSize = 64 * 1024;

  enum class RecordStatus {
    kRecord,   // the record was read; object holds it
    kSkipped,  // a record was passed over (its type is not registered, or its body did not
               // read); the stream stands at the next one
    kEnd,      // nothing more: the end of the file or of the enclosing block, or a framing
               // error (Failed() tells which)
  };
  struct RecordResult {
    RecordStatus status = RecordStatus::kEnd;
    std::unique_ptr<CSerializable> object;
  };

  // One block around an object body: BeginBlock on construction, EndBlock on destruction.
  class Block {
   public:
    explicit Block(CSerializableStream& stream) : stream_(stream), ok_(stream.BeginBlock()) {}
    ~Block() { stream_.EndBlock(); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    bool ok() const { return ok_; }

   private:
    CSerializableStream& stream_;
    bool ok_;
  };

  CSerializableStream();
  // A write that was not closed is discarded: the target keeps its old contents.
  ~CSerializableStream();
  CSerializableStream(const CSerializableStream&) = delete;
  CSerializableStream& operator=(const CSerializableStream&) = delete;

  bool OpenRead(const std::string& path);
  // Writes to a temporary file beside path, which replaces path only at a successful Close.
  bool OpenWrite(const std::string& path);
  // Writing: flushes and puts the file in place; false, leaving the target untouched, when
  // anything failed. Reading: false when a framing error ended reading.
  bool Close();

  bool IsReading() const { return mode_ == Mode::kRead; }
  bool IsWriting() const { return mode_ == Mode::kWrite; }
  // A write failed or a framing error ended reading; every later operation fails.
  bool Failed() const { return failed_; }
  // Reading passed over bytes it did not understand: the file came from a newer writer (or
  // holds records of types this program does not know).
  bool Skipped() const { return skipped_; }

  // Reading: opens the block at the current position. At the end of the enclosing block the
  // block counts as absent: it opens empty and all its fields keep their defaults. Writing:
  // starts a block whose header EndBlock fills in. Every BeginBlock needs its EndBlock, also
  // when it failed (Block does this).
  bool BeginBlock();
  // Reading: passes over what is left of the block. Writing: fills in the block's header.
  bool EndBlock();
  // Reading: nothing is left to read in the innermost block (or reading failed). Writing: false.
  bool AtBlockEnd() const;

  // Each exchange returns false on a failed read or write. When reading at the end of the
  // innermost block the field is absent: true, and the value is left unchanged.
  bool ExchangeRaw(void* data, size_t length);
  bool ExchangeBool(bool& value);
  // uint32 length, then the bytes; at most kMaxStringLength bytes in either direction.
  bool ExchangeString(std::string& value);
  // uint32 element size, then count elements (the caller exchanges count itself). Elements
  // stored larger than T are cut to sizeof(T) (setting Skipped); smaller ones fill the front
  // of each element and leave the rest unchanged.
  template <class T>
  bool ExchangeArray(T* elements, size_t count) {
    static_assert(std::is_trivially_copyable_v<T>);
    return ExchangeArrayBytes(elements, count, sizeof(T));
  }
  // An 0xAARRGGBB colour as four floats red, green, blue, alpha, each byte / 255.
  bool ExchangeColour(uint32_t& argb);

  // Writes the object as a typed record of its GetTypeId. A failure fails the whole stream.
  bool WriteRecord(CSerializable& object);
  // Reads the next typed record of the enclosing block (or of the file).
  RecordResult ReadRecord();

 private:
  enum class Mode { kClosed, kRead, kWrite };
  enum class Field { kPresent, kAbsent, kFailed };
  // An open block or record body, or (the outermost) the whole file.
  struct Frame {
    uint64_t start;
    uint64_t end;  // reading: the first byte after it
    bool block;    // fields read at its end are absent rather than failed
  };

  void Start(Mode mode, uint64_t end);
  // Closes without committing a write.
  void Abandon();
  bool Fail();
  uint64_t Position() const { return buffer_offset_ + cursor_; }
  uint64_t Remaining() const { return limit_ - Position(); }
  // Reading: whether a field of length bytes follows.
  Field Check(size_t length) const;
  // Scalars rather than a Frame: a frame just built on the stack and read back whole would
  // stall the load.
  void Push(uint64_t start, uint64_t end, bool block);
  // Removes the innermost frame and gives it back.
  Frame Pop();
  // Keeps limit_, limit_block_ and fast_end_ in step with the innermost frame and the buffer.
  void SetLimit(uint64_t end, bool block);
  void UpdateFastEnd();

  bool Put(const void* data, size_t length);
  bool PutSlow(const void* data, size_t length);
  bool Flush();
  // Overwrites bytes already written (block and record headers).
  bool Patch(uint64_t offset, const void* data, size_t length);
  bool PatchSlow(uint64_t offset, const uint8_t* data, size_t length);

  // Reading bytes the caller has checked against the innermost frame.
  bool Take(void* data, size_t length);
  bool TakeSlow(uint8_t* data, size_t length);
  bool ReadFully(void* data, size_t length, uint64_t offset);
  void SeekTo(uint64_t offset);

  // The complete reading operations; the inline ones take a shortcut when they can.
  bool BeginBlockSlow();
  bool ExchangeRawSlow(void* data, size_t length);
  bool ExchangeStringSlow(std::string& value);
  bool ExchangeArrayBytes(void* elements, size_t count, uint32_t element_size);

  static bool BlockLengthValid(uint32_t length, uint64_t room) {
    return length >= kBlockHeaderSize && length <= kMaxBlockLength && length <= room;
  }

  vd::os::File input_;
  vd::os::AtomicFileWriter output_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint64_t buffer_offset_ = 0;  // file offset of buffer_[0]
  size_t cursor_ = 0;           // next byte of the buffer to read or write
  size_t filled_ = 0;           // reading: bytes of the buffer that hold file data
  // Reading: the end of the bytes that are both in the buffer and inside the innermost frame
  // (cursor_ when reading has failed), so that one comparison admits a field. Not used for
  // writing.
  size_t fast_end_ = 0;
  uint64_t input_size_ = 0;
  std::vector<Frame> frames_;  // outermost (the whole file) first
  uint64_t limit_ = 0;         // end and block flag of the innermost frame, kept at hand
  bool limit_block_ = false;
  Mode mode_ = Mode::kClosed;
  bool failed_ = false;
  bool skipped_ = false;
};

// The per-field and per-block operations have inline shortcuts for the common case of a field
// that lies in the buffer: a stream of small records spends its time here.

inline CSerializableStream::Field CSerializableStream::Check(size_t length) const {
  if (mode_ != Mode::kRead || failed_) return Field::kFailed;
  const uint64_t position = Position();
  if (position >= limit_) return limit_block_ ? Field::kAbsent : Field::kFailed;
  return length <= limit_ - position ? Field::kPresent : Field::kFailed;
}

inline void CSerializableStream::UpdateFastEnd() {
  if (mode_ != Mode::kRead) return;
  fast_end_ =
      failed_ ? cursor_ : static_cast<size_t>(std::min<uint64_t>(filled_, limit_ - buffer_offset_));
}

inline void CSerializableStream::SetLimit(uint64_t end, bool block) {
  limit_ = end;
  limit_block_ = block;
  UpdateFastEnd();
}

inline void CSerializableStream::Push(uint64_t start, uint64_t end, bool block) {
  frames_.push_back(Frame{start, end, block});
  SetLimit(end, block);
}

inline CSerializableStream::Frame CSerializableStream::Pop() {
  const Frame inner = frames_.back();
  frames_.pop_back();
  SetLimit(frames_.back().end, frames_.back().block);
  return inner;
}

inline bool CSerializableStream::Put(const void* data, size_t length) {
  if (failed_) return false;
  if (length <= kBufferSize - cursor_) {
    std::memcpy(buffer_.get() + cursor_, data, length);
    cursor_ += length;
    return true;
  }
  return PutSlow(data, length);
}

inline bool CSerializableStream::Patch(uint64_t offset, const void* data, size_t length) {
  if (failed_) return false;
  if (offset < buffer_offset_) return PatchSlow(offset, static_cast<const uint8_t*>(data), length);
  std::memcpy(buffer_.get() + (offset - buffer_offset_), data, length);
  return true;
}

inline bool CSerializableStream::Take(void* data, size_t length) {
  if (length <= filled_ - cursor_) {
    std::memcpy(data, buffer_.get() + cursor_, length);
    cursor_ += length;
    return true;
  }
  return TakeSlow(static_cast<uint8_t*>(data), length);
}

inline bool CSerializableStream::BeginBlock() {
  if (mode_ == Mode::kWrite) {
    Push(Position(), 0, true);
    static constexpr uint8_t kPlaceholder[kBlockHeaderSize] = {};
    return Put(kPlaceholder, sizeof kPlaceholder);
  }
  if (mode_ == Mode::kRead && kBlockHeaderSize <= fast_end_ - cursor_) {
    const uint8_t* header = buffer_.get() + cursor_;
    uint32_t length;
    std::memcpy(&length, header + 1, sizeof length);
    const uint64_t start = Position();
    if (header[0] == kBlockMarker && BlockLengthValid(length, limit_ - start)) {
      cursor_ += kBlockHeaderSize;
      Push(start, start + length, true);
      return true;
    }
  }
  return BeginBlockSlow();
}

inline bool CSerializableStream::EndBlock() {
  if (frames_.size() < 2) return false;
  const Frame block = Pop();
  if (failed_) return false;
  if (mode_ == Mode::kWrite) {
    const uint64_t length = Position() - block.start;
    if (length > kMaxBlockLength) return Fail();  // a reader would refuse it
    // Marker and length as the low five bytes of one value: built byte by byte on the stack,
    // the header would be read back by loads that straddle the stores and stall.
    const uint64_t header = kBlockMarker | length << 8;
    return Patch(block.start, &header, kBlockHeaderSize);
  }
  if (mode_ != Mode::kRead) return false;
  if (Position() < block.end) {
    skipped_ = true;
    SeekTo(block.end);
  }
  return true;
}

inline bool CSerializableStream::ExchangeRaw(void* data, size_t length) {
  if (mode_ == Mode::kWrite) return Put(data, length);
  if (mode_ == Mode::kRead && length <= fast_end_ - cursor_) {
    std::memcpy(data, buffer_.get() + cursor_, length);
    cursor_ += length;
    return true;
  }
  return ExchangeRawSlow(data, length);
}

inline bool CSerializableStream::ExchangeBool(bool& value) {
  uint8_t byte = value ? 1 : 0;
  if (!ExchangeRaw(&byte, 1)) return false;
  value = byte != 0;
  return true;
}

inline bool CSerializableStream::ExchangeString(std::string& value) {
  uint32_t length;
  if (mode_ == Mode::kWrite && value.size() <= kMaxStringLength) {
    length = static_cast<uint32_t>(value.size());
    return Put(&length, sizeof length) && Put(value.data(), length);
  }
  if (mode_ == Mode::kRead && sizeof length <= fast_end_ - cursor_) {
    const uint8_t* field = buffer_.get() + cursor_;
    std::memcpy(&length, field, sizeof length);
    if (length <= kMaxStringLength && length <= fast_end_ - cursor_ - sizeof length) {
      value.assign(reinterpret_cast<const char*>(field + sizeof length), length);
      cursor_ += sizeof length + length;
      return true;
    }
  }
  return ExchangeStringSlow(value);
}
