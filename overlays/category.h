#pragma once
// A category of overlay objects ("Waypoints", "Fishing spots"). Objects that name the same
// category, without regard to the case of ASCII letters, share one CCategory, each holding a
// reference. Every category that exists is on one program-wide list, in order of creation.
// User-interface thread only.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "overlays/object_factory.h"

class CCategory : public CArchiveObject {
 public:
  static const OverlayClass kClass;  // "CCategory"

  // Both join the global list, with no reference (the archive makes categories this way; the
  // reader then swaps them for FindOrCreate of their name).
  CCategory();
  explicit CCategory(std::string name);
  // Leaves the global list.
  ~CCategory() override;
  CCategory(const CCategory&) = delete;
  CCategory& operator=(const CCategory&) = delete;

  const OverlayClass& GetRuntimeClass() const override;
  // The name only.
  void Serialize(COverlayArchive& archive) override;

  // The first category of the list whose name equals name without regard to case, with one
  // more reference; else a new category of that name with one reference, appended.
  static CCategory* FindOrCreate(const std::string& name);
  void AddRef() { ++ref_count_; }
  // One reference less; destroyed at none.
  void Release();

  // The category's name, or "Object" for none.
  static std::string GetNameOr(const CCategory* category);

  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }
  int ref_count() const { return ref_count_; }

  // The global list, oldest first.
  static const std::vector<CCategory*>& All();

 private:
  std::string name_;
  int ref_count_ = 0;
};

// Walks the global list: the name at the position (0 is the head), which then advances; null
// after the last.
const std::string* NextCategoryName(size_t& position);
// Destroys every category of the global list that has no reference; returns how many.
int PurgeUnusedCategories();
