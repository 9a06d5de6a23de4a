#pragma once
// Base of every drawable item of the newer overlay model (marks, routes, track sections, moving
// targets). Changes are announced on the process-wide event list Listener<COverlayObject>: each
// subscriber is called synchronously with the object; the object's change code tells what
// happened. User-interface thread only.
#include <cstdint>

#include "geodesy/geo_point.h"
#include "overlays/model/screen_points.h"
#include "overlays/model/screen_transform.h"

struct ChartViewGeoref;
namespace vd::ui {
class Surface;
}

class COverlayObject {
 public:
  enum Kind : int32_t {
    kMark = 0,
    kRoute = 1,
    kTrackSection = 2,
    kOwnPosition = 4,
    kRoutePoint = 5,  // a mark that is a point of a route
  };
  enum ChangeCode : int32_t {
    kAppeared = 0,   // created, restored or re-added
    kChanged = 1,    // for example a new icon
    kGoingAway = 2,  // destroyed, or taken out of view for a while
  };
  // Drawing order classes.
  static constexpr uint32_t kDrawKeyMark = 0xA0000000u;
  static constexpr uint32_t kDrawKeyLine = 0x20000000u;  // routes and track sections
  static constexpr uint32_t kDrawKeyMovingTarget = 0x50000000u;

  COverlayObject(int32_t kind, uint32_t draw_key) : kind(kind), draw_key(draw_key) {}
  // Announces kGoingAway, and the object stops being the tapped one.
  virtual ~COverlayObject();

  // Recomputes the object's screen geometry (world pixels of the view) for a view.
  virtual void Project(CScreenPoints& points, const ChartViewGeoref& georef) = 0;
  virtual void Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                    const CScreenPoints& points) = 0;
  virtual bool IsLive() const { return true; }
  // Taps at a screen point and its position; true when handled.
  virtual bool OnTap(float /*x*/, float /*y*/, const GeoPoint& /*position*/) { return false; }
  virtual bool OnLongTap(float x, float y, const GeoPoint& position) {
    return OnTap(x, y, position);
  }
  virtual bool HitTest(float /*x*/, float /*y*/, const GeoPoint& /*position*/) { return false; }
  virtual void OnDeselect(const CScreenTransform& /*view*/) {}
  virtual bool OnKey(int32_t /*code*/, int32_t /*data*/) { return false; }

  // Stores the code and fires Listener<COverlayObject> with this object (when it has
  // subscribers).
  void NotifyChange(int32_t code);

  int32_t kind;
  int32_t change_code = kAppeared;
  uint32_t draw_key;

 protected:
  COverlayObject(const COverlayObject&) = default;
  COverlayObject& operator=(const COverlayObject&) = default;
};
