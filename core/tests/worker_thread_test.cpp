#include "core/worker_thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 60s;

int ThreadNice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); }

// A pool over a list of numbered items (unlimited when `limit` is negative). Each claim takes
// the next number; Work notes the claim and the thread, then runs the test's hook.
class ItemPool : public CWorkerThread {
 public:
  explicit ItemPool(int limit, bool begin = true) : limit_(limit), begin_(begin) {
    for (int i = 0; i < count(); ++i) jobs_.push_back(std::make_unique<Job>(*this));
  }
  ~ItemPool() override { Stop(); }

  // Under mutex(): more items for waiting workers.
  void AddItems(int n) {
    {
      std::lock_guard lock(mutex());
      limit_ += n;
    }
    NotifyWorkers();
  }
  // Waits until `n` items have been worked on; false at the deadline.
  bool WaitWorked(int n) {
    std::unique_lock lock(record_mutex_);
    return recorded_.wait_for(lock, kDeadline, [&] { return worked_ >= n; });
  }

  std::function<void(int item)> on_work;
  int claim_calls = 0;  // under mutex()

  // Read once the pool has stopped.
  std::vector<int> times_claimed = std::vector<int>(64);
  std::set<std::thread::id> threads;
  std::set<int> nices;
  int worked() {
    std::lock_guard lock(record_mutex_);
    return worked_;
  }

 protected:
  JobData* CreateJobData(int index) override { return jobs_[static_cast<size_t>(index)].get(); }
  bool Begin() override { return begin_; }

 private:
  struct Job : JobData {
    explicit Job(ItemPool& pool) : pool(pool) {}
    bool Claim() override {
      ++pool.claim_calls;
      if (pool.limit_ >= 0 && pool.next_ >= pool.limit_) return false;
      item = pool.next_++;
      return true;
    }
    void Work() override {
      EXPECT_EQ(owner, &pool);
      if (pool.on_work) pool.on_work(item);
      std::lock_guard lock(pool.record_mutex_);
      if (item < static_cast<int>(pool.times_claimed.size())) ++pool.times_claimed[item];
      pool.threads.insert(std::this_thread::get_id());
      if (std::this_thread::get_id() != pool.creator_) pool.nices.insert(ThreadNice());
      ++pool.worked_;
      pool.recorded_.notify_all();
    }
    ItemPool& pool;
    int item = -1;
  };

  int limit_;
  int next_ = 0;
  const bool begin_;
  const std::thread::id creator_ = std::this_thread::get_id();
  std::vector<std::unique_ptr<Job>> jobs_;
  std::mutex record_mutex_;
  std::condition_variable recorded_;
  int worked_ = 0;
};

TEST(WorkerThreadTest, RunClaimsEveryItemOnceOnFourParallelWorkersAndEndsWhenIdle) {
  ItemPool pool(10);
  // The first four items wait until all four are being worked on at once: that takes four
  // threads, the calling one among them.
  std::mutex mutex;
  std::condition_variable all_in;
  int inside = 0;
  bool parallel = true;
  pool.on_work = [&](int item) {
    if (item >= 4) return;
    std::unique_lock lock(mutex);
    ++inside;
    all_in.notify_all();
    parallel &= all_in.wait_for(lock, kDeadline, [&] { return inside == 4; });
  };

  pool.Run();  // returns only when the workers have run out of work

  EXPECT_TRUE(parallel);
  EXPECT_EQ(pool.worked(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(pool.times_claimed[i], 1) << "item " << i;
  EXPECT_EQ(pool.threads.size(), 4u);
  EXPECT_TRUE(pool.threads.count(std::this_thread::get_id()));
  EXPECT_TRUE(pool.stopping());
  // The pool's own threads run below the creator's priority (unless it is already lowest).
  int creator_nice = ThreadNice();
  for (int nice : pool.nices) EXPECT_GT(nice, std::min(creator_nice, 18));
}

TEST(WorkerThreadTest, BeginRefusingStopsThePoolWithNothingClaimed) {
  ItemPool pool(10, /*begin=*/false);
  pool.Run();
  EXPECT_EQ(pool.claim_calls, 0);
  EXPECT_EQ(pool.worked(), 0);
  EXPECT_TRUE(pool.stopping());
}

TEST(WorkerThreadTest, CancelFromAWorkerEndsRunOnAnEndlessSupply) {
  ItemPool pool(-1);
  pool.on_work = [&](int item) {
    if (item == 20) pool.RequestStop();
  };
  pool.Run();
  EXPECT_TRUE(pool.stopping());
  // Items claimed before the stop are still worked; no worker goes on past its current item.
  EXPECT_GE(pool.worked(), 21);
  EXPECT_LE(pool.worked(), 21 + pool.count() - 1);
}

TEST(WorkerThreadTest, BackgroundWorkersWaitForMoreWorkUntilStopped) {
  ItemPool pool(0);
  pool.StartInBackground();
  pool.AddItems(6);
  ASSERT_TRUE(pool.WaitWorked(6));
  pool.AddItems(3);  // the idle workers wait for this rather than ending
  ASSERT_TRUE(pool.WaitWorked(9));

  pool.Stop();  // wakes the waiting workers and joins every thread
  EXPECT_TRUE(pool.stopping());
  EXPECT_EQ(pool.worked(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(pool.times_claimed[i], 1) << "item " << i;
  EXPECT_FALSE(pool.threads.count(std::this_thread::get_id()));
}

TEST(WorkerThreadTest, StopEndsBusyBackgroundWorkersAfterTheirCurrentItem) {
  ItemPool pool(-1);
  pool.StartInBackground();
  ASSERT_TRUE(pool.WaitWorked(50));
  pool.Stop();
  int after_stop = pool.worked();
  EXPECT_TRUE(pool.stopping());
  // Every thread has been joined: nothing can work any more.
  pool.Stop();
  EXPECT_EQ(pool.worked(), after_stop);
}

}  // namespace
