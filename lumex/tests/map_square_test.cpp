#include "lumex/map_square.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "charts/elevation_file.h"
#include "charts/old_quick_chart.h"
#include "charts/tests/qed_fixture.h"
#include "lumex/tests/terrain_fixture.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kNorth = 50.1;  // chart pixel (0, 0)
constexpr double kWest = -5.1;
constexpr double kDegreesPerPixel = 1.0 / 3600;
constexpr double kCentreLat = 50.05;  // chart pixel (180, 180)
constexpr double kCentreLon = -5.05;

class MapSquareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::test::ChartFixture chart;
    chart.width = 4;
    chart.height = 4;
    chart.georef = vd::test::ChartFixture::LinearGeoref(kNorth, kWest, kDegreesPerPixel);
    ASSERT_TRUE(vd::test::WriteChartFixture(dir_.File("c.qct"), chart));
    chart_ = OpenOldQuickChart(dir_.File("c.qct"), false);
    ASSERT_NE(chart_, nullptr);

    // Rising 7 m a cell eastwards and 3 m a cell southwards over the whole chart.
    elevation_fixture_.tile_size = 16;
    elevation_fixture_.rows = 7;
    elevation_fixture_.columns = 7;
    elevation_fixture_.north = 50.2;
    elevation_fixture_.west = -5.2;
    elevation_fixture_.cell_degrees = 0.002;
    ASSERT_TRUE(vd::test::WriteQedFile(dir_.File("e.qed"), elevation_fixture_));
    ASSERT_TRUE(elevation_.Open(dir_.File("e.qed")));
  }

  // A renderer that records the request and writes a texture whose pixel (x, y) is x + 256 y.
  SquareTextureRenderer Renderer(bool succeed = true) {
    return [this, succeed](const SquareTextureRequest& request) {
      request_ = request;
      return succeed && vd::test::WriteTestDds(request.texture_path, request.width, request.height,
                                               [](int x, int y) { return uint32_t(x + 256 * y); });
    };
  }

  static MeshDrawData Mesh(const CMapSurface& mesh, std::vector<TerrainVertex>& copy) {
    std::optional<MeshDrawData> out;
    EXPECT_TRUE(mesh.Draw([&](const MeshDrawData& data) {
      copy = data.vertices;
      out.emplace(MeshDrawData{copy, data.texture, data.vertex_generation, data.texture_generation,
                               data.first_vertex, data.triangle_count});
    }));
    return out.value_or(MeshDrawData{copy, empty_, 0, 0, 0, 0});
  }

  // The plane's height at a position.
  double PlaneHeight(double lat, double lon) const {
    const double gx = (lon - elevation_fixture_.west) / elevation_fixture_.cell_degrees;
    const double gy = (elevation_fixture_.north - lat) / elevation_fixture_.cell_degrees;
    return 100 + 7 * gx + 3 * gy;
  }

  vd::test::TempDir dir_;
  std::unique_ptr<COldQuickChart> chart_;
  vd::test::QedFixture elevation_fixture_;
  CElevationFile elevation_;
  SquareTextureRequest request_;
  static inline const TerrainTexture empty_{};
};

TEST_F(MapSquareTest, CentresTheSquareOnTheChartAndAsksForItsTexture) {
  CMapSquare square(5, Renderer(), dir_.File("MapSquare.dds"));
  const float radius = square.LoadTexture(*chart_, 64, 1, kCentreLat, kCentreLon);
  // 64 texture pixels of 2 chart pixels: chart pixels 116..243 around pixel 180.
  EXPECT_EQ(request_.chart_path, dir_.File("c.qct"));
  EXPECT_EQ(request_.x, 116);
  EXPECT_EQ(request_.y, 116);
  EXPECT_EQ(request_.zoom_shift, 1);
  EXPECT_EQ(request_.width, 64);
  EXPECT_EQ(request_.height, 64);
  EXPECT_EQ(request_.texture_path, dir_.File("MapSquare.dds"));
  EXPECT_EQ(square.cell(), 32.0f);
  // The nearest edge points are the middles of the west and east edges, 64 chart pixels away
  // along a parallel.
  EXPECT_NEAR(radius, 64 * kDegreesPerPixel * LonDegreeLength(kCentreLat) * 1852, 0.05);
  EXPECT_TRUE(square.HasTexture());

  // Below zoom 0 the square spans fewer chart pixels than the texture has.
  square.LoadTexture(*chart_, 64, -1, kCentreLat, kCentreLon);
  EXPECT_EQ(request_.x, 180 - 16);
  EXPECT_EQ(square.cell(), 8.0f);
}

TEST_F(MapSquareTest, VerticesLieOnTheTerrainUnderTheirChartPixels) {
  CMapSquare square(5, Renderer(), dir_.File("MapSquare.dds"));
  square.LoadTexture(*chart_, 64, 1, kCentreLat, kCentreLon);
  for (float scale : {1.0f, 2.5f}) {
    square.Fill(&elevation_, scale);
    ASSERT_TRUE(square.IsFilled());
    std::vector<TerrainVertex> vertices;
    const MeshDrawData mesh = Mesh(square, vertices);
    // An even band runs west to east: vertex 2k + 1 is grid point (k, 1), so k = 2 is chart
    // pixel (116 + 64, 116 + 32).
    const TerrainVertex& v = mesh.vertices[5];
    const double lat = kNorth - (116 + 32) * kDegreesPerPixel;
    const double lon = kWest + (116 + 64) * kDegreesPerPixel;
    double x = 0;
    double y = 0;
    vd::test::SceneOf(kCentreLat, kCentreLon, lat, lon, x, y);
    EXPECT_NEAR(v.position[0], x, 0.01);
    EXPECT_NEAR(v.position[1], y, 0.01);
    EXPECT_NEAR(v.position[2], scale * PlaneHeight(lat, lon) + 0.5, 0.01 * scale);
    // The plane's normal: 2 x 7 m and 2 x 3 m over two cells of 0.12 nautical miles.
    const double nz = 0.12 * 3704 / scale;
    const double length = std::sqrt(14.0 * 14 + 6 * 6 + nz * nz);
    EXPECT_NEAR(v.normal[0], 14 / length, 1e-4);
    EXPECT_NEAR(v.normal[1], 6 / length, 1e-4);
    EXPECT_NEAR(v.normal[2], nz / length, 1e-4);
  }

  // Without elevation data the square lies flat half a metre up, lit from straight above.
  square.Fill(nullptr, 2);
  std::vector<TerrainVertex> vertices;
  for (const TerrainVertex& v : Mesh(square, vertices).vertices) {
    EXPECT_EQ(v.position[2], 0.5f);
    EXPECT_EQ(v.normal[2], 1.0f);
  }
}

TEST_F(MapSquareTest, TheStripSnakesThroughTheGridWithTextureCoordinatesAtTheEdges) {
  CMapSquare square(3, Renderer(), dir_.File("MapSquare.dds"));
  square.LoadTexture(*chart_, 64, 0, kCentreLat, kCentreLon);
  square.Fill(&elevation_, 1);
  std::vector<TerrainVertex> vertices;
  const MeshDrawData mesh = Mesh(square, vertices);
  ASSERT_EQ(mesh.vertices.size(), 12u);  // (2 x 3 - 2) x 3
  const int order[12][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1},
                            {2, 2}, {2, 1}, {1, 2}, {1, 1}, {0, 2}, {0, 1}};
  for (int i = 0; i < 12; ++i) {
    const auto [column, row] = order[i];
    EXPECT_EQ(mesh.vertices[i].u, column / 2.0f) << i;
    EXPECT_EQ(mesh.vertices[i].v, row / 2.0f) << i;
    float position[3];
    float normal[3];
    square.GetVertex(column, row, position, normal);
    EXPECT_EQ(mesh.vertices[i].position[0], position[0]) << i;
    EXPECT_EQ(mesh.vertices[i].position[1], position[1]) << i;
  }
  vd::test::ExpectConsistentWinding(mesh);
}

TEST_F(MapSquareTest, TheSmallestGridDrawsBothTriangles) {
  CMapSquare square(2, Renderer(), dir_.File("MapSquare.dds"));
  square.LoadTexture(*chart_, 64, 0, kCentreLat, kCentreLon);
  square.Fill(&elevation_, 1);
  std::vector<TerrainVertex> vertices;
  const MeshDrawData mesh = Mesh(square, vertices);
  ASSERT_EQ(mesh.vertices.size(), 4u);
  EXPECT_EQ(mesh.first_vertex, 0);
  EXPECT_EQ(mesh.triangle_count, 2);
  EXPECT_EQ(mesh.texture.width, 64);
  EXPECT_EQ(mesh.texture.pixels[64 * 3 + 5], uint32_t(5 + 256 * 3));
  vd::test::ExpectConsistentWinding(mesh);
}

TEST_F(MapSquareTest, WithoutATextureFileTheSquareIsNotDrawn) {
  struct Case {
    const char* what;
    bool render_ok;
    int keep_bytes;  // of the rendered file; -1: all
  };
  const Case cases[] = {
      {"the request failed", false, -1},
      {"header cut short", true, 100},
      {"pixels cut short", true, 128 + 32 * 32 * 4 - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto render = [&](const SquareTextureRequest& request) {
      Renderer()(request);
      if (c.keep_bytes >= 0) {
        std::string bytes;
        vd::os::ReadWholeFile(request.texture_path, bytes);
        vd::os::SaveFileAtomically(request.texture_path, bytes.substr(0, c.keep_bytes));
      }
      return c.render_ok;
    };
    CMapSquare square(4, render, dir_.File("MapSquare.dds"));
    square.LoadTexture(*chart_, 32, 0, kCentreLat, kCentreLon);
    EXPECT_FALSE(square.HasTexture());
    square.Fill(&elevation_, 1);
    EXPECT_FALSE(square.IsFilled());
    EXPECT_FALSE(square.Draw([](const MeshDrawData&) { ADD_FAILURE() << "drawn"; }));
  }
}

TEST_F(MapSquareTest, ANewTextureReplacesTheOldAndAFailedOneLeavesNone) {
  bool succeed = true;
  CMapSquare square(
      4, [&](const SquareTextureRequest& r) { return succeed && Renderer()(r); },
      dir_.File("MapSquare.dds"));
  square.LoadTexture(*chart_, 32, 0, kCentreLat, kCentreLon);
  square.Fill(&elevation_, 1);
  ASSERT_TRUE(square.Draw([](const MeshDrawData&) {}));
  succeed = false;  // the file of the first request is still there
  square.LoadTexture(*chart_, 32, 0, kCentreLat + 0.01, kCentreLon);
  EXPECT_FALSE(square.HasTexture());
  EXPECT_FALSE(square.Draw([](const MeshDrawData&) {}));
  square.ClearFilled();
  EXPECT_FALSE(square.IsFilled());
}

// A texture file not readable at the first try is read once more, and only once.
TEST_F(MapSquareTest, TheTextureFileIsTriedOnceMore) {
  for (const int failures : {0, 1, 2}) {
    CMapSquare square(4, Renderer(), dir_.File("MapSquare.dds"));
    int reads = 0;
    square.SetTextureReader([&](const std::string& path, TerrainTexture& out) {
      return ++reads > failures && ReadDdsTexture(path, out);
    });
    square.LoadTexture(*chart_, 32, 0, kCentreLat, kCentreLon);
    EXPECT_EQ(reads, std::min(failures + 1, 2)) << failures;
    EXPECT_EQ(square.HasTexture(), failures < 2) << failures;
  }
}

}  // namespace
