#pragma once
// Anti-aliased drawing with ARGB colours and float coordinates on a Surface, for what the
// drawing code renders smoothly (translucent and dashed wide lines, icons, filled figures).
// It shares the surface's logical coordinates and clip but not its pen, brush or raster
// operation. Integer coordinates are pixel centres: a 1-wide line along y = 5 covers exactly
// the pixel row 5, and an image placed at (x, y) lands with its pixel (0, 0) on pixel (x, y).
#include <span>

#include "platform/ui/colour.h"
#include "platform/ui/geometry.h"
#include "platform/ui/surface.h"

class QPainterPath;

namespace vd::ui {

class Image;

enum class LineCap { Flat, Round, ArrowAnchor };  // an arrow head twice the width, pointing out
enum class LineJoin { Miter, Round };
enum class PenAlignment { Center, Inset };  // Inset: rectangles and ellipses are drawn inside

struct GraphicsPen {
  Argb colour = 0xFF000000;
  float width = 1;
  LineStyle dash = LineStyle::Solid;  // Null draws nothing
  LineCap start_cap = LineCap::Flat;
  LineCap end_cap = LineCap::Flat;
  LineJoin join = LineJoin::Miter;
  PenAlignment alignment = PenAlignment::Center;
};

class Graphics {
 public:
  explicit Graphics(Surface& surface) : surface_(surface) {}

  void DrawLine(const GraphicsPen& pen, PointF from, PointF to);
  void DrawLines(const GraphicsPen& pen, std::span<const PointF> points);
  void DrawPolygon(const GraphicsPen& pen, std::span<const PointF> points);
  void FillPolygon(Argb colour, std::span<const PointF> points,
                   FillMode mode = FillMode::Alternate);
  void DrawRectangle(const GraphicsPen& pen, const RectF& rect);
  void FillRectangle(Argb colour, const RectF& rect);
  void DrawEllipse(const GraphicsPen& pen, const RectF& rect);
  void FillEllipse(Argb colour, const RectF& rect);
  // The image blended by its alpha, scaled smoothly to `dest`.
  void DrawImage(const Image& image, const RectF& dest);
  void DrawImage(const Image& image, const RectF& dest, const Rect& src);

 private:
  void Stroke(const GraphicsPen& pen, const QPainterPath& path);
  void StrokeOpen(const GraphicsPen& pen, std::span<const PointF> points);
  void Fill(Argb colour, const QPainterPath& path);

  Surface& surface_;
};

}  // namespace vd::ui
