#include "overlays/category.h"

#include <algorithm>

#include "core/string_utils.h"
#include "overlays/overlay_archive.h"

const OverlayClass CCategory::kClass("CCategory", kOverlaySchema, nullptr,
                                     &CreateArchiveObject<CCategory>);

namespace {

// Never destroyed, so that categories still referenced at exit may leave it.
std::vector<CCategory*>& GlobalList() {
  static auto* list = new std::vector<CCategory*>;
  return *list;
}

}  // namespace

CCategory::CCategory() { GlobalList().push_back(this); }

CCategory::CCategory(std::string name) : name_(std::move(name)) { GlobalList().push_back(this); }

CCategory::~CCategory() { std::erase(GlobalList(), this); }

const OverlayClass& CCategory::GetRuntimeClass() const { return kClass; }

void CCategory::Serialize(COverlayArchive& archive) {
  if (archive.IsStoring()) {
    archive.WriteString(name_);
  } else {
    name_ = archive.ReadString();
  }
}

CCategory* CCategory::FindOrCreate(const std::string& name) {
  for (CCategory* category : GlobalList()) {
    if (EqualsNoCase(category->name_, name)) {
      category->AddRef();
      return category;
    }
  }
  auto* category = new CCategory(name);
  category->AddRef();
  return category;
}

void CCategory::Release() {
  if (--ref_count_ <= 0) delete this;
}

std::string CCategory::GetNameOr(const CCategory* category) {
  return category ? category->name_ : "Object";
}

const std::vector<CCategory*>& CCategory::All() { return GlobalList(); }

const std::string* NextCategoryName(size_t& position) {
  const std::vector<CCategory*>& list = CCategory::All();
  if (position >= list.size()) return nullptr;
  return &list[position++]->name();
}

int PurgeUnusedCategories() {
  std::vector<CCategory*> unused;
  for (CCategory* category : CCategory::All()) {
    if (category->ref_count() <= 0) unused.push_back(category);
  }
  for (CCategory* category : unused) delete category;
  return static_cast<int>(unused.size());
}
