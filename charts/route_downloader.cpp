#include "charts/route_downloader.h"

#include <algorithm>
#include <utility>

CRouteDownloader::CRouteDownloader(CQC3TileStore& store, const QuickChartHeader& header,
                                   bool secure, std::string host, ChunkDownloadCounts& counts,
                                   ChunkDownloadAbort abort, void* user,
                                   std::span<const PlanePoint> route, double radius_px)
    : CQC3Downloader(store, header, secure, std::move(host), counts, abort, user),
      route_(route),
      radius_px_(radius_px),
      r2_((radius_px + kHalfCellDiagonal) * (radius_px + kHalfCellDiagonal)) {}

bool CRouteDownloader::Download() {
  if (route_.empty()) return false;
  const auto [min_x, max_x] = std::minmax_element(
      route_.begin(), route_.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
  const auto [min_y, max_y] = std::minmax_element(
      route_.begin(), route_.end(), [](const auto& a, const auto& b) { return a.y < b.y; });
  return DownloadBox(min_x->x - radius_px_, min_y->y - radius_px_, max_x->x + radius_px_,
                     max_y->y + radius_px_);
}

bool CRouteDownloader::CellWanted(int row, int col) const {
  const double cx = double(col) * kCellSide + kCellSide / 2;
  const double cy = double(row) * kCellSide + kCellSide / 2;
  for (const PlanePoint& p : route_) {
    if ((cx - p.x) * (cx - p.x) + (cy - p.y) * (cy - p.y) <= r2_) return true;
  }
  for (size_t i = 1; i < route_.size(); ++i) {
    const PlanePoint& a = route_[i - 1];
    const PlanePoint& b = route_[i];
    const double abx = b.x - a.x;
    const double aby = b.y - a.y;
    const double acx = cx - a.x;
    const double acy = cy - a.y;
    const double t = acx * abx + acy * aby;
    const double h = abx * abx + aby * aby;
    const double cross = acx * aby - acy * abx;
    if (t >= 0 && t <= h && h * r2_ >= cross * cross) return true;
  }
  return false;
}
