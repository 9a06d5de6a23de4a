#pragma once
// Chunk-store charts of any size for the newer readers' tests, beside the stores of
// qc3_store_fixture.h.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "charts/quick_chart3.h"
#include "charts/tests/old_quick_chart3_fixture.h"

namespace vd::test {

struct ChunkChartOptions {
  std::string name = "sea.qct";
  uint32_t version = 0x20000001;
  int width = 40;   // tiles
  int height = 32;  // tiles
  std::string online_address;
  uint32_t flags = 0;
  std::vector<GeoPoint> outline;
};

class QuickChart3Test : public ChunkChartTest {
 protected:
  static ChunkChartOptions Sized(int width, int height) {
    ChunkChartOptions options;
    options.width = width;
    options.height = height;
    return options;
  }
  static ChunkChartOptions Named(const std::string& name, const std::string& address = "") {
    ChunkChartOptions options;
    options.name = name;
    options.online_address = address;
    return options;
  }
  // Writes the chart file (no tiles: they live in the store); returns its path.
  std::string WriteChunkChart(const ChunkChartOptions& options) {
    ChartFixture chart;
    chart.version = options.version;
    chart.width = options.width;
    chart.height = options.height;
    chart.reference = true;  // no tiles in the file
    chart.flags = options.flags;
    chart.outline = options.outline;
    if (!options.online_address.empty()) {
      chart.extension = true;
      chart.online_address = options.online_address;
    }
    const std::string path = dir.File(options.name);
    EXPECT_TRUE(WriteChartFixture(path, chart));
    return path;
  }

  // A store of across x down chunks where every chunk listed in `seeds` (row-major, -1:
  // absent, -2: blank) is stored whole.
  static Qc3StoreFixture Grid(int across, int down, const std::vector<int>& seeds) {
    Qc3StoreFixture store;
    store.across = across;
    store.down = down;
    for (size_t n = 0; n < seeds.size(); ++n) {
      const std::pair<int, int> place{int(n) / across, int(n) % across};
      if (seeds[n] >= 0) store.chunks[place] = {0, seeds[n], 0};
      if (seeds[n] == -2) store.chunks[place] = {kQc3BlankChunk, -1, 0};
    }
    return store;
  }

  static std::unique_ptr<CQuickChart3> OpenChunked(const std::string& path) {
    std::unique_ptr<CQuickChart> chart = OpenChart(path);
    auto* chunked = dynamic_cast<CQuickChart3*>(chart.get());
    if (chunked == nullptr) return nullptr;
    chart.release();
    return std::unique_ptr<CQuickChart3>(chunked);
  }
};

}  // namespace vd::test
