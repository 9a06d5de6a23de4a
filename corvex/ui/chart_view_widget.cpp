#include "corvex/ui/chart_view_widget.h"

#include <QCursor>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <cstdint>

#include "charts/old_quick_chart.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/surface.h"

namespace {

// How long the read-out tip stays.
constexpr int kTipShowMs = 10000;

Qt::CursorShape QtCursor(COstrelView::Cursor cursor) {
  switch (cursor) {
    case COstrelView::Cursor::kArrow: return Qt::ArrowCursor;
    case COstrelView::Cursor::kHand: return Qt::OpenHandCursor;
    case COstrelView::Cursor::kSizeDiagonalDown: return Qt::SizeFDiagCursor;
    case COstrelView::Cursor::kSizeDiagonalUp: return Qt::SizeBDiagCursor;
    case COstrelView::Cursor::kSizeHorizontal: return Qt::SizeHorCursor;
    case COstrelView::Cursor::kSizeVertical: return Qt::SizeVerCursor;
    case COstrelView::Cursor::kMove: return Qt::SizeAllCursor;
  }
  return Qt::ArrowCursor;
}

bool HasGeoreferencedChart(const COstrelView* view) {
  return view && view->chart() && view->chart()->HasGeoreference();
}

}  // namespace

CChartViewWidget::CChartViewWidget(CViewDocument& document, QWidget* parent)
    : WindowWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the view paints every pixel
  setAcceptDrops(true);
  SetProc(this);
  CViewWindow& window = *this;
  CViewFrame& frame = *this;
  owned_view_ = std::make_unique<COstrelView>(document, window, frame);
  view_ = owned_view_.get();
  view_->OnSize(width(), height());
}

CChartViewWidget::~CChartViewWidget() { DestroyedByOwner(); }

void CChartViewWidget::ShowLogo(const std::string& image_path) {
  delete logo_.data();
  if (image_path.empty()) return;
  // The file's own content says what kind of image it is.
  QImageReader reader(QString::fromStdString(image_path));
  reader.setDecideFormatFromContent(true);
  const QImage image = reader.read();
  if (image.isNull()) return;
  logo_ = new QLabel(this);
  logo_->setObjectName("Logo");
  logo_->setAttribute(Qt::WA_TransparentForMouseEvents);
  logo_->setPixmap(QPixmap::fromImage(image));
  logo_->resize(image.size());
  PlaceLogo();
  logo_->show();
}

void CChartViewWidget::PlaceLogo() {
  constexpr int kLogoMargin = 20;
  if (logo_)
    logo_->move(width() - kLogoMargin - logo_->width(), height() - kLogoMargin - logo_->height());
}

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
      PlaceLogo();
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
    case vd::ui::kWmCaptureChanged: {
      const bool handled = view_->OnInputMessage(message);
      ShowViewCursorAndTip();
      return handled ? 0 : window.DefaultProc(message);
    }
    case vd::ui::kWmTimer:
      if (view_->OnInputMessage(message)) return 0;
      return window.DefaultProc(message);
    default:
      return window.DefaultProc(message);
  }
}

// Keys the chart view acts on itself (its table of keys and what its overlay objects take while
// edited): typed plainly (Shift aside) in the view, they stay the view's, and a menu command
// with the same key does not take them.
static bool IsChartViewKey(const QKeyEvent& key) {
  if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  switch (key.key()) {
    case Qt::Key_Shift: case Qt::Key_Space: case Qt::Key_PageUp: case Qt::Key_PageDown:
    case Qt::Key_End: case Qt::Key_Home: case Qt::Key_Left: case Qt::Key_Up:
    case Qt::Key_Right: case Qt::Key_Down: case Qt::Key_I: case Qt::Key_L: case Qt::Key_O:
    case Qt::Key_Plus: case Qt::Key_Equal: case Qt::Key_Minus: case Qt::Key_Delete:
    case Qt::Key_Backspace: case Qt::Key_Insert: case Qt::Key_Return: case Qt::Key_Enter:
    case Qt::Key_Escape:
      return true;
    default:
      return false;
  }
}

bool CChartViewWidget::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && view_ &&
      IsChartViewKey(*static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  if (event->type() != QEvent::ToolTip) return WindowWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  if (view_ && view_->TipShowing() && !view_->tip_text().empty()) {
    QToolTip::showText(help->globalPos(), QString::fromStdString(view_->tip_text()), this, {},
                       kTipShowMs);
  } else {
    QToolTip::hideText();
  }
  return true;
}

void CChartViewWidget::ShowViewCursorAndTip() {
  if (!view_) return;
  setCursor(QtCursor(view_->OnSetCursor()));
  if (!QToolTip::isVisible()) return;
  if (view_->TipShowing() && !view_->tip_text().empty()) {
    QToolTip::showText(QCursor::pos(), QString::fromStdString(view_->tip_text()), this, {},
                       kTipShowMs);
  } else {
    QToolTip::hideText();
  }
}

void CChartViewWidget::LoseCapture() {
  if (view_) Deliver(vd::ui::kWmCaptureChanged);
}

void CChartViewWidget::focusOutEvent(QFocusEvent* event) {
  WindowWidget::focusOutEvent(event);
  LoseCapture();
}

void CChartViewWidget::hideEvent(QHideEvent* event) {
  WindowWidget::hideEvent(event);
  LoseCapture();
}

void CChartViewWidget::changeEvent(QEvent* event) {
  WindowWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) LoseCapture();
}

void CChartViewWidget::dragEnterEvent(QDragEnterEvent* event) {
  // Files become marks on a georeferenced chart; anything else is the frame's to take.
  if (HasGeoreferencedChart(view_) && event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void CChartViewWidget::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  const QPoint at = event->position().toPoint();
  if (view_ && view_->OnDropFiles(paths, {at.x(), at.y()})) {
    event->acceptProposedAction();
  } else {
    event->ignore();
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

vd::ui::Point CChartViewWidget::ClientToScreen(vd::ui::Point client) const {
  const QPoint screen = mapToGlobal(QPoint(client.x, client.y));
  return {screen.x(), screen.y()};
}

void CChartViewWidget::SetCursorScreenPos(vd::ui::Point screen) {
  QCursor::setPos(screen.x, screen.y);
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

void CChartViewWidget::SetReadoutText(const std::string& text) {
  if (hooks_.readout_text) hooks_.readout_text(text);
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
  // The placement may come from a damaged configuration file: any corners give a size a
  // window can have.
  const auto extent = [](int32_t low, int32_t high) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{high} - low, 0, QWIDGETSIZE_MAX));
  };
  frame->setGeometry(placement.left, placement.top, extent(placement.left, placement.right),
                     extent(placement.top, placement.bottom));
  switch (placement.show_cmd) {
    case kShowMaximized: frame->showMaximized(); break;
    case kShowMinimized: frame->showMinimized(); break;
    default: frame->showNormal(); break;
  }
}

std::unique_ptr<vd::ui::PopupMenu> CChartViewWidget::LoadContextMenu(int menu_id) {
  return COstrelView::LoadViewMenu(menu_id);
}

void CChartViewWidget::TrackContextMenu(const vd::ui::PopupMenu& menu,
                                        const vd::ui::Point& client_point) {
  const std::unique_ptr<vd::ui::PopupMenu> shown = view_ ? view_->WithCommandStates(menu) : nullptr;
  const QPoint at = mapToGlobal(QPoint(client_point.x, client_point.y));
  const int chosen = (shown ? *shown : menu).Track(this, at);
  if (chosen != 0 && hooks_.run_command) hooks_.run_command(chosen);
}
