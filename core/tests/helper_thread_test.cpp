#include "core/helper_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/queue.h"
#include "platform/os/message_queue.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 60s;

struct Item : QNode {
  Item(int32_t k, std::string n) : name(std::move(n)) { key = k; }
  std::string name;
};

// Owns the items of a test; the queue and the helpers never do.
struct Items {
  Item* Add(int32_t key, const std::string& name) {
    owned.push_back(std::make_unique<Item>(key, name));
    return owned.back().get();
  }
  std::vector<std::unique_ptr<Item>> owned;
};

std::string Name(QNode* node) { return node ? static_cast<Item*>(node)->name : "null"; }

TEST(QueueTest, SmallestKeyFirstAndEqualKeysInPutOrder) {
  struct Case {
    std::vector<std::pair<int32_t, std::string>> put;
    std::vector<std::string> out;
  };
  const Case cases[] = {
      {{{5, "a"}, {1, "b"}, {3, "c"}}, {"b", "c", "a"}},
      {{{2, "first"}, {2, "second"}, {1, "x"}, {2, "third"}}, {"x", "first", "second", "third"}},
      {{{0, "zero"}, {-7, "negative"}, {2147483647, "max"}}, {"negative", "zero", "max"}},
  };
  for (const Case& c : cases) {
    Items items;
    CQueue queue;
    for (const auto& [key, name] : c.put) queue.Put(items.Add(key, name));
    EXPECT_EQ(queue.GetCount(), static_cast<int>(c.put.size()));
    std::vector<std::string> out;
    for (size_t i = 0; i < c.out.size(); ++i) out.push_back(Name(queue.Get()));
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(queue.GetCount(), 0);
  }
}

TEST(QueueTest, StopComesOutAheadOfEveryQueuedItem) {
  Items items;
  CQueue queue;
  for (int key = 0; key < 10; ++key) queue.Put(items.Add(key, std::to_string(key)));
  queue.Put(items.Add(-5, "negative"));
  queue.Stop();
  EXPECT_EQ(queue.GetCount(), 11);  // the stop request is not an item
  EXPECT_EQ(queue.Get(), nullptr);
  // The items stay queued for their owner.
  EXPECT_EQ(Name(queue.Get()), "negative");
  EXPECT_EQ(Name(queue.Get()), "0");
}

// The window side of a test: a message window owned by the test's thread that records what
// reaches it, checking that every message is handled on that thread.
class Receiver {
 public:
  Receiver()
      : window_([this](const vd::os::Message& m) {
          EXPECT_EQ(m.msg, vd::os::kUserMessage);
          EXPECT_EQ(m.wparam, 0u);
          EXPECT_EQ(std::this_thread::get_id(), owner_);
          received.push_back(Name(reinterpret_cast<QNode*>(m.lparam)));
          if (m.lparam == 0) ++ended;
          return 0;
        }) {}

  vd::os::MessageWindow* window() { return &window_; }

  // Handles messages until `count` have been received; false at the deadline.
  bool PumpUntilReceived(size_t count) {
    return PumpUntil([&] { return received.size() >= count; });
  }
  // Handles messages until `helpers` helpers have reported their end; false at the deadline.
  bool PumpUntilEnded(int helpers) {
    return PumpUntil([&] { return ended >= helpers; });
  }

  std::vector<std::string> received;
  int ended = 0;

 private:
  template <typename Done>
  bool PumpUntil(Done done) {
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      window_.WaitAndDispatch(100);
    }
    return true;
  }

  const std::thread::id owner_ = std::this_thread::get_id();
  vd::os::MessageWindow window_;
};

// Holds the helper's work on an item until the test opens it, so that the test can queue
// behind a busy helper.
class Gate {
 public:
  // Work function side: notes that work has begun and waits for Open.
  void Pass() {
    std::unique_lock lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, kDeadline, [&] { return open_; });
  }
  bool WaitEntered() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kDeadline, [&] { return entered_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool open_ = false;
};

class HelperThreadTest : public ::testing::Test {
 protected:
  // Work that finishes every item at once, except that the item named "busy" first waits at
  // the gate.
  CHelperThread::WorkFunction Finish() {
    return [this](QNode* item) {
      ++worked;
      if (Name(item) == "busy") gate.Pass();
      return 0;
    };
  }
  std::unique_ptr<CHelperThread> StartBusyHelper() {
    auto helper = std::make_unique<CHelperThread>(Finish(), receiver.window(),
                                                  vd::os::kUserMessage, nullptr);
    helper->queue().Put(items.Add(100, "busy"));
    EXPECT_TRUE(gate.WaitEntered());
    return helper;
  }

  Items items;
  Receiver receiver;
  Gate gate;
  std::atomic<int> worked{0};
};

TEST_F(HelperThreadTest, FinishedItemsReachTheWindowInKeyOrderThenANull) {
  auto helper = StartBusyHelper();
  for (auto [key, name] : {std::pair{5, "e"}, {1, "a"}, {3, "c"}, {3, "d"}, {2, "b"}})
    helper->queue().Put(items.Add(key, name));
  gate.Open();
  ASSERT_TRUE(receiver.PumpUntilReceived(6));
  EXPECT_EQ(receiver.received, (std::vector<std::string>{"busy", "a", "b", "c", "d", "e"}));

  helper.reset();
  ASSERT_TRUE(receiver.PumpUntilEnded(1));
  EXPECT_EQ(receiver.received.size(), 7u);
}

TEST_F(HelperThreadTest, StopPreemptsPendingItems) {
  auto helper = StartBusyHelper();
  for (int key = 0; key < 10; ++key) helper->queue().Put(items.Add(key, std::to_string(key)));
  helper->Stop();
  gate.Open();
  ASSERT_TRUE(receiver.PumpUntilEnded(1));
  EXPECT_EQ(receiver.received, (std::vector<std::string>{"busy", "null"}));
  EXPECT_EQ(worked, 1);
  EXPECT_EQ(helper->queue().GetCount(), 10);  // abandoned, still the test's
}

TEST_F(HelperThreadTest, DestroyingWhileTheWorkerIsBusyWaitsForItsItem) {
  auto helper = StartBusyHelper();
  for (int key = 0; key < 3; ++key) helper->queue().Put(items.Add(key, std::to_string(key)));
  helper->Stop();
  std::atomic<bool> destroying{false};
  std::thread destroyer([&] {
    destroying = true;
    destroying.notify_all();
    helper.reset();  // joins: returns once the busy item is done
  });
  destroying.wait(false);
  gate.Open();
  destroyer.join();
  EXPECT_EQ(worked, 1);
  ASSERT_TRUE(receiver.PumpUntilEnded(1));
  EXPECT_EQ(receiver.received, (std::vector<std::string>{"busy", "null"}));
}

// With a batch time that never runs out in a test, only the other rules post: the first item
// goes at once, items finished while more work is queued go to the window together when the
// queue runs empty, and what is held when the helper stops goes ahead of its null.
TEST_F(HelperThreadTest, BatchedItemsGoTogetherWhenTheQueueRunsEmpty) {
  std::atomic<int> wakes = 0;
  receiver.window()->SetWakeHook([&] { ++wakes; });
  auto helper = std::make_unique<CHelperThread>(Finish(), receiver.window(),
                                                vd::os::kUserMessage, nullptr,
                                                std::chrono::hours(1));
  helper->queue().Put(items.Add(100, "busy"));
  ASSERT_TRUE(gate.WaitEntered());
  for (auto [key, name] : {std::pair{5, "e"}, {1, "a"}, {3, "c"}, {2, "b"}, {4, "d"}})
    helper->queue().Put(items.Add(key, name));
  gate.Open();
  ASSERT_TRUE(receiver.PumpUntilReceived(6));
  EXPECT_EQ(receiver.received, (std::vector<std::string>{"busy", "a", "b", "c", "d", "e"}));
  // A post wakes the window after its messages are queued, so the last wake may still be on
  // its way when they have arrived: count once the thread has ended. The first item after a
  // quiet spell goes at once, the five behind it in one post, and the end message last.
  helper.reset();
  EXPECT_EQ(wakes, 3);
}

TEST_F(HelperThreadTest, BatchedItemsHeldAtAStopArriveBeforeTheNull) {
  auto helper = std::make_unique<CHelperThread>(Finish(), receiver.window(),
                                                vd::os::kUserMessage, nullptr,
                                                std::chrono::hours(1));
  helper->queue().Put(items.Add(0, "first"));  // goes at once, and starts the batch time
  helper->queue().Put(items.Add(1, "busy"));
  ASSERT_TRUE(gate.WaitEntered());
  helper->queue().Put(items.Add(2, "left"));  // keeps "busy" held once it is finished
  helper->Stop();
  gate.Open();
  ASSERT_TRUE(receiver.PumpUntilEnded(1));
  EXPECT_EQ(receiver.received, (std::vector<std::string>{"first", "busy", "null"}));
  EXPECT_EQ(helper->queue().GetCount(), 1);
}

TEST_F(HelperThreadTest, ChainedHelpersHandOnUnfinishedItemsAndShutDownStageByStage) {
  // "fetch" items are not finished by the first stage; the second finishes everything.
  CHelperThread second(Finish(), receiver.window(), vd::os::kUserMessage, nullptr);
  auto first = std::make_unique<CHelperThread>(
      [](QNode* item) { return Name(item).starts_with("fetch") ? 1 : 0; },
      receiver.window(), vd::os::kUserMessage, &second.queue());
  first->queue().Put(items.Add(1, "fetch 1"));
  first->queue().Put(items.Add(2, "local 2"));
  first->queue().Put(items.Add(3, "fetch 3"));
  ASSERT_TRUE(receiver.PumpUntilReceived(3));
  EXPECT_EQ(worked, 2);  // the second stage saw only the fetch items

  first.reset();  // stops the second stage too
  ASSERT_TRUE(receiver.PumpUntilEnded(2));
  std::sort(receiver.received.begin(), receiver.received.end());
  EXPECT_EQ(receiver.received,
            (std::vector<std::string>{"fetch 1", "fetch 3", "local 2", "null", "null"}));
}

}  // namespace
