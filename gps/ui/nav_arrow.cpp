#include "gps/ui/nav_arrow.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/surface.h"

namespace {

// The arrow in hundredths of its radius, pointing up.
constexpr vd::ui::Point kArrowShape[] = {{0, -100}, {70, -30},  {35, -30},  {35, 85},
                                          {-35, 85}, {-35, -30}, {-70, -30}};

CDataPane::Placement DefaultPlacement() {
  const float f = CDataPane::DisplayScale();
  return {static_cast<int>(203 * f), static_cast<int>(230 * f), static_cast<int>(131 * f),
          static_cast<int>(135 * f)};
}

// sin_v and cos_v are the direction's sine and cosine x 0.01, so a shape point in hundredths
// turns into a fraction of the radius.
void DrawArrow(vd::ui::Surface& dc, vd::ui::Point centre, double radius, double sin_v,
               double cos_v, vd::ui::ColourRef colour) {
  vd::ui::Point points[std::size(kArrowShape)];
  for (size_t i = 0; i < std::size(kArrowShape); ++i) {
    const double x = kArrowShape[i].x;
    const double y = kArrowShape[i].y;
    points[i] = {centre.x + static_cast<int>(std::lround((x * cos_v - y * sin_v) * radius)),
                 centre.y + static_cast<int>(std::lround((x * sin_v + y * cos_v) * radius))};
  }
  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 0, colour});
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Solid(colour));
  dc.Polygon(points);
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
}

}  // namespace

CNavArrow::CNavArrow() : CNavigationWnd(kPaneId, kSettingsKey, DefaultPlacement()) {}

CNavArrow* CNavArrow::ShowGotoMark(CObjWaypoint* mark) {
  return mark != nullptr ? ShowFor<CNavArrow>(mark, nullptr) : nullptr;
}

CNavArrow* CNavArrow::ShowFollowRoute(CObjRoute* route) {
  return route != nullptr ? ShowFor<CNavArrow>(nullptr, route) : nullptr;
}

void CNavArrow::Draw(vd::ui::Surface& dc) {
  const double radius = std::max(0, std::min(width(), height()) / 2);
  const vd::ui::Point centre{width() / 2, height() / 2};
  DrawArrow(dc, centre, radius, arrow_sin(), arrow_cos(), kArrowColour);
  if (turn_known()) {
    DrawArrow(dc, centre, radius * kTurnArrowPercent / 100.0, turn_sin(), turn_cos(), kTurnColour);
  }
}
