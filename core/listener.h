#pragma once
// Typed event lists. For every event type T there is one process-wide list of subscribers;
// an object deriving from Listener<T> is subscribed for its lifetime, and Listener<T>::Fire
// calls every subscriber synchronously, in list order, on the calling thread.
//
// Nothing here takes a lock: subscribing, unsubscribing and firing all happen on one thread
// (the user-interface thread in the programs).
//
// During a delivery a subscriber may unsubscribe itself or any other subscriber, or destroy
// them, and the delivery carries on with the subscribers still linked. A list whose last
// subscriber leaves during a delivery is freed when the delivery ends.
#include <cstdint>

class EventList;

// Called with the subscriber's user data and the event; the result is not used.
using ListenerCallback = int (*)(void* user_data, void* event);

// One subscription: a node of the circular doubly linked list of an EventList.
class ListenerNode {
 public:
  ListenerNode() = default;
  ~ListenerNode() { Unlink(); }
  ListenerNode(const ListenerNode&) = delete;
  ListenerNode& operator=(const ListenerNode&) = delete;

  // Subscribes to list. The node goes after the last node whose priority is at least
  // `priority`: new subscribers of equal priority follow older ones, and a trailing run of
  // lower (for priority 0: negative) priorities stays at the end. Relinks a linked node.
  void Link(EventList* list, ListenerCallback callback, void* user_data, int32_t priority = 0);
  // Leaves the list when linked, and returns the node that preceded this one (null when the
  // node was not linked). Always clears the list and the callback. Does not free the list.
  ListenerNode* Unlink();

  EventList* list() const { return list_; }
  int32_t priority() const { return priority_; }

 private:
  friend class EventList;

  ListenerNode* next_ = this;
  ListenerNode* previous_ = this;
  int32_t priority_ = 0;
  ListenerCallback callback_ = nullptr;
  void* user_data_ = nullptr;
  EventList* list_ = nullptr;
};

// The subscribers of one event type.
class EventList {
 public:
  // `slot` is the global pointer that holds this list; it is cleared when the list frees
  // itself at the end of a delivery.
  explicit EventList(EventList** slot);
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;

  // The list in *slot, created when there is none yet.
  static EventList* Obtain(EventList** slot);
  // Frees the list in *slot and clears *slot when the list has no subscriber left; during a
  // delivery the freeing waits until the delivery ends.
  static void ReleaseIfEmpty(EventList** slot);

  // Sets the cached value to 0.0, then calls each subscriber's callback in order until one
  // of them calls StopDelivery, or the last one has run.
  void Fire(void* event);
  // Called by a subscriber: no later subscriber of the current delivery is called. Outside a
  // delivery it does nothing.
  void StopDelivery();

  bool empty() const { return sentinel_.next_ == &sentinel_; }
  // True while a delivery of this list runs (also in nested deliveries).
  bool delivering() const { return deliveries_ != nullptr; }

  // Free for the subscribers of a delivery to share (the current time of a heartbeat tick,
  // for instance); set to 0.0 when each delivery starts.
  double cached_value = 0.0;

  // Program-wide switch for FireIfEnabled (on at start), and the flag FireIfEnabled raises
  // for every event offered to it, enabled or not.
  static void SetEventsEnabled(bool enabled);
  static bool EventsEnabled();
  static bool EventSeen();
  static void ClearEventSeen();
  static void NoteEventSeen();

 private:
  friend class ListenerNode;
  struct Delivery;

  // Its priority is the largest int32, so the backward walk of Link always stops here.
  ListenerNode sentinel_;
  // The innermost running delivery; each one knows the node it will call next, so that
  // unsubscribing that node moves the delivery on instead of leaving it a dangling pointer.
  Delivery* deliveries_ = nullptr;
  EventList** slot_;
};

// Base of every subscriber of events of type T.
template <class T>
class Listener {
 public:
  Listener() { node_.Link(EventList::Obtain(&list_), &Forward, this); }
  virtual ~Listener() {
    node_.Unlink();
    EventList::ReleaseIfEmpty(&list_);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Called for every event fired while subscribed. The base ignores it, so that an event
  // fired while a derived object is still being built is not delivered to it half made.
  virtual void OnEvent(T& /*event*/) {}

  // Moves this subscriber to its place for `priority` (see ListenerNode::Link).
  void SetPriority(int32_t priority) {
    node_.Link(EventList::Obtain(&list_), &Forward, this, priority);
  }
  int32_t priority() const { return node_.priority(); }

  static void Fire(T& event) {
    if (EventList* list = list_) list->Fire(&event);
  }
  // Notes that an event was seen and fires it only while events are enabled.
  static void FireIfEnabled(T& event) {
    EventList::NoteEventSeen();
    if (EventList::EventsEnabled()) Fire(event);
  }
  // Called from OnEvent: ends the current delivery after this subscriber.
  static void StopDelivery() {
    if (EventList* list = list_) list->StopDelivery();
  }
  // The list of T; null while T has no subscriber.
  static EventList* List() { return list_; }

 private:
  static int Forward(void* user_data, void* event) {
    static_cast<Listener*>(user_data)->OnEvent(*static_cast<T*>(event));
    return 0;
  }

  ListenerNode node_;
  static inline EventList* list_ = nullptr;
};
