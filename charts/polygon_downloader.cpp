#include "charts/polygon_downloader.h"

#include <algorithm>
#include <utility>

CPolygonDownloader::CPolygonDownloader(CQC3TileStore& store, const QuickChartHeader& header,
                                       bool secure, std::string host, ChunkDownloadCounts& counts,
                                       ChunkDownloadAbort abort, void* user,
                                       std::span<const PlanePoint> polygon)
    : CQC3Downloader(store, header, secure, std::move(host), counts, abort, user),
      polygon_(polygon) {}

bool CPolygonDownloader::Download() {
  if (polygon_.empty()) return false;
  const auto [min_x, max_x] = std::minmax_element(
      polygon_.begin(), polygon_.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
  const auto [min_y, max_y] = std::minmax_element(
      polygon_.begin(), polygon_.end(), [](const auto& a, const auto& b) { return a.y < b.y; });
  return DownloadBox(min_x->x, min_y->y, max_x->x, max_y->y);
}

bool CPolygonDownloader::CellWanted(int row, int col) const {
  const double x0 = double(col) * kCellSide;
  const double y0 = double(row) * kCellSide;
  const double side = kCellSide;
  if (polygon_.size() >= 3) {
    const PlanePoint probes[] = {{x0, y0},
                                 {x0 + side, y0},
                                 {x0 + side, y0 + side},
                                 {x0, y0 + side},
                                 {x0 + side / 2, y0 + side / 2}};
    for (const PlanePoint& p : probes) {
      if (PointInPolygon(p.x, p.y, polygon_)) return true;
    }
  }
  return std::any_of(polygon_.begin(), polygon_.end(), [&](const PlanePoint& p) {
    return x0 <= p.x && p.x <= x0 + side && y0 <= p.y && p.y <= y0 + side;
  });
}
