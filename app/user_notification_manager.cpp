#include "app/user_notification_manager.h"

#include <algorithm>

UserNotificationManager& UserNotificationManager::Instance() {
  static UserNotificationManager manager;
  return manager;
}

namespace {
// Built when the program starts, so that an acknowledge sentence finds it listening.
[[maybe_unused]] UserNotificationManager& started = UserNotificationManager::Instance();
}  // namespace

void UserNotificationManager::AddNotifier(Notifier* notifier) { notifiers_.push_back(notifier); }

void UserNotificationManager::RemoveNotifier(Notifier* notifier) {
  notifiers_.erase(std::remove(notifiers_.begin(), notifiers_.end(), notifier), notifiers_.end());
}

UserNotificationManager::Entry& UserNotificationManager::Raise(uint32_t id, intptr_t argument1,
                                                              intptr_t argument2) {
  // A copy: a notifier may remove itself while it is told.
  const std::vector<Notifier*> notifiers = notifiers_;
  for (Notifier* notifier : notifiers) notifier->OnRaise(id, argument1, argument2);
  return active_[id];
}

void UserNotificationManager::Acknowledge(uint32_t id) {
  const std::vector<Notifier*> notifiers = notifiers_;
  for (Notifier* notifier : notifiers) notifier->OnAcknowledge(id);
  active_.erase(id);
}

void UserNotificationManager::AcknowledgeAll() {
  // The entries as they are now: a callback may raise or acknowledge alarms itself.
  const std::map<uint32_t, Entry> active = active_;
  for (const auto& [id, entry] : active) {
    if (entry.callback) entry.callback(entry.user_data);
    Acknowledge(id);
  }
}
