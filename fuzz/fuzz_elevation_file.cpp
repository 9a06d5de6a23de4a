// Fuzz target: QED elevation files: the header checks, and heights, slopes and samples over a
// spread of positions and grid cells.
#include <cstddef>
#include <cstdint>

#include "charts/elevation_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("input.qed", data, size);
  CElevationFile file;
  if (!file.Open(path)) return 0;
  const int width = file.grid_width(), height = file.grid_height();
  for (int i = 0; i <= 16; ++i) {
    const int x = width / 16 * i - 1, y = height / 16 * i - 1;
    bool ok = true;
    (void)file.GetSample(x, y, &ok);
    (void)file.GetSample(width - 1 - x, y, &ok);
    double lat = 0, lon = 0;
    file.GridToLatLon(x + 0.5, y + 0.5, lat, lon);
    (void)file.GetHeight(lat, lon);
    int16_t slope = 0;
    file.GetSlope(lat, lon, &slope);
  }
  return 0;
}
