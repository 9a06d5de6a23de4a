#include <gtest/gtest.h>

#include <vector>

#include "overlays/model/screen_points.h"
#include "overlays/model/screen_transform.h"
#include "viewer_lib/geo_box.h"
#include "viewer_lib/geo_rect.h"
#include "viewer_lib/int_rect.h"
#include "viewer_lib/point_list.h"
#include "viewer_lib/polygon_geometry.h"

namespace {

TEST(ScreenTransformFloat, ToScreenToWorldAndSetOriginAgree) {
  CScreenTransform t;
  t.scale = 4.0f;
  t.SetOrigin(100.0f, 50.0f, 1000.0f, 2000.0f);
  const ScreenPointF s = t.ToScreen(1000.0f, 2000.0f);
  EXPECT_FLOAT_EQ(s.x, 100.0f);
  EXPECT_FLOAT_EQ(s.y, 50.0f);
  const ScreenPointF w = t.ToWorld(140.0f, 10.0f);
  EXPECT_FLOAT_EQ(w.x, 1010.0f);
  EXPECT_FLOAT_EQ(w.y, 1990.0f);
}

TEST(ScreenTransformFloat, RectToScreenUndoesApply) {
  const vd::ui::Rect world{-8, 4, 16, 20};
  for (const int level : {-2, 0, 1, 3}) {
    const CScreenTransform t{level, 10.9f, -5.5f};
    EXPECT_EQ(t.RectToScreen(t.Apply(world)), world) << "level " << level;
  }
  EXPECT_EQ((CScreenTransform{1, 0.0f, 0.0f}.RectToScreen({-7, 3, 9, 9})),
            (vd::ui::Rect{-4, 1, 4, 4}))
      << "arithmetic shift rounds down";
}

TEST(ScreenPointsHits, KindsAndTheTwentyPixelRule) {
  CScreenPoints list;
  list.screen_points = {{0.0f, 0.0f}, {100.0f, 0.0f}};
  struct Case {
    int32_t kind;
    float x, y;
    bool hit;
  };
  const Case cases[] = {
      {CScreenPoints::kNone, 0, 0, false},
      {CScreenPoints::kPoints, 19.9f, 0, true},
      {CScreenPoints::kPoints, 20.0f, 0, false},   // strictly below 400
      {CScreenPoints::kPoints, 100.0f, 0, false},  // beyond the counted markers
      {CScreenPoints::kPolyline, 0, 20.0f, true},  // a vertex at exactly 20 counts
      {CScreenPoints::kPolyline, 50.0f, 19.0f, true},
      {CScreenPoints::kPolyline, 50.0f, 21.0f, false},
      {CScreenPoints::kPolyline, 121.0f, 0, false},
      {CScreenPoints::kNoHit, 0, 0, false},
      {CScreenPoints::kAlwaysHit, 1e6f, 1e6f, true},
  };
  list.hit_count = 1;
  for (const Case& c : cases) {
    list.kind = c.kind;
    EXPECT_EQ(list.HitTest(c.x, c.y), c.hit) << "kind " << c.kind << " at " << c.x << "," << c.y;
  }
}

TEST(ScreenPointsHits, ProjectOnlyWhatMeetsTheVisibleRectangle) {
  CScreenTransform t;
  t.scale = 2.0f;
  t.x_offset = 10.0f;
  t.visible = {0, 0, 100, 100};
  CScreenPoints list;
  list.Append({10.0f, 10.0f});
  list.Append({30.0f, 20.0f});
  list.ComputeBounds();
  ASSERT_TRUE(list.Project(t));
  ASSERT_EQ(list.screen_points.size(), 2u);
  EXPECT_FLOAT_EQ(list.screen_points[1].x, 40.0f);
  EXPECT_FLOAT_EQ(list.screen_points[1].y, 40.0f);

  t.scale = 1.0f;
  EXPECT_TRUE(list.Project(t));
  EXPECT_FLOAT_EQ(list.screen_points[1].x, 40.0f) << "screen points are kept once made";

  CScreenPoints edge;
  edge.Append({100.0f, 0.0f});
  edge.Append({120.0f, 50.0f});
  edge.ComputeBounds();
  EXPECT_FALSE(edge.Project(t)) << "a box sharing only the right edge";
  EXPECT_TRUE(edge.screen_points.empty());
  edge.Clear();
  EXPECT_FALSE(edge.Project(t)) << "a cleared list";
}

TEST(IntRects, StrictIntersectionAndClip) {
  const IntRect a{0, 0, 10, 10};
  struct Case {
    IntRect other;
    bool meets;
  };
  const Case cases[] = {
      {{10, 0, 20, 10}, false}, {{0, 10, 10, 20}, false}, {{-10, 0, 0, 10}, false},
      {{9, 9, 20, 20}, true},   {{2, 2, 3, 3}, true},     {{-5, -5, 50, 50}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(a.Intersects(c.other), c.meets) << c.other.left << "," << c.other.top;
    EXPECT_EQ(c.other.Intersects(a), c.meets);
  }
  IntRect clipped = a;
  EXPECT_EQ(clipped.Clip({5, -3, 20, 7}), 5);
  EXPECT_EQ(clipped, (IntRect{5, 0, 10, 7}));
  IntRect apart = a;
  apart.Clip({20, 30, 40, 50});
  EXPECT_EQ(apart, (IntRect{20, 30, 20, 30})) << "empty: right = left, bottom = top";
  EXPECT_EQ(IntRect{}, (IntRect{0, 0, 0, 0}));
}

TEST(GeoRects, HalfOpenContainsAndBoxGrowth) {
  const GeoRect r{0.0, 0.0, 1.0, 2.0};
  EXPECT_TRUE(r.Contains(0.0, 0.0));
  EXPECT_TRUE(r.Contains(0.999, 1.999));
  EXPECT_FALSE(r.Contains(1.0, 1.0)) << "right edge";
  EXPECT_FALSE(r.Contains(0.5, 2.0)) << "bottom edge";

  GeoBox box;
  box.Extend({3.0, -4.0});
  EXPECT_EQ(box.min_a, 3.0);
  EXPECT_EQ(box.max_a, 3.0);
  box.Extend({-1.0, 5.0});
  EXPECT_EQ(box.min_a, -1.0);
  EXPECT_EQ(box.max_a, 3.0);
  EXPECT_EQ(box.min_b, -4.0);
  EXPECT_EQ(box.max_b, 5.0);
}

std::vector<GeoPoint> Square(double x, double y, double side) {
  PointList list;
  list.Build(side, x, y, side);
  EXPECT_TRUE(list.closed);
  return list.points;
}

TEST(Polygons, DistanceTests) {
  const GeoPoint a{0, 0}, b{10, 0};
  EXPECT_TRUE(SegmentWithinDistance({5, 2}, a, b, 4.0)) << "on the edge of the band";
  EXPECT_FALSE(SegmentWithinDistance({5, 2.01}, a, b, 4.0));
  EXPECT_TRUE(SegmentWithinDistance({-2, 0}, a, b, 4.0)) << "near the first end";
  EXPECT_FALSE(SegmentWithinDistance({12, 0}, a, b, 4.0)) << "the far end counts only beside";

  const std::vector<GeoPoint> line{{0, 0}, {10, 0}, {10, 10}};
  EXPECT_TRUE(PolylineWithin(line, 12, 5, 4.0));
  EXPECT_TRUE(PolylineWithin(line, 10, 12, 4.0)) << "the last vertex";
  EXPECT_FALSE(PolylineWithin(line, 5, 5, 4.0));
  const std::vector<GeoPoint> one{{3, 3}};
  EXPECT_TRUE(PolylineWithin(one, 3, 4, 1.0));
  EXPECT_FALSE(PolylineWithin(one, 3, 5, 1.0));
}

TEST(Polygons, OverlapContainmentAndSquares) {
  const auto big = Square(0, 0, 100);
  const auto small = Square(10, 10, 10);
  const auto far = Square(500, 500, 10);
  const std::vector<GeoPoint> two{{20, 20}, {30, 30}};

  EXPECT_TRUE(PolygonsOverlap(small, big));
  EXPECT_TRUE(PolygonsOverlap(big, small)) << "no corner of big in small, but small's in big";
  EXPECT_FALSE(PolygonsOverlap(big, far));
  EXPECT_FALSE(PolygonsOverlap(two, small)) << "under 3 points contains nothing";
  EXPECT_TRUE(PolygonsOverlap(two, big));

  EXPECT_TRUE(PolygonContainsPolygon(big, small));
  EXPECT_FALSE(PolygonContainsPolygon(small, big));
  EXPECT_FALSE(PolygonContainsPolygon(two, std::vector<GeoPoint>{{25, 25}}));
  EXPECT_TRUE(PolygonContainsPolygon(big, {})) << "an empty polygon is contained";

  const auto inside = Square(1000, 1000, 50);      // wholly inside the 1024 square at 900
  EXPECT_TRUE(SquareTouchesPolygon1024(inside, 900, 900)) << "a vertex in the square";
  EXPECT_TRUE(SquareTouchesPolygon1024(Square(0, 0, 5000), 900, 900)) << "corners inside";
  EXPECT_TRUE(SquareTouchesPolygon1024(Square(1924, 1924, 5), 900, 900)) << "edge inclusive";
  EXPECT_FALSE(SquareTouchesPolygon1024(Square(1925, 0, 5), 900, 900));
}

}  // namespace
