#include "gps/nmea_gps_sentences.h"

namespace CNMEA_GPS {

// The standard sentences compare their name after "$" and the two-letter talker.
constexpr int32_t kStandardNameOffset = 3;

CNMEASentenceTypeOf<RMC> RMC::Type{kStandardNameOffset, "RMC", false};
CNMEASentenceTypeOf<GGA> GGA::Type{kStandardNameOffset, "GGA", false};
CNMEASentenceTypeOf<VTG> VTG::Type{kStandardNameOffset, "VTG", false};
CNMEASentenceTypeOf<GSA> GSA::Type{kStandardNameOffset, "GSA", false};
CNMEASentenceTypeOf<GSV> GSV::Type{kStandardNameOffset, "GSV", false};

bool RMC::Parse(const char* sentence) {
  NMEAFields<13> fields = Split<13>(sentence);
  char** f = fields.f;
  utc_time = static_cast<double>(NMEAFieldDate(f[9]) + NMEAFieldTime(f[1]));
  valid = f[2][0] == 'A' || (f[12][0] != '\0' && f[12][0] != 'N');
  latitude = NMEAFieldLatitude(f[3], f[4]);
  longitude = NMEAFieldLongitude(f[5], f[6]);
  speed_knots = NMEAFieldDouble(f[7]);
  course = NMEAFieldDouble(f[8]);
  magnetic_variation = static_cast<float>(NMEAFieldDouble(f[10]));
  if (f[11][0] == 'E') magnetic_variation = -magnetic_variation;
  return true;
}

bool GGA::Parse(const char* sentence) {
  NMEAFields<10> fields = Split<10>(sentence);
  char** f = fields.f;
  time_of_day = NMEAFieldTime(f[1]);
  latitude = NMEAFieldLatitude(f[2], f[3]);
  longitude = NMEAFieldLongitude(f[4], f[5]);
  quality = NMEAFieldInt(f[6]);
  satellites_used = NMEAFieldInt(f[7]);
  hdop = static_cast<float>(NMEAFieldDouble(f[8]));
  altitude = static_cast<float>(NMEAFieldDouble(f[9]));
  return true;
}

bool VTG::Parse(const char* sentence) {
  NMEAFields<6> fields = Split<6>(sentence);
  char** f = fields.f;
  course_true = NMEAFieldDouble(f[1]);
  speed_knots = NMEAFieldDouble(f[5]);
  return true;
}

bool GSA::Parse(const char* sentence) {
  NMEAFields<18> fields = Split<18>(sentence);
  char** f = fields.f;
  mode = f[1][0];
  fix_type = NMEAFieldInt(f[2]);
  for (int i = 0; i < 12; ++i) prn[i] = NMEAFieldInt(f[3 + i]);
  pdop = static_cast<float>(NMEAFieldDouble(f[15]));
  hdop = static_cast<float>(NMEAFieldDouble(f[16]));
  vdop = static_cast<float>(NMEAFieldDouble(f[17]));
  return true;
}

bool GSV::Parse(const char* sentence) {
  NMEAFields<20> fields = Split<20>(sentence);
  char** f = fields.f;
  total_messages = NMEAFieldInt(f[1]);
  message_number = NMEAFieldInt(f[2]);
  satellites_in_view = NMEAFieldInt(f[3]);
  for (int i = 0; i < 4; ++i) {
    char** s = f + 4 + 4 * i;
    satellites[i] = Satellite{NMEAFieldInt(s[0]), NMEAFieldInt(s[1]), NMEAFieldInt(s[2]),
                              NMEAFieldInt(s[3])};
  }
  return true;
}

}  // namespace CNMEA_GPS
