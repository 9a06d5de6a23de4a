// The profile panes: the samples, units and scales of the elevation profile of a route and of
// the track series, the drawn curve with its marks, the mouse's tip and the mark shared through
// the object, the changes that rebuild or close a pane, the pane ids and the scale commands.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <cmath>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "gps/ui/altitude_profile_wnd.h"
#include "gps/ui/heartrate_profile_wnd.h"
#include "gps/ui/other_profile_wnd.h"
#include "gps/ui/profile_window.h"
#include "gps/ui/speed_profile_wnd.h"
#include "overlays/obj_current_position.h"
#include "overlays/tests/terrain_world.h"
#include "platform/os/files.h"

namespace {

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void MoveMouse(QWidget* pane, int x, int y) {
  QMouseEvent event(QEvent::MouseMove, QPointF(x, y), pane->mapToGlobal(QPointF(x, y)),
                    Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pane, &event);
}

vd::ui::ColourRef PixelAt(const QImage& image, vd::ui::Point p) {
  const QRgb c = image.pixel(p.x, p.y);
  return vd::ui::MakeColourRef(qRed(c), qGreen(c), qBlue(c));
}

constexpr int kWidth = 300;
constexpr int kHeight = 150;

class ProfilePaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDataPane::SetDisplayScale(1.0f);
    world.app.distance_units.value = CAppCommon::kKilometres;  // heights in metres
    COstrelObject::SetNotificationsEnabled(true);
    // Heights 110, 150, 190 m on one row of the rising terrain.
    a = world.Mark("Start", 1, 2);
    b = world.Mark("Middle", 5, 2);
    c = world.Mark("End", 9, 2);
    for (CObjWaypoint* mark : {a, b, c}) mark->label_mode = 0;
    route = world.Route({a, b, c});
    route->name = "Ridge";
  }
  void TearDown() override {
    world.app.CloseAllDataWindows();
    FlushDeletes();
  }
  template <class Pane>
  Pane* Sized(Pane* pane) {
    if (pane != nullptr) pane->SetClientSize(kWidth, kHeight);
    return pane;
  }
  CObjTrack* TrackWithValues() {
    CObjTrack* track = world.Track({{1, 2}, {3, 2}, {5, 2}});
    track->name = "Morning ride";
    const float altitudes[] = {100, 40, 70};
    const float speeds[] = {5, 10, 20};
    const int16_t hearts[] = {90, 120, 150};
    const int16_t others[] = {80, 84, 88};
    for (size_t i = 0; i < 3; ++i) {
      CTrackpoint& p = track->mutable_points()[i];
      p.altitude = altitudes[i];
      p.speed = speeds[i];
      p.heart_rate = hearts[i];
      p.other = others[i];
    }
    return track;
  }
  // The sample a mark stands at.
  int SampleOf(const CDataProfileWnd& pane, const CObjWaypoint* mark) {
    for (size_t i = 0; i < pane.samples().size(); ++i) {
      if (pane.samples()[i].mark == mark) return static_cast<int>(i);
    }
    return -1;
  }

  vd::test::TerrainWorld world;
  CObjWaypoint* a = nullptr;
  CObjWaypoint* b = nullptr;
  CObjWaypoint* c = nullptr;
  CObjRoute* route = nullptr;
};

TEST(ProfileAxis, TickIntervalsAreOneTwoOrFiveTimesAPowerOfTen) {
  struct Case {
    double x;
    int n;
    double b, interval;
  };
  const Case cases[] = {
      {10, 500, 70, 2},    // 1.4 units per 70 pixels
      {10, 100, 70, 10},   // 7 units
      {100, 500, 70, 20},  // 14
      {0.3, 300, 70, 0.1}, {3, 300, 70, 1},
      {0, 300, 70, 1},     // nothing to divide
      {5, 0, 70, 1},
  };
  for (const Case& t : cases) {
    EXPECT_NEAR(CDataProfileWnd::TickInterval(t.x, t.n, t.b), t.interval, 1e-12)
        << t.x << " over " << t.n;
  }
}

TEST(ProfileTip, ValuesAreWrittenToThreeFiguresBelowAThousand) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0"}, {1234.4, "1234"}, {1000.0, "1000"}, {152.37, "152"}, {3.14159, "3.14"},
      {-12.34, "-12.3"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(CDataProfileWnd::FormatValue(value), text);
}

TEST_F(ProfilePaneTest, ElevationProfileOfARouteFollowsTheTerrainWithItsMarks) {
  CProfileWindow* pane = Sized(CProfileWindow::Show(route));
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->windowTitle().toStdString(), "Ridge Elevation");
  EXPECT_EQ(pane->unit(), "m");
  // Labels on: the plot runs from 2 font heights + 5 to 2 pixels from the right edge.
  EXPECT_EQ(pane->plot(), (vd::ui::Rect{33, 8, kWidth - 2, kHeight - 14 - 2}));
  const auto& samples = pane->samples();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kWidth - 2 - 33 + 1));
  EXPECT_NEAR(samples.front().value, 110, 0.5);
  EXPECT_NEAR(samples.back().value, 190, 0.5);
  EXPECT_NEAR(samples[samples.size() / 2].value, 150, 2);
  EXPECT_EQ(samples.front().mark, a);
  EXPECT_EQ(samples.back().mark, c);
  const int middle = SampleOf(*pane, b);
  EXPECT_NEAR(middle, static_cast<int>(samples.size()) / 2, 2);
  EXPECT_NEAR(pane->total_length(), route->length, 1e-9);
  EXPECT_NEAR(pane->distance_per_sample() * samples.size(), route->length, 1e-9);

  // The automatic scale puts the lowest value on the baseline and the highest 5 pixels below
  // the top of the plot.
  EXPECT_EQ(pane->PointForIndex(0).y, pane->plot().bottom);
  const int last = static_cast<int>(samples.size()) - 1;
  EXPECT_NEAR(pane->PointForIndex(last).y, pane->plot().top + 5, 1);

  const QImage image = pane->grab().toImage();
  const vd::ui::Point mid = pane->PointForIndex(middle);
  EXPECT_EQ(PixelAt(image, {mid.x, (mid.y + pane->plot().bottom) / 2}),
            CProfileWindow::kMarkColour);
  const vd::ui::Point quarter = pane->PointForIndex(middle / 2);
  // Below the curve the fill (a dotted grid line may cross one of two rows).
  EXPECT_TRUE(PixelAt(image, {quarter.x, quarter.y + 4}) == CDataProfileWnd::kFillColour ||
              PixelAt(image, {quarter.x, quarter.y + 5}) == CDataProfileWnd::kFillColour);
  EXPECT_EQ(PixelAt(image, {quarter.x, pane->plot().top + 1}), CDataPane::kBackground);
}

TEST_F(ProfilePaneTest, ElevationIsZeroWithoutTerrainAndFollowsTheHeightUnit) {
  CProfileWindow* pane = Sized(CProfileWindow::Show(route));
  ASSERT_NE(pane, nullptr);
  world.app.distance_units.value = CAppCommon::kNauticalMiles;  // heights in feet
  world.app.BroadcastToDataWindows(route, kChangeModified);
  EXPECT_EQ(pane->unit(), "ft");
  EXPECT_NEAR(pane->samples().front().value, 110 * 3.2808, 1);

  world.app.file = nullptr;
  world.app.BroadcastToDataWindows(route, kChangeModified);
  for (int i = 0; i < static_cast<int>(pane->samples().size()); ++i) {
    ASSERT_EQ(pane->samples()[static_cast<size_t>(i)].value, 0.0f) << i;
    ASSERT_EQ(pane->PointForIndex(i).y, pane->plot().bottom) << i;  // flat on the baseline
  }
}

TEST_F(ProfilePaneTest, TrackSeriesInTheirUnits) {
  CObjTrack* track = TrackWithValues();
  track->other_label = "Cadence";
  track->other_scale = 0.5f;
  std::string distance_unit, speed_unit;
  const double speed_factor = world.app.GetSpeedUnit(distance_unit, speed_unit);
  struct Case {
    CDataProfileWnd* pane;
    const char* title;
    std::string unit;
    float first;
  };
  const Case cases[] = {
      {Sized(CAltitudeProfileWnd::Show(track)), "Morning ride Altitude", "m", 100},
      {Sized(CHeartrateProfileWnd::Show(track)), "Morning ride Heart Rate", "bpm", 90},
      {Sized(CSpeedProfileWnd::Show(track)), "Morning ride Speed", speed_unit,
       static_cast<float>(5 * speed_factor)},
      {Sized(COtherProfileWnd::Show(track)), "Morning ride Cadence", "", 40},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.title);
    ASSERT_NE(t.pane, nullptr);
    EXPECT_EQ(t.pane->windowTitle().toStdString(), t.title);
    EXPECT_EQ(t.pane->unit(), t.unit);
    ASSERT_FALSE(t.pane->samples().empty());
    EXPECT_FLOAT_EQ(t.pane->samples().front().value, t.first);
    EXPECT_NEAR(t.pane->total_length(), track->total_distance, 1e-12);
  }
  // A second Show finds the pane of its kind; the elevation pane is another one.
  EXPECT_EQ(CAltitudeProfileWnd::Show(track), cases[0].pane);
  EXPECT_NE(static_cast<CDataProfileWnd*>(CProfileWindow::Show(track)), cases[0].pane);

  track->other_label.clear();
  CObjTrack* plain = TrackWithValues();
  EXPECT_EQ(COtherProfileWnd::Show(plain), nullptr);
  EXPECT_EQ(CProfileWindow::Show(a), nullptr);  // a mark has no profile
}

TEST_F(ProfilePaneTest, TheMouseShowsTheSampleAndMarksItInEveryPaneOfTheObject) {
  CObjTrack* track = TrackWithValues();
  CAltitudeProfileWnd* altitude = Sized(CAltitudeProfileWnd::Show(track));
  CProfileWindow* elevation = Sized(CProfileWindow::Show(track));
  ASSERT_TRUE(altitude && elevation);

  const int index = 40;
  MoveMouse(altitude, altitude->plot().left + index, 60);
  const double along = index * altitude->distance_per_sample();
  EXPECT_EQ(altitude->popup_text(), "Distance " + world.app.FormatDistance(along) +
                                        "\nAltitude " +
                                        CDataProfileWnd::FormatValue(
                                            altitude->samples()[index].value) +
                                        " m");
  EXPECT_EQ(altitude->selected(), index);
  EXPECT_NEAR(track->view_target_distance(), along, 1e-5);
  EXPECT_EQ(track->view_target().lat, altitude->samples()[index].lat);
  EXPECT_EQ(elevation->selected(), index);  // the same sample through change code 6

  const QImage image = altitude->grab().toImage();
  EXPECT_EQ(PixelAt(image, altitude->PointForIndex(index)), CDataProfileWnd::kCursorColour);

  // Left of the plot: the first sample; beyond the right edge: the last.
  MoveMouse(altitude, 0, 60);
  EXPECT_EQ(altitude->selected(), 0);
  MoveMouse(altitude, kWidth + 50, 60);
  EXPECT_EQ(altitude->selected(), static_cast<int>(altitude->samples().size()) - 1);
  EXPECT_EQ(elevation->selected(), static_cast<int>(elevation->samples().size()) - 1);

  // Dragged above the pane: the tip hides and the mark goes from the views and panes.
  MoveMouse(altitude, 50, -3);
  EXPECT_EQ(altitude->popup_text(), "");
  EXPECT_EQ(altitude->selected(), -1);
  EXPECT_EQ(elevation->selected(), -1);
  EXPECT_EQ(track->view_target_distance(), -1.0f);
  EXPECT_EQ(track->view_target().lat, 0.0);
}

TEST_F(ProfilePaneTest, AFixMarksTheVesselOnTheRouteUnlessTheMouseHoldsTheMark) {
  auto* vessel = world.doc.Add(new CObjCurrentPosition);
  CProfileWindow* pane = Sized(CProfileWindow::Show(route));
  ASSERT_NE(pane, nullptr);
  const int middle = SampleOf(*pane, b);
  const CLatLon near_b = world.At(5, 2.05);
  vessel->position = {near_b.lat, near_b.lon};
  world.app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_EQ(pane->selected(), -1);  // no valid fix yet
  vessel->valid = 1;
  world.app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_NEAR(pane->selected(), middle, 1);

  MoveMouse(pane, pane->plot().left + 3, 60);
  const CLatLon near_c = world.At(9, 2);
  vessel->position = {near_c.lat, near_c.lon};
  world.app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_EQ(pane->selected(), 3);
}

TEST_F(ProfilePaneTest, ChangesRebuildTheSeriesAndDeletionClosesThePane) {
  CProfileWindow* pane = Sized(CProfileWindow::Show(route));
  ASSERT_NE(pane, nullptr);
  CObjWaypoint* d = world.Mark("Summit", 10, 2);  // 200 m
  route->LinkWaypoint(d);
  EXPECT_NEAR(pane->samples().back().value, 190, 0.5);  // not told yet
  world.app.BroadcastToDataWindows(route, kChangeModified);
  EXPECT_NEAR(pane->samples().back().value, 200, 0.5);
  EXPECT_EQ(pane->samples().back().mark, d);

  // A distance from a chart view beyond the end marks the last sample.
  route->SetViewTarget(0, 0, static_cast<float>(route->length * 2));
  EXPECT_EQ(pane->selected(), static_cast<int>(pane->samples().size()) - 1);

  const int id = pane->pane_id();
  QPointer<CProfileWindow> watched = pane;
  world.app.BroadcastToDataWindows(route, kChangeDeleted);
  FlushDeletes();
  EXPECT_TRUE(watched.isNull());
  EXPECT_EQ(CDataProfileWnd::AcquirePaneId(), id);  // the id went back to the pool
  CDataProfileWnd::ReleasePaneId(id);
}

TEST_F(ProfilePaneTest, PanesTakeTheLowestFreeIdFromTheirPool) {
  CObjTrack* track = TrackWithValues();
  CDataProfileWnd* first = CProfileWindow::Show(route);
  CDataProfileWnd* second = CAltitudeProfileWnd::Show(track);
  CDataProfileWnd* third = CSpeedProfileWnd::Show(track);
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(first->pane_id(), CDataProfileWnd::kFirstPaneId);
  EXPECT_EQ(second->pane_id(), CDataProfileWnd::kFirstPaneId + 1);
  EXPECT_EQ(third->pane_id(), CDataProfileWnd::kFirstPaneId + 2);
  second->DestroyWindow();
  FlushDeletes();
  EXPECT_EQ(CHeartrateProfileWnd::Show(track)->pane_id(), CDataProfileWnd::kFirstPaneId + 1);
  CDataProfileWnd::ReleasePaneId(9999);  // outside the pool: ignored
  CDataProfileWnd::ReleasePaneId(CDataProfileWnd::kFirstPaneId - 1);
  EXPECT_EQ(CHeartrateProfileWnd::Show(TrackWithValues())->pane_id(),
            CDataProfileWnd::kFirstPaneId + 3);
}

TEST_F(ProfilePaneTest, LabelsAndTheFrozenScaleAreCommands) {
  CProfileWindow* pane = Sized(CProfileWindow::Show(route));
  ASSERT_NE(pane, nullptr);
  ASSERT_TRUE(pane->OnCommand(CDataProfileWnd::kLabelsCommand));
  EXPECT_FALSE(pane->axis_labels());
  EXPECT_EQ(pane->plot(), (vd::ui::Rect{2, 8, kWidth - 2, kHeight - 1}));
  EXPECT_EQ(pane->samples().size(), static_cast<size_t>(kWidth - 2 - 2 + 1));

  const double automatic = pane->vertical_scale();
  ASSERT_TRUE(pane->OnCommand(CDataProfileWnd::kAutoScaleCommand));
  EXPECT_FALSE(pane->auto_scale());
  CDataProfileWnd::scale_info_t stored{};
  vd::LoadProfileBinary("profile_wnd_scale", &stored, sizeof stored);
  EXPECT_GT(stored.fixed, 0);
  EXPECT_GT(stored.step, 0);
  EXPECT_NEAR(pane->vertical_scale(), automatic, automatic * 0.1);

  // Frozen, the scale stays when the values double their range.
  CObjWaypoint* low = world.Mark("Valley", 0, 2);  // 100 m
  route->LinkWaypoint(low);
  world.app.BroadcastToDataWindows(route, kChangeModified);
  EXPECT_DOUBLE_EQ(pane->vertical_scale(), static_cast<double>(stored.fixed) / stored.step);

  ASSERT_TRUE(pane->OnCommand(CDataProfileWnd::kAutoScaleCommand));
  EXPECT_TRUE(pane->auto_scale());
  EXPECT_NEAR(pane->vertical_scale(),
              (pane->plot().bottom - pane->plot().top - 5) / (pane->maximum() - pane->minimum()),
              1e-6);
}

TEST_F(ProfilePaneTest, RouteCardProfileCoversPartOfTheRouteAndIsSavedAsAPicture) {
  CProfileWindow card(route, 1, 2);
  card.SetClientSize(1000, 200);
  ASSERT_FALSE(card.samples().empty());
  EXPECT_NEAR(card.samples().front().value, 150, 0.5);
  EXPECT_NEAR(card.samples().back().value, 190, 0.5);
  EXPECT_EQ(card.samples().front().mark, b);
  EXPECT_NEAR(card.total_length(), route->DistanceBetween(1, 2), 1e-12);
  EXPECT_NE(CProfileWindow::Show(route), &card);  // never reused

  const std::string path = world.dir.path() + "/routeprofile.bmp";
  ASSERT_TRUE(card.SaveAsBitmap(path));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  EXPECT_EQ(bytes.size(), 54u + 1000u * 200u * 4u);
}

}  // namespace
