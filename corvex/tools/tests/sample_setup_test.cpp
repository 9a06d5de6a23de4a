// The setup tool of the run command, run as that command runs it, on settings of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "gps/gps_params.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/process.h"
#include "platform/os/profile_store.h"
#include "tests/temp_dir.h"

namespace {

class SampleSetupTest : public testing::Test {
 protected:
  SampleSetupTest() : saved_config_(vd::os::GetEnv("XDG_CONFIG_HOME")) {
    vd::os::SetEnv("XDG_CONFIG_HOME", dir.File("config"));
  }
  ~SampleSetupTest() override {
    if (saved_config_)
      vd::os::SetEnv("XDG_CONFIG_HOME", *saved_config_);
    else
      vd::os::UnsetEnv("XDG_CONFIG_HOME");
  }

  // The tool's exit code; -1 when it did not run to its end.
  int RunSetup(const std::string& demo_file, std::optional<std::string> chart_folder = {}) {
    std::vector<std::string> args{demo_file};
    if (chart_folder) args.push_back(*chart_folder);
    const vd::os::SpawnResult result =
        vd::os::Spawn(vd::os::ProgramFolder() + "/sample_setup", args, true);
    EXPECT_TRUE(result.started) << result.error;
    return result.exit_code;
  }

  vd::os::ProfileStore Profile() const {
    return vd::os::ProfileStore(vd::kDefaultProfileKey, dir.File("config/Vardune"));
  }
  std::optional<std::string> ProfileFile() const {
    std::string bytes;
    if (!vd::os::ReadWholeFile(Profile().file_path(), bytes)) return std::nullopt;
    return bytes;
  }

  vd::test::TempDir dir;
  const std::string demo = dir.File("Demo Track.nmea");  // a blank in the name, as the sample's

 private:
  std::optional<std::string> saved_config_;
};

TEST_F(SampleSetupTest, WithoutASettingTheDemoFileBecomesTheGpsInput) {
  ASSERT_TRUE(vd::os::SaveFileAtomically(demo, "$GPGGA\r\n"));
  ASSERT_EQ(0, RunSetup(demo));

  const GPSParams params = LoadGPSParams(Profile());
  EXPECT_EQ(GPSParams::kNmea, params.type);
  EXPECT_EQ(std::filesystem::canonical(demo).string(), params.port);
  // Answering No at start goes back to the default port without GPS input.
  const GPSParams defaults = ParseGPSParams(kDefaultGpsParamsText);
  EXPECT_EQ(defaults.type, params.saved_type);
  EXPECT_EQ(defaults.port, params.saved_port);
  EXPECT_EQ(defaults.baud_index, params.baud_index);

  // The run command runs the tool before every start: the second time changes nothing.
  const std::optional<std::string> written = ProfileFile();
  ASSERT_EQ(0, RunSetup(demo));
  EXPECT_EQ(written, ProfileFile());
}

TEST_F(SampleSetupTest, TheUsersSettingIsNeverReplaced) {
  ASSERT_TRUE(vd::os::SaveFileAtomically(demo, "$GPGGA\r\n"));
  const struct {
    const char* what;
    std::string name;
    std::optional<std::string> text;  // else an integer value
  } cases[] = {
      {"a serial port", kGpsParamsKey, "1,0,/dev/ttyS3 ,5,1,0,0,6,100,500"},
      {"GPS off", kGpsParamsKey, "0,0,/dev/ttyUSB0 ,4,1,0,0,6,100,500"},
      {"a text that does not parse", kGpsParamsKey, "garbage"},
      {"another spelling", "gps_PARAMS", "1,0,/dev/ttyS3 ,5,1,0,0,6,100,500"},
      {"a value of another kind", kGpsParamsKey, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vd::os::ProfileStore profile = Profile();
    ASSERT_TRUE(profile.DeleteSection(kGpsParamsSection));
    ASSERT_TRUE(c.text ? profile.SetString(kGpsParamsSection, c.name, *c.text)
                       : profile.SetInt(kGpsParamsSection, c.name, 1));
    const std::optional<std::string> before = ProfileFile();
    EXPECT_EQ(0, RunSetup(demo));
    EXPECT_EQ(before, ProfileFile());
  }
}

// The chart folder given becomes the one the chart library is scanned from, unless the user has
// chart folders already.
TEST_F(SampleSetupTest, TheChartFolderIsSetWhenTheUserHasNone) {
  ASSERT_TRUE(vd::os::SaveFileAtomically(demo, "$GPGGA\r\n"));
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("sample charts")));
  ASSERT_EQ(0, RunSetup(demo, dir.File("sample charts")));
  EXPECT_EQ(Profile().GetInt("chart_dirs", "n_dirs"), 1);
  EXPECT_EQ(Profile().GetString("chart_dirs", "dir00"),
            std::filesystem::canonical(dir.File("sample charts")).string());

  vd::os::ProfileStore profile = Profile();
  ASSERT_TRUE(profile.SetString("chart_dirs", "dir00", "/my charts"));
  const std::optional<std::string> before = ProfileFile();
  EXPECT_EQ(0, RunSetup(demo, dir.File("sample charts")));
  EXPECT_EQ(before, ProfileFile());
  EXPECT_EQ(2, RunSetup(demo, dir.File("no such folder")));
  EXPECT_EQ(before, ProfileFile());
}

TEST_F(SampleSetupTest, AMissingDemoFileWritesNothing) {
  EXPECT_EQ(2, RunSetup(dir.File("no such track.nmea")));
  EXPECT_EQ(std::nullopt, ProfileFile());
}

}  // namespace
