// Fuzz target: GPX, LOC and TCX files through the import's reader (the well-formedness and
// position check, the tree reader and the three object readers). Byte 0 picks the ending.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_objects.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "overlays/exchange/gpx_exchange.h"
#include "overlays/ostrel_object.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const kNames[] = {"input.gpx", "input.loc", "input.tcx"};
  const std::string path = vd::fuzz::WriteInput(kNames[data[0] % 3], data + 1, size - 1);
  ObjectList list;
  ImportXmlTrackFile(path, list);
  vd::fuzz::ReleaseObjects(list);
  return 0;
}
