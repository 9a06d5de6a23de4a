// Fuzz target: recorded NMEA logs.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_objects.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "overlays/exchange/nmea_log_file.h"
#include "overlays/ostrel_object.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("input.nmea", data, size);
  ObjectList list;
  ImportNmeaFile(path, list);
  vd::fuzz::ReleaseObjects(list);
  return 0;
}
