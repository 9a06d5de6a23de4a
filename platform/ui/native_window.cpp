#include "platform/ui/native_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWidget>
#include <mutex>

namespace vd::ui {
namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

uintptr_t KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  uintptr_t flags = 0;
  if (buttons & Qt::LeftButton) flags |= kMkLButton;
  if (buttons & Qt::RightButton) flags |= kMkRButton;
  if (buttons & Qt::MiddleButton) flags |= kMkMButton;
  if (modifiers & Qt::ShiftModifier) flags |= kMkShift;
  if (modifiers & Qt::ControlModifier) flags |= kMkControl;
  return flags;
}

// The message of a button event; 0 for buttons the programs do not use.
uint32_t ButtonMessage(QEvent::Type type, Qt::MouseButton button) {
  const int index = type == QEvent::MouseButtonPress     ? 0
                    : type == QEvent::MouseButtonRelease ? 1
                                                         : 2;  // double click
  switch (button) {
    case Qt::LeftButton: return kWmLButtonDown + index;
    case Qt::RightButton: return kWmRButtonDown + index;
    case Qt::MiddleButton: return kWmMButtonDown + index;
    default: return 0;
  }
}

// The virtual key of a toolkit key; 0 for keys without one.
int VirtualKey(const QKeyEvent& event) {
  const int key = event.key();
  // The toolkit's codes of letters and digits are their ASCII codes, as virtual keys are.
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return kVkF1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return kVkBack;
    case Qt::Key_Tab: return kVkTab;
    case Qt::Key_Clear: return kVkClear;
    case Qt::Key_Return:
    case Qt::Key_Enter: return kVkReturn;
    case Qt::Key_Shift: return kVkShift;
    case Qt::Key_Control: return kVkControl;
    case Qt::Key_Alt: return kVkMenu;
    case Qt::Key_Escape: return kVkEscape;
    case Qt::Key_Space: return kVkSpace;
    case Qt::Key_PageUp: return kVkPrior;
    case Qt::Key_PageDown: return kVkNext;
    case Qt::Key_End: return kVkEnd;
    case Qt::Key_Home: return kVkHome;
    case Qt::Key_Left: return kVkLeft;
    case Qt::Key_Up: return kVkUp;
    case Qt::Key_Right: return kVkRight;
    case Qt::Key_Down: return kVkDown;
    case Qt::Key_Insert: return kVkInsert;
    case Qt::Key_Delete: return kVkDelete;
    // The main keyboard's "=+" and "-_" keys, whichever of their two characters is typed.
    case Qt::Key_Plus: return (event.modifiers() & Qt::KeypadModifier) ? kVkAdd : kVkOemPlus;
    case Qt::Key_Equal: return kVkOemPlus;
    case Qt::Key_Minus: return (event.modifiers() & Qt::KeypadModifier) ? kVkSubtract : kVkOemMinus;
    case Qt::Key_Underscore: return kVkOemMinus;
    default: return 0;
  }
}

Qt::CursorShape QtCursor(CursorShape shape) {
  switch (shape) {
    case CursorShape::kArrow: return Qt::ArrowCursor;
    case CursorShape::kCross: return Qt::CrossCursor;
    case CursorShape::kHand: return Qt::PointingHandCursor;
    case CursorShape::kWait: return Qt::WaitCursor;
    case CursorShape::kIBeam: return Qt::IBeamCursor;
    case CursorShape::kSizeAll: return Qt::SizeAllCursor;
    case CursorShape::kSizeWE: return Qt::SizeHorCursor;
    case CursorShape::kSizeNS: return Qt::SizeVerCursor;
    case CursorShape::kNo: return Qt::ForbiddenCursor;
  }
  return Qt::ArrowCursor;
}

}  // namespace

// Where other threads' wake-ups go: cleared, under the lock, before the pump is freed, so a
// wake-up that races with the window's end posts to nothing.
struct NativeWindow::WakeTarget {
  std::mutex mutex;
  QObject* target = nullptr;
};

// Receives the widget's events, the wake-ups and the timers on the window's behalf.
class NativeWindow::Pump : public QObject {
 public:
  explicit Pump(NativeWindow& window) : window_(window) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    return watched == window_.widget_ && window_.TranslateEvent(event);
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != kWakeEvent) return QObject::event(event);
    window_.messages_->DispatchPending();
    return true;
  }

  void timerEvent(QTimerEvent* event) override {
    for (const auto& [id, toolkit_id] : window_.timers_) {
      if (toolkit_id == event->timerId()) {
        window_.Deliver(kWmTimer, id, 0);
        return;
      }
    }
  }

 private:
  NativeWindow& window_;
};

NativeWindow::NativeWindow(QWidget* widget)
    : widget_(widget),
      pump_(std::make_unique<Pump>(*this)),
      wake_(std::make_shared<WakeTarget>()),
      messages_(std::make_unique<vd::os::MessageWindow>(
          [this](const Message& m) { return Deliver(m.msg, m.wparam, m.lparam); })) {
  wake_->target = pump_.get();
  messages_->SetWakeHook([wake = wake_] {
    std::lock_guard lock(wake->mutex);
    if (wake->target) QCoreApplication::postEvent(wake->target, new QEvent(kWakeEvent));
  });
  widget_->installEventFilter(pump_.get());
}

NativeWindow::~NativeWindow() {
  {
    std::lock_guard lock(wake_->mutex);
    wake_->target = nullptr;
  }
  messages_.reset();
  pump_.reset();
}

intptr_t NativeWindow::Deliver(uint32_t msg, uintptr_t w, intptr_t l) {
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } depth(dispatch_depth_);
  const Message message{msg, w, l};
  return proc_ ? proc_->HandleMessage(*this, message) : DefaultProc(message);
}

intptr_t NativeWindow::DefaultProc(const Message& message) {
  if (message.msg == kWmClose) Destroy();
  return 0;
}

bool NativeWindow::Post(uint32_t msg, uintptr_t w, intptr_t l) { return messages_->Post(msg, w, l); }

intptr_t NativeWindow::Send(uint32_t msg, uintptr_t w, intptr_t l) {
  return messages_->Send(msg, w, l);
}

bool NativeWindow::SetTimer(uintptr_t id, int interval_ms) {
  if (destroyed_ || interval_ms < 0) return false;
  KillTimer(id);
  const int toolkit_id = pump_->startTimer(interval_ms);
  if (toolkit_id == 0) return false;
  timers_[id] = toolkit_id;
  return true;
}

bool NativeWindow::KillTimer(uintptr_t id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  pump_->killTimer(it->second);
  timers_.erase(it);
  return true;
}

void NativeWindow::SetCapture() { widget_->grabMouse(); }

void NativeWindow::ReleaseCapture() {
  if (HasCapture()) widget_->releaseMouse();
}

bool NativeWindow::HasCapture() const { return QWidget::mouseGrabber() == widget_; }

void NativeWindow::SetCursor(CursorShape shape) { widget_->setCursor(QtCursor(shape)); }

void NativeWindow::SendDestroyMessages() {
  if (destroy_sent_) return;
  destroy_sent_ = true;
  Deliver(kWmDestroy);
  Deliver(kWmNcDestroy);
  messages_->Close();
  for (const auto& [id, toolkit_id] : timers_) pump_->killTimer(toolkit_id);
  timers_.clear();
  ReleaseCapture();
}

void NativeWindow::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  SendDestroyMessages();
  widget_->hide();
  // Freeing the widget frees this object too: nothing may follow.
  if (dispatch_depth_ > 0) {
    widget_->deleteLater();
  } else {
    delete widget_;
  }
}

void NativeWindow::DestroyedByOwner() {
  destroyed_ = true;
  SendDestroyMessages();
}

bool NativeWindow::TranslateEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::Paint:
      Deliver(kWmPaint);
      return false;
    case QEvent::Resize:
      Deliver(kWmSize, 0, MakeLParam(widget_->width(), widget_->height()));
      return false;
    case QEvent::Move:
      // Only the user's drags, not the program's own placing.
      if (event->spontaneous() && widget_->isVisible()) Deliver(kWmMoving);
      return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const uint32_t msg = event->type() == QEvent::MouseMove
                               ? kWmMouseMove
                               : ButtonMessage(event->type(), mouse->button());
      if (msg == 0) return false;
      const QPoint pos = mouse->position().toPoint();
      Deliver(msg, KeyFlags(mouse->buttons(), mouse->modifiers()), MakeLParam(pos.x(), pos.y()));
      return true;
    }
    case QEvent::Wheel: {
      const auto* wheel = static_cast<QWheelEvent*>(event);
      const QPoint global = wheel->globalPosition().toPoint();
      Deliver(kWmMouseWheel,
              MakeWParam(static_cast<int>(KeyFlags(wheel->buttons(), wheel->modifiers())),
                         wheel->angleDelta().y()),
              MakeLParam(global.x(), global.y()));
      return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      const bool down = event->type() == QEvent::KeyPress;
      if (const int vk = VirtualKey(*key)) {
        // lParam: repeat count 1; bit 30 set when the key was already down.
        const intptr_t l = 1 | (key->isAutoRepeat() ? (intptr_t{1} << 30) : 0);
        Deliver(down ? kWmKeyDown : kWmKeyUp, static_cast<uintptr_t>(vk), l);
      }
      if (down) {
        for (const char32_t c : key->text().toStdU32String()) {
          if (c >= 0x20 && c != 0x7F) Deliver(kWmChar, c, 1);
        }
      }
      return true;
    }
    case QEvent::Close:
      event->ignore();
      Deliver(kWmClose);
      return true;
    default:
      return false;
  }
}

}  // namespace vd::ui
