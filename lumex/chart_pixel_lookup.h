#pragma once
// Colours of single chart pixels at a reduced zoom, for resampling a chart onto a texture of
// another shape. One decoded 64 x 64 tile is kept, so a run of look-ups in the same tile costs
// one table read each.
//
// A lookup belongs to one chart and one thread: the chart must outlive it, and two threads
// need two lookups (each with its own tile).
#include <array>
#include <cstdint>

#include "charts/old_quick_chart.h"

class ChartPixelLookup {
 public:
  explicit ChartPixelLookup(COldQuickChart& chart) : chart_(chart) {}

  // The palette colour (0x00RRGGBB; the top byte is the palette's fourth byte) of chart pixel
  // (x, y) at zoom shift 0..6 (clamped): at shift s the pixel shows the first pixel row of its
  // aligned group of 2^s rows, the rows a reduced tile read decodes. A tile the chart can't
  // read shows palette entry 1 throughout, and is kept like a read one.
  uint32_t GetPixelColour(int x, int y, int zoom_shift);

 private:
  COldQuickChart& chart_;
  int tile_column_ = -1;
  int tile_row_ = -1;
  int zoom_shift_ = -1;
  std::array<uint8_t, kTilePixels> tile_{};  // palette indices, rows in stored order
};
