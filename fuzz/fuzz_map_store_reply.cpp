// Fuzz target: replies of the map store's search CGI, read as an area search (byte 0 odd: the
// identifiers first) or a keyword search reads them, then built into the catalogue tree.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "charts/map_store_query.h"
#include "core/type_file_in.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string path = vd::fuzz::WriteInput("reply.bin", data + 1, size - 1);
  CTypeFileIn reply(path);
  const CMapStoreQuery query(reply, (data[0] & 1) != 0);
  (void)query.BuildTree({});
  return 0;
}
