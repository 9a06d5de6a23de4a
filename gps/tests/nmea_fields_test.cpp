#include "app/nmea_fields.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

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

// The rule, one character at a time, to hold the word-at-a-time reading against.
NmeaChecksum ReferenceChecksum(const std::string& line) {
  auto hex = [](char c) {
    const char* digits = "0123456789abcdef";
    const char* at = std::strchr(digits, std::tolower(static_cast<unsigned char>(c)));
    return c != '\0' && at ? static_cast<int>(at - digits) : -1;
  };
  const size_t star = line.size() < 2 ? std::string::npos : line.find('*', 1);
  if (star == std::string::npos || star + 2 >= line.size()) return {star, false};
  unsigned sum = 0;
  for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
  const int high = hex(line[star + 1]), low = hex(line[star + 2]);
  return {star, high >= 0 && low >= 0 && sum == static_cast<unsigned>(high * 16 + low)};
}

// Lines of every length up to past six blocks of sixteen, ending in "*hh" (good, wrong, lower
// case, not hex) or not, some with an earlier "*", read from a buffer of exactly their size.
TEST(NmeaFields, ChecksumOfAnyLengthMatchesTheRule) {
  for (size_t length = 0; length < 100; ++length) {
    std::string body = "$";
    for (size_t i = 0; body.size() < length; ++i) body += "GPGSV,3,1,11,02,45,120"[i % 22];
    std::string good = body;
    NMEAAppendChecksumCRLF(good);
    good.resize(good.size() - 2);
    std::string lower = good;
    lower.back() = static_cast<char>(std::tolower(static_cast<unsigned char>(lower.back())));
    const std::string variants[] = {
        body,
        good,
        lower,
        good.substr(0, good.size() - 1) + (good.back() == '0' ? "1" : "0"),  // wrong
        body + "*G0",
        body + "*0",
        good + "*",
        good + "X",
        // An earlier "*", and one in the first place, where it does not count.
        body.substr(0, body.size() / 2) + "*" + body.substr(body.size() / 2) +
            good.substr(good.size() - 3),
        "*" + body.substr(1) + good.substr(good.size() - 3),
    };
    for (const std::string& line : variants) {
      const std::vector<char> exact(line.begin(), line.end());  // nothing past the line
      const NmeaChecksum got = NMEACheckChecksum({exact.data(), exact.size()});
      const NmeaChecksum want = ReferenceChecksum(line);
      EXPECT_EQ(got.star, want.star) << line;
      EXPECT_EQ(got.ok, want.ok) << line;
    }
  }
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

// A leading "+" sends a number to the reader of any number; the usual one must read the same.
TEST(NmeaFields, NumbersReadTheSameWhicheverReaderTakesThem) {
  const char* texts[] = {"",      "5",        "12.5",        "0.9,",   "00012,",  ".5,",
                         "5.",    ".",        "1.2.3",       "7-1",    "12a,",    "123519.00,",
                         "999999999999999999,",              "1234567890123456789,",
                         "0.000000000000000001", "1234567890.12345678901,"};
  for (const char* text : texts) {
    for (bool skip_comma : {false, true}) {
      NmeaCursor plain(text);
      const std::string signed_text = std::string("+") + text;
      NmeaCursor with_sign(signed_text);
      double a = -1.0, b = -1.0;
      EXPECT_EQ(NMEAGetNumber(plain, a, skip_comma), NMEAGetNumber(with_sign, b, skip_comma))
          << text;
      EXPECT_EQ(a, b) << text;
      EXPECT_EQ(plain.pos - text, with_sign.pos - signed_text.data() - 1) << text;
    }
  }
  NmeaCursor c("12.5,");
  double v = 0.0;
  EXPECT_TRUE(NMEAGetNumber(c, v, true));
  EXPECT_EQ(v, 12.5);
  EXPECT_TRUE(c.AtEnd());
}

TEST(NmeaFields, SkippingFieldsTogetherOrOneByOne) {
  const std::string fields = "123519.00,5000.000,N,00100.000,W,1,09,,0.9,12.5,M,47.0,M,,";
  for (size_t end = 0; end <= fields.size(); ++end) {
    const std::vector<char> exact(fields.begin(), fields.begin() + static_cast<long>(end));
    for (size_t start = 0; start <= end; start += 3) {
      for (int count = 0; count <= 16; ++count) {
        NmeaCursor together({exact.data(), exact.size()}), one_by_one = together;
        together.pos += start;
        one_by_one.pos += start;
        NMEASkipFields(together, count);
        for (int i = 0; i < count; ++i) NMEASkipField(one_by_one);
        EXPECT_EQ(together.pos, one_by_one.pos) << end << " " << start << " " << count;
      }
    }
  }
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
