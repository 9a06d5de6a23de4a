#include "platform/os/message_queue.h"

#include <chrono>
#include <utility>

namespace vd::os {

MessageWindow::MessageWindow(Handler handler)
    : handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

MessageWindow::~MessageWindow() {
  Close();
  // Released senders still touch this object until they have left Send.
  std::unique_lock lock(mutex_);
  answered_.wait(lock, [&] { return senders_waiting_ == 0; });
}

bool MessageWindow::Enqueue(Entry entry) {
  std::shared_ptr<const std::function<void()>> hook;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    if (entry.send) ++senders_waiting_;
    queue_.push_back(std::move(entry));
    hook = wake_hook_;
  }
  queued_.notify_one();
  if (hook) (*hook)();
  return true;
}

bool MessageWindow::Post(uint32_t msg, uintptr_t w, intptr_t l) {
  return Enqueue(Entry{Message{msg, w, l}, nullptr, nullptr});
}

bool MessageWindow::PostAll(uint32_t msg, uintptr_t w, std::span<const intptr_t> ls) {
  if (ls.empty()) return !IsClosed();
  std::shared_ptr<const std::function<void()>> hook;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    for (intptr_t l : ls) queue_.push_back(Entry{Message{msg, w, l}, nullptr, nullptr});
    hook = wake_hook_;
  }
  queued_.notify_one();
  if (hook) (*hook)();
  return true;
}

bool MessageWindow::Post(uint32_t msg, uintptr_t w, std::shared_ptr<const void> payload) {
  const auto l = reinterpret_cast<intptr_t>(payload.get());
  return Enqueue(Entry{Message{msg, w, l}, nullptr, std::move(payload)});
}

intptr_t MessageWindow::Send(uint32_t msg, uintptr_t w, intptr_t l) {
  return Send(std::stop_token{}, msg, w, l);
}

intptr_t MessageWindow::Send(std::stop_token stop, uint32_t msg, uintptr_t w, intptr_t l) {
  if (IsOwnerThread()) return IsClosed() ? 0 : handler_(Message{msg, w, l});
  auto state = std::make_shared<SendState>();
  if (!Enqueue(Entry{Message{msg, w, l}, state, nullptr})) return 0;
  std::unique_lock lock(mutex_);
  answered_.wait(lock, stop, [&] { return state->done; });
  if (!state->done) state->abandoned = true;
  if (--senders_waiting_ == 0) answered_.notify_all();
  return state->result;
}

size_t MessageWindow::DispatchPending() {
  size_t handled = 0;
  std::unique_lock lock(mutex_);
  // Only what is queued now: a handler that posts to its own window does not keep us here.
  for (size_t budget = queue_.size(); budget > 0 && !queue_.empty(); --budget) {
    Entry entry = std::move(queue_.front());
    queue_.pop_front();
    if (entry.send && entry.send->abandoned) continue;
    lock.unlock();
    intptr_t result = handler_(entry.message);
    entry.payload.reset();  // outside the lock: freeing it may run any code
    lock.lock();
    ++handled;
    if (entry.send) {
      entry.send->done = true;
      entry.send->result = result;
      answered_.notify_all();
    }
  }
  return handled;
}

bool MessageWindow::WaitAndDispatch(int timeout_ms) {
  {
    std::unique_lock lock(mutex_);
    auto ready = [&] { return closed_ || !queue_.empty(); };
    if (timeout_ms < 0)
      queued_.wait(lock, ready);
    else
      queued_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
  }
  return DispatchPending() > 0;
}

void MessageWindow::SetWakeHook(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  wake_hook_ = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
}

void MessageWindow::Close() {
  std::deque<Entry> dropped;  // freed after the lock is released
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    for (Entry& entry : queue_)
      if (entry.send) entry.send->done = true;  // result 0
    dropped.swap(queue_);
  }
  queued_.notify_all();
  answered_.notify_all();
}

bool MessageWindow::IsClosed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace vd::os
