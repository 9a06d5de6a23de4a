#pragma once
// Reads NMEA 0183 sentences into a GPS fix record and tells when a notice is due: RMC, GGA, GLL
// (positions), GSV and GSA (satellites), HDT and VHW (heading, speed through the water), DPT
// (depth) and the proprietary $PGRME (estimated position error). Other sentences are ignored.
//
// Checksums: a sentence carrying "*hh" is dropped when hh is not two hexadecimal digits (either
// case) matching its characters. RMC must carry one; an RMC without it, or with a wrong one,
// changes no field but makes the fix invalid with time 0 and the status "Checksum error".
//
// A position comes from RMC. While no RMC has come in a run it comes from GGA (from the fifth
// GGA on), and while neither RMC nor GGA has come from GLL (from the fifth GLL on). A fix notice
// is due for each such position whose time differs from that of the last notice (for simulated
// input, for each one), except for the first RMC of a run. GGA and GLL carry only a time of
// day: the date is the UTC date of the wall clock at their first use, moved on a day whenever
// the time of day goes back.
//
// Satellites: GSA marks the PRNs 1 to 32 used in the solution (higher PRNs are never marked);
// GSV fills the table of up to 12 satellites, cleared by message 1 of each cycle, and the
// satellites notice is due after the last message of the cycle.
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "app/gps_position_info.h"
#include "gps/gps_notice.h"

struct NmeaCursor;

class NmeaFixParser {
 public:
  // now_seconds_1970: the UTC wall clock; the system clock when empty.
  explicit NmeaFixParser(std::function<int64_t()> now_seconds_1970 = {});

  // Starts a run of the reader: forgets which sentences came and clears the record's
  // precision, time and valid flag. What outlives a run (the time of the last notice, the
  // date of GGA and GLL times) is kept.
  void StartRun();

  static constexpr int kNoNotice = -1;

  // One line without its line end. Returns the GpsNotice now due, or kNoNotice.
  int ParseLine(std::string_view line);

  GPS_position_info& record() { return record_; }
  const GPS_position_info& record() const { return record_; }

 private:
  // The sentences read mostly by the inline field readers take the cursor by value, so that it
  // stays in registers (through a reference, each byte stored to the record could alias it).
  int ParseRmc(NmeaCursor& c);
  int RmcChecksumError();
  int ParseGga(NmeaCursor c);
  int ParseGll(NmeaCursor& c);
  int ParseGsv(NmeaCursor c);
  void ParseGsa(NmeaCursor c);
  void ParseVhw(NmeaCursor& c);
  void ParseDpt(NmeaCursor& c);
  // kGpsNoticeFix if a fix notice is due (remembering its time), else kNoNotice.
  int FixNotice();
  // The UTC start of the day of a GGA or GLL time of day.
  int64_t DayStartFor(int time_of_day);

  std::function<int64_t()> now_seconds_1970_;
  GPS_position_info record_;

  // One run of the reader.
  bool first_rmc_ = true;
  bool rmc_seen_ = false;
  int gga_count_ = 0;
  int gll_count_ = 0;
  size_t next_satellite_ = 0;
  std::array<bool, 33> prn_used_{};  // by PRN, 1 to 32

  // Across runs.
  int64_t last_notice_time_ = 0;
  int64_t day_start_ = -1;  // -1 until the first GGA or GLL time
  int last_time_of_day_ = 0;
};
