#pragma once
// The newer model's objects drawn on the painting surface: mark icons (or a disc in the mark's
// colour while an icon has no image), route and track lines in their colour, width and pattern,
// speed vectors with an arrow head, and the own position's heading triangle. Both programs
// install it at start-up.
#include "overlays/model/overlay_painter.h"

class COverlaySurfacePainter : public COverlayPainter {
 public:
  void DrawMark(COverlayMark& mark, vd::ui::Surface& dc, const CScreenTransform& view,
                const CScreenPoints& points) override;
  void DrawRoute(const COverlayRoute& route, vd::ui::Surface& dc, const CScreenTransform& view,
                 const CScreenPoints& points) override;
  void DrawTrackSection(const CTrackSection& section, vd::ui::Surface& dc,
                        const CScreenTransform& view, const CScreenPoints& points) override;
  void DrawMovingTarget(const COverlayMovingTarget& target, vd::ui::Surface& dc,
                        const CScreenTransform& view, const CScreenPoints& points) override;
  void DrawTargetSymbol(vd::ui::Surface& dc, std::span<const vd::ui::Point> corners,
                        uint32_t colour) override;
  void DrawHeadingShape(const COverlayGPSPosition& own, vd::ui::Surface& dc,
                        const CScreenTransform& view, const CScreenPoints& points) override;

  // The painter every program installs.
  static COverlaySurfacePainter& Global();
};
