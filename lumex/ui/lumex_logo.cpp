#include "lumex/ui/lumex_logo.h"

#include <QFont>
#include <QPainter>
#include <QPolygon>

namespace {

constexpr int kLogoWidth = 76;
constexpr int kLogoHeight = 17;

QImage DrawLogo() {
  QImage logo(kLogoWidth, kLogoHeight, QImage::Format_RGB32);
  logo.fill(QColor(16, 52, 84));
  QPainter painter(&logo);
  painter.setRenderHint(QPainter::Antialiasing);
  // A peak over a wave, then the name.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(240, 160, 48));
  painter.drawPolygon(QPolygon({QPoint(2, 13), QPoint(8, 3), QPoint(14, 13)}));
  painter.setBrush(QColor(120, 200, 230));
  painter.drawRect(2, 13, 12, 2);
  QFont font("Arial");
  font.setPixelSize(12);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(17, 0, kLogoWidth - 18, kLogoHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   "Vardune");
  return logo;
}

}  // namespace

const QImage& LumexLogo() {
  static const QImage logo = DrawLogo();
  return logo;
}
