#pragma once
// The 64 x 64-pixel chart tile: its three stored forms (Huffman, run-length, packed), the
// deterministic encoder and the progressive row order.
//
// A decoded tile is 4096 colour indices 0..127 in stored row order: stored row s holds image row
// ReverseBits6(s), so the first 64 >> k stored rows hold every 2^k-th image row and a reader at
// zoom-out shift k decodes only those.
//
// Stored tile: byte 0 is the type t.
//   t = 0         Huffman tree (pre-order), then the bit stream (least significant bit first)
//   t = 1..127    sub-palette of t indices, then run bytes (run << b | index)
//   t = 129..255  sub-palette of 256 - t indices, then packed little-endian u32 words
// where b is the smallest number of bits with 2^b >= sub-palette size.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

inline constexpr int kTileSide = 64;
inline constexpr int kTilePixels = kTileSide * kTileSide;

// Reverses the six low bits: stored row <-> image row (its own inverse).
constexpr int ReverseBits6(int row) {
  return ((row & 1) << 5) | ((row & 2) << 3) | ((row & 4) << 1) | ((row & 8) >> 1) |
         ((row & 16) >> 3) | ((row & 32) >> 5);
}

// Copies a tile with its rows reordered through ReverseBits6: image order to stored order and
// back. `in` and `out` must not overlap.
void ReorderTileRows(std::span<const uint8_t, kTilePixels> in, std::span<uint8_t, kTilePixels> out);

// Decodes the first `rows` stored rows (1..64, others clamped) of a stored tile into `out`.
// `tile` runs from the type byte to the end of the bytes available (usually the end of the
// file). A tile that is cut short, names an index outside its sub-palette or a sub-palette
// colour above 127, has an unknown type or a Huffman tree that leads outside itself can't be
// reached: its rows are filled with index 0 and the result is false. Never reads outside `tile`
// and never writes past the requested rows.
bool DecodeTile(std::span<const uint8_t> tile, std::span<uint8_t, kTilePixels> out,
                int rows = kTileSide);

// The type-0 decoder: `tree` starts at the tree (the byte after the type byte). Writes
// out.size() (at most kTilePixels) pixels. Returns the number of bytes from the tree start to
// the end of the last stream byte used, or nullopt for a broken tree or a stream cut short.
std::optional<size_t> HuffmanDecodeTile(std::span<const uint8_t> tree, std::span<uint8_t> out);

// The stored length of a whole tile, for copying tiles byte for byte. `file_offset` is the
// tile's offset in its file: a Huffman stream counts to the end of the last 4-byte word (aligned
// on the file offset) that a word-reading decoder touches, clamped to the bytes present.
// 0 when the tile can't be decoded whole from `tile`.
size_t TileEncodedSize(std::span<const uint8_t> tile, uint64_t file_offset);

// Appends the shorter of the Huffman and run-length forms of a tile (stored row order, indices
// 0..127; higher bits are ignored) to `out`: the type byte, then the rest. Returns the number
// of bytes after the type byte. The same pixels always give the same bytes.
size_t EncodeTile(std::span<const uint8_t, kTilePixels> pixels, std::vector<uint8_t>& out);
