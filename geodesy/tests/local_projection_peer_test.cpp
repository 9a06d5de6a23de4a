// Ranges and bearings of the flat projection against geodesics on the WGS84 ellipsoid computed by
// GeodSolve. Near its origin the projection has the ellipsoid's own scale, so within a kilometre
// or two ranges agree to a few parts in 10^4 and bearings to a few hundredths of a degree up to
// latitude 75; the gap grows with the distance and towards the poles.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "geodesy/local_projection.h"
#include "platform/os/files.h"
#include "platform/os/process.h"
#include "tests/temp_dir.h"

namespace {

struct Origin {
  double lat, lon;
};
const Origin kOrigins[] = {
    {0, 0},         {0.4, -179.9}, {12.3, 45.6},   {-33.9, 18.4}, {45, 10},   {51.5, -0.1},
    {-45.2, 170.5}, {60, -150},    {-66.6, 100.2}, {70.1, 25.3},  {-75, -60}, {74.9, 179.5},
};
struct Offset {
  double metres, bearing;
};
const Offset kOffsets[] = {{1000, 0},   {1000, 90},   {700, 225},
                           {2000, 123}, {150, 301.5}, {1500, 180}};

struct Geodesic {
  double azimuth;  // degrees, -180..180
  double metres;
};

// GeodSolve -i over the pairs (lat1 lon1 lat2 lon2), through files.
std::vector<Geodesic> SolveInverse(const std::vector<std::string>& lines) {
  vd::test::TempDir dir;
  std::string input;
  for (const std::string& line : lines) input += line + "\n";
  const std::string in = dir.File("in.txt");
  const std::string out = dir.File("out.txt");
  EXPECT_TRUE(vd::os::SaveFileAtomically(in, input));
  const vd::os::SpawnResult run =
      vd::os::Spawn("GeodSolve", {"-i", "-p", "6", "--input-file", in, "--output-file", out}, true);
  EXPECT_TRUE(run.started) << run.error;
  EXPECT_EQ(run.exit_code, 0);
  std::string text;
  EXPECT_TRUE(vd::os::ReadWholeFile(out, text));
  std::vector<Geodesic> result;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    double v[3];
    for (double& x : v) {
      while (p < end && (*p == ' ' || *p == '\n')) ++p;
      const auto [next, ec] = std::from_chars(p, end, x);
      if (ec != std::errc()) return result;
      p = next;
    }
    result.push_back({v[0], v[2]});
    while (p < end && (*p == ' ' || *p == '\n')) ++p;
  }
  return result;
}

std::string Line(double lat1, double lon1, double lat2, double lon2) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%.12f %.12f %.12f %.12f", lat1, lon1, lat2, lon2);
  return buffer;
}

TEST(LocalProjectionPeerTest, RangesAndBearingsNearTheOriginMatchGeodesics) {
  struct Probe {
    Origin origin;
    double lat, lon;
    RangeBearing local;
  };
  std::vector<Probe> probes;
  std::vector<std::string> lines;
  for (const Origin& o : kOrigins) {
    CLocalProjection p;
    p.SetOrigin(o.lat, o.lon);
    for (const Offset& off : kOffsets) {
      const double b = off.bearing * M_PI / 180;
      const double lat = o.lat + off.metres * std::cos(b) / p.north_factor();
      const double lon = o.lon + off.metres * std::sin(b) / p.east_factor();
      probes.push_back({o, lat, lon, p.RangeBearingTo(lat, lon)});
      lines.push_back(Line(o.lat, o.lon, lat, lon));
    }
  }
  const std::vector<Geodesic> peer = SolveInverse(lines);
  ASSERT_EQ(peer.size(), probes.size());
  for (size_t i = 0; i < probes.size(); ++i) {
    const Probe& pr = probes[i];
    const double range = pr.local.range_metres;
    EXPECT_NEAR(range, peer[i].metres, 5e-4 * range + 1e-3)
        << pr.origin.lat << "," << pr.origin.lon << " to " << pr.lat << "," << pr.lon;
    const double gap = std::remainder(pr.local.bearing_degrees - peer[i].azimuth, 360.0);
    EXPECT_NEAR(gap, 0.0, 0.05) << pr.origin.lat << "," << pr.origin.lon << " bearing "
                                << pr.local.bearing_degrees;
  }
}

TEST(LocalProjectionPeerTest, DistanceBetweenTwoPointsNearTheOrigin) {
  std::vector<std::string> lines;
  std::vector<double> local;
  for (const Origin& o : kOrigins) {
    CLocalProjection p;
    p.SetOrigin(o.lat, o.lon);
    const double lat1 = o.lat + 300 / p.north_factor(), lon1 = o.lon - 400 / p.east_factor();
    const double lat2 = o.lat - 500 / p.north_factor(), lon2 = o.lon + 200 / p.east_factor();
    local.push_back(p.DistanceBetween(lat1, lon1, lat2, lon2));
    lines.push_back(Line(lat1, lon1, lat2, lon2));
  }
  const std::vector<Geodesic> peer = SolveInverse(lines);
  ASSERT_EQ(peer.size(), local.size());
  for (size_t i = 0; i < local.size(); ++i) {
    EXPECT_NEAR(local[i], peer[i].metres, 5e-4 * local[i]) << kOrigins[i].lat;
  }
}

}  // namespace
