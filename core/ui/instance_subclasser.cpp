#include "core/ui/instance_subclasser.h"

#include <cstdio>
#include <cstdlib>
#include <unordered_set>

#include "core/ui/window.h"

namespace {

constexpr int kMaxLinks = 1000;

// Every record alive, so that a user-data value is taken for a record only when it is one.
std::unordered_set<const void*>& LiveRecords() {
  static std::unordered_set<const void*> records;
  return records;
}

InstanceSubclasser::Record* AsRecord(void* user_data) {
  return LiveRecords().count(user_data) ? static_cast<InstanceSubclasser::Record*>(user_data)
                                        : nullptr;
}

}  // namespace

InstanceSubclasser& InstanceSubclasser::Global() {
  static InstanceSubclasser subclasser;
  return subclasser;
}

InstanceSubclasser::Record* InstanceSubclasser::Find(vd::ui::NativeWindow* window) const {
  if (!window) return nullptr;
  Record* record = AsRecord(window->user_data());
  for (int links = 0; record && links < kMaxLinks; ++links) {
    if (record->owner == this) return record;
    record = AsRecord(record->previous_user_data);
  }
  return nullptr;
}

void InstanceSubclasser::Attach(vd::ui::NativeWindow* window, Window* object) {
  if (Record* record = Find(window)) {
    record->object = object;
    return;
  }
  if (window->proc() == this) return;
  auto* record = new Record{this, window->proc(), object, window->user_data()};
  LiveRecords().insert(record);
  window->SetProc(this);
  window->SetUserData(record);
}

bool InstanceSubclasser::Detach(vd::ui::NativeWindow* window) {
  Record* record = Find(window);
  if (!record) return false;
  Record* ahead = AsRecord(window->user_data());
  if (ahead == record) {
    window->SetProc(record->previous_proc);
    window->SetUserData(record->previous_user_data);
  } else {
    while (ahead->previous_user_data != record) ahead = AsRecord(ahead->previous_user_data);
    ahead->previous_proc = record->previous_proc;
    ahead->previous_user_data = record->previous_user_data;
  }
  LiveRecords().erase(record);
  delete record;
  return true;
}

intptr_t InstanceSubclasser::HandleMessage(vd::ui::NativeWindow& window,
                                           const vd::ui::Message& message) {
  const Record* record = Find(&window);
  if (!record || !record->object) {
    std::fputs("Window not found in Window::wndProc\n", stderr);
    std::abort();
  }
  return record->object->WndProc(message.msg, message.wparam, message.lparam);
}
