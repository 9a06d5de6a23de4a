// Checks the NMEA input against sentences written by gpsbabel, and the NMEA output against
// gpsbabel's reading of it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/xml_document.h"
#include "core/xml_node.h"
#include "app/nmea_fields.h"
#include "gps/nmea_input.h"
#include "gps/nmea_waypoint_sentences.h"
#include "gps/tests/gps_test_support.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/os/process.h"
#include "tests/pty_pair.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::InstantClock;
using vd::test::NoticeWindow;

struct TrackPoint {
  double lat, lon;
  int64_t time;
};

// A few hundred points of a boat crossing the prime meridian south of the equator, with
// irregular steps and times across midnight.
std::vector<TrackPoint> MakeTrack() {
  std::vector<TrackPoint> track;
  double lat = -33.91, lon = -0.013;
  int64_t t = 1711842900;  // 2024-03-30 23:55:00 UTC
  for (int i = 0; i < 300; ++i) {
    track.push_back({lat, lon, t});
    t += 1 + i % 3;
    lat += 0.00011 * std::sin(i * 0.05) + 0.00003;
    lon += 0.00017 * (1.0 + 0.5 * std::cos(i * 0.11));
  }
  return track;
}

std::string IsoTime(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  tm utc{};
  gmtime_r(&tt, &utc);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string Gpx(const std::vector<TrackPoint>& track) {
  std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>T</name><trkseg>\n";
  for (const TrackPoint& p : track) {
    gpx += vd::os::FormatC(
        "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>3.5</ele><time>%s</time><fix>3d</fix>"
        "<sat>8</sat><hdop>0.9</hdop></trkpt>\n",
        p.lat, p.lon, IsoTime(p.time).c_str());
  }
  return gpx + "</trkseg></trk></gpx>\n";
}

bool RunGpsbabel(const std::vector<std::string>& args) {
  vd::os::SpawnResult r = vd::os::Spawn("gpsbabel", args, true);
  return r.started && r.exit_code == 0;
}

// What an RMC sentence of the file says, read field by field here rather than by the code
// under test.
struct RmcFields {
  double lat, lon;
  int64_t time;
  double speed, course;
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find_first_of(",*", start);
    fields.push_back(line.substr(start, comma - start));
    if (comma == std::string::npos || line[comma] == '*') return fields;
    start = comma + 1;
  }
}

double Number(const std::string& text) {
  double v = 0;
  EXPECT_TRUE(vd::os::ParseDouble(text, v)) << text;
  return v;
}

double Angle(const std::string& value, const std::string& hemisphere, size_t degree_digits) {
  double degrees =
      Number(value.substr(0, degree_digits)) + Number(value.substr(degree_digits)) / 60;
  return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

std::vector<RmcFields> RmcSentences(const std::string& nmea) {
  std::vector<RmcFields> out;
  size_t pos = 0;
  while (pos < nmea.size()) {
    size_t end = nmea.find('\n', pos);
    std::string line = nmea.substr(pos, end - pos);
    pos = end == std::string::npos ? nmea.size() : end + 1;
    if (line.rfind("$GPRMC,", 0) != 0) continue;
    const std::vector<std::string> f = Split(line);
    tm date{};
    date.tm_mday = std::atoi(f[9].substr(0, 2).c_str());
    date.tm_mon = std::atoi(f[9].substr(2, 2).c_str()) - 1;
    date.tm_year = 100 + std::atoi(f[9].substr(4, 2).c_str());
    date.tm_hour = std::atoi(f[1].substr(0, 2).c_str());
    date.tm_min = std::atoi(f[1].substr(2, 2).c_str());
    date.tm_sec = std::atoi(f[1].substr(4, 2).c_str());
    out.push_back({Angle(f[3], f[4], 2), Angle(f[5], f[6], 3), static_cast<int64_t>(timegm(&date)),
                   Number(f[7]), Number(f[8])});
  }
  return out;
}

class NmeaInputPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    track_ = MakeTrack();
    ASSERT_TRUE(vd::os::SaveFileAtomically(dir_.File("in.gpx"), Gpx(track_)));
    ASSERT_TRUE(RunGpsbabel({"-i", "gpx", "-f", dir_.File("in.gpx"), "-x", "track,course,speed",
                             "-o", "nmea", "-F", dir_.File("out.nmea")}));
    ASSERT_TRUE(vd::os::ReadWholeFile(dir_.File("out.nmea"), nmea_));
    rmc_ = RmcSentences(nmea_);
    ASSERT_EQ(rmc_.size(), track_.size());
  }

  // The first RMC of a run is never posted; every later one is, with what the file says.
  void ExpectFixesMatch(const std::vector<vd::test::ReceivedNotice>& notices, bool simulated) {
    std::vector<GPS_position_info> fixes;
    for (const auto& n : notices)
      if (n.code == kGpsNoticeFix) fixes.push_back(n.record);
    ASSERT_EQ(fixes.size(), rmc_.size() - 1);
    for (size_t i = 0; i < fixes.size(); ++i) {
      SCOPED_TRACE(i);
      const GPS_position_info& fix = fixes[i];
      const RmcFields& rmc = rmc_[i + 1];
      const TrackPoint& point = track_[i + 1];
      ASSERT_TRUE(fix.valid);
      EXPECT_EQ(fix.simulated, simulated);
      EXPECT_NEAR(fix.position.lat, rmc.lat, 1e-5);
      EXPECT_NEAR(fix.position.lon, rmc.lon, 1e-5);
      EXPECT_NEAR(fix.position.lat, point.lat, 1e-5);
      EXPECT_NEAR(fix.position.lon, point.lon, 1e-5);
      EXPECT_EQ(fix.time, rmc.time);
      EXPECT_EQ(fix.time, point.time);
      EXPECT_NEAR(fix.speed, rmc.speed, 1e-3 + rmc.speed * 1e-6);
      EXPECT_NEAR(fix.course, rmc.course, 1e-3);
      EXPECT_GT(fix.speed, 0.0f);
    }
  }

  vd::test::TempDir dir_;
  std::vector<TrackPoint> track_;
  std::string nmea_;
  std::vector<RmcFields> rmc_;
};

TEST_F(NmeaInputPeerTest, FixesThroughASerialLineAt4800Baud) {
  vd::test::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  NoticeWindow window;
  GPS_position_info record;
  GPSParams params;
  params.type = GPSParams::kNmea;
  params.port = pty.slave_path();
  params.baud_index = 4;
  auto clock = std::make_shared<InstantClock>();
  auto gps = std::make_unique<CNMEA_input>(window.window(), params, record, clock);
  // The port discards what came before it opened: start the device once it listens.
  ASSERT_TRUE(clock->WaitForIdlePoll());
  std::thread device([&] { EXPECT_TRUE(pty.WriteToMaster(nmea_)); });
  EXPECT_TRUE(window.DispatchUntil([&] { return window.Count(kGpsNoticeFix) >= rmc_.size() - 1; }));
  device.join();
  gps.reset();
  window.window().DispatchPending();
  ExpectFixesMatch(window.notices(), false);
}

TEST_F(NmeaInputPeerTest, FixesFromADemoFile) {
  NoticeWindow window;
  GPS_position_info record;
  GPSParams params;
  params.type = GPSParams::kNmea;
  params.port = dir_.File("out.nmea");
  auto gps = std::make_unique<CNMEA_input>(window.window(), params, record,
                                           std::make_shared<InstantClock>());
  ASSERT_TRUE(window.DispatchUntilCode(kGpsNoticeFailure));  // the end of the file
  gps.reset();
  ExpectFixesMatch(window.notices(), true);
}

TEST(NmeaOutputPeerTest, RouteSentencesReadBackByGpsbabel) {
  vd::test::TempDir dir;
  vd::test::PtyPair pty;
  ASSERT_TRUE(pty.Open());
  NoticeWindow window;
  GPS_position_info record;
  GPSParams params;
  params.type = GPSParams::kNmea;
  params.port = pty.slave_path();
  auto clock = std::make_shared<InstantClock>();
  CNMEA_input gps(window.window(), params, record, clock);
  ASSERT_TRUE(clock->WaitForIdlePoll());

  GpsObjectList objects;
  GpsRoute route{"Coastal passage", {}};
  for (int i = 0; i < 40; ++i) {
    // Long names that agree in their first six letters and digits.
    route.points.push_back(
        {"Passage mark number " + std::to_string(i + 1), {-12.5 + i * 0.0173, 179.9 - i * 0.0411}});
  }
  objects.routes.push_back(route);
  // 40 WPL sentences, then RTE sentences for the first 30 marks.
  std::string sent;
  std::thread device([&] {
    int line_ends = 0;
    while (line_ends < 40 + 15) {
      std::string byte = pty.ReadFromMaster(1);
      if (byte.empty()) return;
      sent += byte;
      line_ends += byte == "\n";
    }
  });
  EXPECT_EQ(gps.Export(CGPSInterface::kRoutes, objects), 1);
  device.join();
  EXPECT_NE(gps.message.find("has 40 points"), std::string::npos);
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("route.nmea"), sent));

  // The names we sent, in order, from the WPL sentences; the RTE sentences use the same.
  std::vector<std::string> wpl_names, rte_names;
  for (size_t pos = 0; pos < sent.size();) {
    const size_t end = sent.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    const std::string line = sent.substr(pos, end - pos);
    pos = end + 2;
    EXPECT_TRUE(NMEAChecksumOK(line)) << line;
    const std::vector<std::string> f = Split(line);
    if (f[0] == "$ECWPL") wpl_names.push_back(f[5]);
    if (f[0] == "$ECRTE")
      for (size_t i = 5; i < f.size(); ++i) rte_names.push_back(f[i]);
  }
  ASSERT_EQ(wpl_names.size(), 40u);
  EXPECT_EQ(std::set<std::string>(wpl_names.begin(), wpl_names.end()).size(), 40u);
  EXPECT_EQ(rte_names, std::vector<std::string>(wpl_names.begin(), wpl_names.begin() + 30));

  ASSERT_TRUE(RunGpsbabel(
      {"-i", "nmea", "-f", dir.File("route.nmea"), "-o", "gpx", "-F", dir.File("back.gpx")}));
  CXmlDocument doc;
  CXmlNode* root = doc.Load(dir.File("back.gpx"));
  ASSERT_NE(root, nullptr);
  size_t i = 0;
  while (CXmlNode* wpt = root->FindNextDescendant("wpt")) {
    ASSERT_LT(i, route.points.size());
    SCOPED_TRACE(i);
    EXPECT_NEAR(wpt->GetAttributeDouble("lat", 1000), route.points[i].position.lat, 1e-5);
    EXPECT_NEAR(wpt->GetAttributeDouble("lon", 1000), route.points[i].position.lon, 1e-5);
    std::string name;
    if (CXmlNode* n = wpt->FindChild("name")) n->GetInnerText(name);
    EXPECT_EQ(name, wpl_names[i]);
    ++i;
  }
  EXPECT_EQ(i, route.points.size());
}

}  // namespace
