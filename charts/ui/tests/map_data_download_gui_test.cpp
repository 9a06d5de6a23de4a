// Map-data downloads under the progress dialog, against a loopback chunk server: what arrives
// stays, Cancel stops at once, failures say why and leave the files as they were, and the
// user-interface thread keeps working meanwhile.
#include "charts/ui/map_data_download.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "charts/qc3_tile_store.h"
#include "charts/tests/quick_chart3_fixture.h"
#include "charts/ui/package_download.h"
#include "core/download_progress.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"
#include "platform/ui/responder.h"
#include "tests/http_test_server.h"

namespace {

using vd::test::HttpTestServer;

struct BoxRecorder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    boxes.push_back(request);
    return vd::ui::kIdOk;
  }
  std::vector<vd::ui::MessageBoxRequest> boxes;
};

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

// Chunks (0, 0) and (0, 1) of the 3 x 2 chunk chart, in chart pixels.
const std::vector<PlanePoint> kTopLeftCells = {{100, 100}, {1900, 100}, {1900, 900}};
// Chunks (1, 0) and (1, 1).
const std::vector<PlanePoint> kBottomLeftCells = {{100, 1100}, {1900, 1100}, {1900, 1900}};

class MapDataDownloadTest : public vd::test::QuickChart3Test {
 protected:
  void SetUp() override {
    QuickChart3Test::SetUp();
    // The maker's default server is this one, so nothing leaves the machine.
    PersistentString maker;
    maker.Init(CQuickChart3::kChunkServerSetting);
    maker.value = server.BaseUrl();
    server.Serve("/c/sea.qc3", store_bytes);
    chart = WriteChunkChart(Named("sea.qct", server.BaseUrl() + "/c/sea.qc3"));
    MapDataChartHooks hooks;
    hooks.stop_chart = [this](const std::string& path) { hook_calls.push_back("stop " + path); };
    hooks.reload_chart = [this](const std::string& path) {
      hook_calls.push_back("reload " + path);
    };
    SetMapDataChartHooks(std::move(hooks));
  }
  void TearDown() override {
    SetMapDataChartHooks({});
    vd::os::SetHttpSettings(saved_http);
    vd::os::HttpCloseIdleConnections();
    QuickChart3Test::TearDown();
  }

  std::string Store() const { return dir.File("sea.qc3"); }

  // The chart file and its store, as they are on disk.
  std::map<std::string, std::string> Files() const {
    return {{chart, ReadBytes(chart)}, {Store(), ReadBytes(Store())}};
  }

  void ExpectStored(int row, int col, int seed) {
    auto reader = OpenChunked(chart);
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(reader->OpenChunkStore());
    EXPECT_TRUE(reader->store()->IsChunkComplete(row, col)) << row << "," << col;
    QuickChartTileContext context;
    std::array<uint8_t, kTilePixels> tile;
    ASSERT_EQ(0, reader->GetTile(col * 16 + 3, row * 16 + 5, 0, tile, context));
    EXPECT_EQ(ExpectedTile(seed, col * 16 + 3, row * 16 + 5, 0, 0), tile);
  }

  BoxRecorder boxes;
  vd::ui::ScopedResponder responder{&boxes};
  QWidget owner;  // the window whose downloads show their errors
  HttpTestServer server;
  const std::string store_bytes = Grid(3, 2, {1, 2, 3, 4, 5, 6}).Bytes();
  std::string chart;
  std::vector<std::string> hook_calls;
  const vd::os::HttpSettings saved_http = vd::os::GetHttpSettings();
};

TEST_F(MapDataDownloadTest, PolygonArrivesUnderTheDialogAndTheViewsReopenTheChart) {
  EXPECT_EQ(kMapDataComplete, DownloadMapDataPixels(nullptr, chart, kTopLeftCells, true, 0));
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(hook_calls, (std::vector<std::string>{"stop " + chart, "reload " + chart}));
  ExpectStored(0, 0, 1);
  ExpectStored(0, 1, 2);
  // The record is idle for the next download.
  CDownloadProgress& progress = PackageDownloadProgress();
  EXPECT_EQ(progress.total.load(), 0);
  EXPECT_FALSE(progress.finished());

  // Given as longitude and latitude, the same area is there already: nothing is fetched.
  std::unique_ptr<CQuickChart3> reader = OpenChunked(chart);
  std::vector<std::pair<double, double>> lon_lat;
  for (const PlanePoint& p : kTopLeftCells) {
    const GeoPoint at = reader->PixelToLatLon(p.x, p.y);
    lon_lat.emplace_back(at.lon, at.lat);
  }
  reader.reset();
  server.ClearRequests();
  EXPECT_EQ(kMapDataComplete, DownloadMapData(nullptr, chart, lon_lat, true, 0));
  for (const auto& request : server.Requests()) EXPECT_EQ(request.Header("Range"), "bytes=0-3");
}

TEST_F(MapDataDownloadTest, CancelStopsAWaitingDownloadAndKeepsWhatCameBefore) {
  ASSERT_EQ(kMapDataComplete, DownloadMapDataPixels(nullptr, chart, kTopLeftCells, true, 0));
  const auto before = Files();

  HttpTestServer::Reply slow;
  slow.body = store_bytes;
  slow.delay = std::chrono::seconds(30);
  server.Set("/c/sea.qc3", slow);
  server.ClearRequests();
  // Work the user-interface thread does while the download runs: each tick is a posted event.
  // Once the server has been asked, the user presses Cancel in the progress dialog.
  int ticks = 0;
  std::string shown;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    ++ticks;
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || server.Requests().empty()) return;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text().startsWith("Downloading")) shown = label->text().toStdString();
    }
    if (!shown.empty()) dialog->reject();
  });
  user.start(5);
  EXPECT_EQ(kMapDataCancelled, DownloadMapDataForChart(nullptr, chart));
  user.stop();
  EXPECT_GT(ticks, 0);
  EXPECT_EQ(shown.rfind(kMapDataDownloadMessage, 0), 0u) << shown;
  EXPECT_TRUE(boxes.boxes.empty()) << "a cancel is no error";
  EXPECT_EQ(before, Files());
  ExpectStored(0, 0, 1);
  ExpectStored(0, 1, 2);
}

TEST_F(MapDataDownloadTest, FailuresSayWhyAndLeaveEveryFileAsItWas) {
  ASSERT_EQ(kMapDataComplete, DownloadMapDataPixels(nullptr, chart, kTopLeftCells, true, 0));
  // A server that says nothing gives up within a second.
  vd::os::HttpSettings quick = saved_http;
  quick.stall_timeout_s = 1;
  vd::os::SetHttpSettings(quick);

  HttpTestServer::Reply error;
  error.status = 500;
  error.body = "server error";
  HttpTestServer::Reply cut;
  cut.body = store_bytes;
  cut.cut_after = 100;  // past the probe's 4 bytes, short of any chunk
  HttpTestServer::Reply silent;
  silent.body = store_bytes;
  silent.delay = std::chrono::seconds(30);
  struct Case {
    const char* what;
    HttpTestServer::Reply reply;
    std::string redirect;  // what the maker's redirect file names for the store
  };
  const Case cases[] = {
      {"server error", error, ""},
      {"short reply", cut, ""},
      {"silent server", silent, ""},
      {"redirect up the tree", error, "../../etc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto before = Files();
    boxes.boxes.clear();
    server.Set("/c/sea.qc3", c.reply);
    if (!c.redirect.empty()) server.Serve("/c/sea.qc3.slredir.txt", c.redirect + "\r\n");
    EXPECT_EQ(kMapDataIncomplete,
              DownloadMapDataPixels(&owner, chart, kBottomLeftCells, true, 0));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "Error");
    EXPECT_NE(boxes.boxes[0].text.find("map"), std::string::npos) << boxes.boxes[0].text;
    EXPECT_TRUE(before == Files()) << "a file changed";
    vd::os::HttpCloseIdleConnections();
  }
  ExpectStored(0, 0, 1);
}

TEST_F(MapDataDownloadTest, RefusedForUnusableChartsOrWhileAnotherDownloadRuns) {
  // A store that can't be used: something else has its name. The chart does not open, and
  // the file is left alone.
  const std::string blocked = WriteChunkChart(Named("blocked.qct"));
  const std::string junk(4096, 'x');
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("blocked.qc3"), junk));
  EXPECT_EQ(kMapDataNotStarted, DownloadMapDataForChart(&owner, blocked));
  EXPECT_EQ(ReadBytes(dir.File("blocked.qc3")), junk);
  EXPECT_EQ(hook_calls, (std::vector<std::string>{"stop " + blocked, "reload " + blocked}));

  // A chart whose chunks come only as they are viewed is not downloaded whole.
  vd::test::ChunkChartOptions online = Named("online.qct", server.BaseUrl() + "/c/sea.qc3");
  online.flags = kQctFlagOnline;
  server.ClearRequests();
  EXPECT_EQ(kMapDataNotStarted, DownloadMapDataForChart(nullptr, WriteChunkChart(online)));
  EXPECT_EQ(kMapDataNotStarted, DownloadMapDataForChart(nullptr, dir.File("missing.qct")));
  EXPECT_TRUE(server.Requests().empty());

  // The shared record is busy with another download.
  CDownloadProgress& progress = PackageDownloadProgress();
  progress.total = 1000;
  hook_calls.clear();
  EXPECT_EQ(kMapDataNotStarted, DownloadMapDataPixels(nullptr, chart, kTopLeftCells, true, 0));
  EXPECT_TRUE(hook_calls.empty());
  progress.Reset();
}

}  // namespace
