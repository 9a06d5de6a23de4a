#pragma once
// What other systems call a window handle: a widget whose events arrive as messages at one
// window procedure (MessageProc), and to which any thread may post or send messages.
//
// The widget's events are translated into the messages of window_messages.h: paint, size,
// mouse buttons and moves (key flags in wParam, signed client position in lParam), the wheel,
// keys and characters, the user dragging the window, close. Posted messages wake the UI
// thread's event loop; Send from the UI thread runs the procedure at once. Timers with ids send
// kWmTimer. A window without a procedure gets the default handling (DefaultProc).
//
// Everything but Post and Send belongs to the UI thread.
#include <cstdint>
#include <map>
#include <memory>

#include "platform/os/message_queue.h"
#include "platform/ui/window_messages.h"

class QEvent;
class QObject;
class QWidget;

namespace vd::ui {

class NativeWindow;

// A window procedure.
class MessageProc {
 public:
  virtual intptr_t HandleMessage(NativeWindow& window, const Message& message) = 0;

 protected:
  ~MessageProc() = default;
};

enum class CursorShape { kArrow, kCross, kHand, kWait, kIBeam, kSizeAll, kSizeWE, kSizeNS, kNo };

class NativeWindow {
 public:
  virtual ~NativeWindow();
  NativeWindow(const NativeWindow&) = delete;
  NativeWindow& operator=(const NativeWindow&) = delete;

  QWidget* widget() const { return widget_; }

  // The window procedure; null gives every message the default handling.
  MessageProc* proc() const { return proc_; }
  void SetProc(MessageProc* proc) { proc_ = proc; }
  // A value kept for the procedure's use.
  void* user_data() const { return user_data_; }
  void SetUserData(void* data) { user_data_ = data; }

  // Runs the procedure (or the default handling) on the message now.
  intptr_t Deliver(uint32_t msg, uintptr_t w = 0, intptr_t l = 0);
  // What a window does with a message nobody handled: kWmClose destroys the window; kWmKeyDown
  // of F1 sends kWmHelp; anything else gives 0.
  virtual intptr_t DefaultProc(const Message& message);

  // Any thread. False once the window is destroyed.
  bool Post(uint32_t msg, uintptr_t w = 0, intptr_t l = 0);
  // Any thread: the procedure's answer, at once on the UI thread, else once the UI thread has
  // handled it; 0 when the window is destroyed first.
  intptr_t Send(uint32_t msg, uintptr_t w = 0, intptr_t l = 0);
  vd::os::MessageWindow& message_window() { return *messages_; }

  // kWmTimer with this id every interval_ms; setting an id again restarts it.
  bool SetTimer(uintptr_t id, int interval_ms);
  bool KillTimer(uintptr_t id);

  // All mouse messages come to this window until released.
  void SetCapture();
  void ReleaseCapture();
  bool HasCapture() const;
  void SetCursor(CursorShape shape);

  // Sends kWmDestroy and kWmNcDestroy, stops timers and messages, and frees the widget (later
  // when this happens inside one of the window's own messages).
  void Destroy();
  bool is_destroyed() const { return destroyed_; }

 protected:
  // widget is the derived object itself.
  explicit NativeWindow(QWidget* widget);
  // Translates one of the widget's events; true when it is used up. Derived windows may take
  // some events themselves first.
  virtual bool TranslateEvent(QEvent* event);
  // Call at the start of the derived destructor: a window freed without Destroy (for example
  // by its parent) still gets its destroy messages while the derived object is whole.
  void DestroyedByOwner();

 private:
  class Pump;
  struct WakeTarget;

  void SendDestroyMessages();

  QWidget* const widget_;
  MessageProc* proc_ = nullptr;
  void* user_data_ = nullptr;
  std::unique_ptr<Pump> pump_;
  std::shared_ptr<WakeTarget> wake_;
  std::unique_ptr<vd::os::MessageWindow> messages_;
  std::map<uintptr_t, int> timers_;  // timer id -> toolkit timer
  int dispatch_depth_ = 0;
  bool destroyed_ = false;
  bool destroy_sent_ = false;
};

}  // namespace vd::ui
