// A shapefile save killed at any moment leaves one whole set of .shp, .shx and .dbf from a
// single save: a child process saves again and again and is killed with SIGKILL, at every step
// of the commit in turn and at free-running moments; after each kill the set is read back the
// way the import command reads it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "geodesy/projection.h"
#include "overlays/exchange/dbase_file.h"
#include "overlays/exchange/shapefile.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/atomic_file_set.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

// A save is told apart by its stamp: it writes MarkCount(stamp) marks named "s<stamp>_<j>" at
// longitude stamp / 1000 and latitude j / 1000.
int MarkCount(int stamp) { return 40 + stamp % 7; }

bool SaveStamped(const std::string& path, int stamp) {
  ObjectList marks;
  for (int j = 0; j < MarkCount(stamp); ++j) {
    auto* mark = new CObjWaypoint;
    mark->AddRef();
    mark->name = "s" + std::to_string(stamp) + "_" + std::to_string(j);
    mark->position = {j / 1000.0, stamp / 1000.0};
    mark->being_placed = false;
    marks.push_back(mark);
  }
  const bool saved = ExportShapefiles(path, marks, nullptr);
  for (COstrelObject* mark : marks) mark->Release();
  return saved;
}

// In the child: the pipe the commit steps are reported on, and the step to stop at (-1: none).
int g_report_fd = -1;
int g_stop_at_step = -1;

void ReportStep(int step) {
  if (step != g_stop_at_step) return;
  const char c = static_cast<char>('0' + step);
  if (write(g_report_fd, &c, 1) != 1) _exit(3);
  for (;;) pause();  // until killed
}

class ShapefileSaveKill : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
    projection.SetLatLong();
    path = dir.File("set.shp");
  }

  // Forks a child that saves with stamps first_stamp, first_stamp + 1, ... and reports each
  // finished save ('s') and the chosen commit step; kills it once `reports` arrived. Sets
  // `saves_done` to the number of saves the child reported finished before it died: it may
  // finish more between the last report read here and the kill, so the pipe is read to its end
  // once the child is gone.
  void SaveAndKill(int first_stamp, int stop_at_step, int reports, int* saves_done = nullptr) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      g_report_fd = fds[1];
      g_stop_at_step = stop_at_step;
      vd::os::AtomicFileSet::SetCommitStepHook(ReportStep);
      for (int stamp = first_stamp;; ++stamp) {
        if (!SaveStamped(path, stamp)) _exit(2);
        if (write(fds[1], "s", 1) != 1) _exit(3);
      }
    }
    close(fds[1]);
    int done = 0;
    for (int i = 0; i < reports; ++i) {
      char c = 0;
      ASSERT_EQ(read(fds[0], &c, 1), 1) << "the child stopped saving";
      done += c == 's';
    }
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the child failed a save: " << status;
    for (char c = 0; read(fds[0], &c, 1) == 1;) done += c == 's';
    close(fds[0]);
    if (saves_done) *saves_done = done;
  }

  // The set reads whole through the import, every record and name from one save; nothing but
  // the three files is left in the folder. Returns that save's stamp.
  int CheckOneWholeSet() {
    ObjectList read;
    ShapefileImportOptions options;
    options.name_template = "%NAME%";
    const ExchangeRead result = ImportShapefile(path, read, options, projection);
    EXPECT_EQ(result.error, "");
    int stamp = -1;
    int j = 0;
    for (COstrelObject* object : read) {
      const auto* mark = dynamic_cast<const CObjWaypoint*>(object);
      EXPECT_NE(mark, nullptr);
      const int this_stamp = mark ? static_cast<int>(std::lround(mark->position.lon * 1000)) : -1;
      if (stamp < 0) stamp = this_stamp;
      EXPECT_EQ(this_stamp, stamp) << "shapes from two saves";
      EXPECT_EQ(object->name, "s" + std::to_string(stamp) + "_" + std::to_string(j))
          << "a name from another save";
      ++j;
      object->Release();
    }
    EXPECT_EQ(j, MarkCount(stamp));
    CDBaseFile table;
    EXPECT_TRUE(table.Open(dir.File("set.dbf")));
    EXPECT_EQ(table.record_count(), MarkCount(stamp));
    EXPECT_EQ(vd::os::FileSize(dir.File("set.shx")), 100u + 8u * MarkCount(stamp));
    std::vector<vd::os::DirEntry> entries;
    EXPECT_TRUE(vd::os::ListFolder(dir.path(), entries));
    std::vector<std::string> names;
    for (const auto& e : entries) {
      if (e.name.find("set.") != std::string::npos) names.push_back(e.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"set.dbf", "set.shp", "set.shx"}));
    return stamp;
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  CProjection projection;
  std::string path;
};

TEST_F(ShapefileSaveKill, EveryKillLeavesOneWholeSetFromOneSave) {
  ASSERT_TRUE(SaveStamped(path, 1));
  int stamp = 1;
  // At each step of the commit: before the journal (the old set stays), before each of the
  // three renames and before the journal goes (the new set is finished on reading).
  for (int round = 0; round < 10; ++round) {
    const int step = round % 5;
    SCOPED_TRACE("commit step " + std::to_string(step));
    const int first = 100 * (round + 1);
    SaveAndKill(first, step, 1);
    const int expected = step == vd::os::AtomicFileSet::kBeforeJournal ? stamp : first;
    stamp = CheckOneWholeSet();
    EXPECT_EQ(stamp, expected);
  }
  // Free-running: killed after a few whole saves, wherever the next one has got to.
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("free-running round " + std::to_string(round));
    const int first = 100 * (round + 20);
    int saves = 0;
    SaveAndKill(first, -1, 1 + round % 4, &saves);
    // The last reported save, or the one after it when the kill came late enough in its commit.
    const int found = CheckOneWholeSet();
    EXPECT_GE(found, first + saves - 1);
    EXPECT_LE(found, first + saves);
  }
}

}  // namespace
