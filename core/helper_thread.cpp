#include "core/helper_thread.h"

#include <utility>
#include <vector>

CHelperThread::CHelperThread(WorkFunction work, vd::os::MessageWindow* notify_window,
                             uint32_t notify_message, CQueue* output_queue,
                             std::chrono::steady_clock::duration batch)
    : output_(output_queue),
      window_(notify_window),
      message_(notify_message),
      work_(std::move(work)),
      batch_(batch),
      thread_([this] { Body(); }) {}

CHelperThread::~CHelperThread() {
  Stop();
  thread_.join();
}

void CHelperThread::Body() {
  using Clock = std::chrono::steady_clock;
  std::vector<intptr_t> held;  // finished items, not yet posted
  Clock::time_point last_post = Clock::now() - batch_;  // the first item goes at once
  const auto post_held = [&] {
    window_->PostAll(message_, 0, held);
    held.clear();
    last_post = Clock::now();
  };
  while (QNode* item = input_.Get()) {
    if (work_(item) != 0) {
      if (output_) output_->Put(item);
    } else if (window_) {
      held.push_back(reinterpret_cast<intptr_t>(item));
      // Only this thread takes items out, so a queue that holds some now hands the next one
      // over without waiting.
      if (batch_ == Clock::duration{} || input_.GetCount() == 0 ||
          Clock::now() - last_post >= batch_) {
        post_held();
      }
    }
  }
  if (!held.empty()) post_held();
  // So that a chain shuts down stage by stage, and the window learns that this helper is done.
  if (output_) output_->Stop();
  if (window_) window_->Post(message_, 0, 0);
}
