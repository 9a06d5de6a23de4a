// Large imports in the started program: the file is read under a progress window over the main
// window while the event loop keeps turning, and Cancel in that window leaves the document as
// it was, without a word.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ui/progress_template.h"
#include "corvex/command_ids.h"
#include "corvex/ui/tests/program_world.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"

namespace {

constexpr int kTrackPoints = 120'000;
constexpr int kMarks = 60'000;

// The Import dialog answered with one path.
struct ImportAnswer : vd::test::ScriptedAnswers {
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest&) override { return path; }
  std::optional<std::string> path;
};

// The progress window saying text, when one shows.
vd::ui::DialogWindow* ProgressWindowSaying(const std::string& text) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(w);
    if (dialog && dialog->isVisible() && dialog->ItemText(kProgressMessageControl) == text &&
        dialog->Control(kProgressBarControl)) {
      return dialog;
    }
  }
  return nullptr;
}

// What the user saw while a command ran: the turns of the event loop, whether the progress
// window showed with the main window disabled, and how far its bar went (of 1000).
struct Watch {
  int turns = 0;
  bool window_seen = false;
  bool main_disabled_meanwhile = false;
  int furthest = -1;
  bool cancelled = false;
};

class ImportInTheProgram : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void TearDown() override { world.Stop(); }

  // Chooses path in the Import dialog and watches the import, whose progress window says text;
  // with cancel_at, the user presses Cancel there once its bar has reached that far.
  Watch Import(const std::string& path, const std::string& text,
               std::optional<int> cancel_at = std::nullopt) {
    Watch watch;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] {
      ++watch.turns;
      vd::ui::DialogWindow* window = ProgressWindowSaying(text);
      if (!window) return;
      watch.window_seen = true;
      if (!world.frame().isEnabled()) watch.main_disabled_meanwhile = true;
      const int value = window->ControlAs<QProgressBar>(kProgressBarControl)->value();
      watch.furthest = std::max(watch.furthest, value);
      if (cancel_at && value >= *cancel_at && !watch.cancelled) {
        watch.cancelled = true;
        window->ControlAs<QPushButton>(vd::ui::kIdCancel)->click();
      }
    });
    turn.start(0);
    answer.path = path;
    world.frame().RouteCommand(kCmdImport);
    turn.stop();
    return watch;
  }

  std::vector<COstrelObject*> Objects() {
    const ObjectList& list = *world.doc().GetObjectList();
    return {list.begin(), list.end()};
  }

  vd::test::ProgramWorld world;
  ImportAnswer answer;
  vd::ui::ScopedResponder responder{&answer};
};

// One track of kTrackPoints points in two segments and kMarks marks, as another program writes
// them.
std::string WriteLargeGpx(const std::string& path, const std::string& track_name) {
  std::string gpx =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  char line[200];
  for (int i = 0; i < kMarks; ++i) {
    std::snprintf(line, sizeof line,
                  "<wpt lat=\"%.6f\" lon=\"%.6f\"><name>M%d</name><sym>Flag</sym></wpt>\n",
                  50.0 + (i % 300) * 1e-3, -4.0 + (i / 300) * 1e-3, i);
    gpx += line;
  }
  gpx += "<trk><name>" + track_name + "</name><trkseg>\n";
  for (int i = 0; i < kTrackPoints; ++i) {
    if (i == kTrackPoints / 2) gpx += "</trkseg><trkseg>\n";
    std::snprintf(line, sizeof line,
                  "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%d</ele>"
                  "<time>2024-05-01T%02d:%02d:%02dZ</time></trkpt>\n",
                  50.0 + i * 1e-6, -4.0 + i * 1e-6, i % 300, i / 3600 % 24, i / 60 % 60, i % 60);
    gpx += line;
  }
  gpx += "</trkseg></trk></gpx>\n";
  EXPECT_TRUE(vd::os::SaveFileAtomically(path, gpx));
  return path;
}

TEST_F(ImportInTheProgram, AGpxImportKeepsTheWindowAnsweringAndCancelLeavesTheDocument) {
  // A small import undone: Redo would bring its mark back.
  const std::string small = world.home.File("anchorage.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      small, "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\">"
             "<wpt lat=\"50.1\" lon=\"-4.1\"><name>Anchorage</name></wpt></gpx>\n"));
  const std::vector<COstrelObject*> before = Objects();
  Import(small, "Importing anchorage.gpx...");
  ASSERT_EQ(Objects().size(), before.size() + 1);
  ASSERT_TRUE(world.frame().RouteUpdate(kCmdUndo).enabled);
  world.frame().RouteCommand(kCmdUndo);
  ASSERT_EQ(Objects(), before);
  ASSERT_TRUE(world.frame().RouteUpdate(kCmdRedo).enabled);

  // Cancelled while the objects are being made (the last third of the bar).
  const std::string cancelled = WriteLargeGpx(world.home.File("passage.gpx"), "Passage out");
  const Watch stopped = Import(cancelled, "Importing passage.gpx...", 800);
  EXPECT_TRUE(stopped.window_seen);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_EQ(Objects(), before) << "nothing of the file is kept";
  // The history too: Redo still brings the undone import back.
  ASSERT_TRUE(world.frame().RouteUpdate(kCmdRedo).enabled) << "the redo step survived";
  world.frame().RouteCommand(kCmdRedo);
  ASSERT_EQ(Objects().size(), before.size() + 1);
  EXPECT_EQ(Objects().back()->name, "Anchorage");
  world.frame().RouteCommand(kCmdUndo);
  ASSERT_EQ(Objects(), before);
  EXPECT_TRUE(world.answers.asked.empty()) << world.answers.asked.front();
  EXPECT_TRUE(world.frame().isEnabled());
  EXPECT_EQ(ProgressWindowSaying("Importing passage.gpx..."), nullptr);

  // Read to its end: the window answered all along, and everything came in.
  const std::string whole = WriteLargeGpx(world.home.File("passage home.gpx"), "Passage home");
  const Watch read = Import(whole, "Importing passage home.gpx...");
  EXPECT_TRUE(read.window_seen);
  EXPECT_TRUE(read.main_disabled_meanwhile);
  EXPECT_GE(read.furthest, 900);
  // The reading hands the event loop a turn at least every thousandth of each of its phases.
  EXPECT_GE(read.turns, 1000);
  EXPECT_TRUE(world.frame().isEnabled());
  EXPECT_TRUE(world.answers.asked.empty()) << world.answers.asked.front();
  const std::vector<COstrelObject*> after = Objects();
  int marks = 0;
  const CObjTrack* track = nullptr;
  for (COstrelObject* object : after) {
    if (std::find(before.begin(), before.end(), object) != before.end()) continue;
    if (object->IsKindOf(CObjWaypoint::kClass)) ++marks;
    if (object->IsKindOf(CObjTrack::kClass)) track = static_cast<const CObjTrack*>(object);
  }
  EXPECT_EQ(marks, kMarks);
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->name, "Passage home");
  EXPECT_EQ(track->points().size(), static_cast<size_t>(kTrackPoints)) << "both segments";
}

TEST_F(ImportInTheProgram, CancelInTheLoadOfAnOverlayFileLeavesTheDocument) {
  const std::string path = world.home.File("survey.vdo");
  {
    ObjectList marks;
    for (int i = 0; i < kMarks; ++i) {
      auto* mark = new CObjWaypoint;
      mark->AddRef();
      mark->name = "S" + std::to_string(i);
      mark->position = {50.0 + (i % 300) * 1e-3, -4.0 + (i / 300) * 1e-3};
      marks.push_back(mark);
    }
    ASSERT_TRUE(SaveObjectsToOverlayFile(path, marks, false));
    for (COstrelObject* mark : marks) mark->Release();
  }
  const std::vector<COstrelObject*> before = Objects();
  const Watch watch = Import(path, "Loading survey.vdo...", 500);
  EXPECT_TRUE(watch.window_seen);
  EXPECT_TRUE(watch.cancelled);
  EXPECT_GE(watch.turns, 100);
  EXPECT_EQ(Objects(), before);
  EXPECT_TRUE(world.answers.asked.empty()) << world.answers.asked.front();
  EXPECT_TRUE(world.frame().isEnabled());
}

}  // namespace
