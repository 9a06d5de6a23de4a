#include "gps/nmea_fix_parser.h"

#include <limits>
#include <utility>

#include "app/nmea_fields.h"
#include "platform/os/clock.h"

namespace {

constexpr char kStatusOk[] = "OK";
constexpr char kStatusNoSignal[] = "No Signal";
constexpr char kStatusSimulated[] = "Simulated Input";
constexpr char kStatusUnknownRmc[] = "Unknown RMC status flag";
constexpr char kStatusChecksumError[] = "Checksum error";
constexpr char kStatusFromGga[] = "Position from GGA: no speed";
constexpr char kStatusFromGll[] = "Position from GLL: no alt/speed";

// The usual integer field: one to `digits` (at most 3) digits and a comma, read without a loop.
// False, the cursor unmoved, for any other.
inline bool ShortIntField(NmeaCursor& c, int digits, int& value) {
  const char* const p = c.pos;
  if (c.end - p < 4) return false;
  const unsigned d0 = static_cast<unsigned>(p[0] - '0');
  if (d0 >= 10) return false;
  if (p[1] == ',') {
    c.pos = p + 2;
    value = static_cast<int>(d0);
    return true;
  }
  const unsigned d1 = static_cast<unsigned>(p[1] - '0');
  if (d1 >= 10 || digits < 2) return false;
  if (p[2] == ',') {
    c.pos = p + 3;
    value = static_cast<int>(d0 * 10 + d1);
    return true;
  }
  const unsigned d2 = static_cast<unsigned>(p[2] - '0');
  if (d2 >= 10 || digits < 3 || p[3] != ',') return false;
  c.pos = p + 4;
  value = static_cast<int>(d0 * 100 + d1 * 10 + d2);
  return true;
}

// A fixed-width integer field: its first digits, at most `digits` of them, up to the first
// other character; the cursor moves past the field's comma even when more digits follow.
inline int FieldInt(NmeaCursor& c, int digits) {
  int value = 0;
  if (ShortIntField(c, digits, value)) return value;
  const char* p = c.pos;
  while (p < c.end) {
    const char ch = *p++;
    if (ch == ',') break;
    const unsigned digit = static_cast<unsigned>(ch - '0');
    if (digit < 10 && digits > 0) {
      value = value * 10 + static_cast<int>(digit);
      --digits;
    } else {
      digits = 0;
    }
  }
  c.pos = p;
  return value;
}

bool AtOrigin(const GeoPoint& p) { return p.lat == 0.0 && p.lon == 0.0; }

bool FitsTime(int64_t t) { return t > 0 && t <= std::numeric_limits<int32_t>::max(); }

constexpr uint32_t Tag(char a, char b, char c) {
  return static_cast<uint32_t>(static_cast<unsigned char>(a)) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b)) << 8 | static_cast<unsigned char>(c);
}

}  // namespace

NmeaFixParser::NmeaFixParser(std::function<int64_t()> now_seconds_1970)
    : now_seconds_1970_(now_seconds_1970 ? std::move(now_seconds_1970)
                                         : std::function<int64_t()>(vd::os::NowSeconds1970)) {}

void NmeaFixParser::StartRun() {
  record_.precision = 0.0f;
  record_.time = 0;
  record_.valid = 0;
  first_rmc_ = true;
  rmc_seen_ = false;
  gga_count_ = gll_count_ = 0;
  next_satellite_ = 0;
  prn_used_.fill(false);
}

int NmeaFixParser::ParseLine(std::string_view line) {
  // "$ttSSS," at least: two characters of talker, three of sentence type and the comma.
  if (line.size() < 7 || line[0] != '$' || line[6] != ',') return kNoNotice;
  const NmeaChecksum checksum = NMEACheckChecksum(line);
  if (checksum.star < 7) return kNoNotice;  // a "*" inside the sentence's name
  const bool has_checksum = checksum.star != std::string_view::npos;
  const bool checksum_ok = checksum.ok;
  NmeaCursor c(line.substr(0, checksum.star));
  c.pos += 7;

  if (line[1] == 'P') {
    // Proprietary sentences: the maker's letters take the place of the talker, so only the
    // whole name identifies them.
    if (line.substr(1, 5) != "PGRME" || (has_checksum && !checksum_ok)) return kNoNotice;
    double error = 0.0;
    if (NMEAGetNumber(c, error, true)) record_.precision = static_cast<float>(error);
    return kNoNotice;
  }
  const uint32_t tag = Tag(line[3], line[4], line[5]);
  if (tag == Tag('R', 'M', 'C')) return checksum_ok ? ParseRmc(c) : RmcChecksumError();
  if (has_checksum && !checksum_ok) return kNoNotice;
  switch (tag) {
    case Tag('G', 'G', 'A'):
      return ParseGga(c);
    case Tag('G', 'L', 'L'):
      return ParseGll(c);
    case Tag('G', 'S', 'V'):
      return ParseGsv(c);
    case Tag('G', 'S', 'A'):
      ParseGsa(c);
      break;
    case Tag('H', 'D', 'T'): {
      double heading = 0.0;
      if (NMEAGetNumber(c, heading, true)) record_.heading = static_cast<float>(heading);
      break;
    }
    case Tag('V', 'H', 'W'):
      ParseVhw(c);
      break;
    case Tag('D', 'P', 'T'):
      ParseDpt(c);
      break;
    default:
      break;
  }
  return kNoNotice;
}

int NmeaFixParser::FixNotice() {
  if (record_.simulated) return kGpsNoticeFix;
  if (record_.time == last_notice_time_) return kNoNotice;
  last_notice_time_ = record_.time;
  return kGpsNoticeFix;
}

int NmeaFixParser::RmcChecksumError() {
  record_.valid = 0;
  record_.status = kStatusChecksumError;
  record_.time = 0;
  rmc_seen_ = true;
  if (first_rmc_) {
    first_rmc_ = false;
    return kNoNotice;
  }
  return FixNotice();
}

int NmeaFixParser::ParseRmc(NmeaCursor& c) {
  bool has_fraction = false;
  const int time_of_day = NMEAGetTime(c, &has_fraction);
  const char status = NMEAGetChar(c, true);
  GeoPoint position;
  NMEAGetLatLon(c, position);

  record_.valid = 1;
  record_.position = position;
  if (record_.simulated)
    record_.status = kStatusSimulated;
  else if (status == 'A')
    record_.status = kStatusOk;
  else if (status == 'V')
    record_.status = kStatusNoSignal;
  else
    record_.status = kStatusUnknownRmc;
  // Some receivers flag a fix "V" while still giving a usable position; theirs come with whole
  // seconds.
  if (status == 'V' && (has_fraction || AtOrigin(position))) record_.valid = 0;
  if (record_.valid) {
    record_.speed = NMEAGetFloat(c, true);
    record_.course = NMEAGetFloat(c, true);
    const int64_t day_start = NMEAGetDate(c);
    float variation = NMEAGetFloat(c, true);
    if (!c.AtEnd() && NMEAGetChar(c, false) == 'W') variation = -variation;
    record_.variation = variation;
    const int64_t time = day_start + time_of_day;
    if (AtOrigin(position) || day_start < 0 || time_of_day < 0 || !FitsTime(time))
      record_.valid = 0;
    else
      record_.time = static_cast<int32_t>(time);
  }
  rmc_seen_ = true;
  if (first_rmc_) {
    first_rmc_ = false;
    return kNoNotice;
  }
  return FixNotice();
}

int64_t NmeaFixParser::DayStartFor(int time_of_day) {
  if (day_start_ < 0) {
    const int64_t now = now_seconds_1970_();
    day_start_ = now - (now % 86400 + 86400) % 86400;
  } else if (time_of_day < last_time_of_day_) {
    day_start_ += 86400;
  }
  last_time_of_day_ = time_of_day;
  return day_start_;
}

int NmeaFixParser::ParseGga(NmeaCursor c) {
  // Once RMC gives the positions, GGA's time and position are not needed.
  int time_of_day = -1;
  GeoPoint position;
  bool has_position = false;
  if (rmc_seen_) {
    NMEASkipFields(c, 5);
  } else {
    time_of_day = NMEAGetTime(c, nullptr);
    has_position = NMEAGetLatLon(c, position);
  }
  const char quality = NMEAGetChar(c, true);
  const bool has_quality = quality >= '0' && quality <= '9';
  if (has_quality) record_.fix_quality = quality - '0';
  if (c.Peek() >= '0' && c.Peek() <= '9')
    record_.satellites_used = FieldInt(c, 2);
  else
    NMEASkipField(c);
  double value = 0.0;
  if (NMEAGetNumber(c, value, true)) record_.precision = static_cast<float>(value);
  if (NMEAGetNumber(c, value, true)) record_.altitude = static_cast<float>(value);

  ++gga_count_;
  if (rmc_seen_) return kNoNotice;
  if (time_of_day >= 0) {
    const int64_t time = DayStartFor(time_of_day) + time_of_day;
    if (FitsTime(time)) record_.time = static_cast<int32_t>(time);
  }
  if (gga_count_ < 5) return kNoNotice;
  if (has_quality && quality >= '1' && has_position && !AtOrigin(position)) {
    record_.valid = 1;
    record_.position = position;
    record_.speed = 0.0f;
    record_.course = 0.0f;
    record_.status = kStatusFromGga;
  } else {
    record_.valid = 0;
    record_.status = kStatusNoSignal;
  }
  return FixNotice();
}

int NmeaFixParser::ParseGll(NmeaCursor& c) {
  if (rmc_seen_ || gga_count_ > 0) return kNoNotice;
  GeoPoint position;
  NMEAGetLatLon(c, position);
  const int time_of_day = NMEAGetTime(c, nullptr);
  const char status = NMEAGetChar(c, true);  // only in newer sentences
  if (++gll_count_ < 5) return kNoNotice;
  record_.valid = 1;
  record_.status = kStatusFromGll;
  record_.position = position;
  if (AtOrigin(position) || status == 'V') {
    record_.valid = 0;
    record_.status = kStatusNoSignal;
  }
  record_.speed = 0.0f;
  record_.course = 0.0f;
  if (time_of_day >= 0) {
    const int64_t time = DayStartFor(time_of_day) + time_of_day;
    if (FitsTime(time)) record_.time = static_cast<int32_t>(time);
  }
  return FixNotice();
}

int NmeaFixParser::ParseGsv(NmeaCursor c) {
  const int total = FieldInt(c, 2);
  const int number = FieldInt(c, 2);
  NMEASkipField(c);  // satellites in view
  if (number == 1) {
    record_.satellites.fill(GPSSatelliteInfo{});
    next_satellite_ = 0;
  }
  // Groups of four fields; newer receivers add one field (the signal) after the last group.
  // The table is filled through a local index: stores of its bytes could alias a member.
  size_t next = next_satellite_;
  while (next < record_.satellites.size()) {
    int prn = 0;
    if (!ShortIntField(c, 3, prn)) {
      prn = NMEAGetInt(c, 3, false);
      if (!NMEASkipField(c)) break;  // a last field alone is no satellite
    }
    const int elevation = FieldInt(c, 2);
    const int azimuth = FieldInt(c, 3);
    const int snr = FieldInt(c, 2);
    if (prn == 0) break;
    if (prn > 255) continue;  // not a PRN the table can hold
    GPSSatelliteInfo& s = record_.satellites[next++];
    s.prn = static_cast<uint8_t>(prn);
    s.elevation = static_cast<uint8_t>(elevation);
    s.azimuth = static_cast<int16_t>(azimuth);
    s.snr = static_cast<uint8_t>(snr);
    s.used = prn < static_cast<int>(prn_used_.size()) && prn_used_[static_cast<size_t>(prn)];
  }
  next_satellite_ = next;
  if (number >= 1 && number == total) return kGpsNoticeSatellites;
  return kNoNotice;
}

void NmeaFixParser::ParseGsa(NmeaCursor c) {
  NMEASkipField(c);  // mode
  NMEASkipField(c);  // fix type
  prn_used_.fill(false);
  for (int i = 0; i < 12; ++i) {
    const int prn = FieldInt(c, 3);
    if (prn >= 1 && prn < static_cast<int>(prn_used_.size()))
      prn_used_[static_cast<size_t>(prn)] = true;
  }
}

void NmeaFixParser::ParseVhw(NmeaCursor& c) {
  const float true_heading = NMEAGetFloat(c, true);
  NMEASkipField(c);
  const float magnetic_heading = NMEAGetFloat(c, true);
  NMEASkipField(c);
  record_.water_speed = NMEAGetFloat(c, true);
  if (true_heading != 0.0f)
    record_.heading = true_heading;
  else if (magnetic_heading != 0.0f)
    record_.heading = magnetic_heading;
}

void NmeaFixParser::ParseDpt(NmeaCursor& c) {
  const float depth = NMEAGetFloat(c, true);
  const float offset = NMEAGetFloat(c, true);
  record_.depth = depth != 0.0f ? depth + offset : 0.0f;
}
