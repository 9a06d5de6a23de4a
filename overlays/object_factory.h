#pragma once
// Classes that the overlay archive (.vdo files, undo steps) creates by their stored class name.
//
// Every such class has one static class record (its name, schema number, base class and
// creator) and returns it from GetRuntimeClass. A record registers its name when constructed
// during static initialisation, so a class can be created by name as soon as its object file is
// part of the program:
//
//   // mark.h:  static const OverlayClass kClass;
//   // mark.cpp:
//   const OverlayClass CObjWaypoint::kClass("CObjWaypoint", kOverlaySchema,
//                                           &COstrelObject::kClass,
//                                           &CreateArchiveObject<CObjWaypoint>);
//
// Objects made by name start with no reference; whoever keeps one takes a reference, whoever
// drops an unreferenced one deletes it.
#include <cstdint>
#include <string>
#include <string_view>

class COverlayArchive;  // the .vdo archive (overlay_archive.h)

// The schema number written with every class of the overlay archive. Older files carry lower
// numbers and are read field by field as their schema allows.
inline constexpr uint16_t kOverlaySchema = 26;

class CArchiveObject;

class OverlayClass {
 public:
  using Creator = CArchiveObject* (*)();

  // Registers the name. create is null for classes that are never made by name.
  OverlayClass(const char* name, uint16_t schema, const OverlayClass* base, Creator create);
  ~OverlayClass();
  OverlayClass(const OverlayClass&) = delete;
  OverlayClass& operator=(const OverlayClass&) = delete;

  const char* name() const { return name_; }
  uint16_t schema() const { return schema_; }
  const OverlayClass* base() const { return base_; }

  // This class is other or derives from it.
  bool IsDerivedFrom(const OverlayClass& other) const;
  // A new object of the class, null when the class cannot be made by name.
  CArchiveObject* CreateObject() const;

  // The class registered under the name (exact case, class records and aliases); null when
  // none is.
  static const OverlayClass* Find(std::string_view name);
  // A new object of the class registered under the name; null when none is or it cannot be
  // made by name.
  static CArchiveObject* CreateByName(std::string_view name);

 private:
  friend class OverlayClassAlias;
  struct Entry {
    const char* name;
    const OverlayClass* cls;
    Entry* next;
  };
  static void Link(Entry& entry);
  static void Unlink(Entry& entry);
  static Entry* names_;  // the registered names, newest first

  const char* name_;
  uint16_t schema_;
  const OverlayClass* base_;
  Creator create_;
  Entry entry_;
};

// A second stored name under which a class is read (an older file's name for it). Registered
// while it exists, normally as a static object beside the class record.
class OverlayClassAlias {
 public:
  OverlayClassAlias(const char* name, const OverlayClass& cls);
  ~OverlayClassAlias();
  OverlayClassAlias(const OverlayClassAlias&) = delete;
  OverlayClassAlias& operator=(const OverlayClassAlias&) = delete;

 private:
  OverlayClass::Entry entry_;
};

template <class T>
CArchiveObject* CreateArchiveObject() {
  return new T;
}

// The root of the classes the archive stores by class reference.
class CArchiveObject {
 public:
  virtual const OverlayClass& GetRuntimeClass() const = 0;
  virtual ~CArchiveObject() = default;
  // Reads or writes the object's record, as the archive is loading or storing; a malformed
  // record throws the archive's exception.
  virtual void Serialize(COverlayArchive& archive) = 0;
  // Diagnostics: checks the object's invariants (debug builds) and appends a description.
  virtual void AssertValid() const {}
  virtual void Dump(std::string& out) const;

  bool IsKindOf(const OverlayClass& cls) const { return GetRuntimeClass().IsDerivedFrom(cls); }
};
