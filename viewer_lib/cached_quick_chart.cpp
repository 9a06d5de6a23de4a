#include "viewer_lib/cached_quick_chart.h"

#include <algorithm>
#include <array>
#include <climits>

#include "charts/qc3_tile_store.h"
#include "charts/quick_chart3.h"
#include "charts/quick_chart_view_settings.h"
#include "charts/tile_codec.h"
#include "core/http_connection.h"

namespace {

constexpr int kSide = CCachedQuickChart::kTileSide;
constexpr int kChunkShift = 10;  // 1024 chart pixels a chunk
constexpr int kPriorityReduction = 2;
constexpr int kChunkedThreads = 4;
constexpr int kWebPriorityReduction = 1;
constexpr int kWebThreads = 4;
// Fetches stop for good after this many failures.
constexpr int kMaxChunkFailures = 3;
// Tiles are rendered at most 6 levels coarser than the chart: finer chunk levels are what a
// first fetch brings.
constexpr int kMaxFetchCount = 7;

// The download threads' key of a chunk.
int64_t WebKey(int row, int col) { return (int64_t(row) << 16) | (col & 0xFFFF); }
int WebKeyRow(int64_t key) { return int(key >> 16); }
int WebKeyCol(int64_t key) { return int(key & 0xFFFF); }

// Level pixel <-> chart pixel.
int64_t ToLevel(int64_t chart, int level) { return level >= 0 ? chart >> level : chart << -level; }
int64_t ToChart(int64_t pixel, int level) { return level >= 0 ? pixel << level : pixel >> -level; }

int64_t FloorTo(int64_t value, int64_t step) {
  return value >= 0 ? value / step * step : -((-value + step - 1) / step) * step;
}
int64_t CeilTo(int64_t value, int64_t step) { return FloorTo(value + step - 1, step); }

}  // namespace

// ---- Download pool ----

class CCachedQuickChart::CWebWorker : public CWorkerThread {
 public:
  class Job : public CWorkerThread::JobData {
   public:
    bool Claim() override;
    void Work() override;

    CWebWorker* web = nullptr;
    std::unique_ptr<CHttpConnection> connection;
    int64_t key = -1;  // the chunk of the last claim; cleared after a successful fetch
    int count = -1;    // detail levels still to fetch when claimed; -1: none
  };

  explicit CWebWorker(CQuickChart3& chart)
      : CWorkerThread(kWebPriorityReduction, kWebThreads), chart_(chart), store_(chart.store()) {
    for (Job& job : jobs_) job.web = this;
    StartInBackground();
  }
  ~CWebWorker() override {
    Stop();
    chart_.SetLookupAbort(nullptr, nullptr);
  }

  // A chunk lacks detail: `count` is the level its data came from, `threshold` the one wanted.
  void Request(int64_t key, int count, int threshold) {
    {
      std::lock_guard lock(mutex());
      threshold_ = threshold;
      requests_[key] = count;
    }
    NotifyWorkers();
  }

  // Keeps the requests of the visible chunks [left, right) x [top, bottom).
  void Retarget(int level, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    std::lock_guard lock(mutex());
    threshold_ = std::max(level - 1, 0);
    std::erase_if(requests_, [&](const auto& entry) {
      const int64_t row = WebKeyRow(entry.first), col = WebKeyCol(entry.first);
      return col < left || col >= right || row < top || row >= bottom;
    });
  }

  std::map<int64_t, int> TakeArrivals() {
    std::lock_guard lock(arrivals_mutex_);
    return std::move(arrivals_);
  }
  bool HasArrivals() {
    std::lock_guard lock(arrivals_mutex_);
    return !arrivals_.empty();
  }
  int failures() const { return failures_.load(); }

  int Pending() {
    // Requests count while they can still be claimed; fetches under way always.
    const bool claiming = !stopping() && failures_ < kMaxChunkFailures && !gave_up_;
    int pending = 0;
    {
      std::lock_guard lock(mutex());
      if (claiming) {
        for (const auto& [key, count] : requests_) pending += count > threshold_;
      }
      for (const Job& job : jobs_) pending += job.count > 0;
    }
    return pending + (HasArrivals() ? 1 : 0);
  }

 protected:
  JobData* CreateJobData(int index) override { return &jobs_[size_t(index)]; }

  // Finds the chart's chunk server; without one nothing is ever fetched.
  bool Begin() override {
    chart_.SetLookupAbort(&KeepGoing, this);
    Connect(jobs_[0]);
    chart_.GetChunkServer(secure_, host_);
    gave_up_ = host_.empty();
    if (!gave_up_) jobs_[0].connection->SetServer(host_, secure_);
    return !gave_up_;
  }

 private:
  static bool KeepGoing(void* user) { return !static_cast<CWebWorker*>(user)->stopping(); }
  void Connect(Job& job) {
    job.connection = std::make_unique<CHttpConnection>(host_, secure_);
    job.connection->SetAbortCallback(&KeepGoing, this);
  }

  CQuickChart3& chart_;
  CQC3TileStore* store_;
  std::array<Job, kWebThreads> jobs_;
  int threshold_ = 0;                // under mutex()
  std::map<int64_t, int> requests_;  // chunk -> level its data come from; under mutex()
  std::atomic<int> failures_{0};
  std::atomic<bool> gave_up_{false};
  std::mutex arrivals_mutex_;
  std::map<int64_t, int> arrivals_;  // chunk -> count at arrival; under arrivals_mutex_
  bool secure_ = false;              // written by Begin before the other threads start
  std::string host_;
};

bool CCachedQuickChart::CWebWorker::Job::Claim() {
  count = -1;
  CWebWorker& w = *web;
  if (w.failures_ >= kMaxChunkFailures || w.store_ == nullptr) return false;
  int64_t best_key = -1;
  int best = 0;
  for (auto it = w.requests_.begin(); it != w.requests_.end();) {
    const bool taken = std::any_of(w.jobs_.begin(), w.jobs_.end(),
                                   [&](const Job& job) { return job.key == it->first; });
    if (it->second <= w.threshold_ || taken) {
      // Done, or being fetched (it comes back, one level finer, when that succeeds); a chunk
      // whose fetch failed stays recorded and so is dropped here.
      it = w.requests_.erase(it);
      continue;
    }
    if (it->second > best) {
      best = it->second;
      best_key = it->first;
    }
    ++it;
  }
  if (best <= 0) return false;
  key = best_key;
  count = best;
  return true;
}

void CCachedQuickChart::CWebWorker::Job::Work() {
  CWebWorker& w = *web;
  if (!connection) w.Connect(*this);
  const int levels = std::min(count, kMaxFetchCount);
  if (!w.store_->DownloadLevel(*connection, WebKeyRow(key), WebKeyCol(key), levels - 1)) {
    if (!w.stopping()) ++w.failures_;
  } else {
    const int64_t fetched = key;
    {
      std::lock_guard lock(w.mutex());
      w.requests_[fetched] = levels - 1;
      key = -1;
    }
    std::lock_guard lock(w.arrivals_mutex_);
    w.arrivals_[fetched] = levels;
  }
  std::lock_guard lock(w.mutex());
  count = -1;
}

// ---- Decode pool ----

class CCachedQuickChart::CWorker : public CWorkerThread {
 public:
  class Job : public CWorkerThread::JobData {
   public:
    bool Claim() override;
    void Work() override;

    void Attach(CWorker* owner) {
      worker = owner;
      context_.callback = &OnMissingChunk;
      context_.user = this;
    }

    CWorker* worker = nullptr;
    // The tile being rendered, for the window thread to peek at; the job owns it meanwhile.
    std::atomic<const Tile*> current{nullptr};

   private:
    void Render(Tile& tile);

    // Told by the chart of a chunk that lacks detail (on this job's thread, while rendering).
    static void OnMissingChunk(void* user, CQC3TileStore& store, int chunk_row, int chunk_col,
                               int decoded_level, int requested_level);

    std::unique_ptr<Tile> tile_;
    QuickChartTileContext context_;
  };

  CWorker(CQuickChart& chart, int threads)
      : CWorkerThread(kPriorityReduction, threads), chart_(chart) {
    for (Job& job : jobs_) job.Attach(this);
    StartInBackground();
  }
  // The decoders end first: they hand requests to the download threads.
  ~CWorker() override {
    Stop();
    web_.reset();
  }

  // The download threads; null until the first chunk was asked for. Under the result lock.
  CWebWorker* web() {
    std::lock_guard lock(result_mutex_);
    return web_.get();
  }
  // Whether missing chunks are fetched (the window's thread sets it at every paint).
  std::atomic<bool> automatic_download{true};
  // Counts the arrival takings of the window's thread; tiles note it when rendering starts.
  std::atomic<uint64_t> arrival_stamp{0};

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
  std::unique_ptr<CWebWorker> web_;  // under result_mutex_
};

void CCachedQuickChart::CWorker::Job::OnMissingChunk(void* user, CQC3TileStore& /*store*/,
                                                     int chunk_row, int chunk_col,
                                                     int decoded_level, int requested_level) {
  auto* job = static_cast<Job*>(user);
  if (job == nullptr || job->worker == nullptr || !job->worker->automatic_download) return;
  CWorker& worker = *job->worker;
  auto* chunked = dynamic_cast<CQuickChart3*>(&worker.chart_);
  if (chunked == nullptr || chunked->store() == nullptr) return;
  std::lock_guard lock(worker.result_mutex_);
  if (!worker.web_) worker.web_ = std::make_unique<CWebWorker>(*chunked);
  if (job->tile_) job->tile_->state = Tile::kWaitingForData;
  worker.web_->Request(WebKey(chunk_row, chunk_col), decoded_level, requested_level);
}

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
  tile_->render_stamp = worker->arrival_stamp.load();
  context_.largest_gap = 0;
  Render(*tile_);
  std::lock_guard lock(worker->result_mutex_);
  worker->finished_.push_back(std::move(tile_));
  current.store(nullptr);
}

// Has the chart render the tile at its corner in chart pixels: zoomed-out levels blend 2 x 2
// chart pixels through the chart's blend table.
void CCachedQuickChart::CWorker::Job::Render(Tile& tile) {
  context_.incomplete = false;
  if (!tile.bitmap.IsNull()) {
    const ptrdiff_t stride = tile.bitmap.Row(1) - tile.bitmap.Row(0);
    worker->chart_.RenderTile(ToChart(tile.x, tile.level), ToChart(tile.y, tile.level),
                              tile.level, tile.bitmap.Row(0), stride, context_);
  }
  tile.deficit = context_.largest_gap;
  tile.incomplete = context_.incomplete || context_.largest_gap > 0;
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

void CCachedQuickChart::StopWorkers() { CloseChartFile(); }

void CCachedQuickChart::CloseChartFile() {
  worker_.reset();  // joins the decoders; the tiles they held go with them
  chart_.reset();
  for (const auto& tile : cache_) tile->Release();
  cache_.clear();
  arrived_at_.clear();
}

void CCachedQuickChart::Reset() {
  worker_.reset();
  cache_.clear();
  arrived_at_.clear();
  if (chart_) chart_->FlushChunkCache();
  if (invalidate_) invalidate_();
}

bool CCachedQuickChart::IsBusy() {
  if (!worker_) return false;
  if (worker_->HasFinished()) return true;
  CWebWorker* web = worker_->web();
  return web != nullptr && web->HasArrivals();
}

int CCachedQuickChart::PendingChunks() {
  CWebWorker* web = worker_ ? worker_->web() : nullptr;
  return web ? web->Pending() : 0;
}

int CCachedQuickChart::ChunkFailures() {
  CWebWorker* web = worker_ ? worker_->web() : nullptr;
  return web ? web->failures() : 0;
}

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

bool CCachedQuickChart::TileMeets(const Tile& tile, int64_t left, int64_t top, int64_t right,
                                  int64_t bottom) {
  const int64_t x = ToChart(tile.x, tile.level), y = ToChart(tile.y, tile.level);
  const int64_t side = ToChart(kSide, tile.level);
  return x < right && x + side > left && y < bottom && y + side > top;
}

void CCachedQuickChart::TakeInArrivals() {
  CWebWorker* web = worker_->web();
  if (web == nullptr) return;
  const std::map<int64_t, int> arrivals = web->TakeArrivals();
  const uint64_t stamp = worker_->arrival_stamp.load() + 1;
  int64_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN + 1, bottom = INT32_MIN + 1;
  for (const auto& [key, count] : arrivals) {
    const int row = WebKeyRow(key), col = WebKeyCol(key);
    chart_->ReleaseChunk(CQuickChart::ChunkKey(row, col));
    arrived_at_[key] = stamp;
    left = std::min<int64_t>(left, int64_t(col) * CQuickChart::kChunkSide);
    right = std::max<int64_t>(right, int64_t(col + 1) * CQuickChart::kChunkSide);
    top = std::min<int64_t>(top, int64_t(row) * CQuickChart::kChunkSide);
    bottom = std::max<int64_t>(bottom, int64_t(row + 1) * CQuickChart::kChunkSide);
  }
  if (!arrivals.empty()) worker_->arrival_stamp.store(stamp);
  for (auto it = cache_.begin(); it != cache_.end();) {
    Tile& tile = **it;
    auto next = std::next(it);
    if (tile.state == Tile::kWaitingForData && tile.level != kEmptyLevel) {
      bool arrived = !arrivals.empty() && TileMeets(tile, left, top, right, bottom);
      if (!arrived) {
        // Rendered from a chunk's old data while the chunk arrived: as good as arrived.
        const int64_t x = ToChart(tile.x, tile.level), y = ToChart(tile.y, tile.level);
        const int64_t side = ToChart(kSide, tile.level);
        for (int64_t row = y >> 10; !arrived && row <= (y + side - 1) >> 10; ++row) {
          for (int64_t col = x >> 10; !arrived && col <= (x + side - 1) >> 10; ++col) {
            if (row < 0 || col < 0 || row > 0xFFFF || col > 0xFFFF) continue;
            const auto at = arrived_at_.find(WebKey(int(row), int(col)));
            arrived = at != arrived_at_.end() && at->second > tile.render_stamp;
          }
        }
      }
      if (arrived) {
        if (tile.level == grids_.level) {
          tile.state = Tile::kDataArrived;
        } else {
          tile.Release();
          cache_.splice(cache_.end(), cache_, it);
        }
      }
    }
    it = next;
  }
}

void CCachedQuickChart::Retarget() {
  CWebWorker* web = worker_->web();
  if (web == nullptr) return;
  const LevelGrids& g = grids_;
  const int s = 10 - g.level;
  const int64_t left = g.origin_x >> s, top = g.origin_y >> s;
  const int64_t right = ((g.origin_x - 1 + int64_t(kSide) * g.same.cols) >> s) + 1;
  const int64_t bottom = ((g.origin_y - 1 + int64_t(kSide) * g.same.rows) >> s) + 1;
  web->Retarget(g.level, left, top, right, bottom);
  const int64_t side = CQuickChart::kChunkSide;
  for (auto it = cache_.begin(); it != cache_.end();) {
    auto next = std::next(it);
    Tile& tile = **it;
    if (tile.state == Tile::kWaitingForData && tile.level != kEmptyLevel &&
        (tile.level != g.level ||
         !TileMeets(tile, left * side, top * side, right * side, bottom * side))) {
      tile.Release();
      cache_.splice(cache_.end(), cache_, it);
    }
    it = next;
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
  worker_->automatic_download = CQuickChartViewSettings::Global().automatic_download;
  TakeInFinished();
  TakeInArrivals();
  CancelStaleRequests();
  Retarget();
  const size_t pool = 3 * size_t(grids_.same.rows) * size_t(grids_.same.cols);
  while (cache_.size() < pool) cache_.push_back(std::make_unique<Tile>());
  PlaceCachedTiles();
  Paint(dc, rect.left - x0, rect.top - y0, incomplete);
  RequestMissing();
  return true;
}
