#include "lumex/terrain_texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lumex/tests/terrain_fixture.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

void Put32(std::string& bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

TEST(ReadDdsTexture, ReadsTheChartProgramsTexturesAndRefusesOtherLayouts) {
  vd::test::TempDir dir;
  const std::string path = dir.File("t.dds");
  ASSERT_TRUE(vd::test::WriteTestDds(path, 3, 2, [](int x, int y) {
    return 0xAA000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | 0x55;
  }));
  TerrainTexture texture;
  ASSERT_TRUE(ReadDdsTexture(path, texture));
  EXPECT_EQ(texture.width, 3);
  EXPECT_EQ(texture.height, 2);
  EXPECT_EQ(texture.pixels[1 * 3 + 2], 0xAA020155u);  // rows from the top
  std::string good;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, good));

  struct Case {
    const char* what;
    size_t offset;  // where a 32-bit value is changed; SIZE_MAX: the file is cut instead
    uint32_t value;
  };
  const Case cases[] = {
      {"another magic", 0, 0x20534443},
      {"another header size", 4, 100},
      {"no RGB flag", 80, 0},
      {"compressed", 80, 0x44},
      {"24 bits", 88, 24},
      {"red and blue swapped", 92, 0x000000FF},
      {"no width", 16, 0},
      {"too high", 12, kMaxTerrainTextureSide + 1},
      {"more rows than bytes", 12, 3},
      {"last byte missing", SIZE_MAX, 0},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    if (c.offset == SIZE_MAX) {
      bytes.pop_back();
    } else {
      Put32(bytes, c.offset, c.value);
    }
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    TerrainTexture untouched;
    untouched.width = 7;
    EXPECT_FALSE(ReadDdsTexture(path, untouched)) << c.what;
    EXPECT_EQ(untouched.width, 7) << c.what;
  }
  EXPECT_FALSE(ReadDdsTexture(dir.File("missing.dds"), texture));
}

}  // namespace
