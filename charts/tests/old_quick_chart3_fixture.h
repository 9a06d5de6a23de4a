#pragma once
// A chunk-store chart for tests: the chart file (3 x 2 chunks) and, when asked, its local store.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "charts/old_quick_chart3.h"
#include "charts/tests/qc3_store_fixture.h"
#include "charts/tile_codec.h"
#include "core/persistent_value.h"
#include "tests/chart_fixture.h"
#include "tests/default_servers.h"
#include "tests/temp_dir.h"

namespace vd::test {

class ChunkChartTest : public testing::Test {
 protected:
  void SetUp() override {
    // The settings live apart from the chart folder, whose files the tests look at.
    vd::SetProfileLocation("Software\\Test\\Chunks", settings_dir.path());
    PointDefaultServersAt(kNoServerPort);
  }
  void TearDown() override { vd::SetProfileLocation(vd::kDefaultProfileKey); }

  // Writes "sea.qct" (40 x 32 tiles: 3 x 2 chunks) naming `online_address`; returns its path.
  std::string WriteChart(const std::string& online_address = "") {
    ChartFixture chart;
    chart.version = 0x20000001;
    chart.width = 40;
    chart.height = 32;
    chart.image.assign(size_t(40 * 64) * 32 * 64, 0);
    chart.texts = {{kQctName, "Sea"}};
    if (!online_address.empty()) {
      chart.extension = true;
      chart.online_address = online_address;
    }
    const std::string path = dir.File("sea.qct");
    EXPECT_TRUE(WriteChartFixture(path, chart));
    return path;
  }

  static Qc3StoreFixture Store() {
    Qc3StoreFixture store;
    store.across = 3;
    store.down = 2;
    return store;
  }

  // The tile's stored rows at a shift as chunk `seed` shows them decoded at `decoded`.
  static std::array<uint8_t, kTilePixels> ExpectedTile(int seed, int col, int row, int shift,
                                                       int decoded) {
    std::array<uint8_t, kTilePixels> tile{};
    const int cx = col % kQc3ChunkTiles;
    const int ry = row % kQc3ChunkTiles;
    for (int t = 0; t < (kTileSide >> shift); ++t) {
      const int y = (ry * kTileSide + ReverseBits6(t)) & ~((1 << decoded) - 1);
      for (int i = 0; i < kTileSide; ++i) {
        tile[size_t(t) * kTileSide + size_t(i)] = Qc3Pixel(seed, cx * kTileSide + i, y);
      }
    }
    return tile;
  }

  TempDir dir;
  TempDir settings_dir;
};

}  // namespace vd::test
