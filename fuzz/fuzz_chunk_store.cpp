// Fuzz target: chunk stores (".qc3", one plain file): the header, the index and every level of
// the first chunks, as the chart reader decodes them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "charts/qc3_tile_store.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("input.qc3", data, size);
  CQC3TileStore store(path);
  if (!store.IsOpen() || !store.IsHeaderLoaded()) return 0;
  const QC3StoreHeader header = store.header();
  static std::vector<uint8_t> buffer(kChunkPixels);
  std::vector<uint32_t> workspace;
  for (int row = 0; row < header.down && row < 4; ++row) {
    for (int col = 0; col < header.across && col < 4; ++col) {
      (void)store.ReadIndexEntry(row, col);
      for (int level = 0; level < kQc3Levels; ++level) {
        int decoded = 0;
        store.DecodeChunk(row, col, level, std::span<uint8_t, kChunkPixels>(buffer.data(), kChunkPixels),
                          workspace, decoded);
      }
    }
  }
  return 0;
}
