#include "core/serializable_stream.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// Colour channels are stored as byte x kColourScale (slightly above 1/255, so that reading
// back with a truncating x 255 gives the same byte).
constexpr float kColourScale = 0.003921569f;

uint32_t ColourByte(float stored) {
  const float value = stored * 255.0f;
  if (!(value > 0.0f)) return 0;  // also NaN
  if (value >= 255.0f) return 255;
  return static_cast<uint32_t>(value);
}

}  // namespace

CSerializableStream::CSerializableStream()
    : buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {
  Start(Mode::kClosed, 0);
}

CSerializableStream::~CSerializableStream() = default;

void CSerializableStream::Start(Mode mode, uint64_t end) {
  mode_ = mode;
  failed_ = false;
  skipped_ = false;
  SetBufferOffset(0);
  cursor_ = 0;
  const uint8_t* const empty = mode == Mode::kRead ? buffer_.get() : nullptr;
  next_ = filled_end_ = fast_end_ = empty;
  frames_.clear();
  open_blocks_ = 0;
  SetLimit(end);
}

void CSerializableStream::Abandon() {
  output_.Discard();
  input_.Close();
  Start(Mode::kClosed, 0);
}

bool CSerializableStream::OpenRead(const std::string& path) {
  Abandon();
  if (!input_.Open(path, vd::os::File::Mode::Read)) return false;
  const int64_t size = input_.Size();
  if (size < 0) {
    input_.Close();
    return false;
  }
  input_size_ = static_cast<uint64_t>(size);
  Start(Mode::kRead, input_size_);
  return true;
}

bool CSerializableStream::OpenWrite(const std::string& path) {
  Abandon();
  if (!output_.Open(path)) return false;
  Start(Mode::kWrite, std::numeric_limits<uint64_t>::max());
  return true;
}

bool CSerializableStream::Close() {
  bool ok = !failed_;
  if (mode_ == Mode::kWrite) {
    ok = ok && frames_.empty() && Flush() && output_.Commit();
    if (!ok) output_.Discard();
  } else if (mode_ == Mode::kRead) {
    input_.Close();
  }
  Start(Mode::kClosed, 0);
  return ok;
}

bool CSerializableStream::Fail() {
  failed_ = true;
  UpdateFastEnd();
  return false;
}

bool CSerializableStream::AtBlockEnd() const {
  if (mode_ == Mode::kWrite) return false;
  return mode_ != Mode::kRead || failed_ || ReadPosition() >= limit_;
}

// ---- writing

bool CSerializableStream::Flush() {
  if (failed_) return false;
  if (cursor_ == 0) return true;
  if (!output_.file().Write(buffer_.get(), cursor_)) return Fail();
  buffer_offset_ += cursor_;
  cursor_ = 0;
  return true;
}

bool CSerializableStream::PutSlow(const void* data, size_t length) {
  if (!Flush()) return false;
  if (length < kBufferSize) {
    std::memcpy(buffer_.get(), data, length);
    cursor_ = length;
    return true;
  }
  if (!output_.file().Write(data, length)) return Fail();
  buffer_offset_ += length;
  return true;
}

bool CSerializableStream::PatchSlow(uint64_t offset, const uint8_t* data, size_t length) {
  // The front of the patch has already gone to the file.
  const size_t flushed = static_cast<size_t>(std::min<uint64_t>(length, buffer_offset_ - offset));
  if (!output_.file().PWrite(data, flushed, offset)) return Fail();
  std::memcpy(buffer_.get(), data + flushed, length - flushed);
  return true;
}

// ---- reading

bool CSerializableStream::ReadFully(void* data, size_t length, uint64_t offset) {
  auto bytes = static_cast<uint8_t*>(data);
  while (length > 0) {
    const int64_t got = input_.PRead(bytes, length, offset);
    if (got <= 0) return Fail();  // the file shrank under us, or an I/O error
    bytes += got;
    length -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

bool CSerializableStream::TakeSlow(uint8_t* data, size_t length) {
  // Callers have checked length against the frame, so the bytes are in the file.
  const size_t buffered = static_cast<size_t>(filled_end_ - next_);
  std::memcpy(data, next_, buffered);
  data += buffered;
  length -= buffered;
  SetBufferOffset(buffer_offset_ + static_cast<uint64_t>(filled_end_ - buffer_.get()));
  next_ = filled_end_ = buffer_.get();
  if (length >= kBufferSize) {
    if (!ReadFully(data, length, buffer_offset_)) return false;
    SetBufferOffset(buffer_offset_ + length);
    UpdateFastEnd();
    return true;
  }
  const size_t fill =
      static_cast<size_t>(std::min<uint64_t>(kBufferSize, input_size_ - buffer_offset_));
  if (!ReadFully(buffer_.get(), fill, buffer_offset_)) return false;
  filled_end_ = buffer_.get() + fill;
  std::memcpy(data, buffer_.get(), length);
  next_ += length;
  UpdateFastEnd();
  return true;
}

void CSerializableStream::SeekTo(uint64_t offset) {
  const uint64_t filled = static_cast<uint64_t>(filled_end_ - buffer_.get());
  if (offset >= buffer_offset_ && offset - buffer_offset_ <= filled) {
    next_ = buffer_.get() + (offset - buffer_offset_);
  } else {
    SetBufferOffset(offset);
    next_ = filled_end_ = buffer_.get();
  }
  UpdateFastEnd();
}

// ---- blocks and fields

bool CSerializableStream::BeginBlockSlow() {
  const uint64_t start = Position();
  const uint64_t outer_end = limit_;
  const bool outer_block = InBlock();
  Push(start, start);  // also on failure, for EndBlock to remove
  if (mode_ != Mode::kRead || failed_) return false;
  if (start >= outer_end && outer_block) return true;  // not written: every field absent
  uint8_t header[kBlockHeaderSize];
  if (start >= outer_end || outer_end - start < sizeof header || !Take(header, sizeof header)) {
    return Fail();
  }
  uint32_t length;
  std::memcpy(&length, header + 1, sizeof length);
  if (header[0] != kBlockMarker || !BlockLengthValid(length, outer_end - start)) return Fail();
  SetLimit(start + length);
  return true;
}

bool CSerializableStream::EndBlockSlow() {
  // The stream failed, or no block is open.
  if (open_blocks_ > 0) Pop();
  return false;
}

bool CSerializableStream::ExchangeRawSlow(void* data, size_t length) {
  switch (Check(length)) {
    case Field::kPresent:
      return Take(data, length);
    case Field::kAbsent:
      return true;
    case Field::kFailed:
      break;
  }
  return false;
}

bool CSerializableStream::ExchangeStringSlow(std::string& value) {
  if (mode_ == Mode::kWrite) return Fail();  // too long: a reader would refuse it
  const Field field = Check(sizeof(uint32_t));
  if (field != Field::kPresent) return field == Field::kAbsent;
  uint32_t length;
  if (!Take(&length, sizeof length)) return false;
  if (length > kMaxStringLength || length > Remaining()) return false;
  value.resize(length);
  return Take(value.data(), length);
}

bool CSerializableStream::ExchangeArrayBytes(void* elements, size_t count, uint32_t element_size) {
  if (mode_ == Mode::kWrite) {
    return Put(&element_size, sizeof element_size) &&
           (count == 0 || Put(elements, count * element_size));
  }
  const Field field = Check(sizeof(uint32_t));
  if (field != Field::kPresent) return field == Field::kAbsent;
  uint32_t stored;
  if (!Take(&stored, sizeof stored)) return false;
  if (count == 0) return true;
  if (stored != 0 && count > Remaining() / stored) return false;
  if (stored == element_size) return Take(elements, count * element_size);
  const uint32_t kept = std::min(stored, element_size);
  auto slot = static_cast<uint8_t*>(elements);
  for (size_t i = 0; i < count; ++i, slot += element_size) {
    if (!Take(slot, kept)) return false;
    if (stored > element_size) SeekTo(ReadPosition() + (stored - element_size));
  }
  if (stored > element_size) skipped_ = true;
  return true;
}

bool CSerializableStream::ExchangeColour(uint32_t& argb) {
  // Stored order: red, green, blue, alpha; shifts of those bytes in 0xAARRGGBB.
  static constexpr int kShifts[4] = {16, 8, 0, 24};
  float channels[4];
  if (mode_ == Mode::kWrite) {
    for (int i = 0; i < 4; ++i) {
      channels[i] = static_cast<float>((argb >> kShifts[i]) & 0xFF) * kColourScale;
    }
    return Put(channels, sizeof channels);
  }
  const Field field = Check(sizeof channels);
  if (field != Field::kPresent) return field == Field::kAbsent;
  if (!Take(channels, sizeof channels)) return false;
  argb = 0;
  for (int i = 0; i < 4; ++i) argb |= ColourByte(channels[i]) << kShifts[i];
  return true;
}

// ---- records

bool CSerializableStream::WriteRecord(CSerializable& object) {
  if (mode_ != Mode::kWrite || failed_) return false;
  const uint64_t start = WritePosition();
  // Type id and a length of 0 for now, as one value (see EndBlock).
  const uint64_t header = static_cast<uint32_t>(object.GetTypeId());
  if (!Put(&header, sizeof header)) return false;
  if (!object.Serialize(*this)) return Fail();
  const uint64_t length = WritePosition() - start - kRecordHeaderSize;
  // A reader refuses empty and oversized bodies.
  if (length == 0 || length > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return Fail();
  }
  const int32_t length32 = static_cast<int32_t>(length);
  return Patch(start + sizeof(int32_t), &length32, sizeof length32);
}

CSerializableStream::RecordResult CSerializableStream::ReadRecord() {
  int32_t type_id;
  int32_t length;
  uint64_t start;
  if (kRecordHeaderSize <= FastRoom()) {
    start = ReadPosition();
    std::memcpy(&type_id, next_, sizeof type_id);
    std::memcpy(&length, next_ + sizeof type_id, sizeof length);
    next_ += kRecordHeaderSize;
  } else {
    if (mode_ != Mode::kRead || failed_) return {};
    start = ReadPosition();
    if (start >= limit_) return {};  // the clean end
    int32_t header[2];
    if (limit_ - start < kRecordHeaderSize || !Take(header, sizeof header)) {
      Fail();
      return {};
    }
    type_id = header[0];
    length = header[1];
  }
  if (length <= 0 || static_cast<uint64_t>(length) > limit_ - start - kRecordHeaderSize) {
    Fail();
    return {};
  }
  const uint64_t body_end = start + kRecordHeaderSize + static_cast<uint64_t>(length);
  // A body that lies wholly in the buffer: nothing read inside it can go past its end, so the
  // buffer stays as it is, and after the body the frame around the record goes on with the
  // fast_end_ it has now.
  const uint8_t* const body_end_in_buffer =
      static_cast<size_t>(length) <= FastRoom() ? next_ + length : nullptr;
  const uint8_t* const outer_fast_end = fast_end_;
  RecordStatus status = RecordStatus::kSkipped;
  std::unique_ptr<CSerializable> object;
  if (const CSerializable::Type* type = CSerializable::Type::Find(type_id)) {
    object = type->Create();
    // The body is a frame kept here rather than in frames_; the object's blocks go above it,
    // and it closes also those the object left open.
    const uint64_t outer_end = limit_;
    const size_t outer_open_blocks = open_blocks_;
    open_blocks_ = 0;
    limit_ = body_end;
    if (body_end_in_buffer) {
      fast_end_ = body_end_in_buffer;
    } else {
      FitFastEnd(start + kRecordHeaderSize);
    }
    const bool ok = object && object->Serialize(*this);
    while (open_blocks_ > 0) PopFrame();
    open_blocks_ = outer_open_blocks;
    limit_ = outer_end;
    if (failed_) return {};
    if (ok) {
      status = RecordStatus::kRecord;
    } else {
      object.reset();
    }
  }
  if (body_end_in_buffer) {
    if (next_ != body_end_in_buffer) {
      skipped_ = true;
      next_ = body_end_in_buffer;
    }
    fast_end_ = outer_fast_end;
  } else if (const uint64_t position = ReadPosition(); position != body_end) {
    skipped_ = true;
    SeekTo(body_end);
  } else {
    FitFastEnd(position);
  }
  return RecordResult{status, std::move(object)};
}
