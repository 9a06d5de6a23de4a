#include "platform/ui/graphics.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/ui/dash_pattern.h"
#include "platform/ui/image.h"

namespace vd::ui {
namespace {

// The painter settings of one anti-aliased operation, undone at its end. Vector figures are
// shifted by half a pixel so that integer coordinates fall on pixel centres.
class SmoothScope {
 public:
  SmoothScope(QPainter& painter, bool pixel_centres) : painter_(painter) {
    painter_.save();
    painter_.setRenderHint(QPainter::Antialiasing, true);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_.setBackgroundMode(Qt::TransparentMode);
    if (pixel_centres) {
      painter_.setWorldTransform(painter_.worldTransform() * QTransform::fromTranslate(0.5, 0.5));
    }
  }
  ~SmoothScope() { painter_.restore(); }
  SmoothScope(const SmoothScope&) = delete;
  SmoothScope& operator=(const SmoothScope&) = delete;

 private:
  QPainter& painter_;
};

QPen MakeQPen(const GraphicsPen& pen) {
  QPen q(QColorFromArgb(pen.colour));
  q.setWidthF(std::max(pen.width, 0.0f));
  const bool round = pen.start_cap == LineCap::Round || pen.end_cap == LineCap::Round;
  q.setCapStyle(round ? Qt::RoundCap : Qt::FlatCap);
  q.setJoinStyle(pen.join == LineJoin::Round ? Qt::RoundJoin : Qt::MiterJoin);
  if (pen.dash != LineStyle::Solid) {
    // Dashes end flat whatever the line's caps, or round caps would close the gaps.
    q.setDashPattern(DashPattern(pen.dash, false));
    q.setCapStyle(Qt::FlatCap);
  }
  return q;
}

QPainterPath OpenPath(std::span<const QPointF> points) {
  QPainterPath path(points.front());
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  return path;
}

QPainterPath ClosedPath(std::span<const PointF> points) {
  QPainterPath path(QPointF(points.front().x, points.front().y));
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i].x, points[i].y);
  path.closeSubpath();
  return path;
}

// The rectangle on which an Inset pen's centre line runs.
QRectF PenRect(const GraphicsPen& pen, const RectF& rect) {
  QRectF r(rect.x, rect.y, rect.width, rect.height);
  if (pen.alignment != PenAlignment::Inset) return r;
  const qreal half = std::min<qreal>({pen.width / 2.0, r.width() / 2, r.height() / 2});
  return r.adjusted(half, half, -half, -half);
}

}  // namespace

void Graphics::Stroke(const GraphicsPen& pen, const QPainterPath& path) {
  if (pen.dash == LineStyle::Null) return;
  SmoothScope scope(surface_.painter(), true);
  surface_.painter().strokePath(path, MakeQPen(pen));
}

void Graphics::Fill(Argb colour, const QPainterPath& path) {
  SmoothScope scope(surface_.painter(), true);
  surface_.painter().fillPath(path, QColorFromArgb(colour));
}

void Graphics::StrokeOpen(const GraphicsPen& pen, std::span<const PointF> points) {
  if (points.size() < 2 || pen.dash == LineStyle::Null) return;
  std::vector<QPointF> line;
  line.reserve(points.size());
  for (const PointF& p : points) line.emplace_back(p.x, p.y);
  const bool arrow_start = pen.start_cap == LineCap::ArrowAnchor;
  const bool arrow_end = pen.end_cap == LineCap::ArrowAnchor;
  if (!arrow_start && !arrow_end) {
    Stroke(pen, OpenPath(line));
    return;
  }
  // Arrow heads: triangles twice the pen width long and wide with the tip on the end point.
  // The line stops inside the head where the head is as wide as the line, and line and heads
  // are filled as one figure, so a translucent colour does not darken where they meet.
  const qreal width = std::max(pen.width, 1.0f);
  QPainterPath heads;
  auto add_head = [&](QPointF tip, QPointF from) {
    const QPointF d = tip - from;
    const qreal length = std::hypot(d.x(), d.y());
    if (length <= 0) return tip;
    const QPointF u = d / length;
    const QPointF n(-u.y(), u.x());
    const QPointF base = tip - u * (2 * width);
    heads.addPolygon(QPolygonF({tip, base + n * width, base - n * width, tip}));
    return tip - u * std::min(width, length);
  };
  const QPointF first = line.front(), second = line[1];
  const QPointF last = line.back(), before_last = line[line.size() - 2];
  if (arrow_start) line.front() = add_head(first, second);
  if (arrow_end) line.back() = add_head(last, before_last);
  QPainterPathStroker stroker(MakeQPen(pen));
  QPainterPath figure = stroker.createStroke(OpenPath(line)).united(heads);
  figure.setFillRule(Qt::WindingFill);
  Fill(pen.colour, figure);
}

void Graphics::DrawLine(const GraphicsPen& pen, PointF from, PointF to) {
  const PointF points[] = {from, to};
  StrokeOpen(pen, points);
}

void Graphics::DrawLines(const GraphicsPen& pen, std::span<const PointF> points) {
  StrokeOpen(pen, points);
}

void Graphics::DrawPolygon(const GraphicsPen& pen, std::span<const PointF> points) {
  if (points.size() < 2) return;
  Stroke(pen, ClosedPath(points));
}

void Graphics::FillPolygon(Argb colour, std::span<const PointF> points, FillMode mode) {
  if (points.size() < 3) return;
  QPainterPath path = ClosedPath(points);
  path.setFillRule(mode == FillMode::Winding ? Qt::WindingFill : Qt::OddEvenFill);
  Fill(colour, path);
}

void Graphics::DrawRectangle(const GraphicsPen& pen, const RectF& rect) {
  QPainterPath path;
  path.addRect(PenRect(pen, rect));
  Stroke(pen, path);
}

void Graphics::FillRectangle(Argb colour, const RectF& rect) {
  QPainterPath path;
  path.addRect(QRectF(rect.x, rect.y, rect.width, rect.height));
  Fill(colour, path);
}

void Graphics::DrawEllipse(const GraphicsPen& pen, const RectF& rect) {
  QPainterPath path;
  path.addEllipse(PenRect(pen, rect));
  Stroke(pen, path);
}

void Graphics::FillEllipse(Argb colour, const RectF& rect) {
  QPainterPath path;
  path.addEllipse(QRectF(rect.x, rect.y, rect.width, rect.height));
  Fill(colour, path);
}

void Graphics::DrawImage(const Image& image, const RectF& dest) {
  DrawImage(image, dest, {0, 0, image.Width(), image.Height()});
}

void Graphics::DrawImage(const Image& image, const RectF& dest, const Rect& src) {
  const QRect source =
      QRect(src.left, src.top, src.Width(), src.Height()).intersected(image.qimage().rect());
  if (source.isEmpty() || dest.width <= 0 || dest.height <= 0) return;
  SmoothScope scope(surface_.painter(), false);
  surface_.painter().drawImage(QRectF(dest.x, dest.y, dest.width, dest.height), image.qimage(),
                               source);
}

}  // namespace vd::ui
