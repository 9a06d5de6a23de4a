#pragma once
// The proprietary "$PVDQ" sentences that instruments of this suite exchange: acknowledging all
// alerts, and setting the race start timer and start line. Their types compare the whole name
// after "$" and match only while proprietary sentences are allowed.
#include "gps/nmea_sentence.h"

namespace NMEA_PVDQ {

constexpr int32_t kNameOffset = 1;

// "$PVDQ,ACKALLALERTS": its arrival is the message.
class AcknowledgeNotifications : public CNMEASentence {
 public:
  using CNMEASentence::CNMEASentence;
  static CNMEASentenceTypeOf<AcknowledgeNotifications> Type;
  bool Parse(const char*) override { return true; }
};

// "$PVDQ,SetStartTimer,<start time, seconds since 1970>,<period, minutes>". Its type is
// registered by the race-start code that uses it.
class SetStartTimer : public CNMEASentence {
 public:
  using CNMEASentence::CNMEASentence;
  bool Parse(const char* sentence) override;

  double start_time = 0.0;
  int period_minutes = 0;
};

// "$PVDQ,SetStartLine,<left lat>,<left lon>,<right lat>,<right lon>" in degrees. Its type is
// registered by the race-start code that uses it.
class SetStartLine : public CNMEASentence {
 public:
  using CNMEASentence::CNMEASentence;
  bool Parse(const char* sentence) override;

  double left_lat = 0.0;
  double left_lon = 0.0;
  double right_lat = 0.0;
  double right_lon = 0.0;
};

}  // namespace NMEA_PVDQ
