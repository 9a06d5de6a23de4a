#pragma once
// The coded level stream of a 1024 x 1024-pixel chunk (chunk store). A chunk's rows are stored
// in ten-bit reversed order (stored row s holds image row ReverseBits10(s)); level k is the
// first 1024 >> k stored rows, so it decodes from a prefix of the stream.
//
// Stream: u32 words. Word 0 is the index of the first word of the bit stream; the words between
// hold the tree as signed 16-bit entries. Entry c < 0 is a branch (bit 0: the next entry, bit 1:
// the entry 1 - c further on); c >= 0 is a leaf of colour c & 0x7F and run class (c >> 8) & 3.
// A leaf of class k > 0 is followed by 2^k bits (most significant first) giving the run length
// less 2, 6 or 22.
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr int kChunkSide = 1024;
inline constexpr size_t kChunkPixels = size_t{kChunkSide} * kChunkSide;
inline constexpr size_t kMaxChunkLevelWords = 10'000'000;
inline constexpr size_t kMaxChunkLevelPixels = 10'000'000;

// Reverses the ten low bits: stored row <-> image row of a chunk.
constexpr int ReverseBits10(int row) {
  int r = 0;
  for (int i = 0; i < 10; ++i) r |= ((row >> i) & 1) << (9 - i);
  return r;
}

// Decodes output.size() pixels from `words`. False (output contents unspecified) when the words
// are missing, their count is not within 1..kMaxChunkLevelWords, word 0 is not below the count,
// the pixel count is not within 1..kMaxChunkLevelPixels, a walk leaves the tree, or the bit
// stream ends first.
bool DecodeChunkLevel(std::span<const uint32_t> words, std::span<uint8_t> output);
