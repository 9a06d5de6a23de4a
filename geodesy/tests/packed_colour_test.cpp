#include "geodesy/packed_colour.h"

#include <gtest/gtest.h>

namespace {

TEST(PackedColourTest, RedInTheLowByteEachModulo256) {
  struct Case {
    int red, green, blue, top;
    uint32_t value;
  };
  const Case cases[] = {
      {1, 2, 3, 4, 0x04030201u},
      {255, 0, 0, 0, 0x000000FFu},
      {256, -1, 511, 0x1FF, 0xFFFFFF00u},
  };
  for (const Case& c : cases) {
    PackedColour colour;
    colour.Set(c.red, c.green, c.blue, c.top);
    EXPECT_EQ(colour.value(), c.value) << c.red << " " << c.green << " " << c.blue << " " << c.top;
  }
}

}  // namespace
