#pragma once
// One background thread that works off its own CQueue in key order and hands every finished
// item back to a window, or on to the next helper's queue. Helpers chain: a tile that must be
// downloaded before it can be decoded passes from a fetching helper to a decoding one.
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "core/queue.h"
#include "platform/os/message_queue.h"

class CHelperThread {
 public:
  // Runs on the helper thread for each item. 0: the item is finished and is posted to the
  // notify window; anything else: the item goes on to the output queue, or, without one, is
  // dropped (the work function has taken care of it).
  using WorkFunction = std::function<int(QNode* item)>;

  // Starts the thread at once. Each finished item reaches notify_window as (notify_message,
  // 0, item pointer); when the thread ends, it stops output_queue and posts (notify_message,
  // 0, 0). The window and the output queue may be null and must outlive the helper.
  //
  // With a `batch` time, finished items that have more work queued behind them are held back
  // and posted together, in order, at most one `batch` apart: a window that repaints for every
  // message it gets then wakes and repaints once per batch instead of once per item, which for
  // items of a few tens of microseconds costs more than the items themselves. The last item
  // before the queue runs empty, an item that took longer than `batch` after the previous
  // post, and what is held when the thread ends are posted at once.
  CHelperThread(WorkFunction work, vd::os::MessageWindow* notify_window, uint32_t notify_message,
                CQueue* output_queue,
                std::chrono::steady_clock::duration batch = std::chrono::steady_clock::duration{});
  // Stops the queue and waits for the thread to end after its current item.
  ~CHelperThread();
  CHelperThread(const CHelperThread&) = delete;
  CHelperThread& operator=(const CHelperThread&) = delete;

  // The input queue: put items here.
  CQueue& queue() { return input_; }

  // The thread ends after its current item; items still queued are not worked on and stay
  // with whoever put them.
  void Stop() { input_.Stop(); }

 private:
  void Body();

  CQueue input_;
  CQueue* const output_;
  vd::os::MessageWindow* const window_;
  const uint32_t message_;
  const WorkFunction work_;
  const std::chrono::steady_clock::duration batch_;
  std::thread thread_;  // last: starts once everything it uses is built
};
