#include "overlays/object_factory.h"

// A plain pointer with constant initialisation, so class records of any object file may
// register during static initialisation.
constinit OverlayClass::Entry* OverlayClass::names_ = nullptr;

OverlayClass::OverlayClass(const char* name, uint16_t schema, const OverlayClass* base,
                           Creator create)
    : name_(name), schema_(schema), base_(base), create_(create), entry_{name, this, nullptr} {
  Link(entry_);
}

OverlayClass::~OverlayClass() { Unlink(entry_); }

void OverlayClass::Link(Entry& entry) {
  entry.next = names_;
  names_ = &entry;
}

void OverlayClass::Unlink(Entry& entry) {
  for (Entry** link = &names_; *link; link = &(*link)->next) {
    if (*link == &entry) {
      *link = entry.next;
      return;
    }
  }
}

bool OverlayClass::IsDerivedFrom(const OverlayClass& other) const {
  for (const OverlayClass* cls = this; cls; cls = cls->base_) {
    if (cls == &other) return true;
  }
  return false;
}

CArchiveObject* OverlayClass::CreateObject() const { return create_ ? create_() : nullptr; }

const OverlayClass* OverlayClass::Find(std::string_view name) {
  for (const Entry* entry = names_; entry; entry = entry->next) {
    if (name == entry->name) return entry->cls;
  }
  return nullptr;
}

CArchiveObject* OverlayClass::CreateByName(std::string_view name) {
  const OverlayClass* cls = Find(name);
  return cls ? cls->CreateObject() : nullptr;
}

OverlayClassAlias::OverlayClassAlias(const char* name, const OverlayClass& cls)
    : entry_{name, &cls, nullptr} {
  OverlayClass::Link(entry_);
}

OverlayClassAlias::~OverlayClassAlias() { OverlayClass::Unlink(entry_); }

void CArchiveObject::Dump(std::string& out) const { out += GetRuntimeClass().name(); }
