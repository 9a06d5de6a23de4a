// AIS sentences: six-bit payloads decoded field by field for each message type the target
// manager reads, checked against an independent decoder's fields, and messages joined from
// several sentences.
#include "gps/ais_messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gps/tests/ais_encoder.h"
#include "gps/tests/ais_fixtures.h"

namespace {

using vd::test::PayloadBuilder;
using vd::test::Sentence;

// The sentences and the fields of the independent decoder come from the fixtures; every type
// the target manager reads is there at least 20 times, edge values included.
TEST(AisMessages, EveryTypeDecodesAsAnIndependentDecoderDoes) {
  CNEMA_AIS::ClearOpenFragments();
  std::map<std::string, int> decoded;
  for (const vd::test::AisFixture& fixture : vd::test::AisFixtures()) {
    SCOPED_TRACE(fixture.sentences.back());
    CNEMA_AIS::VDM vdm(&CNEMA_AIS::VDM::Type);
    for (size_t i = 0; i + 1 < fixture.sentences.size(); ++i) {
      EXPECT_FALSE(vdm.Parse(fixture.sentences[i].c_str()));
    }
    ASSERT_TRUE(vdm.Parse(fixture.sentences.back().c_str()));
    vd::test::ExpectSameAsPeer(vdm.message, fixture.json);
    const CNEMA_AIS::Message& m = vdm.message;
    ++decoded[std::to_string(m.type) + (m.type == 24 ? "AB"[m.part_number & 1] : ' ')];
  }
  for (const char* kind : {"1 ", "2 ", "3 ", "5 ", "9 ", "18 ", "19 ", "21 ", "24A", "24B"}) {
    EXPECT_GE(decoded[kind], 20) << kind;
  }
}

TEST(AisMessages, StaticDataJoinedFromTwoSentences) {
  PayloadBuilder s;
  s.U(0, 6, 5).U(8, 30, 211000042).Text(70, "DABC", 7).Text(112, "NORDWIND", 20)
      .U(232, 8, 70).U(240, 9, 120).U(249, 9, 30).U(258, 6, 10).U(264, 6, 12).U(274, 4, 7)
      .U(278, 5, 14).U(283, 5, 9).U(288, 6, 30).Text(302, "HAMBURG", 20).Length(424);
  const auto [payload, fill] = s.Armour();
  const std::string first = Sentence("VDM", 2, 1, "3", payload.substr(0, 40), 0);
  const std::string second = Sentence("VDM", 2, 2, "3", payload.substr(40), fill);

  CNEMA_AIS::VDM vdm(&CNEMA_AIS::VDM::Type);
  EXPECT_FALSE(vdm.Parse(first.c_str()));  // waits for the rest
  ASSERT_TRUE(vdm.Parse(second.c_str()));
  EXPECT_EQ(vdm.message.type, 5);
  EXPECT_EQ(vdm.message.call_sign, "DABC");
  EXPECT_EQ(vdm.message.name, "NORDWIND");
  EXPECT_EQ(vdm.message.destination, "HAMBURG");
  EXPECT_EQ(vdm.message.to_bow, 120);
  EXPECT_EQ(vdm.message.eta_day, 14);

  // A second part without its first, or from another sequence, is dropped.
  EXPECT_FALSE(vdm.Parse(second.c_str()));
  EXPECT_FALSE(vdm.Parse(first.c_str()));
  EXPECT_FALSE(vdm.Parse(Sentence("VDM", 2, 2, "4", payload.substr(40), fill).c_str()));
}

TEST(AisMessages, RefusedPayloads) {
  CNEMA_AIS::Message m;
  PayloadBuilder unknown;
  unknown.U(0, 6, 27).Length(96);
  PayloadBuilder short_position;
  short_position.U(0, 6, 1).Length(100);
  for (const auto& [payload, fill] : {unknown.Armour(), short_position.Armour()}) {
    EXPECT_FALSE(CNEMA_AIS::DecodePayload(payload, fill, m)) << payload;
  }
  EXPECT_FALSE(CNEMA_AIS::DecodePayload("15M67F*000", 0, m));  // outside the alphabet
  EXPECT_FALSE(CNEMA_AIS::DecodePayload("1", 9, m));          // fill bits beyond the payload
}

}  // namespace
