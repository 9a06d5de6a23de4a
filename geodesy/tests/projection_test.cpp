#include "geodesy/projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>

#include "geodesy/nad27_shift.h"
#include "geodesy/proj_adapter.h"
#include "geodesy/tests/nad27_test_grid.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const char kGeogcs83[] =
    R"(GEOGCS["GCS_North_American_1983",DATUM["D_North_American_1983",)"
    R"(SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],)"
    R"(UNIT["Degree",0.0174532925199433]])";
const char kGeogcs27[] =
    R"(GEOGCS["GCS_North_American_1927",DATUM["D_North_American_1927",)"
    R"(SPHEROID["Clarke_1866",6378206.4,294.9786982]],PRIMEM["Greenwich",0.0],)"
    R"(UNIT["Degree",0.0174532925199433]])";

// PROJCS[...] with the projection, the parameters as written (`PARAMETER["a",1],...`) and
// the unit.
std::string Projcs(const std::string& projection, const std::string& params,
                   const char* geogcs = kGeogcs83,
                   const std::string& unit = R"(UNIT["Meter",1.0])") {
  return R"(PROJCS["test",)" + std::string(geogcs) + R"(,PROJECTION[")" + projection + R"("],)" +
         params + "," + unit + "]";
}

const char kAlbersParams[] =
    R"(PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],)"
    R"(PARAMETER["Central_Meridian",-96.0],PARAMETER["Standard_Parallel_1",29.5],)"
    R"(PARAMETER["Standard_Parallel_2",45.5])";

const char kTmParams[] =
    R"(PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],)"
    R"(PARAMETER["Central_Meridian",-99.0],PARAMETER["Scale_Factor",0.9996],)"
    R"(PARAMETER["Latitude_Of_Origin",0.0])";

class PrjFiles : public ::testing::Test {
 protected:
  // Writes name.prj and returns the path of the shapefile beside it.
  std::string Shape(const std::string& prj_text, const std::string& name = "shape") {
    std::ofstream(dir_.File(name + ".prj"), std::ios::binary) << prj_text;
    return dir_.File(name + ".shp");
  }

  vd::test::TempDir dir_;
};

struct XY {
  double x = 0, y = 0;
};

XY Fwd(const CProjection& p, double lat, double lon) {
  XY r;
  EXPECT_TRUE(p.Forward(lat, lon, r.x, r.y)) << lat << " " << lon;
  return r;
}

// Same coordinates to 0.01 mm (a false origin written in whole micrometres may differ by 1e-6
// of a unit).
void ExpectSameForward(const CProjection& a, const CProjection& b, double lat, double lon) {
  XY ra = Fwd(a, lat, lon), rb = Fwd(b, lat, lon);
  EXPECT_NEAR(ra.x, rb.x, 1e-5);
  EXPECT_NEAR(ra.y, rb.y, 1e-5);
}

TEST(WktReader, ParsesNodesAndMarksFaults) {
  struct Case {
    std::string text;
    int32_t kind;
    std::string root_text;
    size_t children;
  };
  const Case cases[] = {
      {R"( PROJCS["x", GEOGCS["g"] ,UNIT["m",1]] )", WktNode::kList, "PROJCS", 3},
      {R"("no end)", WktNode::kWord, "Unbalanced quote", 0},
      {R"(A["a",1)", WktNode::kList, "A (no closing bracket)", 2},
      {"A[,,]", WktNode::kList, "A", 3},
      {"1.5E+07", WktNode::kNumber, "1.5E+07", 0},
      {"1e999", WktNode::kWord, "Bad number", 0},
      {"-", WktNode::kWord, "Bad number", 0},
      {"1-2", WktNode::kWord, "Bad number", 0},
      {"", WktNode::kWord, "", 0},
      {"#%&", WktNode::kWord, "", 0},
      {std::string("A[\"x\0y\",2]", 10), WktNode::kList, "A", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    size_t pos = 0;
    WktNode root = ParseWkt(c.text, pos);
    EXPECT_EQ(root.kind, c.kind);
    EXPECT_EQ(root.text, c.root_text);
    EXPECT_EQ(root.children.size(), c.children);
    EXPECT_LE(pos, c.text.size());
  }

  size_t pos = 0;
  WktNode number = ParseWkt("-12.5e2 ,", pos);
  EXPECT_EQ(number.value, -1250.0);
  EXPECT_EQ(pos, 8u);  // past the blank, at the comma

  // Brackets nested far deeper than any real file: the parse stops without exhausting the stack.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "A[";
  pos = 0;
  WktNode root = ParseWkt(deep, pos);
  EXPECT_EQ(root.text, "A (no closing bracket)");
  EXPECT_EQ(pos, deep.size());
}

TEST(WktReader, TreeQueriesIgnoreCase) {
  const std::string text = Projcs("Albers", kAlbersParams);
  size_t pos = 0;
  WktNode root = ParseWkt(text, pos);
  double v = 0;
  EXPECT_TRUE(root.Parameter("central_MERIDIAN", v));
  EXPECT_EQ(v, -96.0);
  EXPECT_FALSE(root.Parameter("Scale_Factor", v));
  ASSERT_NE(root.Find("spheroid"), nullptr);
  EXPECT_EQ(*root.Find("spheroid")->String(), "GRS_1980");
  EXPECT_EQ(root.Child("SPHEROID"), nullptr);  // not a direct child
  EXPECT_EQ(*root.Child("projection")->String(), "Albers");
  EXPECT_EQ(root.Find("UNIT")->children[1].value, 0.0174532925199433);  // the GEOGCS's, first
}

TEST_F(PrjFiles, GeographicRootGivesLatLon) {
  CProjection p;
  ASSERT_TRUE(p.SetUtmZone(14));
  ASSERT_TRUE(p.LoadPrj(Shape(kGeogcs83)));
  XY r = Fwd(p, 31.25, -97.5);
  EXPECT_EQ(r.x, -97.5);
  EXPECT_EQ(r.y, 31.25);
}

TEST_F(PrjFiles, BadFilesFailAndKeepTheCurrentSystem) {
  const std::string albers_without_sp2 =
      R"(PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],)"
      R"(PARAMETER["Central_Meridian",-96.0],PARAMETER["Standard_Parallel_1",29.5])";
  const std::string tm = kTmParams;
  auto tm_with = [&](const std::string& from, const std::string& to) {
    std::string s = tm;
    s.replace(s.find(from), from.size(), to);
    return Projcs("Transverse_Mercator", s);
  };
  const std::string full = Projcs("Albers", kAlbersParams);
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"binary garbage", std::string("\x00\xff\x13PROJCS\x80[[", 11)},
      {"empty file", ""},
      {"PROJCS without PROJECTION", R"(PROJCS["x",UNIT["Meter",1.0]])"},
      {"missing Standard_Parallel_2", Projcs("Albers", albers_without_sp2)},
      {"unknown projection", Projcs("Lambert_Conformal_Conic", kAlbersParams)},
      {"file cut short", full.substr(0, full.find("Standard_Parallel_2") + 24)},
      {"huge false easting", tm_with("500000.0", "1e300")},
      {"false easting beyond a double", tm_with("500000.0", "1e999")},
      {"scale factor 0", tm_with("0.9996", "0")},
      {"negative scale factor", tm_with("0.9996", "-0.9996")},
      {"latitude beyond the pole", tm_with(R"("Latitude_Of_Origin",0.0)", R"("Latitude_Of_Origin",95)")},
      {"meridian not a number", tm_with("-99.0", "nan")},
      {"unit of 0", Projcs("Transverse_Mercator", tm, kGeogcs83, R"(UNIT["Foot",0])")},
      {"unit without factor", Projcs("Transverse_Mercator", tm, kGeogcs83, R"(UNIT["Foot"])")},
      {"huge false easting in a huge unit",
       Projcs("Transverse_Mercator", tm, kGeogcs83, R"(UNIT["Big",1e5])")},
  };
  CProjection utm;
  ASSERT_TRUE(utm.SetUtmZone(14));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CProjection p;
    ASSERT_TRUE(p.SetUtmZone(14));
    EXPECT_FALSE(p.LoadPrj(Shape(c.text)));
    ExpectSameForward(p, utm, 31.0, -98.0);
  }
  CProjection p;
  EXPECT_FALSE(p.LoadPrj(dir_.File("missing.shp")));
}

TEST_F(PrjFiles, ParametersReachProj) {
  // Each .prj against the PROJ parameters it stands for.
  const std::string no_central_parallel = Projcs("Albers", kAlbersParams);
  const std::string with_alias =
      Projcs("Albers", std::string(kAlbersParams) + R"(,PARAMETER["Latitude_Of_Origin",37.5])");
  const std::string with_central_parallel =
      Projcs("Albers", std::string(kAlbersParams) + R"(,PARAMETER["Central_Parallel",37.5])");
  const std::string albers = "+proj=aea +lat_1=29.5 +lat_2=45.5 +lon_0=-96 +ellps=GRS80";
  const struct {
    const char* what;
    std::string prj;
    std::string proj;
  } cases[] = {
      {"Albers without a central parallel", no_central_parallel, albers + " +lat_0=0"},
      {"Albers Latitude_Of_Origin", with_alias, albers + " +lat_0=37.5"},
      {"Albers Central_Parallel", with_central_parallel, albers + " +lat_0=37.5"},
      {"Clarke 1866", Projcs("Transverse_Mercator", kTmParams, kGeogcs27),
       "+proj=utm +zone=14 +ellps=clrk66"},
      {"GRS 1980", Projcs("Transverse_Mercator", kTmParams), "+proj=utm +zone=14 +ellps=GRS80"},
      {"US survey feet", Projcs("Transverse_Mercator", kTmParams, kGeogcs83,
                                R"(UNIT["Foot_US",0.3048006096012192])"),
       "+proj=tmerc +lon_0=-99 +k_0=0.9996 +x_0=152400.3048006096 +ellps=GRS80 +units=us-ft"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CProjection from_prj, from_proj;
    ASSERT_TRUE(from_prj.LoadPrj(Shape(c.prj)));
    ASSERT_TRUE(from_proj.SetFromProjString(c.proj));
    for (auto [lat, lon] : {std::pair{31.0, -98.0}, {47.0, -91.0}, {-10.0, -105.0}}) {
      ExpectSameForward(from_prj, from_proj, lat, lon);
    }
  }
}

TEST(ProjArguments, SplitAtBlanksPlusAndLineEnds) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(vd::geo::SplitProjArguments("+proj=utm +zone=30 +ellps=WGS84"),
            (Args{"proj=utm", "zone=30", "ellps=WGS84"}));
  EXPECT_EQ(vd::geo::SplitProjArguments("\r\n proj=tmerc\t+k=1++x_0=5\r\n"),
            (Args{"proj=tmerc", "k=1", "x_0=5"}));
  EXPECT_TRUE(vd::geo::SplitProjArguments(" + \n").empty());
}

TEST(Projection, SettersReportRefusalAndLeaveNoTarget) {
  vd::test::TempDir dir;
  const std::string good = dir.File("good.dat");
  std::ofstream(good) << "+proj=utm +zone=30\n+ellps=WGS84\n";

  // After a refusal the system is geographic, except for a file that cannot be read, which
  // changes nothing.
  enum Outcome { kGeographic, kUnchanged, kWgs84Zone30 };
  struct Case {
    const char* what;
    std::function<bool(CProjection&)> set;
    Outcome outcome;
  };
  const Case cases[] = {
      {"zone 0", [](CProjection& p) { return p.SetUtmZone(0); }, kGeographic},
      {"zone 61", [](CProjection& p) { return p.SetUtmZone(61); }, kGeographic},
      {"empty text", [](CProjection& p) { return p.SetFromProjString(""); }, kGeographic},
      {"unknown projection", [](CProjection& p) { return p.SetFromProjString("+proj=nonesuch"); },
       kGeographic},
      {"bad parameter", [](CProjection& p) { return p.SetFromProjString("+proj=utm +zone=x"); },
       kGeographic},
      {"missing file", [&](CProjection& p) { return p.LoadProjFile(dir.File("none.dat")); },
       kUnchanged},
      {"good file", [&](CProjection& p) { return p.LoadProjFile(good); }, kWgs84Zone30},
  };
  CProjection clarke_zone_14, wgs84_zone_30;
  ASSERT_TRUE(clarke_zone_14.SetFromProjString("+proj=utm +zone=14 +ellps=clrk66"));
  ASSERT_TRUE(wgs84_zone_30.SetFromProjString("+proj=utm +zone=30 +ellps=WGS84"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CProjection p;
    ASSERT_TRUE(p.SetDatumName("NAD27"));
    ASSERT_TRUE(p.SetUtmZone(14));
    EXPECT_EQ(c.set(p), c.outcome == kWgs84Zone30);
    if (c.outcome == kGeographic) {
      XY r = Fwd(p, 51.0, -1.0);
      EXPECT_EQ(r.x, -1.0);
      EXPECT_EQ(r.y, 51.0);
    } else {
      ExpectSameForward(p, c.outcome == kUnchanged ? clarke_zone_14 : wgs84_zone_30, 51.0, -1.0);
    }
  }
}

TEST(Projection, GeographicParametersGiveDegrees) {
  for (const char* text : {"+proj=latlong +ellps=GRS80", "+proj=latlong +datum=WGS84"}) {
    SCOPED_TRACE(text);
    CProjection p;
    ASSERT_TRUE(p.SetFromProjString(text));
    XY r = Fwd(p, 51.5, -1.25);
    EXPECT_NEAR(r.x, -1.25, 1e-9);
    EXPECT_NEAR(r.y, 51.5, 1e-9);
    double lat, lon;
    ASSERT_TRUE(p.Inverse(-1.25, 51.5, lat, lon));
    EXPECT_NEAR(lat, 51.5, 1e-9);
    EXPECT_NEAR(lon, -1.25, 1e-9);
  }
}

TEST(Projection, NewSystemReplacesTheGrid) {
  CProjection p, utm;
  ASSERT_TRUE(p.SetOsgbGrid());
  ASSERT_TRUE(p.SetUtmZone(30));
  ASSERT_TRUE(utm.SetUtmZone(30));
  ExpectSameForward(p, utm, 52.0, -1.5);
  ASSERT_TRUE(p.SetOsgbGrid());
  ASSERT_TRUE(p.SetLatLong());
  XY r = Fwd(p, 52.0, -1.5);
  EXPECT_EQ(r.x, -1.5);
  EXPECT_EQ(r.y, 52.0);
}

TEST(Projection, NonFiniteInputFails) {
  CProjection geographic, utm, nad27;
  ASSERT_TRUE(utm.SetUtmZone(14));
  ASSERT_TRUE(nad27.SetDatumName("NAD27"));
  for (CProjection* p : {&geographic, &utm, &nad27}) {
    for (auto [a, b] : {std::pair{kNaN, 10.0}, {10.0, kNaN}, {kInf, 10.0}, {10.0, -kInf}}) {
      double x = 1, y = 1;
      EXPECT_FALSE(p->Forward(a, b, x, y));
      EXPECT_FALSE(p->Inverse(a, b, x, y));
    }
  }
  double x, y;
  EXPECT_FALSE(utm.Inverse(1e300, 1e300, x, y));
}

class Nad27Shift : public ::testing::Test {
 protected:
  static double Seconds(double degrees) { return degrees * 3600.0; }
  void WriteGrid(const vd::test::TestProgramFolder& folder, const vd::test::Ntv2Grid& grid) {
    ASSERT_TRUE(vd::test::WriteNtv2Grid(folder.proj_folder() + "/conus", grid));
  }
  void ExpectKnownShift(double lat, double lon) {
    double dlat, dlon, north, east;
    ASSERT_TRUE(GetNad27Shift(lat, lon, dlat, dlon)) << lat << " " << lon;
    vd::test::TestNad27Shift(lat, lon, north, east);
    EXPECT_NEAR(Seconds(dlat), north, 1e-5);
    EXPECT_NEAR(Seconds(dlon), east, 1e-5);
  }
  static void ExpectNoShift(double lat, double lon) {
    double dlat = 1, dlon = 1;
    EXPECT_FALSE(GetNad27Shift(lat, lon, dlat, dlon)) << lat << " " << lon;
    EXPECT_EQ(dlat, 0.0);
    EXPECT_EQ(dlon, 0.0);
  }
};

TEST_F(Nad27Shift, NoGridAnywhereGivesNoShift) {
  vd::test::TestProgramFolder folder;
  ExpectNoShift(32.0, -98.0);
  CProjection p;
  ASSERT_TRUE(p.SetDatumName("NAD 1927"));
  XY r = Fwd(p, 32.0, -98.0);
  EXPECT_EQ(r.x, -98.0);
  EXPECT_EQ(r.y, 32.0);
}

TEST_F(Nad27Shift, GridGivesKnownShiftsInsideOnly) {
  vd::test::TestProgramFolder folder;
  WriteGrid(folder, vd::test::TestNad27Grid());
  for (auto [lat, lon] : {std::pair{30.0, -100.0}, {34.0, -96.0}, {31.3, -97.7}, {33.9, -99.9}})
    ExpectKnownShift(lat, lon);
  for (auto [lat, lon] : {std::pair{29.9, -98.0}, {34.1, -98.0}, {32.0, -100.1}, {32.0, -95.9},
                          {-32.0, 98.0}, {kNaN, -98.0}})
    ExpectNoShift(lat, lon);

  // Outside the grid the projection goes on without a shift.
  CProjection nad27, clarke;
  ASSERT_TRUE(nad27.SetDatumName("NAD27"));
  ASSERT_TRUE(nad27.SetUtmZone(14));
  ASSERT_TRUE(clarke.SetFromProjString("+proj=utm +zone=14 +ellps=clrk66"));
  ExpectSameForward(nad27, clarke, 35.0, -98.0);
  // Inside it moves the point by the shift.
  XY shifted = Fwd(nad27, 32.0, -98.0), plain = Fwd(clarke, 32.0, -98.0);
  EXPECT_GT(std::hypot(shifted.x - plain.x, shifted.y - plain.y), 20.0);
}

TEST_F(Nad27Shift, GridsStayLoadedUntilTheFoldersChange) {
  vd::test::TestProgramFolder folder;
  WriteGrid(folder, vd::test::TestNad27Grid());
  ExpectKnownShift(32.0, -98.0);
  // With the file gone, only the grid already loaded can answer: points it does not cover
  // must not have dropped it.
  ASSERT_TRUE(vd::os::RemoveFile(folder.proj_folder() + "/conus"));
  ExpectNoShift(45.0, -98.0);
  ExpectNoShift(21.0, -157.0);
  ExpectKnownShift(31.0, -97.0);

  // Another program folder: its grids are looked for afresh.
  vd::test::TestProgramFolder other;
  vd::test::Ntv2Grid constant = vd::test::TestNad27Grid();
  constant.shift = [](double, double, double& north, double& east) {
    north = 2.0;
    east = 3.0;
  };
  WriteGrid(other, constant);
  double dlat, dlon;
  ASSERT_TRUE(GetNad27Shift(32.0, -98.0, dlat, dlon));
  EXPECT_NEAR(Seconds(dlat), 2.0, 1e-5);
  EXPECT_NEAR(Seconds(dlon), 3.0, 1e-5);
}

}  // namespace
