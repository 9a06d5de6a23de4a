#include "gps/nmea_fix_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "gps/tests/gps_test_support.h"

namespace {

using vd::test::Sentence;

constexpr int64_t kDay = 1711843200;  // 2024-03-31 00:00:00 UTC
constexpr int kNone = NmeaFixParser::kNoNotice;

class NmeaFixParserTest : public ::testing::Test {
 protected:
  NmeaFixParserTest() : parser_([this] { return now_; }) { parser_.StartRun(); }

  int Parse(const std::string& line) { return parser_.ParseLine(line); }
  const GPS_position_info& record() const { return parser_.record(); }

  static std::string Rmc(const std::string& time, char status, const std::string& position,
                         const std::string& tail = "022.4,084.4,310324,003.1,W") {
    return Sentence("GPRMC," + time + "," + status + "," + position + "," + tail);
  }

  int64_t now_ = kDay + 3600;
  NmeaFixParser parser_;
};

constexpr char kMunich[] = "4807.038,N,01131.000,E";

TEST_F(NmeaFixParserTest, FirstRmcOfARunIsNotPostedAndEachNewSecondIsOnce) {
  EXPECT_EQ(Parse(Rmc("123519", 'A', kMunich)), kNone);
  EXPECT_TRUE(record().valid);
  EXPECT_EQ(Parse(Rmc("123520", 'A', kMunich)), kGpsNoticeFix);
  EXPECT_EQ(Parse(Rmc("123520", 'A', kMunich)), kNone);  // same time
  EXPECT_EQ(Parse(Rmc("123521.5", 'A', kMunich)), kGpsNoticeFix);
  const GPS_position_info& r = record();
  EXPECT_TRUE(r.valid);
  EXPECT_STREQ(r.status, "OK");
  EXPECT_EQ(r.time, kDay + 12 * 3600 + 35 * 60 + 21);
  EXPECT_NEAR(r.position.lat, 48.1173, 1e-9);
  EXPECT_NEAR(r.position.lon, 11.5166667, 1e-7);
  EXPECT_FLOAT_EQ(r.speed, 22.4f);
  EXPECT_FLOAT_EQ(r.course, 84.4f);
  EXPECT_FLOAT_EQ(r.variation, -3.1f);  // west

  // A new run starts over: its first RMC is not posted either.
  parser_.StartRun();
  EXPECT_FALSE(record().valid);
  EXPECT_EQ(Parse(Rmc("123530", 'A', kMunich)), kNone);
}

TEST_F(NmeaFixParserTest, StatusVKeepsWholeSecondFixesOnly) {
  Parse(Rmc("120000", 'A', kMunich));
  EXPECT_EQ(Parse(Rmc("120001", 'V', kMunich)), kGpsNoticeFix);
  EXPECT_TRUE(record().valid);
  EXPECT_STREQ(record().status, "No Signal");
  EXPECT_EQ(record().time, kDay + 12 * 3600 + 1);

  Parse(Rmc("120002.000", 'V', kMunich));
  EXPECT_FALSE(record().valid);
  Parse(Rmc("120003", 'V', "0000.000,N,00000.000,E"));
  EXPECT_FALSE(record().valid);
  Parse(Rmc("120004", 'X', kMunich));
  EXPECT_STREQ(record().status, "Unknown RMC status flag");
}

TEST_F(NmeaFixParserTest, RmcChecksumMustBeThereAndRight) {
  Parse(Rmc("120000", 'A', kMunich));
  Parse(Rmc("120001", 'A', kMunich));
  const GeoPoint before = record().position;

  std::string wrong = Rmc("120002", 'A', "5000.000,S,00100.000,W");
  wrong.back() = wrong.back() == '0' ? '1' : '0';
  const std::string no_checksum = wrong.substr(0, wrong.find('*'));
  for (const std::string& line : {wrong, no_checksum, no_checksum + "*G1"}) {
    SCOPED_TRACE(line);
    Parse(Rmc("120001", 'A', kMunich));
    Parse(line);
    EXPECT_FALSE(record().valid);
    EXPECT_STREQ(record().status, "Checksum error");
    EXPECT_EQ(record().time, 0);
    EXPECT_EQ(record().position.lat, before.lat);  // nothing of the bad sentence is taken
  }

  // Lower-case hexadecimal digits are right too.
  std::string lower = Rmc("120003", 'A', kMunich);
  for (size_t i = lower.find('*'); i < lower.size(); ++i)
    lower[i] = static_cast<char>(tolower(lower[i]));
  EXPECT_EQ(Parse(lower), kGpsNoticeFix);
  EXPECT_TRUE(record().valid);
}

TEST_F(NmeaFixParserTest, OtherSentencesWithABadChecksumAreDroppedWithoutOneTaken) {
  std::string gga = Sentence("GPGGA,120000,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,");
  std::string bad = gga;
  bad[bad.size() - 1] = bad[bad.size() - 1] == 'F' ? 'E' : 'F';
  Parse(bad);
  EXPECT_EQ(record().fix_quality, -1);
  Parse(gga.substr(0, gga.find('*')));  // no checksum: taken
  EXPECT_EQ(record().fix_quality, 2);
  EXPECT_EQ(record().satellites_used, 8);
  EXPECT_FLOAT_EQ(record().precision, 0.9f);
  EXPECT_FLOAT_EQ(record().altitude, 545.4f);
}

TEST_F(NmeaFixParserTest, MissingFieldsGiveNoFixAndKeepWhatWasKnown) {
  Parse(Rmc("120000", 'A', kMunich));
  Parse(Rmc("120001", 'A', kMunich));
  const int32_t time = record().time;
  const char* broken[] = {
      "GPRMC,120002,A,,,,,022.4,084.4,310324,,",             // no position
      "GPRMC,120002,A,4807.038,N,01131.000,E,1,2,,,",        // no date
      "GPRMC,,A,4807.038,N,01131.000,E,1,2,310324,,",        // no time
      "GPRMC,120002,A,4807.038,N,01131.000,E,1,2,300224,,",  // not in the calendar
      "GPRMC,120002,A,4807.038,N,01131.000,E,1,2,310399,,",  // past the record's 32-bit time
      "GPRMC,120002,A,4807.038",                             // cut short
      "GPRMC,",
  };
  for (const char* body : broken) {
    SCOPED_TRACE(body);
    Parse(Rmc("120001", 'A', kMunich));
    Parse(Sentence(body));
    EXPECT_FALSE(record().valid);
    EXPECT_EQ(record().time, time);
  }
  // GGA with its fields empty changes nothing it does not have.
  Parse(Sentence("GPGGA,120000,4807.038,N,01131.000,E,1,07,1.2,10.0,M,,M,,"));
  Parse(Sentence("GPGGA,,,,,,,,,,,,,,"));
  EXPECT_EQ(record().fix_quality, 1);
  EXPECT_EQ(record().satellites_used, 7);
  EXPECT_FLOAT_EQ(record().precision, 1.2f);
  EXPECT_FLOAT_EQ(record().altitude, 10.0f);
}

TEST_F(NmeaFixParserTest, GgaAloneGivesFixesFromTheFifthOn) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Parse(Sentence("GPGGA,23595" + std::to_string(i) +
                             ",4807.038,N,01131.000,E,1,07,1.2,545.4,M,46.9,M,,")),
              kNone);
  }
  EXPECT_FALSE(record().valid);
  EXPECT_EQ(Parse(Sentence("GPGGA,235954,4807.038,N,01131.000,E,1,07,1.2,545.4,M,46.9,M,,")),
            kGpsNoticeFix);
  EXPECT_TRUE(record().valid);
  EXPECT_STREQ(record().status, "Position from GGA: no speed");
  EXPECT_EQ(record().speed, 0.0f);
  EXPECT_EQ(record().time, kDay + 86399 - 5);  // the wall clock's UTC date
  EXPECT_EQ(Parse(Sentence("GPGGA,235954,4807.038,N,01131.000,E,1,07,1.2,545.4,M,46.9,M,,")),
            kNone);
  // Past midnight the time of day goes back: the date moves on.
  EXPECT_EQ(Parse(Sentence("GPGGA,000001,4807.038,N,01131.000,E,1,07,1.2,545.4,M,46.9,M,,")),
            kGpsNoticeFix);
  EXPECT_EQ(record().time, kDay + 86400 + 1);
  // Quality 0: no fix.
  EXPECT_EQ(Parse(Sentence("GPGGA,000002,4807.038,N,01131.000,E,0,00,,,M,,M,,")), kGpsNoticeFix);
  EXPECT_FALSE(record().valid);
  EXPECT_STREQ(record().status, "No Signal");
  // Once RMC comes, GGA no longer gives positions.
  Parse(Rmc("000003", 'A', kMunich, "1.0,2.0,010424,,"));
  EXPECT_EQ(Parse(Sentence("GPGGA,000004,4807.038,N,01131.000,E,1,07,1.2,545.4,M,46.9,M,,")),
            kNone);
  EXPECT_EQ(record().time, kDay + 86400 + 3);
}

TEST_F(NmeaFixParserTest, GllOnlyWithoutRmcAndGga) {
  const std::string gll = Sentence("GPGLL,4916.45,N,12311.12,W,225444,A,");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Parse(gll), kNone);
  EXPECT_EQ(Parse(gll), kGpsNoticeFix);
  EXPECT_TRUE(record().valid);
  EXPECT_STREQ(record().status, "Position from GLL: no alt/speed");
  EXPECT_NEAR(record().position.lon, -(123 + 11.12 / 60), 1e-9);
  Parse(Sentence("GPGLL,4916.45,N,12311.12,W,225445,V,"));
  EXPECT_FALSE(record().valid);
  EXPECT_STREQ(record().status, "No Signal");

  // After a single GGA in a run, GLL is ignored for good.
  parser_.StartRun();
  Parse(Sentence("GPGGA,225446,4916.45,N,12311.12,W,1,07,1.2,545.4,M,46.9,M,,"));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Parse(gll), kNone);
  EXPECT_FALSE(record().valid);
}

TEST_F(NmeaFixParserTest, SatelliteCycleFillsTwelveSlotsAndNoticesOnce) {
  // Used: 5, 12 and the out-of-table 33 and 120.
  Parse(Sentence("GPGSA,A,3,05,12,33,120,,,,,,,,,2.5,1.3,2.1"));
  EXPECT_EQ(Parse(Sentence("GPGSV,4,1,13,05,40,083,46,12,10,300,35,33,20,120,40,120,30,200,38")),
            kNone);
  EXPECT_EQ(Parse(Sentence("GPGSV,4,2,13,14,45,010,41,15,50,020,42,16,55,030,43,17,60,040,44")),
            kNone);
  EXPECT_EQ(Parse(Sentence("GPGSV,4,3,13,18,65,050,45,19,70,060,46,20,75,070,47,21,80,080,48")),
            kNone);
  EXPECT_EQ(Parse(Sentence("GPGSV,4,4,13,22,85,090,49,1")), kGpsNoticeSatellites);
  const auto& s = record().satellites;
  EXPECT_EQ(s[0].prn, 5);
  EXPECT_EQ(s[0].elevation, 40);
  EXPECT_EQ(s[0].azimuth, 83);
  EXPECT_EQ(s[0].snr, 46);
  EXPECT_TRUE(s[0].used);
  EXPECT_TRUE(s[1].used);
  EXPECT_EQ(s[2].prn, 33);
  EXPECT_FALSE(s[2].used);  // above 32: never used
  EXPECT_EQ(s[3].prn, 120);
  EXPECT_EQ(s[3].azimuth, 200);  // a three-digit PRN keeps the fields after it in line
  EXPECT_FALSE(s[3].used);
  EXPECT_EQ(s[11].prn, 21);  // twelve slots; satellite 22 has none
  EXPECT_FALSE(s[11].used);

  // A new cycle starts from an empty table; a trailing signal field is no satellite.
  EXPECT_EQ(Parse(Sentence("GPGSV,1,1,02,07,10,100,30,08,20,200,,1")), kGpsNoticeSatellites);
  EXPECT_EQ(s[0].prn, 7);
  EXPECT_EQ(s[1].prn, 8);
  EXPECT_EQ(s[1].snr, 0);
  EXPECT_EQ(s[2].prn, 0);
  // A broken GSV is no complete cycle.
  EXPECT_EQ(Parse(Sentence("GPGSV,,,")), kNone);
}

// Short fields are read at once when four bytes or more are left, else a character at a time;
// a satellite group reads the same at the start of a sentence and at its end, however odd.
TEST_F(NmeaFixParserTest, SatelliteFieldsReadTheSameWhereverTheyStand) {
  struct Case {
    const char* group;  // PRN, elevation, azimuth, SNR
    int prn, elevation, azimuth, snr;
  };
  const Case cases[] = {
      {"7,5,12,3", 7, 5, 12, 3},
      {"120,45,359,44", 120, 45, 359, 44},
      {"05,,,", 5, 0, 0, 0},
      {"1234,123,4567,999", 123, 12, 456, 99},  // the first digits of each
      {"1a,b2,3c4,", 1, 0, 3, 0},                // up to the first other character
  };
  for (const Case& c : cases) {
    const std::string group = c.group;
    for (const std::string& body : {"GPGSV,1,1,02," + group + ",09,10,020,31",
                                    "GPGSV,1,1,02,09,10,020,31," + group}) {
      ASSERT_EQ(Parse(Sentence(body)), kGpsNoticeSatellites) << body;
      const auto& table = record().satellites;
      const GPSSatelliteInfo& s = table[table[0].prn == 9 ? 1 : 0];
      EXPECT_EQ(s.prn, c.prn) << body;
      EXPECT_EQ(s.elevation, c.elevation) << body;
      EXPECT_EQ(s.azimuth, c.azimuth) << body;
      EXPECT_EQ(s.snr, c.snr) << body;
    }
  }
}

TEST_F(NmeaFixParserTest, HeadingWaterSpeedDepthAndPositionError) {
  Parse(Sentence("HCHDT,274.07,T"));
  EXPECT_FLOAT_EQ(record().heading, 274.07f);
  Parse(Sentence("HCHDT,,T"));  // no heading given: the last one stays
  EXPECT_FLOAT_EQ(record().heading, 274.07f);
  Parse(Sentence("VWVHW,0.0,T,12.5,M,6.2,N,11.5,K"));
  EXPECT_FLOAT_EQ(record().heading, 12.5f);
  EXPECT_FLOAT_EQ(record().water_speed, 6.2f);
  Parse(Sentence("VWVHW,45.0,T,12.5,M,6.3,N,11.5,K"));
  EXPECT_FLOAT_EQ(record().heading, 45.0f);
  Parse(Sentence("VWVHW,,T,,M,6.4,N,,K"));
  EXPECT_FLOAT_EQ(record().heading, 45.0f);
  Parse(Sentence("SDDPT,12.5,0.5"));
  EXPECT_FLOAT_EQ(record().depth, 13.0f);
  Parse(Sentence("SDDPT,0.0,0.5"));
  EXPECT_FLOAT_EQ(record().depth, 0.0f);
  Parse(Sentence("PGRME,15.2,M,45.0,M,25.0,M"));
  EXPECT_FLOAT_EQ(record().precision, 15.2f);
  // A proprietary sentence is never taken for a standard one of the same letters.
  EXPECT_EQ(Parse(Rmc("120000", 'A', kMunich)), kNone);
  EXPECT_EQ(Parse(Sentence("PGRMC,A,218.8,100,6378137.000,298.257223563,0.0,0.0,0.0,A,3,1,1,4,30")),
            kNone);
  EXPECT_EQ(Parse(Rmc("120001", 'A', kMunich)), kGpsNoticeFix);
}

TEST_F(NmeaFixParserTest, SimulatedInputPostsEveryFix) {
  parser_.record().simulated = 1;
  Parse(Rmc("120000", 'A', kMunich));
  EXPECT_EQ(Parse(Rmc("120001", 'A', kMunich)), kGpsNoticeFix);
  EXPECT_EQ(Parse(Rmc("120001", 'A', kMunich)), kGpsNoticeFix);
  EXPECT_STREQ(record().status, "Simulated Input");
}

}  // namespace
