#include "corvex/startup_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

TEST(StartupFiles, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    bool splash;
    std::string config, other;
  } cases[] = {
      {{}, true, "", ""},
      {{"/home/u/Trip.VDN"}, true, "/home/u/Trip.VDN", ""},
      {{"--no-splash", "/data/a b.gpx"}, false, "", "/data/a b.gpx"},
      // Relative to the folder the program starts in; links stay as they are.
      {{"/nologo", "x.qct"}, false, "", std::filesystem::current_path().string() + "/x.qct"},
      {{"sub/Trip.vdn"}, true, std::filesystem::current_path().string() + "/sub/Trip.vdn", ""},
      {{"vardune://view?lat=1&lon=2"}, true, "", "vardune://view?lat=1&lon=2"},
  };
  for (const auto& c : cases) {
    const CCommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.show_splash, c.splash);
    EXPECT_EQ(line.config_document, c.config);
    EXPECT_EQ(line.file_to_open, c.other);
  }
}

class StartupProfile : public ::testing::Test {
 protected:
  vd::test::TempDir dir_;
  vd::os::ProfileStore profile_{"Software\\Vardune\\Vardune Navigator", dir_.File("config")};
  std::string data_ = dir_.File("data");
};

// A stored path that is missing or a folder gives way to the data folder's default, which the
// older names seed (the oldest first) and which is then stored.
TEST_F(StartupProfile, ConfigDocumentFallsBackAndSeedsFromOlderNames) {
  ASSERT_TRUE(vd::os::MakeFolders(data_));
  ASSERT_TRUE(vd::os::SaveFileAtomically(data_ + "/Vardune.vdn", "old"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(data_ + "/Vardune-OS-5.vdn", "older"));
  for (const std::string& stored : {std::string(""), data_ + "/missing.vdn", data_}) {
    vd::os::RemoveFile(data_ + "/Vardune-6.vdn");
    profile_.SetString(vd::kSettingsSection, "default_vdn_file_6", stored);
    const std::string chosen = ChooseConfigDocument(profile_, data_);
    EXPECT_EQ(chosen, data_ + "/Vardune-6.vdn");
    std::string bytes;
    ASSERT_TRUE(vd::os::ReadWholeFile(chosen, bytes));
    EXPECT_EQ(bytes, "old");
    EXPECT_EQ(profile_.GetString(vd::kSettingsSection, "default_vdn_file_6"), chosen);
  }
  // An existing file is kept as it is.
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir_.File("mine.vdn"), "x"));
  profile_.SetString(vd::kSettingsSection, "default_vdn_file_6", dir_.File("mine.vdn"));
  EXPECT_EQ(ChooseConfigDocument(profile_, data_), dir_.File("mine.vdn"));
}

TEST_F(StartupProfile, ChartFoldersRoundTripAndTheOneTimeAddition) {
  SaveChartDirs(profile_, {"/charts/a", "/charts/b"});
  profile_.SetInt("chart_dirs", "update", 1);
  profile_.SetString("chart_dirs", "runcd_install", "/charts/base");
  std::vector<std::string> list;
  LoadChartDirs(profile_, list);
  EXPECT_EQ(list, (std::vector<std::string>{"/charts/a", "/charts/b", "/charts/base"}));
  EXPECT_EQ(profile_.GetInt("chart_dirs", "update"), 0);
  list.clear();
  LoadChartDirs(profile_, list);
  EXPECT_EQ(list, (std::vector<std::string>{"/charts/a", "/charts/b"}));
}

TEST(StartupFilesSeed, CopiesMissingFilesOnly) {
  vd::test::TempDir dir;
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("from/sub")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("from/a.qct"), "new a"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("from/b.qct"), "new b"));
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("to")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("to/a.qct"), "mine"));
  EXPECT_TRUE(SeedFolder(dir.File("from"), dir.File("to")));
  std::string a, b;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("to/a.qct"), a));
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("to/b.qct"), b));
  EXPECT_EQ(a, "mine");
  EXPECT_EQ(b, "new b");
  EXPECT_FALSE(vd::os::FileExists(dir.File("to/sub")));
  EXPECT_FALSE(SeedFolder(dir.File("from"), dir.File("to")));  // nothing left to copy
  EXPECT_FALSE(SeedFolder(dir.File("none"), dir.File("to")));
}

}  // namespace
