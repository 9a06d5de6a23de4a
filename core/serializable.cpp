#include "core/serializable.h"

namespace {

// The head of the registry's list. A function-local static so that registrations made during
// static initialisation of other files find it ready whatever the order of initialisation.
CSerializable::Type*& Head() {
  static CSerializable::Type* head = nullptr;
  return head;
}

}  // namespace

CSerializable::Type::Type(int32_t type_id) : type_id_(type_id), next_(Head()) { Head() = this; }

CSerializable::Type::~Type() {
  for (Type** link = &Head(); *link; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      return;
    }
  }
}

const CSerializable::Type* CSerializable::Type::Find(int32_t type_id) {
  for (const Type* t = Head(); t; t = t->next_) {
    if (t->type_id_ == type_id) return t;
  }
  return nullptr;
}
