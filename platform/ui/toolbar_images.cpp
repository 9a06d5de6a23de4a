#include "platform/ui/toolbar_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <functional>
#include <map>

namespace vd::ui {
namespace {

// Every picture is drawn on a 16 x 16 grid, scaled to the size asked for.
constexpr double kGrid = 16.0;

const QColor kInk(0x2B, 0x3A, 0x4A);
const QColor kSea(0x1F, 0x6F, 0xB2);
const QColor kRed(0xC0, 0x39, 0x2B);
const QColor kGreen(0x2E, 0x8B, 0x57);
const QColor kPaper(0xFA, 0xF7, 0xEE);
const QColor kSand(0xE8, 0xC9, 0x6B);

using Artist = std::function<void(QPainter&)>;

QPen Line(const QColor& colour, double width = 1.3) {
  QPen pen(colour, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
  p.setPen(Line(colour, 1.6));
  p.drawLine(from, to);
  const QLineF shaft(to, from);
  QLineF wing1 = shaft, wing2 = shaft;
  wing1.setLength(4.0);
  wing2.setLength(4.0);
  wing1.setAngle(shaft.angle() + 35);
  wing2.setAngle(shaft.angle() - 35);
  p.drawLine(wing1);
  p.drawLine(wing2);
}

void Sheet(QPainter& p, QRectF r) {
  p.setPen(Line(kInk, 1.0));
  p.setBrush(kPaper);
  p.drawRect(r);
}

void Pin(QPainter& p, QPointF tip, const QColor& colour) {
  QPainterPath path;
  path.moveTo(tip);
  path.cubicTo(tip + QPointF(-5, -5), tip + QPointF(-4, -11), tip + QPointF(0, -11));
  path.cubicTo(tip + QPointF(4, -11), tip + QPointF(5, -5), tip);
  p.setPen(Line(kInk, 1.0));
  p.setBrush(colour);
  p.drawPath(path);
  p.setBrush(Qt::white);
  p.drawEllipse(tip + QPointF(0, -7.5), 1.6, 1.6);
}

void CurvedArrow(QPainter& p, bool clockwise) {
  p.setPen(Line(kSea, 1.6));
  p.setBrush(Qt::NoBrush);
  const QRectF arc(3, 4, 10, 9);
  if (clockwise) {
    p.drawArc(arc, 160 * 16, -200 * 16);
    Arrow(p, {11.5, 10.5}, {12.6, 12.6}, kSea);
  } else {
    p.drawArc(arc, 20 * 16, 200 * 16);
    Arrow(p, {4.5, 10.5}, {3.4, 12.6}, kSea);
  }
}

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& colour) {
  p.setPen(Line(kInk, 0.8));
  p.setBrush(colour);
  p.drawPolygon(QPolygonF({a, b, c}));
}

void Mountains(QPainter& p) {
  p.setPen(Line(kInk, 1.0));
  p.setBrush(kGreen);
  p.drawPolygon(QPolygonF({QPointF(1, 14), QPointF(6, 5), QPointF(9, 10), QPointF(11, 7),
                           QPointF(15, 14)}));
}

const std::map<std::string, Artist>& Artwork() {
  static const std::map<std::string, Artist> artwork = {
      // ---- the chart program ----
      {"import",
       [](QPainter& p) {
         Sheet(p, {5, 2, 10, 12});
         Arrow(p, {1, 8}, {9, 8}, kSea);
       }},
      {"save",
       [](QPainter& p) {
         p.setPen(Line(kInk, 1.0));
         p.setBrush(kSea);
         p.drawRoundedRect(QRectF(2, 2, 12, 12), 1, 1);
         p.setBrush(kPaper);
         p.drawRect(QRectF(4.5, 2, 7, 4.5));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(4, 9, 8, 5));
       }},
      {"print",
       [](QPainter& p) {
         Sheet(p, {4, 1.5, 8, 5});
         p.setPen(Line(kInk, 1.0));
         p.setBrush(QColor(0xB0, 0xB8, 0xC0));
         p.drawRoundedRect(QRectF(1.5, 6, 13, 6), 1, 1);
         Sheet(p, {4, 10, 8, 4.5});
       }},
      {"print_preview",
       [](QPainter& p) {
         Sheet(p, {2, 1.5, 9, 12});
         p.setPen(Line(kInk, 1.4));
         p.setBrush(QColor(255, 255, 255, 160));
         p.drawEllipse(QPointF(9, 9), 3.2, 3.2);
         p.drawLine(QPointF(11.3, 11.3), QPointF(14.5, 14.5));
       }},
      {"remove_page",
       [](QPainter& p) {
         Sheet(p, {2, 1.5, 9, 12});
         p.setPen(Line(kRed, 2.2));
         p.drawLine(QPointF(8, 11.5), QPointF(14.5, 11.5));
       }},
      {"cancel",
       [](QPainter& p) {
         p.setPen(Line(kRed, 1.8));
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
         p.drawLine(QPointF(4.2, 11.8), QPointF(11.8, 4.2));
       }},
      {"undo", [](QPainter& p) { CurvedArrow(p, false); }},
      {"redo", [](QPainter& p) { CurvedArrow(p, true); }},
      {"delete",
       [](QPainter& p) {
         p.setPen(Line(kRed, 2.2));
         p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
         p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
       }},
      {"mark", [](QPainter& p) { Pin(p, {8, 15}, kRed); }},
      {"route",
       [](QPainter& p) {
         const QPointF points[] = {{2, 13}, {6, 5}, {10, 10}, {14, 3}};
         p.setPen(Line(kSea, 1.4));
         p.drawPolyline(points, 4);
         p.setPen(Line(kInk, 0.8));
         p.setBrush(Qt::white);
         for (const QPointF& point : points) p.drawEllipse(point, 1.6, 1.6);
       }},
      {"text",
       [](QPainter& p) {
         Sheet(p, {1.5, 2.5, 13, 11});
         p.setPen(Line(kInk, 1.6));
         p.drawLine(QPointF(5, 5), QPointF(11, 5));
         p.drawLine(QPointF(8, 5), QPointF(8, 11.5));
       }},
      {"maps",
       [](QPainter& p) {
         p.setPen(Line(kInk, 0.9));
         p.setBrush(QColor(0xCF, 0xE6, 0xF5));
         p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(5.5, 1.5), QPointF(10.5, 3),
                                  QPointF(15, 1.5), QPointF(15, 13), QPointF(10.5, 14.5),
                                  QPointF(5.5, 13), QPointF(1, 14.5)}));
         p.setBrush(kSand);
         p.drawEllipse(QPointF(8, 8), 3.2, 2.4);
         p.drawLine(QPointF(5.5, 1.5), QPointF(5.5, 13));
         p.drawLine(QPointF(10.5, 3), QPointF(10.5, 14.5));
       }},
      {"lock",
       [](QPainter& p) {
         p.setPen(Line(kInk, 1.2));
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
         p.drawLine(QPointF(8, 0.5), QPointF(8, 4));
         p.drawLine(QPointF(8, 12), QPointF(8, 15.5));
         p.drawLine(QPointF(0.5, 8), QPointF(4, 8));
         p.drawLine(QPointF(12, 8), QPointF(15.5, 8));
         p.setBrush(kRed);
         p.drawEllipse(QPointF(8, 8), 1.8, 1.8);
       }},
      {"position",
       [](QPainter& p) {
         Triangle(p, {8, 1.5}, {13, 14}, {3, 14}, kRed);
         p.setPen(Line(kInk, 0.8));
         p.setBrush(Qt::white);
         p.drawEllipse(QPointF(8, 10), 1.5, 1.5);
       }},
      {"satellites",
       [](QPainter& p) {
         p.setPen(Line(kInk, 0.9));
         p.setBrush(kSea);
         p.drawRect(QRectF(0.5, 4.5, 5, 3));
         p.drawRect(QRectF(10.5, 4.5, 5, 3));
         p.setBrush(QColor(0xB0, 0xB8, 0xC0));
         p.drawRect(QRectF(6, 3.5, 4, 5));
         p.setPen(Line(kInk, 1.1));
         p.setBrush(Qt::NoBrush);
         p.drawArc(QRectF(4, 9, 8, 6), 200 * 16, 140 * 16);
         p.drawLine(QPointF(8, 8.5), QPointF(8, 12));
       }},
      // ---- the 3D viewer ----
      {"fixed_point",
       [](QPainter& p) {
         Mountains(p);
         p.setPen(Line(kRed, 1.3));
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(8, 7), 2.5, 2.5);
         p.drawLine(QPointF(8, 1), QPointF(8, 3.5));
       }},
      {"move_in",
       [](QPainter& p) {
         Mountains(p);
         p.setPen(Line(kInk, 1.8));
         p.drawLine(QPointF(11, 3.5), QPointF(15, 3.5));
         p.drawLine(QPointF(13, 1.5), QPointF(13, 5.5));
       }},
      {"move_out",
       [](QPainter& p) {
         Mountains(p);
         p.setPen(Line(kInk, 1.8));
         p.drawLine(QPointF(11, 3.5), QPointF(15, 3.5));
       }},
      {"lighting",
       [](QPainter& p) {
         p.setPen(Line(QColor(0xD4, 0x8A, 0x00), 1.2));
         p.setBrush(kSand);
         p.drawEllipse(QPointF(8, 8), 3.5, 3.5);
         for (int i = 0; i < 8; ++i) {
           QLineF ray(QPointF(8, 8), QPointF(8, 1));
           ray.setAngle(i * 45.0);
           ray.setP1(ray.pointAt(5.0 / 7.0));
           p.drawLine(ray);
         }
       }},
      {"play", [](QPainter& p) { Triangle(p, {4, 2.5}, {13.5, 8}, {4, 13.5}, kGreen); }},
      {"pause",
       [](QPainter& p) {
         p.setPen(Line(kInk, 0.8));
         p.setBrush(kSea);
         p.drawRect(QRectF(3.5, 2.5, 3, 11));
         p.drawRect(QRectF(9.5, 2.5, 3, 11));
       }},
      {"step_forward",
       [](QPainter& p) {
         Triangle(p, {3, 3}, {10, 8}, {3, 13}, kSea);
         p.setBrush(kSea);
         p.drawRect(QRectF(10.5, 3, 2.5, 10));
       }},
      {"step_back",
       [](QPainter& p) {
         Triangle(p, {13, 3}, {6, 8}, {13, 13}, kSea);
         p.setBrush(kSea);
         p.drawRect(QRectF(3, 3, 2.5, 10));
       }},
      {"home",
       [](QPainter& p) {
         Triangle(p, {8, 1.5}, {15, 8}, {1, 8}, kRed);
         p.setPen(Line(kInk, 0.8));
         p.setBrush(kPaper);
         p.drawRect(QRectF(3.5, 8, 9, 6.5));
         p.setBrush(kInk);
         p.drawRect(QRectF(7, 10.5, 2, 4));
       }},
      {"rebuild",
       [](QPainter& p) {
         Mountains(p);
         p.setPen(Line(kSea, 1.4));
         p.setBrush(Qt::NoBrush);
         p.drawArc(QRectF(9, 0.5, 6, 6), 90 * 16, 270 * 16);
         Arrow(p, {12, 0.5}, {14, 0.5}, kSea);
       }},
      {"busy",
       [](QPainter& p) {
         p.setPen(Line(kInk, 1.0));
         p.setBrush(kSand);
         p.drawPolygon(QPolygonF({QPointF(3, 1.5), QPointF(13, 1.5), QPointF(8, 8),
                                  QPointF(13, 14.5), QPointF(3, 14.5), QPointF(8, 8)}));
       }},
      {"narrower",
       [](QPainter& p) {
         p.setPen(Line(kInk, 1.3));
         p.drawLine(QPointF(1, 8), QPointF(15, 5.5));
         p.drawLine(QPointF(1, 8), QPointF(15, 10.5));
       }},
      {"wider",
       [](QPainter& p) {
         p.setPen(Line(kInk, 1.3));
         p.drawLine(QPointF(1, 8), QPointF(15, 1.5));
         p.drawLine(QPointF(1, 8), QPointF(15, 14.5));
       }},
      {"video",
       [](QPainter& p) {
         p.setPen(Line(kInk, 0.9));
         p.setBrush(kInk);
         p.drawRoundedRect(QRectF(1, 4, 10, 8), 1.2, 1.2);
         Triangle(p, {11, 8}, {15, 4.5}, {15, 11.5}, kInk);
         p.setBrush(kRed);
         p.drawEllipse(QPointF(4, 6.5), 1.2, 1.2);
       }},
      {"properties",
       [](QPainter& p) {
         Sheet(p, {2, 1.5, 12, 13});
         p.setPen(Line(kSea, 1.2));
         for (double y : {5.0, 8.0, 11.0}) p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
       }},
      {"side_by_side",
       [](QPainter& p) {
         Sheet(p, {1, 2.5, 6.5, 11});
         p.setBrush(QColor(0xCF, 0xE6, 0xF5));
         p.drawRect(QRectF(8.5, 2.5, 6.5, 11));
       }},
      {"map_below",
       [](QPainter& p) {
         Sheet(p, {1.5, 1, 13, 6.5});
         p.setBrush(QColor(0xCF, 0xE6, 0xF5));
         p.drawRect(QRectF(1.5, 8.5, 13, 6.5));
       }},
      // ---- both ----
      {"help",
       [](QPainter& p) {
         p.setPen(Line(kInk, 1.0));
         p.setBrush(kSea);
         p.drawEllipse(QPointF(8, 8), 7, 7);
         p.setPen(Line(Qt::white, 1.7));
         p.setBrush(Qt::NoBrush);
         p.drawArc(QRectF(5.5, 3.5, 5, 5), 180 * 16, -240 * 16);
         p.drawLine(QPointF(8, 8.5), QPointF(8, 9.8));
         p.drawPoint(QPointF(8, 12.3));
       }},
      {"about",
       [](QPainter& p) {
         p.setPen(Line(kInk, 1.0));
         p.setBrush(kSea);
         p.drawEllipse(QPointF(8, 8), 7, 7);
         p.setPen(Line(Qt::white, 1.8));
         p.drawPoint(QPointF(8, 4.6));
         p.drawLine(QPointF(8, 7.5), QPointF(8, 12));
       }},
  };
  return artwork;
}

}  // namespace

QImage DrawToolbarImage(const std::string& name, int size) {
  const auto found = Artwork().find(name);
  if (found == Artwork().end() || size <= 0) return {};
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kGrid, size / kGrid);
  found->second(painter);
  return image;
}

QIcon ToolbarIcon(const std::string& name, int size, int large_size) {
  QIcon icon;
  for (int side : {size, large_size}) {
    const QImage image = DrawToolbarImage(name, side);
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

const std::vector<std::string>& ToolbarImageNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto& [name, artist] : Artwork()) out.push_back(name);
    return out;
  }();
  return names;
}

ToolbarImageSize ToolbarImageSizeFor(float display_scale) {
  if (display_scale <= 1.4f) return {0, 16, 32};
  if (display_scale <= 1.9f) return {1, 24, 48};
  return {2, 32, 64};
}

}  // namespace vd::ui
