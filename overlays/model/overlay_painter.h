#pragma once
// How the newer model's objects are drawn: Draw of each object hands the object to the painter
// the program installs (overlays/model/ui/overlay_drawing.h draws on the painting surface). The
// model itself draws nothing; without a painter Draw leaves the surface as it was.
#include <cstdint>
#include <span>

#include "overlays/model/screen_points.h"
#include "overlays/model/screen_transform.h"
#include "platform/ui/geometry.h"

class COverlayGPSPosition;
class COverlayMark;
class COverlayMovingTarget;
class COverlayRoute;
class CTrackSection;
namespace vd::ui {
class Surface;
}

class COverlayPainter {
 public:
  virtual ~COverlayPainter() = default;
  // Each gets the object's screen geometry as its Project left it (not empty).
  virtual void DrawMark(COverlayMark& mark, vd::ui::Surface& dc, const CScreenTransform& view,
                        const CScreenPoints& points) = 0;
  virtual void DrawRoute(const COverlayRoute& route, vd::ui::Surface& dc,
                         const CScreenTransform& view, const CScreenPoints& points) = 0;
  virtual void DrawTrackSection(const CTrackSection& section, vd::ui::Surface& dc,
                                const CScreenTransform& view, const CScreenPoints& points) = 0;
  // The speed vector, when the geometry holds its end.
  virtual void DrawMovingTarget(const COverlayMovingTarget& target, vd::ui::Surface& dc,
                                const CScreenTransform& view, const CScreenPoints& points) = 0;
  // A moving target's symbol: the polygon of screen pixels filled in the colour (0xAARRGGBB) and
  // outlined in black.
  virtual void DrawTargetSymbol(vd::ui::Surface& dc, std::span<const vd::ui::Point> corners,
                                uint32_t colour) = 0;
  // The own position's heading triangle.
  virtual void DrawHeadingShape(const COverlayGPSPosition& own, vd::ui::Surface& dc,
                                const CScreenTransform& view, const CScreenPoints& points) = 0;

  static COverlayPainter* Get();
  // Installs painter (null: none); the caller keeps it alive while installed.
  static void Install(COverlayPainter* painter);
};
