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
  buffer_offset_ = 0;
  cursor_ = 0;
  filled_ = 0;
  frames_.assign(1, Frame{0, end, false});
  SetLimit(end, false);
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
    ok = ok && frames_.size() == 1 && Flush() && output_.Commit();
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
  return mode_ != Mode::kRead || failed_ || Position() >= limit_;
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
  const size_t buffered = filled_ - cursor_;
  std::memcpy(data, buffer_.get() + cursor_, buffered);
  data += buffered;
  length -= buffered;
  buffer_offset_ += filled_;
  cursor_ = filled_ = 0;
  if (length >= kBufferSize) {
    if (!ReadFully(data, length, buffer_offset_)) return false;
    buffer_offset_ += length;
    UpdateFastEnd();
    return true;
  }
  const size_t fill =
      static_cast<size_t>(std::min<uint64_t>(kBufferSize, input_size_ - buffer_offset_));
  if (!ReadFully(buffer_.get(), fill, buffer_offset_)) return false;
  filled_ = fill;
  std::memcpy(data, buffer_.get(), length);
  cursor_ = length;
  UpdateFastEnd();
  return true;
}

void CSerializableStream::SeekTo(uint64_t offset) {
  if (offset >= buffer_offset_ && offset - buffer_offset_ <= filled_) {
    cursor_ = static_cast<size_t>(offset - buffer_offset_);
  } else {
    buffer_offset_ = offset;
    cursor_ = filled_ = 0;
  }
  UpdateFastEnd();
}

// ---- blocks and fields

bool CSerializableStream::BeginBlockSlow() {
  const uint64_t start = Position();
  const uint64_t parent_end = limit_;
  const bool parent_block = limit_block_;
  Push(start, start, true);  // also on failure, for EndBlock to remove
  if (mode_ != Mode::kRead || failed_) return false;
  if (start >= parent_end && parent_block) return true;  // not written: every field absent
  uint8_t marker;
  uint32_t length;
  if (parent_end - start < kBlockHeaderSize || !Take(&marker, sizeof marker) ||
      !Take(&length, sizeof length) || marker != kBlockMarker ||
      !BlockLengthValid(length, parent_end - start)) {
    return Fail();
  }
  frames_.back().end = start + length;
  SetLimit(start + length, true);
  return true;
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
    if (stored > element_size) SeekTo(Position() + (stored - element_size));
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
  const uint64_t start = Position();
  // Type id and a length of 0 for now, as one value (see EndBlock).
  const uint64_t header = static_cast<uint32_t>(object.GetTypeId());
  if (!Put(&header, sizeof header)) return false;
  if (!object.Serialize(*this)) return Fail();
  const uint64_t length = Position() - start - kRecordHeaderSize;
  // A reader refuses empty and oversized bodies.
  if (length == 0 || length > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return Fail();
  }
  const int32_t length32 = static_cast<int32_t>(length);
  return Patch(start + sizeof(int32_t), &length32, sizeof length32);
}

CSerializableStream::RecordResult CSerializableStream::ReadRecord() {
  RecordResult result;
  if (mode_ != Mode::kRead || failed_) return result;
  const uint64_t start = Position();
  const uint64_t end = limit_;
  if (start >= end) return result;  // the clean end
  int32_t type_id;
  int32_t length;
  if (end - start < kRecordHeaderSize || !Take(&type_id, sizeof type_id) ||
      !Take(&length, sizeof length)) {
    Fail();
    return result;
  }
  if (length <= 0 || static_cast<uint64_t>(length) > end - start - kRecordHeaderSize) {
    Fail();
    return result;
  }
  const uint64_t body_end = start + kRecordHeaderSize + static_cast<uint64_t>(length);
  result.status = RecordStatus::kSkipped;
  const CSerializable::Type* type = CSerializable::Type::Find(type_id);
  if (type) {
    std::unique_ptr<CSerializable> object = type->Create();
    const size_t depth = frames_.size();
    Push(start + kRecordHeaderSize, body_end, false);
    const bool ok = object && object->Serialize(*this);
    while (frames_.size() > depth) Pop();  // also blocks the object left open
    if (failed_) {
      result.status = RecordStatus::kEnd;
      return result;
    }
    if (ok) {
      result.status = RecordStatus::kRecord;
      result.object = std::move(object);
    }
  }
  if (Position() != body_end) {
    skipped_ = true;
    SeekTo(body_end);
  }
  return result;
}
