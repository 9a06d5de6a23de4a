#include "charts/qc3_downloader.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "charts/qc3_tile_store.h"
#include "core/http_connection.h"

namespace {

// The cell of a pixel coordinate, truncated towards zero as the box is taken; values beyond
// int32 are clamped first (they lie outside every chart anyway).
int CellOf(double pixel) {
  const double clamped = std::clamp(pixel, -2147483648.0, 2147483647.0);
  return int(std::trunc(clamped)) / CQC3Downloader::kCellSide;
}

}  // namespace

class CQC3Downloader::Job : public CWorkerThread::JobData {
 public:
  explicit Job(CQC3Downloader& downloader) : downloader_(downloader) {}

  void Connect() {
    connection_ = std::make_unique<CHttpConnection>(downloader_.host_, downloader_.secure_);
    connection_->SetAbortCallback(downloader_.abort_, downloader_.user_);
  }

  // Under the pool's lock.
  bool Claim() override {
    CQC3Downloader& d = downloader_;
    if (d.completed_ || !d.KeepGoing()) return false;
    for (;;) {
      if (++d.col_ > d.last_col_) {
        d.col_ = d.first_col_;
        ++d.row_;
      }
      if (d.row_ > d.last_row_) {
        d.completed_ = true;
        return false;
      }
      if (d.CellWanted(d.row_, d.col_)) break;
    }
    row_ = d.row_;
    col_ = d.col_;
    ++d.counts_.claimed;
    return true;
  }

  void Work() override {
    fetched_ = downloader_.store_.FetchChunkRetry(*connection_, row_, col_,
                                                  [this] { return downloader_.KeepGoing(); });
    if (!fetched_) ++downloader_.counts_.failed;
  }

 private:
  CQC3Downloader& downloader_;
  std::unique_ptr<CHttpConnection> connection_;
  int row_ = 0;
  int col_ = 0;
  bool fetched_ = true;
};

CQC3Downloader::CQC3Downloader(CQC3TileStore& store, const QuickChartHeader& header, bool secure,
                               std::string host, ChunkDownloadCounts& counts,
                               ChunkDownloadAbort abort, void* user)
    : store_(store),
      across_((header.width + kQc3ChunkTiles - 1) / kQc3ChunkTiles),
      down_((header.height + kQc3ChunkTiles - 1) / kQc3ChunkTiles),
      secure_(secure),
      host_(std::move(host)),
      counts_(counts),
      abort_(abort),
      user_(user) {
  for (int i = 0; i < count(); ++i) jobs_.push_back(std::make_unique<Job>(*this));
}

CQC3Downloader::~CQC3Downloader() { Stop(); }

CWorkerThread::JobData* CQC3Downloader::CreateJobData(int index) {
  Job& job = *jobs_[size_t(index)];
  job.Connect();
  return &job;
}

bool CQC3Downloader::DownloadBox(double min_x, double min_y, double max_x, double max_y) {
  if (std::isnan(min_x) || std::isnan(min_y) || std::isnan(max_x) || std::isnan(max_y)) {
    return false;
  }
  first_row_ = std::max(CellOf(min_y), 0);
  first_col_ = std::max(CellOf(min_x), 0);
  last_row_ = std::min(CellOf(max_y), down_ - 1);
  last_col_ = std::min(CellOf(max_x), across_ - 1);
  if (last_row_ < first_row_ || last_col_ < first_col_) return false;

  int64_t wanted = 0;
  for (int row = first_row_; row <= last_row_; ++row) {
    for (int col = first_col_; col <= last_col_; ++col) wanted += CellWanted(row, col) ? 1 : 0;
  }
  counts_.total = wanted;
  counts_.claimed = 0;
  counts_.failed = 0;
  completed_ = false;
  row_ = first_row_;
  col_ = first_col_ - 1;
  Run();
  return completed_ && counts_.failed == 0;
}
