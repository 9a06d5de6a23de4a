// An overlay object's layer in a chart view: re-projection, the range test against the visible
// rectangle, drawing, and taps and touches passed on only where the hit list holds the point.
#include "overlays/model/overlay_layer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geodesy/chart_view_georef.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

// A line of two world points that records what is asked of it.
struct LineObject : COverlayObject {
  LineObject() : COverlayObject(kRoute, kDrawKeyLine) {}
  void Project(CScreenPoints& points, const ChartViewGeoref&) override {
    ++projections;
    points.Clear();
    points.Append({100, 100});
    points.Append({200, 100});
    points.kind = CScreenPoints::kPolyline;
    points.valid = true;
    points.ComputeBounds();
  }
  void Draw(vd::ui::Surface&, const CScreenTransform&, const CScreenPoints& points) override {
    drawn.push_back(points.screen_points.empty() ? -1.0f : points.screen_points.front().x);
  }
  bool IsLive() const override { return live; }
  bool OnTap(float, float, const GeoPoint&) override { return ++taps, true; }
  bool HitTest(float, float, const GeoPoint&) override { return ++touches, true; }
  int projections = 0, taps = 0, touches = 0;
  std::vector<float> drawn;  // the first screen point's x at each Draw
  bool live = true;
};

// World pixels shown 1:1 from the world point (x, 0) in a 300 x 200 window; the visible
// rectangle is the window's in world pixels.
CScreenTransform View(float x) {
  CScreenTransform view;
  view.x_offset = x;
  view.visible = {static_cast<int32_t>(x), 0, static_cast<int32_t>(x) + 300, 200};
  return view;
}

TEST(OverlayLayer, RangeDrawingAndInput) {
  LineObject line;
  OverlayLayer layer(line);
  vd::ui::Image image(300, 200, 0xFFFFFFFF);
  vd::ui::Surface dc(image);
  const GeoPoint here{50, -1};

  // Before any projection there is nothing to draw or hit.
  EXPECT_FALSE(layer.InRange(View(0)));
  layer.Draw(dc, View(0));
  EXPECT_TRUE(line.drawn.empty());

  ChartViewGeoref georef;
  layer.Reproject(&georef);
  EXPECT_EQ(line.projections, 1);
  struct Case {
    const char* name;
    float view_x;
    bool in_range;
  };
  const Case cases[] = {
      {"in the window", 0, true},
      {"panned so that it lies left of the window", 250, false},
      {"only touching the window's left edge", 200, false},
      {"half in", 150, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    layer.Invalidate();
    EXPECT_EQ(layer.InRange(View(c.view_x)), c.in_range);
    line.drawn.clear();
    layer.Draw(dc, View(c.view_x));
    if (c.in_range) {
      ASSERT_EQ(line.drawn.size(), 1u);
      EXPECT_EQ(line.drawn[0], 100 - c.view_x) << "screen points of the current transform";
    } else {
      EXPECT_TRUE(line.drawn.empty());
    }
  }

  // Taps and touches reach the object only on its line (from the last range test: 150).
  EXPECT_TRUE(layer.HitListHolds(0, 105));
  EXPECT_FALSE(layer.HitListHolds(0, 150));
  EXPECT_FALSE(layer.OnTap(0, 150, here));
  EXPECT_FALSE(layer.OnTouch(0, 150, here));
  EXPECT_EQ(line.taps + line.touches, 0);
  EXPECT_TRUE(layer.OnTap(0, 105, here));
  EXPECT_TRUE(layer.OnTouch(0, 105, here));
  EXPECT_EQ(line.taps, 1);
  EXPECT_EQ(line.touches, 1);

  // A hidden object is neither drawn nor tapped.
  line.live = false;
  line.drawn.clear();
  layer.Draw(dc, View(150));
  EXPECT_TRUE(line.drawn.empty());
  EXPECT_FALSE(layer.OnTap(0, 105, here));

  // Without a georeference the geometry goes.
  layer.Reproject(nullptr);
  EXPECT_FALSE(layer.InRange(View(0)));
  EXPECT_FALSE(layer.HitListHolds(0, 105));
}

}  // namespace
