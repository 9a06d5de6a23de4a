#pragma once
// The progress record of a long job (a download, a package), shared by the worker that does
// the job and the progress dialog on the user-interface thread. The counters and flags are
// atomics; the two texts are guarded by a mutex and handed over as copies.
//
// Worker: adds to done, sets total, posts status lines, polls cancel, and as its very last
// action calls SetFinished. UI: reads the counters, shows and takes the status line, sets
// cancel, and once finished shows the error text and joins the thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CDownloadProgress {
 public:
  CDownloadProgress() = default;
  // Joins the worker thread if it is still attached.
  ~CDownloadProgress();
  CDownloadProgress(const CDownloadProgress&) = delete;
  CDownloadProgress& operator=(const CDownloadProgress&) = delete;

  // Clears every field for a new job. A thread still attached is joined first.
  void Reset();

  // Worker: a new status line; the dialog shows it once.
  void SetMessage(std::string text);
  // UI: the status line set since the last call, if any.
  std::optional<std::string> TakeMessage();

  // Shown in a box captioned "Error" once the job has ended, when not empty.
  void SetErrorText(std::string text);
  std::string GetErrorText() const;

  // Worker, as its last action.
  void SetFinished();
  bool finished() const { return finished_.load(); }
  // True once finished; false when timeout_ms passed first.
  bool WaitFinished(int timeout_ms);

  // Bytes or units finished, and expected (0: unknown).
  std::atomic<int64_t> done{0};
  std::atomic<int64_t> total{0};
  // Worker: a new phase starts; the dialog restarts its time estimate and clears the flag.
  std::atomic<bool> restart_estimate{false};
  // UI: the user cancelled; the worker polls it and ends early.
  std::atomic<bool> cancel{false};
  // The worker, when the job runs on a thread of its own. Joined by the progress dialog's
  // completion step (or by Reset and the destructor).
  std::thread thread;

 private:
  std::atomic<bool> finished_{false};
  mutable std::mutex mutex_;  // guards the texts; also the finished wait
  std::condition_variable finished_changed_;
  std::optional<std::string> message_;
  std::string error_text_;
};
