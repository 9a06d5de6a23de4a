#include "charts/chunk_level_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "charts/bit_reader.h"

namespace {

// Word 0, then the tree entries (16-bit, two per word), then the stream words.
std::vector<uint32_t> Level(const std::vector<int16_t>& tree, const std::vector<uint32_t>& stream) {
  std::vector<uint32_t> words = {uint32_t(1 + (tree.size() + 1) / 2)};
  for (size_t i = 0; i < tree.size(); i += 2) {
    const uint16_t low = uint16_t(tree[i]);
    const uint16_t high = i + 1 < tree.size() ? uint16_t(tree[i + 1]) : 0;
    words.push_back(low | uint32_t(high) << 16);
  }
  words.insert(words.end(), stream.begin(), stream.end());
  return words;
}

TEST(BitReaderTest, ReadsEachWordFromItsLowestBitAndStopsAtTheEnd) {
  const uint32_t words[2] = {0x80000005u, 0x2u};
  BitReader reader(words, words + 2);
  std::vector<uint32_t> bits;
  for (int i = 0; i < 64; ++i) bits.push_back(reader.ReadBit());
  EXPECT_EQ(1u, bits[0]);
  EXPECT_EQ(0u, bits[1]);
  EXPECT_EQ(1u, bits[2]);
  EXPECT_EQ(1u, bits[31]);
  EXPECT_EQ(0u, bits[32]);
  EXPECT_EQ(1u, bits[33]);
  EXPECT_FALSE(reader.overrun());
  EXPECT_EQ(0u, reader.ReadBit());  // bit 64 is past the words
  EXPECT_TRUE(reader.overrun());
}

TEST(ChunkLevelDecoderTest, LeavesWritePixelsAndRuns) {
  // Root branch: bit 0 -> leaf colour 7 (class 0), bit 1 -> leaf 0x0305 (colour 5, class 3).
  const std::vector<int16_t> tree = {-1, 7, 0x0305};
  // Bits in reading order: 0 (one pixel of 7), 1 then 00000011 (25 pixels of 5), 0 (7).
  // Least significant bit first: bit 0 = 0, bit 1 = 1, bits 2..9 = 0,0,0,0,0,0,1,1, bit 10 = 0.
  const uint32_t stream = (1u << 1) | (1u << 8) | (1u << 9);
  std::vector<uint8_t> out(27, 0xEE);
  ASSERT_TRUE(DecodeChunkLevel(Level(tree, {stream}), out));
  std::vector<uint8_t> expected(27, 5);
  expected.front() = 7;
  expected.back() = 7;
  EXPECT_EQ(expected, out);

  // A run longer than the pixels left is cut.
  std::vector<uint8_t> short_out(10, 0xEE);
  ASSERT_TRUE(DecodeChunkLevel(Level(tree, {stream}), short_out));
  EXPECT_EQ(7, short_out[0]);
  EXPECT_TRUE(std::all_of(short_out.begin() + 1, short_out.end(), [](uint8_t p) { return p == 5; }));
}

TEST(ChunkLevelDecoderTest, RefusesBadLevels) {
  const std::vector<int16_t> tree = {-1, 7, 0x0305};
  std::vector<uint8_t> out(8);
  const std::vector<uint32_t> good = Level(tree, {0});
  ASSERT_TRUE(DecodeChunkLevel(good, out));

  std::vector<uint32_t> stream_at_end = good;
  stream_at_end[0] = uint32_t(good.size());
  std::vector<uint32_t> no_tree = good;
  no_tree[0] = 0;
  const struct {
    const char* what;
    std::vector<uint32_t> words;
    size_t pixels;
  } cases[] = {
      {"no words", {}, 8},
      {"no pixels", good, 0},
      {"too many pixels", good, kMaxChunkLevelPixels + 1},
      {"stream start at the word count", stream_at_end, 8},
      {"empty tree", no_tree, 8},
      {"branch jumps past the tree", Level({-5, 7, 1}, {0xFFFFFFFF}), 8},
      {"walk runs into the stream", Level({-1, -1}, {0}), 8},
      {"stream ends first", Level(tree, {0}), 40},  // 32 bits give 32 pixels of 7
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> output(c.pixels);
    EXPECT_FALSE(DecodeChunkLevel(c.words, output)) << c.what;
  }
}

}  // namespace
