#pragma once
// A small pool of worker threads (four by default) for long operations: downloads, copies,
// rendering. Each worker has its own job record (JobData) that claims one item at a time
// under the pool's mutex and works on it without the lock, so claiming is serialised and the
// work runs in parallel.
//
// Two ways to run a pool:
// - Run: the calling thread is worker 0; workers end once no work is left, and Run returns
//   when all have ended.
// - StartInBackground: a thread of its own becomes worker 0; workers that find no work wait
//   on the pool's condition until the owner feeds more (under mutex(), then NotifyWorkers)
//   or calls Stop.
// A derived pool calls Stop first in its own destructor: the workers use its job records.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CWorkerThread {
 public:
  class JobData {
   public:
    virtual ~JobData() = default;
    // Takes the next item of work into this record; called with the owner's mutex held. False
    // when nothing is there.
    virtual bool Claim() = 0;
    // Works on the claimed item; called without the lock.
    virtual void Work() = 0;

    // Set by the pool when it takes the record into use.
    CWorkerThread* owner = nullptr;
  };

  static constexpr int kDefaultCount = 4;

  // The threads the pool creates run priority_reduction steps below the priority of the
  // thread that builds the pool. count is at least 1.
  explicit CWorkerThread(int priority_reduction = 1, int count = kDefaultCount);
  // Stops and joins the threads if the derived destructor has not.
  virtual ~CWorkerThread();
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Runs the pool on the calling thread until no work is left (workers that find nothing end
  // instead of waiting), joins the others and leaves the pool stopped. Once per pool.
  void Run();
  // Starts worker 0 on a background thread, which calls Begin and starts the other workers.
  // Workers that find nothing wait for NotifyWorkers. Once per pool; end it with Stop.
  void StartInBackground();
  // Workers end after their current item. Never waits; safe from a worker's Work.
  void RequestStop();
  // RequestStop, then joins every thread the pool started. Not from a worker thread.
  void Stop();
  bool stopping() const { return stop_.load(); }

  // The pool's mutex, held around every Claim. Code that feeds work to waiting workers changes
  // their source under it and then calls NotifyWorkers.
  std::mutex& mutex() { return mutex_; }
  void NotifyWorkers() { condition_.notify_all(); }

  int count() const { return count_; }

 protected:
  // The job record of worker index (0 .. count - 1). The pool does not own it; it must live
  // until the threads have been joined.
  virtual JobData* CreateJobData(int index) = 0;
  // Runs on worker 0 before the other workers start; false stops the pool with nothing done.
  virtual bool Begin() { return true; }

 private:
  // On worker 0: Begin, start workers 1 .. count - 1, then worker 0's job loop.
  void Start(JobData& job0);
  void JobLoop(JobData& job);
  JobData& TakeJobData(int index);
  // Starts a thread at the pool's priority; an unstarted slot stays not joinable.
  std::thread StartThread(std::function<void()> body);

  std::atomic<bool> stop_{false};
  bool draining_ = false;  // workers that find no work end instead of waiting
  std::mutex mutex_;
  std::condition_variable condition_;
  const int count_;
  const int nice_;  // scheduling niceness of the threads the pool creates
  // [0]: the background thread of StartInBackground; [i]: worker i (1 .. count - 1).
  std::vector<std::thread> threads_;
};
