#include "corvex/map_rect_selection.h"

#include <algorithm>

#include "corvex/ostrel_view.h"
#include "platform/ui/graphics.h"

namespace {

constexpr int kClientInset = 24;  // a new box leaves this much of the client area round it
constexpr int kGrabPixels = 12;
constexpr int kInvalidateMargin = 2;
constexpr vd::ui::Argb kActiveBand = 0x80FF3232;
constexpr vd::ui::Argb kOtherBand = 0x8000FFC8;
constexpr float kBandWidth = 12.0f;
constexpr int kCrossMinSide = 35;   // a smaller box shows no cross
constexpr int kCrossMaxHalf = 42;

}  // namespace

CMapRectSelection::CMapRectSelection(COstrelView* view) : view_(view) {
  const vd::ui::Size client = view->client_size();
  const vd::ui::Point top_left = view->ClientToChart({kClientInset, kClientInset});
  const vd::ui::Point bottom_right =
      view->ClientToChart({client.cx - kClientInset, client.cy - kClientInset});
  x0 = top_left.x;
  y0 = top_left.y;
  x1 = std::max(bottom_right.x, x0);
  y1 = std::max(bottom_right.y, y0);
}

CMapRectSelection::~CMapRectSelection() {
  if (view_->active_box() == this) view_->SetActiveBox(nullptr);
}

void CMapRectSelection::SetRect(const vd::ui::Rect& rect) {
  x0 = rect.left;
  y0 = rect.top;
  x1 = rect.right;
  y1 = rect.bottom;
  if (view_->print_flags() & COstrelView::kPrintFixedScale) {
    max_width = x1 - x0;
    max_height = y1 - y0;
  }
}

int32_t CMapRectSelection::GrabWidth() const {
  return static_cast<int32_t>(COstrelView::ShiftLeftByZoom(kGrabPixels, view_->zoom()));
}

bool CMapRectSelection::HitTest(vd::ui::Point p) {
  drag_top = drag_bottom = drag_left = drag_right = drag_move = false;
  if (p.x < x0 || p.x > x1 || p.y < y0 || p.y > y1) return false;
  const int64_t g = GrabWidth();
  if (p.x > x1 - g) {
    drag_right = true;
  } else if (p.x < x0 + g) {
    drag_left = true;
  }
  if (p.y > y1 - g) {
    drag_bottom = true;
  } else if (p.y < y0 + g) {
    drag_top = true;
  }
  if (drag_right || drag_left || drag_bottom || drag_top) return true;
  if (view_->active_box() != this) return false;
  const int64_t dx = int64_t{p.x} - (int64_t{x0} + x1) / 2;
  const int64_t dy = int64_t{p.y} - (int64_t{y0} + y1) / 2;
  const int64_t reach = g * 7 / 2;
  drag_move = dx * dx + dy * dy <= reach * reach;
  return drag_move;
}

char CMapRectSelection::GetCursorCode(vd::ui::Point p) {
  if (!HitTest(p)) return 0;
  if (drag_move) return 'P';
  if (!drag_left && !drag_right) return 'V';
  if (!drag_top && !drag_bottom) return 'H';
  return (drag_top == drag_left) ? 'B' : 'F';
}

void CMapRectSelection::Drag(vd::ui::Point p) {
  const int64_t m = GrabWidth();
  int64_t left = x0;
  int64_t top = y0;
  int64_t right = x1;
  int64_t bottom = y1;
  // One edge follows the point; the box keeps between m and `most` across.
  const auto follow = [m](int64_t& moving, int64_t fixed, int64_t to, int64_t most, int sign) {
    moving = to;
    const int64_t size = (moving - fixed) * sign;
    if (size < m) {
      moving = fixed + m * sign;
    } else if (size > most) {
      moving = fixed + most * sign;
    }
  };
  if (drag_move) {
    const int64_t dx = p.x - (left + right) / 2;
    const int64_t dy = p.y - (top + bottom) / 2;
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  } else {
    if (drag_top) follow(top, bottom, p.y, max_height, -1);
    if (drag_bottom) follow(bottom, top, p.y, max_height, 1);
    if (drag_left) follow(left, right, p.x, max_width, -1);
    if (drag_right) follow(right, left, p.x, max_width, 1);
  }
  const vd::ui::Rect moved{COstrelView::Clamp32(left), COstrelView::Clamp32(top),
                           COstrelView::Clamp32(right), COstrelView::Clamp32(bottom)};
  if (moved == GetRect()) return;
  Invalidate();
  x0 = moved.left;
  y0 = moved.top;
  x1 = moved.right;
  y1 = moved.bottom;
  Invalidate();
}

void CMapRectSelection::EndDrag() { drag_top = false; }

vd::ui::Rect CMapRectSelection::ClientRect() const {
  const vd::ui::Point a = view_->ChartToClient({x0, y0});
  const vd::ui::Point b = view_->ChartToClient({x1, y1});
  return {a.x, a.y, b.x, b.y};
}

void CMapRectSelection::Invalidate() {
  view_->InvalidateClient(ClientRect().Inflated(kInvalidateMargin, kInvalidateMargin));
}

void CMapRectSelection::Draw(vd::ui::Surface& dc) {
  const vd::ui::Rect r = ClientRect();
  const bool active = view_->active_box() == this;
  vd::ui::Graphics graphics(dc);
  vd::ui::GraphicsPen band{active ? kActiveBand : kOtherBand, kBandWidth};
  band.alignment = vd::ui::PenAlignment::Inset;
  const vd::ui::GraphicsPen thin{0xFF000000, 1.0f};
  const vd::ui::RectF box{float(r.left), float(r.top), float(r.Width()), float(r.Height())};
  graphics.DrawRectangle(band, box);
  graphics.DrawRectangle(thin, box);

  // Grip strokes across each corner.
  struct Corner {
    int a, b, dx, dy;
  };
  const Corner corners[] = {{r.left, r.top, 1, 1},
                            {r.right, r.top, -1, 1},
                            {r.left, r.bottom, 1, -1},
                            {r.right, r.bottom, -1, -1}};
  for (const Corner& c : corners) {
    const auto at = [&c](int along_x, int along_y) {
      return vd::ui::PointF{float(c.a + along_x * c.dx), float(c.b + along_y * c.dy)};
    };
    graphics.DrawLine(thin, at(3, 4), at(4, 3));
    for (int k = 0; k < 3; ++k) graphics.DrawLine(thin, at(3, 4 * k + 8), at(4 * k + 8, 3));
  }

  if (!active || r.Width() <= kCrossMinSide || r.Height() <= kCrossMinSide) return;
  const int half = std::min({r.Width() / 2, r.Height() / 2, kCrossMaxHalf});
  const float cx = float(r.left + r.Width() / 2);
  const float cy = float(r.top + r.Height() / 2);
  vd::ui::GraphicsPen cross = band;
  cross.alignment = vd::ui::PenAlignment::Center;
  cross.start_cap = cross.end_cap = vd::ui::LineCap::ArrowAnchor;
  graphics.DrawLine(cross, {cx - half, cy}, {cx + half, cy});
  graphics.DrawLine(cross, {cx, cy - half}, {cx, cy + half});
}
