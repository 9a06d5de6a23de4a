#include "overlays/category.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool Listed(const std::string& name) {
  return std::ranges::any_of(CCategory::All(),
                             [&](const CCategory* category) { return category->name() == name; });
}

TEST(Category, OneCategoryPerNameWhateverTheCase) {
  CCategory* a = CCategory::FindOrCreate("Lighthouses");
  CCategory* b = CCategory::FindOrCreate("LIGHTHOUSES");
  CCategory* c = CCategory::FindOrCreate("lighthouses ");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c) << "only case is ignored";
  EXPECT_EQ(a->name(), "Lighthouses") << "the first spelling stays";
  EXPECT_EQ(a->ref_count(), 2);
  a->Release();
  b->Release();
  EXPECT_FALSE(Listed("Lighthouses")) << "the last release destroys it";
  EXPECT_TRUE(Listed("lighthouses "));
  c->Release();
}

TEST(Category, NameOrObject) {
  CCategory* category = CCategory::FindOrCreate("Moorings");
  EXPECT_EQ(CCategory::GetNameOr(category), "Moorings");
  EXPECT_EQ(CCategory::GetNameOr(nullptr), "Object");
  category->Release();
}

TEST(Category, NamesInOrderOfCreation) {
  CCategory* first = CCategory::FindOrCreate("cat-order-1");
  CCategory* second = CCategory::FindOrCreate("cat-order-2");
  CCategory* third = CCategory::FindOrCreate("cat-order-3");
  std::vector<std::string> names;
  size_t position = 0;
  while (const std::string* name = NextCategoryName(position)) {
    if (name->starts_with("cat-order-")) names.push_back(*name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"cat-order-1", "cat-order-2", "cat-order-3"}));
  EXPECT_EQ(position, CCategory::All().size());
  EXPECT_EQ(NextCategoryName(position), nullptr);
  for (CCategory* category : {first, second, third}) category->Release();
}

TEST(Category, PurgeDestroysOnlyUnreferencedOnes) {
  // As the archive makes them: listed, with no reference.
  new CCategory("purge-unused-1");
  new CCategory("purge-unused-2");
  CCategory* kept = CCategory::FindOrCreate("purge-kept");
  EXPECT_GE(PurgeUnusedCategories(), 2);
  EXPECT_FALSE(Listed("purge-unused-1"));
  EXPECT_FALSE(Listed("purge-unused-2"));
  EXPECT_TRUE(Listed("purge-kept"));
  EXPECT_EQ(PurgeUnusedCategories(), 0);
  kept->Release();
}

}  // namespace
