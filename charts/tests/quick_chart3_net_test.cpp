#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "charts/qc3_tile_store.h"
#include "charts/quick_chart3.h"
#include "charts/tests/quick_chart3_fixture.h"
#include "core/http_connection.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"

namespace {

using Tile = std::array<uint8_t, kTilePixels>;

bool Never(void*) { return false; }

class ChunkDownloadTest : public vd::test::QuickChart3Test {
 protected:
  void SetUp() override {
    QuickChart3Test::SetUp();
    PersistentString maker;
    maker.Init(CQuickChart3::kChunkServerSetting);
    maker.value = server.BaseUrl();  // saved when it goes
  }
  void TearDown() override {
    vd::os::HttpCloseIdleConnections();
    QuickChart3Test::TearDown();
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server.port()); }
  // A chart named after `name` whose address is this server's `path`, with the store served
  // there; its own failing fetches are not waited for.
  std::unique_ptr<CQuickChart3> ServedChart(const std::string& name, const std::string& bytes,
                                            uint32_t flags = 0) {
    server.Serve("/c/" + name + ".qc3", bytes);
    vd::test::ChunkChartOptions options =
        Named(name + ".qct", server.BaseUrl() + "/c/" + name + ".qc3");
    options.flags = flags;
    auto chart = OpenChunked(WriteChunkChart(options));
    if (chart) chart->store()->SetRetryPause(std::chrono::milliseconds(0));
    return chart;
  }
  std::vector<std::string> RequestedPaths() const {
    std::vector<std::string> paths;
    for (const auto& request : server.Requests())
      paths.push_back(request.method + " " + request.path);
    return paths;
  }
  // Tiles of chunk (row, col) at shift 0 show chunk `seed` (the chart ends 8 tiles into its
  // last chunk column).
  void ExpectChunk(CQuickChart3& chart, int row, int col, int seed) {
    QuickChartTileContext context;
    Tile tile;
    for (auto [dc, dr] : {std::pair{0, 0}, std::pair{7, 15}, std::pair{6, 9}}) {
      const int tile_col = col * 16 + dc;
      const int tile_row = row * 16 + dr;
      ASSERT_EQ(0, chart.GetTile(tile_col, tile_row, 0, tile, context));
      EXPECT_EQ(ExpectedTile(seed, tile_col, tile_row, 0, 0), tile) << row << "," << col;
    }
  }

  vd::test::HttpTestServer server;
};

TEST_F(ChunkDownloadTest, ChunkServerIsFoundOnceFromTheChartOrTheRedirect) {
  vd::test::HttpTestServer other;  // a chart's own host that lacks the store
  const std::string store = Grid(3, 2, {}).Bytes();
  std::string wrong_magic = store;
  wrong_magic[0] ^= 1;
  server.Serve("/c/sea.qc3", store);
  server.Serve("/mapchunks/Bay.qc3", store);
  server.Serve("/mapchunks/Bay.qc3.slredir.txt", "  " + Host() + "\r\n");
  server.Serve("/mapchunks/Cove.qc3.slredir.txt", std::string("bad_host.example\r\n"));
  server.Serve("/moved.qc3", store);
  server.Serve("/moved.qc3.slredir.txt", Host() + std::string("\0junk", 5));
  server.Serve("/odd.qc3", wrong_magic);

  struct Case {
    std::string name;
    std::string address;
    std::string host;  // "" when there is no chunk server
    std::string path;
    std::vector<std::string> requests;
  };
  const std::string base = server.BaseUrl();
  const Case cases[] = {
      {"sea.qct", base + "/c/sea.qc3", Host(), "/c/sea.qc3", {"GET /c/sea.qc3"}},
      {"Bay.qct",
       "",
       Host(),
       "/mapchunks/Bay.qc3",
       {"GET /mapchunks/Bay.qc3.slredir.txt", "GET /mapchunks/Bay.qc3"}},
      {"Cove.qct", "", "", "", {"GET /mapchunks/Cove.qc3.slredir.txt"}},
      {"Bay (2).qct", "", "", "", {}},
      {"semi.qct", base + "/c/a;b.qc3", "", "", {}},
      {"user.qct", "http://me@" + Host() + "/c/sea.qc3", "", "", {}},
      {"moved.qct",
       other.BaseUrl() + "/moved.qc3",
       Host(),
       "/moved.qc3",
       {"GET /moved.qc3.slredir.txt", "GET /moved.qc3"}},
      {"odd.qct", base + "/odd.qc3", "", "", {"GET /odd.qc3", "GET /odd.qc3.slredir.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.ClearRequests();
    auto chart = OpenChunked(WriteChunkChart(Named(c.name, c.address)));
    ASSERT_NE(nullptr, chart);
    bool secure = true;
    std::string host = "x";
    std::string path = "x";
    chart->ResolveChunkServer(secure, host, path);
    EXPECT_FALSE(secure);
    EXPECT_EQ(c.host, host);
    EXPECT_EQ(c.path, path);
    EXPECT_EQ(c.requests, RequestedPaths());
    // Found once for the chart: asking again, or downloading without a server, asks no one.
    server.ClearRequests();
    chart->ResolveChunkServer(secure, host, path);
    EXPECT_EQ(c.host, host);
    if (host.empty()) {
      ChunkDownloadCounts counts;
      const PlanePoint polygon[] = {{0, 0}, {3000, 0}, {3000, 2000}};
      EXPECT_FALSE(chart->DownloadPolygon(polygon, counts, nullptr, nullptr));
      EXPECT_EQ(0, chart->GetChunkFileSize());
    }
    EXPECT_TRUE(RequestedPaths().empty());
  }
  vd::os::HttpCloseIdleConnections();  // before `other` stops
}

TEST_F(ChunkDownloadTest, PolygonDownloadFetchesItsChunksAndResumesWithoutRefetching) {
  const std::string bytes = Grid(3, 2, {1, 2, 3, 4, -2, 5}).Bytes();
  auto chart = ServedChart("sea", bytes);
  ASSERT_NE(nullptr, chart);
  EXPECT_EQ(int64_t(bytes.size()), chart->GetChunkFileSize());

  // Touches cells (0, 0), (0, 1), (1, 0) and the blank (1, 1).
  const PlanePoint polygon[] = {{100, 100}, {1900, 100}, {1900, 1900}, {100, 1900}};
  ChunkDownloadCounts counts;
  ASSERT_TRUE(chart->DownloadPolygon(polygon, counts, nullptr, nullptr));
  EXPECT_EQ(4, counts.total);
  EXPECT_EQ(4, counts.claimed);
  EXPECT_EQ(0, counts.failed);
  CQC3TileStore& store = *chart->store();
  EXPECT_TRUE(store.IsChunkComplete(0, 0) && store.IsChunkComplete(0, 1) &&
              store.IsChunkComplete(1, 0));
  EXPECT_EQ(kQc3BlankChunk, store.ReadIndexEntry(1, 1));
  EXPECT_EQ(kQc3AbsentChunk, store.ReadIndexEntry(0, 2));
  ExpectChunk(*chart, 0, 1, 2);
  ExpectChunk(*chart, 1, 0, 4);

  // A second run finds everything there and asks the server for nothing.
  server.ClearRequests();
  ASSERT_TRUE(chart->DownloadPolygon(polygon, counts, nullptr, nullptr));
  EXPECT_EQ(4, counts.claimed);
  EXPECT_TRUE(RequestedPaths().empty());

  // An error page's length is no size of the chunk file.
  vd::test::HttpTestServer::Reply error;
  error.status = 500;
  error.body = "server error";
  server.Set("/c/sea.qc3", error);
  EXPECT_EQ(-1, chart->GetChunkFileSize());
}

TEST_F(ChunkDownloadTest, StoppedDownloadResumesLaterInAnotherSession) {
  const std::string bytes = Grid(3, 2, {1, 2, 3, 4, 5, 6}).Bytes();
  auto chart = ServedChart("sea", bytes);
  ASSERT_NE(nullptr, chart);
  // Stops once the first cell has been handed out, its transfer included.
  ChunkDownloadCounts counts;
  const auto stop_after_first = [](void* user) {
    return static_cast<ChunkDownloadCounts*>(user)->claimed == 0;
  };
  EXPECT_FALSE(chart->DownloadWholeChart(counts, stop_after_first, &counts));
  EXPECT_EQ(6, counts.total);
  EXPECT_EQ(1, counts.claimed);

  // Reopened, the chart takes up where it stopped and every chunk comes out whole.
  chart.reset();
  chart = ServedChart("sea", bytes);
  ASSERT_NE(nullptr, chart);
  ChunkDownloadCounts again;
  ASSERT_TRUE(chart->DownloadWholeChart(again, nullptr, nullptr));
  EXPECT_EQ(6, again.total);
  for (int n = 0; n < 6; ++n) {
    EXPECT_TRUE(chart->store()->IsChunkComplete(n / 3, n % 3)) << n;
    ExpectChunk(*chart, n / 3, n % 3, n + 1);
  }
}

TEST_F(ChunkDownloadTest, DamagedRepliesFailTheirChunkAndLeaveTheOthers) {
  const std::string good = Grid(3, 2, {1, 2}).Bytes();
  const QC3StoreHeader header = Grid(3, 2, {}).Header();
  const uint64_t record = uint64_t(vd::test::Int64At(good, header.IndexAddress(0, 1)));
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string flipped_word = good;
  flipped_word[record + kQc3ChunkHeaderSize + 40] ^= 0x10;
  std::string bad_header = good;
  const uint32_t growing = 0xFFFFF;
  std::memcpy(bad_header.data() + record + 12, &growing, 4);  // N[3] > N[2]
  std::string past_end = good;
  const int64_t beyond = int64_t(good.size()) + 4096;
  std::memcpy(past_end.data() + header.IndexAddress(0, 1), &beyond, 8);
  std::string cut_short = good.substr(0, record + kQc3ChunkHeaderSize + 200);
  const Case cases[] = {{"flipped", flipped_word},
                        {"header", bad_header},
                        {"beyond", past_end},
                        {"short", cut_short}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto chart = ServedChart(c.name, c.bytes);
    ASSERT_NE(nullptr, chart);
    const PlanePoint polygon[] = {{100, 100}, {1900, 100}, {1900, 900}};
    ChunkDownloadCounts counts;
    EXPECT_FALSE(chart->DownloadPolygon(polygon, counts, nullptr, nullptr));
    EXPECT_EQ(2, counts.claimed);
    EXPECT_EQ(1, counts.failed);
    EXPECT_TRUE(chart->store()->IsChunkComplete(0, 0));
    ExpectChunk(*chart, 0, 0, 1);
    EXPECT_FALSE(chart->store()->IsChunkComplete(0, 1));
  }
}

TEST_F(ChunkDownloadTest, WantedCellsFollowThePolygonOrTheRouteCorridor) {
  auto chart = ServedChart("sea", Grid(3, 2, {}).Bytes());
  ASSERT_NE(nullptr, chart);
  // The chart's scale is a second of latitude (1/60 nm) per pixel.
  const double hundred_pixels_m = 100.0 / 60 * 1852;
  struct Case {
    const char* name;
    std::vector<PlanePoint> points;
    double distance_m;  // < 0: a polygon
    int64_t total;      // -1: an empty box, total untouched
  };
  const Case cases[] = {
      {"route point near a corner", {{1000, 1000}}, 0, 1},
      {"route point on the corner", {{1024, 1024}}, 0, 0},
      {"route point with a radius", {{1000, 1000}}, hundred_pixels_m, 4},
      {"route leg along row 1", {{100, 1500}, {3000, 1500}}, 0, 3},
      {"route beside the chart", {{-5000, -5000}}, 0, -1},
      {"polygon inside one cell", {{1100, 100}, {1200, 100}, {1150, 200}}, -1, 1},
      {"polygon over four cells", {{100, 100}, {1900, 100}, {1900, 1900}, {100, 1900}}, -1, 4},
      {"two points", {{100, 100}, {2100, 100}}, -1, 2},
      {"polygon left of the chart", {{-3000, 0}, {-2000, 0}, {-2000, 900}}, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChunkDownloadCounts counts;
    counts.total = -1;
    // Stopped before the first claim: only the count is made.
    const bool done = c.distance_m < 0
                          ? chart->DownloadPolygon(c.points, counts, Never, nullptr)
                          : chart->DownloadRoute(c.points, c.distance_m, counts, Never, nullptr);
    EXPECT_FALSE(done);
    EXPECT_EQ(c.total, counts.total);
    EXPECT_EQ(0, counts.claimed);
  }
}

TEST_F(ChunkDownloadTest, WholeChartDownloadSkipsOnlineCharts) {
  const std::string bytes = Grid(3, 2, {1, 1, 1, 1, 1, 1}).Bytes();
  auto online = ServedChart("online", bytes, kQctFlagOnline);
  ASSERT_NE(nullptr, online);
  ChunkDownloadCounts counts;
  counts.total = 77;
  server.ClearRequests();
  EXPECT_FALSE(online->DownloadWholeChart(counts, nullptr, nullptr));
  EXPECT_EQ(77, counts.total);
  EXPECT_EQ(0, counts.claimed);
  EXPECT_TRUE(RequestedPaths().empty());
}

// How a view fetches what a tile lacks: the gap callback fetches the chunk's level and releases
// the chunk, and the next read shows it.
struct FetchOnGap {
  CQuickChart3* chart;
  CHttpConnection* connection;
  int fetched = 0;
};
void FetchMissingLevel(void* user, CQC3TileStore& store, int row, int col, int /*decoded*/,
                       int requested) {
  auto& fetch = *static_cast<FetchOnGap*>(user);
  if (store.DownloadLevel(*fetch.connection, row, col, requested)) ++fetch.fetched;
  fetch.chart->ReleaseChunk(CQuickChart::ChunkKey(row, col));
}

TEST_F(ChunkDownloadTest, TilesFetchWhatTheyLackThroughTheGapCallback) {
  auto chart = ServedChart("sea", Grid(3, 2, {1, 2, 3}).Bytes());
  ASSERT_NE(nullptr, chart);
  bool secure = false;
  std::string host;
  std::string path;
  chart->ResolveChunkServer(secure, host, path);
  ASSERT_EQ(Host(), host);
  CHttpConnection connection(host, secure);
  FetchOnGap fetch{chart.get(), &connection};
  QuickChartTileContext context;
  context.callback = FetchMissingLevel;
  context.user = &fetch;
  Tile tile;
  ASSERT_EQ(0, chart->GetTile(20, 3, 3, tile, context));  // chunk (0, 1): nothing stored yet
  EXPECT_EQ(1, fetch.fetched);
  EXPECT_EQ(kQc3NoLevel - 3, context.largest_gap);
  ASSERT_EQ(0, chart->GetTile(20, 3, 3, tile, context));
  EXPECT_TRUE(std::equal(tile.begin(), tile.begin() + (kTilePixels >> 3),
                         ExpectedTile(2, 20, 3, 3, 3).begin()));
  EXPECT_EQ(1, fetch.fetched);                          // nothing lacking any more
  EXPECT_FALSE(chart->store()->IsChunkComplete(0, 1));  // only what the level needs came
}

}  // namespace
