// Downloading map data in the running program: the chart view's download commands, and the
// maps found in the map shop for a route, fetch the chunks of a downloadable chart under the
// progress dialog and the view shows them afterwards. Every server the program knows of is a
// loopback one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "charts/qc3_tile_store.h"
#include "charts/quick_chart.h"
#include "charts/quick_chart3.h"
#include "charts/map_store_query.h"
#include "charts/old_quick_chart.h"
#include "charts/tests/qc3_store_fixture.h"
#include "charts/ui/map_data_download.h"
#include "core/persistent_value.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/notify_callback.h"
#include "overlays/model/overlay_route.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "platform/ui/popup_menu.h"
#include "tests/chart_fixture.h"
#include "tests/http_test_server.h"
#include "tests/message_box_watcher.h"

namespace {

using vd::test::CorvexHome;
using vd::test::OnceUpWhere;
using vd::test::ProcessEventsUntil;
using vd::test::Program;
using vd::test::ScriptedAnswers;

constexpr int kCmdDownloadWindow = 33658;

std::string FileBytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

CChartViewWidget* ChartViewShowing(Program& program) {
  // The widget class has no meta-object of its own: findChildren would match any window.
  for (QWidget* child : program.frame().findChildren<QWidget*>()) {
    auto* widget = dynamic_cast<CChartViewWidget*>(child);
    if (widget && widget->view() && widget->view()->chart()) return widget;
  }
  return nullptr;
}

// The modal progress dialog when it is the one showing a message that starts with `message`
// (the map-data download's, or the chart's "Opening ..." one); null for any other or none.
QDialog* ProgressDialogUp(const std::string& message) {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (!dialog) return nullptr;
  for (QLabel* label : dialog->findChildren<QLabel*>())
    if (label->text().toStdString().rfind(message, 0) == 0) return dialog;
  return nullptr;
}

// Every chunk reply waits this long, so that no download ends before its progress dialog shows
// and the test can see the user-interface thread handle events meanwhile.
constexpr std::chrono::milliseconds kChunkReplyDelay{100};

QDialog* DownloadDialogUp() { return ProgressDialogUp(kMapDataDownloadMessage); }

class MapDataInTheProgram : public testing::Test {
 protected:
  void SetUp() override {
    // The program's servers are this one; the view fetches nothing of itself.
    vd::os::ProfileStore profile = vd::OpenAppProfile();
    profile.SetString(vd::kSettingsSection, CQuickChart3::kChunkServerSetting, server.BaseUrl());
    profile.SetString(vd::kSettingsSection, "qcc_default_server", server.BaseUrl());
    profile.SetInt(vd::kSettingsSection, "qcc_auto_download", 0);
    profile.SetString(vd::kSettingsSection, "offline_redirect_server",
                      "127.0.0.1:" + std::to_string(server.port()));

    vd::test::Qc3StoreFixture store;
    store.across = 3;
    store.down = 2;
    for (int n = 0; n < 6; ++n) store.chunks[{n / 3, n % 3}] = {0, n + 1, 0};
    vd::test::HttpTestServer::Reply chunks;
    chunks.body = store.Bytes();
    chunks.delay = kChunkReplyDelay;
    server.Set("/c/Sea.qc3", chunks);
    vd::test::ChartFixture fixture;
    fixture.version = 0x20000001;
    fixture.width = 40;
    fixture.height = 32;
    fixture.reference = true;  // the pixels live in the store
    fixture.extension = true;
    fixture.online_address = server.BaseUrl() + "/c/Sea.qc3";
    ASSERT_TRUE(vd::os::MakeFolders(home.File("charts")));
    chart = home.File("charts/Sea.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(chart, fixture));
  }
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  int StoredChunks() {
    int stored = 0;
    for (int n = 0; n < 6; ++n) stored += ChunkStored(n / 3, n % 3);
    return stored;
  }
  bool ChunkStored(int row, int col) {
    std::unique_ptr<CQuickChart> reader = OpenChart(chart);
    auto* chunked = dynamic_cast<CQuickChart3*>(reader.get());
    return chunked && chunked->OpenChunkStore() && chunked->store()->IsChunkComplete(row, col);
  }

  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder{&answers};
  vd::test::HttpTestServer server;
  std::string chart;
};

TEST_F(MapDataInTheProgram, DownloadWindowFetchesTheChunksInViewAndTheChartShowsThem) {
  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  CChartViewWidget* widget = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = ChartViewShowing(program)) != nullptr; }));
  widget->resize(400, 300);
  vd::test::DrainEvents();
  COstrelView* view = widget->view();
  CCmdUI ui;
  ASSERT_TRUE(view->OnUpdateCommand(kCmdDownloadWindow, ui));
  EXPECT_TRUE(ui.enabled);
  const QImage before = widget->grab().toImage();

  // The user-interface thread keeps handling events while the chunks come.
  int ticks = 0;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] { ticks += DownloadDialogUp() != nullptr; });
  user.start(1);
  EXPECT_TRUE(view->OnCommand(kCmdDownloadWindow));
  user.stop();
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
  EXPECT_GT(StoredChunks(), 0);
  EXPECT_GT(ticks, 0);

  // The chart was opened again, at the same place, and shows the new pixels (the new chart
  // object may take the old one's address, so only what it shows tells).
  ASSERT_EQ(widget->view(), view);
  ASSERT_NE(view->chart(), nullptr);
  EXPECT_EQ(view->GetChartPath(), chart);
  ASSERT_TRUE(ProcessEventsUntil([&] { return view->QueuedTileCount() == 0; }));
  widget->grab();  // paints, handing the tiles to the helper threads
  ASSERT_TRUE(ProcessEventsUntil([&] { return view->QueuedTileCount() == 0; }));
  EXPECT_NE(widget->grab().toImage(), before);
}

TEST_F(MapDataInTheProgram, CancelInTheProgressDialogKeepsTheChartOpen) {
  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  CChartViewWidget* widget = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = ChartViewShowing(program)) != nullptr; }));
  COstrelView* view = widget->view();
  // The server stops answering.
  vd::test::HttpTestServer::Reply slow;
  slow.delay = std::chrono::seconds(30);
  server.Set("/c/Sea.qc3", slow);
  server.ClearRequests();

  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    QDialog* dialog = DownloadDialogUp();
    if (dialog && !server.Requests().empty()) dialog->reject();
  });
  user.start(5);
  EXPECT_TRUE(view->OnCommand(kCmdDownloadWindow));
  user.stop();
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
  EXPECT_EQ(StoredChunks(), 0);
  EXPECT_EQ(view->GetChartPath(), chart);
  EXPECT_NE(view->chart(), nullptr);
}

// The map store lists the chart of the test's chunk server under its store folder.
class MapShopInTheProgram : public MapDataInTheProgram {
 protected:
  void SetUp() override {
    MapDataInTheProgram::SetUp();
    vd::os::ProfileStore profile = vd::OpenAppProfile();
    profile.SetString(vd::kSettingsSection, CMapStoreQuery::kServerSetting, server.BaseUrl());
    profile.SetString(vd::kSettingsSection, "kvx_folder", home.File("charts"));
    // An area reply: two header words, one item (name, rank, category, address, flag) and no
    // more items; strings are a length and their bytes.
    std::string reply;
    const auto word = [&](int32_t v) { reply.append(reinterpret_cast<const char*>(&v), 4); };
    const auto text = [&](const std::string& t) {
      word(static_cast<int32_t>(t.size()));
      reply += t;
    };
    word(0);
    word(0);
    word(1);
    text("Sea");
    const float rank = 1;
    reply.append(reinterpret_cast<const char*>(&rank), 4);
    text("Topo");
    text(server.BaseUrl() + "/KVX/Sea.qct");
    word(1);
    word(0);
    server.Serve(std::string("/") + CMapStoreQuery::kCgiPath, reply);
  }

  // A selected route through chart pixels of the view's chart.
  static void MakeRoute(COstrelDoc& document, COstrelView& view,
                        const std::vector<vd::ui::Point>& pixels) {
    CObjRoute* route = document.NewRoute();
    CCurrentOwnerScope owner(&document);
    for (const vd::ui::Point& p : pixels) {
      double lat = 0, lon = 0;
      view.chart()->PixelToLatLon(p.x, p.y, lat, lon);
      route->OnLButtonDown(CLatLon(lat, lon), nullptr);
      route->OnLButtonUp(CLatLon(lat, lon));
    }
    route->EndEditing();
    route->Select(true);
  }

  // "Find maps for the route" with the shop's chart chosen there. The shop is told by its list
  // of maps: a progress dialog of the chart's opening may still be up when the command starts.
  void FindMapsForRoute(COstrelView& view) {
    OnceUpWhere([](vd::ui::DialogWindow& d) { return d.findChild<QTreeWidget*>() != nullptr; },
                [](vd::ui::DialogWindow& shop) {
      auto* tree = shop.findChild<QTreeWidget*>();
      ASSERT_NE(tree, nullptr);
      const auto found = tree->findItems("Sea", Qt::MatchExactly | Qt::MatchRecursive);
      ASSERT_EQ(found.size(), 1);
      tree->setCurrentItem(found[0]);
    });
    CCmdUI ui;
    ASSERT_TRUE(view.OnUpdateCommand(COstrelView::kCmdMapsForRoute, ui));
    ASSERT_TRUE(ui.enabled);
    EXPECT_TRUE(view.OnCommand(COstrelView::kCmdMapsForRoute));
  }
};

// A route's maps from the shop bring the chunks inside the route while the window keeps
// working; Cancel in a later download keeps what came before, and the chart stays open.
TEST_F(MapShopInTheProgram, FindMapsForRouteDownloadsTheChunksInsideTheRoute) {
  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  CChartViewWidget* widget = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = ChartViewShowing(program)) != nullptr; }));
  widget->resize(400, 300);
  vd::test::DrainEvents();
  COstrelView* view = widget->view();

  // Chunk (0, 0) only.
  MakeRoute(*program.document(), *view, {{100, 100}, {900, 100}, {900, 900}, {100, 900}});
  int ticks = 0;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] { ticks += DownloadDialogUp() != nullptr; });
  user.start(1);
  FindMapsForRoute(*view);
  user.stop();
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
  EXPECT_GT(ticks, 0);
  EXPECT_TRUE(ChunkStored(0, 0));
  EXPECT_EQ(StoredChunks(), 1);
  ASSERT_EQ(widget->view(), view);
  EXPECT_EQ(view->GetChartPath(), chart);
  EXPECT_NE(view->chart(), nullptr);

  // Chunk (1, 2) from a server that has stopped answering: the user cancels in the dialog.
  const std::string store = FileBytes(home.File("charts/Sea.qc3"));
  vd::test::HttpTestServer::Reply slow;
  slow.delay = std::chrono::seconds(30);
  server.Set("/c/Sea.qc3", slow);
  server.ClearRequests();
  MakeRoute(*program.document(), *view, {{2200, 1200}, {2500, 1200}, {2500, 2000}});
  std::string shown;
  QObject::disconnect(&user, nullptr, nullptr, nullptr);
  QObject::connect(&user, &QTimer::timeout, [&] {
    QDialog* dialog = DownloadDialogUp();
    if (!dialog || server.Requests().empty()) return;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text().startsWith("Downloading")) shown = label->text().toStdString();
    }
    dialog->reject();
  });
  user.start(5);
  FindMapsForRoute(*view);
  user.stop();
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
  EXPECT_EQ(shown, kMapDataDownloadMessage);
  EXPECT_EQ(FileBytes(home.File("charts/Sea.qc3")), store);
  EXPECT_TRUE(ChunkStored(0, 0));
  EXPECT_EQ(view->GetChartPath(), chart);
  EXPECT_NE(view->chart(), nullptr);
}

// The route's maps from the shop when the chunk server fails: the box over the main window
// says why, and the chart and its store stay as they were, with no working file beside them.
TEST_F(MapShopInTheProgram, FailedDownloadForRouteSaysWhyOverTheMainWindow) {
  vd::ui::ScopedResponder toolkit_boxes{nullptr};  // the boxes the user sees
  vd::test::MessageBoxWatcher boxes;
  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  CChartViewWidget* widget = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = ChartViewShowing(program)) != nullptr; }));
  COstrelView* view = widget->view();
  MakeRoute(*program.document(), *view, {{100, 100}, {900, 100}, {900, 900}, {100, 900}});
  const std::string chart_bytes = FileBytes(chart);
  vd::test::HttpTestServer::Reply failing;
  failing.status = 500;
  server.Set("/c/Sea.qc3", failing);

  FindMapsForRoute(*view);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].caption, "Error");
  EXPECT_EQ(boxes.seen[0].owner, &program.frame());
  EXPECT_NE(boxes.seen[0].text.find("map data"), std::string::npos)
      << boxes.seen[0].text;
  EXPECT_EQ(StoredChunks(), 0);
  EXPECT_TRUE(FileBytes(chart) == chart_bytes);
  for (const char* left : {"charts/Sea.qct.TMP", "charts/Sea.qc3.TMP"}) {
    EXPECT_FALSE(vd::os::FileExists(home.File(left))) << left;
  }
  EXPECT_EQ(view->GetChartPath(), chart);
}

// Answers the program's questions as ScriptedAnswers does and chooses the rows of the action
// sheets it opens, in order, keeping every row each sheet offered.
struct SheetChoices : ScriptedAnswers {
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    std::vector<std::string> rows;
    for (const auto& item : menu.items()) rows.push_back(item.text);
    sheets.push_back(rows);
    if (choices.empty()) return 0;
    const std::string choice = choices.front();
    choices.pop_front();
    for (const auto& item : menu.items())
      if (item.text == choice && item.id > 0) return item.id;
    ADD_FAILURE() << "no row " << choice;
    return 0;
  }
  bool Offered(const std::string& row) const {
    for (const auto& rows : sheets)
      for (const std::string& text : rows)
        if (text == row) return true;
    return false;
  }
  std::deque<std::string> choices;
  std::vector<std::vector<std::string>> sheets;
};

// The route sheet of the overlay model offers its two download rows while the active chart
// view shows a downloadable chart; "Download enclosed map" then brings the chunks inside the
// route under the progress dialog and the view shows the chart again.
TEST_F(MapDataInTheProgram, RouteSheetDownloadsTheChunksInsideTheRoute) {
  SheetChoices sheets;
  vd::ui::ScopedResponder sheet_responder{&sheets};
  Program program({"--no-splash"});
  ASSERT_TRUE(program.started());
  CMarkManager* marks = CMarkManager::Instance();
  ASSERT_NE(marks, nullptr);
  CMarkManager::Settings().route_create_hint = false;
  COverlayRoute* route = nullptr;
  // Chunk (0, 0) of the chart, given as chart pixels; the route's long tap opens its sheet.
  const auto make_route = [&](COldQuickChart& chart) {
    std::vector<GeoPoint> corners;
    for (const vd::ui::Point p : {vd::ui::Point{100, 100}, vd::ui::Point{900, 100},
                                  vd::ui::Point{900, 900}, vd::ui::Point{100, 900}}) {
      GeoPoint at;
      chart.PixelToLatLon(p.x, p.y, at.lat, at.lon);
      corners.push_back(at);
    }
    auto start = std::make_unique<COverlayMark>();
    start->name = "Start";
    start->latitude = corners[0].lat;
    start->longitude = corners[0].lon;
    route = marks->CreateRouteFromMark(marks->AddMark(std::move(start)));
    ASSERT_NE(route, nullptr);
    for (size_t i = 1; i < corners.size(); ++i) route->AddTappedPoint(0, 0, corners[i]);
    FireNotifyCallback();
  };
  {
    // No chart view: no download rows.
    std::unique_ptr<COldQuickChart> reader = OpenOldQuickChart(chart, false);
    ASSERT_NE(reader, nullptr);
    make_route(*reader);
  }
  sheets.choices = {"Route Operations..."};
  route->OnKey(0, 0);
  ASSERT_TRUE(sheets.Offered("Reverse route")) << "the operations sheet did not open";
  EXPECT_FALSE(sheets.Offered("Download enclosed map"));
  EXPECT_FALSE(sheets.Offered("Download map along route"));

  program.document()->OpenFileByType(chart);
  CChartViewWidget* widget = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = ChartViewShowing(program)) != nullptr; }));
  widget->resize(400, 300);
  vd::test::DrainEvents();
  COstrelView* view = widget->view();
  sheets.sheets.clear();
  sheets.asked.clear();  // the hint of the route's creation
  sheets.choices = {"Route Operations...", "Download enclosed map"};
  int ticks = 0;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] { ticks += DownloadDialogUp() != nullptr; });
  user.start(1);
  route->OnKey(0, 0);
  user.stop();
  EXPECT_TRUE(sheets.Offered("Download map along route"));
  EXPECT_TRUE(sheets.choices.empty());
  EXPECT_TRUE(sheets.asked.empty()) << sheets.asked.front();
  EXPECT_GT(ticks, 0);
  EXPECT_TRUE(ChunkStored(0, 0));
  EXPECT_EQ(StoredChunks(), 1);
  ASSERT_EQ(widget->view(), view);
  EXPECT_EQ(view->GetChartPath(), chart);
  EXPECT_NE(view->chart(), nullptr);
}

// Opening a downloadable chart whose store is not here yet asks its server for the store
// while the window goes on working; a server that does not answer is given up with Cancel in
// the progress dialog, leaving nothing behind, and the chart opens once the server answers.
TEST_F(MapDataInTheProgram, OpeningAChartWhoseStoreIsOnTheServerKeepsTheWindowWorking) {
  const std::string store = home.File("charts/Sea.qc3");
  vd::test::HttpTestServer::Reply slow;
  slow.delay = std::chrono::seconds(30);
  server.Set("/c/Sea.qc3", slow);
  Program program({"--no-splash"});
  ASSERT_TRUE(program.started());
  server.ClearRequests();

  int ticks = 0;
  bool cancelled = false;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    QDialog* dialog = ProgressDialogUp("Opening Sea.qct...");
    ticks += dialog != nullptr;
    bool asked_for_store = false;
    for (const auto& request : server.Requests()) asked_for_store |= request.path == "/c/Sea.qc3";
    if (!dialog || !asked_for_store) return;
    cancelled = true;
    dialog->reject();
  });
  user.start(5);
  program.document()->OpenFileByType(chart);
  user.stop();
  EXPECT_TRUE(cancelled);
  EXPECT_GT(ticks, 0);
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
  EXPECT_FALSE(vd::os::FileExists(store));
  vd::test::DrainEvents();
  EXPECT_EQ(ChartViewShowing(program), nullptr);

  vd::os::HttpCloseIdleConnections();
  vd::test::Qc3StoreFixture grid;
  grid.across = 3;
  grid.down = 2;
  for (int n = 0; n < 6; ++n) grid.chunks[{n / 3, n % 3}] = {0, n + 1, 0};
  server.Serve("/c/Sea.qc3", grid.Bytes());
  program.document()->OpenFileByType(chart);
  ASSERT_TRUE(ProcessEventsUntil([&] { return ChartViewShowing(program) != nullptr; }));
  EXPECT_TRUE(vd::os::FileExists(store));
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
}

}  // namespace
