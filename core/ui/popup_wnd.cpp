#include "core/ui/popup_wnd.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

// The window: paints the owner's text, hides on a click.
class CPopupWnd::Window : public QWidget {
 public:
  Window(CPopupWnd& owner, QWidget* parent)
      : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), owner_(owner) {
    setAttribute(Qt::WA_ShowWithoutActivating);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(owner_.brush_);
    painter.drawRect(0, 0, width() - 1, height() - 1);
    painter.setFont(owner_.font_);
    const QRect inside = rect().adjusted(kMarginX, kMarginY, -kMarginX, -kMarginY);
    painter.drawText(inside, Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(owner_.text_));
  }

  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) hide();
  }

 private:
  CPopupWnd& owner_;
};

CPopupWnd::CPopupWnd(vd::ui::ColourRef background)
    : font_(QStringLiteral("Arial")), brush_(vd::ui::QColorFromColourRef(background)) {
  font_.setPointSize(kFontPoints);
}

CPopupWnd::~CPopupWnd() { delete window_.data(); }

bool CPopupWnd::Create(QWidget* parent) {
  if (!parent) return false;
  parent_ = parent;
  delete window_.data();
  window_ = new Window(*this, parent);
  window_->setGeometry(0, 0, 1, 1);
  return true;
}

void CPopupWnd::ShowText(const std::string& text, vd::ui::Point client_point) {
  text_ = text;
  if (!window_ && !Create(parent_)) return;
  if (text_.empty()) {
    window_->hide();
    return;
  }
  window_->update();
  // The size the text takes in the parent's client area (no '&' prefixes, no wrapping).
  const QRect measured = QFontMetrics(font_).boundingRect(
      parent_->rect(), Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(text_));
  const int cx = measured.width() + 2 * kMarginX;
  const int cy = measured.height() + 2 * kMarginY;
  const QPoint at = parent_->mapToGlobal(QPoint(client_point.x, client_point.y));

  // Inside the work area of the screen nearest the window's rectangle.
  const QRect wanted(at, QSize(cx, cy));
  QScreen* screen = QGuiApplication::screenAt(wanted.center());
  if (!screen) screen = parent_->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  int x = at.x();
  int y = at.y();
  if (screen) {
    const QRect area = screen->availableGeometry();
    const int right = area.x() + area.width();
    const int bottom = area.y() + area.height();
    if (x + cx > right) x = right - cx;
    if (y + cy > bottom) y = bottom - cy;
    x = std::max(x, area.x());
    y = std::max(y, area.y());
  }
  window_->setGeometry(x, y, cx, cy);
  window_->raise();
  window_->show();
}

QWidget* CPopupWnd::window() const { return window_.data(); }

void CPopupWnd::Hide() {
  if (window_) window_->hide();
}
