#pragma once
// The newer reader of tiled charts (".qct"): every tile is decoded straight from the mapped file.
#include "charts/quick_chart.h"

class CQuickChart1 : public CQuickChart {
 public:
  // Colour 1 outside the chart, colour 0 where the tile's bytes can't be reached or decoded.
  // Always 0.
  int GetTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer,
              QuickChartTileContext& context) override;

 protected:
  bool OpensVersion(uint32_t version) const override { return (version >> 24) == 0; }
};
