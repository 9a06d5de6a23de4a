// Tracks on screen: the prepared record (simplified line, time ticks), the drawn line on an
// in-memory image and the hit test over the track's own points.
#include <gtest/gtest.h>

#include <memory>

#include "charts/old_quick_chart.h"
#include "core/persistent_value.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_track.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

constexpr vd::ui::Argb kBackground = 0xFF808080;

class IdentityView : public CMappedView {
 public:
  vd::ui::Point ChartToClient(vd::ui::Point c) const override { return c; }
  float ScaleFactor() const override { return 1.0f; }
  void SetPositionMarker(double, double) override {}
};

class TrackDrawTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    vd::test::ChartFixture fixture;  // pixel (0, 0) at 50N 5W, 1/3600 degree per pixel
    ASSERT_TRUE(vd::test::WriteChartFixture(dir.File("chart.qct"), fixture));
    chart = OpenOldQuickChart(dir.File("chart.qct"), false);
    ASSERT_NE(chart, nullptr);
    track = new CObjTrack;
    track->AddRef();
    record = std::make_unique<CMappedObject>(&view);
    record->SetObject(track, chart.get());
  }
  void TearDown() override {
    record.reset();
    track->Release();
  }

  // Adds a point at the chart pixel.
  void AddAt(double x, double y, int32_t time = 0) {
    track->AddPoint(50.0 - y / 3600.0, -5.0 + x / 3600.0, time, 0, 0, 0);
  }
  void Prepare() { track->PrepareView(*record, chart.get(), band); }
  vd::ui::Image DrawImage() {
    vd::ui::Image image(200, 200, kBackground);
    vd::ui::Surface surface(image);
    vd::ui::Graphics graphics(surface);
    track->Draw(surface, graphics, *record, false);
    return image;
  }

  vd::test::TempDir dir;
  std::unique_ptr<COldQuickChart> chart;
  IdentityView view;
  CRubberBand band{&view};
  CObjTrack* track = nullptr;
  std::unique_ptr<CMappedObject> record;
};

TEST_F(TrackDrawTest, DrawsLineWithOutline) {
  track->tick_interval = 0;
  AddAt(20.5, 100.5);
  AddAt(180.5, 100.5);
  Prepare();
  ASSERT_EQ(record->point_count(), 2);
  EXPECT_EQ(record->kind, CMappedObject::kPolyline);
  const vd::ui::Image image = DrawImage();
  // Thickness 1: a 2-pixel red line inside a 4-pixel white outline.
  EXPECT_EQ(image.Pixel(100, 100), 0xFFFF0000u);
  bool outline = false;
  for (int y = 96; y <= 104; ++y) outline |= image.Pixel(100, y) == 0xFFFFFFFFu;
  EXPECT_TRUE(outline);
  EXPECT_EQ(image.Pixel(100, 90), kBackground);
  EXPECT_EQ(image.Pixel(10, 100), kBackground);
}

TEST_F(TrackDrawTest, ScreenLineIsSimplifiedBeyondTheTolerance) {
  track->tick_interval = 0;
  // 161 points along one row with a wobble of one pixel every other point: within the
  // tolerance, so only the ends remain.
  for (int x = 20; x <= 180; ++x) AddAt(x + 0.5, 100.5 + (x % 2 ? 0.9 : 0.0));
  Prepare();
  EXPECT_LT(record->point_count(), 10);
  const vd::ui::Image image = DrawImage();
  EXPECT_EQ(image.Pixel(100, 100), 0xFFFF0000u);

  // A zigzag of 10 pixels is kept point for point.
  track->mutable_points().clear();
  for (int i = 0; i <= 16; ++i) AddAt(20.5 + 10 * i, 100.5 + (i % 2 ? 10 : 0));
  Prepare();
  EXPECT_EQ(record->point_count(), 17);
}

TEST_F(TrackDrawTest, TimeTicksFollowTheOwnPointsAndAreNotHit) {
  track->tick_interval = 300;
  AddAt(20.5, 100.5, 1000);
  AddAt(180.5, 100.5, 2200);
  Prepare();
  // Ticks at 1200, 1500, 1800 and 2100 s: four pairs after the two points.
  ASSERT_EQ(record->point_count(), 2 + 8);
  const auto points = record->chart_points();
  EXPECT_NEAR(points[2].x, 20 + 160 * 200 / 1200, 1);
  EXPECT_EQ(points[2].y, 100);
  EXPECT_GT(points[3].x, 180);  // the direction point lies beyond the leg's end
  EXPECT_TRUE(track->HitTest({100, 101}, *record, 0));
  EXPECT_FALSE(track->HitTest({points[3].x, 100}, *record, 0));
  EXPECT_EQ(record->point_count(), 10);  // put back after the test

  const vd::ui::Image image = DrawImage();
  // An arrowhead at the first tick reaches 5 pixels behind it, above and below the line.
  const int u = points[2].x;
  EXPECT_EQ(image.Pixel(u - 4, 96), 0xFFFF0000u);
  EXPECT_EQ(image.Pixel(u - 4, 104), 0xFFFF0000u);
}

TEST_F(TrackDrawTest, TranslucentTrackDrawsBlendedWithoutOutline) {
  track->tick_interval = 0;
  track->transparency = 2;  // alpha 128
  AddAt(20.5, 100.5);
  AddAt(180.5, 100.5);
  Prepare();
  const vd::ui::Image image = DrawImage();
  const vd::ui::Argb centre = image.Pixel(100, 100);
  EXPECT_NEAR(vd::ui::ArgbRed(centre), (255 + 128) / 2, 3);
  EXPECT_NEAR(vd::ui::ArgbGreen(centre), 128 / 2, 3);
  for (int y = 96; y <= 104; ++y) EXPECT_NE(image.Pixel(100, y), 0xFFFFFFFFu) << y;
}

}  // namespace
