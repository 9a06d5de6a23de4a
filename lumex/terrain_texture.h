#pragma once
// A terrain mesh's texture: 32-bit pixels 0x??RRGGBB (the top byte means nothing), top row
// first, and the reader of the uncompressed DDS files the chart program renders them into.
//
// DDS layout read (little-endian): "DDS ", a 124-byte header with the height at offset 12
// and the width at 16, its pixel format at 76: size 32, RGB flag 0x40, 32 bits, masks red
// 0x00FF0000, green 0x0000FF00, blue 0x000000FF; then width x height pixels, rows from the
// top, each blue, green, red and a fourth byte.
#include <cstdint>
#include <string>
#include <vector>

struct TerrainTexture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height
};

// The largest side accepted from a file.
inline constexpr int kMaxTerrainTextureSide = 16384;

// Reads a DDS file of the layout above into `out`. False, leaving `out` as it was, for a
// missing file, another magic, header size or pixel layout, a side of 0 or above
// kMaxTerrainTextureSide, or fewer pixel bytes than the header promises.
bool ReadDdsTexture(const std::string& path, TerrainTexture& out);
