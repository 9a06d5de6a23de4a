// A chunk-store chart drawn through the newer chart view, its missing chunks fetched from a
// loopback server by the view's download threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "charts/qc3_tile_store.h"
#include "charts/quick_chart3.h"
#include "charts/tests/quick_chart3_fixture.h"
#include "core/http_connection.h"
#include "platform/os/http_transport.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/http_test_server.h"
#include "viewer_lib/quick_chart_view.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr vd::ui::Argb kBackground = 0xFF123456;

vd::ui::Argb Colour(uint8_t i) {
  return 0xFF000000u | uint32_t(255 - i) << 16 | uint32_t((2 * i) & 255) << 8 | i;
}

// The chart: 40 x 32 tiles, 3 x 2 chunks, chunk (row, col) coded from seed 3 row + col + 1.
class ChartViewDownloadTest : public vd::test::QuickChart3Test {
 protected:
  void SetUp() override {
    QuickChart3Test::SetUp();
    store_ = Grid(3, 2, {1, 2, 3, 4, 5, 6});
    view_.OnSize(0, 0, kWidth, kHeight);
  }
  void TearDown() override {
    view_.StopWorkers();
    CQuickChartView::Settings().automatic_download = true;
    vd::os::HttpCloseIdleConnections();
    QuickChart3Test::TearDown();
  }
  // Opens the chart whose store lies on this server at `path`.
  void Open(const std::string& path = "/c/sea.qc3", const std::string& name = "sea.qct",
            int tiles_across = 40, int tiles_down = 32) {
    vd::test::ChunkChartOptions options = Named(name, server_.BaseUrl() + path);
    options.width = tiles_across;
    options.height = tiles_down;
    const std::string chart = WriteChunkChart(options);
    view_.OpenChartByPath(nullptr, chart, false);
    ASSERT_EQ(view_.ChartFileName(), chart);
    auto* chunked = dynamic_cast<CQuickChart3*>(view_.chart());
    ASSERT_NE(chunked, nullptr);
    chunked->store()->SetRetryPause(std::chrono::milliseconds(0));
  }
  vd::ui::Image Draw() {
    vd::ui::Image image(kWidth, kHeight, kBackground);
    vd::ui::Surface dc(image);
    view_.OnDraw(dc, 0, 0, kWidth, kHeight);
    return image;
  }
  // Paints until nothing is decoded or fetched any more.
  vd::ui::Image DrawSettled() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (true) {
      vd::ui::Image image = Draw();
      if (view_.PendingTiles() == 0 && view_.PendingChunks() == 0 && !view_.IsBusy()) {
        return image;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the view never settled";
        return image;
      }
      std::this_thread::yield();
    }
  }
  // Where each stored chunk's record starts in the served store.
  std::map<int64_t, std::pair<int, int>> RecordStarts(const std::string& bytes) const {
    std::map<int64_t, std::pair<int, int>> starts;
    const QC3StoreHeader header = store_.Header();
    for (const auto& [place, entry] : store_.chunks) {
      starts[vd::test::Int64At(bytes, header.IndexAddress(place.first, place.second))] = place;
    }
    return starts;
  }
  // How often each record start was asked for.
  std::map<int64_t, int> RecordRequests(const std::string& bytes) const {
    const auto starts = RecordStarts(bytes);
    std::map<int64_t, int> asked;
    for (const auto& request : server_.Requests()) {
      const std::string range = request.Header("Range");
      if (range.rfind("bytes=", 0) != 0) continue;
      const int64_t start = std::stoll(range.substr(6));
      if (starts.count(start)) ++asked[start];
    }
    return asked;
  }

  vd::test::Qc3StoreFixture store_;
  vd::test::HttpTestServer server_;
  CQuickChartView view_;
};

TEST_F(ChartViewDownloadTest, MissingChunksAreFetchedOnceEachAndTheTilesSharpen) {
  const std::string bytes = store_.Bytes();
  server_.Serve("/c/sea.qc3", bytes);
  Open();
  EXPECT_EQ(view_.level(), 2) << "the whole chart width in view";
  const vd::ui::Image image = DrawSettled();

  // Every tile of the level is ready and complete, and shows the served chunks.
  for (const auto& tile : view_.tiles()) {
    if (tile->level != view_.level()) continue;
    EXPECT_EQ(tile->state, CCachedQuickChart::Tile::kReady);
    EXPECT_EQ(tile->deficit, 0);
  }
  EXPECT_FALSE(view_.incomplete());
  const int ox = int(std::floor(view_.offset_x())) >> 2, oy = int(std::floor(view_.offset_y())) >> 2;
  // At level 2 a screen pixel blends chart pixels (x, y), (x + 2, y + 2), (x, y + 2) and
  // (x + 2, y) through the chart's blend table (the fixture's: the smaller index).
  const auto p = [](int x, int y) {
    const int seed = 3 * (y / 1024) + x / 1024 + 1;
    return vd::test::Qc3Pixel(seed, x % 1024, y % 1024);
  };
  const auto t = [](uint8_t a, uint8_t b) { return vd::test::ChartFixture::TestBlendTable()[a * 128 + b]; };
  for (const auto& [sx, sy] : {std::pair{3, 5}, {300, 200}, {500, 90}, {630, 470}, {120, 400}}) {
    const int x = (ox + sx) << 2, y = (oy + sy) << 2;  // the corner of the screen pixel
    if (x < 0 || y < 0 || x + 2 >= 40 * 64 || y + 2 >= 32 * 64) continue;
    const uint8_t want = t(t(p(x, y), p(x + 2, y + 2)), t(p(x, y + 2), p(x + 2, y)));
    EXPECT_EQ(image.Pixel(sx, sy), Colour(want)) << sx << "," << sy;
  }
  // Each chunk was fetched from its start once; later levels only add the words missing.
  const auto asked = RecordRequests(bytes);
  ASSERT_EQ(asked.size(), 6u);
  for (const auto& [start, times] : asked) EXPECT_EQ(times, 1) << "record at " << start;
  EXPECT_EQ(view_.ChunkFailures(), 0);
}

TEST_F(ChartViewDownloadTest, WithAutomaticDownloadOffNothingIsFetched) {
  server_.Serve("/c/sea.qc3", store_.Bytes());
  CQuickChartView::Settings().automatic_download = false;
  Open();
  const vd::ui::Image image = DrawSettled();
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_TRUE(view_.incomplete());
  bool lacking = false;
  for (const auto& tile : view_.tiles()) lacking = lacking || tile->deficit > 0;
  EXPECT_TRUE(lacking);
  EXPECT_NE(image.Pixel(kWidth / 2, kHeight / 2), kBackground) << "the empty pattern is shown";
}

// Three failed fetches stop the downloads; the view goes on showing what it has.
TEST_F(ChartViewDownloadTest, ThreeFailedFetchesStopTheDownloads) {
  // 10 x 8 chunks, about twenty of them in view at the largest level.
  store_ = Grid(10, 8, std::vector<int>(80, 1));
  std::string bytes = store_.Bytes();
  // Every chunk's words damaged: each fetch fails its check.
  for (const auto& [start, place] : RecordStarts(bytes)) {
    for (size_t i = 0; i < 64; ++i) bytes[size_t(start) + sizeof(QC3ChunkHeader) + 8 + i] ^= 0x5A;
  }
  server_.Serve("/c/sea.qc3", bytes);
  Open("/c/sea.qc3", "sea.qct", 160, 128);
  view_.ZoomStep(1);
  ASSERT_EQ(view_.level(), 3);
  DrawSettled();
  // Four threads: the third failure may find three more fetches under way.
  EXPECT_GE(view_.ChunkFailures(), 3);
  EXPECT_LE(view_.ChunkFailures(), 6);
  EXPECT_GE(RecordRequests(bytes).size(), 3u);
  EXPECT_LE(RecordRequests(bytes).size(), 6u) << "no chunk is begun after the third failure";
  const size_t requests = server_.Requests().size();
  view_.Pan(-300, 0);
  DrawSettled();
  EXPECT_EQ(server_.Requests().size(), requests);
}

// Servers that answer garbage, nothing or not at all: nothing is fetched and the view keeps
// drawing.
TEST_F(ChartViewDownloadTest, UnusableServersLeaveTheViewWorking) {
  struct Case {
    const char* name;
    vd::test::HttpTestServer::Reply reply;
  };
  vd::test::HttpTestServer::Reply garbage;
  garbage.body = std::string(5000, '\x42');
  vd::test::HttpTestServer::Reply missing;
  missing.status = 404;
  vd::test::HttpTestServer::Reply cut;
  cut.body = store_.Bytes();
  cut.cut_after = 0;
  cut.ranges = false;
  for (const Case& c : {Case{"garbage", garbage}, Case{"404", missing}, Case{"cut", cut}}) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string("/c/") + c.name + ".qc3";
    server_.Set(path, c.reply);
    Open(path, std::string(c.name) + ".qct");
    const vd::ui::Image image = DrawSettled();
    EXPECT_EQ(view_.PendingChunks(), 0);
    EXPECT_NE(image.Pixel(kWidth / 2, kHeight / 2), kBackground);
    view_.ZoomStep(-1);
    DrawSettled();
  }
}

// Drawing elsewhere drops the requests of the chunks no longer in view. The server holds its
// answers, so that nothing is fetched meanwhile; stopping cuts the waiting transfer short.
TEST_F(ChartViewDownloadTest, DrawingElsewhereRetargetsAndStoppingCutsTheTransferShort) {
  vd::test::HttpTestServer::Reply held;
  held.body = store_.Bytes();
  held.delay = std::chrono::minutes(10);
  server_.Set("/c/sea.qc3", held);
  Open();
  // Magnified: one chunk in view at the chart's top left.
  while (view_.level() > -2) view_.ZoomStep(-1);
  view_.Pan(view_.offset_x() * 4, view_.offset_y() * 4);
  ASSERT_NEAR(view_.offset_x(), 0, 1);
  Draw();
  while (view_.PendingTiles() != 0) Draw();
  ASSERT_TRUE(server_.WaitForRequests(1)) << "the download threads look for their server";
  EXPECT_EQ(view_.PendingChunks(), 1) << "chunk (0, 0)";

  // Across two chunks of the bottom row: the first chunk's request goes.
  view_.Pan(-(2048 - 80) * 4, -(2048 - 200) * 4);
  Draw();
  while (view_.PendingTiles() != 0) Draw();
  Draw();
  EXPECT_EQ(view_.PendingChunks(), 2) << "chunks (1, 1) and (1, 2) only";
  view_.StopWorkers();  // returns although the server never answers
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(ChartViewDownloadTest, StoppingCutsAChunkTransferShort) {
  const std::string bytes = store_.Bytes();
  server_.Serve("/c/sea.qc3", bytes);
  Open();
  // The chunk server is found while the server still answers.
  bool secure;
  std::string host;
  dynamic_cast<CQuickChart3*>(view_.chart())->GetChunkServer(secure, host);
  ASSERT_FALSE(host.empty());
  vd::test::HttpTestServer::Reply held;
  held.body = bytes;
  held.delay = std::chrono::minutes(10);
  server_.Set("/c/sea.qc3", held);
  const size_t before = server_.Requests().size();
  Draw();
  ASSERT_TRUE(server_.WaitForRequests(before + 1));
  view_.StopWorkers();  // returns although the server never answers
  // At most one waiting request for each download thread.
  EXPECT_LE(server_.Requests().size(), before + 4);
}

}  // namespace
