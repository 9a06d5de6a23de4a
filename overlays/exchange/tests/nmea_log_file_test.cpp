// NMEA logs: fixes into tracks split at pauses, waypoint sentences into one route, and the
// sentences that must be left out.
#include "overlays/exchange/nmea_log_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/exchange/tests/exchange_test_support.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

// The sentence with its checksum.
std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + body + tail;
}

// 9 December 2026, 12:35:19 UTC.
constexpr int32_t kFixTime = 1796819719;
const std::string kFix = Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,091226,,");

class NmeaLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
  }
  void TearDown() override { vd::test::ReleaseAll(list); }
  ExchangeRead Import(const std::string& text, const std::string& name = "log.nmea") {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, text));
    return ImportNmeaFile(path, list);
  }
  template <class T>
  std::vector<T*> Objects() const {
    return vd::test::ObjectsOf<T>(list);
  }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  ObjectList list;
};

TEST_F(NmeaLogTest, FixesBecomeTracksSplitAtPauses) {
  const ExchangeRead result = Import(
      Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "\r\n" + kFix +
      "\r\n" + Sentence("GPRMC,123529,A,4807.100,S,01131.100,W,022.4,084.4,091226,,") + "\r\n" +
      // The GGA of the same fix after its RMC still gives that fix its altitude.
      Sentence("GPGGA,123529,4807.100,S,01131.100,W,1,08,0.9,600.0,M,46.9,M,,") + "\r\n" +
      // One hour and one second after the previous fix: a new track.
      Sentence("GPRMC,133530,A,4808.000,N,01132.000,E,022.4,084.4,091226,,") + "\r\n",
      "Morning Sail.nmea");
  EXPECT_TRUE(result.error.empty());
  EXPECT_EQ(result.count, 2);
  const auto tracks = Objects<CObjTrack>();
  ASSERT_EQ(tracks.size(), 2u);
  for (const CObjTrack* track : tracks) EXPECT_EQ(track->name, "Morning Sail");

  ASSERT_EQ(tracks[0]->points().size(), 2u);
  const CTrackpoint& first = tracks[0]->points()[0];
  EXPECT_NEAR(first.position.lat, 48.0 + 7.038 / 60, 1e-9);
  EXPECT_NEAR(first.position.lon, 11.0 + 31.0 / 60, 1e-9);
  EXPECT_EQ(first.time, kFixTime);
  EXPECT_FLOAT_EQ(first.altitude, 545.4f);
  const CTrackpoint& south_west = tracks[0]->points()[1];
  EXPECT_LT(south_west.position.lat, 0);
  EXPECT_LT(south_west.position.lon, 0);
  EXPECT_EQ(south_west.time, kFixTime + 10);
  EXPECT_FLOAT_EQ(south_west.altitude, 600.0f);
  ASSERT_EQ(tracks[1]->points().size(), 1u);
  EXPECT_EQ(tracks[1]->points()[0].time, kFixTime + 3611);
  EXPECT_FLOAT_EQ(tracks[1]->points()[0].altitude, 600.0f);
}

TEST_F(NmeaLogTest, SentencesThatAddNothing) {
  struct Case {
    const char* what;
    std::string text;
    size_t points;
  };
  const std::string fix_body = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,091226,,";
  const Case cases[] = {
      {"status V", Sentence("GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,091226,,"), 0},
      {"position 0/0", Sentence("GPRMC,123519,A,0000.000,N,00000.000,E,0,0,091226,,"), 0},
      {"bad checksum", "$" + fix_body + "*00", 0},
      {"no checksum", "$" + fix_body, 1},
      {"junk before the dollar", "xx" + kFix, 1},
      {"two sentences on one line", "$GPGGA,garbage" + kFix, 1},
      {"line too short", "$GPRMC,A", 0},
      {"other sentences", Sentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    Import(c.text + "\n");
    size_t points = 0;
    for (const CObjTrack* track : Objects<CObjTrack>()) points += track->points().size();
    EXPECT_EQ(points, c.points);
  }
}

// What a log holds besides readable fixes is named with its line; positions off the globe are
// refused; a file with nothing to read says so.
TEST_F(NmeaLogTest, DamagedLogsSayWhatWasRead) {
  const std::string fix_body = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,091226,,";
  const std::string path = dir.File("log.nmea");
  struct Case {
    const char* what;
    std::string text;
    size_t points;
    std::string error;
  };
  const Case cases[] = {
      {"clean", kFix + "\r\n" + Sentence("GPGSV,3,1,11,03,03,111,00") + "\r\n!AIVDM,1,1,,A,x,0*00\r\n",
       1, ""},
      {"cut short at the end", kFix + "\r\n$GPRMC,123520,A,4807.0",
       1, "Not all of " + path + " could be read:\nline 2: the sentence is cut short (3 of its 9 "
          "fields): \"$GPRMC,123520,A,4807.0\""},
      {"checksum", kFix + "\n$" + fix_body + "*00\n",
       1, "Not all of " + path + " could be read:\nline 2: its checksum does not match: \"$" +
          fix_body + "*00\""},
      {"off the globe",
       kFix + "\n" + Sentence("GPRMC,123520,A,9507.038,N,01131.000,E,0,0,091226,,") + "\n" +
           Sentence("GPWPL,4807.038,N,19131.000,W,FAR") + "\n",
       1, "Not all of " + path + " could be read:\nline 2: latitude 95.1173, longitude 11.5166667 "
          "is outside -90..90 / -180..180: \"" +
          Sentence("GPRMC,123520,A,9507.038,N,01131.000,E,0,0,091226,,") +
          "\"\nline 3: latitude 48.1173, longitude -191.516667 is outside -90..90 / -180..180: "
          "\"" + Sentence("GPWPL,4807.038,N,19131.000,W,FAR") + "\""},
      {"junk", std::string("\x7f" "ELF\x02\x01\n\0\0\0\0\0\0\0\0\0\0", 16),
       0, "Nothing could be read from " + path + ":\nline 1: not an NMEA sentence: \"?ELF??\"\n"
          "line 2: not an NMEA sentence: \"?????????\""},
      {"no fix", Sentence("GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,091226,,") + "\n",
       0, "No fixes or waypoints found in " + path},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    const ExchangeRead result = Import(c.text);
    size_t points = 0;
    for (const CObjTrack* track : Objects<CObjTrack>()) points += track->points().size();
    EXPECT_EQ(points, c.points);
    EXPECT_EQ(result.error, c.error);
  }
}

TEST_F(NmeaLogTest, WaypointSentencesMakeOneLockedRoute) {
  const ExchangeRead result = Import(Sentence("GPWPL,4807.038,N,01131.000,E,WPTNME") + "\n" +
                                         Sentence("GPWPL,3400.000,S,01800.000,W,SECOND") + "\n",
                                     "passage.nmea");
  EXPECT_EQ(result.count, 3);
  ASSERT_EQ(list.size(), 3u);
  auto* route = dynamic_cast<CObjRoute*>(list.front());  // the route comes before its marks
  ASSERT_NE(route, nullptr);
  EXPECT_EQ(route->name, "passage");
  EXPECT_EQ(CCategory::GetNameOr(route->category()), "NMEA Routes");
  EXPECT_TRUE(route->locked);
  EXPECT_NE(route->edit_state, CObjRoute::kInsert);
  const auto marks = Objects<CObjWaypoint>();
  EXPECT_EQ(route->points(), marks);
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0]->name, "WPTNME");
  EXPECT_EQ(marks[1]->short_name, "SECOND");
  EXPECT_NEAR(marks[1]->position.lat, -34.0, 1e-9);
  EXPECT_NEAR(marks[1]->position.lon, -18.0, 1e-9);
  EXPECT_FALSE(marks[0]->being_placed);
  EXPECT_EQ(CCategory::GetNameOr(marks[0]->category()), "Waypoints");
  EXPECT_TRUE(Objects<CObjTrack>().empty());
}

TEST_F(NmeaLogTest, UnreadableFileAddsNothing) {
  const ExchangeRead result = ImportNmeaFile(dir.File("absent.nmea"), list);
  EXPECT_EQ(result.error, "Failed to open NMEA file");
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(ImportNmeaFile(dir.path(), list).error, "Failed to open NMEA file");
}

}  // namespace
