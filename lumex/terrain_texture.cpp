#include "lumex/terrain_texture.h"

#include <cstring>

#include "platform/os/files.h"

namespace {

constexpr size_t kDdsBytesBeforePixels = 128;
constexpr uint32_t kDdsHeaderBytes = 124;
constexpr uint32_t kPixelFormatBytes = 32;
constexpr uint32_t kPixelFormatRgb = 0x40;
constexpr uint32_t kPixelFormatFourCC = 0x04;

uint32_t Le32(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

}  // namespace

bool ReadDdsTexture(const std::string& path, TerrainTexture& out) {
  std::string bytes;
  if (!vd::os::ReadWholeFile(path, bytes) || bytes.size() < kDdsBytesBeforePixels) return false;
  if (bytes.compare(0, 4, "DDS ") != 0 || Le32(bytes, 4) != kDdsHeaderBytes) return false;
  const uint32_t height = Le32(bytes, 12);
  const uint32_t width = Le32(bytes, 16);
  const uint32_t format_flags = Le32(bytes, 80);
  if (Le32(bytes, 76) != kPixelFormatBytes || (format_flags & kPixelFormatRgb) == 0 ||
      (format_flags & kPixelFormatFourCC) != 0 || Le32(bytes, 88) != 32 ||
      Le32(bytes, 92) != 0x00FF0000 || Le32(bytes, 96) != 0x0000FF00 ||
      Le32(bytes, 100) != 0x000000FF) {
    return false;
  }
  if (width == 0 || height == 0 || width > kMaxTerrainTextureSide ||
      height > kMaxTerrainTextureSide) {
    return false;
  }
  const size_t pixel_count = size_t{width} * height;
  if (bytes.size() - kDdsBytesBeforePixels < pixel_count * 4) return false;
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.pixels.resize(pixel_count);
  std::memcpy(out.pixels.data(), bytes.data() + kDdsBytesBeforePixels, pixel_count * 4);
  return true;
}
