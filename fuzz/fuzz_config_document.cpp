// Fuzz target: configuration documents (".vdn") read into the program's document: a
// malformed file must end with the archive reader's exception and leave the document whole.
#include <cstddef>
#include <cstdint>
#include <span>

#include "corvex/ostrel_doc.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "overlays/overlay_archive.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  COstrelDoc document;
  COverlayArchive archive(std::span<const uint8_t>(data, size));
  try {
    document.Serialize(archive);
  } catch (const COverlayArchiveException&) {
  }
  return 0;
}
