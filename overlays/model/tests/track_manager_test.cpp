#include "overlays/model/track_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/tests/model_test_support.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChangeRecorder;
using vd::test::FixAt;
using vd::test::ReadStream;
using vd::test::WriteStream;

constexpr double kLat = 50.0;
constexpr double kLon = -1.0;

// A point the given metres north of (kLat, kLon) at a time.
CTrackPoint PointNorth(double metres, double time, int32_t elevation = 0) {
  const CDataGPSPosition fix = FixAt(kLat, kLon, metres);
  return CTrackPoint{fix.latitude, fix.longitude, time, elevation, 0};
}

COverlayTrack* TrackNorth(CTrackManager& manager, const std::string& name, int points,
                          double metres_apart, double seconds_apart) {
  auto track = std::make_unique<COverlayTrack>();
  track->name = name;
  for (int i = 0; i < points; ++i) {
    track->AddPoint(PointNorth(i * metres_apart, 1000 + i * seconds_apart), false);
  }
  return manager.AddTrack(std::move(track));
}

// The sections' counts, as text.
std::string Counts(const COverlayTrack& track) {
  std::string counts;
  for (const auto& section : track.sections) counts += std::to_string(section->count) + " ";
  return counts;
}

class Recording : public ::testing::Test {
 protected:
  Recording() { CTrackManager::Settings().doRecordTrack = false; }
  ~Recording() override { CTrackManager::Settings().doRecordTrack = false; }

  void Fix(double metres_north, double time) {
    CDataGPSPosition fix = FixAt(kLat, kLon, metres_north, 0, time);
    Listener<CDataGPSPosition>::Fire(fix);
  }

  CTrackManager manager;
};

TEST(OverlayTrack, SectionsShareTheirBoundaryPoint) {
  CTrackManager manager;
  COverlayTrack* track = TrackNorth(manager, "T1", 65, 10, 1);
  EXPECT_EQ(Counts(*track), "64 2 ");
  EXPECT_EQ(track->PointCount(), 66u);
  EXPECT_EQ(track->sections[1]->points[0].time, track->sections[0]->points[63].time);
  EXPECT_EQ(track->GetLastPoint()->time, 1064.0);
  EXPECT_EQ(track->GetDuration(), 64.0);
  for (const auto& section : track->sections) EXPECT_EQ(section->owner, track);

  std::string gpx;
  ASSERT_TRUE(track->WriteGPX(gpx));
  size_t points = 0;
  for (size_t at = gpx.find("<trkpt "); at != std::string::npos; at = gpx.find("<trkpt ", at + 1)) {
    ++points;
  }
  EXPECT_EQ(points, 65u) << "the shared point is written once";
  EXPECT_NE(gpx.find("<time>1970-01-01T00:16:40Z</time></trkpt>\n"), std::string::npos);
  EXPECT_TRUE(gpx.ends_with("</trkseg>\n</trk>\n"));

  COverlayTrack empty;
  empty.modified = TimeFrom1970(500.0);
  const std::pair<double, double> times[] = {{900, 900}, {0, 900}, {700, 900}, {1200, 1200}};
  for (const auto& [time, modified] : times) {
    empty.AddPoint(PointNorth(0, time), false);
    EXPECT_EQ(empty.modified, TimeFrom1970(modified)) << "raised to a later point's time";
  }
  empty.Reset();
  std::string nothing;
  EXPECT_TRUE(empty.WriteGPX(nothing));
  EXPECT_TRUE(nothing.empty());
}

TEST(OverlayTrack, StatsSkipSpikesAndCountMovingTime) {
  CTrackManager manager;
  auto track = std::make_unique<COverlayTrack>();
  // 10 s legs at a steady 2 m/s, a spike of 40 m/s, 2 m/s again, then standing still.
  const double metres[] = {0, 20, 40, 60, 80, 480, 500, 500};
  for (int i = 0; i < 8; ++i) track->AddPoint(PointNorth(metres[i], 1000 + 10 * i), false);
  double moving = 0;
  double maximum = 0;
  const double distance = track->GetStats(moving, maximum);
  EXPECT_NEAR(distance, 500, 0.5);
  EXPECT_DOUBLE_EQ(moving, 60.0);
  EXPECT_NEAR(maximum, 2.0, 0.01) << "metres per second; the spike is not taken";
}

TEST(OverlayTrack, ThinKeepsTheShape) {
  CTrackManager manager;
  COverlayTrack* straight = TrackNorth(manager, "straight", 100, 10, 1);
  EXPECT_TRUE(straight->Thin(4.0));
  EXPECT_EQ(Counts(*straight), "3 ") << "each section keeps its ends";
  EXPECT_EQ(straight->GetFirstPoint()->time, 1000.0);
  EXPECT_EQ(straight->GetLastPoint()->time, 1099.0);

  auto zigzag = std::make_unique<COverlayTrack>();
  for (int i = 0; i < 70; ++i) {
    CTrackPoint point = PointNorth(i * 10.0, i);
    const CDataGPSPosition east = FixAt(kLat, kLon, 0, i % 2 == 0 ? 0 : 30);
    point.longitude = east.longitude;
    zigzag->AddPoint(point, false);
  }
  EXPECT_FALSE(zigzag->Thin(4.0));
  EXPECT_EQ(Counts(*zigzag), "64 7 ");
}

TEST(OverlayTrack, SplitAt) {
  struct Case {
    size_t section;
    int32_t index;
    const char* kept;
    const char* split;
  };
  const Case cases[] = {
      {0, 0, "", "64 37 "},
      {0, 10, "11 ", "54 37 "},
      {0, 63, "64 ", "37 "},
      {1, 36, "64 37 ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kept);
    CTrackManager manager;
    COverlayTrack* track = TrackNorth(manager, "Walk", 100, 10, 1);
    track->type = "Hike";
    COverlayTrack* split = track->SplitAt(track->sections[c.section].get(), c.index);
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(manager.tracks.back().get(), split);
    EXPECT_EQ(split->name, "Walk-split");
    EXPECT_EQ(split->type, "Hike");
    EXPECT_EQ(Counts(*track), c.kept);
    EXPECT_EQ(Counts(*split), c.split);
    for (const auto& section : split->sections) EXPECT_EQ(section->owner, split);
    if (const auto first = split->GetFirstPoint()) {
      EXPECT_EQ(split->created, TimeFrom1970(first->time));
    }
  }
}

TEST_F(Recording, JoinAndResume) {
  COverlayTrack* first = TrackNorth(manager, "First", 3, 100, 60);
  manager.ToggleRecording();
  COverlayTrack* second = manager.tracks.back().get();
  ASSERT_EQ(manager.RecordingTrack(), second);
  Fix(500, 2000);
  Fix(600, 2100);
  ASSERT_EQ(second->PointCount(), 2u);

  first->Join(*second);
  // The other's start once more, its section, and the current fix as recording resumes.
  EXPECT_EQ(first->PointCount(), 3u + 1 + 2 + 1);
  EXPECT_TRUE(second->deleted);
  EXPECT_EQ(manager.RecordingTrack(), first) << "recording goes on into the joined track";
  EXPECT_EQ(manager.tracks.back().get(), first);
  EXPECT_EQ(first->GetLastPoint()->time, 2100.0) << "the last fix is appended";
  Fix(700, 2200);
  EXPECT_EQ(first->GetLastPoint()->time, 2200.0);
}

TEST_F(Recording, FixesAreTakenAfterEnoughTimeAndDistance) {
  struct Step {
    double metres;
    double seconds_after;
    bool taken;
  };
  const Step steps[] = {
      {50, 15, false},  // too soon
      {25, 25, true},
      {15, 25, false},  // too close
      {30, 30, true},
  };
  manager.ToggleRecording();
  ASSERT_EQ(manager.tracks.size(), 1u);
  COverlayTrack* track = manager.tracks.back().get();
  EXPECT_EQ(track->name, "T1");
  double position = 0;
  double time = 10'000;
  Fix(position, time);
  ASSERT_EQ(track->PointCount(), 1u);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.metres);
    const size_t before = track->PointCount();
    Fix(position + step.metres, time + step.seconds_after);
    EXPECT_EQ(track->PointCount(), before + (step.taken ? 1 : 0));
    if (step.taken) {
      position += step.metres;
      time += step.seconds_after;
    }
  }
  EXPECT_NEAR(track->total_distance, 55, 0.5);
  EXPECT_DOUBLE_EQ(track->moving_time, 55.0);
}

TEST_F(Recording, LongGapsAndTimeGoingBackStartNewTracks) {
  manager.ToggleRecording();
  Fix(0, 100'000);
  Fix(100, 100'000 + 7 * 3600);
  ASSERT_EQ(manager.tracks.size(), 2u);
  EXPECT_EQ(manager.tracks.back()->name, "T2");
  Fix(200, 50'000);
  ASSERT_EQ(manager.tracks.size(), 3u);
  EXPECT_EQ(manager.tracks.back()->name, "T3");
  EXPECT_EQ(manager.tracks.back()->PointCount(), 1u);
}

TEST_F(Recording, StoppingDropsATrackTooShortToKeep) {
  manager.ToggleRecording();
  EXPECT_TRUE(CTrackManager::Settings().doRecordTrack);
  Fix(0, 1000);
  COverlayTrack* track = manager.tracks.back().get();
  manager.ToggleRecording();
  EXPECT_FALSE(CTrackManager::Settings().doRecordTrack);
  EXPECT_TRUE(track->deleted);
  Fix(100, 2000);
  EXPECT_EQ(track->PointCount(), 0u) << "no recording while off";
}

TEST_F(Recording, RaceStartBeginsANamedTrack) {
  CDataStartTimer timer;
  timer.new_track_at_start = true;
  timer.clock = 50'000;
  timer.time_of_start = 50'000 + 300;
  Listener<CDataStartTimer>::Fire(timer);
  ASSERT_TRUE(manager.IsRecording());
  ASSERT_EQ(manager.tracks.size(), 1u);
  EXPECT_TRUE(manager.tracks.back()->name.starts_with("Start at ")) << manager.tracks.back()->name;
  timer.time_of_start = 0;
  Listener<CDataStartTimer>::Fire(timer);
  EXPECT_FALSE(manager.IsRecording());
  timer.time_of_start = 50'000 + 4000;  // too far ahead
  Listener<CDataStartTimer>::Fire(timer);
  EXPECT_FALSE(manager.IsRecording());
}

TEST(TrackManager, LoadingKeepsUserTracksDropsEmptyOnesAndThinsDenseOnes) {
  vd::test::TempDir dir;
  const std::string path = dir.File("tracks.bin");
  {
    CTrackManager manager;
    COverlayTrack* short_track = TrackNorth(manager, "Two points", 2, 10, 1);
    short_track->description = "kept";
    short_track->pattern = 1;
    short_track->width = 4.0f;
    short_track->colour = 0xFF336699;
    TrackNorth(manager, "Empty", 0, 0, 0);
    TrackNorth(manager, ":chunk3", 10, 10, 1);
    TrackNorth(manager, "Synced empty", 0, 0, 0)->sync_id = 44;
    TrackNorth(manager, "Dense", 200, 1, 1);
    TrackNorth(manager, "Sparse", 200, 100, 10);
    COverlayTrack* purged = TrackNorth(manager, "Deleted", 5, 10, 1);
    manager.DeleteTrack(purged);
    ASSERT_TRUE(WriteStream(path, [&](CSerializableStream& s) { return s.WriteRecord(manager); }));
    EXPECT_EQ(manager.tracks.size(), 6u) << "the purged deletion record is gone before writing";
  }
  CSerializableStream::RecordResult result;
  ChangeRecorder changes;
  ASSERT_TRUE(ReadStream(path, [&](CSerializableStream& s) {
    result = s.ReadRecord();
    return result.status == CSerializableStream::RecordStatus::kRecord;
  }));
  auto* manager = dynamic_cast<CTrackManager*>(result.object.get());
  ASSERT_NE(manager, nullptr);
  std::string names;
  for (const auto& track : manager->tracks) names += track->name + "|";
  EXPECT_EQ(names, "Two points|Synced empty|Dense|Sparse|");
  const COverlayTrack& kept = *manager->tracks[0];
  EXPECT_EQ(kept.description, "kept");
  EXPECT_EQ(kept.pattern, 1);
  EXPECT_EQ(kept.width, 4.0f);
  EXPECT_EQ(kept.colour, 0xFF336699u);
  EXPECT_EQ(kept.created, TimeFrom1970(1000.0)) << "created from the first point's time";
  EXPECT_EQ(kept.sections[0]->owner, &kept);
  EXPECT_TRUE(changes.Saw(kept.sections[0].get(), COverlayObject::kAppeared));
  EXPECT_EQ(Counts(*manager->tracks[2]), "5 ") << "thinned to the ends of its 4 sections";
  EXPECT_EQ(manager->tracks[3]->PointCount(), 203u) << "sparse tracks stay as they are";
}

TEST(TrackManager, DamagedSectionsAndStreams) {
  vd::test::TempDir dir;
  const std::string path = dir.File("track.bin");
  CTrackManager writer;
  TrackNorth(writer, "Ok", 70, 10, 1);
  ASSERT_TRUE(WriteStream(path, [&](CSerializableStream& s) { return writer.Serialize(s); }));
  const std::string bytes = vd::test::FileBytes(path);
  // Manager block (5), count (4), track block (5), name (4 + 2), colour (16), width (4),
  // section count (4), first section block (5): the first section's point count.
  const size_t first_count = 5 + 4 + 5 + 6 + 16 + 4 + 4 + 5;
  int32_t stored;
  std::memcpy(&stored, bytes.data() + first_count, 4);
  ASSERT_EQ(stored, 64);

  std::string too_many = bytes;
  const int32_t sixty_five = 65;
  std::memcpy(too_many.data() + first_count, &sixty_five, 4);
  ASSERT_TRUE(vd::test::PutFileBytes(path, too_many));
  CTrackManager reader;
  ASSERT_TRUE(ReadStream(path, [&](CSerializableStream& s) { return reader.Serialize(s); }));
  ASSERT_EQ(reader.tracks.size(), 1u);
  EXPECT_EQ(Counts(*reader.tracks[0]), "7 ") << "the damaged section is dropped, the next read";

  const size_t section_count = first_count - 5 - 4;
  std::string huge = bytes;
  const uint32_t too_large = 10'000'001;
  std::memcpy(huge.data() + section_count, &too_large, 4);
  ASSERT_TRUE(vd::test::PutFileBytes(path, huge));
  CTrackManager huge_reader;
  EXPECT_TRUE(ReadStream(path, [&](CSerializableStream& s) { return huge_reader.Serialize(s); }));
  EXPECT_TRUE(huge_reader.tracks.empty()) << "the track that does not read is dropped";

  ASSERT_TRUE(vd::test::PutFileBytes(path, bytes.substr(0, bytes.size() / 2)));
  CTrackManager cut_reader;
  EXPECT_FALSE(ReadStream(path, [&](CSerializableStream& s) { return cut_reader.Serialize(s); }));
}

TEST(TrackManager, NamesAndNearestTracks) {
  CTrackManager manager;
  EXPECT_EQ(manager.NextTrackName(), "T1");
  TrackNorth(manager, "T4", 3, 100, 1);   // 0 .. 200 m
  TrackNorth(manager, "Tx", 0, 0, 0);     // no points: passed over
  COverlayTrack* far = TrackNorth(manager, "T2", 3, 1000, 1);  // 0 .. 2000 m
  EXPECT_EQ(manager.NextTrackName(), "T5");
  const CDataGPSPosition near_far_end = FixAt(kLat, kLon, 1900);
  EXPECT_EQ(manager.FindTrackEndingNearest(near_far_end.latitude, near_far_end.longitude), far);
  EXPECT_EQ(manager.FindTrackStartingNearest(kLat, kLon), manager.tracks[0].get());
}

TEST(TrackManager, ConvertingATrackToARoute) {
  CMarkManager marks;
  CTrackManager manager;
  auto track = std::make_unique<COverlayTrack>();
  track->name = "Walk";
  // Two sections along a zigzag that thinning keeps.
  for (int i = 0; i < 66; ++i) {
    CTrackPoint point = PointNorth(i * 100.0, i);
    point.longitude += i % 2 == 0 ? 0 : 0.01;
    track->AddPoint(point, false);
  }
  COverlayTrack* added = manager.AddTrack(std::move(track));
  ASSERT_EQ(Counts(*added), "64 3 ");
  COverlayRoute* route = manager.ConvertTrackToRoute(added);
  ASSERT_NE(route, nullptr);
  EXPECT_EQ(route->name, "Walk-converted");
  ASSERT_EQ(route->points.size(), 66u) << "the shared point becomes one route point";
  EXPECT_EQ(route->points[1]->icon, "Dot");
  EXPECT_EQ(route->points[1]->colour, route->colour);
  EXPECT_EQ(route->points[1]->parent, route);
  EXPECT_TRUE(added->deleted);
  EXPECT_EQ(marks.routes.back().get(), route);
}

}  // namespace
