// The track window: the update interval shown in the largest whole unit, numbers read as
// decimal, the settings the fields write, Reduce, and Cancel keeping what was done.
#include "corvex/ui/dlg_track_props.h"

#include <gtest/gtest.h>

#include "corvex/ui/tests/props_test_world.h"

namespace {

using D = CDlgTrackProps;

class TrackPropsTest : public ::testing::Test, public vd::test::PropsWorld {
 public:
  CObjTrack* NewTrack(int points) {
    CObjTrack* track = doc.Add(new CObjTrack);
    for (int i = 0; i < points; ++i) track->AddPoint(50.0 + i * 0.01, 0.0, 1000 + i * 60, 0, 0, 0);
    track->RecomputeTotals();
    doc.notices.clear();
    return track;
  }
};

TEST_F(TrackPropsTest, IntervalShowsInTheLargestWholeUnit) {
  const struct {
    int32_t seconds;
    const char* text;
    const char* unit;
  } cases[] = {{7200, "2", "Hours"}, {90, "90", "Seconds"}, {120, "2", "Minutes"},
               {0, "0", "Hours"},    {3660, "61", "Minutes"}};
  for (const auto& c : cases) {
    CObjTrack* track = NewTrack(0);
    track->update_interval = c.seconds;
    D dialog(track, &parent);
    EXPECT_EQ(Text(dialog, D::kIntervalEdit), c.text) << c.seconds;
    EXPECT_EQ(Text(dialog, D::kIntervalUnit), c.unit) << c.seconds;
  }
}

TEST_F(TrackPropsTest, FieldsReadDecimalNumbersAndWriteTheirSettings) {
  CObjTrack* track = NewTrack(0);
  D dialog(track, &parent);
  Choose(dialog, D::kIntervalUnit, 1);
  Type(dialog, D::kIntervalEdit, "010");
  EXPECT_EQ(track->update_interval, 600);
  EXPECT_EQ(Setting("track_update_interval"), 600);
  // Text that holds no number leaves the interval.
  Type(dialog, D::kIntervalEdit, "x");
  EXPECT_EQ(track->update_interval, 600);
  Type(dialog, D::kDistanceEdit, "025");
  EXPECT_EQ(track->update_distance, 25);
  EXPECT_EQ(Setting("track_update_distance"), 25);
  Type(dialog, D::kPartitionEdit, "09");
  EXPECT_EQ(track->partition_time, 540);
  EXPECT_EQ(Setting("track_partition_time"), 540);
  Type(dialog, D::kTickEdit, "08");
  EXPECT_EQ(track->tick_interval, 480);
  EXPECT_EQ(Setting("tick_interval"), 480);
  EXPECT_TRUE(doc.Told(kChangeEditState, track));
  Type(dialog, D::kMaxPointsEdit, "0100");
  Choose(dialog, D::kMaxModeCombo, 1);
  EXPECT_EQ(Setting("tk_max"), 100);
  EXPECT_EQ(Setting("tk_mode"), 1);
}

TEST_F(TrackPropsTest, FiguresFollowTheTrackAndMachineWidth) {
  CObjTrack* track = NewTrack(3);
  D dialog(track, &parent);
  EXPECT_EQ(Text(dialog, D::kPointsText), "3");
  EXPECT_EQ(Text(dialog, D::kElapsedText), CAppCommon::FormatDuration(120));
  EXPECT_EQ(Text(dialog, D::kSweptText), "");
  Type(dialog, D::kMachineWidthEdit, "10");
  EXPECT_EQ(Text(dialog, D::kSweptText), app.FormatArea(track->total_distance * 10 * 1852.0));
  EXPECT_EQ(vd::OpenAppProfile().GetString("settings", "track_machine_width"), "10");
}

// The window is modeless: points recorded while it is open must survive its Cancel.
TEST_F(TrackPropsTest, CancelAndOkKeepTheEditsAndThePointsRecordedMeanwhile) {
  for (const bool cancel : {true, false}) {
    CObjTrack* track = NewTrack(5);
    D dialog(track, &parent);
    Click(dialog, D::kReduceButton);
    EXPECT_EQ(track->points().size(), 3u);
    track->mutable_points().push_back(track->points().back());  // a fix arrives
    Click(dialog, D::kClosedCheck);
    EXPECT_TRUE(track->closed);
    Type(dialog, D::kDistanceEdit, "99");
    Click(dialog, cancel ? vd::ui::kIdCancel : D::kKeepButton);
    EXPECT_TRUE(dialog.closed());
    EXPECT_EQ(track->points().size(), 4u);
    EXPECT_TRUE(track->closed);
    EXPECT_EQ(track->update_distance, 99);
  }
}

}  // namespace
