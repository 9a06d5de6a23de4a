// An outline on another chart's view: its polygon drawn on an in-memory image, and hit tests
// through the view's chart.
#include <gtest/gtest.h>

#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "overlays/mapped_object.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

constexpr vd::ui::Argb kPaper = 0xFF808080;
constexpr vd::ui::ColourRef kRed = 0x0000FF;
constexpr vd::ui::Argb kRedArgb = 0xFFFF0000;
constexpr double kPixel = 1.0 / 3600.0;  // degrees per pixel of the view's chart

class OutlineDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::test::ChartFixture chart;  // pixel (0, 0) at 50N 5W
    chart.width = 4;
    chart.height = 4;
    const std::string path = dir.File("view.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(path, chart));
    view_chart = OpenOldQuickChart(path, false);
    ASSERT_NE(view_chart, nullptr);
    outline->AddRef();
    outline->colour = kRed;
  }
  void TearDown() override {
    mapped.SetObject(nullptr, nullptr);
    outline->Release();
  }

  // An outline whose corners lie in the middle of pixels (left, top) and (right, bottom).
  void Square(int left, int top, int right, int bottom) {
    auto at = [](int x, int y) {
      return GeoPoint{50.0 - (y + 0.5) * kPixel, -5.0 + (x + 0.5) * kPixel};
    };
    outline->points = {at(left, top), at(right, top), at(right, bottom), at(left, bottom)};
  }

  vd::ui::Image Draw() {
    mapped.SetObject(outline, view_chart.get());
    CRubberBand band;
    outline->PrepareView(mapped, view_chart.get(), band);
    vd::ui::Image image(256, 256, kPaper);
    vd::ui::Surface dc(image);
    vd::ui::Graphics graphics(dc);
    outline->Draw(dc, graphics, mapped, false);
    return image;
  }

  int RedOnRow(const vd::ui::Image& image, int y, int from, int to) {
    int n = 0;
    for (int x = from; x <= to; ++x) n += image.Pixel(x, y) == kRedArgb;
    return n;
  }

  vd::test::TempDir dir;
  std::unique_ptr<COldQuickChart> view_chart;
  COldChartOutline* outline = new COldChartOutline;
  CMappedObject mapped{nullptr};
};

TEST_F(OutlineDrawingTest, HollowPolygonSolidOrDashed) {
  Square(50, 50, 150, 150);
  vd::ui::Image solid = Draw();
  EXPECT_EQ(mapped.point_count(), 4);
  EXPECT_EQ(mapped.chart_points()[2], (vd::ui::Point{150, 150}));
  EXPECT_EQ(RedOnRow(solid, 50, 60, 140), 81);
  EXPECT_EQ(solid.Pixel(50, 100), kRedArgb);
  EXPECT_EQ(solid.Pixel(100, 100), kPaper);  // not filled
  EXPECT_EQ(solid.Pixel(30, 30), kPaper);

  outline->no_tiles = true;
  vd::ui::Image dashed = Draw();
  const int red = RedOnRow(dashed, 50, 60, 140);
  EXPECT_GT(red, 20);
  EXPECT_LT(red, 81);
}

TEST_F(OutlineDrawingTest, NothingBeyondTheDrawingRange) {
  Square(50, 50, 150, 40000);
  vd::ui::Image image = Draw();
  EXPECT_EQ(mapped.point_count(), 4);
  EXPECT_EQ(RedOnRow(image, 50, 0, 255), 0);
}

TEST_F(OutlineDrawingTest, HitTestAsksThePositionOfTheChartPixel) {
  Square(50, 50, 150, 150);
  Draw();
  EXPECT_TRUE(outline->HitTest({100, 100}, mapped, 0));
  EXPECT_FALSE(outline->HitTest({20, 100}, mapped, 0));
  EXPECT_FALSE(outline->HitTest({100, 200}, mapped, 0));
}

TEST_F(OutlineDrawingTest, WithoutAChartNothingIsMapped) {
  Square(50, 50, 150, 150);
  CRubberBand band;
  outline->PrepareView(mapped, nullptr, band);
  EXPECT_EQ(mapped.point_count(), 0);
  EXPECT_FALSE(outline->HitTest({100, 100}, mapped, 0));
}

}  // namespace
