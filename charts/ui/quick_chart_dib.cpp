#include "charts/ui/quick_chart_dib.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cstdint>

#include "charts/old_quick_chart.h"
#include "platform/ui/surface.h"

namespace {

// Chart pixels across a tile at a zoom shift; 0 outside the shifts a chart can render.
int ChartSpan(int zoom_shift) {
  if (zoom_shift < -COldQuickChart::kMaxMagnifyShift ||
      zoom_shift > COldQuickChart::kMaxReduceShift) {
    return 0;
  }
  return zoom_shift >= 0 ? CQuickChartDib::kSide << zoom_shift
                         : CQuickChartDib::kSide >> -zoom_shift;
}

}  // namespace

CQuickChartDib::CQuickChartDib() { Release(); }

CQuickChartDib::~CQuickChartDib() = default;

bool CQuickChartDib::Assign(COldQuickChart* chart, int chart_x, int chart_y, int zoom_shift) {
  const auto lock = Lock();
  if (!lock) return false;
  chart_ = chart;
  x = chart_x;
  y = chart_y;
  level = zoom_shift;
  needs_render = true;
  ready = false;
  valid_ = chart != nullptr;
  wanted_ = true;
  return true;
}

int CQuickChartDib::Prefetch() {
  const auto lock = Lock();
  if (!lock) return 1;
  if (!valid_ || !chart_) {
    level = kNoLevel;
    return 1;
  }
  const int span = ChartSpan(level);
  return chart_->PrefetchArea(x, y, span, span, std::max(level - 1, 0),
                              [this] { return wanted_.load(); });
}

int CQuickChartDib::Render() {
  const auto lock = Lock();
  if (!lock) return 0;
  if (!valid_ || !chart_) {
    level = kNoLevel;
    return 0;
  }
  if (!image_) {
    image_.emplace(kSide, kSide);
    image_->SetPaletteFromRgbQuads(chart_->palette().data(), COldQuickChart::kPaletteColours);
  }
  const int result =
      chart_->RenderPaletteArea(x, y, kSide, kSide, image_->Stride(), level, image_->Row(0));
  screen_copy_stale_ = true;
  draws_since_render_ = 0;
  incomplete_ = result == 1;
  return result;
}

void CQuickChartDib::Draw(vd::ui::Surface& surface, vd::ui::Point point) {
  if (!image_) {
    surface.FillRect({point.x, point.y, point.x + kSide, point.y + kSide}, kNoImageColour);
    return;
  }
  if (screen_copy_stale_ && ++draws_since_render_ < kDrawsBeforeScreenCopy) {
    surface.Blit(point, *image_);
    return;
  }
  if (screen_copy_stale_) {
    screen_copy_ = QImage(kSide, kSide, QImage::Format_RGB32);
    const std::array<vd::ui::Argb, 256>& palette = image_->Palette();
    for (int y = 0; y < kSide; ++y) {
      const uint8_t* from = image_->Row(y);
      auto* to = reinterpret_cast<uint32_t*>(screen_copy_.scanLine(y));
      for (int x = 0; x < kSide; ++x) to[x] = palette[from[x]] | 0xFF000000u;
    }
    screen_copy_stale_ = false;
  }
  // The surface's own blits convert the image at every call; this copies it as it is.
  QPainter& painter = surface.painter();
  const QPainter::CompositionMode mode = painter.compositionMode();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QPoint(point.x, point.y), screen_copy_);
  painter.setCompositionMode(mode);
}

void CQuickChartDib::Release() {
  wanted_ = false;
  const auto lock = Lock();
  if (!lock) return;
  Reset();
  ready = true;
  valid_ = false;
  incomplete_ = false;
  image_.reset();
  screen_copy_ = QImage();
  screen_copy_stale_ = true;
  draws_since_render_ = 0;
  chart_ = nullptr;
}
