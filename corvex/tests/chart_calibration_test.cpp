// Calibration files, the point checks, the fit and the options record.
#include "corvex/chart_calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

TEST(CalibrationFile, BadFilesAreReportedWithWhatIsWrong) {
  vd::test::TempDir dir;
  const struct {
    const char* text;
    const char* message_part;  // empty: reads
    size_t points;
  } cases[] = {
      {"nm=x\nrp1=50.1,-5.2,10,20\nrp2=50.0,-5.0,100,200\n", "", 2},
      {"rp1=50.1;-5.2;10;20\n", "rp1", 0},
      {"rp1=fifty,-5.2,10,20\n", "four numbers", 0},
      {"rp1=50.1,-5.2,10\n", "four numbers", 0},
      {"rp1=50.1,-5.2,10,20,30\n", "four numbers", 0},
      {"rp1=nan,-5.2,10,20\n", "four numbers", 0},
      {"rp1=95,-5.2,10,20\n", "not a position", 0},
      {"rp1=50,-5.2,1e12,20\n", "off the map", 0},
      {"rp1=50.1,-5.2,10,20\nrp3=50.0,-5.0,100,200\n", "rp2 of", 0},
      {"RP1 = 50.1, -5.2, 10, 20\n", "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = dir.File("chart.jpr");
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, c.text));
    std::vector<CalibrationPoint> points{{1, 2, 3, 4}};
    std::string error;
    const bool read = ReadCalibrationPoints(path, points, error);
    EXPECT_EQ(read, std::string(c.message_part).empty());
    if (!read) {
      EXPECT_NE(error.find(c.message_part), std::string::npos) << error;
    }
    EXPECT_EQ(points.size(), c.points);
  }
  std::vector<CalibrationPoint> points;
  std::string error;
  EXPECT_TRUE(ReadCalibrationPoints(dir.File("none.jpr"), points, error));
  EXPECT_TRUE(points.empty());
  EXPECT_TRUE(error.empty());
}

TEST(CalibrationFile, PointsMustBeThreeAndNotOnOneLine) {
  const struct {
    std::vector<CalibrationPoint> points;
    const char* message_part;
  } cases[] = {
      {{{0, 0, 50, -5}, {100, 0, 50, -4.9}}, "three"},
      {{{0, 0, 50, -5}, {100, 100, 49.9, -4.9}, {200, 200, 49.8, -4.8}}, "on one line on the map"},
      {{{0, 0, 50, -5}, {100, 0, 50, -4.9}, {0, 100, 50, -4.8}}, "positions"},
      {{{5, 5, 50, -5}, {5, 5, 49, -4}, {5, 5, 48, -3}}, "on one line on the map"},
      {{{0, 0, 50, -5}, {100, 0, 50, -4.9}, {0, 100, 49.9, -5}}, ""},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(CheckCalibrationPoints(c.points, error), std::string(c.message_part).empty())
        << c.message_part;
    EXPECT_NE(error.find(c.message_part), std::string::npos) << error;
  }
}

// Four points of an affine georeference (rotated, sheared) give it back with no residual.
TEST(CalibrationFit, FourPointsOfAnAffineGeoreferenceRecoverIt) {
  const auto lat_of = [](double x, double y) { return 50.0 - 0.0002 * y + 0.00001 * x; };
  const auto lon_of = [](double x, double y) { return -5.0 + 0.0003 * x + 0.00002 * y; };
  std::vector<CalibrationPoint> points;
  for (const auto& [x, y] : {std::pair{10, 20}, std::pair{900, 40}, std::pair{880, 700},
                             std::pair{30, 650}}) {
    points.push_back({x, y, lat_of(x, y), lon_of(x, y)});
  }
  GeorefPolynomial georef{};
  const double residual = FitCalibration(points, false, georef);
  EXPECT_LT(residual, 1e-3);
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, std::pair{500.0, 300.0}, std::pair{1000.0, 800.0}}) {
    const auto [lat, lon] = EvalCubicPolynomial2D(georef.inverse, x, y);
    EXPECT_NEAR(lat, lat_of(x, y), 1e-9);
    EXPECT_NEAR(lon, lon_of(x, y), 1e-9);
    const auto [px, py] = EvalCubicPolynomial2D(georef.forward, lat_of(x, y), lon_of(x, y));
    EXPECT_NEAR(px, x, 1e-4);
    EXPECT_NEAR(py, y, 1e-4);
  }
}

TEST(CalibrationFile, IsWrittenInItsOrderAndReadsBack) {
  vd::test::TempDir dir;
  CalibrationFile file;
  file.name = "Harbour";
  file.copyright = "(c) Survey";
  file.has_shift = true;
  file.shift_lat = 0.001;
  file.shift_lon = -0.002;
  file.utm = true;
  file.points = {{10, 20, 50.5, -1.25}, {300, 40, 50.4, -1.2}, {30, 400, 50.3, -1.24}};
  file.boundary = {{0, 0}, {512, 0}, {512, 384}};
  EXPECT_EQ(FormatCalibrationFile(file),
            "nm=Harbour\ncr=(c) Survey\nst=0.001000\nsn=-0.002000\npr=UTM\ndm=WGS84\n"
            "rp1=50.500000,-1.250000,10,20\nrp2=50.400000,-1.200000,300,40\n"
            "rp3=50.300000,-1.240000,30,400\nvp1=0,0\nvp2=512,0\nvp3=512,384\n");
  const std::string path = dir.File("chart.jpr");
  ASSERT_TRUE(WriteCalibrationFile(path, file));
  std::vector<CalibrationPoint> points;
  std::string error;
  ASSERT_TRUE(ReadCalibrationPoints(path, points, error)) << error;
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[1].x, 300);
  EXPECT_EQ(points[1].y, 40);
  EXPECT_DOUBLE_EQ(points[1].lat, 50.4);
  EXPECT_DOUBLE_EQ(points[1].lon, -1.2);
  EXPECT_FALSE(WriteCalibrationFile(dir.File("missing/chart.jpr"), file));
}

TEST(CalibrationOptions, AreKeptAsTwentyFourBytesAndTheGridSnaps) {
  vd::test::TempDir profile;
  vd::SetProfileLocation(vd::kDefaultProfileKey, profile.path());
  CalibrationOptions options;
  options.grid_on = 1;
  options.grid_degrees = 0;
  options.grid_minutes = 30;
  options.utm = 1;
  options.nad27 = 1;
  options.Save();
  const CalibrationOptions read = CalibrationOptions::Load();
  EXPECT_EQ(read.grid_on, 1);
  EXPECT_FLOAT_EQ(read.grid_minutes, 30);
  EXPECT_EQ(read.utm, 1);
  EXPECT_EQ(read.nad27, 1);
  EXPECT_EQ(read.boundary_on_grid, 0);
  EXPECT_DOUBLE_EQ(read.GridInterval(), 0.5);
  options.grid_on = 0;
  EXPECT_EQ(options.GridInterval(), 0.0);

  EXPECT_DOUBLE_EQ(SnapToGrid(50.26, 0.5), 50.5);
  EXPECT_DOUBLE_EQ(SnapToGrid(50.24, 0.5), 50.0);
  EXPECT_DOUBLE_EQ(SnapToGrid(-1.3, 0.5), -1.5);
  EXPECT_DOUBLE_EQ(SnapToGrid(-0.2, 0.5), 0.0);
  EXPECT_DOUBLE_EQ(SnapToGrid(-0.3, 0.5), -0.5);
  EXPECT_DOUBLE_EQ(SnapToGrid(12.345, 0), 12.345);
}

}  // namespace
