#include "tests/xwd_image.h"

#include <bit>

namespace vd::test {

namespace {

// The dump's header: big-endian 32-bit fields in this order, then the window name up to
// header_size, then ncolors colour-map entries of 12 bytes, then the rows of pixels.
enum HeaderField {
  kHeaderSize,
  kFileVersion,
  kPixmapFormat,
  kPixmapDepth,
  kPixmapWidth,
  kPixmapHeight,
  kXOffset,
  kByteOrder,
  kBitmapUnit,
  kBitmapBitOrder,
  kBitmapPad,
  kBitsPerPixel,
  kBytesPerLine,
  kVisualClass,
  kRedMask,
  kGreenMask,
  kBlueMask,
  kBitsPerRgb,
  kColourMapEntries,
  kColourCount,
  kHeaderFields = 25,
};
constexpr uint32_t kXwdVersion = 7;
constexpr uint32_t kZPixmap = 2;
constexpr uint32_t kTrueColour = 4;
constexpr uint32_t kDirectColour = 5;
constexpr uint32_t kLsbFirst = 0;
constexpr size_t kColourEntrySize = 12;
constexpr uint32_t kLargestSide = 1 << 15;

uint32_t BigEndian32(std::string_view bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | uint8_t(bytes[at + i]);
  return v;
}

// One colour channel of a pixel, scaled to 0..255.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const uint32_t v = (pixel & mask) >> shift;
  if (bits >= 8) return v >> (bits - 8);
  return v * 255 / ((1u << bits) - 1);
}

}  // namespace

std::optional<RgbImage> ReadXwd(std::string_view bytes, std::string& error) {
  const auto fail = [&](const std::string& why) {
    error = "not a screen dump this reader knows: " + why;
    return std::nullopt;
  };
  if (bytes.size() < kHeaderFields * 4) return fail("shorter than a header");
  uint32_t h[kHeaderFields];
  for (size_t i = 0; i < kHeaderFields; ++i) h[i] = BigEndian32(bytes, 4 * i);
  if (h[kFileVersion] != kXwdVersion) return fail("version " + std::to_string(h[kFileVersion]));
  if (h[kPixmapFormat] != kZPixmap) return fail("not in Z format");
  if (h[kVisualClass] != kTrueColour && h[kVisualClass] != kDirectColour)
    return fail("not a true-colour screen");
  const uint32_t bits = h[kBitsPerPixel];
  if (bits != 16 && bits != 24 && bits != 32)
    return fail(std::to_string(bits) + " bits a pixel");
  for (HeaderField mask : {kRedMask, kGreenMask, kBlueMask}) {
    if (h[mask] == 0) return fail("a colour mask is empty");
  }
  const uint32_t width = h[kPixmapWidth], height = h[kPixmapHeight];
  if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide)
    return fail("a size of " + std::to_string(width) + " x " + std::to_string(height));
  const size_t pixel_bytes = bits / 8;
  const uint64_t row_bytes = h[kBytesPerLine];
  if (row_bytes < uint64_t(width) * pixel_bytes) return fail("rows shorter than their pixels");
  const uint64_t pixels_at =
      uint64_t(h[kHeaderSize]) + uint64_t(h[kColourCount]) * kColourEntrySize;
  if (h[kHeaderSize] < kHeaderFields * 4 || pixels_at + row_bytes * height > bytes.size())
    return fail("cut short");

  RgbImage image;
  image.width = int(width);
  image.height = int(height);
  image.pixels.reserve(size_t(width) * height);
  const bool lsb_first = h[kByteOrder] == kLsbFirst;
  for (uint32_t y = 0; y < height; ++y) {
    const std::string_view row = bytes.substr(size_t(pixels_at + row_bytes * y), row_bytes);
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t pixel = 0;
      for (size_t i = 0; i < pixel_bytes; ++i) {
        const uint32_t byte = uint8_t(row[x * pixel_bytes + i]);
        pixel |= lsb_first ? byte << (8 * i) : byte << (8 * (pixel_bytes - 1 - i));
      }
      image.pixels.push_back(Channel(pixel, h[kRedMask]) << 16 |
                             Channel(pixel, h[kGreenMask]) << 8 | Channel(pixel, h[kBlueMask]));
    }
  }
  return image;
}

}  // namespace vd::test
