#include "core/completion_callback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Stands in for a modal dialog of the GUI layer: takes the pending entries when created and
// runs them when it ends.
class FakeDialog : public CDialogCallbackList {
 public:
  void End(bool ok) { RunCallbacksOnClose(ok); }
};

struct Ran {
  std::string name;
  int received;
  bool operator==(const Ran&) const = default;
};

void PrintTo(const Ran& run, std::ostream* out) { *out << run.name << "(" << run.received << ")"; }

class CompletionCallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDialogCallbackList drop;  // takes whatever an earlier test left pending and frees it
  }

  // An entry that notes its run and returns the received value plus `add`.
  CCompletionCallback::Callable Step(const std::string& name, int add = 0) {
    return [this, name, add](int received) {
      runs.push_back({name, received});
      return received + add;
    };
  }
  CCompletionCallback& Register(const std::string& name, int add = 0) {
    entries[name].Register(Step(name, add));
    return entries[name];
  }

  std::vector<Ran> runs;
  std::map<std::string, CCompletionCallback> entries;
};

TEST_F(CompletionCallbackTest, NewestRunsFirstAndHandsItsResultOn) {
  CDialogCallbackList empty;
  Register("A", 10);
  Register("B", 1);
  RunAllPendingCallbacks(empty);
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 0}, {"A", 1}}));
  EXPECT_EQ(CCompletionCallback::ChainedResult(), 11);
}

TEST_F(CompletionCallbackTest, RunPendingStopsAfterTheCallersEntry) {
  Register("older");
  CCompletionCallback& a = Register("A", 5);
  Register("B", 1);
  RunPendingCallbacks(a);
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 0}, {"A", 1}}));

  runs.clear();
  RunCompletionCallback();
  EXPECT_EQ(runs, (std::vector<Ran>{{"older", 6}}));
}

TEST_F(CompletionCallbackTest, EntryAlreadyRunMakesRunPendingEmptyTheStack) {
  Register("X");
  CCompletionCallback& a = Register("A");
  RunCompletionCallback();  // runs A
  RunPendingCallbacks(a);   // A is gone: runs what is left
  EXPECT_EQ(runs, (std::vector<Ran>{{"A", 0}, {"X", 0}}));
  runs.clear();
  RunPendingCallbacks(a);
  EXPECT_TRUE(runs.empty());
}

TEST_F(CompletionCallbackTest, EntriesRegisteredWhileRunningRunInTheSameChain) {
  CCompletionCallback& a = Register("A");
  entries["B"].Register([this](int received) {
    runs.push_back({"B", received});
    Register("C", 100);
    return 7;
  });
  RunPendingCallbacks(a);
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 0}, {"C", 7}, {"A", 107}}));
}

TEST_F(CompletionCallbackTest, RegisteringResetsTheChainedResult) {
  CCompletionCallback::SetChainedResult(7);
  Register("A");
  EXPECT_EQ(CCompletionCallback::ChainedResult(), 0);
}

TEST_F(CompletionCallbackTest, RunCompletionCallbackRunsTheTopEntryWithTheStoredValue) {
  Register("A");
  Register("B");
  CCompletionCallback::SetChainedResult(5);
  RunCompletionCallback();
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 5}}));
  RunCompletionCallback();
  RunCompletionCallback();  // empty stack: nothing
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 5}, {"A", 5}}));
}

TEST_F(CompletionCallbackTest, RunPendingReleasesTheCallersEntryAndTheStackCopy) {
  auto token = std::make_shared<int>(0);
  CCompletionCallback entry;
  entry.Register([token](int r) { return r; });
  EXPECT_EQ(token.use_count(), 3);  // ours, the caller's entry, the stack's copy
  RunPendingCallbacks(entry);
  EXPECT_EQ(token.use_count(), 1);
}

TEST_F(CompletionCallbackTest, ClosingDialogRunsItsEntriesThenTheOnesRegisteredMeanwhile) {
  for (bool ok : {true, false}) {
    SCOPED_TRACE(ok);
    runs.clear();
    Register("A");
    Register("B");
    FakeDialog dialog;
    Register("C");
    Register("D");
    dialog.End(ok);
    const int start = ok ? 0 : -1;
    EXPECT_EQ(runs, (std::vector<Ran>{{"B", start}, {"A", start}, {"D", start}, {"C", start}}));
  }
}

TEST_F(CompletionCallbackTest, JobUnderProgressDialogRunsEachEntryOnce) {
  // The job's owner registers A, the progress code B; the dialog takes both and runs them
  // when it closes; the later RunPendingCallbacks calls find nothing left.
  CCompletionCallback& a = Register("A", 1);
  CCompletionCallback& b = Register("B");
  {
    FakeDialog progress;
    progress.End(true);
  }
  RunPendingCallbacks(b);
  RunPendingCallbacks(a);
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 0}, {"A", 0}}));
}

TEST_F(CompletionCallbackTest, NestedDialogsEachRunWhatTheyTookWhenTheyClose) {
  Register("A");
  FakeDialog outer;
  Register("B");
  {
    FakeDialog inner;
    Register("C");
    inner.End(true);
  }
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 0}, {"C", 0}}));
  runs.clear();
  outer.End(false);
  EXPECT_EQ(runs, (std::vector<Ran>{{"A", -1}}));
}

TEST_F(CompletionCallbackTest, DialogDestroyedWithoutEndingDropsWhatItTook) {
  auto token = std::make_shared<int>(0);
  CCompletionCallback taken;
  taken.Register([token, this](int r) {
    runs.push_back({"taken", r});
    return r;
  });
  taken = CCompletionCallback();  // only the pending copy holds the token now
  CCompletionCallback* later = nullptr;
  {
    FakeDialog never_shown;
    later = &Register("later");
  }
  EXPECT_EQ(token.use_count(), 1);
  RunPendingCallbacks(*later);
  EXPECT_EQ(runs, (std::vector<Ran>{{"later", 0}}));
}

TEST_F(CompletionCallbackTest, EmptyEntryHandsTheResultOnUnchanged) {
  entries["empty function"].Register(nullptr, nullptr);
  entries["empty callable"].Register(CCompletionCallback::Callable());
  Register("B", 42);
  RunPendingCallbacks(entries["empty function"]);
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 0}}));
  EXPECT_EQ(CCompletionCallback::ChainedResult(), 42);
}

int AddArgument(void* argument, int chained) { return chained + *static_cast<int*>(argument); }

TEST_F(CompletionCallbackTest, PlainFunctionReceivesItsArgument) {
  int three = 3;
  CCompletionCallback entry;
  entry.Register(&AddArgument, &three);
  CCompletionCallback::SetChainedResult(4);  // registering reset it; a caller may store one
  RunPendingCallbacks(entry);
  EXPECT_EQ(CCompletionCallback::ChainedResult(), 7);
}

TEST_F(CompletionCallbackTest, ThrowingEntryCountsAsFailureAndTheRunGoesOn) {
  CCompletionCallback& a = Register("A");
  entries["B"].Register([](int) -> int { throw std::runtime_error("callback failed"); });
  entries["C"].Register([](int) -> int { throw std::logic_error("first failure"); });

  EXPECT_THROW(RunPendingCallbacks(a), std::logic_error);  // the first failure surfaces
  EXPECT_EQ(runs, (std::vector<Ran>{{"A", -1}}));
  runs.clear();
  RunCompletionCallback();  // nothing is left pending
  EXPECT_TRUE(runs.empty());
}

// A user-interface thread's queue as a test sees it: any thread posts, the test drains.
class FakeUiQueue {
 public:
  UiPoster Poster() {
    return [this](std::function<void()> work) {
      std::lock_guard lock(mutex_);
      if (closed_) return false;
      work_.push_back(std::move(work));
      posted_.notify_all();
      return true;
    };
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  // Runs the first piece of work posted, waiting for it with a generous deadline.
  bool RunOne() {
    std::function<void()> work;
    {
      std::unique_lock lock(mutex_);
      if (!posted_.wait_for(lock, std::chrono::seconds(60), [this] { return !work_.empty(); })) {
        return false;
      }
      work = std::move(work_.front());
      work_.pop_front();
    }
    work();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> work_;
  bool closed_ = false;
};

TEST_F(CompletionCallbackTest, WorkerAsksTheUiThreadToRunTheEntries) {
  FakeUiQueue ui;
  Register("A");
  const int32_t sequence = Register("B").sequence();

  // The worker only posts; the entries run when this (the user-interface) thread drains.
  bool posted = false;
  std::thread worker([&] { posted = PostRunPendingCallbacks(ui.Poster(), sequence); });
  worker.join();
  EXPECT_TRUE(posted);
  EXPECT_TRUE(runs.empty());
  ASSERT_TRUE(ui.RunOne());
  EXPECT_EQ(runs, (std::vector<Ran>{{"B", 0}}));  // up to B only

  ui.Close();
  EXPECT_FALSE(PostRunPendingCallbacks(ui.Poster(), entries["A"].sequence()));
  EXPECT_FALSE(PostRunPendingCallbacks(UiPoster(), entries["A"].sequence()));
  EXPECT_EQ(runs.size(), 1u);
}

}  // namespace
