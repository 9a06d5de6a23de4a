// Anti-aliased drawing on a surface over an in-memory image.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace vd::ui {
namespace {

constexpr Argb kWhite = 0xFFFFFFFF;

bool Near(Argb actual, Argb expected, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > tolerance) return false;
  }
  return true;
}

TEST(GraphicsTest, AnAntiAliasedDiscIsSolidInsideSoftAtItsEdgeAndAbsentOutside) {
  Image image(40, 40, kWhite);
  {
    Surface s(image);
    Graphics g(s);
    g.FillEllipse(0xFFFF0000, {10, 10, 20, 20});
  }
  EXPECT_EQ(image.Pixel(20, 20), 0xFFFF0000u);
  EXPECT_EQ(image.Pixel(5, 5), kWhite);
  EXPECT_EQ(image.Pixel(20, 35), kWhite);
  int partial = 0;
  for (int x = 0; x < 40; ++x) {
    const Argb p = image.Pixel(x, 13);
    partial += p != kWhite && p != 0xFFFF0000u;
  }
  EXPECT_GT(partial, 0);
}

TEST(GraphicsTest, IntegerCoordinatesAreCentresOfPixels) {
  Image image(30, 12, kWhite);
  {
    Surface s(image);
    Graphics g(s);
    GraphicsPen pen;
    g.DrawLine(pen, {2, 5}, {25, 5});
  }
  EXPECT_EQ(image.Pixel(10, 5), 0xFF000000u);
  EXPECT_EQ(image.Pixel(10, 4), kWhite);
  EXPECT_EQ(image.Pixel(10, 6), kWhite);
}

TEST(GraphicsTest, ATranslucentPenBlendsOnceEvenWhereItsLineCrossesItself) {
  Image image(60, 60, kWhite);
  {
    Surface s(image);
    Graphics g(s);
    GraphicsPen pen;
    pen.colour = 0x80FF0000;
    pen.width = 5;
    pen.start_cap = pen.end_cap = LineCap::Round;
    pen.join = LineJoin::Round;
    const PointF zigzag[] = {{5, 30}, {55, 30}, {30, 5}, {30, 55}};
    g.DrawLines(pen, zigzag);
  }
  const Argb plain = image.Pixel(15, 30);
  EXPECT_TRUE(Near(plain, 0xFFFF7F7F, 2)) << std::hex << plain;
  EXPECT_EQ(image.Pixel(30, 30), plain);
}

TEST(GraphicsTest, AnInsetPenStaysInsideItsRectangle) {
  Image image(40, 40, kWhite);
  {
    Surface s(image);
    Graphics g(s);
    GraphicsPen pen;
    pen.width = 6;
    pen.alignment = PenAlignment::Inset;
    g.DrawRectangle(pen, {10, 10, 20, 20});
  }
  EXPECT_EQ(image.Pixel(12, 20), 0xFF000000u);
  EXPECT_EQ(image.Pixel(8, 20), kWhite);
  EXPECT_EQ(image.Pixel(20, 20), kWhite);
}

TEST(GraphicsTest, ArrowCapsAreWiderThanTheLine) {
  Image image(60, 40, kWhite);
  {
    Surface s(image);
    Graphics g(s);
    GraphicsPen pen;
    pen.width = 6;
    pen.end_cap = LineCap::ArrowAnchor;
    g.DrawLine(pen, {5, 20}, {50, 20});
  }
  EXPECT_EQ(image.Pixel(30, 20), 0xFF000000u);
  EXPECT_EQ(image.Pixel(30, 25), kWhite);  // beside the line
  EXPECT_NE(image.Pixel(41, 24), kWhite);  // the head is wider there
  EXPECT_EQ(image.Pixel(53, 20), kWhite);  // the tip is the end point
}

TEST(GraphicsTest, DashedLinesHaveGaps) {
  Image image(80, 10, kWhite);
  {
    Surface s(image);
    Graphics g(s);
    GraphicsPen pen;
    pen.width = 2;
    pen.dash = LineStyle::Dash;  // 3 widths on, 1 off
    g.DrawLine(pen, {0, 5}, {80, 5});
  }
  EXPECT_NE(image.Pixel(2, 5), kWhite);
  EXPECT_EQ(image.Pixel(7, 5), kWhite);
  EXPECT_NE(image.Pixel(10, 5), kWhite);
}

TEST(GraphicsTest, ImagesBlendByTheirAlphaAndLandOnWholePixels) {
  Image icon(2, 2, 0x80000000);
  icon.SetPixel(1, 1, 0xFF0000FF);
  Image image(10, 10, kWhite);
  {
    Surface s(image);
    Graphics g(s);
    g.DrawImage(icon, {3, 3, 2, 2});
  }
  EXPECT_TRUE(Near(image.Pixel(3, 3), 0xFF7F7F7F, 2)) << std::hex << image.Pixel(3, 3);
  EXPECT_EQ(image.Pixel(4, 4), 0xFF0000FFu);
  EXPECT_EQ(image.Pixel(2, 3), kWhite);
  EXPECT_EQ(image.Pixel(5, 5), kWhite);
}

TEST(GraphicsTest, GraphicsLeavesTheSurfaceSettingsAlone) {
  Image image(20, 20, kWhite);
  {
    Surface s(image);
    s.SetRasterOp(RasterOp::Invert);
    Graphics g(s);
    g.FillRectangle(0xFF00FF00, {0, 0, 5, 5});  // drawn normally, not inverted
    s.MoveTo({10, 10});
    s.LineTo({15, 10});  // the surface still inverts, without anti-aliasing
  }
  EXPECT_EQ(image.Pixel(2, 2), 0xFF00FF00u);
  EXPECT_EQ(image.Pixel(12, 10), 0xFF000000u);
  EXPECT_EQ(image.Pixel(12, 11), kWhite);
}

}  // namespace
}  // namespace vd::ui
