#pragma once
// One print box of a chart view in print-area mode: a rectangle of chart pixels that prints as
// one page. The user drags its edges and corners to resize it and its centre cross (shown on
// the active box only) to move it. The view owns its boxes; a box keeps a pointer to its view.
#include <cstdint>

#include "platform/ui/geometry.h"

class COstrelView;

namespace vd::ui {
class Surface;
}

class CMapRectSelection {
 public:
  // Over the view's client area less 24 pixels on every side; no size limit, nothing grabbed.
  explicit CMapRectSelection(COstrelView* view);
  // The view's active box is no longer this one.
  ~CMapRectSelection();
  CMapRectSelection(const CMapRectSelection&) = delete;
  CMapRectSelection& operator=(const CMapRectSelection&) = delete;

  // Sets the corners (left, top, right, bottom: chart pixels). At a fixed print scale the size
  // also becomes the largest the box may take: it may shrink, but not grow past its page.
  void SetRect(const vd::ui::Rect& rect);
  vd::ui::Rect GetRect() const { return {x0, y0, x1, y1}; }

  // What a press at the chart point grabs: the edges (both at a corner) within the grab width
  // inside the border, or, on the active box only, the middle. False when it grabs nothing
  // (outside the box, or inside away from edges and middle).
  bool HitTest(vd::ui::Point chart_point);
  // The cursor for the point: 'P' move, 'V' top or bottom edge, 'H' left or right edge, 'B'
  // top-left or bottom-right corner, 'F' top-right or bottom-left corner; 0 for no grab.
  char GetCursorCode(vd::ui::Point chart_point);
  // Takes the grabbed parts to the point: a move centres the box there; edges follow it, the
  // box keeping at least the grab width and at most the maximum size.
  void Drag(vd::ui::Point chart_point);
  void EndDrag();
  // Repaints the box's area.
  void Invalidate();
  void Draw(vd::ui::Surface& dc);

  // Chart pixels; x0 <= x1, y0 <= y1.
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t x1 = 0;
  int32_t y1 = 0;
  int32_t max_width = INT32_MAX;
  int32_t max_height = INT32_MAX;
  // The parts the last hit test grabbed.
  bool drag_top = false;
  bool drag_bottom = false;
  bool drag_left = false;
  bool drag_right = false;
  bool drag_move = false;

 private:
  // 12 client pixels in chart pixels: how near an edge a press grabs it, and the least size.
  int32_t GrabWidth() const;
  vd::ui::Rect ClientRect() const;

  COstrelView* view_;
};
