#pragma once
// Long work on the user-interface thread (an import, the load of a large overlay file) tells how
// far it has come through a ProgressFn, which shows it and keeps the window answering. An answer
// of false asks the work to stop; work that stops leaves things as they were before it started.
//
//   ProgressSteps steps(progress, points);
//   for (int64_t i = 0; i < points; ++i) {
//     if (!steps(i)) return Cancelled();
//     ...
//   }
#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>

using ProgressFn = std::function<bool(int64_t done, int64_t total)>;

// Hands a ProgressFn the progress of work of `total` units at most about kSteps times, however
// often it is told, so that work may tell it of every unit. Without a function (an empty one)
// it never stops the work.
class ProgressSteps {
 public:
  static constexpr int64_t kSteps = 1000;

  ProgressSteps(ProgressFn report, int64_t total)
      : report_(std::move(report)), total_(std::max<int64_t>(total, 0)) {
    if (!report_) next_ = kNever;
  }

  // False once the function asked to stop, and ever after.
  bool operator()(int64_t done) { return done < next_ ? !stopped_ : Pass(done); }
  bool stopped() const { return stopped_; }

 private:
  static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

  bool Pass(int64_t done) {
    if (stopped_) return false;
    if (!report_(std::min(done, total_), total_)) {
      stopped_ = true;
      next_ = kNever;
      return false;
    }
    next_ = done + std::max<int64_t>(1, total_ / kSteps);
    return true;
  }

  const ProgressFn report_;
  const int64_t total_;
  int64_t next_ = 0;
  bool stopped_ = false;
};

// The progress of one phase of work made of `parts` phases of equal weight, phase `part`
// (from 0) reporting its own units: the whole sees it as its share. Empty when whole is.
inline ProgressFn ProgressShare(const ProgressFn& whole, int part, int parts) {
  if (!whole) return {};
  constexpr int64_t kShare = 1 << 20;
  return [whole, part, parts](int64_t done, int64_t total) {
    const int64_t within =
        total > 0 ? static_cast<int64_t>(static_cast<__int128>(done) * kShare / total) : 0;
    return whole(part * kShare + within, parts * kShare);
  };
}
