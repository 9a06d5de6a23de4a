#pragma once
// The base of a chart view's tile images: a queue item (its key orders the tile requests of the
// view's helper threads) with the tile's place and level, its state flags and the lock that
// guards its image. The view, the render thread and the prefetch thread share a tile: whoever
// changes its image or its place holds the lock; the flags are handed over with the tile itself
// (through the queues and the window's messages).
#include <chrono>
#include <cstdint>
#include <mutex>

#include "core/queue.h"

class CDibType : public QNode {
 public:
  static constexpr int32_t kNoPosition = INT32_MIN;
  static constexpr int32_t kNoLevel = -100000;  // also marks a tile whose chart has gone
  static constexpr std::chrono::milliseconds kLockWait{10000};

  CDibType() { Reset(); }

  // No tile: no position, no level, needs rendering, not ready.
  void Reset();
  bool IsReady() const { return ready; }

  // Waits up to kLockWait for the tile's lock; the result does not hold it (converts to
  // false) when it could not be had.
  std::unique_lock<std::timed_mutex> Lock() { return std::unique_lock(mutex_, kLockWait); }

  int32_t x = kNoPosition;  // chart pixel of the tile's top-left corner
  int32_t y = kNoPosition;
  int32_t level = kNoLevel;  // zoom shift
  bool needs_render = true;
  bool busy = false;
  bool ready = false;

 private:
  std::timed_mutex mutex_;
};
