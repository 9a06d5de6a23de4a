// The offset, matching-overlays and icon dialogs in the started program: their commands are
// enabled, what the user types does what it says, bad input is refused with a message, and the
// offset's choice of a new mark is remembered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <functional>

#include "core/persistent_value.h"
#include "corvex/command_ids.h"
#include "corvex/ui/dialog_controls.h"
#include "corvex/ui/dlg_icons.h"
#include "corvex/ui/dlg_matching_overlay.h"
#include "corvex/ui/dlg_offset_mark.h"
#include "corvex/ui/tests/program_world.h"
#include "overlays/category.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"

namespace {

class OverlayDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Start()); }
  void TearDown() override { world.Stop(); }

  // Runs the command; `fill` gets the modal dialog it opens (each time one comes up, until it
  // returns false) and acts on it as the user does.
  void RunWithDialog(int command,
                     std::function<bool(vd::ui::DialogWindow&)> fill) {
    std::function<void()> poll;
    poll = [&] {
      auto* modal = dynamic_cast<vd::ui::DialogWindow*>(QApplication::activeModalWidget());
      if (!modal) {
        QTimer::singleShot(0, poll);
        return;
      }
      titles.push_back(modal->windowTitle().toStdString());
      if (fill(*modal)) QTimer::singleShot(0, poll);
    };
    QTimer::singleShot(0, poll);
    world.frame().RouteCommand(command);
  }

  COstrelObject* FindNamed(const std::string& name) {
    for (COstrelObject* object : *world.doc().GetObjectList())
      if (object->name == name) return object;
    return nullptr;
  }

  vd::test::ProgramWorld world;
  std::vector<std::string> titles;
};

TEST_F(OverlayDialogsTest, CommandsAreEnabled) {
  for (int id : {kCmdIcons, kCmdShowMatching, kCmdHideMatching, kCmdOffsetBy})
    EXPECT_TRUE(world.frame().RouteUpdate(id).enabled) << id;
}

TEST(MatchPatternTest, PatternsAreNormalisedAndAnchored) {
  const struct {
    const char* typed;
    const char* normalised;
  } cases[] = {{"", "*"}, {"ab", "*ab*"}, {"^ab", "^ab*"}, {"ab$", "*ab$"}, {"*a?", "*a?*"}};
  for (const auto& c : cases) EXPECT_EQ(NormaliseMatchPattern(c.typed), c.normalised) << c.typed;
  EXPECT_TRUE(MatchesPattern("Buoy 4", NormaliseMatchPattern("^bu")));
  EXPECT_FALSE(MatchesPattern("Red buoy", NormaliseMatchPattern("^bu")));
  EXPECT_TRUE(MatchesPattern("Red buoy", NormaliseMatchPattern("buoy$")));
  EXPECT_FALSE(MatchesPattern("Buoy 4", NormaliseMatchPattern("buoy$")));
}

TEST_F(OverlayDialogsTest, HideAndShowMatchingByNameAndCategory) {
  RunWithDialog(kCmdHideMatching, [](vd::ui::DialogWindow& d) {
    EXPECT_EQ(d.ItemText(CDlgMatchingOverlay::kHeading), "Hide all overlays matching:");
    d.SetItemText(CDlgMatchingOverlay::kNameEdit, "buo");
    d.SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
    return false;
  });
  EXPECT_FALSE(world.mark->visible);
  EXPECT_TRUE(world.note->visible);
  ASSERT_FALSE(world.answers.asked.empty());
  EXPECT_EQ(world.answers.asked.back(), "Matched 1 objects");

  RunWithDialog(kCmdShowMatching, [](vd::ui::DialogWindow& d) {
    EXPECT_EQ(d.ItemText(CDlgMatchingOverlay::kHeading), "Show all overlays matching:");
    d.SetItemText(CDlgMatchingOverlay::kCategoryEdit, "^Mark");
    d.SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
    return false;
  });
  EXPECT_TRUE(world.mark->visible);
  // One undo step took the whole hide back.
  world.frame().RouteCommand(kCmdUndo);
  COstrelObject* buoy = FindNamed("Buoy");
  ASSERT_NE(buoy, nullptr);
  EXPECT_FALSE(buoy->visible);
}

TEST_F(OverlayDialogsTest, OffsetMovesTheMarkOrMakesANewOneAndRefusesBadNumbers) {
  world.mark->Select(true);
  const double lat = world.mark->position.lat, lon = world.mark->position.lon;
  int shown = 0;
  RunWithDialog(kCmdOffsetBy, [&](vd::ui::DialogWindow& d) {
    if (++shown == 1) {
      // Not a number: the user is told and the window stays.
      d.SetItemText(CDlgOffsetMark::kDistanceEdit, "far");
      d.SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
      EXPECT_FALSE(d.ended());
      auto* unit = dynamic_cast<QComboBox*>(d.Control(CDlgOffsetMark::kUnitCombo));
      unit->setCurrentIndex(0);  // NM
      d.SetItemText(CDlgOffsetMark::kDistanceEdit, "1");
      d.SetItemText(CDlgOffsetMark::kBearingEdit, "90");
      d.SetCheckState(CDlgOffsetMark::kMoveRadio, 1);
      d.SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
    }
    return false;
  });
  ASSERT_FALSE(world.answers.asked.empty());
  EXPECT_NE(world.answers.asked[0].find("distance"), std::string::npos);
  EXPECT_NEAR(world.mark->position.lat, lat, 1e-4);
  EXPECT_NEAR((world.mark->position.lon - lon) * 60 * std::cos(lat * M_PI / 180), 1.0, 0.01);

  RunWithDialog(kCmdOffsetBy, [&](vd::ui::DialogWindow& d) {
    d.SetItemText(CDlgOffsetMark::kDistanceEdit, "0.5");
    d.SetItemText(CDlgOffsetMark::kBearingEdit, "0");
    d.SetCheckState(CDlgOffsetMark::kMoveRadio, 0);
    d.SetCheckState(CDlgOffsetMark::kCreateNewRadio, 1);
    d.SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
    return false;
  });
  COstrelObject* made = FindNamed("Buoy-offset");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(CCategory::GetNameOr(made->category()), "Marks");
  EXPECT_TRUE(made->IsSelected());
  EXPECT_EQ(vd::OpenAppProfile().GetInt(vd::kSettingsSection, "Offset_mark_create_new"), 1);
  // The next time the choice stands.
  RunWithDialog(kCmdOffsetBy, [&](vd::ui::DialogWindow& d) {
    EXPECT_EQ(d.CheckState(CDlgOffsetMark::kCreateNewRadio), 1);
    d.SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
    return false;
  });
}

TEST_F(OverlayDialogsTest, IconsDialogListsTheLibrary) {
  int icons = 0;
  RunWithDialog(kCmdIcons, [&](vd::ui::DialogWindow& d) {
    if (auto* combo = dynamic_cast<CIconCombo*>(d.Control(CDlgIcons::kIconCombo)))
      icons = combo->count();
    d.SendCommand(CDlgIcons::kCloseButton, vd::ui::kBnClicked);
    return false;
  });
  ASSERT_EQ(titles.size(), 1u);
  EXPECT_EQ(titles[0], "Waypoint/Mark Icons");
  EXPECT_GT(icons, 1);
}

}  // namespace
