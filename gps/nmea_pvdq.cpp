#include "gps/nmea_pvdq.h"

namespace NMEA_PVDQ {

CNMEASentenceTypeOf<AcknowledgeNotifications> AcknowledgeNotifications::Type{
    kNameOffset, "PVDQ,ACKALLALERTS", true};

bool SetStartTimer::Parse(const char* sentence) {
  NMEAFields<4> fields(sentence);
  start_time = NMEAFieldDouble(fields.f[2]);
  period_minutes = NMEAFieldInt(fields.f[3]);
  return true;
}

bool SetStartLine::Parse(const char* sentence) {
  NMEAFields<6> fields(sentence);
  left_lat = NMEAFieldDouble(fields.f[2]);
  left_lon = NMEAFieldDouble(fields.f[3]);
  right_lat = NMEAFieldDouble(fields.f[4]);
  right_lon = NMEAFieldDouble(fields.f[5]);
  return true;
}

}  // namespace NMEA_PVDQ
