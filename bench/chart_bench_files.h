#pragma once
// Chart files for the chart benchmarks, written to a scratch folder under $TMPDIR that goes
// away with the object. Tiles are noise of 64 colours (about 3 KiB each when encoded); a few
// distinct tiles are encoded once and their bytes repeated, so that large charts are quick to
// make.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "charts/qct_file_view.h"
#include "charts/qct_writer.h"
#include "charts/quick_chart_header.h"
#include "charts/tile_codec.h"
#include "core/file_utils.h"
#include "platform/os/files.h"
#include "bench/scratch_folder.h"
#include "platform/os/folders.h"

namespace chart_bench {

using vd::bench::ScratchFolder;

// Resident memory of this process in bytes (/proc/self/statm).
inline uint64_t ResidentBytes() {
  std::string statm;
  if (!vd::os::ReadWholeFile("/proc/self/statm", statm)) return 0;
  const size_t space = statm.find(' ');
  return std::strtoull(statm.c_str() + space + 1, nullptr, 10) * uint64_t(::sysconf(_SC_PAGESIZE));
}

inline std::vector<std::vector<uint8_t>> EncodedNoiseTiles(int count) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> colour(0, 63);
  std::vector<std::vector<uint8_t>> tiles(static_cast<size_t>(count));
  std::array<uint8_t, kTilePixels> pixels;
  for (auto& tile : tiles) {
    for (uint8_t& p : pixels) p = uint8_t(colour(rng));
    EncodeTile(pixels, tile);
  }
  return tiles;
}

// A tiled chart of across x down tiles with a linear georeference, a grey palette and a blend
// table of averages. Every tile has bytes of its own, in slots of `slot_bytes` (0: packed one
// after the other). With slots, only the first row's tiles are written and the file is cut to
// its full length: the other slots are holes, which read as zeros, and zeros are a valid tile
// (a Huffman tree of one leaf, colour 0). So a chart of a gigabyte takes no time or disk.
inline bool WriteBenchChart(const std::string& path, int across, int down, size_t slot_bytes) {
  const std::vector<std::vector<uint8_t>> tiles = EncodedNoiseTiles(16);
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::CreateTruncate)) return false;
  QctWriter out(file);
  QuickChartHeader header;
  header.version = 4;
  header.width = across;
  header.height = down;
  const double degrees = 1.0 / 3600;
  header.georef.forward.first = {3.0 / degrees, 0, 1 / degrees};
  header.georef.forward.second = {50.0 / degrees, -1 / degrees, 0};
  header.georef.inverse.first = {50.0, 0, -degrees};
  header.georef.inverse.second = {-3.0, degrees, 0};
  for (int i = 0; i < 256; ++i) {
    for (int c = 0; c < 3; ++c) header.palette[size_t(4 * i + c)] = uint8_t(i * 2);
  }
  for (int a = 0; a < kQctColours; ++a) {
    for (int b = 0; b < kQctColours; ++b) {
      header.blend[size_t(a * kQctColours + b)] = uint8_t((a + b) / 2);
    }
  }
  out.AppendZeros(kQctHeaderSize);
  std::vector<uint32_t> index(size_t(across) * size_t(down));
  out.AppendZeros(4 * index.size());
  const uint64_t data_start = out.Align8();
  for (size_t i = 0; i < index.size(); ++i) {
    if (slot_bytes == 0) {
      index[i] = out.Append(tiles[i % tiles.size()]);
      continue;
    }
    index[i] = uint32_t(data_start + i * slot_bytes);
    if (i < size_t(across)) out.WriteAt(index[i], tiles[i % tiles.size()]);
  }
  out.WriteAt(0, header.Bytes());
  out.WriteAt(kQctHeaderSize, std::span(reinterpret_cast<const uint8_t*>(index.data()),
                                        index.size() * sizeof(uint32_t)));
  if (slot_bytes != 0) return out.ok() && file.Truncate(data_start + index.size() * slot_bytes + 8);
  out.PadToWord();
  out.AppendZeros(8);  // a tiled chart holds 8 bytes beyond its index
  return out.ok();
}

}  // namespace chart_bench
