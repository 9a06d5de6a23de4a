// Offline data reached from the running program: Map/Elevation Data/Get default fetches the
// chart's elevation data, and Find Place first fetches the chart's place names; both come from
// a loopback redirect service once and are found offline afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <chrono>
#include <string>

#include "charts/elevation_file.h"
#include "charts/tests/geo_name_fixture.h"
#include "charts/tests/qed_fixture.h"
#include "core/persistent_value.h"
#include "corvex/command_ids.h"
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

constexpr int kCmdGetDefaultElevation = 33708;

COstrelView* ChartView(Program& program) {
  for (QWidget* child : program.frame().findChildren<QWidget*>()) {
    auto* widget = dynamic_cast<CChartViewWidget*>(child);
    if (widget && widget->view() && widget->view()->chart()) return widget->view();
  }
  return nullptr;
}

class OfflineDataInTheProgram : public testing::Test {
 protected:
  void SetUp() override {
    vd::os::ProfileStore profile = vd::OpenAppProfile();
    profile.SetString(vd::kSettingsSection, "offline_redirect_server",
                      "127.0.0.1:" + std::to_string(server.port()));
    ASSERT_TRUE(vd::os::MakeFolders(home.File("maps")));
    profile.SetString(vd::kSettingsSection, "kvx_folder", home.File("maps"));
    ASSERT_TRUE(vd::os::MakeFolders(home.File("charts")));
    chart = home.File("charts/Glen.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(chart, vd::test::ChartFixture{}));
  }
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  // The redirect service names a file of this server for the chart's data of a kind.
  void Publish(const std::string& kind, const std::string& bytes) {
    server.Serve("/redir/Glen_" + kind + ".txt",
                 server.BaseUrl() + "/data/Glen." + kind + "\r\n");
    server.Serve("/data/Glen." + kind, bytes);
  }
  size_t RequestsFor(const std::string& kind) const {
    size_t n = 0;
    for (const auto& request : server.Requests()) {
      n += request.path.find("Glen_" + kind) != std::string::npos ||
           request.path == "/data/Glen." + kind;
    }
    return n;
  }

  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder{&answers};
  vd::test::HttpTestServer server;
  std::string chart;
};

TEST_F(OfflineDataInTheProgram, GetDefaultFetchesTheChartsElevationDataAndOpensIt) {
  vd::test::QedFixture grid;
  grid.north = 50.0;
  grid.west = -5.0;
  grid.cell_degrees = 0.005;
  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  COstrelView* view = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (view = ChartView(program)) != nullptr; }));
  EXPECT_EQ(program.app().GetElevationFile(), nullptr);
  CCmdUI ui;
  ASSERT_TRUE(view->OnUpdateCommand(kCmdGetDefaultElevation, ui));
  EXPECT_TRUE(ui.enabled);

  // Nothing published yet: the user hears so.
  EXPECT_TRUE(view->OnCommand(kCmdGetDefaultElevation));
  ASSERT_EQ(answers.asked.size(), 1u);
  EXPECT_EQ(answers.asked[0], "No elevation data was found for Glen.");
  EXPECT_EQ(program.app().GetElevationFile(), nullptr);

  // Published: asked afresh, downloaded into the map store and opened.
  Publish("qed", vd::test::MakeQedBytes(grid));
  answers.asked.clear();
  server.ClearRequests();
  EXPECT_TRUE(view->OnCommand(kCmdGetDefaultElevation));
  EXPECT_TRUE(answers.asked.empty());
  const CElevationFile* terrain = program.app().GetElevationFile();
  ASSERT_NE(terrain, nullptr);
  EXPECT_EQ(terrain->path(), home.File("maps/Glen.qed"));
  EXPECT_EQ(RequestsFor("qed"), 2u);
}

// A redirect service that stops answering does not hold the window: the look-up of the
// chart's elevation data shows its progress dialog, Cancel ends it, the chart stays shown, and
// the question is not recorded as answered, so the next look-up asks again.
TEST_F(OfflineDataInTheProgram, StalledLookUpShowsProgressAndCancelKeepsTheChart) {
  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  COstrelView* view = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (view = ChartView(program)) != nullptr; }));
  vd::test::HttpTestServer::Reply stalled;
  stalled.delay = std::chrono::minutes(10);
  server.Set("/redir/Glen_qed.txt", stalled);
  server.ClearRequests();
  std::string shown;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || dialog->findChildren<QProgressBar*>().isEmpty()) return;
    if (server.Requests().empty()) return;  // the look-up has reached the server
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text().startsWith("Looking for")) shown = label->text().toStdString();
    }
    dialog->reject();
  });
  user.start(5);
  EXPECT_TRUE(view->OnCommand(kCmdGetDefaultElevation));
  user.stop();
  EXPECT_EQ(shown, "Looking for Glen elevation data...");
  EXPECT_EQ(view->GetChartPath(), chart);
  EXPECT_EQ(program.app().GetElevationFile(), nullptr);
  EXPECT_FALSE(vd::os::FileExists(home.File("maps/redir/Glen_qed.txt")));
  EXPECT_EQ(answers.asked, std::vector<std::string>{"No elevation data was found for Glen."});
}

TEST_F(OfflineDataInTheProgram, FindPlaceFetchesThePlaceNamesOnceAndThenWorksOffline) {
  Publish("vdq", vd::test::GeoNameIndexBytes({"Hills"}, {{0, 49.99, -4.99, "Ben Glas"}}));
  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(ProcessEventsUntil([&] { return ChartView(program) != nullptr; }));
  // The user closes the Find Location dialog; a download's progress dialog is left alone.
  int searches = 0;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || dialog->windowTitle() != "Find Location") return;
    ++searches;
    dialog->reject();
  });
  user.start(5);
  const std::string index = home.File("maps/Glen.vdq");
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    server.ClearRequests();
    EXPECT_TRUE(program.document()->OnCommand(kCmdFindPlace));
    EXPECT_EQ(program.document()->search_index_path(), index);
    EXPECT_EQ(RequestsFor("vdq"), run == 0 ? 2u : 0u);
  }
  user.stop();
  EXPECT_EQ(searches, 2);
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(index, bytes));
  EXPECT_EQ(bytes, vd::test::GeoNameIndexBytes({"Hills"}, {{0, 49.99, -4.99, "Ben Glas"}}));
}

}  // namespace
