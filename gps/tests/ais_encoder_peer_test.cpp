// The tests' AIS encoder and the decoder's fixtures against an independent decoder
// (gpsdecode): what the end-to-end AIS tests feed the program is what a real transponder would
// have sent, and the fields the decoder is checked against are the peer's own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "gps/tests/ais_encoder.h"
#include "gps/tests/ais_fixtures.h"
#include "platform/os/files.h"
#include "platform/os/process.h"
#include "tests/temp_dir.h"

namespace {

bool PeerInstalled() {
  return vd::os::Spawn("sh", {"-c", "command -v gpsdecode > /dev/null"}, true).exit_code == 0;
}

// gpsdecode's JSON lines for the sentences (one message a line); flags as gpsdecode takes them.
std::vector<std::string> Decode(const std::vector<std::string>& sentences,
                                const std::string& flags = "-j") {
  vd::test::TempDir dir;
  std::string input;
  for (const std::string& sentence : sentences) input += sentence + "\r\n";
  const std::string in = dir.File("in.nmea");
  const std::string out = dir.File("out.json");
  EXPECT_TRUE(vd::os::SaveFileAtomically(in, input));
  // gpsdecode reads standard input only; the paths go in as arguments, never into the script.
  const vd::os::SpawnResult run = vd::os::Spawn(
      "sh", {"-c", "exec gpsdecode " + flags + " < \"$1\" > \"$2\"", "sh", in, out}, true);
  EXPECT_TRUE(run.started && run.exit_code == 0) << run.error;
  std::string text;
  vd::os::ReadWholeFile(out, text);
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

// The value of "key" in a flat JSON object: the number or the text between quotes.
std::optional<std::string> Field(const std::string& json, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const size_t at = json.find(tag);
  if (at == std::string::npos) return std::nullopt;
  size_t start = at + tag.size();
  if (json[start] == '"') {
    const size_t end = json.find('"', start + 1);
    return json.substr(start + 1, end - start - 1);
  }
  const size_t end = json.find_first_of(",}", start);
  return json.substr(start, end - start);
}

double Number(const std::string& json, const std::string& key) {
  const std::optional<std::string> value = Field(json, key);
  return value ? std::strtod(value->c_str(), nullptr) : std::nan("");
}

TEST(AisEncoderPeer, PositionReportsDecodeAsSent) {
  if (!PeerInstalled()) GTEST_SKIP() << "gpsdecode is not installed";
  struct Case {
    uint32_t mmsi;
    double lat, lon, knots, course;
    int heading;
  };
  const Case cases[] = {
      {235012345, 50.25, -1.5, 12.3, 270.5, 270},
      {244000001, -33.91, 151.2, 0.0, 0.0, 511},
      {211000042, 0.0001, -0.0002, 45.6, 359.9, 359},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> json = Decode(vd::test::AivdmSentences(
        vd::test::PositionReport(c.mmsi, c.lat, c.lon, c.knots, c.course, c.heading), ""));
    ASSERT_EQ(json.size(), 1u) << c.mmsi;
    SCOPED_TRACE(json[0]);
    EXPECT_EQ(Number(json[0], "type"), 1);
    EXPECT_EQ(Number(json[0], "mmsi"), c.mmsi);
    EXPECT_NEAR(Number(json[0], "lat"), c.lat, 1e-6) << c.mmsi;
    EXPECT_NEAR(Number(json[0], "lon"), c.lon, 1e-6) << c.mmsi;
    EXPECT_NEAR(Number(json[0], "speed"), c.knots, 1e-9) << c.mmsi;
    EXPECT_NEAR(Number(json[0], "course"), c.course, 1e-9) << c.mmsi;
    EXPECT_EQ(Number(json[0], "heading"), c.heading) << c.mmsi;
  }
}

TEST(AisEncoderPeer, StaticDataAcrossTwoSentencesDecodesAsSent) {
  if (!PeerInstalled()) GTEST_SKIP() << "gpsdecode is not installed";
  const std::vector<std::string> sentences = vd::test::AivdmSentences(
      vd::test::StaticData(211000042, "DABC", "NORDWIND", 70, "HAMBURG"), "3");
  ASSERT_EQ(sentences.size(), 2u);
  const std::vector<std::string> json = Decode(sentences);
  ASSERT_EQ(json.size(), 1u);
  EXPECT_EQ(Number(json[0], "type"), 5);
  EXPECT_EQ(Number(json[0], "mmsi"), 211000042);
  EXPECT_EQ(Field(json[0], "callsign"), "DABC");
  EXPECT_EQ(Field(json[0], "shipname"), "NORDWIND");
  EXPECT_EQ(Field(json[0], "destination"), "HAMBURG");
  EXPECT_EQ(Number(json[0], "shiptype"), 70);
}

// The fixtures hold what gpsdecode finds in their sentences today, and the decoder agrees with
// what it finds.
TEST(AisDecoderPeer, FixturesAreTheIndependentDecodersFields) {
  if (!PeerInstalled()) GTEST_SKIP() << "gpsdecode is not installed";
  const std::vector<vd::test::AisFixture> fixtures = vd::test::AisFixtures();
  std::vector<std::string> sentences;
  for (const vd::test::AisFixture& fixture : fixtures) {
    sentences.insert(sentences.end(), fixture.sentences.begin(), fixture.sentences.end());
  }
  const std::vector<std::string> json = Decode(sentences, "-s -u -j");
  ASSERT_EQ(json.size(), fixtures.size());
  CNEMA_AIS::ClearOpenFragments();
  for (size_t i = 0; i < fixtures.size(); ++i) {
    EXPECT_EQ(json[i], fixtures[i].json);
    CNEMA_AIS::VDM vdm(&CNEMA_AIS::VDM::Type);
    bool complete = false;
    for (const std::string& sentence : fixtures[i].sentences) complete = vdm.Parse(sentence.c_str());
    ASSERT_TRUE(complete) << fixtures[i].sentences.back();
    vd::test::ExpectSameAsPeer(vdm.message, json[i]);
  }
}

}  // namespace
