#include "core/ui/window.h"

#include "core/ui/instance_subclasser.h"
#include "platform/ui/window_widget.h"

using vd::ui::Message;

Window::~Window() { DestroyWindow(); }

QWidget* Window::widget() const { return handle_ ? handle_->widget() : nullptr; }

bool Window::Create(QWidget* parent) {
  if (handle_) return false;
  Attach(new vd::ui::WindowWidget(parent));
  return true;
}

void Window::Attach(vd::ui::NativeWindow* window) {
  handle_ = window;
  InstanceSubclasser::Global().Attach(window, this);
}

void Window::DestroyWindow() {
  if (!handle_) return;
  vd::ui::NativeWindow* window = handle_;
  window->Destroy();
  // A procedure that kept kWmDestroy from reaching WndProc leaves the handle set.
  if (handle_ == window) {
    InstanceSubclasser::Global().Detach(window);
    handle_ = nullptr;
  }
}

intptr_t Window::OnNotify(int id, vd::ui::NotifyHeader* header) {
  return CallPreviousProc(vd::ui::kWmNotify, static_cast<uintptr_t>(id),
                          reinterpret_cast<intptr_t>(header));
}

bool Window::DispatchWindowEvent(uint32_t msg, uintptr_t w, intptr_t l) {
  switch (msg) {
    case vd::ui::kWmDestroy: OnDestroy(); return true;
    case vd::ui::kWmSize:
      OnSize(vd::ui::LowWord(static_cast<uintptr_t>(l)), vd::ui::HighWord(static_cast<uintptr_t>(l)));
      return true;
    case vd::ui::kWmPaint: OnPaint(); return true;
    case vd::ui::kWmTimer: OnTimer(w); return true;
    case vd::ui::kWmLButtonDown:
    case vd::ui::kWmLButtonDblClk:
      OnLButtonDown(msg == vd::ui::kWmLButtonDblClk, vd::ui::XFromLParam(l), vd::ui::YFromLParam(l),
                    static_cast<unsigned>(w));
      return true;
    default: return false;
  }
}

intptr_t Window::WndProc(uint32_t msg, uintptr_t w, intptr_t l) {
  switch (msg) {
    case vd::ui::kWmNotify:
      return OnNotify(static_cast<int>(w), reinterpret_cast<vd::ui::NotifyHeader*>(l));
    case vd::ui::kWmCommand:
      OnCommand(vd::ui::LowWord(w), reinterpret_cast<QWidget*>(l), vd::ui::HighWord(w));
      break;
    default:
      DispatchWindowEvent(msg, w, l);
      break;
  }
  const intptr_t result = CallPreviousProc(msg, w, l);
  if (msg == vd::ui::kWmDestroy) handle_ = nullptr;
  return result;
}

intptr_t Window::CallPreviousProc(uint32_t msg, uintptr_t w, intptr_t l) {
  vd::ui::NativeWindow* window = handle_;
  if (!window) return 0;
  InstanceSubclasser& subclasser = InstanceSubclasser::Global();
  const InstanceSubclasser::Record* record = subclasser.Find(window);
  vd::ui::MessageProc* previous = record ? record->previous_proc : nullptr;
  if (msg == vd::ui::kWmDestroy || msg == vd::ui::kWmNcDestroy) subclasser.Detach(window);
  const Message message{msg, w, l};
  return previous ? previous->HandleMessage(*window, message) : window->DefaultProc(message);
}
