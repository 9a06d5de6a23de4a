#include "lumex/map_square.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <tuple>

#include "charts/old_quick_chart.h"

namespace {

constexpr float kSquareLift = 0.5f;  // metres above the terrain

// value x 2^shift; the shift is kept within what an int can take.
int Shifted(int value, int shift) {
  shift = std::clamp(shift, -16, 16);
  return shift >= 0 ? value << shift : value >> -shift;
}

ChartViewGeoref CopyGeoreference(const COldQuickChart& chart) {
  ChartViewGeoref georef;
  chart.GetGeoreference(georef.polynomials);
  if (chart.has_datum_shift()) {
    georef.shift_lat = chart.datum_shift_lat();
    georef.shift_lon = chart.datum_shift_lon();
  }
  georef.reference_lon = chart.centre_lon();
  georef.width = chart.width();
  georef.height = chart.height();
  georef.valid = chart.HasGeoreference();
  return georef;
}

}  // namespace

CMapSquare::CMapSquare(int n, SquareTextureRenderer render_texture, std::string texture_path)
    : CMapSurface(n, n),
      render_texture_(std::move(render_texture)),
      texture_path_(std::move(texture_path)) {}

float CMapSquare::LoadTexture(const COldQuickChart& chart, int texture_size, int zoom_shift,
                              double centre_lat, double centre_lon) {
  SetCentre(centre_lat, centre_lon);
  georef_ = CopyGeoreference(chart);
  // Sizes no texture can have make a square without texture.
  const bool sized = texture_size > 0 && texture_size <= kMaxTerrainTextureSide;
  if (!sized) texture_size = 0;
  const auto [px, py] = georef_.LatLonToPixel(centre_lat, centre_lon);
  const int half = Shifted(texture_size / 2, zoom_shift);
  x0_ = static_cast<int>(std::clamp(std::trunc(px), -1e9, 1e9)) - half;
  y0_ = static_cast<int>(std::clamp(std::trunc(py), -1e9, 1e9)) - half;
  cell_ = rows() >= 2 ? static_cast<float>(Shifted(texture_size, zoom_shift)) /
                            static_cast<float>(rows() - 1)
                      : 0.0f;

  float radius = 1e10f;
  const int last = rows() - 1;
  for (int i = 0; i <= last; ++i) {
    const int edge_points[4][2] = {{i, 0}, {i, last}, {0, i}, {last, i}};
    for (const auto& [column, row] : edge_points) {
      double lat = 0;
      double lon = 0;
      GridToLatLon(column, row, lat, lon);
      float x = 0;
      float y = 0;
      LatLonToScene(lat, lon, x, y);
      radius = std::min(radius, std::sqrt(x * x + y * y));
    }
  }

  std::unique_ptr<TerrainTexture> texture;
  const SquareTextureRequest request{chart.GetFileName(), x0_,          y0_,          zoom_shift,
                                     texture_size,        texture_size, texture_path_};
  if (sized && render_texture_ && render_texture_(request)) {
    texture = std::make_unique<TerrainTexture>();
    // The chart program may not quite have let go of the file it wrote: one more try a moment
    // later, and no more.
    if (!read_texture_(texture_path_, *texture)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (!read_texture_(texture_path_, *texture)) texture.reset();
    }
  }
  SetTexture(std::move(texture));
  return radius;
}

void CMapSquare::GridToLatLon(int column, int row, double& lat, double& lon) const {
  std::tie(lat, lon) = georef_.PixelToLatLon(static_cast<double>(column * cell_) + x0_,
                                             static_cast<double>(row * cell_) + y0_);
}

bool CMapSquare::GetVertex(int column, int row, float position[3], float normal[3]) {
  double lat = 0;
  double lon = 0;
  GridToLatLon(column, row, lat, lon);
  LatLonToScene(lat, lon, position[0], position[1]);
  return SurfaceAt(lat, lon, kSquareLift, position[2], normal);
}
