// Fuzz target: stored tiles. Byte 0 picks the rows to decode and the tile's offset alignment;
// the rest is the tile. Any input must decode inside its bytes; a tile that decodes whole must
// have a stored length, and its pixels must survive a re-encoding.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "charts/tile_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int rows = 1 + (data[0] & 63);
  const std::span<const uint8_t> tile(data + 1, size - 1);
  std::array<uint8_t, kTilePixels> out;
  const bool decoded = DecodeTile(tile, out, rows);
  for (int i = 0; i < rows * kTileSide; ++i) {
    if (out[size_t(i)] > 127) __builtin_trap();
  }
  const size_t stored = TileEncodedSize(tile, data[0] >> 6);
  if (stored > tile.size()) __builtin_trap();
  if (rows != kTileSide) return 0;
  if (decoded != (stored != 0)) __builtin_trap();
  if (!decoded) return 0;
  std::vector<uint8_t> encoded;
  EncodeTile(out, encoded);
  std::array<uint8_t, kTilePixels> again;
  if (!DecodeTile(encoded, again) || again != out) __builtin_trap();
  return 0;
}
