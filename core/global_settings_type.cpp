#include "core/global_settings_type.h"

namespace {

// A function-local static, so that groups defined in any source file may register from their
// static constructors whatever the order of static initialisation.
CGlobalSettingsType*& ListHead() {
  static CGlobalSettingsType* head = nullptr;
  return head;
}

}  // namespace

CGlobalSettingsType::CGlobalSettingsType(std::string name) : name_(std::move(name)) {
  next_ = ListHead();
  ListHead() = this;
}

// Groups are static objects and normally stay registered until exit; one that goes earlier
// leaves the list so that no walk reaches it.
CGlobalSettingsType::~CGlobalSettingsType() {
  for (CGlobalSettingsType** link = &ListHead(); *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

CGlobalSettingsType* CGlobalSettingsType::Head() { return ListHead(); }
