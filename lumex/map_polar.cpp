#include "lumex/map_polar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "charts/old_quick_chart.h"
#include "geodesy/degree_length.h"
#include "lumex/chart_pixel_lookup.h"

namespace {

constexpr float kRingDrop = -0.5f;  // metres below the terrain
constexpr double kTwoPi = 6.283185307179586;
constexpr int kTileShift = 6;  // chart tiles are kTileSide = 64 pixels a side
// How far (in chart pixels) around a tile's centre its texels are looked for: a little more
// than half its diagonal.
constexpr double kTileReach = 51.2;
constexpr double kNearCentre = 0.0001;  // metres

// The tile (column or row) holding a fractional chart pixel.
int FloorTile(double pixel) {
  return static_cast<int>(std::floor(std::clamp(pixel, -1e9, 1e9) / kTileSide));
}

}  // namespace

// The texel under the point and the texels within `reach` metres of it, by the local rates of
// the ring maths (rows per metre K / d^2, columns per metre 1 / (step d)); a point at the
// centre reaches every texel.
CMapPolar::TexelWindow CMapPolar::WindowAround(const Ring& texels, int rows, int columns, float x,
                                               float y, double reach) {
  double centre_row = rows;
  double centre_column = 0;
  double row_span = rows;
  double column_span = columns;
  const double d = std::hypot(x, y);
  if (d >= kNearCentre) {
    double bearing = std::atan2(-x, y);
    if (bearing < 0) bearing += kTwoPi;
    centre_row = rows - std::trunc(texels.k_over_r_in - texels.k / d);
    centre_column = std::trunc((bearing - texels.a0) / texels.step);
    row_span = std::min(reach / (d * d / texels.k), row_span);
    column_span = std::min(reach / (texels.step * d), column_span);
  }
  const int rows_out = static_cast<int>(row_span) + 1;
  const int columns_out = static_cast<int>(column_span) + 1;
  const int middle_row = static_cast<int>(std::clamp(centre_row - 1, -2.0 * rows, 2.0 * rows));
  const int middle_column = static_cast<int>(std::clamp(centre_column, 0.0, columns - 1.0));
  TexelWindow window;
  window.row_from = std::max(0, middle_row - rows_out);
  window.row_to = std::min(rows - 1, middle_row + rows_out);
  if (2 * columns_out + 1 >= columns) {
    window.column_to = columns - 1;
  } else {
    window.column_from = middle_column - columns_out;
    window.column_to = middle_column + columns_out;
  }
  return window;
}

CMapPolar::Ring CMapPolar::Ring::Make(int rows, int columns, float a0, float a1, float r_in,
                                      float r_out) {
  Ring ring;
  ring.rows = rows;
  if (rows >= 2 && columns >= 2 && 0 < r_in && r_in < r_out && a0 < a1) {
    ring.a0 = a0;
    ring.step = (a1 - a0) / static_cast<float>(columns - 1);
    ring.k = static_cast<float>(rows - 1) / (1 / r_in - 1 / r_out);
    ring.k_over_r_in = ring.k / r_in;
  }
  return ring;
}

float CMapPolar::Ring::Radius(int row) const {
  if (k == 0) return 0;
  return k / (k_over_r_in - static_cast<float>(rows - row - 1));
}

CMapPolar::CMapPolar(int rows, int columns) : CMapSurface(rows, columns) {}

void CMapPolar::Build(COldQuickChart& chart, float a0, float a1, int texture_rows,
                      int texture_columns, const std::atomic<bool>& run, double centre_lat,
                      double centre_lon, float r_in, float r_out) {
  SetCentre(centre_lat, centre_lon);
  ring_ = Ring::Make(rows(), columns(), a0, a1, r_in, r_out);
  std::unique_ptr<TerrainTexture> texture;
  const Ring texels = Ring::Make(texture_rows, texture_columns, a0, a1, r_in, r_out);
  if (ring_.k != 0 && texels.k != 0 && texture_rows <= kMaxTerrainTextureSide &&
      texture_columns <= kMaxTerrainTextureSide) {
    texture = std::make_unique<TerrainTexture>();
    texture->width = texture_columns;
    texture->height = texture_rows;
    texture->pixels.assign(static_cast<size_t>(texture_columns) * texture_rows, kUnfilledTexel);
    if (!PaintTexture(chart, texels, r_in, r_out, run, *texture) || !run) texture.reset();
  }
  SetTexture(std::move(texture));
}

void CMapPolar::TexelToChartPixel(const COldQuickChart& chart, const Ring& texels, int column,
                                  int row, double& px, double& py) const {
  const float angle = texels.Angle(column);
  const float radius = texels.Radius(row);
  double lat = 0;
  double lon = 0;
  SceneToLatLon(-std::sin(angle) * radius, std::cos(angle) * radius, lat, lon);
  chart.LatLonToPixelF(lat, lon, px, py);
}

bool CMapPolar::PaintTexture(COldQuickChart& chart, const Ring& texels, float r_in, float r_out,
                             const std::atomic<bool>& run, TerrainTexture& image) const {
  const int texture_rows = image.height;
  const int texture_columns = image.width;
  double centre_x = 0;
  double centre_y = 0;
  chart.LatLonToPixelF(centre_lat_, centre_lon_, centre_x, centre_y);
  const double metres_per_pixel = chart.ScaleAtPixel(centre_x, centre_y) * kMetresPerNauticalMile;
  if (!(metres_per_pixel > 0) || !std::isfinite(metres_per_pixel)) return false;

  // The zoom of each texel row: a chart pixel at most about as long as the row's texels.
  std::vector<int> zoom(static_cast<size_t>(texture_rows));
  for (int row = 0; row < texture_rows; ++row) {
    double arc = static_cast<double>(texels.Radius(row)) * texels.step;
    int shift = 0;
    while (arc > metres_per_pixel && shift < COldQuickChart::kMaxReduceShift) {
      arc /= 2;
      ++shift;
    }
    zoom[static_cast<size_t>(row)] = shift;
  }

  // The chart tiles under the outer edge, limited to those the chart has.
  int first_column = INT32_MAX;
  int last_column = INT32_MIN;
  int first_row = INT32_MAX;
  int last_row = INT32_MIN;
  for (int column = 0; column < texture_columns; ++column) {
    double px = 0;
    double py = 0;
    TexelToChartPixel(chart, texels, column, 0, px, py);
    first_column = std::min(first_column, FloorTile(px));
    last_column = std::max(last_column, FloorTile(px));
    first_row = std::min(first_row, FloorTile(py));
    last_row = std::max(last_row, FloorTile(py));
  }
  first_column = std::max(first_column, 0);
  first_row = std::max(first_row, 0);
  last_column = std::min(last_column, (chart.width() - 1) >> kTileShift);
  last_row = std::min(last_row, (chart.height() - 1) >> kTileShift);

  ChartPixelLookup lookup(chart);
  const double reach = std::trunc(kTileReach * metres_per_pixel);  // metres
  for (int tile_row = first_row; tile_row <= last_row; ++tile_row) {
    for (int tile_column = first_column; tile_column <= last_column; ++tile_column) {
      if (!run) return false;
      double lat = 0;
      double lon = 0;
      chart.PixelToLatLon(kTileSide * tile_column + kTileSide / 2,
                          kTileSide * tile_row + kTileSide / 2, lat, lon);
      float x = 0;
      float y = 0;
      LatLonToScene(lat, lon, x, y);
      const double d = std::hypot(x, y);
      if (d + reach < r_in || d - reach > r_out) continue;
      const TexelWindow window = WindowAround(texels, texture_rows, texture_columns, x, y, reach);
      for (int row = window.row_from; row <= window.row_to; ++row) {
        for (int c = window.column_from; c <= window.column_to; ++c) {
          const int column = (c % texture_columns + texture_columns) % texture_columns;
          const size_t at = static_cast<size_t>(row) * texture_columns + column;
          uint32_t& texel = image.pixels[at];
          if (texel != kUnfilledTexel) continue;
          double px = 0;
          double py = 0;
          TexelToChartPixel(chart, texels, column, row, px, py);
          if (FloorTile(px) != tile_column || FloorTile(py) != tile_row) continue;
          texel = lookup.GetPixelColour(static_cast<int>(std::floor(px)),
                                        static_cast<int>(std::floor(py)),
                                        zoom[static_cast<size_t>(row)]);
        }
      }
    }
  }
  return true;
}

bool CMapPolar::GetVertex(int column, int row, float position[3], float normal[3]) {
  const float angle = ring_.Angle(column);
  const float radius = ring_.Radius(row);
  position[0] = -std::sin(angle) * radius;
  position[1] = std::cos(angle) * radius;
  double lat = 0;
  double lon = 0;
  SceneToLatLon(position[0], position[1], lat, lon);
  return SurfaceAt(lat, lon, kRingDrop, position[2], normal);
}
