// Drawing of marks, routes and track sections on an in-memory image.
#include <gtest/gtest.h>

#include <memory>

#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_icon_cache.h"
#include "overlays/model/track_manager.h"
#include "overlays/model/ui/overlay_drawing.h"
#include "overlays/model/ui/tests/overlay_draw_support.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

using vd::test::Geometry;
using vd::test::kWhite;
using vd::test::Rgb;

using OverlayDraw = vd::test::InstalledPainter;

TEST_F(OverlayDraw, LinesOfRoutesAndTrackSectionsThroughTheViewTransform) {
  CMarkManager marks;
  CTrackManager tracks;
  COverlayRoute route;
  route.colour = 0xFF00C000;
  route.width = 3;
  COverlayTrack track;
  track.colour = 0xFF0000C0;
  track.width = 3;
  CTrackSection section(&track);
  section.count = 2;
  // World pixels at half scale, moved by (10, 20).
  const CScreenTransform view{-1, 10.0f, 20.0f};
  struct Case {
    COverlayObject* object;
    uint32_t rgb;
  };
  for (const Case& c : {Case{&route, 0x00C000u}, Case{&section, 0x0000C0u}}) {
    vd::ui::Image image(100, 100, kWhite);
    {
      vd::ui::Surface surface(image);
      const CScreenPoints geometry = Geometry({{0, 0}, {160, 0}});
      c.object->Draw(surface, view, geometry);
    }
    EXPECT_EQ(Rgb(image.Pixel(50, 20)), c.rgb);
    EXPECT_EQ(Rgb(image.Pixel(50, 30)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(image.Pixel(95, 20)), 0xFFFFFFu) << "the line ends at x 90";
  }
}

TEST_F(OverlayDraw, MarkIconOrItsStandIn) {
  CMarkManager marks;
  COverlayMark mark;
  mark.icon = "Testicon";
  mark.colour = 0xFFC00000;
  const CScreenTransform view{0, 0.0f, 0.0f};
  const CScreenPoints geometry = Geometry({{50, 50}});
  {
    vd::ui::Image image(100, 100, kWhite);
    {
      vd::ui::Surface surface(image);
      mark.Draw(surface, view, geometry);
    }
    EXPECT_EQ(Rgb(image.Pixel(50, 50)), 0xC00000u) << "a disc in the mark's colour";
    EXPECT_EQ(Rgb(image.Pixel(50, 60)), 0xFFFFFFu) << "15 pixels across";
  }
  COverlayIconCache::Entry& entry = COverlayIconCache::Global().Lookup("Testicon", 0xFFC00000);
  entry.image = std::make_shared<vd::ui::Image>(4, 4, 0xFF0000FF);
  entry.width = 4;
  entry.height = 4;
  vd::ui::Image image(100, 100, kWhite);
  {
    vd::ui::Surface surface(image);
    COverlayMark fresh;
    fresh.icon = "Testicon";
    fresh.colour = 0xFFC00000;
    fresh.Draw(surface, view, geometry);
  }
  EXPECT_EQ(Rgb(image.Pixel(49, 49)), 0x0000FFu) << "the icon's image, centred";
  EXPECT_EQ(Rgb(image.Pixel(53, 53)), 0xFFFFFFu);
  COverlayIconCache::Global().Clear();
  vd::ui::Image after_clear(100, 100, kWhite);
  {
    vd::ui::Surface surface(after_clear);
    mark.Draw(surface, view, geometry);  // resolves again: the old entry is gone
  }
  EXPECT_EQ(Rgb(after_clear.Pixel(50, 50)), 0xC00000u);
}

}  // namespace
