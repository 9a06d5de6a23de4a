#include "core/listener.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Ping {
  int value = 0;
};

using Log = std::vector<std::string>;

// Writes its name to the log on every event, then runs its action (which may destroy it).
class Probe : public Listener<Ping> {
 public:
  Probe(std::string name, Log& log) : name_(std::move(name)), log_(log) {}
  std::function<void(Ping&)> action;

  void OnEvent(Ping& ping) override {
    log_.push_back(name_);
    if (auto act = action) act(ping);
  }

 private:
  std::string name_;
  Log& log_;
};

class ListenerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    probes.clear();
    EXPECT_EQ(Listener<Ping>::List(), nullptr) << "the list outlived its subscribers";
  }

  Probe& Add(const std::string& name) {
    return *(probes[name] = std::make_unique<Probe>(name, log));
  }
  Log Fire(int value = 0) {
    log.clear();
    Ping ping{value};
    Listener<Ping>::Fire(ping);
    return log;
  }

  Log log;
  std::map<std::string, std::unique_ptr<Probe>> probes;
};

TEST_F(ListenerTest, ListLivesFromFirstToLastSubscriber) {
  EXPECT_EQ(Listener<Ping>::List(), nullptr);
  EXPECT_TRUE(Fire().empty());  // no list: nothing happens

  Add("A");
  EXPECT_NE(Listener<Ping>::List(), nullptr);
  EXPECT_EQ(Fire(), Log{"A"});
  probes.clear();
  EXPECT_EQ(Listener<Ping>::List(), nullptr);

  Add("B");
  EXPECT_EQ(Fire(), Log{"B"});
}

TEST_F(ListenerTest, DeliversInSubscriptionOrderWithHigherPrioritiesFirst) {
  struct Case {
    std::vector<std::pair<std::string, int32_t>> subscribers;  // in subscription order
    Log expected;
  };
  const Case cases[] = {
      {{{"A", 0}, {"B", -1}, {"C", 0}}, {"A", "C", "B"}},
      {{{"A", 0}, {"B", 0}, {"C", 0}}, {"A", "B", "C"}},
      {{{"A", 0}, {"B", 5}, {"C", 5}, {"D", -2}, {"E", -1}, {"F", 0}},
       {"B", "C", "A", "F", "E", "D"}},
  };
  for (const Case& c : cases) {
    for (const auto& [name, priority] : c.subscribers) Add(name).SetPriority(priority);
    EXPECT_EQ(Fire(), c.expected);
    probes.clear();
  }

  // A subscriber whose priority changes moves to its new place.
  Add("A");
  Add("B");
  Add("C");
  probes["A"]->SetPriority(-1);
  probes["C"]->SetPriority(1);
  EXPECT_EQ(Fire(), (Log{"C", "B", "A"}));
}

TEST_F(ListenerTest, StopEndsOnlyTheCurrentDelivery) {
  Add("A");
  Add("B").action = [](Ping& ping) {
    if (ping.value == 1) Listener<Ping>::StopDelivery();
  };
  Add("C");
  EXPECT_EQ(Fire(1), (Log{"A", "B"}));
  EXPECT_EQ(Fire(2), (Log{"A", "B", "C"}));
  Listener<Ping>::StopDelivery();  // outside a delivery: no effect on the next one
  EXPECT_EQ(Fire(2), (Log{"A", "B", "C"}));
}

TEST_F(ListenerTest, SubscribersLeavingDuringDeliveryDoNotBreakIt) {
  struct Case {
    const char* what;
    std::vector<std::string> removed_by_b;
    Log first, second;
  };
  const Case cases[] = {
      {"itself", {"B"}, {"A", "B", "C"}, {"A", "C"}},
      {"the next one", {"C"}, {"A", "B"}, {"A", "B"}},
      {"the previous one", {"A"}, {"A", "B", "C"}, {"B", "C"}},
      {"everyone", {"A", "C", "B"}, {"A", "B"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Add("A");
    Add("B").action = [this, &c](Ping&) {
      for (const std::string& name : c.removed_by_b) probes.erase(name);
    };
    Add("C");
    EXPECT_EQ(Fire(), c.first);
    EXPECT_EQ(Fire(), c.second);
    probes.clear();
    EXPECT_EQ(Listener<Ping>::List(), nullptr);
  }
}

TEST_F(ListenerTest, LastSubscriberLeavingDuringDeliveryFreesTheListAfterIt) {
  Add("A").action = [this](Ping&) {
    probes.erase("A");
    EXPECT_NE(Listener<Ping>::List(), nullptr);  // still in use by this delivery
  };
  EXPECT_EQ(Fire(), Log{"A"});
  EXPECT_EQ(Listener<Ping>::List(), nullptr);

  Add("B");
  EXPECT_EQ(Fire(), Log{"B"});
}

TEST_F(ListenerTest, NestedDeliveriesBothSkipARemovedSubscriber) {
  Add("A").action = [this](Ping& ping) {
    if (ping.value == 1) {
      Ping inner{2};
      Listener<Ping>::Fire(inner);
    } else {
      probes.erase("B");  // the next one of both deliveries
    }
  };
  Add("B");
  Add("C");
  EXPECT_EQ(Fire(1), (Log{"A", "A", "C", "C"}));
}

TEST_F(ListenerTest, ExceptionFromASubscriberLeavesTheListUsable) {
  Add("A").action = [](Ping& ping) {
    if (ping.value == 1) throw std::runtime_error("subscriber failed");
  };
  Add("B");
  EXPECT_THROW(Fire(1), std::runtime_error);
  EXPECT_FALSE(Listener<Ping>::List()->delivering());
  EXPECT_EQ(Fire(2), (Log{"A", "B"}));
  probes.clear();

  // The last subscriber leaves, then throws: the list is still freed.
  Add("C").action = [this](Ping&) {
    probes.erase("C");
    throw std::runtime_error("gone");
  };
  EXPECT_THROW(Fire(), std::runtime_error);
  EXPECT_EQ(Listener<Ping>::List(), nullptr);
}

TEST_F(ListenerTest, CachedValueIsSharedWithinOneDeliveryAndResetByTheNext) {
  std::vector<double> seen;
  Add("A").action = [&seen](Ping& ping) {
    EventList* list = Listener<Ping>::List();
    EXPECT_TRUE(list->delivering());
    seen.push_back(list->cached_value);
    list->cached_value = ping.value;
  };
  Add("B").action = [&seen](Ping&) { seen.push_back(Listener<Ping>::List()->cached_value); };
  Fire(5);
  Fire(7);
  EXPECT_EQ(seen, (std::vector<double>{0.0, 5.0, 0.0, 7.0}));
  EXPECT_FALSE(Listener<Ping>::List()->delivering());
}

TEST_F(ListenerTest, FireIfEnabledNotesEveryEventButDeliversOnlyWhileEnabled) {
  Add("A");
  Ping ping;
  EventList::ClearEventSeen();
  EventList::SetEventsEnabled(false);
  Listener<Ping>::FireIfEnabled(ping);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(EventList::EventSeen());

  EventList::ClearEventSeen();
  EventList::SetEventsEnabled(true);
  Listener<Ping>::FireIfEnabled(ping);
  EXPECT_EQ(log, Log{"A"});
  EXPECT_TRUE(EventList::EventSeen());
}

int CountCalls(void* user_data, void*) { return ++*static_cast<int*>(user_data); }

TEST(ListenerNodeTest, UnlinkReturnsThePreviousNodeAndClearsTheSubscription) {
  EventList* list = nullptr;
  int calls = 0;
  ListenerNode a, b;
  a.Link(EventList::Obtain(&list), &CountCalls, &calls);
  b.Link(list, &CountCalls, &calls);
  list->Fire(nullptr);
  EXPECT_EQ(calls, 2);

  EXPECT_EQ(b.Unlink(), &a);
  EXPECT_EQ(b.list(), nullptr);
  EXPECT_EQ(b.Unlink(), nullptr);  // not linked: nothing to leave
  list->Fire(nullptr);
  EXPECT_EQ(calls, 3);

  a.Unlink();
  EventList::ReleaseIfEmpty(&list);
  EXPECT_EQ(list, nullptr);
}

}  // namespace
