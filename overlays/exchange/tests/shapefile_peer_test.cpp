// Shapefiles written here as ogrinfo reads them: geometry, attribute table and extent.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <optional>
#include <string>
#include <tuple>

#include "core/persistent_value.h"
#include "overlays/exchange/shapefile.h"
#include "overlays/exchange/tests/exchange_test_support.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "tests/child_process.h"
#include "tests/temp_dir.h"

namespace {

// ogrinfo's full listing of the file (standard error included), or "" when it failed.
std::string OgrInfo(const vd::test::TempDir& dir, const std::string& shp) {
  vd::test::ChildProcess::Options options;
  options.output_file = dir.File("ogrinfo.txt");
  vd::test::ChildProcess ogrinfo;
  std::string error;
  if (!ogrinfo.Start("ogrinfo", {"-ro", "-al", shp}, options, error)) {
    ADD_FAILURE() << error;
    return "";
  }
  const std::optional<int> status = ogrinfo.Wait(std::chrono::minutes(2));
  std::string text;
  if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0 ||
      !vd::os::ReadWholeFile(options.output_file, text)) {
    return "";
  }
  return text;
}

class ShapefilePeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.temp_folder = dir.path();
  }
  void TearDown() override { vd::test::ReleaseAll(objects); }

  vd::test::TempDir dir;
  vd::test::FakeApp app;
  ObjectList objects;
};

TEST_F(ShapefilePeerTest, PointsWithTableAsOgrinfoReadsThem) {
  for (const auto& [name, lat, lon] : {std::tuple{"Café quay", 51.5, -0.125},
                                       std::tuple{"Pier, north", 52.25, 4.75}}) {
    auto* mark = new CObjWaypoint;
    mark->AddRef();
    objects.push_back(mark);
    mark->name = name;
    mark->position = {lat, lon};
    mark->being_placed = false;
  }
  const std::string shp = dir.File("marks.shp");
  ASSERT_TRUE(ExportShapefiles(shp, objects, nullptr));
  const std::string info = OgrInfo(dir, shp);
  ASSERT_FALSE(info.empty());
  EXPECT_NE(info.find("Geometry: Point"), std::string::npos) << info;
  EXPECT_NE(info.find("Feature Count: 2"), std::string::npos) << info;
  EXPECT_NE(info.find("Extent: (-0.125000, 51.500000) - (4.750000, 52.250000)"),
            std::string::npos) << info;
  EXPECT_NE(info.find("ID: Integer64 (10.0)"), std::string::npos) << info;
  EXPECT_NE(info.find("NAME: String (127.0)"), std::string::npos) << info;
  // The table holds Windows-1252, which ogrinfo passes on as it stands.
  EXPECT_NE(info.find("NAME (String) = Caf\xE9 quay"), std::string::npos) << info;
  EXPECT_NE(info.find("ID (Integer64) = 2"), std::string::npos) << info;
  EXPECT_NE(info.find("POINT (4.75 52.25)"), std::string::npos) << info;
}

TEST_F(ShapefilePeerTest, PolygonRingsAsOgrinfoReadsThem) {
  auto* track = new CObjTrack;
  track->AddRef();
  objects.push_back(track);
  track->name = "Bay";
  track->closed = true;
  for (const auto& [lat, lon] : {std::pair{50.0, 10.0}, {50.0, 11.0}, {51.0, 11.0}}) {
    track->AddPoint(lat, lon, 0, 0, 0, 0);
  }
  const std::string shp = dir.File("bay.shp");
  ASSERT_TRUE(ExportShapefiles(shp, objects, nullptr));
  const std::string info = OgrInfo(dir, shp);
  EXPECT_NE(info.find("Geometry: Polygon"), std::string::npos) << info;
  // Clockwise outer ring, closed, read without complaint.
  EXPECT_NE(info.find("POLYGON ((10 50,11 51,11 50,10 50))"), std::string::npos) << info;
  EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
  EXPECT_EQ(info.find("ERROR"), std::string::npos) << info;
}

}  // namespace
