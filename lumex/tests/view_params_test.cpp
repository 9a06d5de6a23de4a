#include "lumex/view_params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/os/environment.h"
#include "platform/os/profile_store.h"
#include "tests/temp_dir.h"

namespace {

template <typename T>
std::string With(size_t offset, T value) {
  std::string bytes = EncodeViewParams({});
  std::memcpy(bytes.data() + offset, &value, sizeof value);
  return bytes;
}

TEST(ViewParamsTest, RoundTripsEveryField) {
  ViewParams p;
  p.field_of_view = 1.2f;
  p.light[0] = 0.25f;
  p.light[1] = -0.5f;
  p.light[2] = -0.75f;
  p.exaggeration = 3.5f;
  p.sky_colour = 0x00102030;
  p.help_shown = true;
  p.video_width = 1920;
  p.video_height = 1080;
  p.video_frame_rate = 25;
  p.texture_size = 4096;
  p.horizon_factor = 1.0f;
  const std::string bytes = EncodeViewParams(p);
  ASSERT_EQ(bytes.size(), kViewParamsSize);
  EXPECT_EQ(EncodeViewParams(DecodeViewParams(bytes)), bytes);
}

TEST(ViewParamsTest, FieldsOutOfRangeKeepTheirDefaults) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::string cases[] = {
      With(0, nan),         With(0, 5.0f),        With(0, 0.0f),
            With(16, 0.0f),       With(16, inf),        With(28, -1),     With(32, 100000),
      With(36, 0),          With(40, 0),          With(40, 1 << 20), With(44, nan),
      With(44, -1.0f),
  };
  const std::string defaults = EncodeViewParams({});
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(EncodeViewParams(DecodeViewParams(cases[i])), defaults) << "case " << i;
  }
  // A zero light direction is refused.
  std::string dark = With(4, 0.0f);
  std::memset(dark.data() + 12, 0, 4);
  EXPECT_EQ(DecodeViewParams(dark).light[2], -0.5f);
}

TEST(ViewParamsTest, ShortRecordsAndTheSkyColourTopByte) {
  ViewParams p = DecodeViewParams(With(20, 0xFF123456u).substr(0, 24));
  EXPECT_EQ(p.sky_colour, 0x00123456u);
  EXPECT_EQ(p.video_width, 1280);
  EXPECT_EQ(p.horizon_factor, 6.0f);
}

TEST(ViewParamsTest, ProfileReadsTheOlderRecordFirst) {
  vd::test::TempDir config;
  vd::os::SetEnv("XDG_CONFIG_HOME", config.path());
  vd::os::ProfileStore store("Software\\Vardune\\lumex_v2\\lumex");
  EXPECT_EQ(EncodeViewParams(ReadViewParams()), EncodeViewParams({}));

  ViewParams old;
  old.exaggeration = 4.0f;
  old.texture_size = 1024;
  old.horizon_factor = 2.0f;
  const std::string bytes = EncodeViewParams(old);
  ASSERT_TRUE(store.SetBinary("settings", "viewparam3",
                              std::vector<uint8_t>(bytes.begin(), bytes.end())));
  ViewParams read = ReadViewParams();
  EXPECT_EQ(read.exaggeration, 4.0f);
  EXPECT_EQ(read.texture_size, 2048);
  EXPECT_EQ(read.horizon_factor, 6.0f);

  old.field_of_view = 0.5f;
  ASSERT_TRUE(SaveViewParams(old));
  read = ReadViewParams();
  EXPECT_EQ(EncodeViewParams(read), EncodeViewParams(old));
  vd::os::UnsetEnv("XDG_CONFIG_HOME");
}

}  // namespace
