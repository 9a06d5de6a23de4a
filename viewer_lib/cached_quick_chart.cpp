#include "viewer_lib/cached_quick_chart.h"

#include <algorithm>
#include <array>
#include <climits>

#include "charts/tile_codec.h"

namespace {

constexpr int kSide = CCachedQuickChart::kTileSide;
constexpr int kChunkShift = 10;  // 1024 chart pixels a chunk
constexpr int kPriorityReduction = 2;
constexpr int kChunkedThreads = 4;

// Level pixel <-> chart pixel.
int64_t ToLevel(int64_t chart, int level) { return level >= 0 ? chart >> level : chart << -level; }
int64_t ToChart(int64_t pixel, int level) { return level >= 0 ? pixel << level : pixel >> -level; }

int64_t FloorTo(int64_t value, int64_t step) {
  return value >= 0 ? value / step * step : -((-value + step - 1) / step) * step;
}
int64_t CeilTo(int64_t value, int64_t step) { return FloorTo(value + step - 1, step); }

vd::ui::Argb PaletteColour(std::span<const uint8_t> palette, uint8_t index) {
  const size_t i = size_t(std::min<int>(index, CQuickChart::kPaletteColours - 1)) * 4;
  return 0xFF000000u | uint32_t(palette[i + 2]) << 16 | uint32_t(palette[i + 1]) << 8 |
         palette[i];
}

}  // namespace

// ---- Decode pool ----

class CCachedQuickChart::CWorker : public CWorkerThread {
 public:
  class Job : public CWorkerThread::JobData {
   public:
    bool Claim() override;
    void Work() override;

    CWorker* worker = nullptr;
    // The tile being rendered, for the window thread to peek at; the job owns it meanwhile.
    std::atomic<const Tile*> current{nullptr};

   private:
    void Render(Tile& tile);

    std::unique_ptr<Tile> tile_;
    QuickChartTileContext context_;
    std::array<uint8_t, kTilePixels> scratch_{};
  };

  CWorker(CQuickChart& chart, int threads)
      : CWorkerThread(kPriorityReduction, threads), chart_(chart) {
    for (Job& job : jobs_) job.worker = this;
    StartInBackground();
  }
  ~CWorker() override { Stop(); }

  void Enqueue(std::unique_ptr<Tile> tile, int level) {
    const int64_t key = (ToChart(tile->y, level) >> kChunkShift << 16) +
                        (ToChart(tile->x, level) >> kChunkShift);
    {
      std::lock_guard lock(mutex());
      queue_.emplace(key, std::move(tile));
    }
    NotifyWorkers();
  }

  // The finished list, moved out under the result lock.
  TileList TakeFinished() {
    std::lock_guard lock(result_mutex_);
    return std::move(finished_);
  }
  bool HasFinished() {
    std::lock_guard lock(result_mutex_);
    return !finished_.empty();
  }
  size_t FinishedCount() {
    std::lock_guard lock(result_mutex_);
    return finished_.size();
  }
  const std::array<Job, kChunkedThreads>& jobs() const { return jobs_; }
  // Under mutex().
  std::multimap<int64_t, std::unique_ptr<Tile>>& queue() { return queue_; }

 protected:
  JobData* CreateJobData(int index) override { return &jobs_[index]; }

 private:
  CQuickChart& chart_;
  std::multimap<int64_t, std::unique_ptr<Tile>> queue_;  // by chunk key, under mutex()
  std::mutex result_mutex_;
  TileList finished_;  // under result_mutex_
  std::array<Job, kChunkedThreads> jobs_;
};

bool CCachedQuickChart::CWorker::Job::Claim() {
  auto& queue = worker->queue_;
  if (queue.empty()) return false;
  tile_ = std::move(queue.begin()->second);
  queue.erase(queue.begin());
  current.store(tile_.get());
  return true;
}

void CCachedQuickChart::CWorker::Job::Work() {
  tile_->state = Tile::kReady;
  context_.largest_gap = 0;
  Render(*tile_);
  std::lock_guard lock(worker->result_mutex_);
  worker->finished_.push_back(std::move(tile_));
  current.store(nullptr);
}

// Fills the tile from the chart's 64 x 64 tiles: each chart tile under it is read once, at the
// decimation its level allows, and its pixels spread or sampled into the bitmap.
void CCachedQuickChart::CWorker::Job::Render(Tile& tile) {
  CQuickChart& chart = worker->chart_;
  const int level = tile.level;
  const int shift = std::clamp(level, 0, CQuickChart::kMaxShift);
  std::array<int64_t, kSide> chart_x{}, chart_y{};
  for (int i = 0; i < kSide; ++i) {
    chart_x[i] = ToChart(int64_t(tile.x) + i, level);
    chart_y[i] = ToChart(int64_t(tile.y) + i, level);
  }
  const std::span<const uint8_t> palette = chart.palette();
  bool missing_source = false;
  for (int row0 = 0; row0 < kSide;) {
    const int64_t tile_row = chart_y[row0] >> 6;
    int row1 = row0;
    while (row1 < kSide && (chart_y[row1] >> 6) == tile_row) ++row1;
    for (int col0 = 0; col0 < kSide;) {
      const int64_t tile_col = chart_x[col0] >> 6;
      int col1 = col0;
      while (col1 < kSide && (chart_x[col1] >> 6) == tile_col) ++col1;
      const bool on_chart = tile_col >= 0 && tile_row >= 0 && tile_col <= INT32_MAX &&
                            tile_row <= INT32_MAX;
      if (!on_chart) {
        std::fill(scratch_.begin(), scratch_.end(), 1);  // the colour off the chart
      } else if (chart.GetTile(int(tile_col), int(tile_row), shift, scratch_, context_) != 0) {
        missing_source = true;
        std::fill(scratch_.begin(), scratch_.end(), 0);
      }
      for (int r = row0; r < row1; ++r) {
        // Rows at this level fall on multiples of 2^shift: a stored row of the decimated tile.
        const int stored = ReverseBits6(int(chart_y[r] & 63));
        uint32_t* out = tile.bitmap.Row(r);
        for (int c = col0; c < col1; ++c) {
          out[c] = PaletteColour(palette, scratch_[size_t(stored) * 64 + (chart_x[c] & 63)]);
        }
      }
      col0 = col1;
    }
    row0 = row1;
  }
  tile.deficit = context_.largest_gap;
  tile.incomplete = missing_source || context_.largest_gap > 0;
}

// ---- Tiles and grids ----

CCachedQuickChart::Tile::Tile() : bitmap(kSide, kSide) {}

void CCachedQuickChart::Tile::Release() {
  state = kReady;
  level = kEmptyLevel;
}

void CCachedQuickChart::LevelGrids::Grid::Resize(int32_t new_rows, int32_t new_cols) {
  rows = new_rows;
  cols = new_cols;
  cells.assign(size_t(rows) * size_t(cols), nullptr);
}

CCachedQuickChart::Tile* CCachedQuickChart::LevelGrids::Grid::At(int64_t row, int64_t col) const {
  if (row < 0 || row >= rows || col < 0 || col >= cols) return nullptr;
  return cells[size_t(row) * size_t(cols) + size_t(col)];
}

void CCachedQuickChart::LevelGrids::Grid::Set(int64_t row, int64_t col, Tile* tile) {
  if (row < 0 || row >= rows || col < 0 || col >= cols) return;
  cells[size_t(row) * size_t(cols) + size_t(col)] = tile;
}

// ---- The cache ----

CCachedQuickChart::CCachedQuickChart() = default;

CCachedQuickChart::~CCachedQuickChart() { StopWorkers(); }

int CCachedQuickChart::SetChart(const std::string& path) {
  StopWorkers();
  std::unique_ptr<CQuickChart> chart = OpenChart(path);
  if (!chart) return -1;
  chart_ = std::move(chart);
  chart_width_ = chart_->width();
  chart_height_ = chart_->height();
  return 0;
}

void CCachedQuickChart::StopWorkers() {
  worker_.reset();  // joins the decoders; the tiles they held go with them
  chart_.reset();
  cache_.clear();
}

void CCachedQuickChart::Reset() {
  worker_.reset();
  cache_.clear();
  if (chart_) chart_->FlushChunkCache();
  if (invalidate_) invalidate_();
}

bool CCachedQuickChart::IsBusy() { return worker_ && worker_->HasFinished(); }

int CCachedQuickChart::PendingTiles() {
  if (!worker_) return 0;
  size_t pending = 0;
  {
    std::lock_guard lock(worker_->mutex());
    pending += worker_->queue().size();
  }
  for (const auto& job : worker_->jobs()) pending += job.current.load() != nullptr;
  pending += worker_->FinishedCount();
  return int(pending);
}

void CCachedQuickChart::ReleaseToBack(std::unique_ptr<Tile> tile) {
  tile->Release();
  cache_.push_back(std::move(tile));
}

bool CCachedQuickChart::CellOf(const Tile& tile, int64_t& row, int64_t& col) const {
  const int64_t dy = tile.y - grids_.origin_y;
  const int64_t dx = tile.x - grids_.origin_x;
  if (dy < 0 || dx < 0) return false;
  row = dy / kSide;
  col = dx / kSide;
  return row < grids_.same.rows && col < grids_.same.cols;
}

void CCachedQuickChart::BuildGrids(const IntRect& rect, int64_t x0, int64_t y0, int level) {
  LevelGrids& g = grids_;
  g.origin_x = FloorTo(x0, kSide);
  g.origin_y = FloorTo(y0, kSide);
  const int64_t right = CeilTo(x0 + std::max(0, rect.right - rect.left), kSide);
  const int64_t bottom = CeilTo(y0 + std::max(0, rect.bottom - rect.top), kSide);
  const auto cols = int32_t((right - g.origin_x) / kSide);
  const auto rows = int32_t((bottom - g.origin_y) / kSide);
  g.same.Resize(rows, cols);
  g.requested.assign(size_t(rows) * size_t(cols), 0);
  // Coarse cells are aligned to 512 so that each covers whole cells of the visible level.
  g.coarse_origin_x = FloorTo(g.origin_x, 2 * kSide);
  g.coarse_origin_y = FloorTo(g.origin_y, 2 * kSide);
  g.coarser.Resize(int32_t((bottom - g.coarse_origin_y + 2 * kSide - 1) / (2 * kSide)),
                   int32_t((right - g.coarse_origin_x + 2 * kSide - 1) / (2 * kSide)));
  g.finer.Resize(2 * rows, 2 * cols);
  g.level = level;
}

void CCachedQuickChart::TakeInFinished() {
  cache_.splice(cache_.begin(), worker_->TakeFinished());
  for (const auto& job : worker_->jobs()) {
    const Tile* tile = job.current.load();
    int64_t row, col;
    if (tile && tile->level == grids_.level && CellOf(*tile, row, col)) {
      grids_.requested[size_t(row) * grids_.same.cols + size_t(col)] = 1;
    }
  }
}

void CCachedQuickChart::CancelStaleRequests() {
  std::lock_guard lock(worker_->mutex());
  auto& queue = worker_->queue();
  for (auto it = queue.begin(); it != queue.end();) {
    int64_t row, col;
    if (it->second->level == grids_.level && CellOf(*it->second, row, col)) {
      grids_.requested[size_t(row) * grids_.same.cols + size_t(col)] = 1;
      ++it;
    } else {
      ReleaseToBack(std::move(it->second));
      it = queue.erase(it);
    }
  }
}

void CCachedQuickChart::PlaceCachedTiles() {
  const int level = grids_.level;
  std::vector<TileList::iterator> placed;
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    Tile& tile = **it;
    int64_t row, col;
    if (tile.level == level && CellOf(tile, row, col)) {
      Tile* held = grids_.same.At(row, col);
      if (held && held->deficit <= tile.deficit) {
        tile.Release();  // the cell keeps the better or earlier tile
        continue;
      }
      if (held) held->Release();
      grids_.same.Set(row, col, &tile);
      placed.push_back(it);
    } else if (tile.level == level + 1) {
      grids_.coarser.Set((2 * int64_t(tile.y) - grids_.coarse_origin_y) >> 9,
                         (2 * int64_t(tile.x) - grids_.coarse_origin_x) >> 9, &tile);
    } else if (tile.level == level - 1) {
      grids_.finer.Set(((int64_t(tile.y) >> 1) - grids_.origin_y) >> 7,
                       ((int64_t(tile.x) >> 1) - grids_.origin_x) >> 7, &tile);
    }
  }
  for (const auto it : placed) {
    if ((*it)->level == level) cache_.splice(cache_.begin(), cache_, it);
  }
}

void CCachedQuickChart::Paint(vd::ui::Surface& dc, int64_t dx, int64_t dy, bool& incomplete) {
  LevelGrids& g = grids_;
  for (int32_t row = 0; row < g.same.rows; ++row) {
    for (int32_t col = 0; col < g.same.cols; ++col) {
      const int64_t x = g.origin_x + int64_t(kSide) * col;
      const int64_t y = g.origin_y + int64_t(kSide) * row;
      if (Tile* tile = g.same.At(row, col)) {
        dc.Blit({int(x + dx), int(y + dy)}, tile->bitmap);
        incomplete = incomplete || tile->incomplete;
        if (tile->state == Tile::kDataArrived) g.same.Set(row, col, nullptr);
        continue;
      }
      const vd::ui::Rect cell{int(x + dx), int(y + dy), int(x + dx) + kSide, int(y + dy) + kSide};
      const int64_t coarse_x = x - g.coarse_origin_x, coarse_y = y - g.coarse_origin_y;
      if (Tile* coarse = g.coarser.At(coarse_y >> 9, coarse_x >> 9)) {
        // Only the quarter under this cell, so that sharper neighbours are not painted over.
        const int sx = int(coarse_x & 511) / 2, sy = int(coarse_y & 511) / 2;
        dc.StretchBlit(cell, coarse->bitmap, {sx, sy, sx + kSide / 2, sy + kSide / 2});
        continue;
      }
      for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
          Tile* fine = g.finer.At(2 * row + i, 2 * col + j);
          if (!fine) continue;
          const int left = cell.left + j * kSide / 2, top = cell.top + i * kSide / 2;
          dc.StretchBlit({left, top, left + kSide / 2, top + kSide / 2}, fine->bitmap,
                         {0, 0, kSide, kSide});
        }
      }
    }
  }
}

void CCachedQuickChart::RequestMissing() {
  LevelGrids& g = grids_;
  for (int32_t row = 0; row < g.same.rows; ++row) {
    for (int32_t col = 0; col < g.same.cols; ++col) {
      if (g.same.At(row, col) || g.requested[size_t(row) * g.same.cols + size_t(col)]) continue;
      if (cache_.empty() || cache_.back()->bitmap.IsNull()) return;  // nothing to render into
      std::unique_ptr<Tile> tile = std::move(cache_.back());
      cache_.pop_back();
      tile->state = Tile::kReady;
      tile->x = int32_t(g.origin_x + int64_t(kSide) * col);
      tile->y = int32_t(g.origin_y + int64_t(kSide) * row);
      tile->level = g.level;
      worker_->Enqueue(std::move(tile), g.level);
    }
  }
}

bool CCachedQuickChart::DrawTiles(vd::ui::Surface& dc, const IntRect& rect, vd::ui::Point origin,
                                  int level, bool& incomplete) {
  incomplete = false;
  if (!chart_) return false;
  const int64_t x0 = ToLevel(origin.x, level);
  const int64_t y0 = ToLevel(origin.y, level);
  BuildGrids(rect, x0, y0, level);
  if (!worker_) {
    const bool chunked = (chart_->header().version >> 24) != 0;
    worker_ = std::make_unique<CWorker>(*chart_, chunked ? kChunkedThreads : 1);
  }
  TakeInFinished();
  CancelStaleRequests();
  const size_t pool = 3 * size_t(grids_.same.rows) * size_t(grids_.same.cols);
  while (cache_.size() < pool) cache_.push_back(std::make_unique<Tile>());
  PlaceCachedTiles();
  Paint(dc, rect.left - x0, rect.top - y0, incomplete);
  RequestMissing();
  return true;
}
