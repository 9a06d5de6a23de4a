#include "overlays/model/overlay_moving_target.h"

#include <cmath>
#include <vector>

#include "geodesy/chart_view_georef.h"
#include "geodesy/local_projection.h"
#include "overlays/model/overlay_gps_position.h"
#include "platform/ui/surface.h"

namespace {

float display_scale = 1.0f;

constexpr double kArrowHalfAngle = 0.5235987755982988;  // 30 degrees, in radians

}  // namespace

COverlayMovingTarget::COverlayMovingTarget(int32_t kind)
    : COverlayObject(kind, kDrawKeyMovingTarget),
      colour(COverlayGPSPosition::Settings().gc_color2) {}

void COverlayMovingTarget::SetDisplayScale(float scale) { display_scale = scale; }
float COverlayMovingTarget::DisplayScale() { return display_scale; }

bool COverlayMovingTarget::HasPosition() const {
  // The "no position" value lies outside every real latitude.
  if (std::fabs(latitude) > 90.0 || std::fabs(longitude) > 360.0) return false;
  return latitude != 0.0 || longitude != 0.0;
}

void COverlayMovingTarget::Project(CScreenPoints& points, const ChartViewGeoref& georef) {
  points.Clear();
  if (!HasPosition()) return;
  float x;
  float y;
  if (!georef.LatLonToScreen(latitude, longitude, x, y)) return;
  points.Append({x, y});
  points.valid = true;
  const double speed = motion.GetSpeed();
  if (motion.source_kind != CDataSpeedDirection::kNone && show_vector &&
      speed > kMinVectorSpeed) {
    const double metres = speed * COverlayGPSPosition::Settings().vector_scale *
                          kMetresPerMinutePerKnot * vector_factor;
    CLocalProjection plane;
    plane.SetOrigin(latitude, longitude);
    const double end_lat = latitude + metres * motion.direction.north / plane.north_factor();
    const double end_lon = longitude + metres * motion.direction.east / plane.east_factor();
    if (georef.LatLonToScreen(end_lat, end_lon, x, y)) points.Append({x, y});
  }
  points.ComputeBounds();
}

void COverlayMovingTarget::DrawVector(vd::ui::Surface& dc, const CScreenTransform& view,
                                      const CScreenPoints& points) {
  if (points.points.size() < 2) return;
  const vd::ui::Point from = view.ToScreenPixel(points.points[0]);
  const vd::ui::Point to = view.ToScreenPixel(points.points[1]);
  const vd::ui::Pen old = dc.SelectPen(
      {vd::ui::LineStyle::Solid, 1,
       vd::ui::MakeColourRef(static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                             static_cast<uint8_t>(colour))});
  dc.MoveTo(from);
  dc.LineTo(to);
  const double dx = to.x - from.x;
  const double dy = to.y - from.y;
  const double length = std::hypot(dx, dy);
  if (length > 0) {
    // Two barbs pointing back from the end, 30 degrees either side of the line.
    const double size = kArrowSize * display_scale;
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

bool COverlayMovingTarget::NoteDrawnPosition(const CScreenTransform& view,
                                             const CScreenPoints& points) {
  drawn_at_.reset();
  if (points.points.empty()) return false;
  drawn_at_ = view.ToScreenPixel(points.points[0]);
  return true;
}

void COverlayMovingTarget::Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                                const CScreenPoints& points) {
  if (NoteDrawnPosition(view, points)) DrawVector(dc, view, points);
}

bool COverlayMovingTarget::HitTest(float x, float y, const GeoPoint& /*position*/) {
  if (!drawn_at_) return false;
  const float radius = kHitRadius * display_scale;
  return std::fabs(x - static_cast<float>(drawn_at_->x)) <= radius &&
         std::fabs(y - static_cast<float>(drawn_at_->y)) <= radius;
}
