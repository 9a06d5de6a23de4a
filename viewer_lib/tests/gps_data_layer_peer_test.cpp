// The GPS data layer fed with NMEA written by gpsbabel from a GPX track: replayed by the
// simulation connection, every track point becomes a fix of the own position and a point of
// the recorded track, at its time and place.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "core/heartbeat.h"
#include "gps/instruments/gps_position_feed.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/track_manager.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/os/process.h"
#include "tests/temp_dir.h"
#include "viewer_lib/data_connection.h"

namespace {

struct TrackPoint {
  double lat, lon;
  int64_t time;
};

std::string IsoTime(int64_t t) {
  const time_t tt = static_cast<time_t>(t);
  tm utc{};
  gmtime_r(&tt, &utc);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

struct Fixes : Listener<CDataGPSPosition> {
  void OnEvent(CDataGPSPosition& fix) override {
    if (fix.valid) seen.push_back({fix.latitude, fix.longitude, static_cast<int64_t>(fix.time)});
  }
  std::vector<TrackPoint> seen;
};

TEST(GpsDataLayerPeer, GpsbabelTrackBecomesTheOwnPositionsFixesAndTheRecordedTrack) {
  // A boat south of the equator crossing the prime meridian, 30 s a point, across midnight.
  std::vector<TrackPoint> track;
  for (int i = 0; i < 40; ++i) {
    track.push_back({-33.91 + 0.0004 * i, -0.013 + 0.0006 * i, 1711843080 + 30 * i});
  }
  vd::test::TempDir dir;
  std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>T</name><trkseg>\n";
  for (const TrackPoint& p : track) {
    gpx += vd::os::FormatC("<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>3.5</ele><time>%s</time>"
                           "<fix>3d</fix><sat>8</sat><hdop>0.9</hdop></trkpt>\n",
                           p.lat, p.lon, IsoTime(p.time).c_str());
  }
  gpx += "</trkseg></trk></gpx>\n";
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("in.gpx"), gpx));
  const vd::os::SpawnResult babel = vd::os::Spawn(
      "gpsbabel", {"-i", "gpx", "-f", dir.File("in.gpx"), "-x", "track,course,speed", "-o",
                   "nmea", "-F", dir.File("out.nmea")},
      true);
  ASSERT_TRUE(babel.started && babel.exit_code == 0) << babel.error;

  PersistantData::SetBaseName(dir.File("settings"));
  CMarkManager marks;
  CTrackManager tracks;
  COverlayGPSPosition own;
  CGPSPositionFeed feed;
  CTrackManager::Settings().doRecordTrack = true;
  Fixes fixes;
  CNMEASimulation::Settings().filename = dir.File("out.nmea");
  CDataConnection::Settings().gps_connection_type = CDataConnection::kSimulationFile;
  ASSERT_NE(SelectDataConnection(), nullptr);
  for (int tick = 0; tick < 5000 && fixes.seen.size() < track.size(); ++tick) CHeartbeat::Tick();
  CloseDataConnection();
  CTrackManager::Settings().doRecordTrack = false;

  ASSERT_EQ(fixes.seen.size(), track.size());
  for (size_t i = 0; i < track.size(); ++i) {
    EXPECT_NEAR(fixes.seen[i].lat, track[i].lat, 1e-6) << i;
    EXPECT_NEAR(fixes.seen[i].lon, track[i].lon, 1e-6) << i;
    EXPECT_EQ(fixes.seen[i].time, track[i].time) << i;
  }
  EXPECT_EQ(own.altitude, 4) << "gpsbabel's GGA carries the elevation";
  ASSERT_EQ(tracks.tracks.size(), 1u);
  const COverlayTrack& recorded = *tracks.tracks.front();
  ASSERT_TRUE(recorded.GetLastPoint().has_value());
  EXPECT_NEAR(recorded.GetLastPoint()->latitude, track.back().lat, 1e-6);
  EXPECT_EQ(recorded.GetLastPoint()->time, track.back().time);
}

}  // namespace
