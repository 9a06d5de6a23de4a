#include "charts/old_quick_chart1.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

// A chart pixel coordinate truncated to int; values outside int32 (and NaN) count as INT_MIN.
int TruncateToInt(double v) {
  return v >= double(INT_MIN) && v < double(INT_MAX) + 1.0 ? int(v) : INT_MIN;
}

}  // namespace

int64_t COldQuickChart1::GetAreaDataSize(std::span<const PlanePoint> polygon) {
  if (polygon.empty()) return 0;
  int min_x = INT_MAX, min_y = INT_MAX, max_x = INT_MIN, max_y = INT_MIN;
  for (const PlanePoint& p : polygon) {
    const int x = TruncateToInt(p.x);
    const int y = TruncateToInt(p.y);
    min_x = std::min(min_x, x);
    max_x = std::max(max_x, x);
    min_y = std::min(min_y, y);
    max_y = std::max(max_y, y);
  }
  const int first_col = std::max(0, min_x / kTileSide);
  const int first_row = std::max(0, min_y / kTileSide);
  const int last_col = std::min(max_x / kTileSide, header().width - 1);
  const int last_row = std::min(max_y / kTileSide, header().height - 1);
  int64_t total = 0;
  for (int row = first_row; row <= last_row; ++row) {
    for (int col = first_col; col <= last_col; ++col) {
      if (!SquareTouchesPolygon(double(col) * kTileSide, double(row) * kTileSide, kTileSide,
                                polygon)) {
        continue;
      }
      const QctFileView::Tile tile = file().TileAt(header(), col, row);
      total += int64_t(TileEncodedSize(tile.bytes, tile.offset));
    }
  }
  return total;
}

int COldQuickChart1::ReadTile(int col, int row, int shift,
                              std::span<uint8_t, kTilePixels> buffer) {
  const int rows = kTileSide >> std::clamp(shift, 0, 6);
  // (An open chart is never a reference file, whose tiles would read as index 1 too.)
  if (col < 0 || row < 0 || col >= header().width || row >= header().height) {
    std::memset(buffer.data(), 1, size_t(rows) * kTileSide);
    return 0;
  }
  const QctFileView::Tile tile = file().TileAt(header(), col, row);
  DecodeTile(tile.bytes, buffer, rows);  // index 0 where the bytes can't be reached
  return 0;
}
