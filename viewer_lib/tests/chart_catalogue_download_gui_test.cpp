// The chart catalogue's downloads from a loopback map store: single charts, map packages, their
// refresh and the update check, and the chart view opening what a download brought.
#include <gtest/gtest.h>

#include <QWidget>

#include <cstdlib>
#include <string>
#include <vector>

#include "charts/tests/package_fixture.h"
#include "core/persistent_value.h"
#include "core/standard_folders.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"
#include "tests/default_servers.h"
#include "tests/http_test_server.h"
#include "tests/message_box_watcher.h"
#include "tests/temp_dir.h"
#include "viewer_lib/chart_catalogue.h"
#include "viewer_lib/degree_lengths.h"
#include "viewer_lib/quick_chart_view.h"

namespace {

constexpr double kDegreesPerPixel = 1.0 / 3600.0;

struct BoxRecorder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request.caption + ": " + request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> shown;
};

class CatalogueDownloadTest : public testing::Test {
 protected:
  CatalogueDownloadTest() : scope_(&boxes_) {
    vd::SetProfileLocation("Software\\Test\\Catalogue", settings_.path());
    vd::test::PointDefaultServersAt(server_.port());
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data) kept_data_ = data;
    had_data_ = data != nullptr;
    setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
    for (const char* sub : {"/docs", "/data", "/charts"}) {
      EXPECT_TRUE(vd::os::MakeFolders(dir_.path() + sub));
    }
    catalogue_ = std::make_unique<ChartFolderCatalogue>(
        ChartCatalogueFolders{dir_.File("docs"), dir_.File("data"), dir_.File("charts")});
    catalogue_->keys = {"Topo"};
    ChartFolderCatalogue::SetCurrent(catalogue_.get());
  }
  ~CatalogueDownloadTest() override {
    ChartFolderCatalogue::SetCurrent(nullptr);
    vd::os::HttpCloseIdleConnections();
    if (had_data_) {
      setenv("XDG_DATA_HOME", kept_data_.c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
    vd::SetProfileLocation(vd::kDefaultProfileKey);
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(server_.port()); }
  std::string Url(const std::string& path) const { return server_.BaseUrl() + path; }
  std::string Kvx(const std::string& relative) const {
    return ChartFolderCatalogue::GetKvxBaseFolder() + "/" + relative;
  }
  // The bytes of a 128 x 128 pixel chart with its top left corner at (north, west).
  std::string ChartBytes(const std::string& name, double north = 50, double west = -5) {
    vd::test::ChartFixture chart;
    chart.georef = vd::test::ChartFixture::LinearGeoref(north, west, kDegreesPerPixel);
    chart.map_type = "Topo";
    chart.texts = {{kQctName, name}};
    const std::string path = dir_.File("made.qct");
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes));
    return bytes;
  }
  // Serves a package "/KVX/<name>.vdpkg" whose charts lie in "/KVX/<name>/".
  void ServePackage(const std::string& name, const std::vector<std::string>& charts) {
    std::vector<vd::test::PackageFileSpec> files;
    for (const std::string& chart : charts) {
      files.push_back({name + "/" + chart, ChartBytes(chart)});
      server_.Serve("/KVX/" + name + "/" + chart, files.back().bytes);
    }
    const std::string descriptor = dir_.File("descriptor.vdpkg");
    ASSERT_TRUE(vd::test::WritePackage(descriptor, Host(), "/KVX", name, files));
    std::string bytes;
    ASSERT_TRUE(vd::os::ReadWholeFile(descriptor, bytes));
    server_.Serve("/KVX/" + name + ".vdpkg", bytes);
  }
  int Requests(const std::string& path) const {
    int n = 0;
    for (const auto& request : server_.Requests()) n += request.path == path;
    return n;
  }

  vd::test::TempDir dir_;
  vd::test::TempDir settings_;
  vd::test::HttpTestServer server_;
  BoxRecorder boxes_;
  vd::ui::ScopedResponder scope_;
  std::unique_ptr<ChartFolderCatalogue> catalogue_;
  std::string kept_data_;
  bool had_data_ = false;
};

TEST_F(CatalogueDownloadTest, PackageDownloadRefreshAndUpdateCheck) {
  // Nothing to check yet.
  EXPECT_FALSE(catalogue_->CheckForUpdates(nullptr));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0],
            "No Packages to Check: Check for Map Updates only works with KVX Packages");
  EXPECT_EQ(ChartFolderCatalogue::GetKvxBaseFolder(), dir_.File("data") + "/Vardune/KVX");

  ServePackage("Coast", {"a.qct"});
  std::string target;
  ASSERT_TRUE(catalogue_->DownloadPackage(nullptr, Url("/KVX/Coast.vdpkg"), target));
  EXPECT_EQ(target, Kvx("Coast.vdpkg"));
  EXPECT_NE(catalogue_->Find(Kvx("Coast/a.qct")), nullptr);
  EXPECT_TRUE(catalogue_->pending_target().empty());
  EXPECT_EQ(Requests("/KVX/Coast/a.qct"), 1);

  // Refreshing fetches what went missing and reads the charts again.
  ASSERT_TRUE(vd::os::RemoveFile(Kvx("Coast/a.qct")));
  ASSERT_TRUE(catalogue_->Refresh(nullptr, Kvx("Coast.vdpkg")));
  EXPECT_EQ(Requests("/KVX/Coast/a.qct"), 2);
  EXPECT_NE(catalogue_->Find(Kvx("Coast/a.qct")), nullptr);

  // The store's package gained a chart: the update check brings it.
  ServePackage("Coast", {"a.qct", "b.qct"});
  ASSERT_TRUE(catalogue_->CheckForUpdates(nullptr));
  EXPECT_EQ(Requests("/KVX/Coast.vdpkg"), 2);
  EXPECT_NE(catalogue_->Find(Kvx("Coast/b.qct")), nullptr);
  EXPECT_EQ(boxes_.shown.size(), 1u);

  // A second package whose store copy is gone: the check stops at the first failure.
  ServePackage("Bay", {"c.qct"});
  ASSERT_TRUE(catalogue_->DownloadPackage(nullptr, Url("/KVX/Bay.vdpkg"), target));
  vd::test::HttpTestServer::Reply gone;
  gone.status = 404;
  server_.Set("/KVX/Bay.vdpkg", gone);
  EXPECT_FALSE(catalogue_->CheckForUpdates(nullptr));
  EXPECT_EQ(Requests("/KVX/Coast.vdpkg"), 2) << "Bay comes first and fails";
  EXPECT_TRUE(vd::os::FileExists(Kvx("Bay.vdpkg"))) << "the old package stays";
  EXPECT_EQ(catalogue_->PackageNames(), (std::vector<std::string>{"Bay.vdpkg", "Coast.vdpkg"}));
}

// The update check of a package whose changed chart the store fails to send: no success, the
// box over the window says which package and file, and the old chart stays as it was.
TEST_F(CatalogueDownloadTest, UpdateWhoseChartFailsIsReportedAndKeepsTheOldChart) {
  ServePackage("Coast", {"a.qct"});
  std::string target;
  ASSERT_TRUE(catalogue_->DownloadPackage(nullptr, Url("/KVX/Coast.vdpkg"), target));
  const std::string chart = Kvx("Coast/a.qct");
  std::string old_bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(chart, old_bytes));

  // The store's chart changed, and the server fails to send it.
  std::vector<vd::test::PackageFileSpec> files = {{"Coast/a.qct", ChartBytes("a.qct", 51)}};
  const std::string descriptor = dir_.File("descriptor.vdpkg");
  ASSERT_TRUE(vd::test::WritePackage(descriptor, Host(), "/KVX", "Coast", files));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(descriptor, bytes));
  server_.Serve("/KVX/Coast.vdpkg", bytes);
  vd::test::HttpTestServer::Reply failing;
  failing.status = 500;
  server_.Set("/KVX/Coast/a.qct", failing);

  vd::ui::ScopedResponder toolkit_boxes{nullptr};  // the boxes the user sees
  vd::test::MessageBoxWatcher boxes;
  QWidget window;
  window.show();
  EXPECT_FALSE(catalogue_->CheckForUpdates(&window));
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].caption, "Error");
  EXPECT_EQ(boxes.seen[0].owner, &window);
  EXPECT_NE(boxes.seen[0].text.find("The map package \"Coast\" was not downloaded completely"),
            std::string::npos)
      << boxes.seen[0].text;
  EXPECT_NE(boxes.seen[0].text.find("/KVX/Coast/a.qct"), std::string::npos) << boxes.seen[0].text;
  std::string now;
  ASSERT_TRUE(vd::os::ReadWholeFile(chart, now));
  EXPECT_TRUE(now == old_bytes) << "the old chart changed";
  EXPECT_FALSE(vd::os::FileExists(chart + ".TMP"));
}

TEST_F(CatalogueDownloadTest, SingleChartsAndAddressesThatWouldLeaveThePackageFolder) {
  server_.Serve("/KVX/single/one.qct", ChartBytes("one"));
  std::string target;
  ASSERT_TRUE(catalogue_->DownloadPackage(nullptr, Url("/KVX/single/one.qct"), target));
  EXPECT_EQ(target, Kvx("single/one.qct"));
  EXPECT_NE(catalogue_->Find(target), nullptr);
  ASSERT_TRUE(catalogue_->DownloadPackage(nullptr, Url("/KVX/single/one.qct"), target));
  EXPECT_EQ(Requests("/KVX/single/one.qct"), 1) << "a chart that is there is not fetched again";

  // Without a host the map store's server is asked.
  server_.Serve("/maps/two.qct", ChartBytes("two"));
  ASSERT_TRUE(catalogue_->DownloadPackage(nullptr, "/maps/two.qct", target));
  EXPECT_EQ(target, Kvx("maps/two.qct"));

  for (const char* url : {"/KVX/../../escape.qct", "/KVX/a/../../b.qct", "/KVX/"}) {
    EXPECT_FALSE(catalogue_->DownloadPackage(nullptr, Url(url), target)) << url;
    EXPECT_TRUE(target.empty()) << url;
  }
  EXPECT_FALSE(vd::os::FileExists(dir_.File("data/escape.qct")));
  server_.Set("/KVX/broken.qct", {404});
  EXPECT_FALSE(catalogue_->DownloadPackage(nullptr, Url("/KVX/broken.qct"), target));
  EXPECT_FALSE(vd::os::FileExists(Kvx("broken.qct")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(Kvx("junk.qct"), "not a chart"));
  EXPECT_FALSE(catalogue_->DownloadPackage(nullptr, Url("/KVX/junk.qct"), target))
      << "what arrived is no chart";
}

TEST_F(CatalogueDownloadTest, PackageNamesAreOrderedByTheirNumbers) {
  ASSERT_TRUE(vd::os::MakeFolders(ChartFolderCatalogue::GetKvxBaseFolder()));
  for (const char* name : {"p10.vdpkg", "p9.vdpkg", "P2.vdpkg", "notes.txt"}) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(Kvx(name), "x"));
  }
  EXPECT_EQ(catalogue_->PackageNames(),
            (std::vector<std::string>{"P2.vdpkg", "p9.vdpkg", "p10.vdpkg"}));
}

// Where the catalogue has no chart, the view asks the map store for the place's package,
// downloads it and opens its chart.
TEST_F(CatalogueDownloadTest, ShowingAPlaceWithoutChartsDownloadsTheStoresPackage) {
  CQuickChartView view;
  view.OnSize(0, 0, 200, 100);
  // The store names nothing yet (its program answers 404).
  EXPECT_FALSE(view.ShowAt(nullptr, 49.99, -4.99, 0));
  EXPECT_FALSE(view.busy());

  ServePackage("Coast", {"a.qct"});
  // An area reply: status 0, no identifiers, one item, nothing more.
  std::string reply;
  const auto i32 = [&reply](int32_t v) { reply.append(reinterpret_cast<const char*>(&v), 4); };
  const auto str = [&](const std::string& text) {
    i32(int32_t(text.size()));
    reply += text;
  };
  i32(0);
  i32(0);
  i32(1);
  str("Coast");
  const float rank = 1;
  reply.append(reinterpret_cast<const char*>(&rank), 4);
  str("Topo");
  str("/KVX/Coast.vdpkg");
  i32(7);
  i32(0);
  server_.Serve("/cgi-bin/mapstore3.cgi", reply);

  ASSERT_TRUE(view.ShowAt(nullptr, 49.99, -4.99, 0));
  EXPECT_FALSE(view.busy());
  EXPECT_EQ(view.ChartFileName(), Kvx("Coast/a.qct"));
  double lat, lon;
  ASSERT_TRUE(view.GetCentre(lat, lon));
  EXPECT_NEAR(lat, 49.99, 2 * kDegreesPerPixel);
  EXPECT_NEAR(lon, -4.99, 2 * kDegreesPerPixel);
}

// The degree lengths follow the current chart view's centre, else the stored position.
TEST_F(CatalogueDownloadTest, DegreeLengthsAreTakenAtTheViewsCentre) {
  SetDegreeLengthsPosition(90, 0);
  DegreeLengths::Global() = DegreeLengths();
  UpdateDegreeLengths();
  EXPECT_EQ(DegreeLengths::Global().at_lat, 90) << "no position: nothing computed";
  SetDegreeLengthsPosition(60, 10);
  UpdateDegreeLengths();
  EXPECT_NEAR(DegreeLengths::Global().lon_metres, 55800, 200) << "half the equator's";
  EXPECT_NEAR(DegreeLengths::Global().lat_metres, 111400, 200);

  ASSERT_TRUE(vd::os::SaveFileAtomically(dir_.File("charts/view.qct"), ChartBytes("view", 1, 2)));
  catalogue_->Rescan();
  CQuickChartView view;
  view.OnSize(0, 0, 100, 100);
  ASSERT_TRUE(view.ShowAt(nullptr, 0.99, 2.01, 0));
  view.OnTouchDown(50, 50);
  ASSERT_EQ(CQuickChartView::Current(), &view);
  EXPECT_EQ(COverlayListView::Current(), &view);
  UpdateDegreeLengths();
  EXPECT_NEAR(DegreeLengths::Global().at_lat, 0.99, 0.01);
  EXPECT_NEAR(DegreeLengths::Global().lon_metres, 111300, 200);
}

}  // namespace
