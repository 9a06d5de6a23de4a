// Fuzz target: the ".prj" coordinate-system file beside a shapefile, then a point converted
// both ways through what it selected.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "geodesy/projection.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vd::fuzz::WriteInput("set.prj", data, size);
  CProjection projection;
  if (!projection.LoadPrj(vd::fuzz::Folder() + "/set.shp")) return 0;
  double x = 0, y = 0, lat = 0, lon = 0;
  if (projection.Forward(49.5, -123.25, x, y)) (void)projection.Inverse(x, y, lat, lon);
  return 0;
}
