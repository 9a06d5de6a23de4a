// Fuzz target: place-name index files: every category and place record, and a search.
#include <cstddef>
#include <cstdint>

#include "charts/old_geo_name_database.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("input.vdq", data, size);
  COldGeoNameDatabase database;
  if (database.Open(path) != 0) return 0;
  GeoNameCursor cursor = nullptr;
  for (int i = 0; i < 100000; ++i) {
    database.NextCategory(cursor);
    if (!cursor) break;
    (void)COldGeoNameDatabase::Read(cursor);
  }
  cursor = nullptr;
  for (int i = 0; i < 100000; ++i) {
    database.NextPlace(cursor);
    if (!cursor) break;
    (void)COldGeoNameDatabase::Read(cursor);
    (void)COldGeoNameDatabase::RawName(cursor);
  }
  cursor = nullptr;
  database.FindNext(cursor, -1, "ab");
  return 0;
}
