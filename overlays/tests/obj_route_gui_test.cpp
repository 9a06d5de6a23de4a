// A route's legs drawn on an in-memory image: line widths by thickness, the outline, and the
// arrow at each long leg's mid-point.
#include <gtest/gtest.h>

#include <vector>

#include "core/persistent_value.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/temp_dir.h"

namespace {

constexpr vd::ui::Argb kPaper = 0xFF808080;
constexpr vd::ui::ColourRef kRed = 0x0000FF;
constexpr vd::ui::Argb kRedArgb = 0xFFFF0000;

// Draws a route of one horizontal leg at y = 50 from x = 10 to x = 190, without a chart: the
// record's chart points are its client points.
vd::ui::Image DrawLeg(uint8_t thickness) {
  vd::test::TempDir dir;
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
  CObjWaypoint a, b;
  a.AddRef();
  b.AddRef();
  auto* route = new CObjRoute;
  route->AddRef();
  route->LinkWaypoint(&a);
  route->LinkWaypoint(&b);
  route->EndEditing();
  route->colour = kRed;
  route->thickness = thickness;
  CMappedObject mapped(nullptr);
  mapped.SetObject(route, nullptr);
  mapped.kind = CMappedObject::kPolyline;
  EXPECT_TRUE(mapped.SetPointCount(2));
  mapped.chart_points()[0] = {10, 50};
  mapped.chart_points()[1] = {190, 50};
  mapped.Project();
  vd::ui::Image image(200, 100, kPaper);
  {
    vd::ui::Surface dc(image);
    vd::ui::Graphics graphics(dc);
    route->Draw(dc, graphics, mapped, false);
  }
  mapped.SetObject(nullptr, nullptr);
  route->Release();
  return image;
}

// The rows of column x covered by the route colour.
int RedRows(const vd::ui::Image& image, int x) {
  int n = 0;
  for (int y = 0; y < image.Height(); ++y) n += image.Pixel(x, y) == kRedArgb;
  return n;
}

TEST(RouteDrawGuiTest, LineWidthFollowsTheThicknessWithAWhiteOutline) {
  struct Case {
    uint8_t thickness;
    int width;
  };
  for (const Case c : {Case{0, 1}, Case{1, 2}, Case{2, 4}, Case{3, 10}, Case{7, 2}}) {
    SCOPED_TRACE(static_cast<int>(c.thickness));
    const vd::ui::Image image = DrawLeg(c.thickness);
    EXPECT_EQ(RedRows(image, 40), c.width);
    // The outline, two pixels wider, shows white on each side.
    int white = 0;
    for (int y = 0; y < image.Height(); ++y) white += image.Pixel(40, y) == 0xFFFFFFFF;
    EXPECT_GE(white, 1);
  }
}

TEST(RouteDrawGuiTest, ALongLegCarriesAnArrowAtItsMidPoint) {
  const vd::ui::Image image = DrawLeg(0);
  // Pointing along the leg (east): its barbs lie behind the mid-point (x = 100), above and below.
  EXPECT_EQ(image.Pixel(97, 47), kRedArgb);
  EXPECT_EQ(image.Pixel(97, 53), kRedArgb);
  EXPECT_NE(image.Pixel(103, 47), kRedArgb);
  EXPECT_NE(image.Pixel(103, 53), kRedArgb);
}

}  // namespace
