// Document commands of the started program that remember the user's choices: the file type
// the Import and Export dialogs show first, and the note before the first walking route.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "corvex/command_ids.h"
#include "corvex/ui/tests/program_world.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"

namespace {

// The program's questions answered as ScriptedAnswers does; file dialogs answered in turn,
// each with a path (nullopt: Cancel) and the filter the user leaves chosen.
struct FileAnswers : vd::test::ScriptedAnswers {
  struct Answer {
    std::optional<std::string> path;
    int filter = 0;  // 0: the user did not change it
  };
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest& request) override {
    shown_first.push_back(request.filter_index);
    if (queue.empty()) return std::nullopt;
    const Answer answer = queue.front();
    queue.pop_front();
    if (answer.filter && request.chosen_filter_index) *request.chosen_filter_index = answer.filter;
    return answer.path;
  }
  std::deque<Answer> queue;
  std::vector<int> shown_first;
};

class DocumentCommands : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void TearDown() override { world.Stop(); }

  static std::optional<int> Stored(const char* key) {
    return vd::OpenAppProfile().GetInt("settings", key);
  }
  static void Store(const char* key, int value) { vd::OpenAppProfile().SetInt("settings", key, value); }
  // The filter number the command's dialog shows first, or -1 when it showed none.
  int ShownFirst(int command, FileAnswers::Answer answer = {}) {
    answers.shown_first.clear();
    answers.queue = {answer};
    world.frame().RouteCommand(command);
    return answers.shown_first.empty() ? -1 : answers.shown_first.front();
  }

  vd::test::ProgramWorld world;
  FileAnswers answers;
  vd::ui::ScopedResponder responder{&answers};
};

TEST_F(DocumentCommands, ImportAndExportShowTheFileTypeLastChosen) {
  // An overlay file to import, its type chosen in the dialog.
  const std::string imported = world.home.File("harbour marks.vdo");
  {
    ObjectList list;
    auto* mark = new CObjWaypoint;
    mark->AddRef();
    mark->name = "Pier head";
    list.push_back(mark);
    ASSERT_TRUE(SaveObjectsToOverlayFile(imported, list, true));
    mark->Release();
  }
  EXPECT_EQ(ShownFirst(kCmdImport, {imported, 2}), 1) << "no choice yet: the first type";
  EXPECT_EQ(Stored("default_file_type_index"), 2);
  const ObjectList& objects = *world.doc().GetObjectList();
  EXPECT_TRUE(std::any_of(objects.begin(), objects.end(),
                          [](COstrelObject* o) { return o->name == "Pier head"; }));

  // Export shows the same type; a name typed without an extension takes that type's.
  const std::string exported = world.home.File("all marks");
  EXPECT_EQ(ShownFirst(kCmdExportAll, {exported, 0}), 2);
  ObjectList read;
  EXPECT_TRUE(ReadOverlayFileObjects(exported + ".vdo", read)) << "written as an overlay file";
  for (COstrelObject* object : read) object->Release();

  // Cancel keeps the stored type.
  EXPECT_EQ(ShownFirst(kCmdExportVisible, {std::nullopt, 4}), 2);
  EXPECT_EQ(Stored("default_file_type_index"), 2);

  // A stored type the dialog does not have shows the first. Import has six types, Export five.
  const struct {
    int stored;
    int command;
    int shown;
  } kStored[] = {
      {6, kCmdImport, 6}, {6, kCmdExportAll, 1}, {5, kCmdExportAll, 5}, {7, kCmdImport, 1},
      {0, kCmdImport, 1}, {-3, kCmdExportAll, 1},
  };
  for (const auto& c : kStored) {
    Store("default_file_type_index", c.stored);
    EXPECT_EQ(ShownFirst(c.command), c.shown) << c.stored << " for " << c.command;
  }
}

TEST_F(DocumentCommands, FirstWalkingRouteOfAUserShowsTheTrailNoteOnce) {
  constexpr char kNote[] =
      "Note: Trail data is severely limited in some areas. If the result is not what you want, "
      "use the Undo button on the toolbar";
  const auto notes = [&] {
    return std::count(answers.asked.begin(), answers.asked.end(), std::string(kNote));
  };
  // The route as it stands (a failed optimisation brings it back through the undo history).
  const auto select_route = [&] {
    if (COstrelObject* selected = COstrelObject::GetSelected(&world.doc())) selected->Deselect();
    for (COstrelObject* object : *world.doc().GetObjectList())
      if (object->IsKindOf(CObjRoute::kClass)) return object->Select(true), true;
    return false;
  };
  ASSERT_TRUE(select_route());
  // Cycling and driving never show it.
  for (int command : {kCmdOptimizeCycling, kCmdOptimizeDriving}) {
    ASSERT_TRUE(select_route());
    ASSERT_TRUE(world.frame().RouteUpdate(command).enabled);
    world.frame().RouteCommand(command);
  }
  EXPECT_EQ(notes(), 0);
  EXPECT_EQ(Stored("OptimizeRouteHint").value_or(0), 0);
  ASSERT_TRUE(select_route());
  world.frame().RouteCommand(kCmdOptimizeWalking);
  EXPECT_EQ(notes(), 1);
  EXPECT_EQ(Stored("OptimizeRouteHint"), 1);
  ASSERT_TRUE(select_route());
  world.frame().RouteCommand(kCmdOptimizeWalking);
  EXPECT_EQ(notes(), 1) << "shown once per user";
}

// Edit/Open file opens the link of the selected mark and nothing for any other selection.
TEST_F(DocumentCommands, OpenFileOpensTheLinkOfTheSelectedMark) {
  struct RecordingShell : WaypointShell {
    bool OpenDocument(const std::string& path_or_url) override {
      opened.push_back(path_or_url);
      return true;
    }
    std::vector<std::string> opened;
  } shell;
  CObjWaypoint::SetShell(&shell);
  const std::string link = "https://www.example.invalid/tides.html";
  world.mark->link = link;
  world.route->Select(true);
  world.frame().RouteCommand(kCmdOpenFile);
  EXPECT_TRUE(shell.opened.empty()) << "a route has no link";
  world.mark->Select(true);
  world.frame().RouteCommand(kCmdOpenFile);
  EXPECT_EQ(shell.opened, std::vector<std::string>{link});
  CObjWaypoint::SetShell(nullptr);
}

}  // namespace
