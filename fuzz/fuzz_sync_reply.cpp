// Fuzz target: replies of the overlay sync CGI: the three object lists of block 2 (marks,
// routes, tracks) in their block, merged into the managers as a sync run merges them.
#include <cstddef>
#include <cstdint>

#include "core/serializable_stream.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/track_manager.h"
#include "viewer_lib/overlay_sync.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  setenv("OSTREL_NOGUI", "1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("file.vdsync", data, size);
  CMarkManager marks;
  CTrackManager tracks;
  CSerializableStream reply;
  if (!reply.OpenRead(path)) return 0;
  constexpr double kRequestTime = 13'300'000'000.0;  // seconds since 1601
  {
    // Block 2 of a reply, as a sync run reads it after the first.
    CSerializableStream::Block block(reply);
    if (block.ok() && OverlaySync_ReadMarkList(reply, kRequestTime) &&
        OverlaySync_ReadRouteList(reply, kRequestTime)) {
      OverlaySync_ReadTrackList(reply, kRequestTime);
    }
  }
  reply.Close();
  return 0;
}
