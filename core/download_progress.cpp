#include "core/download_progress.h"

#include <chrono>
#include <utility>

CDownloadProgress::~CDownloadProgress() {
  if (thread.joinable()) thread.join();
}

void CDownloadProgress::Reset() {
  if (thread.joinable()) thread.join();
  thread = std::thread();
  done = 0;
  total = 0;
  restart_estimate = false;
  cancel = false;
  std::lock_guard lock(mutex_);
  finished_ = false;
  message_.reset();
  error_text_.clear();
}

void CDownloadProgress::SetMessage(std::string text) {
  std::lock_guard lock(mutex_);
  message_ = std::move(text);
}

std::optional<std::string> CDownloadProgress::TakeMessage() {
  std::lock_guard lock(mutex_);
  return std::exchange(message_, std::nullopt);
}

void CDownloadProgress::SetErrorText(std::string text) {
  std::lock_guard lock(mutex_);
  error_text_ = std::move(text);
}

std::string CDownloadProgress::GetErrorText() const {
  std::lock_guard lock(mutex_);
  return error_text_;
}

void CDownloadProgress::SetFinished() {
  // Notified under the lock: a waiter may free the record as soon as it sees the flag.
  std::lock_guard lock(mutex_);
  finished_ = true;
  finished_changed_.notify_all();
}

bool CDownloadProgress::WaitFinished(int timeout_ms) {
  std::unique_lock lock(mutex_);
  return finished_changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                    [&] { return finished_.load(); });
}
