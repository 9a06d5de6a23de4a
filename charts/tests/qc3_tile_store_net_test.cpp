#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "charts/qc3_tile_store.h"
#include "charts/tests/qc3_store_fixture.h"
#include "core/http_connection.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::EncodeQc3Chunk;
using vd::test::Int64At;
using vd::test::Qc3ExpectedRow;
using vd::test::Qc3StoreFixture;

constexpr char kServerPath[] = "/mapchunks/chart.qc3";

class Qc3FetchTest : public testing::Test {
 protected:
  Qc3FetchTest() : connection("127.0.0.1:" + std::to_string(server.port()), false) {}
  // Idle keep-alive connections would hold up the server's stop.
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  // Serves the fixture as the server's store file and opens an empty local store.
  std::unique_ptr<CQC3TileStore> Serve(const Qc3StoreFixture& fixture,
                                       const std::string& local = "local.qc3") {
    server_bytes = fixture.Bytes();
    server.Serve(kServerPath, server_bytes);
    auto store = std::make_unique<CQC3TileStore>(dir.File(local));
    store->SetServerPath(kServerPath);
    return store;
  }

  // The Range headers of the requests so far, then forgets them.
  std::vector<std::string> TakeRanges() {
    std::vector<std::string> ranges;
    for (const auto& request : server.Requests()) ranges.push_back(request.Header("Range"));
    server.ClearRequests();
    return ranges;
  }

  static std::string Range(uint64_t offset, uint64_t length) {
    return "bytes=" + std::to_string(offset) + "-" + std::to_string(offset + length - 1);
  }

  void ExpectDecoded(CQC3TileStore& store, int row, int col, int seed, int level) {
    std::vector<uint8_t> buffer(kChunkPixels);
    std::vector<uint32_t> workspace;
    int decoded = -1;
    ASSERT_TRUE(store.DecodeChunk(row, col, level,
                                  std::span<uint8_t, kChunkPixels>(buffer.data(), kChunkPixels),
                                  workspace, decoded));
    ASSERT_EQ(level, decoded);
    for (int s = 0; s < (kChunkSide >> level); ++s) {
      const std::vector<uint8_t> want = Qc3ExpectedRow(seed, s, level);
      ASSERT_TRUE(std::equal(want.begin(), want.end(), buffer.begin() + ptrdiff_t(s) * kChunkSide))
          << "stored row " << s;
    }
  }

  vd::test::TempDir dir;
  vd::test::HttpTestServer server;
  CHttpConnection connection;
  std::string server_bytes;
};

TEST_F(Qc3FetchTest, FetchesHeaderThenChunkLevelByLevel) {
  Qc3StoreFixture fixture;
  fixture.across = 3;
  fixture.chunks[{1, 2}] = {0, 4, 0};
  auto store = Serve(fixture);
  const uint64_t record = uint64_t(Int64At(server_bytes, fixture.Header().IndexAddress(1, 2)));
  const QC3ChunkHeader chunk = EncodeQc3Chunk(4).header;

  ASSERT_TRUE(store->FetchChunk(connection, 1, 2, 9));
  // Header, the index block holding entry 5 + 1 x 3 + 2 = 10, then header and 1000 words.
  EXPECT_EQ((std::vector<std::string>{Range(0, 40), Range(0, 128), Range(record, 4076)}),
            TakeRanges());
  EXPECT_TRUE(store->IsHeaderLoaded());
  ExpectDecoded(*store, 1, 2, 4, 9);
  EXPECT_FALSE(store->IsChunkComplete(1, 2));
  // Asking again for what is there fetches nothing.
  ASSERT_TRUE(store->FetchChunk(connection, 1, 2, 9));
  EXPECT_TRUE(TakeRanges().empty());

  // The rest comes in one request; the cached index entry is used.
  ASSERT_TRUE(store->FetchChunk(connection, 1, 2, 0));
  EXPECT_EQ(std::vector<std::string>{Range(record + 4076, 4 * (chunk.words[0] - 1000))},
            TakeRanges());
  EXPECT_TRUE(store->IsChunkComplete(1, 2));
  ExpectDecoded(*store, 1, 2, 4, 0);

  // The local copy is laid out as the server's, with W = N[0] and the header's reserved bytes.
  CQC3TileStore reopened(dir.File("local.qc3"));
  ASSERT_TRUE(reopened.IsHeaderLoaded());
  const QC3StoreHeader header = reopened.header();
  EXPECT_EQ(0, std::memcmp(server_bytes.data(), &header, 40));
  ExpectDecoded(reopened, 1, 2, 4, 0);
}

TEST_F(Qc3FetchTest, ServerEntriesDecideBlankMissingAndRefused) {
  Qc3StoreFixture fixture;
  fixture.across = 4;
  fixture.chunks[{0, 1}] = {kQc3BlankChunk, -1, 0};
  std::string bytes = fixture.Bytes();
  const int64_t far = int64_t(1) << 40;
  const int64_t negative = -2;
  std::memcpy(bytes.data() + fixture.Header().IndexAddress(0, 2), &far, 8);
  std::memcpy(bytes.data() + fixture.Header().IndexAddress(0, 3), &negative, 8);
  server.Serve(kServerPath, bytes);
  CQC3TileStore store(dir.File("local.qc3"));
  store.SetServerPath(kServerPath);

  ASSERT_TRUE(store.FetchChunk(connection, 0, 1, 0));
  EXPECT_EQ(kQc3BlankChunk, store.ReadIndexEntry(0, 1));
  server.ClearRequests();
  for (int col : {0, 2, 3}) {
    SCOPED_TRACE(col);
    EXPECT_FALSE(store.FetchChunk(connection, 0, col, 0));
    EXPECT_EQ(kQc3AbsentChunk, store.ReadIndexEntry(0, col));
  }
  // Only the zero entry is asked for again; the others are refused without a request.
  EXPECT_EQ(std::vector<std::string>{Range(0, 128)}, TakeRanges());
  EXPECT_FALSE(store.FetchChunk(connection, 1, 0, 0));  // off the grid
  EXPECT_FALSE(store.FetchChunk(connection, 0, 0, 10));
}

TEST_F(Qc3FetchTest, DamagedServerDataIsNotKept) {
  Qc3StoreFixture fixture;
  fixture.chunks[{0, 0}] = {0, 2, 0};
  fixture.chunks[{0, 1}] = {0, 3, 0};
  std::string bytes = fixture.Bytes();
  const QC3StoreHeader header = fixture.Header();
  const uint64_t first = uint64_t(Int64At(bytes, header.IndexAddress(0, 0)));
  const uint64_t second = uint64_t(Int64At(bytes, header.IndexAddress(0, 1)));
  // A word of level 0 that no coarser level needs.
  bytes[first + 76 + 4 * EncodeQc3Chunk(2).header.words[1]] ^= 0x10;
  const uint32_t growing = 1;
  std::memcpy(bytes.data() + second + 4 * 9, &growing, 4);  // N[9] > N[8]: invalid header
  bytes[second + 4 * 9 + 3] = 0x7F;
  server.Serve(kServerPath, bytes);
  CQC3TileStore store(dir.File("local.qc3"));
  store.SetServerPath(kServerPath);

  // The coarse levels are intact; level 0 fails its check and the chunk counts as absent.
  ASSERT_TRUE(store.FetchChunk(connection, 0, 0, 5));
  EXPECT_FALSE(store.FetchChunk(connection, 0, 0, 0));
  EXPECT_EQ(kQc3AbsentChunk, store.ReadIndexEntry(0, 0));
  EXPECT_FALSE(store.FetchChunk(connection, 0, 1, 9));
  EXPECT_EQ(kQc3AbsentChunk, store.ReadIndexEntry(0, 1));

  // A server whose header has another magic gives no header.
  std::string wrong = bytes;
  wrong[0] ^= 1;
  server.Serve("/wrong.qc3", wrong);
  CQC3TileStore other(dir.File("other.qc3"));
  other.SetServerPath("/wrong.qc3");
  EXPECT_FALSE(other.FetchChunk(connection, 0, 0, 9));
  EXPECT_FALSE(other.IsHeaderLoaded());
}

TEST_F(Qc3FetchTest, ShortRepliesKeepWhatCameAndAreCompletedLater) {
  Qc3StoreFixture fixture;
  fixture.chunks[{0, 0}] = {0, 7, 0};
  auto store = Serve(fixture);
  const uint64_t record = uint64_t(Int64At(server_bytes, fixture.Header().IndexAddress(0, 0)));
  const QC3ChunkHeader chunk = EncodeQc3Chunk(7).header;
  // Every reply stops after 118 bytes: the index block still covers entry 5, the first chunk
  // reply holds the header, 10 words and half a word, the next reply 29 words and half a word.
  vd::test::HttpTestServer::Reply cut;
  cut.body = server_bytes;
  cut.cut_after = 118;
  server.Set(kServerPath, cut);
  ASSERT_GT(chunk.words[9], 39u);
  EXPECT_FALSE(store->FetchChunk(connection, 0, 0, 9));
  EXPECT_EQ((std::vector<std::string>{Range(0, 40), Range(0, 128), Range(record, 4076),
                                      Range(record + 76 + 40, 4 * (chunk.words[9] - 10))}),
            TakeRanges());
  const int64_t entry = store->ReadIndexEntry(0, 0);
  ASSERT_NE(kQc3AbsentChunk, entry);

  server.Serve(kServerPath, server_bytes);
  ASSERT_TRUE(store->FetchChunk(connection, 0, 0, 9));
  EXPECT_EQ(std::vector<std::string>{Range(record + 76 + 4 * 39, 4 * (chunk.words[9] - 39))},
            TakeRanges());
  EXPECT_EQ(entry, store->ReadIndexEntry(0, 0));  // completed in place
  ExpectDecoded(*store, 0, 0, 7, 9);
}

TEST_F(Qc3FetchTest, ReadOnlyStoresAndRetriesRefuseCleanly) {
  Qc3StoreFixture fixture;
  fixture.chunks[{0, 0}] = {0, 1, 0};
  server.Serve(kServerPath, fixture.Bytes());
  // A store whose part 0 can't be opened for writing (a folder stands in its place, as root
  // ignores file modes) is opened read-only and fetches nothing.
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("readonly.qc3/0")));
  CQC3TileStore read_only(dir.File("readonly.qc3"));
  read_only.SetServerPath(kServerPath);
  EXPECT_EQ(CQC3TileStore::OpenMode::kReadOnly, read_only.mode());
  EXPECT_FALSE(read_only.FetchChunk(connection, 0, 0, 0));
  EXPECT_TRUE(server.Requests().empty());

  CQC3TileStore missing(dir.File("missing.qc3"));
  missing.SetServerPath("/nothing.qc3");
  missing.SetRetryPause(std::chrono::milliseconds(0));
  EXPECT_FALSE(missing.FetchChunkRetry(connection, 0, 0, nullptr));
  EXPECT_EQ(size_t(CQC3TileStore::kFetchAttempts), server.Requests().size());
  server.ClearRequests();
  int asked = 0;
  EXPECT_FALSE(missing.FetchChunkRetry(connection, 0, 0, [&asked] { return ++asked > 1; }));
  EXPECT_EQ(1, asked);
  EXPECT_EQ(1u, server.Requests().size());

  CQC3TileStore good(dir.File("good.qc3"));
  good.SetServerPath(kServerPath);
  EXPECT_TRUE(good.FetchChunkRetry(connection, 0, 0, nullptr));
  EXPECT_TRUE(good.IsChunkComplete(0, 0));
}

TEST_F(Qc3FetchTest, ChunkThatWouldPassFourGiBGoesToTheNextPart) {
  Qc3StoreFixture fixture;
  fixture.chunks[{0, 0}] = {0, 3, 0};
  auto store = Serve(fixture, "parts.qc3");
  ASSERT_TRUE(store->FetchHeader(connection));
  // Part 0 grown (sparsely) to just below 4 GiB.
  {
    vd::os::File part;
    ASSERT_TRUE(part.Open(dir.File("parts.qc3/0"), vd::os::File::Mode::ReadWrite));
    ASSERT_TRUE(part.Truncate((uint64_t(1) << 32) - 1000));
  }
  ASSERT_TRUE(store->FetchChunk(connection, 0, 0, 0));
  const int64_t entry = store->ReadIndexEntry(0, 0);
  EXPECT_EQ(int64_t(1) << 32, entry);  // part 1, position 0
  ExpectDecoded(*store, 0, 0, 3, 0);
}

}  // namespace
