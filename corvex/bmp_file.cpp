#include "corvex/bmp_file.h"

#include <bit>

#include "platform/os/files.h"

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPixelsPerMetre = 300;

void Put16(std::string& bytes, size_t offset, uint16_t value) {
  bytes[offset] = char(value & 0xFF);
  bytes[offset + 1] = char(value >> 8);
}

void Put32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = char((value >> (8 * i)) & 0xFF);
}

uint64_t FileSize(int width, int height) {
  return kBmpHeaderSize + uint64_t(width) * uint64_t(height) * 4;
}

}  // namespace

std::string BmpHeader(int width, int height) {
  std::string bytes(kBmpHeaderSize, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  Put32(bytes, 2, uint32_t(FileSize(width, height)));
  Put32(bytes, 10, uint32_t(kBmpHeaderSize));
  Put32(bytes, 14, kInfoHeaderSize);
  Put32(bytes, 18, uint32_t(width));
  Put32(bytes, 22, uint32_t(height));
  Put16(bytes, 26, 1);
  Put16(bytes, 28, 32);
  Put32(bytes, 38, kPixelsPerMetre);
  Put32(bytes, 42, kPixelsPerMetre);
  return bytes;
}

bool WriteBmpFile(const std::string& path, int width, int height, const uint32_t* pixels,
                  ptrdiff_t stride) {
  static_assert(std::endian::native == std::endian::little,
                "pixels are written as they lie in memory");
  if (width <= 0 || height <= 0 || !pixels || FileSize(width, height) > UINT32_MAX) return false;
  vd::os::AtomicFileWriter writer;
  if (!writer.Open(path)) return false;
  const std::string header = BmpHeader(width, height);
  if (!writer.file().Write(header.data(), header.size())) return false;
  for (int y = height - 1; y >= 0; --y) {
    if (!writer.file().Write(pixels + y * stride, size_t(width) * 4)) return false;
  }
  return writer.Commit();
}
