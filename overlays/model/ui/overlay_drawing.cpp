#include "overlays/model/ui/overlay_drawing.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/overlay_mark.h"
#include "overlays/model/overlay_moving_target.h"
#include "overlays/model/overlay_route.h"
#include "overlays/model/overlay_track.h"
#include "overlays/model/track_section.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

constexpr double kArrowHalfAngle = 0.5235987755982988;  // 30 degrees, in radians

vd::ui::ColourRef ColourOf(uint32_t argb) {
  return vd::ui::MakeColourRef(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                               static_cast<uint8_t>(argb));
}

// A polyline through the screen pixels of the points, in the colour, width and pattern (0 to 4;
// others draw solid).
void DrawLine(vd::ui::Surface& dc, const CScreenTransform& view, const CScreenPoints& screen,
              uint32_t colour, float width, int32_t pattern) {
  std::vector<vd::ui::Point> line;
  line.reserve(screen.points.size());
  for (const ScreenPointF& point : screen.points) line.push_back(view.ToScreenPixel(point));
  const auto style = pattern >= 0 && pattern <= 4 ? static_cast<vd::ui::LineStyle>(pattern)
                                                  : vd::ui::LineStyle::Solid;
  const vd::ui::Pen old =
      dc.SelectPen({style, static_cast<int>(std::lround(width)), ColourOf(colour)});
  dc.Polyline(line);
  dc.SelectPen(old);
}

}  // namespace

void COverlaySurfacePainter::DrawMark(COverlayMark& mark, vd::ui::Surface& dc,
                                      const CScreenTransform& view, const CScreenPoints& points) {
  const COverlayIconCache::Entry& entry = mark.ResolveIcon();
  const vd::ui::Point centre = view.ToScreenPixel(points.points.front());
  const int half_width = static_cast<int>(entry.width / 2);
  const int half_height = static_cast<int>(entry.height / 2);
  if (entry.image) {
    dc.Blit({centre.x - half_width, centre.y - half_height}, *entry.image);
    return;
  }
  // No image loaded for the icon: a disc of the icon's size in the mark's colour.
  const vd::ui::ColourRef fill = ColourOf(mark.colour);
  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 0, 0});
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Solid(fill));
  dc.Ellipse({centre.x - half_width, centre.y - half_height, centre.x + half_width + 1,
              centre.y + half_height + 1});
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
}

void COverlaySurfacePainter::DrawRoute(const COverlayRoute& route, vd::ui::Surface& dc,
                                       const CScreenTransform& view,
                                       const CScreenPoints& points) {
  DrawLine(dc, view, points, route.colour, route.width, route.pattern);
}

void COverlaySurfacePainter::DrawTrackSection(const CTrackSection& section, vd::ui::Surface& dc,
                                              const CScreenTransform& view,
                                              const CScreenPoints& points) {
  const COverlayTrack& track = *section.owner;
  DrawLine(dc, view, points, track.colour, track.width, track.pattern);
}

void COverlaySurfacePainter::DrawMovingTarget(const COverlayMovingTarget& target,
                                              vd::ui::Surface& dc, const CScreenTransform& view,
                                              const CScreenPoints& points) {
  if (points.points.size() < 2) return;
  const vd::ui::Point from = view.ToScreenPixel(points.points[0]);
  const vd::ui::Point to = view.ToScreenPixel(points.points[1]);
  const vd::ui::Pen old = dc.SelectPen({vd::ui::LineStyle::Solid, 1, ColourOf(target.colour)});
  dc.MoveTo(from);
  dc.LineTo(to);
  const double dx = to.x - from.x;
  const double dy = to.y - from.y;
  const double length = std::hypot(dx, dy);
  if (length > 0) {
    // Two barbs pointing back from the end, 30 degrees either side of the line.
    const double size = COverlayMovingTarget::kArrowSize * COverlayMovingTarget::DisplayScale();
    const double back = std::atan2(-dy, -dx);
    auto barb = [&](double turn) {
      return vd::ui::Point{to.x + static_cast<int>(std::lround(size * std::cos(back + turn))),
                           to.y + static_cast<int>(std::lround(size * std::sin(back + turn)))};
    };
    const vd::ui::Point head[] = {barb(kArrowHalfAngle), to, barb(-kArrowHalfAngle)};
    dc.Polyline(head);
  }
  dc.SelectPen(old);
}

void COverlaySurfacePainter::DrawTargetSymbol(vd::ui::Surface& dc,
                                              std::span<const vd::ui::Point> corners,
                                              uint32_t colour) {
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Solid(ColourOf(colour)));
  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 1, 0});
  dc.Polygon(corners);
  dc.SelectPen(old_pen);
  dc.SelectBrush(old_brush);
}

void COverlaySurfacePainter::DrawHeadingShape(const COverlayGPSPosition& own, vd::ui::Surface& dc,
                                              const CScreenTransform& view,
                                              const CScreenPoints& points) {
  // The heading points along screen_heading in screen pixels (y down); the triangle's length is
  // centred on the position.
  const float scale = COverlayMovingTarget::DisplayScale();
  const vd::ui::Point at = view.ToScreenPixel(points.points[0]);
  const double cx = at.x + own.shape_offset().x * scale;
  const double cy = at.y + own.shape_offset().y * scale;
  const double half_length = COverlayGPSPosition::kShapeLength / 2 * scale;
  const double half_width = COverlayGPSPosition::kShapeHalfWidth * scale;
  const double ux = own.screen_heading().east;
  const double uy = own.screen_heading().north;
  auto point = [](double x, double y) {
    return vd::ui::Point{static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
  };
  const vd::ui::Point triangle[] = {
      point(cx + ux * half_length, cy + uy * half_length),
      point(cx - ux * half_length - uy * half_width, cy - uy * half_length + ux * half_width),
      point(cx - ux * half_length + uy * half_width, cy - uy * half_length - ux * half_width)};
  const vd::ui::ColourRef fill = ColourOf(own.colour);
  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 1, fill});
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Solid(fill));
  dc.Polygon(triangle);
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
}

COverlaySurfacePainter& COverlaySurfacePainter::Global() {
  static COverlaySurfacePainter painter;
  return painter;
}
