// GPS Demo in the started program: the track's demonstration file is written under a progress
// window over the main window; Cancel there, or a file that can't be written, leaves the old
// file, the GPS settings and the track as they were, and a failure is told over the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "core/ui/progress_template.h"
#include "corvex/command_ids.h"
#include "corvex/ui/tests/program_world.h"
#include "gps/gps_params.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "tests/message_box_watcher.h"

namespace {

constexpr char kWriting[] = "Writing the GPS demo file...";

// What the user saw of the progress window while the command ran.
struct Watch {
  bool window_seen = false;
  bool main_disabled_meanwhile = false;
  bool cancelled = false;
};

class GpsDemoInTheProgram : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(world.Start());
    temp = CAppCommon::Instance()->temp_folder;
    demo = temp + "/gps_demo.txt";
  }
  void TearDown() override { world.Stop(); }

  // Picks GPS Demo for the selected track; with cancel_at, the user presses Cancel in the
  // progress window once its bar (of 1000) has come that far.
  Watch PickGpsDemo(std::optional<int> cancel_at = std::nullopt) {
    Watch watch;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* window = dynamic_cast<vd::ui::DialogWindow*>(w);
        if (!window || !window->isVisible() ||
            window->ItemText(kProgressMessageControl) != kWriting ||
            !window->Control(kProgressBarControl)) {
          continue;
        }
        watch.window_seen = true;
        if (!world.frame().isEnabled()) watch.main_disabled_meanwhile = true;
        const int value = window->ControlAs<QProgressBar>(kProgressBarControl)->value();
        if (cancel_at && value >= *cancel_at && !watch.cancelled) {
          watch.cancelled = true;
          window->ControlAs<QPushButton>(vd::ui::kIdCancel)->click();
        }
      }
    });
    turn.start(0);
    world.track->Select(true);
    world.frame().RouteCommand(kCmdGpsDemo);
    turn.stop();
    return watch;
  }
  std::vector<std::string> TempFiles() {
    std::vector<vd::os::DirEntry> entries;
    vd::os::ListFolder(temp, entries);
    std::vector<std::string> names;
    for (const vd::os::DirEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string GpsPort() { return LoadGPSParams(vd::OpenAppProfile()).port; }

  vd::test::ProgramWorld world;
  std::string temp, demo;
};

// A track whose legs are a day apart writes a day of sentences for each (about 60 MB for
// twenty): the user sees the bar move and stops it.
TEST_F(GpsDemoInTheProgram, CancelLeavesTheOldFileTheSettingsAndTheTrack) {
  ASSERT_TRUE(vd::os::SaveFileAtomically(demo, "old demo"));
  const std::vector<std::string> files_before = TempFiles();
  const std::string port_before = GpsPort();
  CObjTrack& track = *world.track;
  const CTrackpoint first = track.points().front();
  track.mutable_points().clear();
  for (int day = 0; day <= 20; ++day) {
    track.AddPoint(first.position.lat + day * 1e-3, first.position.lon, 1'700'000'000 + day * 86400,
                   0.0f, 0, 0);
  }
  track.RecomputeTotals();

  const Watch watch = PickGpsDemo(100);
  EXPECT_TRUE(watch.window_seen);
  EXPECT_TRUE(watch.main_disabled_meanwhile);
  ASSERT_TRUE(watch.cancelled);
  vd::test::DrainEvents();
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(demo, text));
  EXPECT_EQ(text, "old demo");
  EXPECT_EQ(TempFiles(), files_before);  // no part-written file beside it
  EXPECT_EQ(GpsPort(), port_before);
  EXPECT_TRUE(track.visible);
  EXPECT_TRUE(world.frame().isEnabled());
  EXPECT_TRUE(world.answers.asked.empty());
}

TEST_F(GpsDemoInTheProgram, AWholeWriteStartsTheReplay) {
  const Watch watch = PickGpsDemo();
  EXPECT_TRUE(watch.window_seen);
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(demo, text));
  EXPECT_TRUE(text.starts_with("$GPRMC,")) << text.substr(0, 80);
  EXPECT_TRUE(text.ends_with("\r\n"));
  EXPECT_EQ(GpsPort(), demo);
  EXPECT_FALSE(world.track->visible);
}

// The user is told in a real message box over the main window; nothing else changes.
TEST_F(GpsDemoInTheProgram, AFileThatCannotBeWrittenIsTold) {
  ASSERT_TRUE(vd::os::MakeFolders(demo));  // a folder where the file must go
  const std::string port_before = GpsPort();
  vd::ui::ScopedResponder real_boxes(nullptr);
  vd::test::MessageBoxWatcher boxes;
  PickGpsDemo();
  vd::test::DrainEvents();
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, "Failed to write the GPS demo file " + demo);
  EXPECT_EQ(boxes.seen[0].owner, static_cast<QWidget*>(&world.frame()));
  EXPECT_EQ(GpsPort(), port_before);
  EXPECT_TRUE(world.track->visible);
  EXPECT_TRUE(vd::os::IsDirectory(demo));
}

}  // namespace
