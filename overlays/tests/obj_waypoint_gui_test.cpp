// A mark drawn through a chart with a linear georeference onto an in-memory image.
#include <gtest/gtest.h>

#include "charts/old_quick_chart.h"
#include "overlays/icon_library.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::ui::Argb;

constexpr Argb kPaper = 0xFFFFFFFF;
constexpr Argb kSymbol = 0xFF00C000;
constexpr int32_t kSymbolNumber = 424242;

struct IdentityView : CMappedView {
  float scale = 1.0f;
  vd::ui::Point ChartToClient(vd::ui::Point chart) const override { return chart; }
  float ScaleFactor() const override { return scale; }
  void SetPositionMarker(double, double) override {}
};

class WaypointDrawGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string chart_path = dir.path() + "/chart.qct";
    ASSERT_TRUE(vd::test::WriteChartFixture(chart_path, vd::test::ChartFixture{}));
    chart = OpenOldQuickChart(chart_path, false);
    ASSERT_NE(chart, nullptr);
    // A 5 x 3 symbol whose hot spot is its pixel (1, 2): bottom row, second column.
    const std::string icon = dir.path() + "/flagpole.png";
    ASSERT_TRUE(vd::ui::Image(5, 3, kSymbol).SavePng(icon));
    ASSERT_TRUE(vd::os::SaveFileAtomically(dir.path() + "/flagpole_xy.txt", "1,2"));
    ASSERT_TRUE(CIconLibrary::Get().LoadIconFile(icon, kSymbolNumber));
  }

  // The mark at chart pixel (30, 40) of the fixture (50 N, 5 W, 1 second per pixel).
  void Place(CObjWaypoint& mark) {
    mark.Set(50.0 - 40.0 / 3600.0 - 0.1 / 3600.0, -5.0 + 30.0 / 3600.0 + 0.1 / 3600.0, "M", "",
             kSymbolNumber, CObjWaypoint::kLabelSymbolOnly);
  }

  vd::ui::Image Render(CObjWaypoint& mark, bool quick) {
    CMappedObject mapped(&view);
    mapped.SetObject(&mark, chart.get());
    CRubberBand band(&view);
    mark.PrepareView(mapped, chart.get(), band);
    vd::ui::Image image(80, 80, kPaper);
    {
      vd::ui::Surface dc(image);
      vd::ui::Graphics graphics(dc);
      mark.Draw(dc, graphics, mapped, quick);
    }
    mapped.SetObject(nullptr, nullptr);
    return image;
  }

  vd::test::TempDir dir;
  std::unique_ptr<COldQuickChart> chart;
  IdentityView view;
};

TEST_F(WaypointDrawGuiTest, SymbolSitsOnItsHotSpot) {
  CObjWaypoint mark;
  mark.AddRef();
  Place(mark);
  const vd::ui::Image image = Render(mark, false);
  // The symbol covers x 29..33, y 38..40.
  struct Probe {
    int x, y;
    Argb colour;
  };
  for (const Probe& p : {Probe{30, 40, kSymbol}, Probe{29, 38, kSymbol}, Probe{33, 40, kSymbol},
                         Probe{28, 40, kPaper}, Probe{34, 40, kPaper}, Probe{30, 41, kPaper},
                         Probe{30, 37, kPaper}}) {
    EXPECT_EQ(image.Pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
  }
}

TEST_F(WaypointDrawGuiTest, SelectionBoxAndQuickDrawSquare) {
  CObjWaypoint mark;
  mark.AddRef();
  Place(mark);
  mark.colour = 0x0000FF;  // red as a ColourRef
  const vd::ui::Image quick = Render(mark, true);
  // Quick draw: a square of the mark's colour from x - 3 to x + 2, no symbol.
  EXPECT_EQ(quick.Pixel(27, 37), 0xFFFF0000u);
  EXPECT_EQ(quick.Pixel(32, 42), 0xFFFF0000u);
  EXPECT_EQ(quick.Pixel(33, 40), kPaper);

  mark.Select(false);
  const vd::ui::Image selected = Render(mark, true);  // a selected mark draws in full
  EXPECT_EQ(selected.Pixel(14, 40), 0xFF000000u);    // x - 16
  EXPECT_EQ(selected.Pixel(45, 40), 0xFF000000u);    // x + 16, right edge excluded
  EXPECT_EQ(selected.Pixel(46, 40), kPaper);
  EXPECT_EQ(selected.Pixel(30, 40), kSymbol);
  mark.Deselect();
}

}  // namespace
