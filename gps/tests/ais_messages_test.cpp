// AIS sentences: six-bit payloads decoded field by field for each message type the target
// manager reads, and messages joined from several sentences.
#include "gps/ais_messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gps/tests/ais_encoder.h"

namespace {

using vd::test::PayloadBuilder;
using vd::test::Sentence;

TEST(AisMessages, PositionReportsOfClassAAndB) {
  PayloadBuilder a;
  a.U(0, 6, 1).U(8, 30, 235012345).U(38, 4, 8).U(50, 10, 123).S(61, 28, -1.5 * 600000)
      .S(89, 27, 50.25 * 600000).U(116, 12, 2705).U(128, 9, 270).Length(168);
  auto [payload, fill] = a.Armour();
  auto* vdm = static_cast<CNEMA_AIS::VDM*>(CNEMA_AIS::VDM::Type.Obtain());
  ASSERT_TRUE(vdm->Parse(Sentence("VDM", 1, 1, "", payload, fill).c_str()));
  const CNEMA_AIS::Message& m = vdm->message;
  EXPECT_EQ(m.type, 1);
  EXPECT_EQ(m.mmsi, 235012345u);
  EXPECT_EQ(m.nav_status, 8);
  EXPECT_DOUBLE_EQ(m.speed_knots, 12.3);
  EXPECT_DOUBLE_EQ(m.longitude, -1.5);
  EXPECT_DOUBLE_EQ(m.latitude, 50.25);
  EXPECT_DOUBLE_EQ(m.course, 270.5);
  EXPECT_EQ(m.heading, 270);

  PayloadBuilder b;
  b.U(0, 6, 19).U(8, 30, 244000001).U(46, 10, 55).S(57, 28, 4.0 * 600000)
      .S(85, 27, -33.5 * 600000).U(112, 12, 900).U(124, 9, 511).Text(143, "SEA BIRD", 20)
      .U(263, 8, 37).U(271, 9, 8).U(280, 9, 4).U(289, 6, 2).U(295, 6, 2).Length(312);
  std::tie(payload, fill) = b.Armour();
  ASSERT_TRUE(vdm->Parse(Sentence("VDM", 1, 1, "", payload, fill).c_str()));
  EXPECT_EQ(vdm->message.type, 19);
  EXPECT_EQ(vdm->message.name, "SEA BIRD");
  EXPECT_DOUBLE_EQ(vdm->message.latitude, -33.5);
  EXPECT_EQ(vdm->message.heading, 511);
  EXPECT_EQ(vdm->message.to_bow + vdm->message.to_stern, 12);
  vdm->use_count = 1;
  CNMEASentenceType::Release(vdm);
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
