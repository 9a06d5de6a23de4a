#pragma once
// The standard GPS sentences of the registered sentence framework (gps/nmea_sentence.h): their
// types match the name after "$" and any two-letter talker.
#include <cstdint>

#include "gps/nmea_sentence.h"

namespace CNMEA_GPS {

// Fields shared by every GPS sentence: the talker's second letter ("$GPRMC" -> 'P').
class Sentence : public CNMEASentence {
 public:
  using CNMEASentence::CNMEASentence;
  char talker = '\0';

 protected:
  // The sentence's fields; notes the talker letter.
  template <int N>
  NMEAFields<N> Split(const char* sentence) {
    talker = sentence[0] && sentence[1] ? sentence[2] : '\0';
    return NMEAFields<N>(sentence);
  }
};

class RMC : public Sentence {
 public:
  using Sentence::Sentence;
  static CNMEASentenceTypeOf<RMC> Type;
  bool Parse(const char* sentence) override;

  double utc_time = 0.0;  // seconds since 1970: the date plus the time of day
  bool valid = false;
  double latitude = 0.0;
  double longitude = 0.0;
  double speed_knots = 0.0;
  double course = 0.0;
  float magnetic_variation = 0.0f;
};

class GGA : public Sentence {
 public:
  using Sentence::Sentence;
  static CNMEASentenceTypeOf<GGA> Type;
  bool Parse(const char* sentence) override;

  int time_of_day = 0;  // seconds
  double latitude = 0.0;
  double longitude = 0.0;
  int quality = 0;
  int satellites_used = 0;
  float hdop = 0.0f;
  float altitude = 0.0f;  // metres above mean sea level
};

class VTG : public Sentence {
 public:
  using Sentence::Sentence;
  static CNMEASentenceTypeOf<VTG> Type;
  bool Parse(const char* sentence) override;

  double course_true = 0.0;
  double speed_knots = 0.0;
};

class GSA : public Sentence {
 public:
  using Sentence::Sentence;
  static CNMEASentenceTypeOf<GSA> Type;
  bool Parse(const char* sentence) override;

  char mode = '\0';
  int fix_type = 0;
  int prn[12] = {};
  float pdop = 0.0f;
  float hdop = 0.0f;
  float vdop = 0.0f;
};

class GSV : public Sentence {
 public:
  using Sentence::Sentence;
  static CNMEASentenceTypeOf<GSV> Type;
  bool Parse(const char* sentence) override;

  struct Satellite {
    int prn = 0;
    int elevation = 0;
    int azimuth = 0;
    int snr = 0;
  };
  int total_messages = 0;
  int message_number = 0;
  int satellites_in_view = 0;
  Satellite satellites[4];
};

}  // namespace CNMEA_GPS
