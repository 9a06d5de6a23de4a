#include "lumex/lumex_start_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "corvex/lumex_handover.h"

namespace {

TEST(LumexStartFileTest, ReadsWhatTheChartProgramWrites) {
  const auto bytes = EncodeLumexStartFile("C:\\Charts\\Caf\xC3\xA9.qct", "",
                                          {CLatLon(50.5, -4.25), CLatLon(-33.75, 151.125)});
  ASSERT_TRUE(bytes);
  const auto file = DecodeLumexStartFile(*bytes);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->chart_path, "C:/Charts/Caf\xC3\xA9.qct");
  EXPECT_EQ(file->elevation_path, "");
  ASSERT_EQ(file->points.size(), 2u);
  EXPECT_EQ(file->points[0].lat, 50.5);
  EXPECT_EQ(file->points[0].lon, -4.25);
  EXPECT_EQ(file->points[1].lat, -33.75);
  EXPECT_EQ(file->points[1].lon, 151.125);
}

std::string Header(int32_t n) {
  std::string bytes("a.qct\0e.qed\0", 12);
  bytes.append(reinterpret_cast<const char*>(&n), 4);
  return bytes;
}

TEST(LumexStartFileTest, RefusesFilesThatDoNotHoldTheirPoints) {
  const std::string point(16, '\0');
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"no points", Header(0)},
      {"negative count", Header(-1) + point},
      {"a point short", Header(2) + point},
      {"a point cut", Header(1) + point.substr(0, 15)},
      {"count cut", Header(1).substr(0, 14)},
      {"huge count", Header(0x7FFFFFFF) + point},
      {"second path unended", std::string("a.qct\0e.qed", 11)},
      {"empty", ""},
  };
  for (const auto& c : cases) EXPECT_FALSE(DecodeLumexStartFile(c.bytes)) << c.what;
  EXPECT_TRUE(DecodeLumexStartFile(Header(1) + point));
}

}  // namespace
