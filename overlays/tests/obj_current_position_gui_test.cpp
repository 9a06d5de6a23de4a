// The target arrow drawn on an image, turned by the heading.
#include <gtest/gtest.h>

#include <limits>

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

// A rate of turn from a device or another program may be anything: a bend too slight to show,
// or no number at all, draws the straight vector; a record made for another outline draws no
// outline.
TEST(CurrentPositionGuiTest, AnyRateOfTurnAndAStaleRecordDrawSafely) {
  vd::test::TempDir dir;
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
  for (float rate : {1e-9f, -1e-9f, std::numeric_limits<float>::infinity(),
                     std::numeric_limits<float>::quiet_NaN(), 3.0f}) {
    SCOPED_TRACE(rate);
    CObjCurrentPosition pos;
    pos.display_mode = CObjCurrentPosition::kTarget;
    pos.colour = 0x0000FF;
    pos.valid = 1;
    pos.rate_of_turn = rate;
    pos.heading = 90.0f;  // the target arrow points away from the vector
    pos.outline = {{-5, -5}, {5, -5}, {0, 10}};  // three points the record below lacks
    CMappedObject mapped(nullptr);
    ASSERT_TRUE(mapped.SetPointCount(5));
    for (auto& p : mapped.chart_points()) p = {50, 50};
    mapped.chart_points()[1] = {50, 20};  // the speed vector, straight up
    mapped.Project();
    vd::ui::Image image(100, 100, kPaper);
    vd::ui::Surface dc(image);
    vd::ui::Graphics graphics(dc);
    pos.Draw(dc, graphics, mapped, false);
    if (rate != 3.0f) {
      EXPECT_EQ(image.Pixel(50, 30), kRedArgb);  // the straight vector
    }
  }
}

}  // namespace
