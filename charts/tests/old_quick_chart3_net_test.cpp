#include <gtest/gtest.h>

#include "charts/old_quick_chart3.h"
#include "charts/tests/old_quick_chart3_fixture.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"

namespace {

using Tile = std::array<uint8_t, kTilePixels>;

class OldQuickChart3FetchTest : public vd::test::ChunkChartTest {
 protected:
  void TearDown() override {
    vd::os::HttpCloseIdleConnections();
    ChunkChartTest::TearDown();
  }
  std::string Address() const {
    return "http://127.0.0.1:" + std::to_string(server.port()) + "/c/sea.qc3";
  }

  vd::test::HttpTestServer server;
};

TEST_F(OldQuickChart3FetchTest, CreatesStoreFromServerAndFetchesMissingChunks) {
  vd::test::Qc3StoreFixture store = Store();
  store.chunks[{0, 1}] = {0, 4, 0};
  store.chunks[{1, 1}] = {kQc3BlankChunk, -1, 0};
  server.Serve("/c/sea.qc3", store.Bytes());
  const auto chart = OpenOldQuickChart(WriteChart(Address()), true);
  ASSERT_NE(nullptr, chart);
  auto& reader = dynamic_cast<COldQuickChart3&>(*chart);
  EXPECT_EQ("127.0.0.1:" + std::to_string(server.port()), reader.chunk_host());
  EXPECT_EQ("/c/sea.qc3", reader.chunk_path());
  // The new store: the server's header and an empty index, nothing more.
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("sea.qc3"), bytes));
  EXPECT_EQ(store.Header().IndexEnd(), bytes.size());

  Tile tile;
  EXPECT_EQ(1, chart->ReadTile(20, 3, 4, tile));  // missing: the view fetches and reads again
  const auto wanted = [] { return true; };
  ASSERT_EQ(0, chart->FetchChunk(1, 0, 4, wanted));
  tile.fill(0);  // rows past the shift's stay as they are
  ASSERT_EQ(0, chart->ReadTile(20, 3, 4, tile));
  EXPECT_EQ(ExpectedTile(4, 20, 3, 4, 4), tile);
  EXPECT_EQ(1, chart->ReadTile(20, 3, 0, tile));  // finer levels are still to come
  ASSERT_EQ(0, chart->PrefetchArea(1024, 0, 1024, 2048, 0, wanted));
  ASSERT_EQ(0, chart->ReadTile(20, 3, 0, tile));
  EXPECT_EQ(ExpectedTile(4, 20, 3, 0, 0), tile);
  ASSERT_EQ(0, chart->ReadTile(20, 19, 0, tile));  // blank on the server
  EXPECT_EQ(ptrdiff_t(kTilePixels), std::count(tile.begin(), tile.end(), 1));

  // Chunks outside the store have nothing to fetch; one that no longer matters is not fetched.
  server.ClearRequests();
  EXPECT_EQ(0, chart->FetchChunk(-1, 0, 0, wanted));
  EXPECT_EQ(1, chart->FetchChunk(0, 0, 0, [] { return false; }));
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(reader.download_switch());

  // A chunk the server lacks turns downloads off: its tiles then show the missing-chunk fill.
  EXPECT_EQ(1, chart->FetchChunk(0, 0, 0, wanted));
  EXPECT_FALSE(reader.download_switch());
  ASSERT_EQ(0, chart->ReadTile(1, 1, 0, tile));
  EXPECT_EQ(ptrdiff_t(kTilePixels), std::count(tile.begin(), tile.end(), 1));
}

TEST_F(OldQuickChart3FetchTest, NoStoreAndNoServerMeansNoChart) {
  // The server has no store file, and the default chunk server serves nothing.
  EXPECT_EQ(nullptr, OpenOldQuickChart(WriteChart(Address()), true));
  EXPECT_FALSE(vd::os::FileExists(dir.File("sea.qc3")));
  EXPECT_EQ(nullptr, OpenOldQuickChart(WriteChart(), true));
  EXPECT_FALSE(vd::os::FileExists(dir.File("sea.qc3")));
}

}  // namespace
