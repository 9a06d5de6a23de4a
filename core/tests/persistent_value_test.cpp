#include "core/persistent_value.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/temp_dir.h"

namespace {

constexpr char kKey[] = "Software\\Vardune\\Test Program";

class PersistentValueTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(kKey, dir_.path()); }
  void TearDown() override { vd::SetProfileLocation(vd::kDefaultProfileKey); }

  // The profile as another process sees it.
  vd::os::ProfileStore Store() const { return vd::os::ProfileStore(kKey, dir_.path()); }

  vd::test::TempDir dir_;
};

TEST_F(PersistentValueTest, IntLoadsTheDefaultAndWritesBackOnDestruction) {
  {
    PersistentInt setting;
    setting.Init("qcc_auto_download", 1);
    EXPECT_EQ(setting.value, 1);
    EXPECT_FALSE(Store().GetInt("settings", "qcc_auto_download"));  // loading writes nothing
    setting.value = -5;
  }
  EXPECT_EQ(Store().GetInt("settings", "qcc_auto_download"), -5);

  PersistentInt again;
  again.Init("QCC_AUTO_DOWNLOAD", 1);  // names ignore case, as in the registry
  EXPECT_EQ(again.value, -5);
}

TEST_F(PersistentValueTest, StringLoadsEmptyAndWritesBackOnDestruction) {
  {
    PersistentString setting("rt_template2");
    EXPECT_EQ(setting.value, "");
    setting.value = "/home/me/caf\xc3\xa9 card.htm";
  }
  EXPECT_EQ(Store().GetString("settings", "rt_template2"), "/home/me/caf\xc3\xa9 card.htm");
  PersistentString again;
  again.Init("rt_template2");
  EXPECT_EQ(again.value, "/home/me/caf\xc3\xa9 card.htm");
}

TEST_F(PersistentValueTest, UnboundValuesNeverTouchTheProfile) {
  {
    PersistentInt number;
    number.Init(nullptr, 3);
    EXPECT_EQ(number.value, 3);
    PersistentString text;
    text.Init(nullptr);
    text.value = "x";
    PersistentData<float> data;
    data.value = 2.0f;
  }
  EXPECT_TRUE(Store().Names("settings").empty());
}

struct ScaleInfo {
  int32_t fixed = 1;
  int32_t step = 1;
  int32_t third = 70;
};

TEST_F(PersistentValueTest, DataCopiesAtMostItsSizeOverTheDefaults) {
  const uint8_t shorter[] = {5, 0, 0, 0, 6, 0, 0, 0};  // an older, shorter record
  ASSERT_TRUE(Store().SetBinary("settings", "short_scale", shorter));
  const std::vector<uint8_t> longer(24, 0x01);
  ASSERT_TRUE(Store().SetBinary("settings", "long_scale", longer));

  PersistentData<ScaleInfo> from_short("short_scale");
  EXPECT_EQ(from_short.value.fixed, 5);
  EXPECT_EQ(from_short.value.step, 6);
  EXPECT_EQ(from_short.value.third, 70);
  PersistentData<ScaleInfo> from_long("long_scale", ScaleInfo{0, 0, 0});
  EXPECT_EQ(from_long.value.third, 0x01010101);

  from_short.value.third = 9;
  from_short.Save();
  const auto stored = Store().GetBinary("settings", "short_scale");
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), sizeof(ScaleInfo));
  int32_t third = 0;
  std::memcpy(&third, stored->data() + 8, 4);
  EXPECT_EQ(third, 9);
}

TEST_F(PersistentValueTest, DataWritesBackOnDestruction) {
  {
    PersistentData<float> variation;
    variation.Init("magnetic_variation");
    EXPECT_EQ(variation.value, 0.0f);
    variation.value = -2.5f;
  }
  PersistentData<float> again("magnetic_variation", 7.0f);
  EXPECT_EQ(again.value, -2.5f);
  EXPECT_EQ(Store().GetBinary("settings", "magnetic_variation")->size(), 4u);
}

}  // namespace
