// Fuzz target: overlay files (".vdo") and the user-data file, both through the readers the
// program opens them with. Byte 0 picks the reader; the rest is the file.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_objects.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "overlays/overlay_file.h"
#include "overlays/ostrel_object.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string path = vd::fuzz::WriteInput("input.vdo", data + 1, size - 1);
  ObjectList list;
  if (data[0] & 1) {
    LoadUserDataFile(path, list);
  } else {
    ReadOverlayFileObjects(path, list);
  }
  vd::fuzz::ReleaseObjects(list);
  return 0;
}
