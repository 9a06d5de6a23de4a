#include "core/ui/poly_lines.h"

#include <gtest/gtest.h>

#include "platform/ui/colour.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

using namespace vd::ui;

constexpr Argb kWhite = 0xFFFFFFFF;
constexpr Argb kBlack = 0xFF000000;

// A square whose corners lie a little inside whole pixels: cut to (2,2) (12,2) (12,12) (2,12).
const PointF kSquare[] = {{2.5f, 2.9f}, {12.9f, 2.2f}, {12.1f, 12.8f}, {2.2f, 12.6f}};

TEST(PolyLinesTest, PolylineRunsThroughCutPointsAndPolygonCloses) {
  Image open(20, 20, kWhite), closed(20, 20, kWhite);
  {
    Surface s(open);
    DrawPolyline(s, kSquare, 4);
  }
  {
    Surface s(closed);
    DrawPolygon(s, kSquare, 4);
  }
  for (const Image* image : {&open, &closed}) {
    EXPECT_EQ(image->Pixel(2, 2), kBlack);
    EXPECT_EQ(image->Pixel(7, 2), kBlack);
    EXPECT_EQ(image->Pixel(12, 2), kBlack);
    EXPECT_EQ(image->Pixel(12, 7), kBlack);
    EXPECT_EQ(image->Pixel(7, 12), kBlack);
    EXPECT_EQ(image->Pixel(13, 2), kWhite) << "no pixel beyond the cut corner";
    EXPECT_EQ(image->Pixel(7, 7), kWhite) << "outlines only";
  }
  EXPECT_EQ(open.Pixel(2, 7), kWhite) << "a polyline stays open";
  EXPECT_EQ(closed.Pixel(2, 7), kBlack) << "a polygon returns to its first point";
}

TEST(PolyLinesTest, NoPointsDrawNothing) {
  Image image(20, 20, kWhite);
  {
    Surface s(image);
    DrawPolyline(s, kSquare, 0);
    DrawPolygon(s, nullptr, 3);
    DrawPolygon(s, kSquare, 1);  // one point: a line of no length
  }
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(image.Pixel(x, y), kWhite) << x << "," << y;
}

}  // namespace
