#include "lumex/surface_normals.h"

#include <gtest/gtest.h>

#include <cmath>

#include "charts/elevation_file.h"
#include "charts/tests/qed_fixture.h"
#include "tests/temp_dir.h"

namespace {

// A 24 x 24 grid of 0.01-degree cells (0.6 nautical miles, so two cells span 2222.4 m).
vd::test::QedFixture Grid(std::function<int(int, int)> height) {
  vd::test::QedFixture f;
  f.tile_size = 8;
  f.rows = 3;
  f.columns = 3;
  f.height = std::move(height);
  return f;
}

struct Normal {
  bool ok;
  float v[3];
};

Normal NormalAt(const CElevationFile& file, const vd::test::QedFixture& f, double x, double y,
                float scale) {
  const GeoPoint p = vd::test::QedSamplePosition(f, x, y);
  Normal n{};
  n.ok = GetSurfaceNormal(file, p.lat, p.lon, scale, n.v);
  return n;
}

void ExpectNormal(const Normal& n, double nx, double ny, double nz, const std::string& what) {
  const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
  EXPECT_NEAR(n.v[0], nx / length, 1e-5) << what;
  EXPECT_NEAR(n.v[1], ny / length, 1e-5) << what;
  EXPECT_NEAR(n.v[2], nz / length, 1e-5) << what;
}

TEST(GetSurfaceNormal, FollowsTheSlopeInSceneAxes) {
  vd::test::TempDir dir;
  // Rising 7 m a cell eastwards (with the column) and 3 m a cell southwards (with the row).
  const auto f = Grid([](int x, int y) { return 100 + 7 * x + 3 * y; });
  ASSERT_TRUE(vd::test::WriteQedFile(dir.File("e.qed"), f));
  CElevationFile file;
  ASSERT_TRUE(file.Open(dir.File("e.qed")));

  struct Case {
    double x, y;
    float scale;
  };
  const Case cases[] = {{5, 5, 1}, {10.3, 7.8, 1}, {10.3, 7.8, 2}, {20.9, 20.9, 0.5f}};
  for (const Case& c : cases) {
    const Normal n = NormalAt(file, f, c.x, c.y, c.scale);
    const std::string what = std::to_string(c.x) + "," + std::to_string(c.y);
    EXPECT_TRUE(n.ok) << what;
    // Downhill is west (+x) and north (+y); a larger scale shortens the upward part.
    ExpectNormal(n, 14, 6, 2222.4 / c.scale, what);
  }
  // Doubling the exaggeration halves the upward part before normalising.
  const Normal once = NormalAt(file, f, 10.5, 10.5, 1);
  const Normal twice = NormalAt(file, f, 10.5, 10.5, 2);
  EXPECT_NEAR(twice.v[2] / twice.v[0], once.v[2] / once.v[0] / 2, 1e-3);
}

TEST(GetSurfaceNormal, BlendsTheDifferencesOfNeighbouringCells) {
  vd::test::TempDir dir;
  // Height grows with x squared: the central difference at column c is 4c + ... steeper east.
  const auto f = Grid([](int x, int) { return x * x; });
  ASSERT_TRUE(vd::test::WriteQedFile(dir.File("e.qed"), f));
  CElevationFile file;
  ASSERT_TRUE(file.Open(dir.File("e.qed")));
  // At column 10 + fx the blend is (1 - fx) * 40 + fx * 44 (the differences across 2 cells).
  for (double fx : {0.0, 0.25, 0.5}) {
    const Normal n = NormalAt(file, f, 10 + fx, 6.5, 1);
    EXPECT_TRUE(n.ok);
    ExpectNormal(n, (1 - fx) * 40 + fx * 44, 0, 2222.4, "fx " + std::to_string(fx));
  }
}

TEST(GetSurfaceNormal, IsUpwardAndFalseWhereItCantBeComputed) {
  vd::test::TempDir dir;
  auto f = Grid([](int x, int y) { return 100 + 7 * x + 3 * y; });
  f.absent_tiles = {8};  // the south-east tile: samples 16..23
  ASSERT_TRUE(vd::test::WriteQedFile(dir.File("e.qed"), f));
  CElevationFile file;
  ASSERT_TRUE(file.Open(dir.File("e.qed")));
  struct Case {
    const char* what;
    double x, y;
    float scale;
  };
  const Case cases[] = {
      {"outermost cells, west", 0.5, 5, 1},      {"outermost cells, north", 5, 0.5, 1},
      {"outermost cells, east", 22.5, 5, 1},     {"beyond the grid", 30, 5, 1},
      {"next to an absent tile", 15.5, 15.5, 1}, {"flattened", 5, 5, 0},
      {"scale not a number", 5, 5, NAN},
  };
  for (const Case& c : cases) {
    const Normal n = NormalAt(file, f, c.x, c.y, c.scale);
    EXPECT_FALSE(n.ok) << c.what;
    ExpectNormal(n, 0, 0, 1, c.what);
  }
  CElevationFile closed;
  EXPECT_FALSE(NormalAt(closed, f, 5, 5, 1).ok);
}

TEST(GetSurfaceNormal, FlatGroundIsUpwardAtAnyScale) {
  vd::test::TempDir dir;
  const auto f = Grid([](int, int) { return 250; });
  ASSERT_TRUE(vd::test::WriteQedFile(dir.File("e.qed"), f));
  CElevationFile file;
  ASSERT_TRUE(file.Open(dir.File("e.qed")));
  for (float scale : {0.5f, 1.0f, 20.0f}) {
    const Normal n = NormalAt(file, f, 7.3, 12.1, scale);
    EXPECT_TRUE(n.ok);
    ExpectNormal(n, 0, 0, 1, "scale " + std::to_string(scale));
  }
}

}  // namespace
