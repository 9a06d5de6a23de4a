#pragma once
// One overlay object as a chart view lays it over the chart: the object with its screen
// geometry for that view. The view re-projects its layers when its georeference changes,
// invalidates them when it pans or zooms, asks each whether it lies in range before drawing it,
// and offers taps and touches to the layers whose hit list holds the point.
//
// User-interface thread only; the object outlives its layer (the view removes the layer when the
// object announces that it goes away).
#include "geodesy/geo_point.h"
#include "overlays/model/overlay_object.h"
#include "overlays/model/screen_points.h"
#include "overlays/model/screen_transform.h"

struct ChartViewGeoref;

class OverlayLayer {
 public:
  explicit OverlayLayer(COverlayObject& object) : object_(&object) {}

  // The object's world geometry for the georeference; none (cleared) without one.
  void Reproject(const ChartViewGeoref* georef);
  // The screen points are made again for the next transform (after a pan or zoom).
  void Invalidate() { points_.screen_points.clear(); }
  // Whether the geometry meets the transform's visible rectangle (world pixels, as the view
  // sets it); the screen points are made when it does.
  bool InRange(const CScreenTransform& transform);
  // Draws a live object in range.
  void Draw(vd::ui::Surface& dc, const CScreenTransform& transform);
  // Whether a screen point lies on the hit list (as the geometry's kind says).
  bool HitListHolds(float sx, float sy) const { return points_.HitTest(sx, sy); }
  // A tap on the hit list goes to the object; true when it took it.
  bool OnTap(float sx, float sy, const GeoPoint& position);
  // A touch (press) on the hit list: true when the object's hit test holds, so that the layer
  // owns the touch that follows.
  bool OnTouch(float sx, float sy, const GeoPoint& position);

  COverlayObject& object() const { return *object_; }
  const CScreenPoints& points() const { return points_; }

 private:
  COverlayObject* object_;
  CScreenPoints points_;
};
