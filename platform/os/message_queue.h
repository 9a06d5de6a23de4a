#pragma once
// What other systems call a window handle for posting: an object owned by one thread (the UI
// thread of a program, or any thread that runs a message loop) that other threads post messages
// to, or send them to and wait for the owner's answer.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>

namespace vd::os {

struct Message {
  uint32_t msg;
  uintptr_t wparam;
  intptr_t lparam;
};

// The first message number free for the programs' own use.
constexpr uint32_t kUserMessage = 0x0400;

class MessageWindow {
 public:
  using Handler = std::function<intptr_t(const Message&)>;

  // The constructing thread becomes the owner: the handler only ever runs there.
  explicit MessageWindow(Handler handler);
  // Closes the window and waits until no other thread is inside Send any more.
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Any thread. Queues the message; false once the window is closed.
  bool Post(uint32_t msg, uintptr_t w = 0, intptr_t l = 0);
  // Queues one message per lparam, in order, waking the owner once for all of them (a thread
  // woken by the first of several posts would otherwise handle them one wake at a time).
  // False once the window is closed.
  bool PostAll(uint32_t msg, uintptr_t w, std::span<const intptr_t> ls);
  // As Post, with lparam the address of payload while the handler runs. The window keeps
  // payload until the message has been handled or dropped (window closed or destroyed, post
  // refused), so data handed to another thread is freed exactly once whatever happens to it.
  bool Post(uint32_t msg, uintptr_t w, std::shared_ptr<const void> payload);
  // Runs the handler on the owning thread and returns its result: a direct call on that thread,
  // else the message is queued and the caller waits until the owner has handled it. 0 when the
  // window is closed before the message was handled.
  intptr_t Send(uint32_t msg, uintptr_t w = 0, intptr_t l = 0);
  // As Send, but also gives up (returning 0) once stop is requested; a message not yet handled
  // then never is. For threads that must stay stoppable while the owner is busy.
  intptr_t Send(std::stop_token stop, uint32_t msg, uintptr_t w = 0, intptr_t l = 0);

  // Owning thread: handles what was queued before the call, in order; returns how many.
  size_t DispatchPending();
  // Owning thread: waits up to timeout_ms (negative: no limit) for a message, then dispatches
  // what is queued. False when nothing was handled (time-out or closed).
  bool WaitAndDispatch(int timeout_ms);

  // Called from the queuing thread after each message is queued, outside any lock.
  void SetWakeHook(std::function<void()> hook);

  // Later Post and Send fail; queued posts are dropped and waiting senders get 0.
  void Close();
  bool IsClosed() const;
  bool IsOwnerThread() const { return std::this_thread::get_id() == owner_; }

 private:
  // A Send in flight; shared so that a sender that gave up may leave before it is answered.
  struct SendState {
    bool done = false;
    bool abandoned = false;
    intptr_t result = 0;
  };
  struct Entry {
    Message message;
    std::shared_ptr<SendState> send;      // null for a post
    std::shared_ptr<const void> payload;  // what message.lparam points at, if owned
  };

  bool Enqueue(Entry entry);

  const Handler handler_;
  const std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable queued_;        // owner: something was queued, or closed
  std::condition_variable_any answered_;  // senders: a send was answered, or closed
  std::deque<Entry> queue_;
  bool closed_ = false;
  int senders_waiting_ = 0;
  std::shared_ptr<const std::function<void()>> wake_hook_;
};

}  // namespace vd::os
