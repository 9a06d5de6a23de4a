#include "overlays/object_factory.h"

#include <gtest/gtest.h>

#include <memory>

#include "overlays/category.h"
#include "overlays/ostrel_object.h"
#include "overlays/tests/overlay_test_objects.h"

namespace {

using vd::test::TestMark;
using vd::test::TestRoute;

TEST(ObjectFactory, CreatesByStoredClassName) {
  std::unique_ptr<CArchiveObject> route(OverlayClass::CreateByName("CTestRoute"));
  ASSERT_NE(route, nullptr);
  EXPECT_EQ(&route->GetRuntimeClass(), &TestRoute::kClass);
  EXPECT_TRUE(route->IsKindOf(TestMark::kClass));
  EXPECT_TRUE(route->IsKindOf(COstrelObject::kClass));
  EXPECT_FALSE(route->IsKindOf(CCategory::kClass));

  std::unique_ptr<CArchiveObject> category(OverlayClass::CreateByName("CCategory"));
  ASSERT_NE(category, nullptr);
  EXPECT_EQ(&category->GetRuntimeClass(), &CCategory::kClass);
  EXPECT_EQ(CCategory::kClass.schema(), 26);

  EXPECT_EQ(OverlayClass::CreateByName("ctestroute"), nullptr) << "names keep their case";
  EXPECT_EQ(OverlayClass::CreateByName("CNoSuchClass"), nullptr);
  EXPECT_EQ(OverlayClass::CreateByName("COstrelObject"), nullptr) << "the base is never made";
  EXPECT_EQ(OverlayClass::Find("COstrelObject"), &COstrelObject::kClass);
}

TEST(ObjectFactory, AliasesAndRecordsRegisterWhileTheyLive) {
  {
    const OverlayClassAlias alias("COldTestMark", TestMark::kClass);
    EXPECT_EQ(OverlayClass::Find("COldTestMark"), &TestMark::kClass);
    std::unique_ptr<CArchiveObject> mark(OverlayClass::CreateByName("COldTestMark"));
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(&mark->GetRuntimeClass(), &TestMark::kClass);
    {
      const OverlayClass scratch("CScratch", 3, nullptr, nullptr);
      EXPECT_EQ(OverlayClass::Find("CScratch"), &scratch);
      EXPECT_EQ(OverlayClass::Find("CScratch")->schema(), 3);
    }
    EXPECT_EQ(OverlayClass::Find("CScratch"), nullptr);
  }
  EXPECT_EQ(OverlayClass::Find("COldTestMark"), nullptr);
  EXPECT_EQ(OverlayClass::Find("CTestMark"), &TestMark::kClass);
}

}  // namespace
