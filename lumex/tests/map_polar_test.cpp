#include "lumex/map_polar.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>

#include "charts/elevation_file.h"
#include "charts/old_quick_chart.h"
#include "charts/tests/qed_fixture.h"
#include "lumex/tests/terrain_fixture.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

constexpr float kFullCircle = 6.2831855f;
// A chart of 8 x 8 tiles at 1/72000 degree a pixel (about 1.5 m north-south, 1 m east-west),
// around the scene: it reaches about 395 m north and south and 250 m east and west.
constexpr double kNorth = 50.0;
constexpr double kWest = -5.0;
constexpr double kDegreesPerPixel = 1.0 / 72000;
constexpr double kCentreLat = kNorth - 256 * kDegreesPerPixel;
constexpr double kCentreLon = kWest + 250 * kDegreesPerPixel;  // off a tile edge
constexpr float kInner = 300;
constexpr float kOuter = 450;

// Every pixel of a tile has the same colour index, different for every tile.
int TileIndex(int tile_column, int tile_row) { return tile_row * 8 + tile_column + 2; }

class MapPolarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::test::ChartFixture chart;
    chart.width = 8;
    chart.height = 8;
    chart.georef = vd::test::ChartFixture::LinearGeoref(kNorth, kWest, kDegreesPerPixel);
    chart.image.resize(512 * 512);
    for (int y = 0; y < 512; ++y) {
      for (int x = 0; x < 512; ++x) chart.image[y * 512 + x] = TileIndex(x / 64, y / 64);
    }
    ASSERT_TRUE(vd::test::WriteChartFixture(dir_.File("c.qct"), chart));
    chart_ = OpenOldQuickChart(dir_.File("c.qct"), false);
    ASSERT_NE(chart_, nullptr);

    heights_.tile_size = 16;
    heights_.rows = 4;
    heights_.columns = 4;
    heights_.north = kCentreLat + 0.01;
    heights_.west = kCentreLon - 0.015;
    heights_.cell_degrees = 0.0005;
    ASSERT_TRUE(vd::test::WriteQedFile(dir_.File("e.qed"), heights_));
    ASSERT_TRUE(elevation_.Open(dir_.File("e.qed")));
  }

  uint32_t PaletteColour(int index) const {
    uint32_t colour = 0;
    std::memcpy(&colour, chart_->palette().data() + 4 * index, 4);
    return colour;
  }

  void Build(CMapPolar& ring, float a0, float a1, float r_in, float r_out, bool run = true,
             int texture_rows = 16, int texture_columns = 64) {
    std::atomic<bool> flag{run};
    ring.Build(*chart_, a0, a1, texture_rows, texture_columns, flag, kCentreLat, kCentreLon, r_in,
               r_out);
  }

  vd::test::TempDir dir_;
  std::unique_ptr<COldQuickChart> chart_;
  vd::test::QedFixture heights_;
  CElevationFile elevation_;
};

TEST_F(MapPolarTest, RowsRunFromTheHorizonInEvenStepsOfInverseRadius) {
  CMapPolar ring(5, 5);
  Build(ring, 0, kFullCircle, kInner, kOuter);
  EXPECT_NEAR(ring.RowRadius(0), kOuter, 1e-3);
  EXPECT_NEAR(ring.RowRadius(4), kInner, 1e-3);
  for (int row = 0; row < 5; ++row) {
    const double expected = 1 / kOuter + row * (1 / kInner - 1 / kOuter) / 4;
    EXPECT_NEAR(1 / ring.RowRadius(row), expected, 1e-7) << row;
  }

  ring.Fill(&elevation_, 2);
  std::optional<std::vector<TerrainVertex>> vertices;
  ASSERT_TRUE(ring.Draw([&](const MeshDrawData& mesh) {
    vd::test::ExpectConsistentWinding(mesh);
    vertices = mesh.vertices;
  }));
  // Vertex 0 is column 0 (north) on the horizon, vertex 2 column 1 (east, a quarter turn on).
  struct Case {
    int vertex;
    double x, y;
  };
  const Case cases[] = {{0, 0, kOuter}, {1, 0, ring.RowRadius(1)}, {2, -kOuter, 0}};
  for (const Case& c : cases) {
    const TerrainVertex& v = (*vertices)[c.vertex];
    EXPECT_NEAR(v.position[0], c.x, 1e-3) << c.vertex;
    EXPECT_NEAR(v.position[1], c.y, 1e-3) << c.vertex;
    // Half a metre below the exaggerated terrain of the plane 100 + 7 x + 3 y (grid cells).
    const double lat = kCentreLat + c.y / (LatDegreeLength(kCentreLat) * 1852);
    const double lon = kCentreLon - c.x / (LonDegreeLength(kCentreLat) * 1852);
    const double gx = (lon - heights_.west) / heights_.cell_degrees;
    const double gy = (heights_.north - lat) / heights_.cell_degrees;
    EXPECT_NEAR(v.position[2], 2 * (100 + 7 * gx + 3 * gy) - 0.5, 0.05) << c.vertex;
    EXPECT_GT(v.normal[0], 0) << "the terrain falls away westwards";
  }
}

TEST_F(MapPolarTest, ARingWithoutSizeHasNoRadiusAndNoTexture) {
  struct Case {
    const char* what;
    float a0, a1, r_in, r_out;
  };
  const Case cases[] = {
      {"outer inside inner", 0, kFullCircle, kOuter, kInner},
      {"equal radii", 0, kFullCircle, kInner, kInner},
      {"no inner radius", 0, kFullCircle, 0, kOuter},
      {"no angle", 1, 1, kInner, kOuter},
  };
  for (const Case& c : cases) {
    CMapPolar ring(4, 6);
    Build(ring, 0, kFullCircle, kInner, kOuter);
    ASSERT_TRUE(ring.HasTexture());
    Build(ring, c.a0, c.a1, c.r_in, c.r_out);
    float position[3];
    float normal[3];
    for (int row = 0; row < 4; ++row) {
      EXPECT_EQ(ring.RowRadius(row), 0.0f) << c.what << " row " << row;
      ring.GetVertex(3, row, position, normal);
      EXPECT_EQ(std::hypot(position[0], position[1]), 0.0f) << c.what << " row " << row;
    }
    EXPECT_FALSE(ring.HasTexture()) << c.what;
  }
}

// Every texel takes the colour of the chart tile under it, also where the texels of one tile
// lie on both sides of the seam at bearing 0; texels off the chart stay white.
TEST_F(MapPolarTest, TheTextureShowsTheChartUnderEachTexel) {
  constexpr int kRows = 16;
  constexpr int kColumns = 64;
  CMapPolar ring(4, 8);
  Build(ring, 0, kFullCircle, kInner, kOuter, true, kRows, kColumns);
  TerrainTexture texture;
  ASSERT_TRUE(ring.HasTexture());
  ring.Fill(nullptr, 1);
  ASSERT_TRUE(ring.Draw([&](const MeshDrawData& mesh) { texture = mesh.texture; }));
  ASSERT_EQ(texture.width, kColumns);
  ASSERT_EQ(texture.height, kRows);

  const float step = kFullCircle / (kColumns - 1);
  const float k = (kRows - 1) / (1 / kInner - 1 / kOuter);
  const auto metres_lat = static_cast<float>(LatDegreeLength(kCentreLat) * 1852);
  const auto metres_lon = static_cast<float>(LonDegreeLength(kCentreLat) * 1852);
  bool seen_on_chart_at_seam = false;
  bool seen_off_chart = false;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const float angle = static_cast<float>(column) * step;
      const float radius = k / (k / kInner - static_cast<float>(kRows - row - 1));
      const double lat = kCentreLat + std::cos(angle) * radius / metres_lat;
      const double lon = kCentreLon + std::sin(angle) * radius / metres_lon;
      const double px = (lon - kWest) / kDegreesPerPixel;
      const double py = (kNorth - lat) / kDegreesPerPixel;
      // Texels within a hair of a tile's edge could go either way.
      const auto near_edge = [](double p) {
        return std::fabs(p / 64 - std::round(p / 64)) * 64 < 0.05;
      };
      if (near_edge(px) || near_edge(py)) continue;
      const uint32_t texel = texture.pixels[row * kColumns + column];
      const bool on_chart = px > 0 && px < 512 && py > 0 && py < 512;
      if (on_chart) {
        EXPECT_EQ(texel, PaletteColour(TileIndex(int(px) / 64, int(py) / 64)))
            << "texel " << column << "," << row;
        if (column == 0 || column == kColumns - 1) seen_on_chart_at_seam = true;
      } else {
        EXPECT_EQ(texel, CMapPolar::kUnfilledTexel) << "texel " << column << "," << row;
        seen_off_chart = true;
      }
    }
  }
  EXPECT_TRUE(seen_on_chart_at_seam);
  EXPECT_TRUE(seen_off_chart);
}

TEST_F(MapPolarTest, AStoppedBuildLeavesNoTexture) {
  CMapPolar ring(4, 8);
  Build(ring, 0, kFullCircle, kInner, kOuter);
  ASSERT_TRUE(ring.HasTexture());
  Build(ring, 0, kFullCircle, kInner, kOuter, false);
  EXPECT_FALSE(ring.HasTexture());
  ring.Fill(&elevation_, 1);
  EXPECT_FALSE(ring.Draw([](const MeshDrawData&) { ADD_FAILURE() << "drawn"; }));
}

}  // namespace
