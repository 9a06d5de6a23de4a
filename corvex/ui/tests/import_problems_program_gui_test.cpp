// Files imported in the started program through its Import command: what the user is told of
// a file that is partly wrong, and what the user-data file keeps of it when the program closes.
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "corvex/command_ids.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/sample_chart_program.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

// The import dialog answered with one path; every message box kept with its owner.
struct ImportAnswers : vd::test::ScriptedAnswers {
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest&) override {
    return std::exchange(path, std::nullopt);
  }
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    owners.push_back(request.owner);
    return ScriptedAnswers::MessageBox(request);
  }
  std::optional<std::string> path;
  std::vector<QWidget*> owners;
};

// The marks of the program's saved user-data file, as "name lat lon".
std::vector<std::string> SavedMarks(vd::test::Program& program) {
  const std::string path = program.document()->user_data_path();
  EXPECT_TRUE(program.Quit());
  ObjectList read;
  EXPECT_TRUE(ReadOverlayFileObjects(path, read)) << path;
  std::vector<std::string> marks;
  for (COstrelObject* object : read) {
    if (const auto* mark = dynamic_cast<const CObjWaypoint*>(object)) {
      marks.push_back(vd::os::FormatC("%s %.6f %.6f", mark->name.c_str(), mark->position.lat,
                                      mark->position.lon));
    }
    object->Release();
  }
  return marks;
}

TEST(ImportProblems, TheUserIsToldWhatWasKeptAndTheSavedFileHoldsNothingMadeUp) {
  vd::test::CorvexHome home;
  ImportAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  vd::test::Program program({"--no-splash", vd::test::SampleChartPath()});
  ASSERT_TRUE(program.started());
  vd::test::DrainEvents();
  const size_t marks_before = [&] {
    size_t n = 0;
    for (COstrelObject* object : *program.document()->GetObjectList())
      n += object->IsKindOf(CObjWaypoint::kClass);
    return n;
  }();

  // Two marks with NUL bytes between them, as a damaged copy leaves them.
  constexpr char kDamaged[] =
      "<gpx><wpt lat=\"1\" lon=\"2\"><name>A</name></wpt>\n\0\0<wpt lat=\"3\" lon=\"4\">"
      "<name>B</name></wpt></gpx>";
  // A mark whose name is far longer than any name a user gives.
  const std::string long_name(50'000, 'L');
  const struct {
    const char* file;
    std::string bytes;
    const char* heading;  // before the path
    std::string told;  // after the path
  } files[] = {
      {"marks.csv",
       "WP05,10.0,200.0,0,\"East\"\r\nWP05,95.0,20.0,0,\"North\"\r\n", "Not all of ",
       " could be read:\nline 1: a mark at longitude 200.000000, kept at -160.000000 (the same "
       "meridian)\nline 2: a mark without a valid position: \"WP05,95.0,20.0,0,\"North\"\""},
      {"damaged.gpx",
       std::string(kDamaged, sizeof kDamaged - 1), "Failed to read XML file: ",
       "\nline 2, column 1: a control character (byte 0x00), which XML does not allow"},
      {"long.gpx",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx>\n<wpt lat=\"11.5\" lon=\"21.5\">\n"
       "<name>" + long_name + "</name></wpt>\n</gpx>\n",
       "Not all of ", " could be read:\nline 4: a name of 50000 bytes; its first 1024 were kept"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.file);
    const std::string path = home.File(f.file);
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, f.bytes));
    answers.asked.clear();
    answers.owners.clear();
    answers.path = path;
    program.frame().RouteCommand(kCmdImport);
    vd::test::DrainEvents();
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_EQ(answers.asked[0], f.heading + path + f.told);
    EXPECT_EQ(answers.owners[0], static_cast<QWidget*>(&program.frame()));
  }
  const std::vector<std::string> saved = SavedMarks(program);
  ASSERT_EQ(saved.size(), marks_before + 2);
  EXPECT_EQ(saved[saved.size() - 2], "East 10.000000 -160.000000");
  EXPECT_EQ(saved.back(), long_name.substr(0, 1024) + " 11.500000 21.500000");
}

}  // namespace
