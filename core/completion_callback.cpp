#include "core/completion_callback.h"

#include <exception>
#include <optional>
#include <utility>

// The process-wide pending stack and its counters. Entries still pending at exit are dropped
// without running.
class CompletionStack {
 public:
  std::list<CCompletionCallback> pending;
  int32_t next_sequence = 0;
  int chained_result = 0;

  static CompletionStack& Get() {
    static CompletionStack stack;
    return stack;
  }

  // Runs entries from the top until the one numbered `last` has run, or the stack is empty.
  // Each entry is off the stack before it runs, so entries may register or run others.
  void RunUpTo(std::optional<int32_t> last) {
    std::exception_ptr failure;
    while (!pending.empty()) {
      CCompletionCallback entry = std::move(pending.front());
      pending.pop_front();
      try {
        if (entry.callable_) chained_result = entry.callable_(chained_result);
      } catch (...) {
        if (!failure) failure = std::current_exception();
        chained_result = -1;
      }
      if (entry.sequence_ == last) break;
    }
    if (failure) std::rethrow_exception(failure);
  }
};

void CCompletionCallback::Register(Function function, void* argument) {
  Register(function ? Callable([function, argument](int chained) {
                        return function(argument, chained);
                      })
                    : Callable());
}

void CCompletionCallback::Register(Callable callable) {
  CompletionStack& stack = CompletionStack::Get();
  callable_ = std::move(callable);
  sequence_ = stack.next_sequence;
  stack.next_sequence = static_cast<int32_t>(static_cast<uint32_t>(sequence_) + 1);
  stack.pending.push_front(*this);
  stack.chained_result = 0;
}

int CCompletionCallback::ChainedResult() { return CompletionStack::Get().chained_result; }

void CCompletionCallback::SetChainedResult(int result) {
  CompletionStack::Get().chained_result = result;
}

CDialogCallbackList::CDialogCallbackList() { entries_.swap(CompletionStack::Get().pending); }

void CDialogCallbackList::RunCallbacksOnClose(bool ok) {
  CCompletionCallback::SetChainedResult(ok ? 0 : -1);
  RunAllPendingCallbacks(*this);
}

void RunPendingCallbacks(CCompletionCallback& entry) {
  // Released once the run ends, whichever way it ends.
  CCompletionCallback::Callable released = std::move(entry.callable_);
  entry.callable_ = nullptr;
  CompletionStack::Get().RunUpTo(entry.sequence_);
}

void RunAllPendingCallbacks(CDialogCallbackList& saved) {
  CompletionStack& stack = CompletionStack::Get();
  stack.pending.splice(stack.pending.begin(), saved.entries_);
  stack.RunUpTo(std::nullopt);
}

void RunCompletionCallback() {
  CompletionStack& stack = CompletionStack::Get();
  if (!stack.pending.empty()) stack.RunUpTo(stack.pending.front().sequence());
}

bool PostRunPendingCallbacks(const UiPoster& post, int32_t sequence) {
  return post && post([sequence] { CompletionStack::Get().RunUpTo(sequence); });
}
