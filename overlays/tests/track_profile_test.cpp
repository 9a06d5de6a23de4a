// Track profiles: the point-value series, terrain samples and the enclosed area.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/tests/terrain_world.h"

namespace {

class TrackProfileTest : public ::testing::Test {
 protected:
  vd::test::TerrainWorld world;
};

// Three points on one row, two legs of equal length: each leg's records repeat its start
// point (the last point's value never shows), nothing interpolated.
TEST_F(TrackProfileTest, ValueSamplersRepeatTheStartOfEachLeg) {
  CObjTrack* track = world.Track({{1, 2}, {3, 2}, {5, 2}});
  track->other_scale = 0.5f;
  const float altitudes[] = {10, 20, 30}, speeds[] = {4.5f, 6, 7};
  const int16_t hearts[] = {60, 70, 80}, others[] = {5, 6, 7};
  for (size_t i = 0; i < 3; ++i) {
    CTrackpoint& p = track->mutable_points()[i];
    p.altitude = altitudes[i];
    p.speed = speeds[i];
    p.heart_rate = hearts[i];
    p.other = others[i];
  }
  using Sampler = void (CObjTrack::*)(std::span<ProfileSample>) const;
  struct Case {
    const char* name;
    Sampler sample;
    float first, second;
  };
  const Case cases[] = {
      {"altitude", &CObjTrack::SampleAltitude, 10, 20},
      {"speed", &CObjTrack::SampleSpeed, 4.5f, 6},
      {"heart rate", &CObjTrack::SampleHeartRate, 60, 70},
      {"other value times its scale", &CObjTrack::SampleOtherValue, 2.5f, 3},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    std::vector<ProfileSample> records(4, {-1.0f, nullptr, 0, 0});
    (track->*t.sample)(records);
    for (size_t i = 0; i < records.size(); ++i) {
      const size_t point = i < 2 ? 0 : 1;
      EXPECT_EQ(records[i].value, point == 0 ? t.first : t.second) << i;
      EXPECT_EQ(records[i].lat, track->points()[point].position.lat) << i;
      EXPECT_EQ(records[i].lon, track->points()[point].position.lon) << i;
    }
  }
}

TEST_F(TrackProfileTest, ValueSamplersLeaveTheRecordsOfATrackWithoutLength) {
  for (CObjTrack* track : {world.Track({}), world.Track({{2, 2}, {2, 2}})}) {
    std::vector<ProfileSample> records(3, {-1.0f, nullptr, 8, 9});
    track->SampleSpeed(records);
    track->SampleAltitude(records);
    for (const ProfileSample& record : records) {
      EXPECT_EQ(record.value, -1.0f);
      EXPECT_EQ(record.lat, 8);
    }
  }
}

TEST_F(TrackProfileTest, SamplePositionsGivesTerrainHeightsAlongTheTrack) {
  CObjTrack* track = world.Track({{1, 2}, {3, 2}, {5, 2}});
  track->total_distance = 0;
  std::vector<ProfileSample> records(8, {-1.0f, nullptr, 0, 0});
  track->SamplePositions(records);
  const double xs[] = {1, 1.5, 2, 2.5, 3, 3 + 2.0 / 3, 3 + 4.0 / 3, 5};
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_NEAR(records[i].lon, world.At(xs[i], 2).lon, 1e-12) << i;
    EXPECT_NEAR(records[i].value, 100 + 10 * xs[i], 1e-3) << i;
    EXPECT_EQ(records[i].mark, nullptr);
  }
  EXPECT_GT(track->total_distance, 0);

  // Without points the records are zeroed.
  world.Track({})->SamplePositions(records);
  for (const ProfileSample& record : records) {
    EXPECT_EQ(record.value, 0.0f);
    EXPECT_EQ(record.lon, 0.0);
  }
}

// A square of about 1 km a side, built by moving along bearings; the area is the same
// whichever way it winds and whether or not the track is closed, and the same as that of a
// closed route through the same corners.
TEST_F(TrackProfileTest, EnclosedAreaOfATrack) {
  constexpr double kSideNm = 1000.0 / 1852.0;
  std::vector<CLatLon> corners{world.At(2, 3)};
  for (double bearing : {90.0, 0.0, 270.0}) {
    CLatLon next = corners.back();
    next.MoveBy(kSideNm, bearing);
    corners.push_back(next);
  }
  auto track_through = [&](const std::vector<CLatLon>& points) {
    CObjTrack* track = world.doc.Add(new CObjTrack);
    for (const CLatLon& p : points) track->AddPoint(p.lat, p.lon, 0, 0.0f, 0, 0);
    return track;
  };
  CObjTrack* track = track_through(corners);
  const double area = track->GetEnclosedArea();
  EXPECT_NEAR(area, 1e6, 2e3);
  track->closed = true;
  EXPECT_EQ(track->GetEnclosedArea(), area);
  CObjTrack* reversed = track_through({corners[0], corners[3], corners[2], corners[1]});
  EXPECT_DOUBLE_EQ(reversed->GetEnclosedArea(), area);
  std::vector<CObjWaypoint*> marks;
  for (const CLatLon& p : corners) {
    marks.push_back(world.Mark("M", 0, 0));
    marks.back()->position = p;
  }
  marks.push_back(marks.front());
  EXPECT_DOUBLE_EQ(world.Route(marks)->GetEnclosedArea(), area);

  EXPECT_EQ(track_through({corners[0], corners[2]})->GetEnclosedArea(), 0.0);
}

}  // namespace
