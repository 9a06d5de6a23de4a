#include "core/helper_thread.h"

#include <utility>

CHelperThread::CHelperThread(WorkFunction work, vd::os::MessageWindow* notify_window,
                             uint32_t notify_message, CQueue* output_queue)
    : output_(output_queue),
      window_(notify_window),
      message_(notify_message),
      work_(std::move(work)),
      thread_([this] { Body(); }) {}

CHelperThread::~CHelperThread() {
  Stop();
  thread_.join();
}

void CHelperThread::Body() {
  while (QNode* item = input_.Get()) {
    if (work_(item) != 0) {
      if (output_) output_->Put(item);
    } else if (window_) {
      window_->Post(message_, 0, reinterpret_cast<intptr_t>(item));
    }
  }
  // So that a chain shuts down stage by stage, and the window learns that this helper is done.
  if (output_) output_->Stop();
  if (window_) window_->Post(message_, 0, 0);
}
