// Fuzz target: a recorded NMEA file replayed by the viewer's simulation connection, a burst of
// lines at a time, through the line dispatcher to the instruments that take the sentences: the
// position feed, the AIS targets and the race-start feed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "gps/instruments/ais_target_manager.h"
#include "gps/instruments/gps_position_feed.h"
#include "gps/instruments/race_start.h"
#include "gps/nmea_sentence.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/track_manager.h"
#include "viewer_lib/data_connection.h"

namespace {

class Replay : public CNMEASimulation {
 public:
  using CNMEASimulation::OnElapsed;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  CNMEASentenceType::SetProprietaryAllowed(true);
  static CGPSPositionFeed feed;
  (void)CAISTargetManager::Instance();
  (void)Feed_StartInfo::Instance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CNMEASimulation::Settings().filename = vd::fuzz::WriteInput("replay.nmea", data, size);
  CMarkManager marks;
  CTrackManager tracks;
  Replay replay;
  if (!replay.Open()) return 0;
  for (int burst = 0; burst < 8; ++burst) replay.OnElapsed();
  replay.Close();
  return 0;
}
