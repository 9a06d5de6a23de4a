#pragma once
// Draws a chart (CQuickChart) at any power-of-two level through a cache of 256 x 256 tiles.
// Painting never waits for decoding: it shows what the cache holds, a tile of the next coarser
// level stretched by two or tiles of the next finer level shrunk by two where a tile is
// missing, and queues the missing tiles to a pool of low-priority decode threads. The caller
// paints again while IsBusy.
//
// Levels: at level L >= 0 one level pixel covers 2^L chart pixels, at L < 0 one chart pixel
// covers 2^-L level pixels; level pixel = chart pixel >> L (<< -L below 0), arithmetic.
//
// Chunk-store charts: a tile whose data lack detail (the chunk store holds only coarser levels of
// a chunk under it, or nothing) is shown as it could be rendered and, while the view settings'
// automatic_download is on, the chunk is handed to a pool of four download threads
// (CWebWorker). They fetch one detail level of one chunk per claim, the chunk with the most
// levels to go first, so that the whole view sharpens evenly; three failed fetches stop them.
// Tiles waiting for a chunk (state 1) are marked (state 2) when it arrives and rendered again.
// Every paint tells the pool what is visible, so chunks that scrolled away are dropped.
//
// Every operation belongs to the window's thread. A tile lives in exactly one place at a time:
// the cache, the decode queue, a decode job or the finished list.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "charts/quick_chart.h"
#include "core/worker_thread.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "viewer_lib/int_rect.h"

class CCachedQuickChart {
 public:
  static constexpr int kTileSide = 256;
  static constexpr int kEmptyLevel = -999;

  struct Tile {
    enum State : int32_t { kReady = 0, kWaitingForData = 1, kDataArrived = 2 };
    Tile();
    // Back to an empty tile (the pixels stay allocated for reuse).
    void Release();

    int32_t x = 0;  // top-left corner in level pixels, a multiple of 256 once requested
    int32_t y = 0;
    int32_t level = kEmptyLevel;
    int32_t state = kReady;
    bool incomplete = false;  // the data under the tile was incomplete
    int32_t deficit = 0;      // detail levels the data under the tile still lacks
    // Chunk arrivals taken in before its rendering began (see TakeInArrivals).
    uint64_t render_stamp = 0;
    vd::ui::Image bitmap;     // 256 x 256; null when it could not be made
  };
  using TileList = std::list<std::unique_ptr<Tile>>;

  // The cells of one draw: the visible level and its two neighbours. The grids refer to tiles
  // the cache owns.
  struct LevelGrids {
    struct Grid {
      int32_t cols = 0;
      int32_t rows = 0;
      std::vector<Tile*> cells;
      void Resize(int32_t new_rows, int32_t new_cols);
      // Null outside the grid.
      Tile* At(int64_t row, int64_t col) const;
      void Set(int64_t row, int64_t col, Tile* tile);
    };
    std::vector<uint8_t> requested;  // rows x cols: the cell's tile is queued or rendering
    Grid same;                       // level L, 256 level pixels a cell
    Grid coarser;                    // level L + 1, 512 level pixels a cell from coarse_origin
    Grid finer;                      // level L - 1, 128 level pixels a cell
    int64_t origin_y = 0;            // level pixels of the top-left cell, multiples of 256
    int64_t origin_x = 0;
    int64_t coarse_origin_y = 0;     // origin rounded down to 512
    int64_t coarse_origin_x = 0;
    int32_t level = 0;
  };

  class CWorker;
  class CWebWorker;

  CCachedQuickChart();
  ~CCachedQuickChart();
  CCachedQuickChart(const CCachedQuickChart&) = delete;
  CCachedQuickChart& operator=(const CCachedQuickChart&) = delete;

  // Closes the current chart and opens the file; 0, or -1 when it can't be opened (no chart
  // is open then).
  int SetChart(const std::string& path);
  // Paints rect (device pixels) of dc; origin is the chart pixel at the rectangle's top-left
  // corner. incomplete: a tile drawn 1:1 had incomplete data. False with no chart open.
  bool DrawTiles(vd::ui::Surface& dc, const IntRect& rect, vd::ui::Point origin, int level,
                 bool& incomplete);
  // Rendered tiles wait to be taken in: paint again.
  bool IsBusy();
  // Tiles queued, being rendered or rendered and not yet taken in; 0 after a paint means the
  // paint showed every cell at its own level.
  int PendingTiles();
  // Chunks the download threads still mean to fetch, are fetching or have fetched and not yet
  // handed over; 0 without download threads or once they stopped.
  int PendingChunks();
  // Failed chunk fetches of the current download threads.
  int ChunkFailures();
  // Stops the decoders, forgets every tile and the chart's decoded chunks, and asks for a
  // repaint of the whole window.
  void Reset();
  // Stops the decoders, closes the chart and forgets every tile (CloseChartFile).
  void StopWorkers();
  // Stops the rendering, closes the chart and frees every tile; harmless with nothing open.
  void CloseChartFile();
  void Release() { StopWorkers(); }

  // Called by Reset to repaint the window.
  void SetInvalidate(std::function<void()> invalidate) { invalidate_ = std::move(invalidate); }

  CQuickChart* chart() const { return chart_.get(); }
  int32_t chart_width() const { return chart_width_; }
  int32_t chart_height() const { return chart_height_; }
  // For tests and diagnostics.
  const TileList& tiles() const { return cache_; }
  bool has_worker() const { return worker_ != nullptr; }

 protected:
  const std::function<void()>& invalidate_callback() const { return invalidate_; }

 private:
  void BuildGrids(const IntRect& rect, int64_t x0, int64_t y0, int level);
  void TakeInFinished();
  // Drops the arrived chunks from the chart's cache and marks the tiles waiting for them.
  void TakeInArrivals();
  void CancelStaleRequests();
  // Tells the download threads what is visible; tiles of other places stop waiting.
  void Retarget();
  // A tile's square in chart pixels meets the chart-pixel rectangle.
  static bool TileMeets(const Tile& tile, int64_t left, int64_t top, int64_t right,
                        int64_t bottom);
  void PlaceCachedTiles();
  void Paint(vd::ui::Surface& dc, int64_t dx, int64_t dy, bool& incomplete);
  void RequestMissing();
  // The cell of a level-L tile; false outside the grid.
  bool CellOf(const Tile& tile, int64_t& row, int64_t& col) const;
  void ReleaseToBack(std::unique_ptr<Tile> tile);

  int32_t chart_width_ = 0;
  int32_t chart_height_ = 0;
  std::unique_ptr<CQuickChart> chart_;
  std::function<void()> invalidate_;
  LevelGrids grids_;
  TileList cache_;  // most recently shown first
  std::unique_ptr<CWorker> worker_;
  // When each chunk's arrival was taken in (by the counter the tiles' render_stamp reads), so
  // that a tile rendered from a chunk's old data while it arrived is rendered again.
  std::map<int64_t, uint64_t> arrived_at_;
};
