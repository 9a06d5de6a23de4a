#include "lumex/chart_pixel_lookup.h"

#include <algorithm>
#include <cstring>

uint32_t ChartPixelLookup::GetPixelColour(int x, int y, int zoom_shift) {
  const int shift = std::clamp(zoom_shift, 0, COldQuickChart::kMaxReduceShift);
  const int column = x >> 6;
  const int row = y >> 6;
  if (column != tile_column_ || row != tile_row_ || shift != zoom_shift_) {
    if (chart_.ReadTile(column, row, shift, tile_) != 0) tile_.fill(1);
    tile_column_ = column;
    tile_row_ = row;
    zoom_shift_ = shift;
  }
  const int image_row = (y & 63) & ~((1 << shift) - 1);
  const uint8_t index = tile_[ReverseBits6(image_row) * kTileSide + (x & 63)];
  uint32_t colour = 0;
  std::memcpy(&colour, chart_.palette().data() + 4 * index, 4);
  return colour;
}
