// Fuzz target: GPX files as the newer generation imports them into its mark, route and track
// managers (with the managers' own extensions: colours, line patterns, symbols).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/track_manager.h"
#include "viewer_lib/overlay_gpx_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("import.gpx", data, size);
  // Fresh managers for every input: what one import read goes with them.
  CMarkManager marks;
  CTrackManager tracks;
  (void)ImportGpxDocument(path);
  return 0;
}
