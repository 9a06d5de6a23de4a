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
  // A 32-bit marker: written as given; reading is true only when the stored value equals it
  // (a block that ends where the tag belongs holds no tag: false).
  bool ExchangeTag(uint32_t tag) {
    if (IsReading() && AtBlockEnd()) return false;
    uint32_t value = tag;
    return ExchangeRaw(&value, sizeof value) && value == tag;
  }
  // A file path, as a string.
  bool ExchangePath(std::string& path) { return ExchangeString(path); }
  // An 0xAARRGGBB colour as four floats red, green, blue, alpha, each byte / 255.
  bool ExchangeColour(uint32_t& argb);

  // Writes the object as a typed record of its GetTypeId. A failure fails the whole stream.
  bool WriteRecord(CSerializable& object);
  // Reads the next typed record of the enclosing block (or of the file).
  RecordResult ReadRecord();

 private:
  enum class Mode { kClosed, kRead, kWrite };
  enum class Field { kPresent, kAbsent, kFailed };
  // The reading frames, innermost last, are the whole file, the body of each record being
  // read (kept by ReadRecord) and the open blocks; the innermost one's end is limit_. A block
  // in frames_ keeps where it starts and what its closing restores of the frame around it.
  struct Frame {
    uint64_t start;
    uint64_t outer_end;
    // Reading a block that lies wholly in the buffer: the fast_end_ of the frame around it.
    // Nothing read inside the block can go past its end, so the buffer stays as it is until
    // the block closes, and this is then still right. Null for other blocks.
    const uint8_t* outer_fast_end;
  };

  void Start(Mode mode, uint64_t end);
  // Closes without committing a write.
  void Abandon();
  bool Fail();
  uint64_t Position() const { return mode_ == Mode::kRead ? ReadPosition() : WritePosition(); }
  uint64_t ReadPosition() const { return read_origin_ + reinterpret_cast<uintptr_t>(next_); }
  uint64_t WritePosition() const { return buffer_offset_ + cursor_; }
  void SetBufferOffset(uint64_t offset) {
    buffer_offset_ = offset;
    read_origin_ = offset - reinterpret_cast<uintptr_t>(buffer_.get());
  }
  uint64_t Remaining() const { return limit_ - ReadPosition(); }
  // Reading: the bytes buffered and inside the innermost frame, from next_ on.
  size_t FastRoom() const { return static_cast<size_t>(fast_end_ - next_); }
  // Reading: whether a field of length bytes follows.
  Field Check(size_t length) const;
  // Whether the innermost frame is a block, at whose end fields are absent rather than failed:
  // the frame under a record's first block (or the file's) is its body (or the file).
  bool InBlock() const { return open_blocks_ > 0; }
  // Opens a block from start to end.
  void Push(uint64_t start, uint64_t end);
  // Closes the innermost block: PopFrame restores the outer frame's limit_ (not fast_end_)
  // and returns the start of the closed block.
  uint64_t PopFrame();
  void Pop();
  // Keeps limit_ and fast_end_ in step with the innermost frame and the buffer.
  void SetLimit(uint64_t end);
  void UpdateFastEnd();
  // UpdateFastEnd, shorter, for a stream that has not failed and whose next_, at position, is
  // inside the innermost frame (position <= limit_).
  void FitFastEnd(uint64_t position) {
    fast_end_ = next_ + std::min(static_cast<uint64_t>(filled_end_ - next_), limit_ - position);
  }

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

  // The complete operations; the inline ones take a shortcut for reading when they can.
  bool BeginBlockSlow();
  bool EndBlockSlow();
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
  size_t cursor_ = 0;           // writing: next byte of the buffer to write
  // Reading (all null otherwise): the next byte, the end of the file data in the buffer, and
  // the end of the bytes that are both in the buffer and inside the innermost frame (next_
  // when reading has failed), so that one comparison admits a field.
  const uint8_t* next_ = nullptr;
  const uint8_t* filled_end_ = nullptr;
  const uint8_t* fast_end_ = nullptr;
  // Reading: buffer_offset_ less the address of the buffer, so that the file offset of next_
  // takes one addition (unsigned arithmetic: the wrap-around cancels).
  uint64_t read_origin_ = 0;
  uint64_t input_size_ = 0;
  std::vector<Frame> frames_;  // outermost first
  // The blocks on top of frames_ that EndBlock may close: those opened since the innermost
  // record began (the ones below belong to the reader of an enclosing record).
  size_t open_blocks_ = 0;
  uint64_t limit_ = 0;  // end of the innermost frame
  Mode mode_ = Mode::kClosed;
  bool failed_ = false;
  bool skipped_ = false;
};

// The per-field and per-block operations have inline shortcuts for the common case of a field
// that lies in the buffer: a stream of small records spends its time here. The reading shortcut
// comes first and needs no test of the mode: fast_end_ - next_ is 0 unless reading.
static_assert(CSerializableStream::kBufferSize <= CSerializableStream::kMaxBlockLength &&
                  CSerializableStream::kBufferSize <= CSerializableStream::kMaxStringLength,
              "a block or string that fits in the buffer needs no check of its length limit");

inline CSerializableStream::Field CSerializableStream::Check(size_t length) const {
  if (mode_ != Mode::kRead || failed_) return Field::kFailed;
  const uint64_t position = ReadPosition();
  if (position >= limit_) return InBlock() ? Field::kAbsent : Field::kFailed;
  return length <= limit_ - position ? Field::kPresent : Field::kFailed;
}

inline void CSerializableStream::UpdateFastEnd() {
  if (mode_ != Mode::kRead) return;
  // Addresses as integers, for the end of the innermost frame may lie past the buffer; the
  // result is kept in [next_, filled_end_] whatever the frames say.
  const uint64_t next = reinterpret_cast<uintptr_t>(next_);
  const uint64_t frame_end = limit_ - read_origin_;
  uint64_t end = std::min<uint64_t>(reinterpret_cast<uintptr_t>(filled_end_), frame_end);
  if (failed_ || end < next) end = next;
  fast_end_ = next_ + static_cast<size_t>(end - next);
}

inline void CSerializableStream::SetLimit(uint64_t end) {
  limit_ = end;
  UpdateFastEnd();
}

inline void CSerializableStream::Push(uint64_t start, uint64_t end) {
  frames_.push_back(Frame{start, limit_, nullptr});
  ++open_blocks_;
  SetLimit(end);
}

inline uint64_t CSerializableStream::PopFrame() {
  const Frame& frame = frames_.back();
  const uint64_t start = frame.start;
  limit_ = frame.outer_end;
  frames_.pop_back();
  --open_blocks_;
  return start;
}

inline void CSerializableStream::Pop() {
  PopFrame();
  UpdateFastEnd();
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
  if (length <= static_cast<size_t>(filled_end_ - next_)) {
    std::memcpy(data, next_, length);
    next_ += length;
    return true;
  }
  return TakeSlow(static_cast<uint8_t*>(data), length);
}

inline bool CSerializableStream::BeginBlock() {
  const size_t room = FastRoom();
  if (kBlockHeaderSize <= room) {
    uint32_t length;
    std::memcpy(&length, next_ + 1, sizeof length);
    // A block wholly in the buffer: it ends inside the enclosing frame, and so does the room
    // for its fields. Its frame keeps the enclosing frame's fast_end_ for EndBlock.
    if (next_[0] == kBlockMarker && length >= kBlockHeaderSize && length <= room) {
      const uint64_t start = ReadPosition();
      frames_.push_back(Frame{start, limit_, fast_end_});
      ++open_blocks_;
      limit_ = start + length;
      fast_end_ = next_ + length;
      next_ += kBlockHeaderSize;
      return true;
    }
  }
  if (mode_ == Mode::kWrite) {
    Push(WritePosition(), 0);
    static constexpr uint8_t kPlaceholder[kBlockHeaderSize] = {};
    return Put(kPlaceholder, sizeof kPlaceholder);
  }
  return BeginBlockSlow();
}

inline bool CSerializableStream::EndBlock() {
  if (open_blocks_ == 0 || failed_) return EndBlockSlow();
  const Frame& frame = frames_.back();
  if (next_ == fast_end_ && frame.outer_fast_end) {
    // A block that lay wholly in the buffer, read to its end (the room inside such a block
    // ends where it ends): the frame around it goes on as it was.
    limit_ = frame.outer_end;
    fast_end_ = frame.outer_fast_end;
    frames_.pop_back();
    --open_blocks_;
    return true;
  }
  const uint64_t end = limit_;
  const uint64_t start = PopFrame();
  if (mode_ == Mode::kRead) {
    const uint64_t position = ReadPosition();
    if (position < end) {
      skipped_ = true;
      SeekTo(end);
    } else {
      FitFastEnd(position);
    }
    return true;
  }
  if (mode_ != Mode::kWrite) return false;
  const uint64_t length = WritePosition() - start;
  if (length > kMaxBlockLength) return Fail();  // a reader would refuse it
  // Marker and length as the low five bytes of one value: built byte by byte on the stack,
  // the header would be read back by loads that straddle the stores and stall.
  const uint64_t header = kBlockMarker | length << 8;
  return Patch(start, &header, kBlockHeaderSize);
}

inline bool CSerializableStream::ExchangeRaw(void* data, size_t length) {
  // length - 1: a field of no bytes takes the long way, which knows whether the stream works.
  if (length - 1 < FastRoom()) {
    // next_ is stored after the copy, which might alias it as far as the compiler knows: the
    // next field then finds it in a register.
    const uint8_t* field = next_;
    std::memcpy(data, field, length);
    next_ = field + length;
    return true;
  }
  if (mode_ == Mode::kWrite) return Put(data, length);
  return ExchangeRawSlow(data, length);
}

inline bool CSerializableStream::ExchangeBool(bool& value) {
  if (FastRoom() > 0) {
    value = *next_ != 0;
    ++next_;
    return true;
  }
  uint8_t byte = value ? 1 : 0;
  if (!ExchangeRaw(&byte, 1)) return false;
  value = byte != 0;
  return true;
}

inline bool CSerializableStream::ExchangeString(std::string& value) {
  const size_t room = FastRoom();
  if (sizeof(uint32_t) <= room) {
    const uint8_t* field = next_;
    uint32_t length;
    std::memcpy(&length, field, sizeof length);
    if (length <= room - sizeof length) {
      value.assign(reinterpret_cast<const char*>(field + sizeof length), length);
      next_ = field + sizeof length + length;
      return true;
    }
  }
  if (mode_ == Mode::kWrite && value.size() <= kMaxStringLength) {
    const uint32_t length = static_cast<uint32_t>(value.size());
    return Put(&length, sizeof length) && Put(value.data(), length);
  }
  return ExchangeStringSlow(value);
}
