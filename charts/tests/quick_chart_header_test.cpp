#include "charts/quick_chart_header.h"

#include <gtest/gtest.h>

TEST(QuickChartHeaderTest, ClassifiesVersions) {
  const struct {
    uint32_t version;
    QctVersionKind kind;
  } cases[] = {
      {0, QctVersionKind::kTiled},
      {5, QctVersionKind::kTiled},
      {6, QctVersionKind::kNewerTiled},
      {0x00FFFFFF, QctVersionKind::kNewerTiled},
      {0x01000002, QctVersionKind::kNewChunkStore},
      {0x02000000, QctVersionKind::kNewerTiled},
      {0x0FFFFFFF, QctVersionKind::kNewerTiled},
      {0x10000003, QctVersionKind::kOtherChunkStore},
      {0x20000001, QctVersionKind::kChunkStore},
      {0x30000000, QctVersionKind::kUnknown},
      {0xFFFFFFFF, QctVersionKind::kUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(c.kind, ClassifyQctVersion(c.version)) << std::hex << c.version;

  EXPECT_TRUE(HasQctTileIndexLayout(0x0FFFFFFF));
  EXPECT_FALSE(HasQctTileIndexLayout(0x10000000));
  EXPECT_FALSE(IsQctChunkStoreVersion(0x0FFFFFFF));
  EXPECT_TRUE(IsQctChunkStoreVersion(0x10000000));
  EXPECT_TRUE(IsQctMagic(0x1423D5FF));
  EXPECT_TRUE(IsQctMagic(0x1423D5FE));
  EXPECT_FALSE(IsQctMagic(0x1423D5FD));
  EXPECT_FALSE(IsQctMagic(0xFFD52314));
}

TEST(QuickChartHeaderTest, FieldsSitAtTheirOffsets) {
  QuickChartHeader header;
  header.SetTextOffset(kQctDepthUnits, 0x11223344);
  header.SetTextOffset(kQctOriginalName, 0x55667788);
  header.georef.inverse.second[9] = 1.0;
  const auto bytes = header.Bytes();
  EXPECT_EQ(0x44, bytes[0x34]);
  EXPECT_EQ(0x11, bytes[0x37]);
  EXPECT_EQ(0x88, bytes[0x44]);
  EXPECT_EQ(0x11223344u, header.depth_units);
  EXPECT_EQ(0x55667788u, header.TextOffset(kQctOriginalName));
  EXPECT_EQ(0x3F, bytes[0x60 + 39 * 8 + 7]);  // the last double of the block is 1.0

  QuickChartHeader copy;
  EXPECT_FALSE(copy.FromBytes(bytes.first(kQctHeaderSize - 1)));
  ASSERT_TRUE(copy.FromBytes(bytes));
  EXPECT_EQ(1.0, copy.georef.inverse.second[9]);

  EXPECT_FALSE(copy.HasGeoreference());
  copy.georef.forward.first[2] = 0.5;
  EXPECT_TRUE(copy.HasGeoreference());
}

TEST(QuickChartHeaderTest, AlignsToEight) {
  EXPECT_EQ(0u, QctAlign8(0));
  EXPECT_EQ(8u, QctAlign8(1));
  EXPECT_EQ(8u, QctAlign8(8));
  EXPECT_EQ(0x45B0u, QctAlign8(0x45A9));
}
