#include "core/type_serializer.h"

#include <algorithm>
#include <array>
#include <bit>

#include "platform/os/codepage.h"

template <class T>
bool CTypeSerializer::Number(T& value) {
  using Raw = std::array<unsigned char, sizeof(T)>;
  if (mode_ == kModeWrite) {
    Raw raw = std::bit_cast<Raw>(value);
    if constexpr (std::endian::native == std::endian::big) std::reverse(raw.begin(), raw.end());
    WriteBlock(raw.data(), sizeof raw);
    return true;
  }
  if (mode_ != kModeRead) return true;
  Raw raw;
  if (!ReadBlock(raw.data(), sizeof raw)) return false;
  if constexpr (std::endian::native == std::endian::big) std::reverse(raw.begin(), raw.end());
  value = std::bit_cast<T>(raw);
  return true;
}

void CTypeSerializer::WriteBlock(const void* data, int32_t length) {
  if (length < 0) {
    ok_ = false;
    return;
  }
  if (length == 0) return;
  Write(data, length);
  position_ += length;
}

bool CTypeSerializer::ReadBlock(void* buffer, int32_t length) {
  if (length == 0) return true;
  const bool read = length > 0 && Read(buffer, length);
  ok_ = ok_ && read;
  if (read) position_ += length;
  return read;
}

bool CTypeSerializer::Tag(int32_t expected) {
  int32_t value = expected;
  return Number(value) && value == expected;
}

bool CTypeSerializer::Bytes(void* buffer, int32_t length) {
  if (mode_ == kModeWrite) {
    WriteBlock(buffer, length);
    return length >= 0;
  }
  return mode_ != kModeRead || ReadBlock(buffer, length);
}

bool CTypeSerializer::Int32(int32_t& value) { return Number(value); }
bool CTypeSerializer::Int64(int64_t& value) { return Number(value); }
bool CTypeSerializer::Float(float& value) { return Number(value); }
bool CTypeSerializer::Double(double& value) { return Number(value); }

bool CTypeSerializer::ReadInt32(int32_t& value) {
  if (mode_ != kModeRead) {
    ok_ = false;
    return false;
  }
  return Number(value);
}

bool CTypeSerializer::String(std::string& text) {
  if (mode_ == kModeWrite) {
    WriteString(text);
    return true;
  }
  return mode_ != kModeRead || ReadString(text);
}

void CTypeSerializer::WriteString(const std::string& text) {
  const std::string bytes = vd::os::Utf8ToCp1252(text);
  int32_t length = static_cast<int32_t>(bytes.size());
  Number(length);
  if (!wide_strings_) {
    WriteBlock(bytes.data(), length);
    return;
  }
  std::string wide;
  wide.reserve(bytes.size() * 2);
  for (const unsigned char c : bytes) {
    wide += static_cast<char>(c);
    wide += static_cast<char>(c >= 0x80 ? 0xFF : 0x00);
  }
  WriteBlock(wide.data(), static_cast<int32_t>(wide.size()));
}

bool CTypeSerializer::ReadString(std::string& text) {
  text.clear();
  int32_t length = 0;
  if (!ReadInt32(length)) return false;
  if (static_cast<uint32_t>(length) > kMaxStringLength) {
    // The characters were not consumed: what follows cannot be read as fields.
    ok_ = false;
    return false;
  }
  const int width = wide_strings_ ? 2 : 1;
  std::string raw(static_cast<size_t>(length) * width, '\0');
  if (!ReadBlock(raw.data(), static_cast<int32_t>(raw.size()))) return false;
  std::string bytes;
  bytes.reserve(static_cast<size_t>(length));
  for (size_t i = 0; i < raw.size(); i += width) bytes += raw[i];  // the low byte
  text = vd::os::Cp1252ToUtf8(bytes);
  return true;
}
