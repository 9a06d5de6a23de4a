// Drawing and hit-testing moving targets on an in-memory image: the speed vector with its arrow
// head, and the own position's heading triangle.
#include <gtest/gtest.h>

#include <utility>

#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/tests/moving_target_test_support.h"
#include "overlays/model/ui/overlay_drawing.h"
#include "overlays/model/ui/tests/overlay_draw_support.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

using vd::test::Geometry;
using vd::test::kWhite;
using vd::test::Rgb;

using MovingTargetDraw = vd::test::InstalledPainter;

TEST_F(MovingTargetDraw, VectorWithArrowHeadAndHitTest) {
  COverlayMovingTarget target(3);
  target.colour = 0xFFC00000;
  const CScreenTransform view{0, 0.0f, 0.0f};
  vd::ui::Image image(100, 100, kWhite);
  EXPECT_FALSE(target.HitTest(20, 50, {})) << "nothing drawn yet";
  {
    vd::ui::Surface surface(image);
    target.Draw(surface, view, Geometry({{20, 50}, {80, 50}}));
  }
  EXPECT_EQ(Rgb(image.Pixel(50, 50)), 0xC00000u) << "the vector";
  // The barbs run back from the end at 30 degrees: about (76, 47.5) and (76, 52.5).
  EXPECT_TRUE(Rgb(image.Pixel(76, 48)) == 0xC00000u || Rgb(image.Pixel(77, 48)) == 0xC00000u);
  EXPECT_EQ(Rgb(image.Pixel(50, 45)), 0xFFFFFFu);

  struct Case {
    float x, y;
    bool hit;
  };
  for (const Case& c : {Case{20, 50, true}, Case{27, 43, true}, Case{29, 50, false},
                        Case{80, 50, false}}) {
    EXPECT_EQ(target.HitTest(c.x, c.y, {}), c.hit) << c.x << "," << c.y;
  }

  // Without a vector only the position is noted: nothing is drawn, it is still hit.
  vd::ui::Image plain(100, 100, kWhite);
  {
    vd::ui::Surface surface(plain);
    target.Draw(surface, view, Geometry({{60, 60}}));
  }
  EXPECT_EQ(Rgb(plain.Pixel(60, 60)), 0xFFFFFFu);
  EXPECT_TRUE(target.HitTest(61, 59, {}));
  EXPECT_FALSE(target.HitTest(20, 50, {}));
}

TEST_F(MovingTargetDraw, OwnPositionHeadingTriangle) {
  COverlayGPSPosition own;
  own.latitude = vd::test::kTargetLat;
  own.longitude = vd::test::kTargetLon;
  own.motion.heading = 90.0f;
  own.motion.heading_direction = {1, 0};
  own.motion.ChooseSource();
  ASSERT_EQ(own.motion.source_kind, CDataSpeedDirection::kHeading);
  CScreenPoints points;
  own.Project(points, vd::test::MetreChart());  // first projection: colour from gc_color2
  own.colour = 0xFF0000C0;
  // Heading east, the position at (50, 50): apex at x 58, base at x 42 from y 43 to 57.
  const CScreenTransform view{0, 50.0f, 50.0f};
  vd::ui::Image image(100, 100, kWhite);
  {
    vd::ui::Surface surface(image);
    own.Draw(surface, view, points);
  }
  for (const auto& [x, y] : {std::pair{50, 50}, {44, 50}, {56, 50}, {44, 45}, {44, 55}}) {
    EXPECT_EQ(Rgb(image.Pixel(x, y)), 0x0000C0u) << x << "," << y;
  }
  for (const auto& [x, y] : {std::pair{50, 40}, {40, 50}, {61, 50}, {56, 45}}) {
    EXPECT_EQ(Rgb(image.Pixel(x, y)), 0xFFFFFFu) << x << "," << y;
  }
  EXPECT_TRUE(own.HitTest(52, 48, {}));

  // Without a heading it is drawn as a moving target: no vector, nothing drawn.
  own.motion.heading = 1000.0f;
  own.motion.ChooseSource();
  vd::ui::Image plain(100, 100, kWhite);
  {
    vd::ui::Surface surface(plain);
    own.Draw(surface, view, points);
  }
  EXPECT_EQ(Rgb(plain.Pixel(50, 50)), 0xFFFFFFu);
}

}  // namespace
