#pragma once
// A save of several files that belong together (a shapefile's .shp, .shx and .dbf) that replaces
// all of them or none, even when the process dies half-way.
//
// Each target gets a temporary file beside it; once every one is written, Commit syncs them,
// writes a small journal naming the temporaries and their targets (itself saved atomically),
// renames the temporaries over the targets and removes the journal. A commit cut short after
// the journal was written is finished by Recover, which every reader and writer of the set
// calls first: the renames are done again for the temporaries still there. A save cut short
// before the journal leaves the old set untouched; its temporaries are removed by Recover.
//
// All targets must lie in one folder. Two processes must not save the same set at once.
#include <string>
#include <vector>

namespace vd::os {

class AtomicFileSet {
 public:
  explicit AtomicFileSet(std::vector<std::string> targets);
  ~AtomicFileSet() { Discard(); }
  AtomicFileSet(const AtomicFileSet&) = delete;
  AtomicFileSet& operator=(const AtomicFileSet&) = delete;

  // Creates an empty temporary file for every target; false (nothing left behind) when one
  // can't be made or the targets are not in one folder.
  bool Open();
  // Where the bytes of target i go until Commit; the caller writes and closes it in any way
  // (replacing it is fine).
  const std::string& TempPath(size_t i) const { return temps_[i]; }
  // Replaces every target by its temporary file. False when the temporaries could not be
  // synced or the journal written (the old set is then untouched and the temporaries are
  // removed), or when a rename failed after the journal was written (the next Recover finishes
  // the commit).
  bool Commit();
  // Removes the temporaries of a set not committed.
  void Discard();

  // Finishes a commit of these targets that was cut short, and removes temporaries left by
  // saves that never reached their commit. True when the set is whole (no journal remains).
  static bool Recover(const std::vector<std::string>& targets);
  // The journal of a set: hidden, beside the first target.
  static std::string JournalPath(const std::string& first_target);

  // The steps of a commit, for tests that stop a process at each of them: before the journal,
  // before each rename (step 1 + its index), and before the journal is removed.
  enum CommitStep { kBeforeJournal = 0, kBeforeRename = 1 };
  static void SetCommitStepHook(void (*hook)(int step)) { step_hook_ = hook; }

 private:
  static void Step(int step) {
    if (step_hook_) step_hook_(step);
  }

  static inline void (*step_hook_)(int step) = nullptr;
  std::vector<std::string> targets_;
  std::vector<std::string> temps_;
};

}  // namespace vd::os
