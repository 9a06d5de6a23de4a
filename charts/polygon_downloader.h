#pragma once
// Downloads the chunk cells that touch a polygon of chart pixels: a corner or the centre of the
// cell inside the polygon, or a polygon point inside the cell (edges included).
#include <span>

#include "charts/qc3_downloader.h"

class CPolygonDownloader : public CQC3Downloader {
 public:
  // The polygon is the caller's and must outlive the downloader.
  CPolygonDownloader(CQC3TileStore& store, const QuickChartHeader& header, bool secure,
                     std::string host, ChunkDownloadCounts& counts, ChunkDownloadAbort abort,
                     void* user, std::span<const PlanePoint> polygon);

  // False for an empty polygon or box; see DownloadBox.
  bool Download();

 protected:
  bool CellWanted(int row, int col) const override;

 private:
  std::span<const PlanePoint> polygon_;
};
