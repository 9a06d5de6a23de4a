#pragma once
// The chart texture the 3D viewer drapes over its terrain: an uncompressed DirectDraw Surface
// file of 32-bit pixels. Little-endian: the 4-byte magic "DDS ", a 124-byte header
// (flags caps | height | width | pitch | pixel format, pitch width x 4, pixel format RGB with
// 32 bits and masks red 0x00FF0000, green 0x0000FF00, blue 0x000000FF, alpha 0xFF000000, caps
// texture; every other field 0), then the rows from the top, each pixel blue, green, red and a
// fourth byte. The pixel-format flags say RGB only although an alpha mask is given; the viewer
// reads the fourth byte as nothing.
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr size_t kDdsHeaderSize = 128;  // magic and header

// The 128 bytes that start a file of width x height pixels.
std::string DdsHeader(int width, int height);

// Writes the file from 0xAARRGGBB pixels (rows `stride` pixels apart, top row first); saved
// whole or not at all. False for a size of 0 or less, or when the file can't be written.
bool WriteDdsFile(const std::string& path, int width, int height, const uint32_t* pixels,
                  ptrdiff_t stride);
