// Fuzz target: NMEA lines as a receiver sends them, one per input line, read by the live fix
// parser (positions, satellites, heading, depth, error estimate) and by every registered
// sentence class (the GPS sentences, AIS with its fragment joining, the proprietary $PVDQ
// ones). Checksums are not required here, so that the fields themselves are reached.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gps/ais_messages.h"
#include "gps/nmea_fix_parser.h"
#include "gps/nmea_gps_sentences.h"
#include "gps/nmea_pvdq.h"
#include "gps/nmea_sentence.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The sentence types register themselves as their objects are made: keep them linked.
  (void)&CNMEA_GPS::RMC::Type;
  (void)&CNEMA_AIS::VDM::Type;
  (void)&CNEMA_AIS::VDO::Type;
  (void)&NMEA_PVDQ::AcknowledgeNotifications::Type;
  CNMEASentenceType::SetProprietaryAllowed(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NmeaFixParser parser([] { return int64_t{1700000000}; });
  parser.StartRun();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string line(input.substr(start, end - start));
    start = end + 1;
    (void)parser.ParseLine(line);
    // As the dispatcher hands lines over: from the "$" or "!", NUL-terminated.
    const size_t mark = line.find_first_of("$!");
    if (mark == std::string::npos) continue;
    const char* text = line.c_str() + mark;
    if (CNMEASentenceType* type = CNMEASentenceType::FindType(text)) {
      CNMEASentence* sentence = type->Obtain();
      ++sentence->use_count;
      (void)sentence->Parse(text);
      CNMEASentenceType::Release(sentence);
    }
    NMEA_PVDQ::SetStartTimer timer(nullptr);
    (void)timer.Parse(text);
    NMEA_PVDQ::SetStartLine start_line(nullptr);
    (void)start_line.Parse(text);
  }
  return 0;
}
