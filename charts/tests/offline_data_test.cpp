#include "charts/offline_data.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "charts/chart_reader_services.h"
#include "charts/tests/qed_fixture.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes)) << path;
  return bytes;
}

std::string Gzip(const std::string& bytes) {
  vd::test::TempDir dir;
  const std::string path = dir.File("x.gz");
  gzFile out = gzopen(path.c_str(), "wb");
  EXPECT_NE(out, nullptr);
  EXPECT_EQ(gzwrite(out, bytes.data(), unsigned(bytes.size())), int(bytes.size()));
  gzclose(out);
  return ReadFile(path);
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 7919) >> 5);
  return bytes;
}

TEST(GunzipFileTest, UnpacksWholeStreamsAndNeverHalfOfOne) {
  vd::test::TempDir dir;
  const std::string source = dir.File("data.gz");
  const std::string target = dir.File("data");
  const std::string original = Pattern(25'000);  // more than two reading pieces
  const std::string packed = Gzip(original);

  ASSERT_TRUE(vd::os::SaveFileAtomically(source, packed));
  ASSERT_TRUE(GunzipFile(source, target));
  EXPECT_EQ(ReadFile(target), original);

  struct Case {
    const char* what;
    std::string source_bytes;
  };
  const Case damaged[] = {
      {"truncated", packed.substr(0, packed.size() / 2)},
      {"not gzip", "<html>Not Found</html>"},
      {"corrupt body", packed.substr(0, 20) + std::string(packed.size() - 20, 'x')},
  };
  for (const Case& c : damaged) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(vd::os::SaveFileAtomically(source, c.source_bytes));
    EXPECT_FALSE(GunzipFile(source, target));
    EXPECT_EQ(ReadFile(target), original);  // the earlier result is untouched
  }
  EXPECT_FALSE(GunzipFile(dir.File("missing.gz"), target));
  ASSERT_TRUE(vd::os::SaveFileAtomically(source, packed));
  EXPECT_FALSE(GunzipFile(source, dir.File("no/folder/data")));
}

class OfflineDataTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.File("profile"));
    SetChartReaderServices({});
  }
  std::string Setting(const char* name) {
    return vd::OpenAppProfile().GetString(vd::kSettingsSection, name).value_or("<unset>");
  }

  vd::test::TempDir dir;
  // No server is reachable here: the tests below must not need one.
  COfflineData data{{[this] { return dir.File("KVX"); }, nullptr, "127.0.0.1:1"}};
};

TEST_F(OfflineDataTest, EmptyNameLooksOnlyBesideTheChart) {
  const std::string chart = dir.File("Bay.qct");
  EXPECT_EQ(data.DownloadOfflineData(chart, "", "qed", false), "");
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("Bay.qed"), "x"));
  EXPECT_EQ(data.DownloadOfflineData(chart, "", "qed", false), dir.File("Bay.qed"));
  EXPECT_FALSE(vd::os::FileExists(dir.File("KVX")));  // no cache written
}

TEST_F(OfflineDataTest, WithoutAMapStoreOnlyTheChartFolderIsTried) {
  COfflineData bare{{}};
  EXPECT_EQ(bare.DownloadOfflineData(dir.File("c.qct"), "Bay", "qed", false), "");
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("Bay.qed"), "x"));
  EXPECT_EQ(bare.DownloadOfflineData(dir.File("c.qct"), "Bay", "qed", false), dir.File("Bay.qed"));
  EXPECT_FALSE(vd::os::FileExists("/redir"));
}

TEST_F(OfflineDataTest, CachedAnswersAreUsedWithoutTheServer) {
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("KVX/redir")));
  const std::string data_file = dir.File("KVX/Bay.qed");
  ASSERT_TRUE(vd::os::SaveFileAtomically(data_file, "x"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("KVX/redir/Bay_qed.txt"), data_file + "\n"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("KVX/redir/Bay_vdq.txt"), "none\n"));
  EXPECT_EQ(data.DownloadOfflineData(dir.File("c.qct"), "Bay", "qed", false), data_file);
  EXPECT_EQ(data.DownloadOfflineData(dir.File("c.qct"), "Bay", "vdq", false), "none");
  // Asked again with the server out of reach: "none" is cached, then the chart's folder is
  // tried.
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("Bay.vdq"), "x"));
  EXPECT_EQ(data.DownloadOfflineData(dir.File("c.qct"), "Bay", "vdq", true), dir.File("Bay.vdq"));
  EXPECT_EQ(ReadFile(dir.File("KVX/redir/Bay_vdq.txt")), "none\n");
}

TEST_F(OfflineDataTest, OpenElevationFileSwapsFilesAndRemembersTheLastGoodOne) {
  vd::test::QedFixture fixture;
  const std::string first = dir.File("North.qed");
  ASSERT_TRUE(vd::test::WriteQedFile(first, fixture));
  EXPECT_TRUE(data.OpenElevationFile(dir.File("North.qct")));
  EXPECT_TRUE(data.elevation_file().IsLoaded());
  EXPECT_EQ(Setting("qedfile"), first);

  // Missing: the open file stays.
  EXPECT_FALSE(data.OpenElevationFile(dir.File("South.qct")));
  EXPECT_EQ(data.elevation_file().path(), first);

  // Present but damaged: nothing stays open and the setting still names the good file.
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("Bad.qed"), std::string(400, 'x')));
  EXPECT_FALSE(data.OpenElevationFile(dir.File("Bad.qct")));
  EXPECT_FALSE(data.elevation_file().IsLoaded());
  EXPECT_EQ(Setting("qedfile"), first);

  // The next start opens it again; without the setting, the program folder's default.
  COfflineData next{{}};
  next.OpenSavedElevationFile(dir.File("program"));
  EXPECT_EQ(next.elevation_file().path(), first);
  ASSERT_TRUE(vd::OpenAppProfile().DeleteValue(vd::kSettingsSection, "qedfile"));
  COfflineData fresh{{}};
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("program")));
  ASSERT_TRUE(vd::test::WriteQedFile(dir.File("program/elevation.qed"), fixture));
  fresh.OpenSavedElevationFile(dir.File("program"));
  EXPECT_EQ(fresh.elevation_file().path(), dir.File("program/elevation.qed"));
}

}  // namespace
