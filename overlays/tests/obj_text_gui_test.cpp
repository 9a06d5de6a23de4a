// A note's text wraps inside its box and the box follows the measured text.
#include <gtest/gtest.h>

#include "overlays/mapped_object.h"
#include "overlays/obj_text.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

constexpr vd::ui::Argb kPaper = 0xFF000000;

TEST(TextGuiTest, LongTextWrapsInsideItsBox) {
  CObjText note;
  note.edit_state = CObjText::kNormal;
  note.text = "several words that cannot fit on one line of a narrow box";
  note.box_width = 80;
  note.background_colour = 0xFFFFFF;
  vd::ui::Image scratch(1, 1);
  vd::ui::Size size;
  int line_height = 0;
  {
    vd::ui::Surface dc(scratch);
    size = note.MeasureText(dc);
    line_height = dc.MeasureText("W").cy;
  }
  EXPECT_LE(size.cx, 80) << "wrapped to the box width";
  EXPECT_GE(size.cy, 3 * line_height) << "onto several lines";

  CMappedObject mapped(nullptr);
  ASSERT_TRUE(mapped.SetPointCount(1));
  mapped.chart_points()[0] = {10, 10};
  mapped.Project();
  vd::ui::Image image(200, 200, kPaper);
  {
    vd::ui::Surface dc(image);
    vd::ui::Graphics graphics(dc);
    note.Draw(dc, graphics, mapped, false);
  }
  // The filled box: the text plus 3 pixels on every side, nothing beyond.
  const vd::ui::Rect box{7, 7, 10 + size.cx + 3, 10 + size.cy + 3};
  int dark_inside = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 200; ++x) {
      const bool inside = box.Contains({x, y});
      const vd::ui::Argb p = image.Pixel(x, y);
      if (!inside) {
        ASSERT_EQ(p, kPaper) << x << "," << y;
      } else if (p != 0xFFFFFFFF) {
        ++dark_inside;
        ASSERT_GE(x, 10) << std::hex << p << " y " << std::dec << y;
        ASSERT_LT(x, 10 + size.cx);
      }
    }
  }
  EXPECT_GT(dark_inside, 50) << "the text was drawn";
}

}  // namespace
