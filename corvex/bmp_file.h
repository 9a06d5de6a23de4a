#pragma once
// Exported chart images as 32-bit bitmap files. Little-endian: a 14-byte file header ("BM",
// file size 54 + width x height x 4, two zero words, pixel offset 54), a 40-byte info header
// (width, height positive so rows run bottom-up, 1 plane, 32 bits, no compression, image size
// 0, 300 pixels per metre both ways, no palette), then the rows from the bottom, each pixel
// blue, green, red and a fourth byte.
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr size_t kBmpHeaderSize = 54;

// The 54 bytes that start a file of width x height pixels.
std::string BmpHeader(int width, int height);

// Writes the file from 0xAARRGGBB pixels (rows `stride` pixels apart, top row first); saved
// whole or not at all. False for a size of 0 or less, for an image whose file size does not
// fit the header's 32 bits, or when the file can't be written.
bool WriteBmpFile(const std::string& path, int width, int height, const uint32_t* pixels,
                  ptrdiff_t stride);
