// The rubber band drawn on a surface: inverted pixels that a second draw restores.
#include <gtest/gtest.h>

#include "overlays/mapped_object.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

using vd::ui::Image;
using vd::ui::Point;

constexpr vd::ui::Argb kPaper = 0xFF336699;
constexpr vd::ui::Argb kInverted = 0xFFCC9966;

int CountPixels(const Image& image, vd::ui::Argb colour) {
  int n = 0;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) n += image.Pixel(x, y) == colour;
  }
  return n;
}

TEST(RubberBandGuiTest, LinesInvertTheScreenAndASecondDrawErasesThem) {
  Image image(40, 40, kPaper);
  CRubberBand band;  // no view: chart pixels are client pixels
  band.SetAnchorCount(2);
  band.anchors()[0] = {30, 10};
  band.anchors()[1] = {10, 30};
  {
    vd::ui::Surface dc(image);
    band.Draw(dc, {10, 10});
    // The surface's raster operation and pen are put back.
    EXPECT_EQ(dc.SetRasterOp(vd::ui::RasterOp::CopyPen), vd::ui::RasterOp::CopyPen);
    EXPECT_EQ(dc.SelectPen({}).width, 0);
  }
  EXPECT_EQ(image.Pixel(20, 10), kInverted);
  EXPECT_EQ(image.Pixel(10, 20), kInverted);
  EXPECT_EQ(image.Pixel(20, 20), kPaper);
  // Everything inverted lies inside the band's extent.
  const vd::ui::Rect extent = band.Extent({10, 10});
  int inside = 0;
  for (int y = extent.top; y < extent.bottom; ++y) {
    for (int x = extent.left; x < extent.right; ++x) inside += image.Pixel(x, y) == kInverted;
  }
  EXPECT_EQ(inside, CountPixels(image, kInverted));
  EXPECT_GT(inside, 30);
  {
    vd::ui::Surface dc(image);
    band.Draw(dc, {10, 10});
  }
  EXPECT_EQ(CountPixels(image, kPaper), 40 * 40);
}

TEST(RubberBandGuiTest, BoxModeOutlinesTheCursorAndNoAnchorsDrawNothing) {
  Image image(40, 40, kPaper);
  CRubberBand band;
  {
    vd::ui::Surface dc(image);
    band.Draw(dc, {20, 20});
  }
  EXPECT_EQ(CountPixels(image, kPaper), 40 * 40);

  band.SetAnchorCount(1);
  band.box_mode = true;
  {
    vd::ui::Surface dc(image);
    band.Draw(dc, {20, 20});
  }
  EXPECT_EQ(image.Pixel(15, 15), kInverted);
  EXPECT_EQ(image.Pixel(24, 24), kInverted);
  EXPECT_EQ(image.Pixel(20, 20), kPaper);  // the outline only
  EXPECT_EQ(image.Pixel(25, 25), kPaper);
  EXPECT_EQ(CountPixels(image, kInverted), 36);
}

}  // namespace
