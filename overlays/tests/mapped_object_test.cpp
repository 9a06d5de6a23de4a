// Screen records of overlay objects: point buffers, projection, hit tests, draw order, and the
// rubber band's anchors.
#include "overlays/mapped_object.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "overlays/ostrel_object.h"

namespace {

using vd::ui::Point;
using vd::ui::Rect;

// A chart view at zoom shift `zoom` with its origin at chart pixel `origin`.
class FakeView : public CMappedView {
 public:
  Point ChartToClient(Point c) const override {
    return {(c.x - origin.x) >> zoom, (c.y - origin.y) >> zoom};
  }
  float ScaleFactor() const override { return scale; }
  void SetPositionMarker(double lat, double lon) override {
    ++marker_calls;
    marker = {lat, lon};
  }

  Point origin;
  int zoom = 0;
  float scale = 1.0f;
  int marker_calls = 0;
  std::pair<double, double> marker{-1, -1};
};

// An overlay object that the test keeps alive with its own reference.
struct Held {
  explicit Held(int32_t style = 0) : object(new COstrelObject) {
    object->AddRef();
    object->style = style;
  }
  ~Held() { object->Release(); }
  COstrelObject* operator->() const { return object; }
  COstrelObject* object;
};

std::unique_ptr<CMappedObject> Record(FakeView& view, const Held& held, int32_t kind,
                                      const std::vector<Point>& points) {
  auto record = std::make_unique<CMappedObject>(&view);
  record->SetObject(held.object, nullptr);
  record->kind = kind;
  EXPECT_TRUE(record->SetPointCount(static_cast<int>(points.size())));
  std::copy(points.begin(), points.end(), record->chart_points().begin());
  record->Project();
  return record;
}

struct HitCase {
  Point cursor;
  bool hit;
  int index;
};

void ExpectHits(CMappedObject& record, const std::vector<HitCase>& cases, int zoom_step = 0) {
  for (const HitCase& c : cases) {
    EXPECT_EQ(record.HitTest(c.cursor, zoom_step), c.hit) << c.cursor.x << "," << c.cursor.y;
    EXPECT_EQ(record.hit_index, c.hit ? c.index : -1) << c.cursor.x << "," << c.cursor.y;
  }
}

TEST(MappedObjectTest, PointHitsTheFirstPointWithinTheTolerance) {
  FakeView view;
  Held mark;  // hit tolerance 8 at zoom step 0
  auto record = Record(view, mark, CMappedObject::kPoints, {{100, 100}, {110, 100}, {300, 300}});
  ExpectHits(*record, {
                          {{100, 100}, true, 0},
                          {{108, 100}, true, 0},  // within 8 of both: the first wins
                          {{116, 100}, true, 1},
                          {{105, 106}, true, 0},  // 5,6 away: inside the circle of 8
                          {{106, 106}, true, 1},  // 6,6 from the first is 8.49 away
                          {{300, 309}, false, -1},
                          {{200, 200}, false, -1},
                      });
  // A zoom step of 1 doubles the tolerance, and so does a view scale of 2.
  ExpectHits(*record, {{{300, 315}, true, 2}, {{300, 317}, false, -1}}, 1);
  view.scale = 2.0f;
  ExpectHits(*record, {{{300, 316}, true, 2}, {{300, 317}, false, -1}});
}

TEST(MappedObjectTest, PolylineHitsNearASegmentBetweenItsEnds) {
  FakeView view;
  Held line;
  auto two = Record(view, line, CMappedObject::kPolyline, {{0, 0}, {100, 0}});
  ExpectHits(*two, {
                       {{50, 3}, true, 0},   // beside the middle
                       {{50, -8}, true, 0},  // at the tolerance
                       {{50, 9}, false, -1},
                       {{105, 0}, false, -1},  // beyond the end
                       {{-1, 0}, false, -1},   // before the start
                       {{0, 0}, true, 0},
                       {{100, 8}, true, 0},
                   });

  Held bent;
  auto chain = Record(view, bent, CMappedObject::kPolyline,
                      {{0, 0}, {0, 0}, {100, 0}, {100, 100}});
  ExpectHits(*chain, {
                         {{50, 1}, true, 1},  // the empty first segment is skipped
                         {{97, 50}, true, 2},
                         {{104, 99}, true, 2},
                         {{50, 50}, false, -1},
                     });

  Held single;
  ExpectHits(*Record(view, single, CMappedObject::kPolyline, {{5, 5}}), {{{5, 5}, false, -1}});
}

TEST(MappedObjectTest, BoxHitsInsideItsBoundsInClientPixels) {
  FakeView view;
  view.zoom = 1;
  Held note;
  auto record = std::make_unique<CMappedObject>(&view);
  record->SetObject(note.object, nullptr);
  record->kind = CMappedObject::kBox;
  record->margins = {2, 2, 2, 2};
  ASSERT_TRUE(record->SetPointCount(2));
  record->chart_points()[0] = {0, 0};
  record->chart_points()[1] = {200, 100};
  record->Project();
  EXPECT_EQ(record->bounds, (Rect{-2, -2, 102, 52}));
  ExpectHits(*record, {
                          {{100, 50}, true, 0},
                          {{194, 50}, true, 0},  // client 97: 5 pixels from the right edge
                          {{196, 50}, true, 1},  // client 98: the right edge's handle
                          {{204, 104}, true, 1},  // client (102, 52): edges are inside
                          {{-4, -4}, true, 0},
                          {{206, 50}, false, -1},
                          {{100, 106}, false, -1},
                      });
}

TEST(MappedObjectTest, InvisibleObjectsAndOtherKindsAreNeverHit) {
  FakeView view;
  Held mark;
  auto record = Record(view, mark, CMappedObject::kPoints, {{10, 10}});
  mark->visible = false;
  ExpectHits(*record, {{{10, 10}, false, -1}});
  mark->visible = true;
  for (int32_t kind : {0, 2, 5, -1}) {
    record->kind = kind;
    ExpectHits(*record, {{{10, 10}, false, -1}});
  }
  CMappedObject empty(&view);
  EXPECT_FALSE(empty.HitTest({0, 0}, 0));
}

TEST(MappedObjectTest, PointBufferGrowsWithSpareRoomAndIsKept) {
  CMappedObject record(nullptr);
  ASSERT_TRUE(record.SetPointCount(6));
  EXPECT_EQ(record.capacity(), 26);
  const Point* buffer = record.chart_points().data();
  ASSERT_TRUE(record.SetPointCount(10));
  EXPECT_EQ(record.capacity(), 26);
  EXPECT_EQ(record.chart_points().data(), buffer);
  // The client points follow the chart points of the current count.
  EXPECT_EQ(record.client_points().data(), buffer + 10);
  EXPECT_EQ(record.client_points().size(), 10u);

  CMappedObject small(nullptr);
  ASSERT_TRUE(small.SetPointCount(3));
  EXPECT_EQ(small.capacity(), 3);
  for (const Point& p : small.chart_points()) EXPECT_EQ(p, (Point{0, 0}));

  ASSERT_TRUE(record.SetPointCount(0));
  EXPECT_EQ(record.capacity(), 0);
  EXPECT_EQ(record.point_count(), 0);
  ASSERT_TRUE(small.SetPointCount(2));
  EXPECT_FALSE(small.SetPointCount(-1));
  EXPECT_EQ(small.point_count(), 0);
  EXPECT_EQ(small.capacity(), 0);
}

TEST(MappedObjectTest, ProjectionAndReprojectionOfAllRecords) {
  FakeView view;
  view.origin = {1000, 2000};
  view.zoom = 2;
  CMappedObjectMap map(&view);
  ReprojectAllMappedObjects(map);
  EXPECT_EQ(view.marker_calls, 0);  // nothing to project: the marker stays

  Held mark;
  CMappedObject& record =
      CMappedObject::Insert(map, Record(view, mark, CMappedObject::kPoints, {{1040, 2080}}));
  record.margins = {1, 2, 3, 4};
  view.origin = {1000, 2000 + 40};
  ReprojectAllMappedObjects(map);
  EXPECT_EQ(record.client_points()[0], (Point{10, 10}));
  EXPECT_EQ(record.bounds, (Rect{9, 8, 13, 14}));
  EXPECT_EQ(view.marker_calls, 1);
  EXPECT_EQ(view.marker, std::make_pair(0.0, 0.0));

  ASSERT_TRUE(record.SetPointCount(0));
  record.Project();
  EXPECT_EQ(record.bounds, (Rect{0, 0, 0, 0}));
}

std::vector<const COstrelObject*> DrawOrder(const CMappedObjectMap& map) {
  std::vector<const COstrelObject*> order;
  for (const auto& [key, record] : map) order.push_back(record->object());
  return order;
}

TEST(MappedObjectTest, RecordsAreDrawnByLayerThenByAge) {
  FakeView view;
  // Made in this order, so their serials rise in it; the addresses play no part.
  Held mark1(0x3c000005);
  Held route1(0x14000000);
  Held note(0x32000000);
  Held track(0x1e0000ff);
  Held route2(0x14000001);
  Held mark2(0x3c000000);
  Held old_file_style(5 << 24);  // an older file's style 5, shifted when read

  CMappedObjectMap map(&view);
  for (const Held* held : {&mark2, &route2, &note, &mark1, &old_file_style, &track, &route1}) {
    CMappedObject::Insert(map, Record(view, *held, CMappedObject::kPoints, {{0, 0}}));
  }
  const std::vector<const COstrelObject*> expected = {
      old_file_style.object, route1.object, route2.object, track.object,
      note.object,           mark1.object,  mark2.object};
  EXPECT_EQ(DrawOrder(map), expected);

  // Look-up by object, whatever its key.
  for (const COstrelObject* object : expected) {
    ASSERT_NE(CMappedObject::FindForObject(map, object), nullptr);
    EXPECT_EQ(CMappedObject::FindForObject(map, object)->object(), object);
  }
  Held stranger;
  EXPECT_EQ(CMappedObject::FindForObject(map, stranger.object), nullptr);

  // A changed style is still found, and Rekey moves the record to its new layer.
  route1->style = 0x40000000;
  ASSERT_NE(CMappedObject::FindForObject(map, route1.object), nullptr);
  map.Rekey(route1.object);
  EXPECT_EQ(DrawOrder(map).back(), route1.object);

  // Entering an object again replaces its record.
  CMappedObject::Insert(map, Record(view, note, CMappedObject::kPolyline, {{0, 0}, {1, 1}}));
  EXPECT_EQ(map.size(), expected.size());
  EXPECT_EQ(CMappedObject::FindForObject(map, note.object)->kind, CMappedObject::kPolyline);

  EXPECT_TRUE(map.Remove(track.object));
  EXPECT_EQ(CMappedObject::FindForObject(map, track.object), nullptr);
  EXPECT_FALSE(map.Remove(track.object));

  auto orphan = std::make_unique<CMappedObject>(&view);
  EXPECT_THROW(map.Insert(std::move(orphan)), std::invalid_argument);
}

TEST(MappedObjectTest, RecordHoldsAReferenceOnItsObject) {
  FakeView view;
  Held mark;
  EXPECT_EQ(mark->ref_count(), 1);
  {
    CMappedObjectMap map(&view);
    CMappedObject::Insert(map, Record(view, mark, CMappedObject::kPoints, {{0, 0}}));
    EXPECT_EQ(mark->ref_count(), 2);
    CMappedObject::FindForObject(map, mark.object)->SetObject(mark.object, nullptr);
    EXPECT_EQ(mark->ref_count(), 2);  // the same object again takes no second reference
  }
  EXPECT_EQ(mark->ref_count(), 1);

  // The record may hold the last reference: the object goes with it.
  auto* lone = new COstrelObject;
  auto record = std::make_unique<CMappedObject>(&view);
  record->SetObject(lone, nullptr);
  EXPECT_EQ(lone->ref_count(), 1);
  record.reset();  // no leak under the sanitizers
}

TEST(RubberBandTest, AnchorsAreReusedAndResetKeepsThem) {
  FakeView view;
  view.zoom = 1;
  CRubberBand band(&view);
  EXPECT_EQ(band.Extent({0, 0}), (Rect{}));
  band.SetAnchorCount(3);
  EXPECT_EQ(band.capacity(), 3);
  band.anchors()[0] = {20, 40};
  band.anchors()[1] = {-20, 0};
  band.anchors()[2] = {100, 10};
  band.box_mode = true;
  band.label = "Route: 3 points";
  band.active = true;
  // Client pixels at zoom 1: cursor (5, 5), anchors (10, 20), (-10, 0), (50, 5).
  band.box_mode = false;
  EXPECT_EQ(band.Extent({10, 10}), (Rect{-10, 0, 51, 21}));
  band.box_mode = true;
  EXPECT_EQ(band.Extent({10, 10}), (Rect{0, 0, 10, 10}));

  band.Reset();
  EXPECT_EQ(band.anchor_count(), 0);
  EXPECT_EQ(band.label, "");
  EXPECT_FALSE(band.active);
  EXPECT_EQ(band.capacity(), 3);
  const Point* buffer = band.anchors().data();
  band.SetAnchorCount(2);
  EXPECT_FALSE(band.box_mode);
  EXPECT_EQ(band.anchors().data(), buffer);
  EXPECT_EQ(band.anchors()[0], (Point{20, 40}));  // kept, not zeroed
  band.SetAnchorCount(5);
  EXPECT_EQ(band.capacity(), 5);
  for (const Point& p : band.anchors()) EXPECT_EQ(p, (Point{0, 0}));
}

}  // namespace
