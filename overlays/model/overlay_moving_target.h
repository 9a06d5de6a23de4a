#pragma once
// A moving object of the newer overlay model (the own position, AIS targets): a GPS position
// record with its speed and direction, drawn as a speed vector from its position.
#include <cstdint>
#include <optional>

#include "overlays/model/data_gps_position.h"
#include "overlays/model/overlay_object.h"
#include "platform/ui/geometry.h"

class COverlayMovingTarget : public COverlayObject, public CDataGPSPosition {
 public:
  static constexpr double kMetresPerMinutePerKnot = 30.866666666666667;
  static constexpr float kMinVectorSpeed = 0.2f;  // knots (speeds are floats): no vector at or below
  static constexpr float kArrowSize = 5.0f;       // display units
  static constexpr float kHitRadius = 8.0f;       // display units around the position

  // Colour from the own-position setting gc_color2; no position yet.
  explicit COverlayMovingTarget(int32_t kind);

  // The position and, when the chosen source shows a direction, the vector is on and the speed
  // is above 0.2 knots, the vector's end: speed x vector_scale minutes x the target's factor.
  // Nothing without a position (none yet, or 0, 0).
  void Project(CScreenPoints& points, const ChartViewGeoref& georef) override;
  // The vector with an arrow head at its end, when Project gave one (through the painter).
  void Draw(vd::ui::Surface& dc, const CScreenTransform& view,
            const CScreenPoints& points) override;
  // Screen points within kHitRadius of where the position was last drawn.
  bool HitTest(float x, float y, const GeoPoint& position) override;

  // Screen pixels per display unit (the display's scale factor), for every moving target.
  static void SetDisplayScale(float scale);
  static float DisplayScale();

  float vector_factor = 1.0f;  // applied to the vector's length
  bool show_vector = true;
  uint32_t colour;  // 0xAARRGGBB

 protected:
  bool HasPosition() const;
  // Notes where the position is drawn (for HitTest); false when Project gave no position.
  bool NoteDrawnPosition(const CScreenTransform& view, const CScreenPoints& points);

 private:
  std::optional<vd::ui::Point> drawn_at_;  // the position's screen pixel at the last Draw
};
