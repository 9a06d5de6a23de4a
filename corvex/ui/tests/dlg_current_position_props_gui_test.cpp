// The own-vessel window: the drawing choices reach the object and the settings a new vessel
// object reads (the range radius as a float's bit pattern), bad numbers keep the old value, the
// fix is shown only when there is one, and Cancel keeps what was set.
#include "corvex/ui/dlg_current_position_props.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <bit>
#include <memory>

#include "corvex/ui/dialog_controls.h"
#include "corvex/ui/tests/props_test_world.h"

namespace {

using D = CDlgCurrentPositionProps;
constexpr int kNauticalMiles = 0;
constexpr int kMetres = 5;

class PositionPropsTest : public ::testing::Test, public vd::test::PropsWorld {
 public:
  CObjCurrentPosition* NewVessel() {
    CObjCurrentPosition* vessel = doc.Add(new CObjCurrentPosition);
    doc.notices.clear();
    return vessel;
  }
  // A vessel made after the edits, as the next program run makes it.
  static std::unique_ptr<CObjCurrentPosition, void (*)(COstrelObject*)> Reloaded() {
    auto* vessel = new CObjCurrentPosition;
    vessel->AddRef();
    return {vessel, [](COstrelObject* o) { o->Release(); }};
  }
};

TEST_F(PositionPropsTest, DrawingChoicesReachTheObjectAndTheSettings) {
  CObjCurrentPosition* vessel = NewVessel();
  D dialog(vessel, &parent);

  Choose(dialog, D::kRadiusUnit, kNauticalMiles);
  Type(dialog, D::kRadiusEdit, "0.5");
  EXPECT_FLOAT_EQ(vessel->range_radius_nm, 0.5f);
  EXPECT_EQ(Setting("cur_pos_radius"), 1056964608);
  EXPECT_TRUE(doc.Told(kChangeDisplay, vessel));
  Choose(dialog, D::kRadiusUnit, kMetres);  // shown anew in the new unit
  EXPECT_EQ(Text(dialog, D::kRadiusEdit), "926.0");
  // Showing a value rounded to the unit does not round the radius itself.
  Type(dialog, D::kRadiusEdit, "1234.56");
  Choose(dialog, D::kRadiusUnit, kNauticalMiles);
  EXPECT_EQ(Text(dialog, D::kRadiusEdit), "0.7");
  EXPECT_FLOAT_EQ(vessel->range_radius_nm, static_cast<float>(1234.56 / 1852.0));
  Choose(dialog, D::kRadiusUnit, kMetres);
  Type(dialog, D::kRadiusEdit, "1852");
  EXPECT_FLOAT_EQ(vessel->range_radius_nm, 1.0f);

  doc.notices.clear();
  Type(dialog, D::kVectorMinutesEdit, "2.51");
  EXPECT_DOUBLE_EQ(vessel->vector_minutes, 2.51);
  EXPECT_EQ(Setting("cur_pos_vector_secs"), 150);
  EXPECT_TRUE(doc.Told(kChangeDisplay, vessel));

  doc.notices.clear();
  Click(dialog, D::kShowVectorCheck);
  EXPECT_FALSE(vessel->show_vector);
  EXPECT_EQ(Setting("cur_pos_show_vector"), 0);
  EXPECT_TRUE(doc.Told(kChangeEditState, vessel));

  const vd::ui::ColourRef green = CColorCombo::kStandard[3];
  Choose(dialog, D::kColourCombo, 3);
  EXPECT_EQ(vessel->colour, green);
  EXPECT_EQ(Setting("cur_pos_color"), static_cast<int32_t>(green));

  const auto next = Reloaded();
  EXPECT_FLOAT_EQ(next->range_radius_nm, 1.0f);
  EXPECT_NEAR(next->vector_minutes, 2.5, 1e-6);
  EXPECT_FALSE(next->show_vector);
  EXPECT_EQ(next->colour, green);
}

TEST_F(PositionPropsTest, NumbersThatDoNotFitKeepTheOldValue) {
  CObjCurrentPosition* vessel = NewVessel();
  vessel->range_radius_nm = 2.0f;
  vessel->vector_minutes = 6.0;
  D dialog(vessel, &parent);
  Choose(dialog, D::kRadiusUnit, kNauticalMiles);
  for (const char* text : {"", "abc", "-1", "1e40", "inf", "nan"}) {
    SCOPED_TRACE(text);
    Type(dialog, D::kRadiusEdit, text);
    Type(dialog, D::kVectorMinutesEdit, text);
    EXPECT_FLOAT_EQ(vessel->range_radius_nm, 2.0f);
    EXPECT_DOUBLE_EQ(vessel->vector_minutes, 6.0);
  }
  EXPECT_FALSE(Setting("cur_pos_radius"));
  EXPECT_FALSE(Setting("cur_pos_vector_secs"));
}

TEST_F(PositionPropsTest, TheFixIsShownOnlyWhenThereIsOne) {
  CObjCurrentPosition* vessel = NewVessel();
  vessel->status = "No Signal";
  {
    D dialog(vessel, &parent);
    EXPECT_EQ(Text(dialog, D::kTimeText), "Time not available from GPS!");
    EXPECT_EQ(Text(dialog, D::kDateText), "");
    EXPECT_EQ(Text(dialog, D::kPositionText), "");
    EXPECT_EQ(Text(dialog, D::kStatusText), "No Signal");
  }
  vessel->valid = 1;
  vessel->time = 1700000000;
  vessel->position = {50.5, -1.25};
  vessel->speed = 5.0f;
  vessel->precision = 0.0f;
  vessel->altitude = 12.0f;
  D dialog(vessel, &parent);
  EXPECT_NE(Text(dialog, D::kTimeText), "Time not available from GPS!");
  EXPECT_NE(Text(dialog, D::kDateText), "");
  std::string position;
  FormatPositionText(50.5, -1.25, position);
  EXPECT_EQ(Text(dialog, D::kPositionText), position);
  EXPECT_EQ(Text(dialog, D::kSpeedText), app.FormatSpeed(5.0));
  EXPECT_EQ(Text(dialog, D::kAltitudeText), app.FormatDepth(12.0));
  EXPECT_EQ(Text(dialog, D::kAccuracyText), "");  // no accuracy known
}

TEST_F(PositionPropsTest, CancelKeepsObjectAndSettings) {
  CObjCurrentPosition* vessel = NewVessel();
  const vd::ui::ColourRef colour = vessel->colour;
  D dialog(vessel, &parent);
  Choose(dialog, D::kRadiusUnit, kNauticalMiles);
  Type(dialog, D::kRadiusEdit, "3");
  Type(dialog, D::kVectorMinutesEdit, "30");
  Click(dialog, D::kShowVectorCheck);
  Choose(dialog, D::kColourCombo, 5);
  Click(dialog, vd::ui::kIdCancel);
  EXPECT_TRUE(dialog.closed());
  EXPECT_FLOAT_EQ(vessel->range_radius_nm, 3.0f);
  EXPECT_DOUBLE_EQ(vessel->vector_minutes, 30.0);
  EXPECT_NE(vessel->colour, colour);
  // New own-vessel objects take what the window stored.
  const auto next = Reloaded();
  EXPECT_FLOAT_EQ(next->range_radius_nm, 3.0f);
  EXPECT_NEAR(next->vector_minutes, 30.0, 1e-4);
  EXPECT_EQ(next->show_vector, vessel->show_vector);
  EXPECT_EQ(next->colour, vessel->colour);
}

TEST_F(PositionPropsTest, RefreshNeitherOverwritesTypingNorReadsBackItsOwnText) {
  CObjCurrentPosition* vessel = NewVessel();
  D dialog(vessel, &parent);
  Focus(dialog, D::kVectorMinutesEdit);
  ASSERT_TRUE(dialog.GetItem(D::kVectorMinutesEdit)->hasFocus());
  Type(dialog, D::kVectorMinutesEdit, "7.25");
  dialog.Refresh();
  EXPECT_EQ(Text(dialog, D::kVectorMinutesEdit), "7.25");
  // Unfocused, the rounded text is shown but not read back into the object.
  dialog.GetItem(D::kVectorMinutesEdit)->clearFocus();
  vessel->vector_minutes = 2.51;
  vessel->range_radius_nm = 0.123f;
  dialog.Refresh();
  EXPECT_EQ(Text(dialog, D::kVectorMinutesEdit), "2.5");
  EXPECT_DOUBLE_EQ(vessel->vector_minutes, 2.51);
  EXPECT_FLOAT_EQ(vessel->range_radius_nm, 0.123f);
}

}  // namespace
