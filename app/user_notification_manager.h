#pragma once
// The program-wide register of raised alarms. Notifiers (whatever shows or sounds an alarm) hear
// of every raise and acknowledgement; the "$PVDQ,ACKALLALERTS" sentence from another instrument
// acknowledges every active alarm.
//
// It sits below the overlays and the GPS library, which both raise alarms. The sentence is
// declared and fired by the GPS library; the subscription needs only its type's name.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "core/listener.h"

namespace NMEA_PVDQ {
class AcknowledgeNotifications;
}

class UserNotificationManager : public Listener<NMEA_PVDQ::AcknowledgeNotifications> {
 public:
  class Notifier {
   public:
    virtual ~Notifier() = default;
    virtual void OnRaise(uint32_t id, intptr_t argument1, intptr_t argument2) = 0;
    virtual void OnAcknowledge(uint32_t id) = 0;
  };
  // Called when an active alarm is acknowledged by another instrument.
  using AcknowledgeCallback = void (*)(void* user_data);
  struct Entry {
    AcknowledgeCallback callback = nullptr;
    void* user_data = nullptr;
  };

  static UserNotificationManager& Instance();

  // Notifiers are told in the order they were added; a notifier removes itself before it goes.
  void AddNotifier(Notifier* notifier);
  void RemoveNotifier(Notifier* notifier);

  // Tells every notifier; the alarm's entry, new or the existing one of an active id.
  Entry& Raise(uint32_t id, intptr_t argument1, intptr_t argument2);
  // Tells every notifier (also for an id that is not active) and forgets the id.
  void Acknowledge(uint32_t id);
  // Acknowledges every active alarm in ascending id order: its callback runs, and the notifiers
  // are told as by Acknowledge.
  void AcknowledgeAll();

  bool IsActive(uint32_t id) const { return active_.count(id) != 0; }
  size_t ActiveCount() const { return active_.size(); }

  void OnEvent(NMEA_PVDQ::AcknowledgeNotifications&) override { AcknowledgeAll(); }

 private:
  UserNotificationManager() = default;

  std::vector<Notifier*> notifiers_;
  std::map<uint32_t, Entry> active_;
};
