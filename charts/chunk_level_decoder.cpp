#include "charts/chunk_level_decoder.h"

#include <algorithm>
#include <cstring>

#include "charts/bit_reader.h"

namespace {

// Run lengths of leaf classes 1..3 start at these (runs of 2-5, 6-21 and 22-277 pixels).
constexpr size_t kRunBase[4] = {1, 2, 6, 22};

}  // namespace

bool DecodeChunkLevel(std::span<const uint32_t> words, std::span<uint8_t> output) {
  if (words.data() == nullptr || words.empty() || words.size() > kMaxChunkLevelWords) {
    return false;
  }
  if (output.empty() || output.size() > kMaxChunkLevelPixels) return false;
  const size_t stream_start = words[0];
  if (stream_start >= words.size()) return false;
  // The tree: 16-bit entries from the end of word 0 up to the stream.
  const uint8_t* tree = reinterpret_cast<const uint8_t*>(words.data()) + 4;
  const size_t entries = stream_start == 0 ? 0 : (stream_start - 1) * 2;
  const auto entry = [tree](size_t e) {
    int16_t c;
    std::memcpy(&c, tree + 2 * e, 2);
    return c;
  };

  BitReader reader(words.data() + stream_start, words.data() + words.size());
  size_t written = 0;
  while (written < output.size()) {
    size_t e = 0;
    int16_t c;
    // Every step moves forward, so a walk ends within the tree or leaves it.
    while (true) {
      if (e >= entries) return false;
      c = entry(e);
      if (c >= 0) break;
      e += reader.ReadBit() ? 1 + size_t(-int(c)) : 1;
    }
    const int run_class = (c >> 8) & 3;
    size_t run = 1;
    if (run_class > 0) {
      uint32_t r = 0;
      for (int i = 0; i < (1 << run_class); ++i) r = r << 1 | reader.ReadBit();
      run = r + kRunBase[run_class];
    }
    if (reader.overrun()) return false;
    run = std::min(run, output.size() - written);
    std::memset(output.data() + written, c & 0x7F, run);
    written += run;
  }
  return true;
}
