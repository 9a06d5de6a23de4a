// The line entry point: checksum and source filters, typed delivery from the pools, and the
// raw-line fallback.
#include "viewer_lib/nmea_line_dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gps/nmea_gps_sentences.h"
#include "gps/nmea_sentence.h"

namespace {

// A sentence with a correct checksum (and CR LF).
std::string Sentence(const std::string& body) {
  std::string s = "$" + body;
  NMEAAppendChecksum(s);
  return s + "\r\n";
}

struct Source : CNMEALineSource {
  bool AcceptInput(const char* line) override {
    seen.push_back(line);
    return accept;
  }
  bool accept = true;
  std::vector<std::string> seen;
};

struct RawHearer : Listener<CNMEA_Raw> {
  void OnEvent(CNMEA_Raw& raw) override {
    lines.push_back(raw.text);
    sources.push_back(raw.source);
  }
  std::vector<std::string> lines;
  std::vector<CNMEALineSource*> sources;
};

struct GgaHearer : Listener<CNMEA_GPS::GGA> {
  void OnEvent(CNMEA_GPS::GGA& gga) override {
    satellites.push_back(gga.satellites_used);
    sources.push_back(gga.source);
  }
  std::vector<int> satellites;
  std::vector<void*> sources;
};

TEST(NmeaLineDispatcher, ChecksumRules) {
  const std::string good = Sentence("GPGGA,1,,,,,1,07,,,");
  struct Case {
    std::string line;
    bool valid;
  };
  std::string lower = Sentence("GPVTG,1,T");  // find a line whose checksum has a letter
  for (int i = 0; lower.find_first_of("ABCDEF", lower.find('*')) == std::string::npos; ++i)
    lower = Sentence("GPVTG," + std::to_string(i) + ",T");
  std::string lowered = lower;
  for (size_t i = lowered.find('*'); i < lowered.size(); ++i) lowered[i] = std::tolower(lowered[i]);
  const Case cases[] = {
      {good, true},
      {"junk" + good, true},  // taken from the "$" on, by the dispatcher
      {lowered, true},        // either case
      {"$GPGGA,1,,,,,1,07,,,", false},
      {"$GPGGA,1,,,,,1,07,,,*0", false},
      {"$GPGGA,1,,,,,1,07,,,*ZZ", false},
  };
  for (const Case& c : cases) {
    const size_t start = c.line.find_first_of("$!");
    EXPECT_EQ(NMEAChecksumValid(c.line.c_str() + start), c.valid) << c.line;
  }
}

TEST(NmeaLineDispatcher, TypedSubscribersGetParsedSentencesWithTheirSource) {
  GgaHearer gga;
  RawHearer raw;
  Source source;
  const std::string line = "noise" + Sentence("GPGGA,1,,,,,1,07,,,");
  EXPECT_TRUE(NMEAProcessLine(line.c_str(), &source));
  EXPECT_EQ(gga.satellites, std::vector<int>{7});
  EXPECT_EQ(gga.sources, std::vector<void*>{&source});
  EXPECT_TRUE(raw.lines.empty());  // a subscriber of its type took it
  // Anything before the "$" never reaches the filters.
  ASSERT_EQ(source.seen.size(), 1u);
  EXPECT_EQ(source.seen[0][0], '$');

  source.accept = false;
  EXPECT_FALSE(NMEAProcessLine(line.c_str(), &source));
  EXPECT_EQ(gga.satellites.size(), 1u);
}

TEST(NmeaLineDispatcher, RawSubscribersGetWhatNoTypeTakes) {
  RawHearer raw;
  Source source;
  const std::string unknown = Sentence("GPXTE,A,A,0.67,L,N");
  const std::string known_unheard = Sentence("GPVTG,054.7,T,,M,005.5,N,,K");
  EXPECT_TRUE(NMEAProcessLine(unknown.c_str(), &source));
  EXPECT_TRUE(NMEAProcessLine(known_unheard.c_str(), &source));
  EXPECT_EQ(raw.lines, (std::vector<std::string>{unknown, known_unheard}));
  EXPECT_EQ(raw.sources, (std::vector<CNMEALineSource*>{&source, &source}));

  // Without a source, raw subscribers hear nothing.
  EXPECT_FALSE(NMEAProcessLine(unknown.c_str(), nullptr));
  // A line too long for the raw record is not offered.
  const std::string long_line = Sentence("GPXTE," + std::string(200, 'x'));
  EXPECT_FALSE(NMEAProcessLine(long_line.c_str(), &source));
  EXPECT_EQ(raw.lines.size(), 2u);
  // No "$" or "!" at all.
  EXPECT_FALSE(NMEAProcessLine("GPXTE,A", &source));
}

TEST(NmeaLineDispatcher, CopyStringAlwaysTerminates) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  NMEACopyString(buffer, "abcdef", sizeof buffer);
  EXPECT_STREQ(buffer, "abc");
  NMEACopyString(buffer, "z", 0);  // nothing written
  EXPECT_STREQ(buffer, "abc");
}

}  // namespace
