#include "gps/nmea_fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "gps/packet_name.h"
#include "gps/tests/gps_test_support.h"
#include "gps/utc_offset.h"

namespace {

// Sets TZ for one test and puts it back afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

constexpr char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";

TEST(NmeaFields, ChecksumIsCheckedInEitherCaseAndRefusesAnythingElse) {
  const std::string good = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
  EXPECT_TRUE(NMEAChecksumOK(good));
  EXPECT_TRUE(NMEAChecksumOK(vd::test::Sentence("GPHDT,274.07,T")));
  const std::string cases[] = {
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B",  // wrong
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",     // absent
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6",   // one digit
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6G",  // not hex
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*",
  };
  for (const std::string& line : cases) EXPECT_FALSE(NMEAChecksumOK(line)) << line;
  // Lower-case digits are as good as upper-case ones.
  EXPECT_TRUE(NMEAChecksumOK("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39"));
  EXPECT_TRUE(NMEAChecksumOK("$HCHDT,1.5,T*2d"));
  EXPECT_TRUE(NMEAChecksumOK("$HCHDT,1.5,T*2D"));

  std::string sentence = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
  EXPECT_EQ(NMEAAppendChecksumCRLF(sentence), 0x6A);
  EXPECT_EQ(sentence, good + "\r\n");
}

TEST(NmeaFields, LatLonIsWrittenWithMinutesRoundedFirst) {
  struct Case {
    GeoPoint p;
    const char* text;
  };
  const Case cases[] = {
      {{48.1173, 11.516666667}, "4807.038,N,01131.000,E,"},
      {{-33.5, -70.25}, "3330.000,S,07015.000,W,"},
      // 48.9999999 degrees is 48 degrees 59.999994 minutes: rounded, it carries.
      {{48.9999999, 179.99999999}, "4900.000,N,18000.000,E,"},
      {{0.0, -0.5}, "0000.000,N,00030.000,W,"},
      {{-0.0000001, 0.0}, "0000.000,N,00000.000,E,"},
      {{10.0, 190.0}, "1000.000,N,17000.000,W,"},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    FormatNMEALatLon(out, c.p);
    EXPECT_EQ(out, std::string("x") + c.text);
  }
}

TEST(NmeaFields, LatLonReadsBackAndKeepsLaterFieldsInLine) {
  NmeaCursor c("4807.038,N,01131.000,E,22.4");
  GeoPoint p;
  ASSERT_TRUE(NMEAGetLatLon(c, p));
  EXPECT_NEAR(p.lat, 48.1173, 1e-9);
  EXPECT_NEAR(p.lon, 11.516666667, 1e-9);
  EXPECT_FLOAT_EQ(NMEAGetFloat(c, true), 22.4f);

  const char* bad[] = {",,,,22.4", "4807.038,X,01131.000,E,22.4", "9107.038,N,01131.000,E,22.4",
                       "4807.038,N,18131.000,W,22.4", "4867.038,N,01131.000,E,22.4"};
  for (const char* text : bad) {
    NmeaCursor b(text);
    GeoPoint q{1, 1};
    EXPECT_FALSE(NMEAGetLatLon(b, q)) << text;
    EXPECT_EQ(q.lat, 0.0);
    EXPECT_EQ(q.lon, 0.0);
    EXPECT_FLOAT_EQ(NMEAGetFloat(b, true), 22.4f) << text;
  }
}

TEST(NmeaFields, NumbersCharactersAndStrings) {
  NmeaCursor c("123456,+1.5,-0.25,,A,,xyz*12");
  EXPECT_EQ(NMEAGetInt(c, 2, true), 12);  // two digits only, no comma after them
  EXPECT_EQ(NMEAGetInt(c, 9, true), 3456);
  EXPECT_FLOAT_EQ(NMEAGetFloat(c, true), 1.5f);
  double v = 1.0;
  EXPECT_TRUE(NMEAGetNumber(c, v, true));
  EXPECT_EQ(v, -0.25);
  EXPECT_FALSE(NMEAGetNumber(c, v, true));
  EXPECT_EQ(v, 0.0);
  EXPECT_EQ(NMEAGetChar(c, true), 'A');
  EXPECT_EQ(NMEAGetChar(c, true), ',');  // an empty one-character field
  std::string s;
  NMEAGetString(c, s);
  EXPECT_EQ(s, "xyz");
  EXPECT_EQ(c.Peek(), '*');
}

// Long digit runs still scale; one beyond what a float holds reads as no number (its
// conversion to float would be undefined) and the next field is read as usual.
TEST(NmeaFields, NumbersBeyondFloatRangeReadAsNone) {
  const std::string big = "1" + std::string(40, '0');
  const std::string fields = "1" + std::string(29, '0') + ",-" + big + "," + big + ".5,7";
  NmeaCursor c(fields);
  double v = 0.0;
  EXPECT_TRUE(NMEAGetNumber(c, v, true));
  EXPECT_DOUBLE_EQ(v, 1e29);
  EXPECT_FALSE(NMEAGetNumber(c, v, true));
  EXPECT_EQ(v, 0.0);
  EXPECT_EQ(NMEAGetFloat(c, true), 0.0f);
  EXPECT_EQ(NMEAGetFloat(c, true), 7.0f);
}

TEST(NmeaFields, TimesAndDates) {
  bool fraction = true;
  NmeaCursor t1("235959,");
  EXPECT_EQ(NMEAGetTime(t1, &fraction), 86399);
  EXPECT_FALSE(fraction);
  NmeaCursor t2("000008.500,");
  EXPECT_EQ(NMEAGetTime(t2, &fraction), 8);
  EXPECT_TRUE(fraction);
  for (const char* bad : {",", "2460,", "1260,", "12,"}) {
    NmeaCursor t(bad);
    EXPECT_EQ(NMEAGetTime(t, nullptr), -1) << bad;
  }

  NmeaCursor d("310324,rest");
  EXPECT_EQ(NMEAGetDate(d), 1711843200);  // 2024-03-31
  EXPECT_EQ(d.Peek(), 'r');
  for (const char* bad : {",", "300223,", "321224,", "011324,", "0103,"}) {
    NmeaCursor b(bad);
    EXPECT_EQ(NMEAGetDate(b), -1) << bad;
  }
  NmeaCursor leap("290224,");
  EXPECT_EQ(NMEAGetDate(leap), 1709164800);
}

TEST(NmeaFields, UtcDayStartIgnoresTheLocalZone) {
  ScopedTimeZone zone(kCentralEurope);
  EXPECT_EQ(UtcDayStart(24, 3, 31), 1711843200);    // the day summer time starts
  EXPECT_EQ(UtcDayStart(124, 10, 27), 1729987200);  // 100..199: 1900 added; summer time ends
  EXPECT_EQ(UtcDayStart(1970, 1, 1), 0);
  EXPECT_EQ(UtcDayStart(1969, 12, 31), -1);
  EXPECT_EQ(UtcDayStart(2023, 2, 29), -1);
  EXPECT_EQ(UtcDayStart(2000, 2, 29), 951782400);
  EXPECT_EQ(UtcDayStart(2024, 0, 1), -1);
}

TEST(NmeaFields, UtcOffsetFollowsDaylightSaving) {
  ScopedTimeZone zone(kCentralEurope);
  EXPECT_EQ(GetUtcOffsetSeconds(1705320000), -3600);      // 2024-01-15
  EXPECT_EQ(GetUtcOffsetSeconds(1721044800), -7200);      // 2024-07-15
  EXPECT_EQ(GetUtcOffsetSeconds(1711846800 - 1), -3600);  // 2024-03-31 00:59:59 UTC
  EXPECT_EQ(GetUtcOffsetSeconds(1711846800), -7200);      // 01:00:00 UTC, clocks go forward
  EXPECT_EQ(GetUtcOffsetSeconds(1729990800 - 1), -7200);  // 2024-10-27 00:59:59 UTC
  EXPECT_EQ(GetUtcOffsetSeconds(1729990800), -3600);
  ScopedTimeZone utc("UTC0");
  EXPECT_EQ(GetUtcOffsetSeconds(), 0);
}

TEST(PacketName, CopiesLettersAndDigitsAndTrims) {
  char buffer[16];
  EXPECT_EQ(CopyPacketName(buffer, 6, "Harbour entrance", "", false, true), 6);
  EXPECT_STREQ(buffer, "HARBOU");
  EXPECT_EQ(CopyPacketName(buffer, 10, "a-b c.d", "-", true, false), 10);
  EXPECT_STREQ(buffer, "a-bcd     ");
  EXPECT_EQ(CopyPacketName(buffer, 6, "Ölberg 2", "", false, true), 6);
  EXPECT_STREQ(buffer, "LBERG2");
  EXPECT_EQ(TrimPacketName(buffer, 6), 6);
  std::string field = "AB  \0XY";
  field.resize(8);
  char fixed[9];
  std::copy(field.begin(), field.end(), fixed);
  EXPECT_EQ(TrimPacketName(fixed, 8), 2);
  EXPECT_STREQ(fixed, "AB");
}

}  // namespace
