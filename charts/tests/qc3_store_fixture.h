#pragma once
// Chunk stores for tests, written byte by byte: chunks coded as level streams by a small
// encoder of this file, and store files (local or server copies) laid out from them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "charts/qc3_store_format.h"
#include "platform/os/files.h"

namespace vd::test {

// Image pixel (x, y) of the test chunk `seed`: runs of 64 along each row, changing every 16 rows.
inline uint8_t Qc3Pixel(int seed, int x, int y) {
  return uint8_t((x / 64 + 3 * (y / 16) + 7 * seed) % 128);
}

// The expected bytes of stored row s when the chunk was decoded at `decoded` and expanded: the
// image row R10(s) rounded down to a multiple of 2^decoded.
inline std::vector<uint8_t> Qc3ExpectedRow(int seed, int stored_row, int decoded) {
  const int y = ReverseBits10(stored_row) & ~((1 << decoded) - 1);
  std::vector<uint8_t> row(kChunkSide);
  for (int x = 0; x < kChunkSide; ++x) row[size_t(x)] = Qc3Pixel(seed, x, y);
  return row;
}

struct EncodedChunk {
  QC3ChunkHeader header;  // N[], C[] set; W = N[0]
  std::vector<uint32_t> words;
};

// Codes chunk `seed` as one level stream. Tree: 256 leaves in a balanced tree, leaf j < 128 one
// pixel of colour j, leaf 128 + c a run of 22..277 pixels of colour c (8 length bits).
inline EncodedChunk EncodeQc3Chunk(int seed) {
  std::vector<uint8_t> pixels(kChunkPixels);  // stored row order
  for (int s = 0; s < kChunkSide; ++s) {
    for (int x = 0; x < kChunkSide; ++x) {
      pixels[size_t(s) * kChunkSide + size_t(x)] = Qc3Pixel(seed, x, ReverseBits10(s));
    }
  }
  std::vector<int16_t> tree;
  const auto build = [&tree](auto& self, int lo, int hi) -> void {
    if (hi - lo == 1) {
      tree.push_back(int16_t(lo < 128 ? lo : 0x0300 | (lo - 128)));
      return;
    }
    const size_t branch = tree.size();
    tree.push_back(0);
    const int mid = (lo + hi) / 2;
    self(self, lo, mid);
    tree[branch] = int16_t(-int(tree.size() - branch - 1));
    self(self, mid, hi);
  };
  build(build, 0, 256);
  EncodedChunk chunk;
  const uint32_t stream_start = uint32_t(1 + (tree.size() + 1) / 2);
  chunk.words.assign(stream_start, 0);
  chunk.words[0] = stream_start;
  for (size_t i = 0; i < tree.size(); ++i) {
    chunk.words[1 + i / 2] |= uint32_t(uint16_t(tree[i])) << (16 * (i % 2));
  }
  uint64_t bit = 0;
  const auto put = [&](uint32_t value, int bits) {
    for (int b = bits - 1; b >= 0; --b, ++bit) {
      if (bit / 32 + stream_start >= chunk.words.size()) chunk.words.push_back(0);
      chunk.words[stream_start + bit / 32] |= ((value >> b) & 1u) << (bit % 32);
    }
  };
  int level = kQc3Levels - 1;
  for (size_t p = 0; p < pixels.size();) {
    size_t run = 1;
    while (p + run < pixels.size() && run < 277 && pixels[p + run] == pixels[p]) ++run;
    if (run >= 22) {
      put(128u + pixels[p], 8);
      put(uint32_t(run - 22), 8);
    } else {
      run = 1;
      put(pixels[p], 8);
    }
    p += run;
    for (; level >= 0 && p >= ChunkLevelBytes(level); --level) {
      chunk.header.words[level] = stream_start + uint32_t((bit + 31) / 32);
    }
  }
  for (int i = 0; i < kQc3Levels; ++i) {
    chunk.header.check[i] = ChunkLevelCheck(
        std::span<const uint32_t>(chunk.words.data(), chunk.header.words[i]));
  }
  chunk.header.present = chunk.header.words[0];
  for (size_t i = 0; i < sizeof chunk.header.reserved; ++i) chunk.header.reserved[i] = uint8_t(i);
  return chunk;
}

// The chunks of a store, by (row, col).
struct Qc3StoreFixture {
  int across = 2;
  int down = 2;
  struct Entry {
    int64_t special = 0;  // kQc3AbsentChunk or kQc3BlankChunk when seed < 0
    int seed = -1;        // a stored chunk coded from this seed
    int present_level = 0;  // W = N[present_level] (local copies)
  };
  std::map<std::pair<int, int>, Entry> chunks;

  QC3StoreHeader Header() const {
    QC3StoreHeader header;
    header.magic = kQc3Magic;
    header.reserved0 = 0xA1B2C3D4;
    header.reserved1 = -7;
    header.across = across;
    header.down = down;
    for (size_t i = 0; i < sizeof header.reserved2; ++i) header.reserved2[i] = uint8_t(0x40 + i);
    return header;
  }

  // The store's bytes: header, index, then each stored chunk's record with all its words (the
  // server's file keeps them all; a local copy's W tells how many it has).
  std::string Bytes() const {
    const QC3StoreHeader header = Header();
    std::string out(reinterpret_cast<const char*>(&header), sizeof header);
    out.resize(header.IndexEnd());
    for (const auto& [place, entry] : chunks) {
      int64_t value = entry.special;
      if (entry.seed >= 0) {
        out.resize((out.size() + 3) / 4 * 4);
        value = int64_t(out.size());
        EncodedChunk chunk = EncodeQc3Chunk(entry.seed);
        chunk.header.present = chunk.header.words[entry.present_level];
        out.append(reinterpret_cast<const char*>(&chunk.header), sizeof chunk.header);
        out.append(reinterpret_cast<const char*>(chunk.words.data()), chunk.words.size() * 4);
      }
      std::memcpy(out.data() + header.IndexAddress(place.first, place.second), &value, 8);
    }
    return out;
  }
};

inline void WriteBytesFile(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes)) << path;
}

// The 8-byte little-endian value at `offset` of a byte string.
inline int64_t Int64At(const std::string& bytes, uint64_t offset) {
  int64_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 8);
  return v;
}

}  // namespace vd::test
