#include "overlays/model/overlay_layer.h"

void OverlayLayer::Reproject(const ChartViewGeoref* georef) {
  if (georef == nullptr) {
    points_.Clear();
    return;
  }
  object_->Project(points_, *georef);
  points_.screen_points.clear();
}

bool OverlayLayer::InRange(const CScreenTransform& transform) {
  return points_.valid && points_.Project(transform);
}

void OverlayLayer::Draw(vd::ui::Surface& dc, const CScreenTransform& transform) {
  if (object_->IsLive() && InRange(transform)) object_->Draw(dc, transform, points_);
}

bool OverlayLayer::OnTap(float sx, float sy, const GeoPoint& position) {
  return object_->IsLive() && HitListHolds(sx, sy) && object_->OnTap(sx, sy, position);
}

bool OverlayLayer::OnTouch(float sx, float sy, const GeoPoint& position) {
  return object_->IsLive() && HitListHolds(sx, sy) && object_->HitTest(sx, sy, position);
}
