// Fuzz target: the viewer's start file ("lumex.dat").
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lumex/lumex_start_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)DecodeLumexStartFile(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
