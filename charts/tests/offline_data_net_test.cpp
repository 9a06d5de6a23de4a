#include "charts/offline_data.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "charts/chart_reader_services.h"
#include "charts/tests/qed_fixture.h"
#include "core/http_connection.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes)) << path;
  return bytes;
}

// The server's copy of the data: "/files/<name>".
class OfflineDataNetTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.File("profile"));
    SetChartReaderServices({});
  }
  // Idle keep-alive connections would hold up the server's stop.
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  // Downloads through a plain connection, recording what the progress dialog would show.
  COfflineData MakeData() {
    OfflineDataServices services;
    services.map_store_folder = [this] { return map_store; };
    services.download = [this](const std::string& host, const std::string& path,
                               const std::string& local_file, const std::string& title,
                               bool secure) {
      titles.push_back(title);
      CHttpConnection(host, secure).GetToFile(path, local_file);
    };
    services.redirect_host = "127.0.0.1:" + std::to_string(server.port());
    return COfflineData(services);
  }
  void Redirect(const std::string& name_kind, const std::string& target) {
    server.Serve("/redir/" + name_kind + ".txt", target);
  }
  std::string FileUrl(const std::string& name) const { return server.BaseUrl() + "/files/" + name; }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const auto& request : server.Requests()) paths.push_back(request.path);
    return paths;
  }

  vd::test::TempDir dir;
  std::string map_store = dir.File("KVX");
  std::string chart = dir.File("charts/Bay.qct");
  vd::test::HttpTestServer server;
  std::vector<std::string> titles;
};

TEST_F(OfflineDataNetTest, DownloadsOnceAndAnswersFromTheCacheAfterwards) {
  const std::string bytes = vd::test::MakeQedBytes({});
  Redirect("Bay_qed", FileUrl("bay-elev.qed") + "\r\ntrailing text");
  server.Serve("/files/bay-elev.qed", bytes);
  COfflineData data = MakeData();

  const std::string local = map_store + "/bay-elev.qed";
  EXPECT_EQ(data.DownloadOfflineData(chart, "Bay", "qed", false), local);
  EXPECT_EQ(ReadFile(local), bytes);
  EXPECT_EQ(ReadFile(map_store + "/redir/Bay_qed.txt"), local + "\n");
  EXPECT_EQ(titles, std::vector<std::string>{"Downloading Bay elevation data for offline use."});

  server.ClearRequests();
  EXPECT_EQ(data.DownloadOfflineData(chart, "Bay", "qed", false), local);
  EXPECT_TRUE(Paths().empty());
  // Asked again: the server is asked, the file already there is not fetched again.
  EXPECT_EQ(data.DownloadOfflineData(chart, "Bay", "qed", true), local);
  EXPECT_EQ(Paths(), std::vector<std::string>{"/redir/Bay_qed.txt"});
}

TEST_F(OfflineDataNetTest, CompressedDataIsUnpackedUnderItsTitle) {
  const std::string original(40'000, 'q');
  const std::string packed_path = dir.File("packed.gz");
  gzFile out = gzopen(packed_path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  gzwrite(out, original.data(), unsigned(original.size()));
  gzclose(out);
  Redirect("Bay_vdq", FileUrl("Bay.vdq.gz"));
  server.Serve("/files/Bay.vdq.gz", ReadFile(packed_path));
  COfflineData data = MakeData();

  EXPECT_EQ(data.DownloadOfflineData(chart, "Bay", "vdq", false), map_store + "/Bay.vdq");
  EXPECT_EQ(ReadFile(map_store + "/Bay.vdq"), original);
  EXPECT_FALSE(vd::os::FileExists(map_store + "/Bay.vdq.gz"));
  EXPECT_EQ(titles, std::vector<std::string>{"Downloading Bay search data for offline use."});
}

// Replies that give no data: "none" is cached (and answers later calls without the server),
// and a file of that name in the chart's folder is the fall-back.
TEST_F(OfflineDataNetTest, UselessRepliesCacheNoneAndFallBackToTheChartFolder) {
  struct Case {
    const char* name;   // of the chart's data, one per case
    std::string reply;  // empty: no redirect file on the server (404)
  };
  const Case cases[] = {
      {"NoRedirect", ""},
      {"TenBytes", "http://a/b"},
      {"NoHost", "/files/NoHost.qed and more"},
      {"NotOnServer", FileUrl("NotOnServer.qed")},
      {"ParentFolder", server.BaseUrl() + "/files/.."},
      {"Folder", server.BaseUrl() + "/files/"},
  };
  server.Serve("/files/..", "x");
  server.Serve("/files/", "x");
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("charts")));
  COfflineData data = MakeData();
  for (const Case& c : cases) {
    const std::string name = c.name;
    SCOPED_TRACE(name);
    if (!c.reply.empty()) Redirect(name + "_qed", c.reply);
    EXPECT_EQ(data.DownloadOfflineData(chart, name, "qed", false), "");
    EXPECT_EQ(ReadFile(map_store + "/redir/" + name + "_qed.txt"), "none\n");

    const std::string beside = dir.File("charts/" + name + ".qed");
    ASSERT_TRUE(vd::os::SaveFileAtomically(beside, "x"));
    server.ClearRequests();
    EXPECT_EQ(data.DownloadOfflineData(chart, name, "qed", false), "none");
    EXPECT_TRUE(Paths().empty());
    EXPECT_EQ(data.DownloadOfflineData(chart, name, "qed", true), beside);
  }
  // Nothing but the cache was written into the map store.
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(map_store, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "redir");
}

TEST_F(OfflineDataNetTest, ChartNamesAreCodedInAddressesAndMadeSafeInPaths) {
  Redirect("Bay / ../Inlet_qed", "garbage with no address");
  COfflineData data = MakeData();
  EXPECT_EQ(data.DownloadOfflineData(chart, "Bay / ../Inlet", "qed", false), "");
  // The server decodes what it records: the name arrived whole, as one segment.
  EXPECT_EQ(Paths(), std::vector<std::string>{"/redir/Bay / ../Inlet_qed.txt"});
  EXPECT_EQ(ReadFile(map_store + "/redir/Bay__Inlet_qed.txt"), "none\n");
}

TEST_F(OfflineDataNetTest, FindElevationFileOpensTheDownloadedGrid) {
  Redirect("Bay_qed", FileUrl("bay.qed"));
  server.Serve("/files/bay.qed", vd::test::MakeQedBytes({}));
  COfflineData data = MakeData();
  data.FindElevationFile(chart, "Bay");
  EXPECT_TRUE(data.elevation_file().IsLoaded());
  EXPECT_EQ(data.elevation_file().path(), map_store + "/bay.qed");
  EXPECT_EQ(vd::OpenAppProfile().GetString(vd::kSettingsSection, "qedfile"), map_store + "/bay.qed");
}

}  // namespace
