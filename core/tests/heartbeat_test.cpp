#include "core/heartbeat.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// Notes the tick numbers on which it elapsed.
class TickRecorder : public CHeartbeat::Counter {
 public:
  TickRecorder(int32_t period, const int& now) : Counter(period), now_(now) {}
  std::vector<int> elapsed;
  std::function<void()> on_elapsed;

 protected:
  void OnElapsed() override {
    elapsed.push_back(now_);
    if (auto act = on_elapsed) act();
  }

 private:
  const int& now_;
};

TEST(HeartbeatCounterTest, ElapsesAfterItsFirstCountdownThenEveryPeriod) {
  struct Case {
    int32_t period;
    int32_t effective;
  };
  const Case cases[] = {{1, 1}, {2, 2}, {7, 7}, {1200, 1200}, {0, 1}, {-5, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.period);
    int now = 0;
    TickRecorder counter(c.period, now);
    EXPECT_EQ(counter.period(), c.effective);
    const int first = counter.countdown();
    ASSERT_GE(first, 1);
    ASSERT_LE(first, c.effective);

    for (now = 1; now <= first + 2 * c.effective; ++now) CHeartbeat::Tick();
    EXPECT_EQ(counter.elapsed,
              (std::vector<int>{first, first + c.effective, first + 2 * c.effective}));
    EXPECT_EQ(counter.countdown(), c.effective);
  }
  EXPECT_EQ(Listener<CHeartbeat>::List(), nullptr);
}

TEST(HeartbeatCounterTest, CounterMayDestroyItselfWhenItElapses) {
  int now = 0;
  auto one_shot = std::make_unique<TickRecorder>(1, now);
  one_shot->on_elapsed = [&one_shot] { one_shot.reset(); };
  TickRecorder steady(1, now);

  for (now = 1; now <= 3; ++now) CHeartbeat::Tick();
  EXPECT_EQ(one_shot, nullptr);
  EXPECT_EQ(steady.elapsed, (std::vector<int>{1, 2, 3}));
}

TEST(HeartbeatCounterTest, LastCounterLeavingOnItsTickFreesTheList) {
  int now = 0;
  auto only = std::make_unique<TickRecorder>(1, now);
  only->on_elapsed = [&only] { only.reset(); };
  CHeartbeat::Tick();
  EXPECT_EQ(only, nullptr);
  EXPECT_EQ(Listener<CHeartbeat>::List(), nullptr);
  CHeartbeat::Tick();  // nothing subscribed: no effect
}

}  // namespace
