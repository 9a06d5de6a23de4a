// The simulator as a GPS input: the fixes its timer delivers, steering by buttons, spin and
// keys, a typed position, and closing, which stops GPS input only after the close is handled.
#include "corvex/ui/dlg_simulator.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <memory>
#include <vector>

#include "core/persistent_value.h"
#include "corvex/ui/spin_buttons.h"
#include "gps/gps_notice.h"
#include "overlays/lat_lon.h"
#include "platform/ui/dialog_window.h"
#include "tests/temp_dir.h"

namespace {

using S = CDlgSimulator;

class SimulatorTest : public ::testing::Test {
 public:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir_.path()); }

  std::unique_ptr<CDlgSimulator> Make(std::optional<GeoPoint> start, float course, float speed) {
    record_.course = course;
    record_.speed = speed;
    return std::make_unique<CDlgSimulator>(record_, frame_, start, [this] { ++stops_; }, nullptr);
  }
  void Tick(CDlgSimulator& sim) {
    sim.OnTimer(S::kTimerId);
    frame_.DispatchPending();
  }
  void Key(CDlgSimulator& sim, int target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(sim.GetItem(target), &press);
  }
  void Click(CDlgSimulator& sim, int id) {
    qobject_cast<QPushButton*>(sim.GetItem(id))->click();
  }
  // Serves the event loop until the condition holds or a generous deadline passes.
  template <class Condition>
  bool ServeUntil(Condition done) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(50);
    while (!done() && clock.elapsed() < 60000) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      frame_.DispatchPending();
    }
    return done();
  }

  vd::test::TempDir dir_;
  GPS_position_info record_;
  std::vector<GPS_position_info> fixes_;
  vd::os::MessageWindow frame_{[this](const vd::os::Message& m) -> intptr_t {
    if (m.msg == vd::os::kUserMessage && m.wparam == kGpsNoticeFix)
      if (const GPS_position_info* fix = GpsNoticeRecord(m)) fixes_.push_back(*fix);
    return 1;
  }};
  int stops_ = 0;
};

TEST_F(SimulatorTest, EachTickMovesTheVesselAndPostsASimulatedFix) {
  const struct {
    double drift, set;
  } currents[] = {{0.0, 0.0}, {2.0, 0.0}};
  for (const auto& current : currents) {
    fixes_.clear();
    auto sim = Make(GeoPoint{50.0, -1.0}, 90.0f, 10.0f);
    EXPECT_EQ(record_.valid, 0);
    sim->SetItemText(S::kDriftEdit, std::to_string(current.drift));
    sim->SetItemText(S::kSetEdit, std::to_string(current.set));
    Tick(*sim);
    ASSERT_EQ(fixes_.size(), 1u);
    const GPS_position_info fix = fixes_.back();
    EXPECT_EQ(fix.valid, 1);
    EXPECT_EQ(fix.simulated, 1);
    EXPECT_STREQ(fix.status, "Simulator");
    EXPECT_NE(fix.time, 0);
    EXPECT_FLOAT_EQ(fix.heading, 90.0f);
    EXPECT_FLOAT_EQ(fix.water_speed, 10.0f);
    const double moved = CLatLon(50.0, -1.0).DistanceTo(CLatLon(fix.position.lat, fix.position.lon));
    if (current.drift == 0.0) {
      EXPECT_NEAR(moved, 10.0 / 1800.0, 1e-6);
      EXPECT_NEAR(fix.speed, 10.0, 1e-3);
      EXPECT_NEAR(fix.course, 90.0, 1e-3);
    } else {
      // A current setting north at 2 knots: over the ground faster and left of the heading.
      EXPECT_NEAR(fix.speed, std::hypot(10.0, 2.0), 1e-3);
      EXPECT_NEAR(fix.course, std::atan2(10.0, 2.0) * 180.0 / M_PI, 1e-3);
    }
    EXPECT_GT(fix.position.lon, -1.0);
    // The position shown follows the vessel; the next tick starts from there.
    Tick(*sim);
    ASSERT_EQ(fixes_.size(), 2u);
    EXPECT_GT(fixes_[1].position.lon, fix.position.lon);
  }
}

TEST_F(SimulatorTest, NoFixWithoutAPositionOrWhileOneIsBeingTyped) {
  auto sim = Make(std::nullopt, 0.0f, 5.0f);
  Tick(*sim);
  EXPECT_TRUE(fixes_.empty());
  // A typed position is taken as soon as it reads; text that does not read changes nothing.
  sim->SetItemText(S::kPositionEdit, "45 -5");
  EXPECT_DOUBLE_EQ(record_.position.lat, 45.0);
  EXPECT_DOUBLE_EQ(record_.position.lon, -5.0);
  sim->SetItemText(S::kPositionEdit, "somewhere");
  EXPECT_DOUBLE_EQ(record_.position.lat, 45.0);

  sim->widget()->activateWindow();
  sim->GetItem(S::kPositionEdit)->setFocus();
  ASSERT_TRUE(ServeUntil([&] { return sim->GetItem(S::kPositionEdit)->hasFocus(); }));
  Tick(*sim);
  EXPECT_TRUE(fixes_.empty());
  sim->GetItem(S::kCourseEdit)->setFocus();
  Tick(*sim);
  ASSERT_EQ(fixes_.size(), 1u);
  EXPECT_GT(fixes_[0].position.lat, 45.0);
}

TEST_F(SimulatorTest, TheTimerDeliversFixesByItself) {
  auto sim = Make(GeoPoint{10.0, 20.0}, 180.0f, 6.0f);
  ASSERT_TRUE(ServeUntil([this] { return !fixes_.empty(); }));
  EXPECT_LT(fixes_[0].position.lat, 10.0);
}

TEST_F(SimulatorTest, ButtonsSpinAndArrowKeysSteerWithinTheirRanges) {
  struct Case {
    const char* what;
    double course, speed;
    std::function<void(SimulatorTest&, CDlgSimulator&)> act;
    double new_course, new_speed;
  };
  const Case cases[] = {
      {">> past north", 355, 1, [](auto& t, auto& s) { t.Click(s, S::kCourseMore10); }, 5, 1},
      {"<< past north", 3, 1, [](auto& t, auto& s) { t.Click(s, S::kCourseLess10); }, 353, 1},
      {"<", 0, 1, [](auto& t, auto& s) { t.Click(s, S::kCourseLess1); }, 359, 1},
      {">", 359, 1, [](auto& t, auto& s) { t.Click(s, S::kCourseMore1); }, 0, 1},
      {"spin up", 0, 1,
       [](auto&, auto& s) { s.dialog_window()->template ControlAs<CSpinButtons>(S::kSpeedSpin)->stepBy(1); },
       0, 1.2},
      {"spin down to 0", 0, 0.1,
       [](auto&, auto& s) { s.dialog_window()->template ControlAs<CSpinButtons>(S::kSpeedSpin)->stepBy(-1); },
       0, 0},
      {"Down key", 0, 0.1, [](auto& t, auto& s) { t.Key(s, S::kCourseMore1, Qt::Key_Down); }, 0, 0},
      {"Up key", 0, 2, [](auto& t, auto& s) { t.Key(s, S::kCourseMore1, Qt::Key_Up); }, 0, 2.2},
      {"Left key", 0, 2, [](auto& t, auto& s) { t.Key(s, vd::ui::kIdHelp, Qt::Key_Left); }, 359, 2},
      {"Right key", 10, 2, [](auto& t, auto& s) { t.Key(s, vd::ui::kIdCancel, Qt::Key_Right); }, 11, 2},
      {"keys in an edit are the edit's", 10, 2,
       [](auto& t, auto& s) {
         s.GetItem(S::kSpeedEdit)->setFocus();
         t.Key(s, S::kSpeedEdit, Qt::Key_Up);
       },
       10, 2},
  };
  for (const Case& c : cases) {
    auto sim = Make(GeoPoint{1.0, 1.0}, static_cast<float>(c.course), static_cast<float>(c.speed));
    c.act(*this, *sim);
    EXPECT_NEAR(sim->course(), c.new_course, 1e-9) << c.what;
    EXPECT_NEAR(sim->speed(), c.new_speed, 1e-6) << c.what;
    EXPECT_NEAR(std::atof(sim->GetItemText(S::kCourseEdit).c_str()), c.new_course, 1e-9) << c.what;
    EXPECT_NEAR(std::atof(sim->GetItemText(S::kSpeedEdit).c_str()), c.new_speed, 1e-6) << c.what;
  }
  EXPECT_EQ(stops_, 0);
}

TEST_F(SimulatorTest, TypedNumbersReadAsAtofWithinTheVesselsRanges) {
  const struct {
    const char* course;
    const char* speed;
    double heading, water_speed;
  } cases[] = {
      {"", "abc", 0, 0}, {"370", "-4", 10, 0}, {"-90", "7.5kn", 270, 7.5}, {"nan", "inf", 0, 0}};
  for (const auto& c : cases) {
    fixes_.clear();
    auto sim = Make(GeoPoint{1.0, 1.0}, 0.0f, 0.0f);
    sim->SetItemText(S::kCourseEdit, c.course);
    sim->SetItemText(S::kSpeedEdit, c.speed);
    Tick(*sim);
    ASSERT_EQ(fixes_.size(), 1u) << c.course;
    EXPECT_FLOAT_EQ(fixes_[0].heading, static_cast<float>(c.heading)) << c.course;
    EXPECT_FLOAT_EQ(fixes_[0].water_speed, static_cast<float>(c.water_speed)) << c.speed;
    // Only the position is written back by a tick: what the user typed stays.
    EXPECT_EQ(sim->GetItemText(S::kSpeedEdit), c.speed);
  }
}

TEST_F(SimulatorTest, EnterNeitherClosesNorPresses) {
  auto sim = Make(GeoPoint{1.0, 1.0}, 40.0f, 3.0f);
  for (int target : {S::kCourseEdit, S::kCourseMore1, vd::ui::kIdCancel}) {
    Key(*sim, target, Qt::Key_Return);
    QCoreApplication::processEvents();
  }
  EXPECT_NE(sim->handle(), nullptr);
  EXPECT_DOUBLE_EQ(sim->course(), 40.0);
  EXPECT_EQ(stops_, 0);
}

TEST_F(SimulatorTest, ClosingStopsGpsOnlyOnceTheCloseIsHandled) {
  for (const char* how : {"close button", "escape"}) {
    stops_ = 0;
    auto sim = Make(GeoPoint{1.0, 1.0}, 0.0f, 1.0f);
    if (std::string(how) == "escape") {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QCoreApplication::sendEvent(sim->widget(), &escape);
    } else {
      Click(*sim, vd::ui::kIdCancel);
    }
    EXPECT_EQ(stops_, 0) << how;  // not from inside the dialog's own handler
    EXPECT_EQ(sim->handle(), nullptr) << how;
    ASSERT_TRUE(ServeUntil([this] { return stops_ == 1; })) << how;
    sim.reset();  // what the frame's stop does; the window is already gone
  }
  // A stop still queued when the simulator is deleted some other way asks nothing.
  stops_ = 0;
  auto sim = Make(GeoPoint{1.0, 1.0}, 0.0f, 1.0f);
  Click(*sim, vd::ui::kIdCancel);
  sim.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(stops_, 0);
}

TEST_F(SimulatorTest, OffersNoTransfers) {
  auto sim = Make(GeoPoint{1.0, 1.0}, 0.0f, 1.0f);
  CGPSInterface& gps = *sim;
  GpsObjectList objects;
  for (int kind : {CGPSInterface::kWaypoints, CGPSInterface::kRoutes, CGPSInterface::kTracks}) {
    EXPECT_FALSE(gps.CanTransfer(CGPSInterface::kFromDevice, kind));
    EXPECT_FALSE(gps.CanTransfer(CGPSInterface::kToDevice, kind));
  }
  EXPECT_EQ(gps.Import(CGPSInterface::kTracks, objects), 0);
  EXPECT_EQ(gps.message, "No GPS imports supported");
}

}  // namespace
