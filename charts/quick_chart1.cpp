#include "charts/quick_chart1.h"

#include <algorithm>
#include <cstring>

int CQuickChart1::GetTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer,
                          QuickChartTileContext& /*context*/) {
  const int rows = kTileSide >> std::clamp(shift, 0, kMaxShift);
  const size_t bytes = size_t(rows) * kTileSide;
  if (col < 0 || row < 0 || col >= width_in_tiles() || row >= height_in_tiles() ||
      file().FirstIndexEntry().value_or(0) == 0) {
    std::memset(buffer.data(), 1, bytes);
    return 0;
  }
  const QctFileView::Tile tile = file().TileAt(header(), col, row);
  if (tile.bytes.empty()) {
    std::memset(buffer.data(), 0, bytes);
  } else {
    DecodeTile(tile.bytes, buffer, rows);  // a damaged tile comes out as colour 0
  }
  return 0;
}
