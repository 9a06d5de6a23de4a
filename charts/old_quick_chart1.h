#pragma once
// The reader of tiled chart files (".qct"): every tile is decoded straight from the mapped file.
#include "charts/old_quick_chart.h"

class COldQuickChart1 : public COldQuickChart {
 public:
  // Sum of the stored lengths of the tiles touching the polygon (chart pixels).
  int64_t GetAreaDataSize(std::span<const PlanePoint> polygon) override;
  // A column or row outside the chart, or a reference file's index, gives index 1; a tile whose
  // bytes can't be reached or decoded gives index 0. Always 0.
  int ReadTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer) override;
};
