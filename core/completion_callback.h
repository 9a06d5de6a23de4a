#pragma once
// Deferred completion callbacks: what is to happen once a piece of work has finished (free a
// download job, reopen a chart, ...), run later on the user-interface thread.
//
// Registered entries wait in one process-wide pending stack (newest first). They run when the
// registering code calls RunPendingCallbacks, or when a modal dialog that took them over at
// its creation closes (CDialogCallbackList). Each entry receives the chained result, the value
// returned by the entry that ran before it, and returns the next one.
//
// Registering and running happen on the user-interface thread only; other threads ask that
// thread to run entries through PostRunPendingCallbacks.
#include <cstdint>
#include <functional>
#include <list>

class CCompletionCallback {
 public:
  using Function = int (*)(void* argument, int chained_result);
  using Callable = std::function<int(int chained_result)>;

  // Registers function(argument, chained result) as a new pending entry on top of the stack,
  // gives it and this entry the next sequence number, and sets the chained result to 0.
  // A null function registers an entry that hands the chained result on unchanged.
  void Register(Function function, void* argument);
  void Register(Callable callable);

  // Sequence number of the last registration; -1 before the first.
  int32_t sequence() const { return sequence_; }

  // The value handed to the next entry that runs. Dialogs and callers that run entries on a
  // result of their own set it before running.
  static int ChainedResult();
  static void SetChainedResult(int result);

 private:
  friend class CompletionStack;
  friend void RunPendingCallbacks(CCompletionCallback& entry);

  Callable callable_;
  int32_t sequence_ = -1;
};

// A list of entries taken over from the pending stack. Every modal dialog is one: at its
// creation it takes every pending entry, so entries registered while it is open collect on
// the emptied stack; when it closes, RunCallbacksOnClose runs its entries, then the ones
// registered meanwhile. Entries still held when it is destroyed are dropped without running.
class CDialogCallbackList {
 public:
  CDialogCallbackList();
  virtual ~CDialogCallbackList() = default;
  CDialogCallbackList(const CDialogCallbackList&) = delete;
  CDialogCallbackList& operator=(const CDialogCallbackList&) = delete;

 protected:
  // For the dialog when it ends: the chain starts at 0 for OK and -1 for Cancel.
  void RunCallbacksOnClose(bool ok);

 private:
  friend void RunAllPendingCallbacks(CDialogCallbackList& saved);

  std::list<CCompletionCallback> entries_;
};

// Runs pending entries from the top of the stack until the one registered by `entry` has run
// (or the stack is empty, for instance when a dialog already ran it), then releases the
// callable held by `entry`.
//
// An entry that throws counts as a failure: the next one receives -1, the run goes on, and
// the first exception is thrown again once the run has ended. The same holds for the other
// Run functions.
void RunPendingCallbacks(CCompletionCallback& entry);

// Puts the entries of `saved` on top of the pending stack, keeping their order, and runs the
// stack until it is empty.
void RunAllPendingCallbacks(CDialogCallbackList& saved);

// Runs the entry on top of the stack alone, with the current chained result.
void RunCompletionCallback();

// Hands `work` to the user-interface thread's queue (for instance by posting to its message
// window); false when that queue takes no more work.
using UiPoster = std::function<bool(std::function<void()> work)>;

// Any thread: asks the user-interface thread, through post, to run the pending entries up to
// the one with this sequence number, as RunPendingCallbacks does (the registering code still
// owns and releases its own entry). False when the work could not be posted.
bool PostRunPendingCallbacks(const UiPoster& post, int32_t sequence);
