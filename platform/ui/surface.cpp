#include "platform/ui/surface.h"

#include <QFontMetrics>
#include <QImage>
#include <QList>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>

#include "platform/ui/dash_pattern.h"
#include "platform/ui/image.h"
#include "platform/ui/palette_image.h"

namespace vd::ui {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The rectangle with left <= right and top <= bottom, as the pixels it covers.
QRect Covered(const Rect& r) {
  return QRect(QPoint(std::min(r.left, r.right), std::min(r.top, r.bottom)),
               QSize(std::abs(r.Width()), std::abs(r.Height())));
}

// The outline of Rectangle and Ellipse: a Qt rectangle drawn with a pen covers one pixel more
// than its size, and filled without one exactly its size.
QRect Outline(const Rect& r) {
  const QRect c = Covered(r);
  return QRect(c.topLeft(), QSize(std::max(c.width() - 1, 0), std::max(c.height() - 1, 0)));
}

QPolygon ToQPolygon(std::span<const Point> points) {
  QPolygon poly(static_cast<qsizetype>(points.size()));
  for (size_t i = 0; i < points.size(); ++i) {
    poly.setPoint(static_cast<qsizetype>(i), points[i].x, points[i].y);
  }
  return poly;
}

QPen MakeQPen(const Pen& pen) {
  if (pen.style == LineStyle::Null) return QPen(Qt::NoPen);
  QPen q(QColorFromColourRef(pen.colour));
  const int width = std::max(pen.width, 0);
  const bool thin = width <= 1;
  q.setWidth(width);
  q.setCapStyle(thin ? Qt::FlatCap : Qt::RoundCap);
  q.setJoinStyle(thin ? Qt::MiterJoin : Qt::RoundJoin);
  if (pen.style != LineStyle::Solid) {
    q.setDashPattern(DashPattern(pen.style, thin));
    q.setCapStyle(Qt::FlatCap);
  }
  return q;
}

QBrush MakeQBrush(const Brush& brush) {
  switch (brush.kind) {
    case Brush::Kind::Solid:
      return QBrush(QColorFromColourRef(brush.colour));
    case Brush::Kind::BackwardDiagonalHatch:
      return QBrush(QColorFromColourRef(brush.colour), Qt::BDiagPattern);
    case Brush::Kind::Null:
      break;
  }
  return QBrush(Qt::NoBrush);
}

QPainter::CompositionMode CompositionFor(RasterOp op) {
  return op == RasterOp::Invert ? QPainter::RasterOp_NotDestination
                                : QPainter::CompositionMode_SourceOver;
}

// Fills and pixel copies are not subject to the raster operation.
class CompositionScope {
 public:
  CompositionScope(QPainter& painter, QPainter::CompositionMode mode)
      : painter_(painter), previous_(painter.compositionMode()) {
    painter_.setCompositionMode(mode);
  }
  ~CompositionScope() { painter_.setCompositionMode(previous_); }
  CompositionScope(const CompositionScope&) = delete;
  CompositionScope& operator=(const CompositionScope&) = delete;

 private:
  QPainter& painter_;
  QPainter::CompositionMode previous_;
};

// "&x" shows x, "&&" shows "&", a final "&" nothing.
QString StripPrefixes(const QString& s) {
  QString out;
  out.reserve(s.size());
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (++i < s.size()) out += s[i];
    } else {
      out += s[i];
    }
  }
  return out;
}

// Tabs become spaces up to the next stop of 8 average character widths.
QString ExpandTabs(const QString& line, const QFontMetrics& fm) {
  if (!line.contains(u'\t')) return line;
  const int stop = std::max(8 * fm.averageCharWidth(), 1);
  const int space = std::max(fm.horizontalAdvance(u' '), 1);
  QString out;
  for (QChar c : line) {
    if (c != u'\t') {
      out += c;
      continue;
    }
    const int x = fm.horizontalAdvance(out);
    const int next = (x / stop + 1) * stop;
    out += QString((next - x + space - 1) / space, u' ');
  }
  return out;
}

// Greedy word wrap: words stay whole, a word wider than `width` gets a line of its own.
void WrapParagraph(const QString& paragraph, const QFontMetrics& fm, int width,
                   std::vector<QString>& lines) {
  const QStringList words = paragraph.split(u' ');
  QString line;
  bool line_has_words = false;
  for (const QString& word : words) {
    if (!line_has_words) {
      line = line.isEmpty() ? word : line + u' ' + word;
      line_has_words = !word.isEmpty();
      continue;
    }
    const QString candidate = line + u' ' + word;
    if (fm.horizontalAdvance(candidate) <= width) {
      line = candidate;
    } else {
      lines.push_back(line);
      line = word;
      line_has_words = !word.isEmpty();
    }
  }
  lines.push_back(line);
}

std::vector<QString> LayoutLines(const QString& text, const QFontMetrics& fm, unsigned format,
                                 int width) {
  std::vector<QString> lines;
  if (text.isEmpty()) return lines;
  if (format & kDrawTextSingleLine) {
    QString line = text;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    lines.push_back(ExpandTabs(line, fm));
    return lines;
  }
  QString normalised = text;
  normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
  for (const QString& paragraph : normalised.split(u'\n')) {
    const QString expanded = ExpandTabs(paragraph, fm);
    if (format & kDrawTextWordBreak) {
      WrapParagraph(expanded, fm, width, lines);
    } else {
      lines.push_back(expanded);
    }
  }
  return lines;
}

// Shrinks `src` to the image and `dest` with it in proportion; false when nothing is left.
// Copies 32-bit pixels with the fourth byte set (the two rows never overlap).
void CopyOpaque(const uint32_t* __restrict from, uint32_t* __restrict to, size_t count) {
  for (size_t i = 0; i < count; ++i) to[i] = from[i] | 0xFF000000u;
}

bool ClampSource(Rect& dest, Rect& src, int image_width, int image_height) {
  if (src.IsEmpty() || dest.IsEmpty()) return false;
  const Rect clamped{std::max(src.left, 0), std::max(src.top, 0), std::min(src.right, image_width),
                     std::min(src.bottom, image_height)};
  if (clamped.IsEmpty()) return false;
  if (clamped == src) return true;
  const double sx = static_cast<double>(dest.Width()) / src.Width();
  const double sy = static_cast<double>(dest.Height()) / src.Height();
  dest = Rect{dest.left + static_cast<int>(std::lround((clamped.left - src.left) * sx)),
              dest.top + static_cast<int>(std::lround((clamped.top - src.top) * sy)),
              dest.right - static_cast<int>(std::lround((src.right - clamped.right) * sx)),
              dest.bottom - static_cast<int>(std::lround((src.bottom - clamped.bottom) * sy))};
  src = clamped;
  return !dest.IsEmpty();
}

// A device pixel position of a line end; far-off ends are pulled in to +-2^40, which keeps the
// products below within 128 bits and changes no visible pixel.
struct DevicePoint {
  int64_t x = 0;
  int64_t y = 0;
};

DevicePoint ToDevice(const QTransform& t, Point p) {
  constexpr double kLimit = 1099511627776.0;  // 2^40
  const QPointF d = t.map(QPointF(p.x, p.y));
  return {std::llround(std::clamp(d.x(), -kLimit, kLimit)),
          std::llround(std::clamp(d.y(), -kLimit, kLimit))};
}

__int128 FloorDiv(__int128 a, __int128 b) {  // b > 0
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The pixels of a one-pixel line from `a` to `b` in device coordinates: `a` is drawn, `b` is
// not, and each pixel lies on the step of the longer axis nearest to the true line. Pixels
// outside `bounds` are not listed, but still advance the dash pattern (one entry per pixel;
// empty for a solid line), so clipping never shifts the dashes.
void RasterizeThinLine(DevicePoint a, DevicePoint b, const QRect& bounds,
                       const std::vector<bool>& pattern, size_t& phase, QList<QPoint>& on,
                       QList<QPoint>& off) {
  const int64_t dx = b.x - a.x;
  const int64_t dy = b.y - a.y;
  const bool x_major = std::abs(dx) >= std::abs(dy);
  const int64_t n = x_major ? std::abs(dx) : std::abs(dy);
  if (n == 0) return;
  const int64_t major0 = x_major ? a.x : a.y;
  const int64_t minor0 = x_major ? a.y : a.x;
  const int64_t minor_delta = x_major ? dy : dx;
  const int64_t step = (x_major ? dx : dy) > 0 ? 1 : -1;
  const int64_t low = x_major ? bounds.left() : bounds.top();
  const int64_t high = x_major ? bounds.right() : bounds.bottom();
  // Steps i in [0, n) whose major coordinate lies within [low, high].
  const int64_t first = std::max<int64_t>(step > 0 ? low - major0 : major0 - high, 0);
  const int64_t last = std::min<int64_t>(step > 0 ? high - major0 : major0 - low, n - 1);
  for (int64_t i = first; i <= last; ++i) {
    const int64_t major = major0 + step * i;
    const int64_t minor =
        minor0 + static_cast<int64_t>(FloorDiv(__int128{2} * i * minor_delta + n, __int128{2} * n));
    const int64_t x = x_major ? major : minor;
    const int64_t y = x_major ? minor : major;
    if (x < bounds.left() || x > bounds.right() || y < bounds.top() || y > bounds.bottom()) {
      continue;
    }
    const size_t index = (phase + static_cast<size_t>(i)) % std::max<size_t>(pattern.size(), 1);
    const bool drawn = pattern.empty() || pattern[index];
    (drawn ? on : off).append(QPoint(static_cast<int>(x), static_cast<int>(y)));
  }
  if (!pattern.empty()) phase = (phase + static_cast<size_t>(n % pattern.size())) % pattern.size();
}

std::vector<bool> PixelPattern(LineStyle style) {
  std::vector<bool> pattern;
  bool drawn = true;
  for (qreal length : DashPattern(style, true)) {
    pattern.insert(pattern.end(), static_cast<size_t>(length), drawn);
    drawn = !drawn;
  }
  return pattern;
}

}  // namespace

Surface::Surface(QPaintDevice& device) : owned_painter_(std::make_unique<QPainter>()) {
  painter_ = owned_painter_.get();
  if (painter_->begin(&device)) Begin();
}

Surface::Surface(Image& image) : Surface(static_cast<QPaintDevice&>(image.qimage())) {}

Surface::Surface(QPainter& painter) : painter_(&painter) {
  painter_->save();
  Begin();
}

Surface::~Surface() {
  if (!painter_->isActive()) return;
  while (Restore()) {
  }
  if (owned_painter_) {
    painter_->end();
  } else {
    painter_->restore();
  }
}

void Surface::Begin() {
  base_transform_ = painter_->worldTransform();
  painter_->setRenderHint(QPainter::Antialiasing, false);
  painter_->setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter_->setRenderHint(QPainter::TextAntialiasing, true);
  painter_->setCompositionMode(CompositionFor(state_.raster_op));
  state_.qfont = MakeQFont(state_.font);
  painter_->setFont(state_.qfont);
  painter_->setPen(MakeQPen(state_.pen));
  painter_->setBrush(MakeQBrush(state_.brush));
  ApplyBackground();
}

bool Surface::IsValid() const { return painter_->isActive(); }

Size Surface::DeviceSize() const {
  const QPaintDevice* d = painter_->device();
  return d ? Size{d->width(), d->height()} : Size{};
}

Size Surface::DeviceSizeMm() const {
  const QPaintDevice* d = painter_->device();
  return d ? Size{d->widthMM(), d->heightMM()} : Size{};
}

int Surface::DpiX() const {
  const QPaintDevice* d = painter_->device();
  return d ? d->logicalDpiX() : 96;
}

int Surface::DpiY() const {
  const QPaintDevice* d = painter_->device();
  return d ? d->logicalDpiY() : 96;
}

int Surface::FontHeightForPoints(int tenths_of_point) const {
  return -static_cast<int>(std::lround(tenths_of_point * static_cast<double>(DpiY()) / 720.0));
}

// The toolkit's opaque mode is set only while it has something to fill (styled pens, hatches,
// text): with it, figures are rasterised on another path that draws ellipses a pixel smaller.
void Surface::ApplyBackground(bool for_text) {
  const bool styled = state_.brush.kind == Brush::Kind::BackwardDiagonalHatch ||
                      (state_.pen.style != LineStyle::Solid && state_.pen.style != LineStyle::Null);
  const bool opaque = state_.background_mode == BackgroundMode::Opaque && (for_text || styled);
  painter_->setBackgroundMode(opaque ? Qt::OpaqueMode : Qt::TransparentMode);
  painter_->setBackground(QBrush(QColorFromColourRef(state_.background_colour)));
}

bool Surface::ThinPen() const {
  if (state_.pen.style == LineStyle::Null || state_.pen.width > 1) return false;
  return state_.pen.width <= 0 || std::abs(painter_->worldTransform().determinant()) <= 1.0 + 1e-9;
}

void Surface::DrawThinLines(std::span<const Point> points) {
  const QTransform logical = painter_->worldTransform();
  const QPaintDevice* d = painter_->device();
  const QRect bounds(0, 0, d->width(), d->height());
  const std::vector<bool> pattern = PixelPattern(state_.pen.style);
  QList<QPoint> on, off;
  DevicePoint from = ToDevice(logical, points.front());
  for (size_t i = 1; i < points.size(); ++i) {
    const DevicePoint to = ToDevice(logical, points[i]);
    RasterizeThinLine(from, to, bounds, pattern, state_.style_phase, on, off);
    from = to;
  }
  painter_->setWorldTransform(QTransform());
  painter_->setPen(QPen(QColorFromColourRef(state_.pen.colour), 0));
  painter_->drawPoints(on.constData(), static_cast<int>(on.size()));
  if (state_.background_mode == BackgroundMode::Opaque && !off.isEmpty()) {
    painter_->setPen(QPen(QColorFromColourRef(state_.background_colour), 0));
    painter_->drawPoints(off.constData(), static_cast<int>(off.size()));
  }
  painter_->setPen(MakeQPen(state_.pen));
  painter_->setWorldTransform(logical);
}

Pen Surface::SelectPen(const Pen& pen) {
  const Pen previous = state_.pen;
  state_.pen = pen;
  state_.style_phase = 0;
  painter_->setPen(MakeQPen(pen));
  ApplyBackground();
  return previous;
}

Brush Surface::SelectBrush(const Brush& brush) {
  const Brush previous = state_.brush;
  state_.brush = brush;
  painter_->setBrush(MakeQBrush(brush));
  ApplyBackground();
  return previous;
}

Font Surface::SelectFont(const Font& font) {
  const Font previous = state_.font;
  state_.font = font;
  state_.qfont = MakeQFont(font);
  painter_->setFont(state_.qfont);
  return previous;
}

ColourRef Surface::SetTextColour(ColourRef colour) {
  return std::exchange(state_.text_colour, colour);
}

ColourRef Surface::SetBackgroundColour(ColourRef colour) {
  const ColourRef previous = std::exchange(state_.background_colour, colour);
  ApplyBackground();
  return previous;
}

BackgroundMode Surface::SetBackgroundMode(BackgroundMode mode) {
  const BackgroundMode previous = std::exchange(state_.background_mode, mode);
  ApplyBackground();
  return previous;
}

RasterOp Surface::SetRasterOp(RasterOp op) {
  const RasterOp previous = std::exchange(state_.raster_op, op);
  painter_->setCompositionMode(CompositionFor(op));
  return previous;
}

FillMode Surface::SetFillMode(FillMode mode) { return std::exchange(state_.fill_mode, mode); }

unsigned Surface::SetTextAlign(unsigned align) { return std::exchange(state_.text_align, align); }

Mapping Surface::SetMapping(const Mapping& m) {
  const Mapping previous = state_.mapping;
  if (m.window_extent.cx == 0 || m.window_extent.cy == 0 || m.viewport_extent.cx == 0 ||
      m.viewport_extent.cy == 0) {
    return previous;  // no such mapping: the current one stays
  }
  state_.mapping = m;
  const double sx = static_cast<double>(m.viewport_extent.cx) / m.window_extent.cx;
  const double sy = static_cast<double>(m.viewport_extent.cy) / m.window_extent.cy;
  const QTransform t(sx, 0, 0, sy, m.viewport_origin.x - m.window_origin.x * sx,
                     m.viewport_origin.y - m.window_origin.y * sy);
  painter_->setWorldTransform(t * base_transform_);
  return previous;
}

void Surface::Save() {
  saved_.push_back(state_);
  painter_->save();
}

bool Surface::Restore() {
  if (saved_.empty()) return false;
  painter_->restore();
  state_ = std::move(saved_.back());
  saved_.pop_back();
  return true;
}

void Surface::SetClipRect(const Rect& rect) { painter_->setClipRect(Covered(rect)); }

void Surface::IntersectClipRect(const Rect& rect) {
  painter_->setClipRect(Covered(rect),
                        painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void Surface::RemoveClip() { painter_->setClipping(false); }

Point Surface::MoveTo(Point p) {
  state_.style_phase = 0;
  return std::exchange(state_.position, p);
}

void Surface::LineTo(Point p) {
  if (ThinPen()) {
    const Point line[] = {state_.position, p};
    DrawThinLines(line);
  } else {
    painter_->drawLine(QPoint(state_.position.x, state_.position.y), QPoint(p.x, p.y));
  }
  state_.position = p;
}

void Surface::Polyline(std::span<const Point> points) {
  if (points.size() < 2) return;
  if (ThinPen()) {
    state_.style_phase = 0;
    DrawThinLines(points);
  } else {
    painter_->drawPolyline(ToQPolygon(points));
  }
}

void Surface::Polygon(std::span<const Point> points) {
  if (points.size() < 2) return;
  painter_->drawPolygon(ToQPolygon(points),
                        state_.fill_mode == FillMode::Winding ? Qt::WindingFill : Qt::OddEvenFill);
}

void Surface::Rectangle(const Rect& rect) { painter_->drawRect(Outline(rect)); }

void Surface::Ellipse(const Rect& rect) { painter_->drawEllipse(Outline(rect)); }

void Surface::Arc(const Rect& box, Point start, Point end, bool clockwise) {
  const QRectF r = Outline(box);
  const double rx = r.width() / 2, ry = r.height() / 2;
  if (rx <= 0 || ry <= 0) return;
  const QPointF c = r.center();
  // Angles on the ellipse (as Qt measures them) of the points where the rays cross it.
  auto angle = [&](Point q) {
    return std::atan2(-(q.y - c.y()) / ry, (q.x - c.x()) / rx) * 180.0 / std::numbers::pi;
  };
  const double a0 = angle(start);
  const double a1 = angle(end);
  double span = clockwise ? -std::fmod(a0 - a1 + 720.0, 360.0) : std::fmod(a1 - a0 + 720.0, 360.0);
  if (std::abs(span) < 1.0 / 16) span = clockwise ? -360.0 : 360.0;
  painter_->drawArc(r, static_cast<int>(std::lround(a0 * 16)),
                    static_cast<int>(std::lround(span * 16)));
}

void Surface::FillRect(const Rect& rect, ColourRef colour) {
  CompositionScope plain(*painter_, QPainter::CompositionMode_SourceOver);
  painter_->fillRect(Covered(rect), QColorFromColourRef(colour));
}

void Surface::SetPixel(Point p, ColourRef colour) {
  CompositionScope plain(*painter_, QPainter::CompositionMode_SourceOver);
  painter_->setPen(QPen(QColorFromColourRef(colour), 0));
  painter_->drawPoint(p.x, p.y);
  painter_->setPen(MakeQPen(state_.pen));
}

Size Surface::MeasureText(std::string_view text) const {
  const QFontMetrics fm(state_.qfont, painter_->device());
  return {fm.horizontalAdvance(ToQString(text)), fm.height()};
}

void Surface::TextOut(Point p, std::string_view text) {
  const QString s = ToQString(text);
  const QFontMetrics fm(state_.qfont, painter_->device());
  const unsigned horizontal = state_.text_align & kTextAlignCenter;
  const unsigned vertical = state_.text_align & kTextAlignBaseline;
  int dx = 0;
  if (horizontal == kTextAlignCenter) {
    dx = -fm.horizontalAdvance(s) / 2;
  } else if (horizontal == kTextAlignRight) {
    dx = -fm.horizontalAdvance(s);
  }
  int dy = fm.ascent();
  if (vertical == kTextAlignBaseline) {
    dy = 0;
  } else if (vertical == kTextAlignBottom) {
    dy = -fm.descent();
  }
  const QTransform logical = painter_->worldTransform();
  QTransform at;
  at.translate(p.x, p.y);
  if (state_.font.escapement % 3600 != 0) at.rotate(-state_.font.escapement / 10.0);
  painter_->setWorldTransform(at * logical);
  painter_->setPen(QColorFromColourRef(state_.text_colour));
  ApplyBackground(true);
  painter_->drawText(QPoint(dx, dy), s);
  ApplyBackground();
  painter_->setPen(MakeQPen(state_.pen));
  painter_->setWorldTransform(logical);
}

int Surface::DrawText(std::string_view text, Rect& rect, unsigned format) {
  QString s = ToQString(text);
  if (!(format & kDrawTextNoPrefix)) s = StripPrefixes(s);
  const QFontMetrics fm(state_.qfont, painter_->device());
  const std::vector<QString> lines = LayoutLines(s, fm, format, rect.Width());
  const int line_height = fm.height();
  const int text_height = line_height * static_cast<int>(lines.size());

  if (format & kDrawTextCalcRect) {
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, fm.horizontalAdvance(line));
    rect.right = rect.left + widest;
    rect.bottom = rect.top + text_height;
    return text_height;
  }

  int top = rect.top;
  if (format & kDrawTextSingleLine) {
    if (format & kDrawTextVCenter) {
      top = rect.top + (rect.Height() - line_height) / 2;
    } else if (format & kDrawTextBottom) {
      top = rect.bottom - line_height;
    }
  }
  const bool clip = !(format & kDrawTextNoClip);
  if (clip) {
    painter_->save();
    IntersectClipRect(rect);
  }
  painter_->setPen(QColorFromColourRef(state_.text_colour));
  ApplyBackground(true);
  int baseline = top + fm.ascent();
  for (const QString& line : lines) {
    int x = rect.left;
    if (format & (kDrawTextCenter | kDrawTextRight)) {
      const int free = rect.Width() - fm.horizontalAdvance(line);
      x += (format & kDrawTextCenter) ? free / 2 : free;
    }
    painter_->drawText(QPoint(x, baseline), line);
    baseline += line_height;
  }
  if (clip) {
    painter_->restore();
  } else {
    ApplyBackground();
    painter_->setPen(MakeQPen(state_.pen));
  }
  return top - rect.top + text_height;
}

void Surface::DrawImageCopy(const Rect& dest, const QImage& image, const Rect& src) {
  CompositionScope copy(*painter_, QPainter::CompositionMode_Source);
  painter_->drawImage(Covered(dest), image, Covered(src));
}

namespace {

// A 1:1 copy of `src` (width x height pixels) to `dest` written straight into the pixels of the
// painter's image, when that image is 32-bit, the mapping a whole-pixel translation and the clip
// one rectangle or none: copy_row(source_x, source_y, to, count) fills `count` pixels of one row.
// False, with nothing done, when the painter has to do the copy.
template <typename CopyRow>
bool CopyStraightIntoImage(QPainter& painter, const Rect& dest, const Rect& src,
                           CopyRow copy_row) {
  const int width = dest.Width(), height = dest.Height();
  if (width != src.Width() || height != src.Height() || width <= 0 || height <= 0) return false;
  QPaintDevice* device = painter.device();
  if (device == nullptr || device->devType() != QInternal::Image) return false;
  auto* target = static_cast<QImage*>(device);
  const QImage::Format format = target->format();
  if (format != QImage::Format_ARGB32 && format != QImage::Format_RGB32 &&
      format != QImage::Format_ARGB32_Premultiplied) {
    return false;
  }
  if (painter.opacity() != 1.0 || !target->isDetached()) return false;
  const QTransform transform = painter.combinedTransform();
  if (transform.type() > QTransform::TxTranslate) return false;
  const int dx = static_cast<int>(transform.dx()), dy = static_cast<int>(transform.dy());
  if (dx != transform.dx() || dy != transform.dy()) return false;
  QRect area = QRect(dest.left + dx, dest.top + dy, width, height) & target->rect();
  if (painter.hasClipping()) {
    const QRegion clip = painter.clipRegion();
    if (clip.rectCount() > 1) return false;
    area &= clip.boundingRect().translated(dx, dy);
  }
  if (area.isEmpty()) return true;
  const int from_x = src.left + area.left() - (dest.left + dx);
  const int from_y = src.top + area.top() - (dest.top + dy);
  const size_t count = static_cast<size_t>(area.width());
  uchar* to_row = target->bits() + static_cast<qsizetype>(area.top()) * target->bytesPerLine() +
                  static_cast<size_t>(area.left()) * 4;
  for (int row = 0; row < area.height(); ++row) {
    copy_row(from_x, from_y + row, reinterpret_cast<uint32_t*>(to_row), count);
    to_row += target->bytesPerLine();
  }
  return true;
}

}  // namespace

bool Surface::CopyIntoImage(const Rect& dest, const QImage& image, const Rect& src) {
  return CopyStraightIntoImage(
      *painter_, dest, src, [&image](int x, int y, uint32_t* to, size_t count) {
        CopyOpaque(reinterpret_cast<const uint32_t*>(image.constScanLine(y)) + x, to, count);
      });
}

bool Surface::CopyIntoImage(const Rect& dest, const PaletteImage& image, const Rect& src) {
  std::array<uint32_t, 256> colours;
  for (size_t i = 0; i < colours.size(); ++i) colours[i] = image.Palette()[i] | 0xFF000000u;
  return CopyStraightIntoImage(
      *painter_, dest, src, [&image, &colours](int x, int y, uint32_t* to, size_t count) {
        const uint8_t* from = image.Row(y) + x;
        for (size_t i = 0; i < count; ++i) to[i] = colours[from[i]];
      });
}

void Surface::Blit(Point dest, const Image& image) {
  StretchBlit({dest.x, dest.y, dest.x + image.Width(), dest.y + image.Height()}, image,
              {0, 0, image.Width(), image.Height()});
}

void Surface::StretchBlit(const Rect& dest, const Image& image, const Rect& src) {
  Rect d = dest, s = src;
  if (!ClampSource(d, s, image.Width(), image.Height())) return;
  const QImage& q = image.qimage();
  if (q.depth() == 32 && CopyIntoImage(d, q, s)) return;
  // A view of the source part whose fourth byte is then set opaque in the copy.
  const QImage part(q.constScanLine(s.top) + static_cast<size_t>(s.left) * 4, s.Width(), s.Height(),
                    q.bytesPerLine(), QImage::Format_ARGB32);
  DrawImageCopy(d, part.convertToFormat(QImage::Format_RGB32), {0, 0, s.Width(), s.Height()});
}

void Surface::Blit(Point dest, const PaletteImage& image) {
  StretchBlit({dest.x, dest.y, dest.x + image.Width(), dest.y + image.Height()}, image,
              {0, 0, image.Width(), image.Height()});
}

void Surface::StretchBlit(const Rect& dest, const PaletteImage& image, const Rect& src) {
  Rect d = dest, s = src;
  if (!ClampSource(d, s, image.Width(), image.Height())) return;
  if (CopyIntoImage(d, image, s)) return;
  DrawImageCopy(d, image.View(), s);
}

}  // namespace vd::ui
