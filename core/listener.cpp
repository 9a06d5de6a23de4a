#include "core/listener.h"

#include <limits>

namespace {

bool g_events_enabled = true;
bool g_event_seen = false;

}  // namespace

struct EventList::Delivery {
  ListenerNode* next;
  bool stop = false;
  Delivery* outer;
};

void ListenerNode::Link(EventList* list, ListenerCallback callback, void* user_data,
                        int32_t priority) {
  Unlink();
  priority_ = priority;
  callback_ = callback;
  user_data_ = user_data;
  list_ = list;
  ListenerNode* after = list->sentinel_.previous_;
  while (after->priority_ < priority) after = after->previous_;
  next_ = after->next_;
  previous_ = after;
  after->next_->previous_ = this;
  after->next_ = this;
}

ListenerNode* ListenerNode::Unlink() {
  ListenerNode* previous = nullptr;
  if (list_) {
    for (EventList::Delivery* d = list_->deliveries_; d; d = d->outer) {
      if (d->next == this) d->next = next_;
    }
    previous = previous_;
    previous_->next_ = next_;
    next_->previous_ = previous_;
    next_ = previous_ = this;
  }
  list_ = nullptr;
  callback_ = nullptr;
  return previous;
}

EventList::EventList(EventList** slot) : slot_(slot) {
  sentinel_.priority_ = std::numeric_limits<int32_t>::max();
}

EventList* EventList::Obtain(EventList** slot) {
  if (!*slot) *slot = new EventList(slot);
  return *slot;
}

void EventList::ReleaseIfEmpty(EventList** slot) {
  EventList* list = *slot;
  if (list && list->empty() && !list->delivering()) {
    *slot = nullptr;
    delete list;
  }
}

void EventList::Fire(void* event) {
  cached_value = 0.0;
  if (empty()) return;
  Delivery delivery{sentinel_.next_, false, deliveries_};
  deliveries_ = &delivery;
  // Ends the delivery on every way out, a subscriber's exception included, and frees the
  // list when its last subscriber left during it.
  struct End {
    EventList* list;
    Delivery* outer;
    ~End() {
      list->deliveries_ = outer;
      ReleaseIfEmpty(list->slot_);
    }
  } end{this, delivery.outer};
  while (delivery.next != &sentinel_ && !delivery.stop) {
    ListenerNode* node = delivery.next;
    delivery.next = node->next_;
    node->callback_(node->user_data_, event);
  }
}

void EventList::StopDelivery() {
  if (deliveries_) deliveries_->stop = true;
}

void EventList::SetEventsEnabled(bool enabled) { g_events_enabled = enabled; }
bool EventList::EventsEnabled() { return g_events_enabled; }
bool EventList::EventSeen() { return g_event_seen; }
void EventList::ClearEventSeen() { g_event_seen = false; }
void EventList::NoteEventSeen() { g_event_seen = true; }
