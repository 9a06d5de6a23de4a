#include "corvex/ui/chart_view_widget.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include "platform/ui/popup_menu.h"
#include "platform/ui/surface.h"

CChartViewWidget::CChartViewWidget(CViewDocument& document, QWidget* parent)
    : WindowWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the view paints every pixel
  SetProc(this);
  CViewWindow& window = *this;
  CViewFrame& frame = *this;
  owned_view_ = std::make_unique<COstrelView>(document, window, frame);
  view_ = owned_view_.get();
  view_->OnSize(width(), height());
}

CChartViewWidget::~CChartViewWidget() { DestroyedByOwner(); }

void CChartViewWidget::DestroyView() {
  if (view_ && hooks_.view_destroying) hooks_.view_destroying(view_);
  owned_view_.reset();
  view_ = nullptr;
}

intptr_t CChartViewWidget::HandleMessage(vd::ui::NativeWindow& window,
                                         const vd::ui::Message& message) {
  if (!view_) return window.DefaultProc(message);
  switch (message.msg) {
    case vd::ui::kWmUser:
      return view_->OnUserMessage(message.wparam, message.lparam);
    case vd::ui::kWmSize:
      view_->OnSize(width(), height());
      return 0;
    case vd::ui::kWmDestroy:
      // Before the window stops taking posted messages.
      DestroyView();
      return 0;
    case vd::ui::kWmMouseMove:
    case vd::ui::kWmLButtonDown:
    case vd::ui::kWmLButtonUp:
    case vd::ui::kWmLButtonDblClk:
    case vd::ui::kWmRButtonDown:
    case vd::ui::kWmRButtonUp:
    case vd::ui::kWmRButtonDblClk:
    case vd::ui::kWmMButtonDown:
    case vd::ui::kWmMButtonUp:
    case vd::ui::kWmMButtonDblClk:
    case vd::ui::kWmMouseWheel:
    case vd::ui::kWmKeyDown:
    case vd::ui::kWmKeyUp:
    case vd::ui::kWmTimer:
      if (view_->OnInputMessage(message)) return 0;
      return window.DefaultProc(message);
    default:
      return window.DefaultProc(message);
  }
}

void CChartViewWidget::paintEvent(QPaintEvent* event) {
  if (!view_) return;
  QPainter painter(this);
  vd::ui::Surface surface(painter);
  const QRect r = event->rect();
  view_->OnDraw(surface, {r.left(), r.top(), r.right() + 1, r.bottom() + 1});
}

void CChartViewWidget::focusInEvent(QFocusEvent* event) {
  WindowWidget::focusInEvent(event);
  if (view_) view_->OnSetFocus();
}

void CChartViewWidget::Invalidate(const vd::ui::Rect& rect) {
  if (!rect.IsEmpty()) update(rect.left, rect.top, rect.Width(), rect.Height());
}

vd::ui::Size CChartViewWidget::ScreenSize() const {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  const QSize size = s ? s->availableSize() : QSize();
  return {size.width(), size.height()};
}

QWidget* CChartViewWidget::Frame() { return parentWidget() ? parentWidget() : this; }

void CChartViewWidget::SetStatusText(const std::string& text) {
  if (hooks_.status_text) hooks_.status_text(text);
}

void CChartViewWidget::SetFrameTitle(const std::string& title) {
  const QString text = QString::fromStdString(title);
  setWindowTitle(text);
  Frame()->setWindowTitle(text);
}

void CChartViewWidget::MaximiseFrame() { Frame()->showMaximized(); }

void CChartViewWidget::CloseFrame() {
  const QPointer<QWidget> frame = Frame();
  QMetaObject::invokeMethod(
      frame, [frame] { if (frame) frame->close(); }, Qt::QueuedConnection);
}

void CChartViewWidget::SetFramePlacement(const CWindowPlacement& placement) {
  QWidget* frame = Frame();
  frame->setGeometry(placement.left, placement.top, placement.right - placement.left,
                     placement.bottom - placement.top);
  switch (placement.show_cmd) {
    case kShowMaximized: frame->showMaximized(); break;
    case kShowMinimized: frame->showMinimized(); break;
    default: frame->showNormal(); break;
  }
}

std::unique_ptr<vd::ui::PopupMenu> CChartViewWidget::LoadContextMenu(int menu_id) {
  return hooks_.load_menu ? hooks_.load_menu(menu_id) : nullptr;
}

void CChartViewWidget::TrackContextMenu(const vd::ui::PopupMenu& menu,
                                        const vd::ui::Point& client_point) {
  const int chosen = menu.Track(this, mapToGlobal(QPoint(client_point.x, client_point.y)));
  if (chosen != 0 && hooks_.run_command) hooks_.run_command(chosen);
}
