#include "core/worker_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace {

// Niceness added per step of priority reduction, and the weakest niceness there is.
constexpr int kNicePerStep = 3;
constexpr int kWeakestNice = 19;

// The niceness `steps` steps of priority below the calling thread's.
int LoweredNice(int steps) {
  errno = 0;
  int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  if (errno != 0) nice = 0;
  return std::min(nice + kNicePerStep * std::max(steps, 0), std::max(nice, kWeakestNice));
}

}  // namespace

CWorkerThread::CWorkerThread(int priority_reduction, int count)
    : count_(std::max(count, 1)),
      nice_(LoweredNice(priority_reduction)),
      threads_(static_cast<size_t>(count_)) {}

CWorkerThread::~CWorkerThread() { Stop(); }

void CWorkerThread::Run() {
  {
    std::lock_guard lock(mutex_);
    draining_ = true;
  }
  Start(TakeJobData(0));
  for (size_t i = 1; i < threads_.size(); ++i)
    if (threads_[i].joinable()) threads_[i].join();
  RequestStop();
}

void CWorkerThread::StartInBackground() {
  JobData& job0 = TakeJobData(0);
  threads_[0] = StartThread([this, &job0] { Start(job0); });
}

void CWorkerThread::RequestStop() {
  {
    // Under the mutex, so that a worker between its last check and its wait cannot miss it.
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  condition_.notify_all();
}

void CWorkerThread::Stop() {
  RequestStop();
  // Worker 0 starts the others before its own loop, so once it has ended every other worker
  // that will ever exist has been started. Run joins its own workers.
  if (!threads_[0].joinable()) return;
  threads_[0].join();
  for (size_t i = 1; i < threads_.size(); ++i)
    if (threads_[i].joinable()) threads_[i].join();
}

void CWorkerThread::Start(JobData& job0) {
  if (!Begin()) {
    RequestStop();
    return;
  }
  for (int i = 1; i < count_; ++i) {
    JobData& job = TakeJobData(i);
    threads_[static_cast<size_t>(i)] = StartThread([this, &job] { JobLoop(job); });
  }
  JobLoop(job0);
}

void CWorkerThread::JobLoop(JobData& job) {
  for (;;) {
    bool claimed = false;
    {
      std::unique_lock lock(mutex_);
      while (!stop_) {
        if (job.Claim()) {
          claimed = true;
          break;
        }
        if (draining_) break;
        condition_.wait(lock);
      }
    }
    // An item once claimed is always worked on, even when a stop came meanwhile.
    if (!claimed) return;
    job.Work();
  }
}

CWorkerThread::JobData& CWorkerThread::TakeJobData(int index) {
  JobData* job = CreateJobData(index);
  job->owner = this;
  return *job;
}

std::thread CWorkerThread::StartThread(std::function<void()> body) {
  try {
    return std::thread([nice = nice_, body = std::move(body)] {
      // Priority is a hint: a refusal leaves the thread at the creator's priority.
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
      body();
    });
  } catch (const std::system_error&) {
    return {};  // the remaining workers do this one's share
  }
}
