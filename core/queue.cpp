#include "core/queue.h"

void CQueue::Put(QNode* item) {
  if (!item) return;
  {
    std::lock_guard lock(mutex_);
    // A multimap inserts after the entries of an equal key, which keeps their order.
    items_.emplace(item->key, item);
  }
  available_.notify_one();
}

QNode* CQueue::Get() {
  std::unique_lock lock(mutex_);
  available_.wait(lock, [&] { return stops_ > 0 || !items_.empty(); });
  if (stops_ > 0) {
    --stops_;
    return nullptr;
  }
  auto first = items_.begin();
  QNode* item = first->second;
  items_.erase(first);
  return item;
}

void CQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    ++stops_;
  }
  available_.notify_one();
}

int CQueue::GetCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(items_.size());
}
