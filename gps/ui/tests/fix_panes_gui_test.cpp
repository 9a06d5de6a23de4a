// The position and satellite panes: the position text for a known fix and its line choice,
// the status shown without a fix, the satellite bars and the fix summary, and the change codes
// that refresh, skip or close them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "gps/ui/position_data.h"
#include "gps/ui/satellite_data.h"
#include "overlays/obj_current_position.h"
#include "overlays/tests/overlay_test_objects.h"
#include "tests/temp_dir.h"

namespace {

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class FixPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.document = &doc;
    app.show_altitude.value = 1;
    COstrelObject::SetNotificationsEnabled(true);
    vessel = doc.Add(new CObjCurrentPosition);
    vessel->name = "Own ship";
  }
  void TearDown() override {
    app.CloseAllDataWindows();
    FlushDeletes();
  }
  void ValidFix() {
    vessel->valid = 1;
    vessel->position = {50.5, -1.25};
    vessel->time = 1'700'000'000;
    vessel->speed = 4.5f;
    vessel->course = 90.0f;
    vessel->altitude = 12.0f;
    vessel->trail_speed = 4.0f;
    vessel->trail_course = 80.0f;
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  vd::test::FakeDoc doc;
  CCurrentOwnerScope owner{&doc};
  CObjCurrentPosition* vessel = nullptr;
};

TEST_F(FixPaneTest, PositionTextListsTheChosenLinesInOrder) {
  ValidFix();
  CPositionData* pane = CPositionData::Show(vessel);
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->windowTitle().toStdString(), "Own ship");
  std::string position;
  app.FormatPosition(50.5, -1.25, position);
  const std::vector<std::string> all = {
      app.FormatTime(vessel->time, true),
      app.FormatSpeed(4.5) + " " + app.FormatBearing(90.0),
      "Avg: " + app.FormatSpeed(4.0) + " " + app.FormatBearing(80.0),
      "Alt: " + app.FormatDepth(12.0),
      position,
  };
  EXPECT_EQ(pane->lines(), all);

  // Each command takes its line out; with all five gone a valid fix shows nothing.
  const int commands[] = {32960, 32963, 32962, 32964, 32961};
  std::vector<std::string> expected = all;
  for (int command : commands) {
    ASSERT_TRUE(pane->OnCommand(command));
    expected.erase(expected.begin());
    EXPECT_EQ(pane->lines(), expected) << command;
  }
  pane->DestroyWindow();
  FlushDeletes();
  uint8_t stored[5] = {9, 9, 9, 9, 9};
  vd::LoadProfileBinary(CPositionData::kFlagsKey, stored, sizeof stored);
  EXPECT_EQ(std::vector<uint8_t>(stored, stored + 5), std::vector<uint8_t>(5, 0));
}

TEST_F(FixPaneTest, WithoutAFixThePaneShowsTheStatusAndSkipsSatelliteOnlyChanges) {
  static const char kStatus[] = "No Signal";
  CPositionData* pane = CPositionData::Show(vessel);
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->lines(), std::vector<std::string>{CPositionData::kWaitText});
  vessel->status = kStatus;
  app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_EQ(pane->lines(), std::vector<std::string>{kStatus});

  ValidFix();
  vessel->satellite_update = 1;
  app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_EQ(pane->lines(), std::vector<std::string>{kStatus});  // not rebuilt
  vessel->satellite_update = 0;
  app.BroadcastToDataWindows(vessel, kChangeMoved);  // code 5 is ignored
  EXPECT_EQ(pane->lines(), std::vector<std::string>{kStatus});
  app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_EQ(pane->lines().size(), 5u);
}

TEST_F(FixPaneTest, OnePaneOfEachKindWhichClosesWithItsObject) {
  CPositionData* position = CPositionData::Show(vessel);
  CSatelliteData* satellites = CSatelliteData::Show(vessel);
  ASSERT_TRUE(position && satellites);
  EXPECT_EQ(satellites->windowTitle().toStdString(), "Satellites");
  EXPECT_EQ(CPositionData::Show(vessel), position);
  EXPECT_EQ(CSatelliteData::Show(vessel), satellites);

  auto* other = doc.Add(new CObjCurrentPosition);
  ValidFix();
  EXPECT_EQ(CPositionData::Show(other), position);  // rebound
  EXPECT_EQ(position->object(), other);
  EXPECT_EQ(position->lines(), std::vector<std::string>{CPositionData::kWaitText});

  QPointer<CPositionData> watched_position = position;
  QPointer<CSatelliteData> watched_satellites = satellites;
  app.BroadcastToDataWindows(vessel, kChangeDeleted);  // the satellite pane's object
  app.BroadcastToDataWindows(other, kChangeDeleted);
  FlushDeletes();
  EXPECT_TRUE(watched_position.isNull());
  EXPECT_TRUE(watched_satellites.isNull());
  EXPECT_TRUE(app.data_windows().empty());
}

// A fix without a satellite table repaints the satellite pane when it changes the bottom
// line (GGA alone tells the quality), and leaves it alone when the line stays as shown.
TEST_F(FixPaneTest, SatellitePaneRepaintsWhenTheFixSummaryChanges) {
  struct PaintCounter : QObject {
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
      paints += event->type() == QEvent::Paint;
      return false;
    }
    int paints = 0;
  } counter;
  auto settle = [] {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  };
  CSatelliteData* pane = CSatelliteData::Show(vessel);
  ASSERT_NE(pane, nullptr);
  pane->resize(238, 120);
  pane->installEventFilter(&counter);
  settle();
  const int first = counter.paints;
  ASSERT_GT(first, 0);  // shown once, with an empty bottom line

  vessel->fix_quality = 1;
  vessel->satellites_used = 8;
  vessel->precision = 0.9f;
  app.BroadcastToDataWindows(vessel, kChangeModified);
  settle();
  EXPECT_GT(counter.paints, first);
  const int second = counter.paints;
  app.BroadcastToDataWindows(vessel, kChangeModified);
  settle();
  EXPECT_EQ(counter.paints, second);
}

TEST(SatelliteSummary, NamesTheQualityOrSaysNothing) {
  struct Case {
    int quality;
    const char* text;
  };
  const Case cases[] = {
      {0, "No fix..."},
      {1, "Standard fix using 7 satellites. HDoP 1.2m"},
      {5, "Float RTK fix using 7 satellites. HDoP 1.2m"},
      {8, "Simulated fix using 7 satellites. HDoP 1.2m"},
      {9, ""},
      {-1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CSatelliteData::FixSummary(c.quality, 7, 1.24f), c.text);
}

TEST_F(FixPaneTest, SatelliteBarsShowSignalAndUseAndClearTheUpdateMark) {
  vessel->satellites[0] = {12, 40, 100, 50, 1};  // used, half height
  vessel->satellites[1] = {7, 40, 100, 0, 0};    // no signal: no bar, but a label
  vessel->satellites[2] = {25, 40, 100, 250, 0}; // beyond 100: a full bar, no more
  vessel->fix_quality = 1;
  CSatelliteData* pane = CSatelliteData::Show(vessel);
  ASSERT_NE(pane, nullptr);
  pane->resize(238, 120);  // bars 10 wide; font 11
  ASSERT_EQ(CSatelliteData::BarWidth(238), 10);
  const int baseline = CSatelliteData::Baseline(120, pane->font_height());
  const QImage image = pane->grab().toImage();
  auto colour = [&](int x, int y) { return QColor(image.pixel(x, y)); };
  const QColor green(0, 200, 0), grey(128, 128, 128), background(255, 255, 220);

  // Slot 0 at x 4..13: green up to half the height.
  EXPECT_EQ(colour(8, baseline - 1), green);
  EXPECT_EQ(colour(8, baseline - baseline / 2 + 1), green);
  EXPECT_EQ(colour(8, baseline - baseline / 2 - 2), background);
  // Slot 1 at x 24..33: no bar; its PRN below the baseline.
  EXPECT_EQ(colour(28, baseline - 2), background);
  bool label = false;
  for (int y = baseline + 1; y < baseline + 1 + pane->font_height(); ++y) {
    for (int x = 24; x < 44; ++x) label |= colour(x, y).lightness() < 100;
  }
  EXPECT_TRUE(label);
  // Slot 2 at x 44..53: grey to the top, not above it.
  EXPECT_EQ(colour(48, 1), grey);
  EXPECT_EQ(colour(0, baseline / 2), QColor(Qt::black));  // the axes
  EXPECT_EQ(colour(150, baseline), QColor(Qt::black));

  vessel->satellite_update = 1;
  app.BroadcastToDataWindows(vessel, kChangeModified);
  EXPECT_EQ(vessel->satellite_update, 0);
}

}  // namespace
