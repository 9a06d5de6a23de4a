#include "charts/qc3_tile_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "charts/tests/qc3_store_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::EncodedChunk;
using vd::test::EncodeQc3Chunk;
using vd::test::Qc3ExpectedRow;
using vd::test::Qc3StoreFixture;

using ChunkBuffer = std::vector<uint8_t>;

std::span<uint8_t, kChunkPixels> Span(ChunkBuffer& buffer) {
  return std::span<uint8_t, kChunkPixels>(buffer.data(), kChunkPixels);
}

// Every stored row of the level's bytes shows the chunk decoded at `decoded`.
void ExpectChunk(const ChunkBuffer& buffer, int seed, int level, int decoded) {
  for (int s = 0; s < (kChunkSide >> level); ++s) {
    const std::vector<uint8_t> want = Qc3ExpectedRow(seed, s, decoded);
    ASSERT_TRUE(std::equal(want.begin(), want.end(), buffer.begin() + ptrdiff_t(s) * kChunkSide))
        << "stored row " << s << " level " << level << " decoded " << decoded;
  }
}

class Qc3TileStoreTest : public testing::Test {
 protected:
  std::string WriteStore(const Qc3StoreFixture& fixture, const std::string& name = "chart.qc3") {
    const std::string path = dir.File(name);
    vd::test::WriteBytesFile(path, fixture.Bytes());
    return path;
  }

  vd::test::TempDir dir;
  ChunkBuffer buffer = ChunkBuffer(kChunkPixels, 0xEE);
  std::vector<uint32_t> workspace;
};

TEST(Qc3StoreFormatTest, ChunkHeaderValidityAndLevelCheck) {
  const EncodedChunk chunk = EncodeQc3Chunk(3);
  EXPECT_TRUE(IsValidChunkHeader(chunk.header));
  struct Case {
    const char* what;
    int level;
    uint32_t words;
    bool valid;
  };
  const Case cases[] = {
      {"largest whole chunk", 0, kQc3MaxChunkWords, true},
      {"whole chunk of 2^20 words", 0, 0x100000, false},
      {"level 3 larger than level 2", 3, chunk.header.words[2] + 1, false},
      {"level 9 equal to level 8", 9, chunk.header.words[8], true},
  };
  for (const Case& c : cases) {
    QC3ChunkHeader header = chunk.header;
    header.words[c.level] = c.words;
    EXPECT_EQ(c.valid, IsValidChunkHeader(header)) << c.what;
  }
  // The check folds the four bytes of the wrapping sum.
  const uint32_t words[] = {0xFFFFFFFFu, 0x01020304u};  // sum 0x01020303
  EXPECT_EQ(uint8_t(0x03 + 0x03 + 0x02 + 0x01), ChunkLevelCheck(words));
}

TEST_F(Qc3TileStoreTest, OpensGoodStoresAndClosesDamagedOnes) {
  Qc3StoreFixture fixture;
  fixture.chunks[{0, 0}] = {0, 1, 0};
  const std::string good = fixture.Bytes();
  QC3StoreHeader wrong_magic = fixture.Header();
  wrong_magic.magic ^= 1;
  QC3StoreHeader negative = fixture.Header();
  negative.across = -2;
  QC3StoreHeader huge = fixture.Header();
  huge.across = 0x40000000;
  huge.down = 0x40000000;
  const auto with_header = [&good](const QC3StoreHeader& header) {
    std::string bytes = good;
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
    bool open;
    bool loaded;
  };
  const Case cases[] = {
      {"good", good, true, true},
      {"header not yet written", good.substr(0, 39), true, false},
      {"empty", "", true, false},
      {"wrong magic", with_header(wrong_magic), false, false},
      {"negative grid", with_header(negative), false, false},
      {"index past 4 GiB", with_header(huge), false, false},
      {"index cut short", good.substr(0, 40 + 8 * 3 + 4), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File(std::string(c.what) + ".qc3");
    vd::test::WriteBytesFile(path, c.bytes);
    CQC3TileStore store(path);
    EXPECT_EQ(c.open ? CQC3TileStore::OpenMode::kReadWrite : CQC3TileStore::OpenMode::kClosed,
              store.mode());
    EXPECT_EQ(c.loaded, store.IsHeaderLoaded());
    int decoded = -1;
    // A closed store or one without its header shows every chunk as empty, never reads.
    if (!c.loaded) {
      ASSERT_TRUE(store.DecodeChunk(0, 0, 0, Span(buffer), workspace, decoded));
      EXPECT_EQ(kQc3NoLevel, decoded);
    }
  }
}

TEST_F(Qc3TileStoreTest, MissingStoreIsCreatedAsFolderAndGetsHeaderAndEmptyIndex) {
  const std::string path = dir.File("sub/new.qc3");
  CQC3TileStore store(path);
  ASSERT_EQ(CQC3TileStore::OpenMode::kReadWrite, store.mode());
  EXPECT_FALSE(store.IsHeaderLoaded());
  Qc3StoreFixture fixture;
  fixture.across = 3;
  fixture.down = 2;
  ASSERT_TRUE(store.WriteHeader(fixture.Header()));
  EXPECT_TRUE(store.IsHeaderLoaded());
  EXPECT_EQ(3, store.header().across);
  // A loaded store keeps its index.
  EXPECT_FALSE(store.WriteHeader(fixture.Header()));

  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(path, entries));
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("0", entries[0].name);
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path + "/0", bytes));
  EXPECT_EQ(fixture.Bytes(), bytes);
}

TEST_F(Qc3TileStoreTest, StorePathPrefersAnExistingUpperCaseExtension) {
  const std::string chart = dir.File("Bay.qct");
  EXPECT_EQ(dir.File("Bay.qc3"), CQC3TileStore::StorePathFor(chart));
  vd::test::WriteBytesFile(dir.File("Bay.QC3"), "");
  EXPECT_EQ(dir.File("Bay.QC3"), CQC3TileStore::StorePathFor(chart));
  EXPECT_EQ(dir.File("v1.2/chart.qc3"), CQC3TileStore::StorePathFor(dir.File("v1.2/chart")));
}

TEST_F(Qc3TileStoreTest, DecodesStoredBlankAndAbsentChunksAtEveryLevel) {
  Qc3StoreFixture fixture;
  fixture.across = 3;
  fixture.chunks[{0, 0}] = {0, 5, 0};
  fixture.chunks[{0, 1}] = {0, 6, 2};  // W = N[2]
  fixture.chunks[{1, 2}] = {kQc3BlankChunk, -1, 0};
  CQC3TileStore store(WriteStore(fixture));
  ASSERT_TRUE(store.IsHeaderLoaded());
  for (int level = 0; level < kQc3Levels; ++level) {
    SCOPED_TRACE(level);
    int decoded = -1;
    ASSERT_TRUE(store.DecodeChunk(0, 0, level, Span(buffer), workspace, decoded));
    EXPECT_EQ(level, decoded);
    ExpectChunk(buffer, 5, level, level);

    // Only levels 2 and coarser are present: finer ones repeat level 2's rows.
    ASSERT_TRUE(store.DecodeChunk(0, 1, level, Span(buffer), workspace, decoded));
    EXPECT_EQ(std::max(level, 2), decoded);
    ExpectChunk(buffer, 6, level, decoded);

    std::fill(buffer.begin(), buffer.end(), 0xEE);
    ASSERT_TRUE(store.DecodeChunk(1, 2, level, Span(buffer), workspace, decoded));
    EXPECT_EQ(level, decoded);
    const auto level_end = buffer.begin() + ptrdiff_t(ChunkLevelBytes(level));
    EXPECT_TRUE(std::all_of(buffer.begin(), level_end, [](uint8_t p) { return p == 1; }));
    EXPECT_TRUE(std::all_of(level_end, buffer.end(), [](uint8_t p) { return p == 0xEE; }));

    // Absent: colour 1 with colour 0 along the top and left edges.
    ASSERT_TRUE(store.DecodeChunk(1, 0, level, Span(buffer), workspace, decoded));
    EXPECT_EQ(kQc3NoLevel, decoded);
    for (int s = 0; s < (kChunkSide >> level); ++s) {
      const uint8_t* row = buffer.data() + size_t(s) * kChunkSide;
      EXPECT_EQ(0, row[0]);
      EXPECT_EQ(s == 0 ? 0 : 1, row[1]);
      EXPECT_EQ(s == 0 ? 0 : 1, row[kChunkSide - 1]);
    }
  }
  int decoded = -1;
  EXPECT_FALSE(store.DecodeChunk(2, 0, 0, Span(buffer), workspace, decoded));
  EXPECT_FALSE(store.DecodeChunk(0, -1, 0, Span(buffer), workspace, decoded));
  EXPECT_FALSE(store.DecodeChunk(0, 0, 10, Span(buffer), workspace, decoded));
  EXPECT_TRUE(store.IsChunkComplete(0, 0));
  EXPECT_FALSE(store.IsChunkComplete(0, 1));
  EXPECT_FALSE(store.IsChunkComplete(1, 2));
  EXPECT_FALSE(store.IsChunkComplete(1, 0));
}

TEST_F(Qc3TileStoreTest, DamagedChunksFailWithoutReadingPastTheEnd) {
  Qc3StoreFixture fixture;
  fixture.chunks[{0, 0}] = {0, 1, 0};
  const std::string good = fixture.Bytes();
  const int64_t record = vd::test::Int64At(good, 40);
  const auto patched = [&](uint64_t offset, const void* data, size_t size) {
    std::string bytes = good;
    std::memcpy(bytes.data() + offset, data, size);
    return bytes;
  };
  const uint32_t too_many = 0x100000;
  const int64_t past_end = int64_t(good.size()) + 64;
  const int64_t far_part = int64_t(200) << 32;
  const uint32_t garbage[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  struct Case {
    const char* what;
    std::string bytes;
    bool marked_absent;  // the entry is reset so that the chunk is fetched again
  };
  const Case cases[] = {
      {"record cut inside its words", good.substr(0, good.size() - 100), true},
      {"record cut inside its header", good.substr(0, size_t(record) + 30), false},
      {"entry past the end", patched(40, &past_end, 8), false},
      {"entry in a part beyond the last", patched(40, &far_part, 8), false},
      {"word count too large", patched(uint64_t(record), &too_many, 4), false},
      {"damaged stream", patched(uint64_t(record) + 76, garbage, sizeof garbage), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File(std::string(c.what) + ".qc3");
    vd::test::WriteBytesFile(path, c.bytes);
    CQC3TileStore damaged(path);
    ASSERT_TRUE(damaged.IsHeaderLoaded());
    int decoded = -1;
    EXPECT_FALSE(damaged.DecodeChunk(0, 0, 0, Span(buffer), workspace, decoded));
    EXPECT_FALSE(damaged.IsChunkComplete(0, 0));
    EXPECT_EQ(c.marked_absent, damaged.ReadIndexEntry(0, 0) == kQc3AbsentChunk);
  }
}

}  // namespace
