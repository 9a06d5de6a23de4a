#pragma once
// Downloads the chunks of a box of chunk cells into a chart's chunk store on a pool of four
// workers, each with its own connection to the chunk server. Derived downloaders say which
// cells of the box are wanted. Cell (row, col) covers chart pixels 1024 col .. 1024 col + 1024
// across and 1024 row .. 1024 row + 1024 down.
//
// Cells are claimed in row-major order under the pool's lock, which alone moves the current
// cell and the claimed count; fetches run in parallel outside it. A chunk is stored whole or
// up to the words that arrived intact, never beyond (the store writes data before the header
// that counts it), so a stopped download resumes where it left off.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "charts/quick_chart.h"
#include "core/worker_thread.h"

class CHttpConnection;
class CQC3TileStore;

class CQC3Downloader : public CWorkerThread {
 public:
  static constexpr int kCellSide = 1024;  // chart pixels

  // header: the chart's (its size in tiles gives the cell grid). abort: asked before every
  // claim and during every transfer (null: never stop).
  CQC3Downloader(CQC3TileStore& store, const QuickChartHeader& header, bool secure,
                 std::string host, ChunkDownloadCounts& counts, ChunkDownloadAbort abort,
                 void* user);
  ~CQC3Downloader() override;

 protected:
  // Fetches the wanted cells of the box of cells touching the pixel rectangle [min, max] (the
  // box clipped to the chart); blocks until done. total is set first (left alone for an empty
  // box). True when every wanted cell was handed out and fetched.
  bool DownloadBox(double min_x, double min_y, double max_x, double max_y);
  virtual bool CellWanted(int row, int col) const = 0;

  JobData* CreateJobData(int index) override;

 private:
  class Job;
  bool KeepGoing() const { return abort_ == nullptr || abort_(user_); }

  CQC3TileStore& store_;
  int across_;
  int down_;
  bool secure_;
  std::string host_;
  ChunkDownloadCounts& counts_;
  ChunkDownloadAbort abort_;
  void* user_;
  std::vector<std::unique_ptr<Job>> jobs_;
  // The box and the claim cursor; under the pool's mutex once the workers run.
  int first_row_ = 0;
  int first_col_ = 0;
  int last_row_ = -1;
  int last_col_ = -1;
  int row_ = 0;
  int col_ = 0;
  bool completed_ = false;
};
