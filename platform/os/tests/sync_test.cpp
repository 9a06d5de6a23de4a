#include "platform/os/sync.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace vd::os {
namespace {

// Counts threads that got through, and lets the test wait (with a generous deadline) for a count.
class PassCounter {
 public:
  void Add() {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  bool Reaches(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

std::vector<std::thread> StartWaiters(int count, Event& event, PassCounter& passed) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&] {
      if (event.Wait()) passed.Add();
    });
  }
  return threads;
}

void JoinAll(std::vector<std::thread>& threads) {
  for (auto& thread : threads) thread.join();
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSet) {
  Event event(true, false);
  PassCounter passed;
  auto threads = StartWaiters(3, event, passed);
  event.Set();
  EXPECT_TRUE(passed.Reaches(3));
  JoinAll(threads);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  Event event(false, false);
  PassCounter passed;
  auto threads = StartWaiters(3, event, passed);
  for (int i = 1; i <= 3; ++i) {
    event.Set();
    ASSERT_TRUE(passed.Reaches(i));
  }
  JoinAll(threads);
  // Had one Set let two threads through, the last would still be pending here.
  EXPECT_FALSE(event.Wait(0));
}

TEST(Event, AutoResetStaysSetUntilTaken) {
  Event event(false, true);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  event.Set();  // setting a set event does not count twice
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(10));
}

TEST(Semaphore, CountsUpToItsMaximum) {
  Semaphore semaphore(2, 3);
  EXPECT_TRUE(semaphore.Wait(0));
  EXPECT_TRUE(semaphore.Wait(0));
  EXPECT_FALSE(semaphore.Wait(10));
  for (int bad : {0, -1, 4}) EXPECT_FALSE(semaphore.Release(bad)) << bad;
  EXPECT_TRUE(semaphore.Release(3));
  EXPECT_FALSE(semaphore.Release());  // full: nothing added
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(semaphore.Wait(0));
  EXPECT_FALSE(semaphore.Wait(0));

  Semaphore clamped(5, 2);
  EXPECT_TRUE(clamped.Wait(0));
  EXPECT_TRUE(clamped.Wait(0));
  EXPECT_FALSE(clamped.Wait(0));
}

TEST(Semaphore, HandsEachReleaseToExactlyOneTaker) {
  constexpr int kItems = 2000;
  Semaphore semaphore(0, kItems);
  std::vector<std::thread> takers;
  for (int t = 0; t < 4; ++t) {
    takers.emplace_back([&] {
      for (int i = 0; i < kItems / 4; ++i) ASSERT_TRUE(semaphore.Wait(60000));
    });
  }
  for (int i = 0; i < kItems; ++i) ASSERT_TRUE(semaphore.Release());
  JoinAll(takers);
  EXPECT_FALSE(semaphore.Wait(0));
}

TEST(StopToken, EndsWaitsEarly) {
  StopSource stop;
  Event event(true, false);
  Semaphore semaphore(0, 1);
  bool event_result = true, semaphore_result = true, stopped = false;
  std::thread a([&] { event_result = event.Wait(stop.get_token()); });
  std::thread b([&] { semaphore_result = semaphore.Wait(stop.get_token()); });
  std::thread c([&] { stopped = WaitForStop(stop.get_token(), -1); });
  stop.request_stop();
  a.join();
  b.join();
  c.join();
  EXPECT_FALSE(event_result);
  EXPECT_FALSE(semaphore_result);
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(WaitForStop(StopSource().get_token(), 10));
}

}  // namespace
}  // namespace vd::os
