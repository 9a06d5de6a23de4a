// "Search for downloadable maps" hands the area in view and its chart to the document's shop.
#include <gtest/gtest.h>

#include "corvex/ostrel_view.h"
#include "corvex/tests/ostrel_view_test_support.h"

namespace {

using ViewMapShopTest = vd::test::ViewOnTestChart;

TEST_F(ViewMapShopTest, TheShopGetsTheCornersOfTheAreaInView) {
  constexpr int kMapShop = 33656;
  CCmdUI ui;
  ASSERT_TRUE(view->OnUpdateCommand(kMapShop, ui));
  ASSERT_TRUE(ui.enabled);
  ASSERT_TRUE(view->OnCommand(kMapShop));
  EXPECT_EQ(document.shop_chart, chart_path);
  EXPECT_FALSE(document.shop_downloads) << "searching downloads nothing by itself";
  ASSERT_EQ(document.shop_area.size(), 4u);
  double north = 0, south = 0, east = 0, west = 0;
  ASSERT_TRUE(view->GetVisibleArea(north, south, east, west));
  EXPECT_DOUBLE_EQ(document.shop_area[0].lat, north);
  EXPECT_DOUBLE_EQ(document.shop_area[0].lon, west);
  EXPECT_DOUBLE_EQ(document.shop_area[2].lat, south);
  EXPECT_DOUBLE_EQ(document.shop_area[2].lon, east);
}

}  // namespace
