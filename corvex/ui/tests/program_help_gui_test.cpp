// The started program's help and folder chooser: the Help menu's entries (the chart frame's
// Help Manual among them), the help a dialog's Help button asks the program for, help contexts
// without a page, the folder chooser the dialogs share, and the commands that have no entry.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>

#include <optional>
#include <string>
#include <vector>

#include "core/ui/dialog_f1_help.h"
#include "corvex/ui/browse_for_folder.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/dlg_magnetic_variation.h"
#include "corvex/ui/tests/program_world.h"
#include "platform/ui/help_pages.h"

namespace {

using vd::test::ProgramWorld;

class ProgramHelp : public testing::Test {
 protected:
  void SetUp() override {
    vd::ui::SetHelpFolder(vd::os::ProgramFolder() + "/resources/help");
    ASSERT_TRUE(world.Start());
    world.home.opened_documents.clear();
  }
  void TearDown() override { world.Stop(); }

  // The menu bar's entry of a command, as the user finds it.
  QAction* MenuEntry(int id) {
    for (QAction* action : world.frame().menuBar()->findChildren<QAction*>())
      if (!action->menu() && action->data().toInt() == id) return action;
    return nullptr;
  }
  std::string LastOpened() const {
    return world.home.opened_documents.empty() ? "" : world.home.opened_documents.back();
  }
  static std::string Page(const std::string& name) {
    return vd::os::ProgramFolder() + "/resources/help/" + name + ".html";
  }

  ProgramWorld world;
  vd::test::ScriptedAnswers& answers = world.answers;
};

TEST_F(ProgramHelp, HelpMenuEntriesOpenTheHelpPages) {
  const struct {
    int id;
    const char* name;
    const char* page;
  } kEntries[] = {{32878, "Topics", "index"},
                  {32879, "Index", "help_index"},
                  {32875, "Help Manual (the chart frame's)", "index"}};
  for (const auto& entry : kEntries) {
    SCOPED_TRACE(entry.name);
    QAction* action = MenuEntry(entry.id);
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(world.frame().RouteUpdate(entry.id).enabled);
    world.home.opened_documents.clear();
    action->trigger();
    EXPECT_EQ(world.home.opened_documents, std::vector<std::string>{Page(entry.page)});
  }
  // Help Manual belongs to the chart windows: the active one answers it.
  CCmdUI ui;
  EXPECT_FALSE(world.frame().OnUpdateCommand(32875, ui));
  ASSERT_NE(world.frame().ActiveChartFrame(), nullptr);
  EXPECT_TRUE(world.frame().ActiveChartFrame()->OnUpdateCommand(32875, ui = {}));
  EXPECT_TRUE(answers.asked.empty()) << answers.asked.front();
}

TEST_F(ProgramHelp, DialogHelpButtonShowsItsContextThroughTheProgram) {
  bool helped = false;
  vd::test::OnceUp([&](vd::ui::DialogWindow& dialog) {
    dialog.SendCommand(vd::ui::kIdHelp, vd::ui::kBnClicked);
    helped = LastOpened() == Page("dialog_" + std::to_string(CDlgMagneticVariation::kTemplate));
  }, false);
  world.frame().RouteCommand(32877);  // Mode/Units/Magnetic Variation...
  EXPECT_TRUE(helped) << LastOpened();
  EXPECT_TRUE(answers.asked.empty());
}

TEST_F(ProgramHelp, ContextsWithoutAPageOpenTheIndexAndSaySo) {
  const struct {
    int id;
    const char* topic;  // as the message names it
  } kContexts[] = {{99999, "dialog_99999"}, {-1, "dialog_-1"}, {0, "dialog_0"}};
  for (const auto& context : kContexts) {
    SCOPED_TRACE(context.topic);
    world.home.opened_documents.clear();
    answers.asked.clear();
    world.app.ShowHelpContext(context.id);
    EXPECT_EQ(world.home.opened_documents, std::vector<std::string>{Page("index")});
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_NE(answers.asked[0].find(std::string("\"") + context.topic + "\""), std::string::npos)
        << answers.asked[0];
  }
  // A topic that would leave the help folder is no page either.
  world.home.opened_documents.clear();
  answers.asked.clear();
  world.app.ShowHelpContext("../menus/corvex");
  EXPECT_EQ(world.home.opened_documents, std::vector<std::string>{Page("index")});
  EXPECT_EQ(answers.asked.size(), 1u);
  // A context with its page opens it and asks nothing.
  world.home.opened_documents.clear();
  answers.asked.clear();
  world.app.ShowHelpContext(CDlgMagneticVariation::kTemplate);
  EXPECT_EQ(LastOpened(), Page("dialog_157"));
  EXPECT_TRUE(answers.asked.empty());
}

TEST_F(ProgramHelp, CommandsWithoutAnEntryKeepTheirStates) {
  EXPECT_TRUE(world.frame().RouteUpdate(32948).enabled);
  EXPECT_TRUE(world.frame().RouteUpdate(32949).enabled);
  // 33328 leaves its entry as it is, whatever that is.
  for (bool enabled : {false, true}) {
    CCmdUI ui;
    ui.enabled = enabled;
    EXPECT_TRUE(world.app.OnUpdateCommand(33328, ui));
    EXPECT_EQ(ui.enabled, enabled);
    EXPECT_FALSE(ui.checked);
  }
}

// Answers the folder chooser with a fixed folder (nullopt: Cancel) and keeps where it started.
struct FolderAnswers : vd::test::ScriptedAnswers {
  std::optional<std::string> ChooseFolder(QWidget*, const std::string& title,
                                          const std::string& initial) override {
    titles.push_back(title);
    started_at = initial;
    return folder;
  }
  std::optional<std::string> folder;
  std::vector<std::string> titles;
  std::string started_at;
};

TEST(BrowseForFolder, ChosenFolderLosesItsTrailingSeparatorCancelAndEmptyKeepThePath) {
  const struct {
    std::optional<std::string> chosen;
    bool result;
    const char* folder;  // afterwards
  } kCases[] = {
      {"/maps/charts/", true, "/maps/charts"},
      {"/maps/charts\\", true, "/maps/charts"},
      {"/maps/charts//", true, "/maps/charts"},
      {"/maps/charts", true, "/maps/charts"},
      {"/", true, "/"},  // the root stays itself
      {"", false, "/start"},
      {"\\", false, "/start"},
      {std::nullopt, false, "/start"},  // Cancel
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.chosen.value_or("(cancel)"));
    FolderAnswers answers;
    answers.folder = c.chosen;
    vd::ui::ScopedResponder responder(&answers);
    std::string folder = "/start";
    EXPECT_EQ(BrowseForFolder(folder, "Pick", nullptr, 17), c.result);
    EXPECT_EQ(folder, c.folder);
    EXPECT_EQ(answers.started_at, "/start");
    EXPECT_EQ(answers.titles, std::vector<std::string>{"Pick"});
  }
}

}  // namespace
