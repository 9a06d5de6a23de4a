// The own-vessel object: fix updates, the two-minute trail with its speed and course, the
// marks' alarms, and archive records of the current and older schemas.
#include "overlays/obj_current_position.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "core/persistent_value.h"
#include "geodesy/degree_length.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_archive.h"
#include "overlays/tests/archive_test_objects.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ArchiveBytes;

constexpr int32_t kStart = 1700000000;

class RecordingShell : public WaypointShell {
 public:
  void Beep() override { ++beeps; }
  int beeps = 0;
};

class CurrentPositionTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path()); }
  void TearDown() override { CObjWaypoint::SetShell(nullptr); }

  // Stores one object and returns the archive bytes.
  std::string Store(CArchiveObject& object) {
    return vd::test::StoredArchive(
        dir.path() + "/object.vdo", [&](COverlayArchive& archive) { archive.WriteObject(&object); });
  }

  vd::test::TempDir dir;
  vd::test::OverlayWorld world;
};

GPS_position_info Fix(int32_t time, double lat, double lon) {
  GPS_position_info fix;
  fix.valid = 1;
  fix.time = time;
  fix.position = {lat, lon};
  fix.speed = 6.0f;
  fix.course = 0.0f;
  return fix;
}

ArchiveBytes& F32(ArchiveBytes& b, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return b.U32(bits);
}

ArchiveBytes& F64(ArchiveBytes& b, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return b.U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
}

// The tag and the base record of an older schema (no category before 16, no undo stamps
// before 24, no id before 26), then position, time and the five floats.
ArchiveBytes OldRecordStart(uint16_t schema) {
  ArchiveBytes b;
  b.NewClass("CObjCurrentPosition", schema);
  b.Str("Boat").I32(kStart).I32(kStart).U8(0).U8(1).I32(0x32000000);
  if (schema >= 16) b.U16(0);
  if (schema >= 24) b.I32(0).I32(0);
  if (schema >= 26) b.Id(0);
  F64(b, 50.5);
  F64(b, -4.25);
  b.I32(kStart + 60);
  for (float v : {90.0f, 4.5f, -2.0f, 7.0f, 12.0f}) F32(b, v);
  return b;
}

CObjCurrentPosition* Load(const std::string& bytes, COverlayArchive*& keep) {
  keep = new COverlayArchive(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  return keep->ReadObject<CObjCurrentPosition>();
}

TEST_F(CurrentPositionTest, NewObjectHasNoFixNoHeadingAndTheSettingsDefaults) {
  CObjCurrentPosition pos;
  EXPECT_EQ(pos.name, "Position");
  EXPECT_EQ(pos.style, 0x32000000);
  EXPECT_EQ(pos.valid, 0);
  EXPECT_FALSE(pos.HasHeading());
  EXPECT_DOUBLE_EQ(pos.vector_minutes, 600 * 0.016666668);
  EXPECT_EQ(pos.colour, 255u);
  double a, b, c, d;
  EXPECT_FALSE(pos.GetBounds(a, b, c, d)) << "(0, 0) is no position";
  EXPECT_EQ(CObjCurrentPosition::GetVesselName(), "Position");
  pos.name = "Skylark";
  pos.SaveVesselName();
  EXPECT_EQ(CObjCurrentPosition::GetVesselName(), "Skylark");
}

// The range circle's radius is stored as the bit pattern of the float, as the property window
// writes it: 0.5 nautical miles is 1056964608.
TEST_F(CurrentPositionTest, RangeRadiusSettingIsTheFloatsBitPattern) {
  const std::pair<int, float> cases[] = {{0, 0.0f}, {1056964608, 0.5f}, {0x7FC00000, 0.0f}};
  for (const auto& [stored, radius] : cases) {
    vd::OpenAppProfile().SetInt(vd::kSettingsSection, "cur_pos_radius", stored);
    CObjCurrentPosition pos;
    EXPECT_EQ(pos.range_radius_nm, radius) << stored;
  }
}

TEST_F(CurrentPositionTest, TrailKeepsTheLastTwoMinutesAndGivesItsSpeedAndCourse) {
  CObjCurrentPosition pos;
  // Six knots due north, one fix a second for three minutes.
  const double lat0 = 50.0;
  const double deg_per_second = 6.0 / 3600.0 / LatDegreeLength(lat0);
  for (int s = 0; s <= 180; ++s) pos.UpdateFromFix(Fix(kStart + s, lat0 + s * deg_per_second, -4.0));

  const auto& trail = pos.trail();
  ASSERT_GE(trail.size(), 7u);
  EXPECT_EQ(trail.front().time, kStart + 176) << "a point is taken once the next time has passed";
  for (size_t i = 1; i < trail.size(); ++i) EXPECT_EQ(trail[i - 1].time - trail[i].time, 16);
  EXPECT_LE(kStart + 180 - trail.back().time, 120) << "older points are dropped";
  EXPECT_GT(kStart + 180 - trail.back().time, 120 - 16);
  EXPECT_NEAR(pos.trail_speed, 6.0, 0.01);
  EXPECT_NEAR(pos.trail_course, 0.0, 0.01);

  float speed = 0, course = 0;
  ASSERT_TRUE(pos.GetTrailSpeedAndCourse(speed, course));
  EXPECT_NEAR(speed, 6.0, 0.01) << "to the present position";

  // A fix from the past restarts the trail.
  pos.UpdateFromFix(Fix(kStart + 10, lat0, -4.0));
  ASSERT_EQ(pos.trail().size(), 1u);
  EXPECT_FALSE(pos.GetTrailSpeedAndCourse(speed, course)) << "a single point spans no time";
}

// A fix may carry any time an int holds (the external interface passes it through): the time
// of the next trail point must not wrap past the largest, which would take a point at every
// fix.
TEST_F(CurrentPositionTest, FixTimesAtTheEndOfTheIntRangeKeepTheTrailSpacing) {
  CObjCurrentPosition pos;
  const int32_t last = std::numeric_limits<int32_t>::max();
  for (int32_t t = last - 5; t != last; ++t) pos.UpdateFromFix(Fix(t, 50.0, -4.0));
  pos.UpdateFromFix(Fix(last, 50.0, -4.0));
  ASSERT_EQ(pos.trail().size(), 1u);
  EXPECT_EQ(pos.trail().front().time, last - 5);
  EXPECT_EQ(pos.next_trail_time, last);
}

TEST_F(CurrentPositionTest, FixKindsCopyWhatTheyCarry) {
  CObjCurrentPosition pos;
  pos.visible = false;
  GPS_position_info fix = Fix(kStart, 51.0, 1.0);
  fix.heading = 45.0f;
  fix.depth = 12.5f;
  pos.UpdateFromFix(fix);
  EXPECT_TRUE(pos.visible);
  EXPECT_EQ(pos.heading, 45.0f);
  EXPECT_EQ(pos.depth, 12.5f);
  world.log.clear();

  // Satellite-only: the table, nothing of the motion.
  GPS_position_info sats = Fix(kStart + 1, 51.0, 1.0);
  sats.satellite_update = 1;
  sats.speed = 20.0f;
  sats.satellites[0].prn = 7;
  sats.satellites_used = 5;
  pos.UpdateFromFix(sats);
  EXPECT_EQ(pos.satellites[0].prn, 7);
  EXPECT_EQ(pos.satellites_used, 5);
  EXPECT_EQ(pos.speed, 6.0f);
  // Invalid: position and validity only.
  GPS_position_info lost = Fix(kStart + 2, 51.1, 1.1);
  lost.valid = 0;
  lost.speed = 30.0f;
  pos.UpdateFromFix(lost);
  EXPECT_EQ(pos.valid, 0);
  EXPECT_EQ(pos.position.lat, 51.1);
  EXPECT_EQ(pos.speed, 6.0f);

  ASSERT_GE(world.log.size(), 2u);
  EXPECT_EQ(world.log[0].code, kChangeMoved);
  EXPECT_EQ(world.log.back().code, kChangeModified);
}

TEST_F(CurrentPositionTest, ValidFixesRaiseTheAlarmsOfVisibleMarksWithACircle) {
  RecordingShell shell;
  CObjWaypoint::SetShell(&shell);
  auto mark = [&](bool visible) {
    CObjWaypoint* m = world.doc.Add(new CObjWaypoint);
    m->being_placed = false;
    m->position = {50.0, -4.0};
    m->radius = 1852.0f;
    m->circle_mode = CObjWaypoint::kProximityAlarm;
    m->visible = visible;
    return m;
  };
  CObjWaypoint* shown = mark(true);
  CObjWaypoint* hidden = mark(false);
  CObjCurrentPosition* pos = world.doc.Add(new CObjCurrentPosition);

  GPS_position_info fix = Fix(kStart, 50.001, -4.0);
  fix.valid = 0;
  pos->UpdateFromFix(fix);
  EXPECT_EQ(shell.beeps, 0) << "no alarms without a valid fix";
  fix.valid = 1;
  pos->UpdateFromFix(fix);
  EXPECT_EQ(shell.beeps, 1) << "the hidden mark is not checked";
  fix.position = {50.1, -4.0};
  pos->UpdateFromFix(fix);
  EXPECT_EQ(shell.beeps, 1) << "six miles off, outside the circle";
  EXPECT_FALSE(hidden->alarm_raised);
  (void)shown;
}

TEST_F(CurrentPositionTest, ArchiveRoundTripGivesTheSameBytes) {
  CObjCurrentPosition pos;
  pos.position = {50.25, -4.5};
  pos.time = kStart;
  pos.course = 123.5f;
  pos.speed = 7.25f;
  pos.variation = -3.0f;
  pos.precision = 4.0f;
  pos.altitude = 20.0f;
  pos.short_name = "TGT";
  pos.display_mode = CObjCurrentPosition::kOwnVessel;
  pos.description = "Ferry";
  pos.heading = 130.0f;
  pos.outline = {{-5, -10}, {0, 15}, {5, -10}};
  pos.valid = 1;
  const std::string first = Store(pos);

  COverlayArchive* archive = nullptr;
  CObjCurrentPosition* read = Load(first, archive);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->position.lat, 50.25);
  EXPECT_EQ(read->time, kStart);
  EXPECT_EQ(read->course, 123.5f);
  EXPECT_EQ(read->description, "Ferry");
  EXPECT_EQ(read->heading, 130.0f);
  EXPECT_EQ(read->outline, pos.outline);
  EXPECT_EQ(read->valid, 0) << "a stored fix is no live fix";
  EXPECT_EQ(Store(*read), first);
  delete archive;
}

TEST_F(CurrentPositionTest, OlderSchemasReadTheirFields) {
  COverlayArchive* archive = nullptr;
  {
    // Schema 15: a colour after the floats, no heading (none), no outline.
    ArchiveBytes b = OldRecordStart(15);
    b.I32(0x00FF00);
    CObjCurrentPosition* read = Load(b.data, archive);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->colour, 0x00FF00u);
    EXPECT_EQ(read->speed, 4.5f);
    EXPECT_EQ(read->altitude, 12.0f);
    EXPECT_FALSE(read->HasHeading());
    EXPECT_EQ(archive->BytesLeft(), 0u);
    delete archive;
  }
  {
    // Schema 19: short name, mode, description, four skipped values, heading; a target.
    ArchiveBytes b = OldRecordStart(19);
    b.Str("T1").I32(CObjCurrentPosition::kTarget).Str("Tug").I32(1).I32(2).I32(3).I32(4);
    F32(b, 200.0f);
    CObjCurrentPosition* read = Load(b.data, archive);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->short_name, "T1");
    EXPECT_EQ(read->description, "Tug");
    EXPECT_EQ(read->heading, 200.0f);
    EXPECT_EQ(read->speed, 0.0f) << "targets start still";
    EXPECT_EQ(read->colour, 0xffffffu);
    EXPECT_TRUE(read->outline.empty());
    EXPECT_EQ(archive->BytesLeft(), 0u);
    delete archive;
  }
}

TEST_F(CurrentPositionTest, OutlineCountBeyondTheBytesLeftIsRefused) {
  for (int32_t count : {-1, 3, 0x10000000}) {
    ArchiveBytes b = OldRecordStart(20);
    b.Str("T").I32(1).Str("");
    F32(b, 10.0f);
    b.I32(count).I32(1).I32(2);  // room for one point only
    COverlayArchive archive(
        std::span(reinterpret_cast<const uint8_t*>(b.data.data()), b.data.size()));
    try {
      archive.ReadObject<CObjCurrentPosition>();
      ADD_FAILURE() << "count " << count;
    } catch (const COverlayArchiveException& e) {
      EXPECT_EQ(e.cause(), COverlayArchiveException::kBadCount) << count;
    }
  }
}

TEST(CurrentPositionFactory, ClassIsMadeByName) {
  vd::test::TempDir dir;
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
  CArchiveObject* object = OverlayClass::CreateByName("CObjCurrentPosition");
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(&object->GetRuntimeClass(), &CObjCurrentPosition::kClass);
  delete object;
}

}  // namespace
