// The newer library generation's lists and unit sheets inside the running chart program: the
// settings groups it registers at start-up, the "Units" sheet changing the units the program
// formats with and saving them, and the list delegates it makes listing and acting on the
// program's marks and routes.
#include <gtest/gtest.h>

#include <QPoint>
#include <deque>
#include <string>
#include <vector>

#include "core/global_settings_type.h"
#include "core/persistant_data.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "geodesy/default_units.h"
#include "overlays/model/mark_manager.h"
#include "platform/os/files.h"
#include "platform/ui/popup_menu.h"
#include "viewer_lib/ais_list_delegate.h"
#include "viewer_lib/mark_list_delegate.h"
#include "viewer_lib/newer_generation.h"
#include "viewer_lib/route_list_delegate.h"
#include "tests/menu_choices.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ScriptedAnswers;

// Answers message boxes as ScriptedAnswers does and chooses the next text of each popup menu.
struct MenuAnswers : ScriptedAnswers {
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    return vd::test::ChooseMenuItem(menu, choices, titles);
  }
  std::deque<std::string> choices;
  std::vector<std::string> titles;
};

CGlobalSettingsType* FindGroup(const std::string& name) {
  for (CGlobalSettingsType* group = CGlobalSettingsType::Head(); group != nullptr;
       group = group->next()) {
    if (group->name() == name) return group;
  }
  return nullptr;
}

std::string Names(const std::vector<COverlayObject*>& list) {
  std::string names;
  for (COverlayObject* object : list) names += dynamic_cast<CSyncable&>(*object).name + " ";
  return names;
}

TEST(CorvexNewerLists, UnitSheetsAndListsWorkInTheProgram) {
  CorvexHome home;
  MenuAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  CNewerGeneration* newer = program.app().newer_generation();
  ASSERT_NE(newer, nullptr);

  // The settings groups are registered; the AIS group starts disabled.
  CGlobalSettingsType* units_group = FindGroup("Units");
  ASSERT_NE(units_group, nullptr);
  EXPECT_TRUE(units_group->enabled);
  ASSERT_NE(FindGroup("AIS Settings"), nullptr);
  EXPECT_FALSE(FindGroup("AIS Settings")->enabled);

  // The "Units" group's sheet switches to metric: the formatters follow and the program's
  // settings file keeps it.
  answers.choices = {"Metric"};
  units_group->OpenSheet();
  EXPECT_EQ(answers.titles, std::vector<std::string>{"Units"});
  std::string text;
  CDefaultUnits::Global().AppendValueText(1500, text);
  EXPECT_EQ(text, "1.50 km");
  std::string saved;
  ASSERT_TRUE(vd::os::ReadWholeFile(home.path() + "/.config/Vardune/Corvex.ini", saved));
  EXPECT_NE(saved.find("CDefaultUnits:units=0x2\n"), std::string::npos) << saved;

  // The list delegates work on the program's managers, with the main window as their owner.
  EXPECT_EQ(newer->mark_list().owner, &program.frame());
  EXPECT_EQ(newer->ais_list().GetTitle(), "AIS Vessels");
  CMarkManager::Settings().sort = 0;
  COverlayMark* beta = CreateMarkAt("Beta", 50.0, -1.0);
  COverlayMark* alpha = CreateMarkAt("Alpha", 50.1, -1.0);
  ASSERT_NE(beta, nullptr);
  EXPECT_TRUE(newer->mark_list().needs_rebuild);
  std::vector<COverlayObject*> list;
  newer->mark_list().Populate(list);
  EXPECT_EQ(Names(list), "Alpha Beta ");

  answers.choices = {"Hide all marks"};
  newer->mark_list().ShowListMenu(nullptr);
  EXPECT_FALSE(alpha->live);
  EXPECT_FALSE(beta->live);
  answers.asked.clear();
  answers.choices = {"Delete all marks"};
  answers.answers = {{"Are you sure?", vd::ui::kIdYes}};
  newer->mark_list().ShowListMenu(nullptr);
  EXPECT_TRUE(CMarkManager::Instance()->marks.empty()) << "never synced: gone at once";
  EXPECT_EQ(answers.asked, std::vector<std::string>{"Are you sure?"});

  EXPECT_TRUE(program.Quit());
  CDefaultUnits::Global().SetUnitsSystem(CDefaultUnits::kStatute);
}

}  // namespace
