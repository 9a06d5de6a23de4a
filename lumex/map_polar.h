#pragma once
// The horizon ring: an R x C grid around the terrain square, from the square's radius out to
// the horizon, draped with a texture resampled here from the chart's own pixels.
//
// Column i lies at bearing a0 + i x step (0 north, growing eastwards; x = -sin(bearing) x r,
// y = cos(bearing) x r); row 0 on the outer radius, row R - 1 on the inner one, the rows
// spaced evenly in 1/r so that they are dense near the viewer and sparse far away:
// r(row) = K / (K / r_in - (R - row - 1)) with K = (R - 1) / (1 / r_in - 1 / r_out). The
// texture uses the same maths with its own rows and columns (texel (i, j) at bearing
// a0 + i x its step and radius r(j)), so its row 0 lies on the outer radius too.
#include <atomic>

#include "lumex/map_surface.h"

class COldQuickChart;

class CMapPolar : public CMapSurface {
 public:
  // Texels no chart pixel has been found for keep this colour.
  static constexpr uint32_t kUnfilledTexel = 0xFFFFFFFF;

  CMapPolar(int rows, int columns);

  // Sets the ring around (centre_lat, centre_lon) between bearings a0 and a1 (radians) and
  // radii r_in and r_out (metres), and builds its texture of texture_columns x texture_rows
  // texels from the chart. Without 0 < r_in < r_out and a0 < a1 the ring has no size (every
  // point at radius 0) and no texture. Each texel takes the colour of the chart pixel under
  // it, read at the zoom that makes a chart pixel about as long as a texel on its row (up to
  // 2^6 chart pixels a pixel); texels off the chart stay kUnfilledTexel. Clearing `run` stops
  // the build between chart tiles, and the ring is then left without a texture. Uses the
  // chart's tiles from this thread only.
  void Build(COldQuickChart& chart, float a0, float a1, int texture_rows, int texture_columns,
             const std::atomic<bool>& run, double centre_lat, double centre_lon, float r_in,
             float r_out);

  // z is the exaggerated height less half a metre, so the square covers the ring.
  bool GetVertex(int column, int row, float position[3], float normal[3]) override;

  // The radius of grid row `row` (0 for a ring without size).
  float RowRadius(int row) const { return ring_.Radius(row); }

 private:
  struct Ring {
    int rows = 0;
    float a0 = 0;
    float step = 0;  // radians per column
    float k = 0;
    float k_over_r_in = 0;

    // All zero unless the ring has a size.
    static Ring Make(int rows, int columns, float a0, float a1, float r_in, float r_out);
    float Radius(int row) const;
    float Angle(int column) const { return static_cast<float>(column) * step + a0; }
  };

  // Texels to look at around a point of the scene: rows clipped to the texture, columns
  // possibly beyond it on either side (they wrap across the seam at bearing a0).
  struct TexelWindow {
    int row_from = 0;
    int row_to = 0;
    int column_from = 0;
    int column_to = 0;
  };
  static TexelWindow WindowAround(const Ring& texels, int rows, int columns, float x, float y,
                                  double reach);

  // Fills `image` from the chart; false when `run` was cleared or the chart has no usable
  // scale at the centre.
  bool PaintTexture(COldQuickChart& chart, const Ring& texels, float r_in, float r_out,
                    const std::atomic<bool>& run, TerrainTexture& image) const;
  void TexelToChartPixel(const COldQuickChart& chart, const Ring& texels, int column, int row,
                         double& px, double& py) const;

  Ring ring_;
};
