// Fuzz target: the terrain texture (uncompressed DDS) the 3D viewer reads.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "lumex/terrain_texture.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("texture.dds", data, size);
  TerrainTexture texture;
  if (ReadDdsTexture(path, texture) &&
      texture.pixels.size() != size_t(texture.width) * size_t(texture.height)) {
    abort();  // the pixels the size promises
  }
  return 0;
}
