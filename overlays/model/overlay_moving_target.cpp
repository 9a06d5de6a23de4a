#include "overlays/model/overlay_moving_target.h"

#include <cmath>
#include <vector>

#include "geodesy/chart_view_georef.h"
#include "geodesy/local_projection.h"
#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/overlay_painter.h"

namespace {

float display_scale = 1.0f;


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


bool COverlayMovingTarget::NoteDrawnPosition(const CScreenTransform& view,
                                             const CScreenPoints& points) {
  drawn_at_.reset();
  if (points.points.empty()) return false;
  drawn_at_ = view.ToScreenPixel(points.points[0]);
  return true;
}

void COverlayMovingTarget::Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                                const CScreenPoints& points) {
  if (!NoteDrawnPosition(view, points)) return;
  if (COverlayPainter* painter = COverlayPainter::Get()) {
    painter->DrawMovingTarget(*this, dc, view, points);
  }
}

bool COverlayMovingTarget::HitTest(float x, float y, const GeoPoint& /*position*/) {
  if (!drawn_at_) return false;
  const float radius = kHitRadius * display_scale;
  return std::fabs(x - static_cast<float>(drawn_at_->x)) <= radius &&
         std::fabs(y - static_cast<float>(drawn_at_->y)) <= radius;
}
