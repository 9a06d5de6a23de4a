// The "Units", "Position format" and "Bearings" sheets: which row each ticks, and that a choice
// changes the units record, the settings file and what the formatters write.
#include "geodesy/ui/unit_sheets.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/persistant_data.h"
#include "geodesy/default_units.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"
#include "tests/temp_dir.h"
#include "tests/menu_choices.h"

namespace {

constexpr uintptr_t kShown = CActionSheetMenu::kRowShown;
constexpr uintptr_t kTicked = CActionSheetMenu::kRowSelected;

// Chooses the next text of each popup menu shown and records the menus' titles.
struct MenuAnswers : vd::ui::DialogResponder {
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    return vd::test::ChooseMenuItem(menu, choices, titles);
  }
  std::deque<std::string> choices;
  std::vector<std::string> titles;
};

std::vector<std::string> Texts(const CActionSheetMenu& sheet) {
  std::vector<std::string> texts;
  for (const auto& item : sheet.items()) texts.push_back(item->text());
  return texts;
}
std::vector<uintptr_t> States(const CActionSheetMenu& sheet) {
  std::vector<uintptr_t> states;
  for (const auto& item : sheet.items()) states.push_back(item->data());
  return states;
}

class UnitSheetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::os::SetEnv("XDG_CONFIG_HOME", dir.path());
    PersistantData::SetBaseName("units");
    Reset();
  }
  void TearDown() override {
    PersistantData::SetBaseName("");
    Reset();
  }
  static void Reset() {
    CDefaultUnits& units = CDefaultUnits::Global();
    units.SetUnitsSystem(CDefaultUnits::kStatute);
    units.bearings = CDefaultUnits::kBearingsTrue;
    units.position_format = CUnits::DefaultPositionFormat();
  }
  std::string Saved() const {
    std::string text;
    vd::os::ReadWholeFile(PersistantData::SettingsFilePath(), text);
    return "\n" + text;
  }

  vd::test::TempDir dir;
  MenuAnswers answers;
  vd::ui::ScopedResponder scope{&answers};
};

TEST_F(UnitSheetsTest, EachSheetTicksTheCurrentChoice) {
  struct Case {
    int system;
    std::vector<uintptr_t> states;
  };
  const Case cases[] = {
      {CDefaultUnits::kStatute, {kTicked, kShown, kShown, kShown, kShown}},
      {CDefaultUnits::kNautical, {kShown, kTicked, kShown, kShown, kShown}},
      {CDefaultUnits::kMetric, {kShown, kShown, kTicked, kShown, kShown}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.system);
    CDefaultUnits::Global().SetUnitsSystem(c.system);
    const auto sheet = CUnitSheets::BuildUnitsSheet();
    EXPECT_EQ(sheet->title(), "Units");
    EXPECT_EQ(Texts(*sheet), (std::vector<std::string>{"Statute", "Nautical", "Metric",
                                                       "Position format...", "Bearings..."}));
    EXPECT_EQ(States(*sheet), c.states);
  }

  const auto formats = CUnitSheets::BuildPositionFormatSheet();
  EXPECT_EQ(formats->title(), "Position format");
  EXPECT_EQ(Texts(*formats),
            (std::vector<std::string>{"UTM/WGS84 bands", "UTM on WGS84", "British National Grid",
                                      "Degrees", "Deg,Min,Sec", "Deg,Min"}));
  EXPECT_EQ(States(*formats),
            (std::vector<uintptr_t>{kShown, kShown, kShown, kShown, kShown, kTicked}));

  for (int mode : {CDefaultUnits::kBearingsTrue, CDefaultUnits::kBearingsMagnetic}) {
    CDefaultUnits::Global().bearings = mode;
    const auto bearings = CUnitSheets::BuildBearingsSheet();
    EXPECT_EQ(bearings->title(), "Bearings");
    EXPECT_EQ(Texts(*bearings), (std::vector<std::string>{"True north", "Magnetic"}));
    EXPECT_EQ(States(*bearings), mode == CDefaultUnits::kBearingsTrue
                                     ? (std::vector<uintptr_t>{kTicked, kShown})
                                     : (std::vector<uintptr_t>{kShown, kTicked}));
  }
}

TEST_F(UnitSheetsTest, ChoicesReachTheFormattersAndTheSettingsFile) {
  const CDefaultUnits& units = CDefaultUnits::Global();
  auto value = [&] {
    std::string text;
    units.AppendValueText(1500, text);
    return text;
  };
  auto position = [&] {
    std::string text;
    units.position_format->Format(50.5, -1.25, text);
    return text;
  };
  auto bearing = [&] {
    std::string text;
    units.FormatBearingValue(90.0f, text);
    return text;
  };
  EXPECT_EQ(value(), "0.93 Mi");

  struct Case {
    std::vector<std::string> choices;  // the Units sheet's row, then a row of the sheet it opens
    const char* key;                   // in the settings file afterwards
  };
  const Case cases[] = {
      {{"Metric"}, "\nCDefaultUnits:units=0x2\n"},
      {{"Position format...", "Degrees"}, "\nCDefaultUnits:posnfmt=Degrees\n"},
      {{"Bearings...", "Magnetic"}, "\nCDefaultUnits:bearings=0x1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.choices.front());
    answers.choices.assign(c.choices.begin(), c.choices.end());
    ASSERT_NE(CUnits::CUnitSettingsType::Group().enabled, false);
    CUnits::CUnitSettingsType::Group().OpenSheet();
    EXPECT_TRUE(answers.choices.empty());
    EXPECT_NE(Saved().find(c.key), std::string::npos) << Saved();
  }
  EXPECT_EQ(answers.titles,
            (std::vector<std::string>{"Units", "Units", "Position format", "Units", "Bearings"}));
  EXPECT_EQ(value(), "1.50 km");
  EXPECT_EQ(position(), "50.50000°N,  1.25000°W") << "\"%8.5f\" pads the longitude";
  EXPECT_EQ(bearing().substr(bearing().size() - 3), "°M");
}

TEST(UnitSettingsGroup, IsRegisteredByName) {
  bool found = false;
  for (CGlobalSettingsType* group = CGlobalSettingsType::Head(); group != nullptr;
       group = group->next()) {
    if (group->name() == "Units") found = group == &CUnits::CUnitSettingsType::Group();
  }
  EXPECT_TRUE(found);
}

}  // namespace
