// Downloading map data in the running program: the chart view's download commands fetch the
// chunks of a downloadable chart under the progress dialog and the view shows them afterwards.
// Every server the program knows of is a loopback one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QTimer>
#include <string>

#include "charts/qc3_tile_store.h"
#include "charts/quick_chart.h"
#include "charts/quick_chart3.h"
#include "charts/tests/qc3_store_fixture.h"
#include "core/persistent_value.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "tests/chart_fixture.h"
#include "tests/http_test_server.h"

namespace {

using vd::test::CorvexHome;
using vd::test::ProcessEventsUntil;
using vd::test::Program;
using vd::test::ScriptedAnswers;

constexpr int kCmdDownloadWindow = 33658;

CChartViewWidget* ChartViewShowing(Program& program) {
  // The widget class has no meta-object of its own: findChildren would match any window.
  for (QWidget* child : program.frame().findChildren<QWidget*>()) {
    auto* widget = dynamic_cast<CChartViewWidget*>(child);
    if (widget && widget->view() && widget->view()->chart()) return widget;
  }
  return nullptr;
}

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
    server.Serve("/c/Sea.qc3", store.Bytes());
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
    std::unique_ptr<CQuickChart> reader = OpenChart(chart);
    auto* chunked = dynamic_cast<CQuickChart3*>(reader.get());
    if (!chunked || !chunked->OpenChunkStore()) return -1;
    int stored = 0;
    for (int n = 0; n < 6; ++n) stored += chunked->store()->IsChunkComplete(n / 3, n % 3);
    return stored;
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
  QObject::connect(&user, &QTimer::timeout, [&] { ++ticks; });
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
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
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

}  // namespace
