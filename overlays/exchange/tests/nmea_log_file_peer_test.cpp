// NMEA logs written by gpsbabel from a GPX file made here: the track points, their times and
// altitudes (gpsbabel sends each fix's RMC before its GGA), the pause that splits the track,
// and the waypoints come back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/exchange/nmea_log_file.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/exchange/tests/exchange_test_support.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/os/process.h"
#include "tests/temp_dir.h"

namespace {

struct Point {
  double lat, lon, altitude;
  int64_t time;  // seconds since 1970
};

// 1 June 2025, 10:00:00 UTC.
constexpr int64_t kStart = 1748772000;

std::string IsoTime(int64_t time) {
  const int64_t day_seconds = time - kStart + 10 * 3600;
  return vd::os::FormatC("2025-06-01T%02d:%02d:%02dZ", static_cast<int>(day_seconds / 3600),
                         static_cast<int>(day_seconds / 60 % 60),
                         static_cast<int>(day_seconds % 60));
}

TEST(NmeaLogPeerTest, ReadsWhatGpsbabelWrites) {
  vd::test::TempDir dir;
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
  vd::test::FakeApp app;
  app.temp_folder = dir.path();

  // Two stretches two hours apart, south and west of the meridians to test the signs.
  const std::vector<Point> points = {
      {-33.85, -70.65, 520.0, kStart},
      {-33.851, -70.6512, 521.5, kStart + 10},
      {-33.852, -70.6524, 523.0, kStart + 20},
      {-33.9, -70.7, 600.0, kStart + 2 * 3600},
      {-33.901, -70.7011, 601.0, kStart + 2 * 3600 + 5},
  };
  std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "<wpt lat=\"51.5\" lon=\"-0.25\"><name>ALPHA</name></wpt>\n"
      "<wpt lat=\"52.25\" lon=\"4.5\"><name>BRAVO</name></wpt>\n"
      "<trk><name>t</name><trkseg>\n";
  for (const Point& p : points) {
    gpx += vd::os::FormatC("<trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>%.1f</ele><time>%s</time>"
                           "<fix>3d</fix><sat>7</sat></trkpt>\n",
                           p.lat, p.lon, p.altitude, IsoTime(p.time).c_str());
  }
  gpx += "</trkseg></trk></gpx>\n";
  const std::string gpx_path = dir.File("in.gpx");
  const std::string nmea_path = dir.File("babel.nmea");
  ASSERT_TRUE(vd::os::SaveFileAtomically(gpx_path, gpx));
  const vd::os::SpawnResult run =
      vd::os::Spawn("gpsbabel", {"-i", "gpx", "-f", gpx_path, "-o", "nmea", "-F", nmea_path}, true);
  ASSERT_TRUE(run.started && run.exit_code == 0);

  ObjectList list;
  vd::test::ScopedRelease release{list};
  const ExchangeRead result = ImportNmeaFile(nmea_path, list);
  EXPECT_TRUE(result.error.empty());

  const auto tracks = vd::test::ObjectsOf<CObjTrack>(list);
  const auto marks = vd::test::ObjectsOf<CObjWaypoint>(list);
  const auto routes = vd::test::ObjectsOf<CObjRoute>(list);
  ASSERT_EQ(tracks.size(), 2u);
  std::vector<CTrackpoint> read;
  for (const CObjTrack* track : tracks) {
    EXPECT_EQ(track->name, "babel");
    read.insert(read.end(), track->points().begin(), track->points().end());
  }
  EXPECT_EQ(tracks[0]->points().size(), 3u);
  ASSERT_EQ(read.size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(read[i].position.lat, points[i].lat, 1e-5);
    EXPECT_NEAR(read[i].position.lon, points[i].lon, 1e-5);
    EXPECT_EQ(read[i].time, points[i].time);
    EXPECT_NEAR(read[i].altitude, points[i].altitude, 0.05);
  }

  ASSERT_EQ(routes.size(), 1u);
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(routes[0]->points(), marks);
  EXPECT_EQ(marks[0]->name, "ALPHA");
  EXPECT_NEAR(marks[0]->position.lon, -0.25, 1e-5);
  EXPECT_NEAR(marks[1]->position.lat, 52.25, 1e-5);
}

}  // namespace
