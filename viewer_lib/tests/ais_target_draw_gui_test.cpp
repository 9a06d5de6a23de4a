// AIS targets drawn by the programs' painter on an in-memory image: the triangle along the
// heading (upright and shorter without one), and nothing without a painter.
#include <gtest/gtest.h>

#include "gps/instruments/ais_target_manager.h"
#include "overlays/model/ui/overlay_drawing.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

constexpr vd::ui::Argb kWhite = 0xFFFFFFFF;

uint32_t Rgb(vd::ui::Argb pixel) { return pixel & 0xFFFFFF; }

CScreenPoints At(float x, float y) {
  CScreenPoints points;
  points.Append({x, y});
  points.valid = true;
  points.ComputeBounds();
  return points;
}

// The image after drawing the target at (50, 50).
vd::ui::Image Drawn(CAISTarget& target) {
  vd::ui::Image image(100, 100, kWhite);
  vd::ui::Surface surface(image);
  target.Draw(surface, CScreenTransform{0, 0.0f, 0.0f}, At(50, 50));
  return image;
}

TEST(AisTargetDraw, TriangleAlongTheHeadingOrUpright) {
  COverlayPainter::Install(&COverlaySurfacePainter::Global());
  CAISTarget target(235012345);
  target.colour = 0xFF00A000;
  target.kind_text = "Class A";

  // Heading east: the tip 19.6 units east of the position, the base 8.4 west.
  target.heading = 90;
  vd::ui::Image east = Drawn(target);
  EXPECT_EQ(Rgb(east.Pixel(66, 50)), 0x00A000u);
  EXPECT_EQ(Rgb(east.Pixel(50, 40)), 0xFFFFFFu);
  EXPECT_EQ(Rgb(east.Pixel(72, 50)), 0xFFFFFFu) << "beyond the tip";
  EXPECT_TRUE(target.HitTest(52, 51, {}));

  // No heading: an upright triangle, tip 9.9 units north.
  target.heading = CAISTarget::kNoHeading;
  vd::ui::Image upright = Drawn(target);
  EXPECT_EQ(Rgb(upright.Pixel(50, 44)), 0x00A000u);
  EXPECT_EQ(Rgb(upright.Pixel(50, 38)), 0xFFFFFFu);
  EXPECT_EQ(Rgb(upright.Pixel(66, 50)), 0xFFFFFFu);

  // Without a painter nothing is drawn, but the target still answers taps where it was.
  COverlayPainter::Install(nullptr);
  vd::ui::Image none = Drawn(target);
  EXPECT_EQ(Rgb(none.Pixel(50, 48)), 0xFFFFFFu);
  EXPECT_TRUE(target.HitTest(50, 50, {}));
}

}  // namespace
