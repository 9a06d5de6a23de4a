// Fuzz target: tiled chart files opened by the chart readers of both generations, then tiles
// read through their tile index at every level of detail and an area rendered. Chunk-store
// charts are left out: opening one asks the server its file names for the store.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "charts/old_quick_chart.h"
#include "charts/quick_chart.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  uint32_t version = 0;
  std::memcpy(&version, data + 4, 4);
  if (version >= 0x01000000) return 0;
  const std::string path = vd::fuzz::WriteInput("chart.qct", data, size);
  std::array<uint8_t, kTilePixels> tile;
  if (std::unique_ptr<COldQuickChart> chart = OpenOldQuickChart(path, false)) {
    const int across = (chart->width() + kTileSide - 1) / kTileSide;
    const int down = (chart->height() + kTileSide - 1) / kTileSide;
    const int tiles = int(std::min<int64_t>(int64_t(across) * down, 64));
    for (int i = 0; i < tiles; ++i) (void)chart->ReadTile(i % across, i / across, i % 7, tile);
    std::vector<uint8_t> area(128 * 128);
    (void)chart->RenderPaletteArea(0, 0, 128, 128, 128, 0, area.data());
    (void)chart->RenderPaletteArea(0, 0, 128, 128, 128, 1, area.data());
    double lat = 0, lon = 0;
    chart->PixelToLatLon(chart->width() / 2.0, chart->height() / 2.0, lat, lon);
  }
  if (std::unique_ptr<CQuickChart> chart = OpenChart(path)) {
    QuickChartTileContext context;
    const int across = chart->width_in_tiles();
    const int tiles = int(std::min<int64_t>(int64_t(across) * chart->height_in_tiles(), 64));
    for (int i = 0; i < tiles; ++i)
      (void)chart->GetTile(i % across, i / across, i % 7, tile, context);
  }
  return 0;
}
