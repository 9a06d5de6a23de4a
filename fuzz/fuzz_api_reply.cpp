// Fuzz target: the chart program's reply in the API transaction file as the 3D viewer's client
// reads it: the request's result, the vessel's state (doubles, floats sent as doubles, an int
// and a flag), then whatever int fields follow, until a field is cut short.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "lumex/api_client_transaction.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  // The API mutex of this process alone.
  setenv("XDG_RUNTIME_DIR", vd::fuzz::Folder().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("VDAPI2.dat", data, size);
  CApiClientTransaction t(path, "", 0);
  if (!t.locked()) abort();
  int32_t result = 0, time = 0;
  double lat = 0, lon = 0;
  float course = 0, speed = 0, altitude = 0, heading = 0, turn = 0;
  bool valid = false;
  if (t.ReadInt(result) | t.ReadDouble(lat) | t.ReadDouble(lon) | t.ReadFloat(course) |
      t.ReadFloat(speed) | t.ReadFloat(altitude) | t.ReadInt(time) | t.ReadBool(valid) |
      t.ReadFloat(heading) | t.ReadFloat(turn)) {
    return 0;
  }
  for (int32_t field = 0; t.ReadInt(field) == 0;) {
  }
  return 0;
}
