#pragma once
// One 128 x 128 screen tile of a chart view: the chart rendered at the view's zoom shift into an
// 8-bit image with the chart's first 128 colours, drawn by the view with one block copy.
//
// The view gives a tile its chart area (Assign) and hands it to two helper threads
// (core/helper_thread.h): a prefetch thread that makes sure the chunks under the tile are
// present (Prefetch) and a render thread that fills the image (Render). A finished tile goes
// back to the view's window, which marks it ready and draws it (Draw) while its zoom still
// matches. Prefetch, Render, Assign and Release hold the tile's lock, waiting at most 10 s for
// it; Draw takes none, since the view draws only tiles the render thread has handed back.
#include <QImage>
#include <atomic>
#include <optional>

#include "charts/dib_type.h"
#include "platform/ui/geometry.h"
#include "platform/ui/palette_image.h"

class COldQuickChart;

namespace vd::ui {
class Surface;
}

class CQuickChartDib : public CDibType {
 public:
  static constexpr int kSide = 128;
  static constexpr vd::ui::ColourRef kNoImageColour = 0x808080;

  // No image, no chart, not wanted.
  CQuickChartDib();
  ~CQuickChartDib() override;

  // The tile shows the chart area whose top-left chart pixel is (chart_x, chart_y) at a zoom
  // shift (the chart is not owned and must stay open while the tile is valid). The tile becomes
  // valid, wanted and not ready; an image it has keeps its colours. False (nothing changed)
  // when the lock can't be had.
  bool Assign(COldQuickChart* chart, int chart_x, int chart_y, int zoom_shift);

  // Asks the chart for the chunks under the tile: 0 when all are there, 1 otherwise (also for
  // a tile without chart, which becomes dead: level kNoLevel).
  int Prefetch();
  // Fills the image: 0 when complete, 1 when a chunk is still missing (the tile is then
  // incomplete and rendered again later); 0 also when nothing could be done (a tile without
  // chart becomes dead).
  int Render();
  // Copies the image to `point` of the surface; a tile never rendered shows a grey square.
  void Draw(vd::ui::Surface& surface, vd::ui::Point point);
  // Frees the image and detaches the chart; the tile is ready (nothing left to do) and
  // invalid. Clears the wanted flag first, so that a prefetch under way stops at its next
  // check.
  void Release();

  bool IsWanted() const { return wanted_; }
  void SetWanted(bool wanted) { wanted_ = wanted; }
  bool IsValid() const { return valid_; }
  bool IsIncomplete() const { return incomplete_; }
  const vd::ui::PaletteImage* image() const { return image_ ? &*image_ : nullptr; }

 private:
  std::atomic<bool> wanted_ = false;  // read by the prefetch thread while the view changes it
  bool incomplete_ = false;
  bool valid_ = false;
  COldQuickChart* chart_ = nullptr;
  std::optional<vd::ui::PaletteImage> image_;
  // The image as opaque 32-bit pixels, made by the third draw after a render (a pan, or
  // repaints): drawing it is a plain copy. A tile drawn once or twice (the first paint of a
  // window draws most tiles once, and some again where what it repaints at once overlaps) is
  // converted as it is drawn, and takes no memory for it.
  static constexpr int kDrawsBeforeScreenCopy = 3;
  QImage screen_copy_;
  bool screen_copy_stale_ = true;
  int draws_since_render_ = 0;
};
