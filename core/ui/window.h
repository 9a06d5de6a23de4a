#pragma once
// A window object: wraps a native window and turns its messages into virtual calls.
//
// The object is found from its window through the process-wide InstanceSubclasser, which
// Create and Attach install as the window's procedure; every message then reaches WndProc.
// All handlers do nothing by default.
#include <cstdint>

#include "platform/ui/window_messages.h"

class QWidget;
namespace vd::ui {
class NativeWindow;
}

class Window {
 public:
  Window() = default;
  // Destroys a window that still exists.
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Null until created or attached, and again once the window is destroyed.
  vd::ui::NativeWindow* handle() const { return handle_; }
  QWidget* widget() const;

  // Creates a plain child (or, without parent, top-level) window and attaches this object.
  // False when this object already has a window.
  bool Create(QWidget* parent);
  // Makes this object the one that receives the window's messages.
  void Attach(vd::ui::NativeWindow* window);
  // Destroys the window: OnDestroy runs, then the handle is cleared.
  void DestroyWindow();

  virtual void OnPaint() {}
  virtual void OnDestroy() {}
  virtual void OnCommand(int /*id*/, QWidget* /*control*/, int /*code*/) {}
  // The default hands the message to the window's previous procedure.
  virtual intptr_t OnNotify(int id, vd::ui::NotifyHeader* header);
  virtual void OnLButtonDown(bool /*double_click*/, int /*x*/, int /*y*/, unsigned /*key_flags*/) {}
  virtual void OnTimer(uintptr_t /*id*/) {}
  virtual void OnSize(int /*width*/, int /*height*/) {}
  // Dispatches kWmDestroy, kWmSize, kWmPaint, kWmNotify, kWmCommand, kWmTimer,
  // kWmLButtonDown and kWmLButtonDblClk to the handlers above, then (but for kWmNotify) calls
  // the previous procedure. After kWmDestroy the handle is cleared.
  virtual intptr_t WndProc(uint32_t msg, uintptr_t w, intptr_t l);

 protected:
  // The window's procedure before this object was attached (the platform's default handling
  // when there was none); on kWmDestroy and kWmNcDestroy this object is detached first.
  intptr_t CallPreviousProc(uint32_t msg, uintptr_t w, intptr_t l);
  // The handlers of the messages every window shares: destroy, size, paint, timer, left button.
  // Returns false for any other message.
  bool DispatchWindowEvent(uint32_t msg, uintptr_t w, intptr_t l);
  // After the window's destruction has been handled.
  void ClearHandle() { handle_ = nullptr; }

 private:
  friend class InstanceSubclasser;
  vd::ui::NativeWindow* handle_ = nullptr;
};
