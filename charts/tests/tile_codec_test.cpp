#include "charts/tile_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Tile = std::array<uint8_t, kTilePixels>;

std::vector<uint8_t> Encode(const Tile& pixels) {
  std::vector<uint8_t> out;
  const size_t after_type = EncodeTile(pixels, out);
  EXPECT_EQ(after_type + 1, out.size());
  return out;
}

// Decodes from a heap copy holding exactly the given bytes, so that a read past them is caught
// by the address sanitizer.
bool Decode(std::span<const uint8_t> bytes, Tile& out, int rows = kTileSide) {
  const std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  return DecodeTile(copy, out, rows);
}

// A tile of `colours` distinct values (spread over 0..127): runs of random length, or noise.
Tile RandomTile(std::mt19937& rng, int colours, bool runs) {
  std::vector<uint8_t> values(128);
  std::iota(values.begin(), values.end(), uint8_t{0});
  std::shuffle(values.begin(), values.end(), rng);
  values.resize(size_t(colours));
  Tile tile;
  // Every colour appears at least once.
  for (int i = 0; i < kTilePixels; ++i) tile[size_t(i)] = values[size_t(i % colours)];
  // A skewed choice makes unbalanced trees with long codes.
  std::geometric_distribution<int> skewed(0.3);
  std::uniform_int_distribution<int> run_length(1, runs ? 300 : 1);
  for (int i = colours; i < kTilePixels;) {
    const uint8_t v = values[size_t(std::min(skewed(rng), colours - 1))];
    for (int r = run_length(rng); r > 0 && i < kTilePixels; --r) tile[size_t(i++)] = v;
  }
  return tile;
}

Tile ImageRowsTile() {  // image row r holds colour r
  Tile image;
  for (int r = 0; r < kTileSide; ++r) std::fill_n(image.begin() + r * kTileSide, kTileSide, uint8_t(r));
  return image;
}

TEST(TileCodecTest, RandomTilesOfOneTo128ColoursRoundTrip) {
  std::mt19937 rng(1234);
  for (int colours = 1; colours <= 128; ++colours) {
    for (bool runs : {false, true}) {
      const Tile tile = RandomTile(rng, colours, runs);
      const std::vector<uint8_t> bytes = Encode(tile);
      Tile decoded;
      decoded.fill(0xEE);
      ASSERT_TRUE(Decode(bytes, decoded)) << colours << " colours, runs " << runs;
      ASSERT_EQ(tile, decoded) << colours << " colours, runs " << runs;
      // The same pixels give the same bytes.
      EXPECT_EQ(bytes, Encode(tile));
      // A tile of 128 colours has no run-length form.
      if (colours == 128) {
        EXPECT_EQ(0, bytes[0]);
      }
      // Partial decoding gives the first stored rows (few rows take the bit-by-bit walk).
      Tile partial;
      ASSERT_TRUE(Decode(bytes, partial, 4));
      EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + 4 * kTileSide, tile.begin()));
    }
  }
}

TEST(TileCodecTest, EncoderWritesTheExpectedBytes) {
  // Colours 3 (half), 9 and 7 alternate: Huffman wins. Leaves 3, 7, 9; the first branch takes
  // 9 (second-smallest, first subtree) and 7; the root takes that branch and 3.
  Tile mixed;
  const uint8_t group[4] = {3, 9, 3, 7};
  for (int i = 0; i < kTilePixels; ++i) mixed[size_t(i)] = group[i % 4];
  std::vector<uint8_t> expected = {0x00, 0xFD, 0xFF, 0x09, 0x07, 0x03};
  // Codes: 3 = 1, 9 = 00, 7 = 01 (first bit first), packed from bit 0 upwards.
  for (int i = 0; i < 256; ++i) expected.insert(expected.end(), {0x69, 0x9A, 0xA6});
  std::vector<uint8_t> out = {0x55};  // written after what the output holds
  EXPECT_EQ(773u, EncodeTile(mixed, out));
  EXPECT_EQ(0x55, out[0]);
  EXPECT_EQ(expected, std::vector<uint8_t>(out.begin() + 1, out.end()));

  // Two halves: run-length form, runs of at most 127 for two colours.
  Tile halves;
  std::fill_n(halves.begin(), 2048, uint8_t{2});
  std::fill_n(halves.begin() + 2048, 2048, uint8_t{100});
  expected = {0x02, 0x02, 0x64};
  expected.insert(expected.end(), 16, 0xFE);
  expected.push_back(0x20);
  expected.insert(expected.end(), 16, 0xFF);
  expected.push_back(0x21);
  EXPECT_EQ(expected, Encode(halves));

  // One colour: a one-leaf tree and no stream.
  Tile plain;
  plain.fill(5);
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0x05}), Encode(plain));

  // 128 colours, 32 pixels each: a balanced tree whose root's first subtree (64 leaves) is 127
  // bytes long, written with the single byte 0x81.
  Tile all;
  for (int i = 0; i < kTilePixels; ++i) all[size_t(i)] = uint8_t(i % 128);
  const std::vector<uint8_t> bytes = Encode(all);
  EXPECT_EQ(0x00, bytes[0]);
  EXPECT_EQ(0x81, bytes[1]);
  EXPECT_EQ(1u + 255u + 4096u * 7u / 8u, bytes.size());
}

TEST(TileCodecTest, DecodesTheStoredForms) {
  Tile out;
  // A one-leaf tree fills the tile whatever follows.
  ASSERT_TRUE(Decode(std::vector<uint8_t>{0x00, 0x05, 0xFF, 0x13}, out));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t p) { return p == 5; }));

  // Run-length, one colour: sixteen runs of 255 and one of 16.
  std::vector<uint8_t> runs = {0x01, 9};
  runs.insert(runs.end(), 16, 255);
  runs.push_back(16);
  out.fill(0);
  ASSERT_TRUE(Decode(runs, out));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t p) { return p == 9; }));
  EXPECT_EQ(runs.size(), TileEncodedSize(runs, 0));
  runs.pop_back();
  EXPECT_FALSE(Decode(runs, out));

  // Packed, three colours: b = 2, sixteen pixels per word, 256 words.
  std::vector<uint8_t> packed = {0xFD, 10, 20, 30};
  packed.resize(4 + 1024, 0xE4);  // indices 0, 1, 2, 3 from the low bits: 3 is outside
  EXPECT_FALSE(Decode(packed, out));
  for (size_t i = 4; i < packed.size(); ++i) packed[i] = 0x24;  // indices 0, 1, 2, 0
  ASSERT_TRUE(Decode(packed, out));
  const uint8_t cycle[4] = {10, 20, 30, 10};
  for (int i = 0; i < kTilePixels; ++i) ASSERT_EQ(cycle[i % 4], out[size_t(i)]) << i;
  EXPECT_EQ(1028u, TileEncodedSize(packed, 0));
  EXPECT_EQ(0u, TileEncodedSize(std::span(packed).first(1027), 0));

  // Packed, seven bits: four pixels per word, the spare high bits ignored.
  std::vector<uint8_t> seven = {uint8_t(256 - 100)};
  for (int i = 0; i < 100; ++i) seven.push_back(uint8_t(i));
  for (int w = 0; w < 1024; ++w) {
    const uint32_t word = 5u | 6u << 7 | 7u << 14 | 99u << 21 | 0xFu << 28;
    seven.insert(seven.end(), {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)});
  }
  ASSERT_TRUE(Decode(seven, out));
  EXPECT_EQ((std::vector<uint8_t>{5, 6, 7, 99, 5}), std::vector<uint8_t>(out.begin(), out.begin() + 5));

  // Packed, one colour: two bytes.
  const std::vector<uint8_t> single = {0xFF, 42};
  ASSERT_TRUE(Decode(single, out));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t p) { return p == 42; }));
  EXPECT_EQ(2u, TileEncodedSize(single, 0));
}

TEST(TileCodecTest, LongBranchFormJumpsOverItsFirstSubtree) {
  // Root 0x80 0x80 0xFF: first subtree of 128 bytes (a chain of 63 branches and 64 leaves,
  // then an unused byte), second subtree the leaf 9.
  std::vector<uint8_t> tile = {0x00, 0x80, 0x80, 0xFF};
  for (int i = 0; i < 63; ++i) tile.insert(tile.end(), {0xFF, uint8_t(i)});
  tile.push_back(63);
  tile.push_back(0x7E);  // unused
  tile.push_back(9);
  // Bits: 1 (leaf 9), then 0 0 (leaf 0 of the chain), then 0 1 1 0 (leaf 2), repeated.
  const uint8_t pattern = 0b00110001;  // 1, 0,0, 0,1,1,0 ... and a trailing 0 bit
  tile.insert(tile.end(), 4096, pattern);
  Tile out;
  ASSERT_TRUE(Decode(tile, out, 1));
  EXPECT_EQ(9, out[0]);
  EXPECT_EQ(0, out[1]);
  EXPECT_EQ(2, out[2]);
  EXPECT_EQ(1, out[3]);  // the byte's last bit 0, then the next byte's 1, 0
  // The whole tile goes through the 8-bit look-up, which must agree.
  Tile whole;
  ASSERT_TRUE(Decode(tile, whole));
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + kTileSide, whole.begin()));
}

TEST(TileCodecTest, PartialDecodingGivesEveryNthImageRow) {
  Tile stored;
  ReorderTileRows(ImageRowsTile(), stored);
  const std::vector<uint8_t> bytes = Encode(stored);
  Tile out;
  out.fill(0xEE);
  ASSERT_TRUE(Decode(bytes, out, 64 >> 2));
  const int expected[16] = {0, 32, 16, 48, 8, 40, 24, 56, 4, 36, 20, 52, 12, 44, 28, 60};
  for (int s = 0; s < 16; ++s) EXPECT_EQ(expected[s], out[size_t(s * kTileSide)]) << s;
  EXPECT_EQ(0xEE, out[16 * kTileSide]);  // nothing past the requested rows

  Tile image;
  ReorderTileRows(stored, image);  // its own inverse
  EXPECT_EQ(ImageRowsTile(), image);
}

TEST(TileCodecTest, HuffmanSizeCountsToTheAlignedWordOfTheLastBit) {
  std::mt19937 rng(7);
  const Tile tile = RandomTile(rng, 20, false);
  std::vector<uint8_t> bytes = Encode(tile);
  ASSERT_EQ(0, bytes[0]);
  const size_t exact = bytes.size();
  bytes.resize(exact + 8, 0);  // as if more of the file followed
  for (uint64_t offset = 0; offset < 4; ++offset) {
    const uint64_t end = (offset + exact + 3) / 4 * 4;
    EXPECT_EQ(end - offset, TileEncodedSize(bytes, offset)) << offset;
  }
  // Clamped to the bytes present at the end of a file.
  EXPECT_EQ(exact, TileEncodedSize(std::span(bytes).first(exact), 1));
  // A one-leaf tree has no stream: type and leaf.
  EXPECT_EQ(2u, TileEncodedSize(std::vector<uint8_t>{0x00, 0x05, 0x00, 0x00, 0x00}, 3));
}

// Damaged tiles: every decoder stays inside the bytes and gives the unreachable result.
TEST(TileCodecTest, TileCutShortIsUnreachable) {
  std::mt19937 rng(99);
  std::vector<std::vector<uint8_t>> samples = {Encode(RandomTile(rng, 5, true)),
                                               Encode(RandomTile(rng, 40, false))};
  std::vector<uint8_t> packed = {0xFE, 1, 2};  // two colours, 32 pixels per word, 128 words
  packed.resize(3 + 512, 0x5A);
  samples.push_back(packed);
  for (const std::vector<uint8_t>& bytes : samples) {
    ASSERT_TRUE([&] { Tile t; return Decode(bytes, t); }());
    for (size_t cut = 0; cut < bytes.size(); cut += (cut < 16 ? 1 : 37)) {
      Tile out;
      out.fill(0xEE);
      EXPECT_FALSE(Decode(std::span(bytes).first(cut), out)) << "type " << int(bytes[0]) << " cut " << cut;
      EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t p) { return p == 0; }));
      EXPECT_EQ(0u, TileEncodedSize(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)), 0));
    }
  }
}

TEST(TileCodecTest, MalformedTilesAreUnreachable) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"no bytes", {}},
      {"type 128", {0x80, 1, 2, 3}},
      {"spine jumps past the end", {0x00, 0xF0, 0x01, 0x02}},
      // Root: first subtree 2 bytes (a branch jumping 64 on, and leaf 1), second the leaf 2.
      {"walk leaves the tree", {0x00, 0xFE, 0xC0, 0x01, 0x02, 0b10, 0, 0, 0}},
      {"long form backwards", {0x00, 0x80, 0x05, 0x00, 0x01, 0x02, 0xFF, 0xFF}},
      {"long form cut", {0x00, 0x80, 0x01}},
      {"stream too short", {0x00, 0xFF, 0x01, 0x02, 0xAA}},
      {"sub-palette colour above 127", {0x02, 9, 200, 0xFF, 0xFF}},
      {"run index outside the sub-palette", {0x03, 1, 2, 3, 0xFF}},
      {"packed sub-palette cut", {0xF0, 1, 2}},
  };
  for (const auto& c : cases) {
    Tile out;
    out.fill(0xEE);
    EXPECT_FALSE(Decode(c.bytes, out)) << c.what;
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t p) { return p == 0; })) << c.what;
    EXPECT_EQ(0u, TileEncodedSize(c.bytes, 0)) << c.what;
  }
}

TEST(TileCodecTest, RunPastTheTileIsCutAtItsEnd) {
  std::vector<uint8_t> runs = {0x01, 9};
  runs.insert(runs.end(), 40, 255);  // 10200 pixels
  Tile out;
  ASSERT_TRUE(Decode(runs, out));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t p) { return p == 9; }));
  // The first byte already covers the tile: that is its stored length.
  out.fill(0xEE);
  ASSERT_TRUE(Decode(runs, out, 1));
  EXPECT_EQ(9, out[63]);
  EXPECT_EQ(0xEE, out[64]);
  EXPECT_EQ(2u + 17u, TileEncodedSize(runs, 0));
}

}  // namespace
