// The sample data the run command points the GPS input at: the demo track, replayed through the
// NMEA reader, is a flight across the sample chart at one fix a second.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "charts/old_quick_chart.h"
#include "gps/nmea_fix_parser.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

// The step between two positions a few hundred metres apart at most: metres north and east.
struct Step {
  double north, east;
  double Metres() const { return std::hypot(north, east); }
  double Bearing() const { return std::atan2(east, north) * 180 / std::numbers::pi; }
};

Step StepBetween(const GeoPoint& a, const GeoPoint& b) {
  constexpr double kMetresPerDegree = 111320;
  const double mid_latitude = (a.lat + b.lat) / 2 * std::numbers::pi / 180;
  return {(b.lat - a.lat) * kMetresPerDegree,
          (b.lon - a.lon) * kMetresPerDegree * std::cos(mid_latitude)};
}

// Degrees from one direction to another, -180 to 180.
double Turn(double from, double to) { return std::remainder(to - from, 360.0); }

TEST(SampleTrack, ReplaysAsOneFixASecondAcrossTheSampleChart) {
  // Written by the build beside the sample chart: <build>/sample, two levels above this test.
  const std::string folder = vd::os::ProgramFolder() + "/../../sample";
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(folder + "/Sample Track.nmea", text));
  const auto chart = OpenOldQuickChart(folder + "/Sample Chart.qct", false);
  ASSERT_TRUE(chart);

  NmeaFixParser parser([] { return int64_t{1717236000}; });
  parser.StartRun();
  int rmc_sentences = 0;
  std::vector<GPS_position_info> fixes;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(std::string::npos, end) << "a line without CR LF at byte " << start;
    const std::string_view line(text.data() + start, end - start);
    start = end + 2;
    SCOPED_TRACE(std::string(line));
    // A sentence the reader drops (a wrong checksum, say) leaves the altitude alone.
    parser.record().altitude = 0;
    const int notice = parser.ParseLine(line);
    const GPS_position_info& record = parser.record();
    if (line.starts_with("$GPGGA,")) {
      EXPECT_GT(record.altitude, 1000);
      EXPECT_EQ(1, record.fix_quality);
    } else {
      ASSERT_TRUE(line.starts_with("$GPRMC,"));
      ++rmc_sentences;
      EXPECT_TRUE(record.valid);
      EXPECT_STREQ("OK", record.status);
    }
    if (notice == kGpsNoticeFix) fixes.push_back(record);
  }

  // The first RMC of a run never makes a fix; every other one does.
  ASSERT_EQ(size_t(rmc_sentences - 1), fixes.size());
  ASSERT_GT(fixes.size(), 600u);
  for (size_t i = 0; i < fixes.size(); ++i) {
    SCOPED_TRACE(i);
    double x = 0, y = 0;
    chart->LatLonToPixelF(fixes[i].position.lat, fixes[i].position.lon, x, y);
    EXPECT_TRUE(x >= 0 && x < chart->width() && y >= 0 && y < chart->height()) << x << "," << y;
    if (i == 0) continue;
    EXPECT_EQ(fixes[i - 1].time + 1, fixes[i].time);
    // 140 knots is 72 m a second, along the course of the fix before.
    const Step step = StepBetween(fixes[i - 1].position, fixes[i].position);
    EXPECT_NEAR(140.0 * 1852 / 3600, step.Metres(), 2);
    EXPECT_FLOAT_EQ(140, fixes[i].speed);
    EXPECT_NEAR(0, Turn(fixes[i - 1].course, step.Bearing()), 2);
  }
  // It crosses the chart from west to east.
  double first_x = 0, last_x = 0, y = 0;
  chart->LatLonToPixelF(fixes.front().position.lat, fixes.front().position.lon, first_x, y);
  chart->LatLonToPixelF(fixes.back().position.lat, fixes.back().position.lon, last_x, y);
  EXPECT_LT(first_x, chart->width() * 0.05);
  EXPECT_GT(last_x, chart->width() * 0.95);
}

}  // namespace
