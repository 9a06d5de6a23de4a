#pragma once
// Shared pieces of the terrain mesh tests: texture files as the chart program writes them,
// the orientation of strip triangles, and scene coordinates computed independently of the
// meshes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "charts/tests/qed_fixture.h"
#include "geodesy/degree_length.h"
#include "lumex/map_surface.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"

namespace vd::test {

// An uncompressed 32-bit DDS file of width x height pixels, each pixel `colour(x, y)`.
template <typename Colour>
bool WriteTestDds(const std::string& path, int width, int height, Colour colour) {
  const uint32_t header[32] = {0x20534444,
                               124,
                               0x100F,
                               uint32_t(height),
                               uint32_t(width),
                               uint32_t(width) * 4,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               32,
                               0x40,
                               0,
                               32,
                               0x00FF0000,
                               0x0000FF00,
                               0x000000FF,
                               0xFF000000,
                               0x1000,
                               0,
                               0,
                               0,
                               0};
  std::string bytes(reinterpret_cast<const char*>(header), sizeof(header));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      bytes.append(reinterpret_cast<const char*>(&c), 4);
    }
  }
  return vd::os::SaveFileAtomically(path, bytes);
}

// Twice the signed area of a triangle seen from above with north up and east to the right
// (east is -x in scene coordinates): positive when it turns counter-clockwise.
inline double SignedArea(const TerrainVertex& a, const TerrainVertex& b, const TerrainVertex& c) {
  const double abx = -(b.position[0] - a.position[0]);
  const double aby = b.position[1] - a.position[1];
  const double acx = -(c.position[0] - a.position[0]);
  const double acy = c.position[1] - a.position[1];
  return abx * acy - aby * acx;
}

// Every triangle of the strip that has an area turns the same way as the first, once the
// strip's alternation is undone; the first turns counter-clockwise.
inline void ExpectConsistentWinding(const MeshDrawData& mesh) {
  ASSERT_EQ(mesh.first_vertex, 0);
  ASSERT_EQ(mesh.triangle_count + 2, static_cast<int>(mesh.vertices.size()));
  const auto& v = mesh.vertices;
  EXPECT_GT(SignedArea(v[0], v[1], v[2]), 0) << "the first triangle";
  for (int i = 0; i < mesh.triangle_count; ++i) {
    double area = SignedArea(v[i], v[i + 1], v[i + 2]);
    if (i % 2 == 1) area = -area;
    EXPECT_GE(area, -1e-3) << "triangle " << i;
  }
}

// Scene (x, y) of a position around a centre, as the viewer defines them.
inline void SceneOf(double centre_lat, double centre_lon, double lat, double lon, double& x,
                    double& y) {
  x = (centre_lon - lon) * static_cast<float>(LonDegreeLength(centre_lat) * 1852.0);
  y = (lat - centre_lat) * static_cast<float>(LatDegreeLength(centre_lat) * 1852.0);
}

// A small world for the viewer's scene tests: a 4 x 4 tile chart at `path_chart` whose north-west
// corner is (chart_north, chart_west) at degrees_per_pixel, with the given texts, and flat
// ground 40 m high at `path_elevation` covering it (7 x 7 tiles of 16 samples, 0.002 degrees a
// cell, north-west corner 50.2, -5.2).
inline void WriteTerrainWorld(const std::string& path_chart, const std::string& path_elevation,
                              double chart_north, double chart_west, double degrees_per_pixel,
                              std::vector<std::pair<QctTextField, std::string>> texts = {}) {
  ChartFixture chart;
  chart.width = 4;
  chart.height = 4;
  chart.georef = ChartFixture::LinearGeoref(chart_north, chart_west, degrees_per_pixel);
  chart.texts = std::move(texts);
  ASSERT_TRUE(WriteChartFixture(path_chart, chart));
  QedFixture elevation;
  elevation.tile_size = 16;
  elevation.rows = 7;
  elevation.columns = 7;
  elevation.north = 50.2;
  elevation.west = -5.2;
  elevation.cell_degrees = 0.002;
  elevation.height = [](int, int) { return 40; };
  ASSERT_TRUE(WriteQedFile(path_elevation, elevation));
}

}  // namespace vd::test
