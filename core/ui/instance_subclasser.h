#pragma once
// Finds the Window object that belongs to a native window. Attach makes the subclasser the
// window's procedure and keeps a record of what it replaced in the window's user data; the
// records of several subclassers on one window form a chain through the user data, newest
// first. The subclasser's procedure hands each message to the object's WndProc.
#include <cstdint>

#include "platform/ui/native_window.h"

class Window;

class InstanceSubclasser : public vd::ui::MessageProc {
 public:
  struct Record {
    const InstanceSubclasser* owner;       // the subclasser the record belongs to
    vd::ui::MessageProc* previous_proc;    // null: the window's default handling
    Window* object;
    void* previous_user_data;
  };

  InstanceSubclasser() = default;
  virtual ~InstanceSubclasser() = default;
  InstanceSubclasser(const InstanceSubclasser&) = delete;
  InstanceSubclasser& operator=(const InstanceSubclasser&) = delete;

  // The subclasser every Window uses.
  static InstanceSubclasser& Global();

  // A window that has a record of this subclasser only gets its object replaced. Otherwise,
  // unless the window's procedure is this subclasser already, a record is made and the window
  // subclassed.
  void Attach(vd::ui::NativeWindow* window, Window* object);
  // Follows the window's record chain (at most 1,000 links) to this subclasser's record; null
  // when there is none. Only records of live subclassers count as links: other user data ends
  // the chain.
  Record* Find(vd::ui::NativeWindow* window) const;
  // Unlinks and frees this subclasser's record and gives back what it replaced (to the record
  // ahead of it in the chain when there is one); false when the window has no record.
  virtual bool Detach(vd::ui::NativeWindow* window);

  // The window procedure: the object's WndProc. A window without a record or object ends the
  // program.
  intptr_t HandleMessage(vd::ui::NativeWindow& window, const vd::ui::Message& message) override;
};
