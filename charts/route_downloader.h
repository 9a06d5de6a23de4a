#pragma once
// Downloads the chunk cells along a route of chart pixels: those whose centre lies within
// radius + half a cell diagonal of a route point or of a leg (measured square to the leg, where
// the foot of the perpendicular falls on it).
#include <span>

#include "charts/qc3_downloader.h"

class CRouteDownloader : public CQC3Downloader {
 public:
  // A cell's half diagonal, taken a hair short of 512 x sqrt(2).
  static constexpr double kHalfCellDiagonal = 724.0704;

  // radius_px: the greatest distance from the route to be covered, in chart pixels. The route
  // is the caller's and must outlive the downloader.
  CRouteDownloader(CQC3TileStore& store, const QuickChartHeader& header, bool secure,
                   std::string host, ChunkDownloadCounts& counts, ChunkDownloadAbort abort,
                   void* user, std::span<const PlanePoint> route, double radius_px);

  // False for an empty route or box; see DownloadBox.
  bool Download();

 protected:
  bool CellWanted(int row, int col) const override;

 private:
  std::span<const PlanePoint> route_;
  double radius_px_;
  double r2_;  // squared test radius
};
