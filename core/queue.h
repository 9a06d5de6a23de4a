#pragma once
// A keyed work queue: producers put items, one consumer thread takes them out smallest key
// first. A chart view queues its tile requests here and a CHelperThread works them off.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

// An item of a CQueue. Derived item types carry the work; the key orders them in the queue.
struct QNode {
  virtual ~QNode() = default;

  int32_t key = 0;
};

class CQueue {
 public:
  CQueue() = default;
  CQueue(const CQueue&) = delete;
  CQueue& operator=(const CQueue&) = delete;

  // Any thread. Items of equal key come out in the order they were put. The queue never owns
  // an item: whoever put it keeps it until the consumer hands it on. A null item is ignored.
  void Put(QNode* item);
  // Blocks until an item or a stop request is there. Returns the item with the smallest key,
  // or null for a stop request, which comes out ahead of every queued item whatever its key.
  QNode* Get();
  // Queues one stop request; the items still queued stay there for the owner to deal with.
  void Stop();
  // Number of items waiting (stop requests not counted).
  int GetCount() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable available_;
  std::multimap<int32_t, QNode*> items_;
  int stops_ = 0;
};
