// The chart view's painting: the tile cache, the hand-back of decoded tiles, the overlays, the
// position marker and the chart file's availability.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "charts/old_quick_chart.h"
#include "core/helper_thread.h"
#include "corvex/map_rect_selection.h"
#include "corvex/ostrel_view.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/graphics.h"
#include "platform/ui/message_box.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"

namespace {

constexpr vd::ui::ColourRef kNoChartColour = 0xFFFFFF;
constexpr vd::ui::ColourRef kAlternateOutlineColour = 0xFF0000;
constexpr vd::ui::ColourRef kMarkerColour = 0x0000FF;
constexpr std::chrono::seconds kFlushWait{10};
constexpr int kFlushRoundMs = 10;
constexpr std::chrono::seconds kRetryPause{2};

// Whether a record's bounds (right and bottom covered) meet a paint rectangle.
bool Meets(const vd::ui::Rect& bounds, const vd::ui::Rect& update) {
  return bounds.left < update.right && bounds.right >= update.left && bounds.top < update.bottom &&
         bounds.bottom >= update.top;
}

bool Overlaps(const vd::ui::Rect& a, const vd::ui::Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

void COstrelView::OnDraw(vd::ui::Surface& dc, const vd::ui::Rect& update) {
  if (render_mode_) return;
  for (auto& row : grid_) row.fill(false);
  if (!CheckChartAccess()) {
    dc.FillRect(update, kNoChartColour);
    return;
  }
  // The window paints from its own buffer, so the rubber band of the last paint is gone and
  // is drawn once below.
  PaintTiles(dc, update);
  if (ShowAlternateOutline() && alternate_.zoom < zoom_) DrawAlternateOutline(dc);
  if (chart_->HasGeoreference()) DrawOverlays(dc, update);
  if (calibration_) calibration_->DrawOverlay(dc);
  if (ActiveView() == this) band_.Draw(dc, cursor_chart_);
  DrawPositionMarker(dc);
  if (print_area_mode_) {
    for (const auto& box : boxes_) box->Draw(dc);
  }
  UpdateFetchStatus();
}

void COstrelView::PaintTiles(vd::ui::Surface& dc, const vd::ui::Rect& update) {
  const int rows = std::min(client_.cy / kTileSide + 2, kMaxGridRows);
  const int columns = std::min(client_.cx / kTileSide + 2, kMaxGridColumns);
  const int span_shift = zoom_ + 7;  // a tile covers 1 << span_shift chart pixels
  const int32_t span = int32_t{1} << span_shift;
  const int32_t x0 = origin_.x & -span;
  const int32_t y0 = origin_.y & -span;
  const auto square = [&](vd::ui::Point chart) {
    const vd::ui::Point p = ChartToClient(chart);
    return vd::ui::Rect{p.x, p.y, p.x + kTileSide, p.y + kTileSide};
  };

  // The cached squares, on screen and first in the list.
  for (auto it = tiles_.begin(); it != tiles_.end();) {
    const auto next = std::next(it);
    ViewTile& tile = **it;
    tile.in_use = false;
    // The chart first: only tiles of a closed chart have their level changed by the threads.
    if (tile.chart == chart_.get() && tile.level == zoom_) {
      const int64_t column = (int64_t{tile.x} - x0) >> span_shift;
      const int64_t row = (int64_t{tile.y} - y0) >> span_shift;
      if (column >= 0 && column < columns && row >= 0 && row < rows) {
        grid_[size_t(row)][size_t(column)] = true;
        tile.in_use = true;
        tiles_.splice(tiles_.begin(), tiles_, it);
        const vd::ui::Rect rect = square({tile.x, tile.y});
        if (Overlaps(rect, update)) {
          if (tile.IsReady()) {
            tile.Draw(dc, {rect.left, rect.top});
          } else {
            dc.FillRect(rect, kQueuedTileColour);
          }
        }
      }
    }
    it = next;
  }

  // The other squares: the least recently used tile is taken for each, unless a thread or the
  // screen still has it.
  const bool chunked = download_thread_ != nullptr;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      if (grid_[size_t(row)][size_t(column)]) continue;
      const vd::ui::Point chart{Clamp32(int64_t{x0} + int64_t{column} * span),
                                Clamp32(int64_t{y0} + int64_t{row} * span)};
      if (!tiles_.empty() && !tiles_.back()->queued && !tiles_.back()->in_use) {
        tiles_.splice(tiles_.begin(), tiles_, std::prev(tiles_.end()));
      } else {
        tiles_.push_front(std::make_unique<ViewTile>());
      }
      ViewTile& tile = *tiles_.front();
      tile.in_use = true;
      if (tile.chart != chart_.get()) {
        tile.Release();
        tile.chart = chart_.get();
      }
      dc.FillRect(square(chart), kQueuedTileColour);
      if (!tile_thread_ || !tile.Assign(chart_.get(), chart.x, chart.y, zoom_)) continue;
      // Jobs are taken by key: tile rows in order, or the 1024-pixel chunks a download groups.
      tile.key = chunked ? static_cast<int32_t>(int64_t{chart.y >> 10} * 65536 + (chart.x >> 10))
                         : chart.y;
      tile.queued = true;
      tile.fetch_failed = false;
      tile_thread_->queue().Put(&tile);
    }
  }
}

void COstrelView::DrawAlternateOutline(vd::ui::Surface& dc) {
  const vd::ui::Point corner = ChartToClient(alternate_.origin);
  const int smaller = zoom_ - alternate_.zoom;
  const vd::ui::Pen pen = dc.SelectPen({vd::ui::LineStyle::Solid, 1, kAlternateOutlineColour});
  const vd::ui::Brush brush = dc.SelectBrush(vd::ui::Brush::Null());
  // A rectangle's pen runs along its inside right and bottom edges.
  dc.Rectangle({corner.x, corner.y, corner.x + (client_.cx >> smaller),
                corner.y + (client_.cy >> smaller)});
  dc.SelectBrush(brush);
  dc.SelectPen(pen);
}

void COstrelView::DrawOverlays(vd::ui::Surface& dc, const vd::ui::Rect& update) {
  vd::ui::Graphics graphics(dc);
  int count = 0;
  for (const auto& [key, record] : mapped_) {
    COstrelObject* object = record->object();
    if (!object || !object->visible || !Meets(record->bounds, update)) continue;
    if (++count > kMaxDrawnObjects) break;
    object->DrawAtZoom(dc, graphics, *record, zoom_, count > kFullDrawObjects);
  }
}

void COstrelView::DrawPositionMarker(vd::ui::Surface& dc) {
  if (marker_.x < -9) return;
  const int r = MarkerRadius();
  const vd::ui::Pen pen = dc.SelectPen({});
  const vd::ui::Brush brush = dc.SelectBrush(vd::ui::Brush::Solid(kMarkerColour));
  dc.Ellipse({marker_.x - r, marker_.y - r, marker_.x + r, marker_.y + r});
  dc.SelectBrush(brush);
  dc.SelectPen(pen);
}

void COstrelView::UpdateFetchStatus() {
  if (!download_thread_) return;
  const int pending = download_thread_->queue().GetCount();
  if (pending > 0) {
    ShowStatusText("Fetching " + std::to_string(pending) + " blocks...");
    fetch_message_showing_ = true;
  } else if (fetch_message_showing_) {
    ShowStatusText("Ready.");
    fetch_message_showing_ = false;
  }
}

intptr_t COstrelView::OnUserMessage(uintptr_t /*wparam*/, intptr_t lparam) {
  // The helper threads post the queue item; every item they get is a cache tile.
  auto* job = reinterpret_cast<QNode*>(lparam);
  return OnTileReady(static_cast<ViewTile*>(job));
}

int COstrelView::OnTileReady(CQuickChartDib* dib) {
  if (!dib) {
    // A helper thread ended without being asked to: the view can't show its chart any more.
    if (!tile_thread_ && !download_thread_) return 1;
    StopThreads();
    frame_.CloseFrame();
    return 1;
  }
  auto* tile = static_cast<ViewTile*>(dib);
  if (download_thread_ && tile->chart && tile->IsIncomplete() && !tile->fetch_failed) {
    download_thread_->queue().Put(tile);  // still queued: its chunks come first
    return 1;
  }
  tile->ready = true;
  tile->queued = false;
  if (tile->level == zoom_) {
    const vd::ui::Point p = ChartToClient({tile->x, tile->y});
    window_.Invalidate({p.x, p.y, p.x + kTileSide, p.y + kTileSide});
  }
  return 1;
}

bool COstrelView::FlushTiles() {
  for (const auto& tile : tiles_) tile->SetWanted(false);
  for (const auto& tile : tiles_) {
    tile->Release();
    tile->chart = nullptr;
  }
  // Released tiles come back from the threads without touching the chart.
  const auto deadline = std::chrono::steady_clock::now() + kFlushWait;
  vd::os::MessageWindow& messages = window_.MessageTarget();
  while (QueuedTileCount() > 0 && std::chrono::steady_clock::now() < deadline) {
    messages.WaitAndDispatch(kFlushRoundMs);
  }
  InvalidateAll();
  return QueuedTileCount() == 0;
}

bool COstrelView::CheckChartAccess() {
  static bool checking = false;  // the message box lets paints through
  if (checking || !chart_) return false;
  checking = true;
  while (chart_ && !chart_->IsFileReadable()) {
    const int answer = vd::ui::RunMessageBox(
        window_.DialogOwner(), "Cannot access map file: " + chart_->GetFileName(), "Corvex",
        vd::ui::kMbRetryCancel | vd::ui::kMbIconWarning);
    // The box lets other work run, which may have closed the chart meanwhile.
    if (!chart_) break;
    if (answer != vd::ui::kIdRetry) {
      ReloadChart();
      InvalidateAll();
      break;
    }
    std::this_thread::sleep_for(kRetryPause);  // a removable disk coming back
  }
  checking = false;
  return chart_ != nullptr;
}

std::vector<COstrelView::TileInfo> COstrelView::DescribeTiles() const {
  std::vector<TileInfo> tiles;
  tiles.reserve(tiles_.size());
  for (const auto& tile : tiles_) {
    tiles.push_back({{tile->x, tile->y}, tile->level, tile->IsReady(), tile->queued});
  }
  return tiles;
}

int COstrelView::QueuedTileCount() const {
  return static_cast<int>(
      std::count_if(tiles_.begin(), tiles_.end(), [](const auto& tile) { return tile->queued; }));
}
