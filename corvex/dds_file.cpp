#include "corvex/dds_file.h"

#include <bit>

#include "platform/os/files.h"

namespace {

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr uint32_t kHeaderSize = 124;
constexpr uint32_t kFlags = 0x100F;  // caps, height, width, pitch, pixel format
constexpr uint32_t kPixelFormatSize = 32;
constexpr uint32_t kPixelFormatRgb = 0x40;
constexpr uint32_t kCapsTexture = 0x1000;

void Put32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = char((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::string DdsHeader(int width, int height) {
  std::string bytes(kDdsHeaderSize, '\0');
  Put32(bytes, 0, kMagic);
  Put32(bytes, 4, kHeaderSize);
  Put32(bytes, 8, kFlags);
  Put32(bytes, 12, uint32_t(height));
  Put32(bytes, 16, uint32_t(width));
  Put32(bytes, 20, uint32_t(width) * 4);
  Put32(bytes, 76, kPixelFormatSize);
  Put32(bytes, 80, kPixelFormatRgb);
  Put32(bytes, 88, 32);
  Put32(bytes, 92, 0x00FF0000);
  Put32(bytes, 96, 0x0000FF00);
  Put32(bytes, 100, 0x000000FF);
  Put32(bytes, 104, 0xFF000000);
  Put32(bytes, 108, kCapsTexture);
  return bytes;
}

bool WriteDdsFile(const std::string& path, int width, int height, const uint32_t* pixels,
                  ptrdiff_t stride) {
  static_assert(std::endian::native == std::endian::little,
                "pixels are written as they lie in memory");
  if (width <= 0 || height <= 0 || !pixels) return false;
  vd::os::AtomicFileWriter writer;
  // The file goes to the temporary folder: a link found there is replaced, never followed.
  if (!writer.Open(path, vd::os::Links::kReplace)) return false;
  const std::string header = DdsHeader(width, height);
  if (!writer.file().Write(header.data(), header.size())) return false;
  for (int y = 0; y < height; ++y) {
    if (!writer.file().Write(pixels + y * stride, size_t(width) * 4)) return false;
  }
  return writer.Commit();
}
