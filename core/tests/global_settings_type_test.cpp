#include "core/global_settings_type.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct TestGroup : CGlobalSettingsType {
  explicit TestGroup(const char* name) : CGlobalSettingsType(name) {}
  void OpenSheet() override {}
};

TestGroup first("Test Units");
TestGroup second("Test GPS Settings");

std::vector<CGlobalSettingsType*> Groups() {
  std::vector<CGlobalSettingsType*> groups;
  for (CGlobalSettingsType* g = CGlobalSettingsType::Head(); g != nullptr; g = g->next()) {
    groups.push_back(g);
  }
  return groups;
}

TEST(GlobalSettingsTypeTest, GroupsRegisterNewestFirstEnabled) {
  const auto groups = Groups();
  const auto at = [&](CGlobalSettingsType* g) {
    return std::find(groups.begin(), groups.end(), g) - groups.begin();
  };
  ASSERT_LT(at(&first), static_cast<long>(groups.size()));
  EXPECT_EQ(at(&second) + 1, at(&first));
  EXPECT_TRUE(first.enabled);
  EXPECT_EQ(second.name(), "Test GPS Settings");
}

TEST(GlobalSettingsTypeTest, AGroupThatGoesLeavesTheList) {
  const auto before = Groups();
  {
    TestGroup local("AIS Settings");
    local.enabled = false;
    EXPECT_EQ(CGlobalSettingsType::Head(), &local);
  }
  EXPECT_EQ(Groups(), before);
}

}  // namespace
