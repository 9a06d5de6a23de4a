#include "lumex/surface_normals.h"

#include <cmath>

#include "charts/elevation_file.h"
#include "geodesy/degree_length.h"

bool GetSurfaceNormal(const CElevationFile& elevation, double lat, double lon, float vertical_scale,
                      float normal[3]) {
  normal[0] = 0.0f;
  normal[1] = 0.0f;
  normal[2] = 1.0f;
  if (!elevation.IsLoaded() || !(vertical_scale > 0.0f) || !std::isfinite(vertical_scale)) {
    return false;
  }
  double gx = 0;
  double gy = 0;
  elevation.LatLonToGrid(lat, lon, gx, gy);
  if (!std::isfinite(gx) || !std::isfinite(gy) || std::fabs(gx) > 1e9 || std::fabs(gy) > 1e9) {
    return false;
  }
  const double ix = std::floor(gx);
  const double iy = std::floor(gy);
  const double fx = gx - ix;
  const double fy = gy - iy;
  double s[4][4];  // s[i][j]: column ix - 1 + i, row iy - 1 + j
  bool present = true;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      s[i][j] =
          elevation.GetSample(static_cast<int>(ix) - 1 + i, static_cast<int>(iy) - 1 + j, &present);
    }
  }
  if (!present) return false;
  // Height differences across two cells: west minus east, and north minus south.
  const double nx = -(((s[0][2] - s[2][2]) * (1 - fx) + (s[1][2] - s[3][2]) * fx) * fy +
                      ((s[0][1] - s[2][1]) * (1 - fx) + (s[1][1] - s[3][1]) * fx) * (1 - fy));
  const double ny = -(((s[1][1] - s[1][3]) * (1 - fx) + (s[2][1] - s[2][3]) * fx) * fy +
                      ((s[1][0] - s[1][2]) * (1 - fx) + (s[2][0] - s[2][2]) * fx) * (1 - fy));
  // The metres the two cells span, shrunk by the exaggeration the heights will be drawn with.
  const double nz =
      elevation.NauticalMilesPerCell(gx, gy) * 2 * kMetresPerNauticalMile / vertical_scale;
  const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (!(length > 0) || !std::isfinite(length)) return false;
  normal[0] = static_cast<float>(nx / length);
  normal[1] = static_cast<float>(ny / length);
  normal[2] = static_cast<float>(nz / length);
  return true;
}
