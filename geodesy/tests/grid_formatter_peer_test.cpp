// The grid formatters against independent tools: UTM and MGRS against GeoConvert, the British
// National Grid and the Ordnance Survey projection against cs2cs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "geodesy/utm_grid_formatter.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kMetresPerDegree = 111320.0;

struct LatLon {
  double lat;
  double lon;
};

double GroundDistance(const LatLon& a, const LatLon& b) {
  const double north = (a.lat - b.lat) * kMetresPerDegree;
  const double east = std::remainder(a.lon - b.lon, 360.0) * kMetresPerDegree *
                      std::cos(a.lat * std::numbers::pi / 180.0);
  return std::hypot(north, east);
}

// Runs a tool's command line with the lines as its standard input; one output line comes back
// per input line.
std::vector<std::string> RunTool(const std::string& command,
                                 const std::vector<std::string>& lines) {
  vd::test::TempDir dir;
  const std::string input = dir.File("input.txt");
  {
    std::ofstream out(input);
    for (const std::string& line : lines) out << line << '\n';
  }
  std::vector<std::string> output;
  FILE* pipe = ::popen((command + " < '" + input + "' 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return output;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    output.push_back(line);
  }
  EXPECT_EQ(::pclose(pipe), 0) << command;
  EXPECT_EQ(output.size(), lines.size()) << command;
  output.resize(lines.size());
  return output;
}

std::string LatLonLine(const LatLon& p) {
  char line[80];
  std::snprintf(line, sizeof line, "%.10f %.10f", p.lat, p.lon);
  return line;
}

// GeoConvert's UTM output: "31n 448251.795 5411932.678".
struct PeerUtm {
  bool ok = false;
  int zone = 0;
  char hemisphere = 0;
  double easting = 0.0;
  double northing = 0.0;
};

PeerUtm ReadPeerUtm(const std::string& line) {
  PeerUtm u;
  u.ok = std::sscanf(line.c_str(), "%d%c %lf %lf", &u.zone, &u.hemisphere, &u.easting,
                     &u.northing) == 4;
  return u;
}

// Our texts: "31n 448252E 5411933N" or "31U 448252E 5411933N".
struct OurUtm {
  int zone = 0;
  char letter = 0;
  int easting = 0;
  int northing = 0;
};

OurUtm ReadOurUtm(const std::string& text) {
  OurUtm u;
  EXPECT_EQ(std::sscanf(text.c_str(), "%d%c %dE %dN", &u.zone, &u.letter, &u.easting, &u.northing),
            4)
      << text;
  return u;
}

// Over the globe and the places where zones and bands change: the equator on both sides,
// zone edges, the Norway and Svalbard exceptions, the 84N and 80S limits, the antimeridian.
const LatLon kGlobe[] = {
    {51.5, -0.13},       {-33.9249, 18.4241}, {40.7128, -74.006}, {-54.8, -68.3},
    {35.68, 139.69},     {-41.29, 174.78},    {64.13, -21.9},     {-12.05, -77.04},
    {1.29, 103.85},      {19.43, -99.13},     {-79.5, -120.0},    {71.29, -156.79},
    {0.0, 3.5},          {0.0000001, 9.0},    {-0.0000001, 9.0},  {0.3, -0.0000001},
    {-0.3, 0.0},         {12.0, 6.0},         {12.0, 5.9999999},  {-45.0, -6.0},
    {-45.0, -6.0000001}, {60.4, 5.3},         {56.5, 3.5},        {63.9, 11.9},
    {64.1, 5.0},         {55.9, 5.0},         {60.0, 2.9},        {78.2, 15.6},
    {78.0, 10.0},        {79.0, 8.5},         {80.0, 25.0},       {74.0, 40.0},
    {83.9, 30.0},        {71.9, 8.0},         {83.999, 20.0},     {-80.0, 30.0},
    {-79.999, -170.0},   {10.0, 179.99},      {10.0, -179.99},    {-45.0, 179.5},
    {65.0, -180.0},      {-16.5, 180.0},      {47.3, -122.3},     {-23.55, -46.63},
};

// Positions where the plain 6-degree rule and the standard zone may part: the Norway and
// Svalbard exceptions, longitude 180 (standard zone 1, ours 60) and the polar caps.
bool StandardZoneMayDiffer(const LatLon& p) {
  const bool norway = p.lat >= 56 && p.lat < 64 && p.lon >= 3 && p.lon < 12;
  const bool svalbard = p.lat >= 72 && p.lat < 84 && p.lon >= 0 && p.lon < 42;
  return norway || svalbard || p.lon == 180.0 || p.lat >= 84 || p.lat < -80;
}

TEST(GridFormatterPeerTest, UtmMatchesGeoConvert) {
  UTM_WGS84_Grid utm;
  UTMbands_WGS84_Grid bands;
  std::vector<std::string> lines;
  for (const LatLon& p : kGlobe) lines.push_back(LatLonLine(p));
  const std::vector<std::string> standard = RunTool("GeoConvert -u -p 3", lines);
  const std::vector<std::string> mgrs = RunTool("GeoConvert -m -p 0", lines);

  // Our texts, and GeoConvert forced into our zones, one run per zone.
  std::vector<std::string> ours(std::size(kGlobe));
  std::map<int, std::vector<size_t>> by_zone;
  for (size_t i = 0; i < std::size(kGlobe); ++i) {
    ASSERT_TRUE(utm.FormatPosition(kGlobe[i].lat, kGlobe[i].lon, ours[i])) << lines[i];
    by_zone[ReadOurUtm(ours[i]).zone].push_back(i);
  }
  std::vector<PeerUtm> forced(std::size(kGlobe));
  for (const auto& [zone, indices] : by_zone) {
    std::vector<std::string> group;
    for (size_t i : indices) group.push_back(lines[i]);
    const std::vector<std::string> out =
        RunTool("GeoConvert -u -p 3 -z " + std::to_string(zone), group);
    for (size_t k = 0; k < indices.size(); ++k) forced[indices[k]] = ReadPeerUtm(out[k]);
  }

  for (size_t i = 0; i < std::size(kGlobe); ++i) {
    const LatLon& p = kGlobe[i];
    SCOPED_TRACE(lines[i] + " -> " + ours[i]);
    const OurUtm our = ReadOurUtm(ours[i]);
    const PeerUtm& peer = forced[i];
    ASSERT_TRUE(peer.ok);
    EXPECT_EQ(our.zone, peer.zone);
    EXPECT_EQ(our.letter, peer.hemisphere);
    EXPECT_LE(std::fabs(our.easting - peer.easting), 0.51);
    EXPECT_LE(std::fabs(our.northing - peer.northing), 0.51);

    const PeerUtm std_zone = ReadPeerUtm(standard[i]);
    if (!StandardZoneMayDiffer(p)) {
      ASSERT_TRUE(std_zone.ok) << standard[i];
      EXPECT_EQ(our.zone, std_zone.zone);
    }

    // Grid coordinates to the centimetre.
    utm.SetZoneFor(p.lat, p.lon);
    double x = 0.0;
    double y = 0.0;
    ASSERT_TRUE(utm.LatLonToGrid(p.lat, p.lon, x, y));
    EXPECT_NEAR(x, peer.easting, 0.01);
    EXPECT_NEAR(y, peer.northing, 0.01);

    // Bands as MGRS has them, within the UTM latitudes.
    std::string banded;
    ASSERT_TRUE(bands.FormatPosition(p.lat, p.lon, banded));
    const OurUtm band = ReadOurUtm(banded);
    EXPECT_EQ(band.zone, our.zone);
    EXPECT_EQ(band.northing, our.northing);
    if (p.lat >= -80 && p.lat < 84) {
      const size_t digits = mgrs[i].find_first_not_of("0123456789");
      ASSERT_NE(digits, std::string::npos) << mgrs[i];
      EXPECT_EQ(band.letter, mgrs[i][digits]) << mgrs[i];
    }
  }
}

// Our UTM texts read back by us and by GeoConvert land on the same point.
TEST(GridFormatterPeerTest, UtmParsingMatchesGeoConvert) {
  UTM_WGS84_Grid utm;
  std::vector<std::string> texts;
  std::vector<std::string> peer_lines;
  for (const LatLon& p : kGlobe) {
    std::string text;
    ASSERT_TRUE(utm.FormatPosition(p.lat, p.lon, text));
    const OurUtm u = ReadOurUtm(text);
    texts.push_back(text);
    peer_lines.push_back(std::to_string(u.zone) + u.letter + " " + std::to_string(u.easting) + " " +
                         std::to_string(u.northing));
  }
  const std::vector<std::string> peer = RunTool("GeoConvert -g -p 9", peer_lines);
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i] + " / " + peer[i]);
    LatLon want{0.0, 0.0};
    ASSERT_EQ(std::sscanf(peer[i].c_str(), "%lf %lf", &want.lat, &want.lon), 2);
    LatLon got{0.0, 0.0};
    ASSERT_TRUE(utm.ParsePosition(texts[i], got.lat, got.lon));
    EXPECT_LT(GroundDistance(got, want), 0.01);
  }
}

TEST(GridFormatterPeerTest, MgrsMatchesGeoConvert) {
  MGRS_Grid mgrs;
  std::vector<LatLon> points(std::begin(kGlobe), std::end(kGlobe));
  // MGRS goes on to the poles through UPS.
  for (const LatLon& p : {LatLon{84.0, 20.0}, LatLon{-80.0001, 30.0}, LatLon{90.0, 0.0},
                          LatLon{-90.0, 0.0}, LatLon{87.5, -135.0}, LatLon{-85.0, 60.0}}) {
    points.push_back(p);
  }
  std::vector<std::string> lines;
  for (const LatLon& p : points) lines.push_back(LatLonLine(p));
  const std::vector<std::string> peer = RunTool("GeoConvert -m -p 0", lines);
  const std::vector<std::string> centres = RunTool("GeoConvert -g -p 9", peer);
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(lines[i] + " -> " + peer[i]);
    std::string text;
    ASSERT_TRUE(mgrs.FormatPosition(points[i].lat, points[i].lon, text));
    EXPECT_EQ(text, peer[i]);

    LatLon want{0.0, 0.0};
    ASSERT_EQ(std::sscanf(centres[i].c_str(), "%lf %lf", &want.lat, &want.lon), 2) << centres[i];
    LatLon got{0.0, 0.0};
    ASSERT_TRUE(mgrs.ParsePosition(peer[i], got.lat, got.lon));
    EXPECT_LT(GroundDistance(got, want), 0.01);
  }
}

// ---- British National Grid ----

const char kOsTm[] =
    "+proj=tmerc +lat_0=49 +lon_0=-2 +k=0.9996012717 +x_0=400000 +y_0=-100000 +ellps=airy";
const char kOsHelmert[] = " +towgs84=446.448,-125.157,542.06,0.15,0.247,0.842,-20.489 +units=m";

// Over Great Britain from the Scilly Isles to Shetland, the western edge of the grid included.
const LatLon kBritain[] = {
    {49.95, -6.3},     {50.07, -5.7},  {50.37, -4.14}, {51.5007, -0.1246},
    {52.6576, 1.7179}, {53.4, -2.98},  {54.5, -8.0},   {55.95, -3.19},
    {56.8, -7.5},      {57.48, -4.22}, {58.64, -3.07}, {60.15, -1.15},
    {60.8, -0.8},      {51.1, 1.3},    {52.0, -4.5},   {58.2, -6.4},
};

std::vector<std::string> LonLatLines(const std::vector<LatLon>& points) {
  std::vector<std::string> lines;
  for (const LatLon& p : points) {
    char line[80];
    std::snprintf(line, sizeof line, "%.10f %.10f", p.lon, p.lat);
    lines.push_back(line);
  }
  return lines;
}

struct Pair {
  double a = 0.0;
  double b = 0.0;
};

std::vector<Pair> ReadPairs(const std::vector<std::string>& lines) {
  std::vector<Pair> pairs;
  for (const std::string& line : lines) {
    Pair p;
    EXPECT_EQ(std::sscanf(line.c_str(), "%lf %lf", &p.a, &p.b), 2) << line;
    pairs.push_back(p);
  }
  return pairs;
}

TEST(GridFormatterPeerTest, BritishNationalGridMatchesCs2cs) {
  OSGB_National_Grid osgb;
  const std::vector<LatLon> points(std::begin(kBritain), std::end(kBritain));
  const std::string to_grid =
      std::string("cs2cs -f %.4f +proj=longlat +datum=WGS84 +to ") + kOsTm + kOsHelmert;
  const std::vector<Pair> grid = ReadPairs(RunTool(to_grid, LonLatLines(points)));
  ASSERT_EQ(grid.size(), points.size());

  std::vector<std::string> grid_lines;
  for (size_t i = 0; i < points.size(); ++i) {
    const LatLon& p = points[i];
    SCOPED_TRACE(LatLonLine(p));
    double x = 0.0;
    double y = 0.0;
    ASSERT_TRUE(osgb.LatLonToGrid(p.lat, p.lon, x, y));
    EXPECT_NEAR(x, grid[i].a, 1.0);
    EXPECT_NEAR(y, grid[i].b, 1.0);

    // The text is that grid position to the metre, under the right square letters.
    std::string text;
    ASSERT_TRUE(osgb.FormatPosition(p.lat, p.lon, text));
    double text_e = 0.0;
    double text_n = 0.0;
    ASSERT_TRUE(ParseOsGridReference(text, text_e, text_n)) << text;
    EXPECT_NEAR(text_e, grid[i].a, 1.5) << text;
    EXPECT_NEAR(text_n, grid[i].b, 1.5) << text;

    char line[80];
    std::snprintf(line, sizeof line, "%.4f %.4f", x, y);
    grid_lines.push_back(line);
  }

  // And back from the grid.
  const std::string from_grid =
      std::string("cs2cs -f %.10f ") + kOsTm + kOsHelmert + " +to +proj=longlat +datum=WGS84";
  const std::vector<Pair> back = ReadPairs(RunTool(from_grid, grid_lines));
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(grid_lines[i]);
    double x = 0.0;
    double y = 0.0;
    ASSERT_EQ(std::sscanf(grid_lines[i].c_str(), "%lf %lf", &x, &y), 2);
    LatLon got{0.0, 0.0};
    ASSERT_TRUE(osgb.GridToLatLon(x, y, got.lat, got.lon));
    EXPECT_LT(GroundDistance(got, {back[i].b, back[i].a}), 1.0);
  }
}

// The projection alone, on Airy 1830 at both ends: no datum change to blur the comparison.
TEST(GridFormatterPeerTest, OrdnanceSurveyProjectionMatchesCs2cs) {
  const TransverseMercator os = OrdnanceSurveyProjection();
  const std::vector<LatLon> points(std::begin(kBritain), std::end(kBritain));
  const std::string forward =
      std::string("cs2cs -f %.6f +proj=longlat +ellps=airy +to ") + kOsTm + " +units=m";
  const std::vector<Pair> grid = ReadPairs(RunTool(forward, LonLatLines(points)));
  ASSERT_EQ(grid.size(), points.size());
  std::vector<std::string> grid_lines;
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(LatLonLine(points[i]));
    double e = 0.0;
    double n = 0.0;
    ASSERT_TRUE(TransverseMercatorForward(os, points[i].lat, points[i].lon, e, n));
    EXPECT_NEAR(e, grid[i].a, 0.001);
    EXPECT_NEAR(n, grid[i].b, 0.001);
    char line[80];
    std::snprintf(line, sizeof line, "%.6f %.6f", grid[i].a, grid[i].b);
    grid_lines.push_back(line);
  }

  const std::string inverse =
      std::string("cs2cs -f %.12f ") + kOsTm + " +units=m +to +proj=longlat +ellps=airy";
  const std::vector<Pair> back = ReadPairs(RunTool(inverse, grid_lines));
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(grid_lines[i]);
    LatLon got{0.0, 0.0};
    ASSERT_TRUE(TransverseMercatorInverse(os, grid[i].a, grid[i].b, got.lat, got.lon));
    // North and east apart, as for the grid coordinates above.
    EXPECT_NEAR(GroundDistance(got, {back[i].b, got.lon}), 0.0, 0.001);
    EXPECT_NEAR(GroundDistance(got, {got.lat, back[i].a}), 0.0, 0.001);
  }
}

}  // namespace
