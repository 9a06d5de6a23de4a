// The target arrow drawn on an image, turned by the heading.
#include <gtest/gtest.h>

#include "core/persistent_value.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_current_position.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/temp_dir.h"

namespace {

constexpr vd::ui::Argb kPaper = 0xFFFFFFFF;
constexpr vd::ui::Argb kRedArgb = 0xFFFF0000;

TEST(CurrentPositionGuiTest, TargetArrowPointsAlongTheHeading) {
  vd::test::TempDir dir;
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
  struct Case {
    float heading;
    vd::ui::Point inside;    // on the arrow's tip side
    vd::ui::Point opposite;  // where the tip would be turned round
  };
  for (const Case& c : {Case{0.0f, {50, 45}, {50, 62}}, Case{90.0f, {55, 50}, {38, 50}},
                        Case{180.0f, {50, 55}, {50, 38}}}) {
    SCOPED_TRACE(c.heading);
    CObjCurrentPosition pos;
    pos.display_mode = CObjCurrentPosition::kTarget;
    pos.colour = 0x0000FF;  // red
    pos.heading = c.heading;
    pos.valid = 1;
    CMappedObject mapped(nullptr);
    ASSERT_TRUE(mapped.SetPointCount(5));
    for (auto& p : mapped.chart_points()) p = {50, 50};
    mapped.Project();
    vd::ui::Image image(100, 100, kPaper);
    {
      vd::ui::Surface dc(image);
      vd::ui::Graphics graphics(dc);
      pos.Draw(dc, graphics, mapped, false);
    }
    EXPECT_EQ(image.Pixel(c.inside.x, c.inside.y), kRedArgb);
    EXPECT_EQ(image.Pixel(c.opposite.x, c.opposite.y), kPaper);
  }
}

}  // namespace
