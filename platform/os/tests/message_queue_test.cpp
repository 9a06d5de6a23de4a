#include "platform/os/message_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

using vd::os::Message;
using vd::os::MessageWindow;
using vd::os::kUserMessage;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = std::chrono::seconds(60);

// Dispatches on the calling (owning) thread until done() holds or the patience runs out.
template <class Done>
bool PumpUntil(MessageWindow& window, Done done) {
  const auto deadline = Clock::now() + kPatience;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    window.WaitAndDispatch(100);
  }
  return true;
}

TEST(MessageWindow, PostsFromManyThreadsArriveOnceEachInPerThreadOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 10000;
  std::vector<int> next(kThreads, 0);
  int out_of_order = 0;
  int total = 0;
  std::thread::id handler_thread;
  MessageWindow window([&](const Message& m) -> intptr_t {
    handler_thread = std::this_thread::get_id();
    if (m.lparam != next[m.wparam]) ++out_of_order;
    next[m.wparam] = static_cast<int>(m.lparam) + 1;
    ++total;
    return 0;
  });
  std::atomic<int> wakes = 0;
  window.SetWakeHook([&] { ++wakes; });

  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) ASSERT_TRUE(window.Post(kUserMessage, t, i));
    });
  EXPECT_TRUE(PumpUntil(window, [&] { return total == kThreads * kPerThread; }));
  for (auto& p : posters) p.join();
  window.DispatchPending();

  EXPECT_EQ(total, kThreads * kPerThread);
  EXPECT_EQ(out_of_order, 0);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kPerThread);
  EXPECT_EQ(wakes, kThreads * kPerThread);
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
}

TEST(MessageWindow, PostAllQueuesItsMessagesInOrderBehindEarlierPostsWithOneWake) {
  std::vector<intptr_t> received;
  MessageWindow window([&](const Message& m) -> intptr_t {
    EXPECT_EQ(m.msg, kUserMessage);
    EXPECT_EQ(m.wparam, 7u);
    received.push_back(m.lparam);
    return 0;
  });
  std::atomic<int> wakes = 0;
  window.SetWakeHook([&] { ++wakes; });
  const std::vector<intptr_t> batch = {2, 3, 4};
  std::thread poster([&] {
    EXPECT_TRUE(window.Post(kUserMessage, 7, 1));
    EXPECT_TRUE(window.PostAll(kUserMessage, 7, batch));
    EXPECT_TRUE(window.PostAll(kUserMessage, 7, {}));  // nothing to queue, nobody woken
    EXPECT_TRUE(window.Post(kUserMessage, 7, 5));
  });
  poster.join();
  EXPECT_EQ(wakes, 3);
  EXPECT_EQ(window.DispatchPending(), 5u);
  EXPECT_EQ(received, (std::vector<intptr_t>{1, 2, 3, 4, 5}));

  window.Close();
  EXPECT_FALSE(window.PostAll(kUserMessage, 7, batch));
  EXPECT_FALSE(window.PostAll(kUserMessage, 7, {}));
  EXPECT_EQ(wakes, 3);
}

TEST(MessageWindow, SendFromWorkerRunsOnOwnerAndReturnsResult) {
  std::thread::id handler_thread;
  MessageWindow window([&](const Message& m) -> intptr_t {
    handler_thread = std::this_thread::get_id();
    return static_cast<intptr_t>(m.wparam) * m.lparam;
  });
  auto result = std::async(std::launch::async, [&] { return window.Send(kUserMessage, 6, -7); });
  EXPECT_TRUE(PumpUntil(window, [&] {
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  EXPECT_EQ(result.get(), -42);
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
}

TEST(MessageWindow, SendOnOwnerRunsInlineAheadOfQueuedPosts) {
  std::vector<uint32_t> seen;
  MessageWindow* self = nullptr;
  MessageWindow window([&](const Message& m) -> intptr_t {
    seen.push_back(m.msg);
    // A handler sending to its own window is a plain nested call.
    if (m.msg == kUserMessage + 1) return self->Send(kUserMessage + 2) + 1;
    return 10;
  });
  self = &window;
  ASSERT_TRUE(window.Post(kUserMessage));
  EXPECT_EQ(window.Send(kUserMessage + 1), 11);
  EXPECT_EQ(seen, (std::vector<uint32_t>{kUserMessage + 1, kUserMessage + 2}));
  EXPECT_EQ(window.DispatchPending(), 1u);
  EXPECT_EQ(seen.back(), kUserMessage);
}

// A posted payload is freed exactly once: after its handler ran, or unhandled when the window
// is closed or destroyed with it queued, or at once when the post is refused.
TEST(MessageWindow, PostedPayloadIsFreedOnceWhetherHandledOrDropped) {
  struct Payload {
    Payload(int v, std::atomic<int>& f) : value(v), freed(f) {}
    ~Payload() { ++freed; }
    int value;
    std::atomic<int>& freed;
  };
  std::atomic<int> freed{0};
  auto payload = [&](int value) { return std::make_shared<const Payload>(value, freed); };
  std::vector<int> seen;
  int freed_while_handled = -1;
  {
    MessageWindow window([&](const Message& m) -> intptr_t {
      seen.push_back(reinterpret_cast<const Payload*>(m.lparam)->value);
      freed_while_handled = freed;
      return 0;
    });
    std::thread poster([&] { EXPECT_TRUE(window.Post(kUserMessage, 0, payload(1))); });
    poster.join();
    EXPECT_EQ(window.DispatchPending(), 1u);
    EXPECT_EQ(seen, std::vector<int>{1});
    EXPECT_EQ(freed_while_handled, 0);  // alive while the handler reads it
    EXPECT_EQ(freed, 1);

    EXPECT_TRUE(window.Post(kUserMessage, 0, payload(2)));
    EXPECT_TRUE(window.Post(kUserMessage, 0, payload(3)));
    window.Close();
    EXPECT_EQ(freed, 3);  // dropped with the queue, never handled
    EXPECT_FALSE(window.Post(kUserMessage, 0, payload(4)));
    EXPECT_EQ(freed, 4);  // refused, freed at once
  }
  {
    MessageWindow window([](const Message&) -> intptr_t { return 0; });
    EXPECT_TRUE(window.Post(kUserMessage, 0, payload(5)));
  }
  EXPECT_EQ(freed, 5);  // destroyed with it queued
  EXPECT_EQ(seen, std::vector<int>{1});
}

TEST(MessageWindow, CloseFailsLaterCallsAndReleasesWaitingSenders) {
  int handled = 0;
  std::promise<void> queued;
  MessageWindow window([&](const Message&) -> intptr_t { return ++handled, 5; });
  window.Post(kUserMessage);
  window.SetWakeHook([&] { queued.set_value(); });

  // The owner never dispatches: Close must release the sender.
  auto waiting = std::async(std::launch::async, [&] { return window.Send(kUserMessage); });
  queued.get_future().wait();
  window.Close();
  EXPECT_EQ(waiting.get(), 0);

  EXPECT_FALSE(window.Post(kUserMessage));
  EXPECT_EQ(window.Send(kUserMessage), 0);  // owner thread
  EXPECT_EQ(std::async(std::launch::async, [&] { return window.Send(kUserMessage); }).get(), 0);
  EXPECT_FALSE(window.WaitAndDispatch(0));
  EXPECT_EQ(handled, 0);  // the post queued before Close was dropped
}

TEST(MessageWindow, DestroyingTheWindowReleasesASender) {
  std::promise<void> queued;
  auto window = std::make_unique<MessageWindow>([](const Message&) -> intptr_t { return 1; });
  window->SetWakeHook([&] { queued.set_value(); });
  auto waiting = std::async(std::launch::async, [&] { return window->Send(kUserMessage); });
  queued.get_future().wait();
  window.reset();
  EXPECT_EQ(waiting.get(), 0);
}

TEST(MessageWindow, StoppedSendGivesUpAndIsNeverHandled) {
  int handled = 0;
  std::promise<void> queued;
  MessageWindow window([&](const Message&) -> intptr_t { return ++handled; });
  window.SetWakeHook([&] { queued.set_value(); });
  std::stop_source stop;
  auto waiting = std::async(std::launch::async,
                            [&] { return window.Send(stop.get_token(), kUserMessage); });
  queued.get_future().wait();
  stop.request_stop();
  EXPECT_EQ(waiting.get(), 0);
  EXPECT_EQ(window.DispatchPending(), 0u);
  EXPECT_EQ(handled, 0);
}

}  // namespace
