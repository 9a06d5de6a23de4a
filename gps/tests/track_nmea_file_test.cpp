// The NMEA demonstration file of a track, written by the overlays, replayed through the GPS input's
// sentence parser.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "app/nmea_fields.h"
#include "gps/nmea_fix_parser.h"
#include "overlays/obj_track.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/clock.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

// What the parser made of each line of the file.
struct Fix {
  CLatLon position;
  int64_t time;
  float speed;
  float course;
};

class TrackNmeaFileTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path()); }

  CObjTrack& Track(const std::vector<std::pair<CLatLon, int32_t>>& points) {
    track = std::make_unique<CObjTrack>();
    for (const auto& [p, time] : points) track->AddPoint(p.lat, p.lon, time, 0.0f, 0, 0);
    return *track;
  }
  // Every line must be a complete, well-formed RMC sentence that the parser takes as a fix.
  std::vector<Fix> Replay() {
    std::string text;
    EXPECT_TRUE(vd::os::ReadWholeFile(path, text));
    std::vector<Fix> fixes;
    NmeaFixParser parser;
    for (size_t start = 0; start < text.size();) {
      const size_t end = text.find("\r\n", start);
      if (end == std::string::npos) {
        ADD_FAILURE() << "unterminated line at " << start;
        break;
      }
      const std::string_view line(text.data() + start, end - start);
      EXPECT_TRUE(line.starts_with("$GPRMC,")) << line;
      EXPECT_TRUE(NMEAChecksumOK(line)) << line;
      parser.ParseLine(line);
      const GPS_position_info& r = parser.record();
      EXPECT_TRUE(r.valid) << line;
      fixes.push_back({{r.position.lat, r.position.lon}, r.time, r.speed, r.course});
      start = end + 2;
    }
    return fixes;
  }

  vd::test::TempDir dir;
  std::string path = dir.path() + "/demo.nmea";
  std::unique_ptr<CObjTrack> track;
};

// Times 10 s apart: one sentence every 2 s, the first at the first point, moving evenly.
TEST_F(TrackNmeaFileTest, ATimedLegGivesASentenceEveryTwoSeconds) {
  const CLatLon a{50.25, -3.5};
  CLatLon b = a;
  b.MoveBy(0.05, 45.0);
  const int32_t t0 = 1700000000;
  ASSERT_TRUE(Track({{a, t0}, {b, t0 + 10}}).WriteNmeaFile(path));
  const std::vector<Fix> fixes = Replay();
  ASSERT_EQ(fixes.size(), 5u);
  for (size_t h = 0; h < fixes.size(); ++h) {
    SCOPED_TRACE(h);
    // Positions carry thousandths of a minute.
    EXPECT_NEAR(fixes[h].position.lat, a.lat + (b.lat - a.lat) * h / 5.0, 2e-5);
    EXPECT_NEAR(fixes[h].position.lon, a.lon + (b.lon - a.lon) * h / 5.0, 2e-5);
    EXPECT_EQ(fixes[h].time, t0 + 2 * int64_t(h));
    EXPECT_NEAR(fixes[h].speed, 0.05 * 3600 / 10, 0.06);
    EXPECT_NEAR(fixes[h].course, 45.0, 0.1);
  }
}

// Without times a leg is paced at 4 knots: a nautical mile takes 900 s, 450 sentences, from
// now; the next untimed leg carries on from where that one ended. (The legs are a little
// longer than 1 and 0.5 miles, so that whole seconds of them give those counts.)
TEST_F(TrackNmeaFileTest, UntimedLegsArePacedAtFourKnots) {
  const CLatLon a{-33.5, 151.25};
  CLatLon b = a, c = a;
  b.MoveBy(1.0001, 0.0);
  c = b;
  c.MoveBy(0.5001, 90.0);
  const int64_t before = vd::os::NowSeconds1970();
  ASSERT_TRUE(Track({{a, 0}, {b, 0}, {c, 0}}).WriteNmeaFile(path));
  const int64_t after = vd::os::NowSeconds1970();
  const std::vector<Fix> fixes = Replay();
  ASSERT_EQ(fixes.size(), 450u + 225u);
  EXPECT_GE(fixes.front().time, before);
  EXPECT_LE(fixes.front().time, after);
  for (size_t i = 0; i < fixes.size(); ++i) {
    EXPECT_EQ(fixes[i].time, fixes.front().time + 2 * int64_t(i)) << i;
    EXPECT_FLOAT_EQ(fixes[i].speed, 4.0f) << i;
    EXPECT_NEAR(fixes[i].course, i < 450 ? 0.0 : 90.0, 0.1) << i;
  }
  EXPECT_NEAR(fixes[450].position.lat, b.lat, 2e-5);
  EXPECT_NEAR(fixes[450].position.lon, b.lon, 2e-5);
}

// A time of 0 is no time (the GPX reader stores a repeated time so): the legs next to it are
// paced at 4 knots, not over the 1.7e9 seconds between 1970 and the other point. A leg with a
// real gap of years is gone through in a day of sentences.
TEST_F(TrackNmeaFileTest, NoTimeAndLongGapsKeepTheFileBounded) {
  const CLatLon a{50.25, -3.5};
  CLatLon b = a, c = a;
  b.MoveBy(0.0501, 0.0);
  c = b;
  c.MoveBy(0.0501, 0.0);
  const int32_t t0 = 1700000000;
  ASSERT_TRUE(Track({{a, t0}, {b, 0}, {c, t0 + 2}}).WriteNmeaFile(path));
  std::vector<Fix> fixes = Replay();
  EXPECT_EQ(fixes.size(), 22u + 22u);  // 0.05 NM at 4 knots: 45 s, 22 sentences a leg
  EXPECT_EQ(fixes.front().time, t0);

  ASSERT_TRUE(Track({{a, t0}, {b, t0 + 10 * 365 * 86400}}).WriteNmeaFile(path));
  fixes = Replay();
  ASSERT_EQ(fixes.size(), 86400u / 2);
  EXPECT_NEAR(fixes.back().position.lat, a.lat + (b.lat - a.lat) * (43199.0 / 43200.0), 2e-5);
  EXPECT_NEAR(fixes.front().speed, 0.0501 / 24, 0.06);
}

// A leg across the 180th meridian goes the short way, not round the world.
TEST_F(TrackNmeaFileTest, ALegAcrossTheDateLineTakesTheShortWay) {
  const int32_t t0 = 1700000000;
  ASSERT_TRUE(Track({{{10.0, 179.99}, t0}, {{10.0, -179.99}, t0 + 600}}).WriteNmeaFile(path));
  const std::vector<Fix> fixes = Replay();
  ASSERT_EQ(fixes.size(), 300u);
  for (const Fix& fix : fixes) EXPECT_GE(std::abs(fix.position.lon), 179.99 - 1e-5);
  EXPECT_LT(fixes.back().position.lon, 0);
  EXPECT_NEAR(fixes.front().course, 90.0, 0.1);
}

// The writing tells how far it is through all its sentences, always forward,
// and a stop asked for halfway leaves the old file and nothing beside it.
TEST_F(TrackNmeaFileTest, ProgressGoesForwardAndAStopLeavesTheOldFile) {
  const int32_t t0 = 1700000000;
  const CLatLon a{50.0, -4.0};
  CLatLon b = a;
  b.MoveBy(1.0, 90.0);
  CObjTrack& long_track = Track({{a, t0}, {b, t0 + 20000}, {a, t0 + 40000}});  // 20,000 sentences
  std::vector<std::pair<int64_t, int64_t>> heard;
  const auto listen = [&](int64_t done, int64_t total) {
    heard.emplace_back(done, total);
    return true;
  };
  ASSERT_TRUE(long_track.WriteNmeaFile(path, vd::os::Links::kFollow, listen));
  ASSERT_FALSE(heard.empty());
  for (size_t i = 0; i < heard.size(); ++i) {
    EXPECT_EQ(heard[i].second, 20000);
    if (i > 0) {
      EXPECT_GT(heard[i].first, heard[i - 1].first);
    }
  }
  EXPECT_EQ(Replay().size(), 20000u);

  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "old"));
  std::vector<vd::os::DirEntry> before, after;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), before));
  int64_t stopped_at = -1;
  const auto stop_halfway = [&](int64_t done, int64_t total) {
    if (done < total / 2) return true;
    stopped_at = done;
    return false;
  };
  EXPECT_FALSE(long_track.WriteNmeaFile(path, vd::os::Links::kFollow, stop_halfway));
  EXPECT_GE(stopped_at, 10000);
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, text));
  EXPECT_EQ(text, "old");
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), after));
  EXPECT_EQ(after.size(), before.size());
}

TEST_F(TrackNmeaFileTest, NothingIsWrittenForOnePointOrAnUnwritablePath) {
  EXPECT_FALSE(Track({{{50, 0}, 0}}).WriteNmeaFile(path));
  EXPECT_FALSE(vd::os::FileExists(path));
  EXPECT_FALSE(Track({{{50, 0}, 0}, {{50.01, 0}, 0}})
                   .WriteNmeaFile(dir.path() + "/no/such/folder/demo.nmea"));
  // A failed write keeps the old file.
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "old"));
  EXPECT_FALSE(Track({{{50, 0}, 0}}).WriteNmeaFile(path));
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, text));
  EXPECT_EQ(text, "old");
}

}  // namespace
