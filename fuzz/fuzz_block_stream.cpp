// Fuzz target: block stream files: framing, blocks and the typed records of the newer overlay
// model (marks, routes and the managers' lists), read as the program reads its data files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/serializable_stream.h"
#include "fuzz/fuzz_support.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_mark.h"
#include "overlays/model/overlay_route.h"
#include "overlays/model/track_manager.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  // Each record type registers itself from its own object file, which the linker only brings
  // in when something reads from it: asking for each type's id does (a bare address taken and
  // thrown away is optimised out, and the reader then knew no record at all).
  for (const CSerializable::Type* type :
       {static_cast<const CSerializable::Type*>(&COverlayMark::cType),
        static_cast<const CSerializable::Type*>(&COverlayRoute::cType),
        static_cast<const CSerializable::Type*>(&CMarkManager::cType),
        static_cast<const CSerializable::Type*>(&CTrackManager::cType)}) {
    if (!CSerializable::Type::Find(type->type_id())) abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("input.dat", data, size);
  CSerializableStream stream;
  if (!stream.OpenRead(path)) return 0;
  for (int i = 0; i < 1000; ++i) {
    CSerializableStream::RecordResult record = stream.ReadRecord();
    if (record.status == CSerializableStream::RecordStatus::kEnd) break;
  }
  stream.Close();
  return 0;
}
