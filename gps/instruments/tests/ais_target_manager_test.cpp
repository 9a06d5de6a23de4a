// AIS targets: made from received messages, closest approach against the own motion with the
// collision alarm, and contact lost then gone.
#include "gps/instruments/ais_target_manager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "app/user_notification_manager.h"

namespace {

constexpr double kMetresPerDegree = 111'250.0;

struct Alarms : UserNotificationManager::Notifier {
  Alarms() { UserNotificationManager::Instance().AddNotifier(this); }
  ~Alarms() override { UserNotificationManager::Instance().RemoveNotifier(this); }
  void OnRaise(uint32_t id, intptr_t caption, intptr_t) override {
    raised.push_back(id);
    captions.push_back(reinterpret_cast<const char*>(caption));
  }
  void OnAcknowledge(uint32_t id) override { acknowledged.push_back(id); }
  std::vector<uint32_t> raised, acknowledged;
  std::vector<std::string> captions;
};

class AisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager().Clear();
    manager().SetClock([this] { return now; });
    CAISTargetManager::Persistant& s = CAISTargetManager::Settings();
    s.alarm_distance = 500.0f;
    s.cpa_classB_distance = 500.0f;
    s.alarm_time = 600.0f;
    s.min_closing_velocity_knots = 0.5f;
    s.alarm_beep = true;
  }
  void TearDown() override {
    manager().Clear();
    manager().SetClock(nullptr);
  }
  static CAISTargetManager& manager() { return CAISTargetManager::Instance(); }

  // A class A or B position report `north` metres north of (50, -1), moving at `knots` on
  // `course`.
  void Report(uint32_t mmsi, double north, double knots, double course, int type = 1) {
    CNEMA_AIS::VDM vdm(&CNEMA_AIS::VDM::Type);
    vdm.message.type = type;
    vdm.message.mmsi = mmsi;
    vdm.message.nav_status = 0;
    vdm.message.latitude = 50.0 + north / kMetresPerDegree;
    vdm.message.longitude = -1.0;
    vdm.message.speed_knots = knots;
    vdm.message.course = course;
    vdm.message.heading = static_cast<int>(course);
    vdm.message.name = "";
    Listener<CNEMA_AIS::VDM>::Fire(vdm);
  }
  void Own(double knots, double course) {
    CDataGPSPosition fix;
    fix.valid = true;
    fix.latitude = 50.0;
    fix.longitude = -1.0;
    fix.motion.source_kind = CDataSpeedDirection::kGround;
    fix.motion.speed = static_cast<float>(knots);
    fix.motion.course = static_cast<float>(course);
    Listener<CDataGPSPosition>::Fire(fix);
  }

  double now = 1'700'000'000.0;
};

TEST_F(AisTest, HeadOnTargetAlarmsAndParallelOneDoesNot) {
  Alarms alarms;
  Own(5.0, 0.0);
  Report(235000001, 1500.0, 5.0, 180.0);  // head on, 1.5 km ahead, closing at 10 knots
  Report(235000002, 300.0, 5.0, 0.0);     // alongside course, same speed
  Own(5.0, 0.0);
  const CAISTarget* head_on = manager().Find(235000001);
  ASSERT_NE(head_on, nullptr);
  EXPECT_EQ(head_on->kind_text, "Class A");
  EXPECT_NEAR(head_on->tcpa, 1500.0 / (10 * 0.5144445), 1.0);
  EXPECT_NEAR(head_on->cpa, 0.0, 1.0);
  EXPECT_TRUE(head_on->alarm_active);
  const CAISTarget* parallel = manager().Find(235000002);
  ASSERT_NE(parallel, nullptr);
  EXPECT_FALSE(parallel->alarm_active);
  ASSERT_FALSE(alarms.raised.empty());
  EXPECT_EQ(alarms.raised.back(), 235000001u);
  EXPECT_EQ(alarms.captions.back(), "AIS collision alert, Unknown name");
}

TEST_F(AisTest, ClassBUsesItsOwnDistance) {
  CAISTargetManager::Settings().alarm_distance = 100.0f;
  CAISTargetManager::Settings().cpa_classB_distance = 1000.0f;
  Own(0.0, 0.0);
  // Passing 500 m to the side: CPA 500 m, between the two distances.
  CNEMA_AIS::VDM vdm(&CNEMA_AIS::VDM::Type);
  for (int type : {1, 18}) {
    vdm.message = {};
    vdm.message.type = type;
    vdm.message.mmsi = 235000010 + type;
    vdm.message.latitude = 50.0 + 2000.0 / kMetresPerDegree;
    vdm.message.longitude = -1.0 + 500.0 / (kMetresPerDegree * std::cos(50.0 * std::numbers::pi / 180));
    vdm.message.speed_knots = 10.0;
    vdm.message.course = 180.0;
    Listener<CNEMA_AIS::VDM>::Fire(vdm);
  }
  Own(0.0, 0.0);
  EXPECT_FALSE(manager().Find(235000011)->alarm_active);  // class A: 500 m is beyond 100 m
  EXPECT_TRUE(manager().Find(235000028)->alarm_active);   // class B: within 1000 m
}

TEST_F(AisTest, SilentTargetsLoseContactThenGo) {
  Alarms alarms;
  Own(5.0, 0.0);
  Report(235000003, 1500.0, 5.0, 180.0);
  Own(5.0, 0.0);
  ASSERT_TRUE(manager().Find(235000003)->alarm_active);
  now += 400;
  manager().CheckContacts();
  const CAISTarget* target = manager().Find(235000003);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->kind_text, "Lost contact");
  EXPECT_FALSE(target->alarm_active);
  EXPECT_EQ(alarms.acknowledged.back(), 235000003u);
  now += 201;
  manager().CheckContacts();
  EXPECT_EQ(manager().Find(235000003), nullptr);
}

}  // namespace
