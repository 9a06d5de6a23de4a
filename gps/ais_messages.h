#pragma once
// AIS messages carried by "!xxVDM" (received from other stations) and "!xxVDO" (sent by the
// own transponder) sentences. A message may span several sentences; a sentence object parses
// successfully (and so is fired to its subscribers) when its last fragment has arrived and the
// six-bit payload decoded into a message of a known type.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gps/nmea_sentence.h"

namespace CNEMA_AIS {

// The fields of the message types the target manager reads; fields a type does not carry keep
// their "not available" values.
struct Message {
  static constexpr double kNoLatitude = 91.0;
  static constexpr double kNoLongitude = 181.0;
  static constexpr int kNoHeading = 511;

  int type = 0;
  uint32_t mmsi = 0;
  int nav_status = 15;           // 15 = not defined
  double speed_knots = 102.3;    // 102.3 = not available
  double latitude = kNoLatitude;     // degrees
  double longitude = kNoLongitude;   // degrees
  double course = 360.0;         // degrees; 360 = not available
  int heading = kNoHeading;      // degrees; 511 = not available
  int altitude = 4095;           // metres (type 9); 4095 = not available
  int part_number = 0;           // type 24: 0 part A, 1 part B
  int aid_type = 0;              // type 21
  std::string name;
  std::string call_sign;
  std::string destination;
  int ship_type = 0;
  int to_bow = 0, to_stern = 0, to_port = 0, to_starboard = 0;  // metres
  int eta_month = 0, eta_day = 0, eta_hour = 24, eta_minute = 60;
};

// Decodes a whole six-bit payload with its fill bits; false for an unknown type, a payload
// too short for its type, or a character outside the payload alphabet.
bool DecodePayload(const std::string& payload, int fill_bits, Message& out);

// Joins the fragments of multi-sentence messages of one sentence kind. The fragments of
// several messages may interleave (two channels, several stations, single-sentence messages in
// between): a message is known by its channel and sequential id, and its fragments must come in
// turn. A message whose next fragment does not come within kTimeoutSeconds is dropped, and no
// more than kMaxOpen messages are joined at a time (the one waiting longest gives way).
class FragmentJoiner {
 public:
  static constexpr int kMaxFragments = 9;
  static constexpr size_t kMaxPayload = 1024;
  // Ten sequential ids on each of the two AIS channels, whichever way a receiver names them.
  static constexpr size_t kMaxOpen = 40;
  static constexpr double kTimeoutSeconds = 10.0;

  // The sentence's fields from index 1: fragment count, fragment number, sequential id,
  // channel, payload, fill bits. True with the whole payload and fill when the message is
  // complete.
  bool Add(char* const* fields, std::string& payload, int& fill_bits);
  // Messages waiting for further fragments.
  size_t open_messages() const { return open_.size(); }
  void Clear() { open_.clear(); }

 private:
  struct Open {
    std::string channel;
    std::string sequence;
    int count = 0;
    int next = 0;        // the fragment number awaited
    double heard = 0.0;  // when the last fragment came
    std::string joined;
  };
  std::vector<Open> open_;  // oldest first
};

// The clock of the fragment time-out, seconds on any steady scale; null restores the
// monotonic clock of the system.
void SetFragmentClock(std::function<double()> clock);
// Drops every message waiting for fragments, of both sentence kinds.
void ClearOpenFragments();

class VDM : public CNMEASentence {
 public:
  using CNMEASentence::CNMEASentence;
  static CNMEASentenceTypeOf<VDM> Type;
  bool Parse(const char* sentence) override;
  Message message;

 private:
  friend void ClearOpenFragments();
  static FragmentJoiner joiner_;
};

class VDO : public CNMEASentence {
 public:
  using CNMEASentence::CNMEASentence;
  static CNMEASentenceTypeOf<VDO> Type;
  bool Parse(const char* sentence) override;
  Message message;

 private:
  friend void ClearOpenFragments();
  static FragmentJoiner joiner_;
};

}  // namespace CNEMA_AIS
