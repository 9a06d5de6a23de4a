// CProjection against cs2cs: .prj files read by our WKT reader against PROJ's own reading of
// the same text, and the NAD27 shift against cs2cs through the same NTv2 grid.
#include "geodesy/projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "geodesy/tests/nad27_test_grid.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kMetresPerDegree = 111320.0;
constexpr double kMm = 0.001;

struct LatLon {
  double lat, lon;
};
struct XY {
  double x, y;
};

// Runs cs2cs from one system (arguments, each passed as one word) to another over the points
// given as "x y" pairs; NaN where it could not convert one.
std::vector<XY> Cs2cs(const vd::test::TempDir& dir, const std::vector<std::string>& systems,
                      const std::vector<XY>& points) {
  const std::string input = dir.File("cs2cs_in.txt");
  {
    std::ofstream out(input);
    char line[128];
    for (const XY& p : points) {
      std::snprintf(line, sizeof line, "%.12f %.12f\n", p.x, p.y);
      out << line;
    }
  }
  std::string command = "cs2cs -f %.10f";
  // cs2cs takes a word that starts with '+' for one parameter of a system, so a whole system
  // in one word goes without it.
  for (const std::string& s : systems) command += " '" + s.substr(s.starts_with('+') ? 1 : 0) + "'";
  command += " '" + input + "'";
  std::vector<XY> result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    XY r{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    std::sscanf(line, "%lf %lf", &r.x, &r.y);
    result.push_back(r);
  }
  pclose(pipe);
  return result;
}

// How far apart two latitude/longitude positions are, in metres (small distances).
double GroundDistance(double lat1, double lon1, double lat2, double lon2) {
  double north = (lat1 - lat2) * kMetresPerDegree;
  double east = (lon1 - lon2) * kMetresPerDegree * std::cos(lat1 * M_PI / 180.0);
  return std::hypot(north, east);
}

// Checks a projection against cs2cs between `from_to` = {geographic system (longitude
// first), projected system}: Forward of each point within 1 mm of cs2cs's (unit: metres per
// coordinate unit), and Inverse of those coordinates within 1 mm on the ground of cs2cs's
// inverse.
void ExpectMatchesCs2cs(const CProjection& p, const std::vector<std::string>& from_to,
                        const std::vector<LatLon>& points, double unit) {
  vd::test::TempDir dir;
  std::vector<XY> in;
  for (const LatLon& q : points) in.push_back({q.lon, q.lat});
  const std::vector<XY> peer = Cs2cs(dir, from_to, in);
  ASSERT_EQ(peer.size(), points.size());
  const std::vector<XY> peer_back = Cs2cs(dir, {from_to[1], from_to[0]}, peer);
  ASSERT_EQ(peer_back.size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "lat " << points[i].lat << " lon " << points[i].lon);
    ASSERT_TRUE(std::isfinite(peer[i].x) && std::isfinite(peer[i].y));
    double x, y, lat, lon;
    ASSERT_TRUE(p.Forward(points[i].lat, points[i].lon, x, y));
    EXPECT_LT(std::hypot(x - peer[i].x, y - peer[i].y) * unit, kMm)
        << "ours " << x << " " << y << " cs2cs " << peer[i].x << " " << peer[i].y;
    ASSERT_TRUE(p.Inverse(peer[i].x, peer[i].y, lat, lon));
    EXPECT_LT(GroundDistance(lat, lon, peer_back[i].y, peer_back[i].x), kMm);
    EXPECT_LT(GroundDistance(lat, lon, points[i].lat, points[i].lon), 0.01);  // round trip
  }
}

const char kGeogcs83[] =
    R"(GEOGCS["GCS_North_American_1983",DATUM["D_North_American_1983",)"
    R"(SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],)"
    R"(UNIT["Degree",0.0174532925199433]])";
const char kGeogcs27[] =
    R"(GEOGCS["GCS_North_American_1927",DATUM["D_North_American_1927",)"
    R"(SPHEROID["Clarke_1866",6378206.4,294.9786982]],PRIMEM["Greenwich",0.0],)"
    R"(UNIT["Degree",0.0174532925199433]])";
const char kGeogcsGda94[] =
    R"(GEOGCS["GCS_GDA_1994",DATUM["D_GDA_1994",SPHEROID["GRS_1980",6378137.0,298.257222101]],)"
    R"(PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])";

TEST(ProjectionPeer, PrjFilesMatchCs2cs) {
  const struct {
    const char* what;
    const char* geogcs;
    std::string prj_body;  // after the GEOGCS
    double unit;           // metres per coordinate unit
    std::vector<LatLon> points;
  } cases[] = {
      {"Albers, conterminous US, metres", kGeogcs83,
       R"(PROJECTION["Albers"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],)"
       R"(PARAMETER["Central_Meridian",-96.0],PARAMETER["Standard_Parallel_1",29.5],)"
       R"(PARAMETER["Standard_Parallel_2",45.5],PARAMETER["Latitude_Of_Origin",37.5],)"
       R"(UNIT["Meter",1.0])",
       1.0,
       {{25.0, -124.0}, {49.0, -67.0}, {37.5, -96.0}, {30.2, -81.7}, {47.6, -122.3},
        {32.7, -117.2}, {44.9, -93.2}, {64.8, -147.7}, {19.7, -155.1}, {0.0, -96.0}}},
      {"Albers, Australia, southern parallels", kGeogcsGda94,
       R"(PROJECTION["Albers"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],)"
       R"(PARAMETER["Central_Meridian",132.0],PARAMETER["Standard_Parallel_1",-18.0],)"
       R"(PARAMETER["Standard_Parallel_2",-36.0],PARAMETER["Latitude_Of_Origin",0.0],)"
       R"(UNIT["Meter",1.0])",
       1.0,
       {{-12.4, 130.8}, {-33.9, 151.2}, {-31.95, 115.86}, {-42.9, 147.3}, {-23.7, 133.9}}},
      {"transverse Mercator, US survey feet", kGeogcs83,
       R"(PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",1640416.666666667],)"
       R"(PARAMETER["False_Northing",328083.3333333333],PARAMETER["Central_Meridian",-98.5],)"
       R"(PARAMETER["Scale_Factor",0.9999],PARAMETER["Latitude_Of_Origin",29.5],)"
       R"(UNIT["Foot_US",0.3048006096012192])",
       0.3048006096012192,
       {{29.5, -98.5}, {31.0, -97.0}, {27.5, -101.2}, {33.9, -95.1}, {25.9, -97.4},
        {36.5, -100.0}}},
      {"transverse Mercator, UTM 14N on Clarke 1866", kGeogcs27,
       R"(PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",500000.0],)"
       R"(PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-99.0],)"
       R"(PARAMETER["Scale_Factor",0.9996],PARAMETER["Latitude_Of_Origin",0.0],)"
       R"(UNIT["Meter",1.0])",
       1.0,
       {{0.5, -99.0}, {32.0, -96.0}, {48.9, -102.0}, {15.0, -98.2}, {70.0, -101.5}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vd::test::TempDir dir;
    const std::string prj =
        R"(PROJCS["test",)" + std::string(c.geogcs) + "," + c.prj_body + "]";
    std::ofstream(dir.File("layer.prj")) << prj;
    CProjection p;
    ASSERT_TRUE(p.LoadPrj(dir.File("layer.shp")));
    ExpectMatchesCs2cs(p, {c.geogcs, prj}, c.points, c.unit);
  }
}

TEST(ProjectionPeer, Nad27ShiftMatchesCs2csOnTheSameGrid) {
  vd::test::TestProgramFolder folder;
  const std::string grid = folder.proj_folder() + "/conus";
  ASSERT_TRUE(vd::test::WriteNtv2Grid(grid, vd::test::TestNad27Grid()));
  // Inside the grid both as WGS84 and as NAD27 positions.
  const std::vector<LatLon> points = {{30.01, -99.99}, {33.99, -96.01}, {32.0, -98.0},
                                      {30.26, -97.74}, {33.4, -99.6}, {31.55, -96.1}};
  const std::string wgs84 = "+proj=longlat +datum=WGS84 +type=crs";

  CProjection geographic;
  ASSERT_TRUE(geographic.SetDatumName("NAD27"));
  {
    SCOPED_TRACE("geographic NAD27");
    ExpectMatchesCs2cs(geographic,
                       {wgs84, "+proj=longlat +ellps=clrk66 +nadgrids=" + grid + " +type=crs"},
                       points, kMetresPerDegree);
  }
  CProjection utm;
  ASSERT_TRUE(utm.SetDatumName("NAD27"));
  ASSERT_TRUE(utm.SetUtmZone(14));
  {
    SCOPED_TRACE("UTM 14N NAD27");
    ExpectMatchesCs2cs(
        utm, {wgs84, "+proj=utm +zone=14 +ellps=clrk66 +nadgrids=" + grid + " +type=crs"}, points,
        1.0);
  }
}

TEST(ProjectionPeer, ProjStringWithDatumShiftMatchesCs2cs) {
  // Parameters with a datum change go through PROJ's coordinate system route, as cs2cs does.
  const std::string target = "+proj=utm +zone=32 +ellps=intl +towgs84=-87,-98,-121 +units=m";
  CProjection p;
  ASSERT_TRUE(p.SetFromProjString(target));
  ExpectMatchesCs2cs(p, {"+proj=longlat +datum=WGS84 +type=crs", target + " +type=crs"},
                     {{48.0, 9.0}, {54.3, 10.1}, {44.5, 6.2}}, 1.0);
}

}  // namespace
