// The registered sentence framework: type look-up, field splitting and parsing, pools, the
// proprietary switch, and the notification manager's answer to an acknowledge sentence.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gps/nmea_gps_sentences.h"
#include "gps/nmea_pvdq.h"
#include "gps/nmea_sentence.h"
#include "app/user_notification_manager.h"

namespace {

// Parses a sentence through the registry as a dispatcher does, handing back the object.
template <class T>
T* ParseAs(const char* line, CNMEASentenceType* expected = &T::Type) {
  CNMEASentenceType* type = CNMEASentenceType::FindType(line);
  EXPECT_EQ(type, expected) << line;
  if (type != expected) return nullptr;
  auto* sentence = static_cast<T*>(type->Obtain());
  EXPECT_TRUE(sentence->Parse(line));
  return sentence;
}

class ProprietaryAllowed {
 public:
  explicit ProprietaryAllowed(bool allowed) : was_(CNMEASentenceType::ProprietaryAllowed()) {
    CNMEASentenceType::SetProprietaryAllowed(allowed);
  }
  ~ProprietaryAllowed() { CNMEASentenceType::SetProprietaryAllowed(was_); }

 private:
  bool was_;
};

TEST(NmeaSentenceFramework, TypesMatchTheNameAfterAnyTalker) {
  auto* gp = ParseAs<CNMEA_GPS::RMC>("$GPRMC,120000,A,5000.000,N,00100.000,W,1,2,010120,,*00");
  ASSERT_NE(gp, nullptr);
  EXPECT_EQ(gp->talker, 'P');
  CNMEASentenceType::Release(gp);
  auto* gn = ParseAs<CNMEA_GPS::RMC>("$GNRMC,120000,A,5000.000,N,00100.000,W,1,2,010120,,*00");
  ASSERT_NE(gn, nullptr);
  EXPECT_EQ(gn->talker, 'N');
  CNMEASentenceType::Release(gn);

  for (const char* line : {"$GPXYZ,1,2*00", "$GP", "", "$GPRM"}) {
    EXPECT_EQ(CNMEASentenceType::FindType(line), nullptr) << line;
  }
}

TEST(NmeaSentenceFramework, ProprietaryTypesMatchOnlyWhileAllowed) {
  const char* line = "$PVDQ,ACKALLALERTS*00";
  {
    ProprietaryAllowed off(false);
    CNMEASentenceType::ClearProprietarySeen();
    EXPECT_EQ(CNMEASentenceType::FindType(line), nullptr);
    EXPECT_TRUE(CNMEASentenceType::ProprietarySeen());
  }
  ProprietaryAllowed on(true);
  EXPECT_EQ(CNMEASentenceType::FindType(line), &NMEA_PVDQ::AcknowledgeNotifications::Type);
}

TEST(NmeaSentenceFramework, SplitFieldsStopsAtTheChecksum) {
  char text[] = "$GPVTG,1.5,,x*7F,after";
  char* f[6];
  NMEASplitFields(6, text, f);
  const std::vector<std::string> expected = {"$GPVTG", "1.5", "", "x", "", ""};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(f[i], expected[i]) << i;

  char short_text[] = "$A,b";
  NMEASplitFields(4, short_text, f);
  EXPECT_STREQ(f[1], "b");
  EXPECT_STREQ(f[2], "");
  EXPECT_STREQ(f[3], "");
}

TEST(NmeaSentenceFramework, ChecksumIsTheXorAfterTheDollar) {
  std::string sentence = "$PVDQ,ACKALLALERTS";
  unsigned expected = 0;
  for (char c : std::string("PVDQ,ACKALLALERTS")) expected ^= static_cast<unsigned char>(c);
  NMEAAppendChecksum(sentence);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", expected);
  EXPECT_EQ(sentence, std::string("$PVDQ,ACKALLALERTS*") + hex);
}

TEST(NmeaSentenceFramework, RmcFields) {
  struct Case {
    const char* line;
    bool valid;
    double latitude;
  };
  const Case cases[] = {
      {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", true, 48.1173},
      {"$GPRMC,123519,V,4807.038,S,01131.000,E,022.4,084.4,230394,003.1,W,A*6A", true, -48.1173},
      {"$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,N*6A", false, 48.1173},
      {"$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", false, 48.1173},
      // The decimal point must stand at index 4 of the latitude.
      {"$GPRMC,123519,A,480.7038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", true, 0.0},
      {"$GPRMC,123519,A,,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", true, 0.0},
  };
  for (const Case& c : cases) {
    auto* rmc = ParseAs<CNMEA_GPS::RMC>(c.line);
    ASSERT_NE(rmc, nullptr);
    EXPECT_EQ(rmc->valid, c.valid) << c.line;
    EXPECT_NEAR(rmc->latitude, c.latitude, 1e-4) << c.line;
    CNMEASentenceType::Release(rmc);
  }

  auto* rmc = ParseAs<CNMEA_GPS::RMC>(
      "$GPRMC,123519,A,4807.038,N,01131.000,W,022.4,084.4,230324,003.1,E*6A");
  ASSERT_NE(rmc, nullptr);
  // 23 March 2024 12:35:19 UTC.
  EXPECT_DOUBLE_EQ(rmc->utc_time, 1711197319.0);
  EXPECT_NEAR(rmc->longitude, -11.516667, 1e-6);
  EXPECT_DOUBLE_EQ(rmc->speed_knots, 22.4);
  EXPECT_DOUBLE_EQ(rmc->course, 84.4);
  EXPECT_FLOAT_EQ(rmc->magnetic_variation, -3.1f);  // "E" negates
  CNMEASentenceType::Release(rmc);
}

TEST(NmeaSentenceFramework, OtherGpsSentences) {
  auto* gga = ParseAs<CNMEA_GPS::GGA>(
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47");
  ASSERT_NE(gga, nullptr);
  EXPECT_EQ(gga->time_of_day, 12 * 3600 + 35 * 60 + 19);
  EXPECT_EQ(gga->quality, 1);
  EXPECT_EQ(gga->satellites_used, 8);
  EXPECT_FLOAT_EQ(gga->hdop, 0.9f);
  EXPECT_FLOAT_EQ(gga->altitude, 545.4f);
  CNMEASentenceType::Release(gga);

  auto* vtg = ParseAs<CNMEA_GPS::VTG>("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48");
  ASSERT_NE(vtg, nullptr);
  EXPECT_DOUBLE_EQ(vtg->course_true, 54.7);
  EXPECT_DOUBLE_EQ(vtg->speed_knots, 5.5);
  CNMEASentenceType::Release(vtg);

  auto* gsa = ParseAs<CNMEA_GPS::GSA>("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39");
  ASSERT_NE(gsa, nullptr);
  EXPECT_EQ(gsa->mode, 'A');
  EXPECT_EQ(gsa->fix_type, 3);
  EXPECT_EQ(gsa->prn[0], 4);
  EXPECT_EQ(gsa->prn[2], 0);
  EXPECT_EQ(gsa->prn[7], 24);
  EXPECT_FLOAT_EQ(gsa->vdop, 2.1f);
  CNMEASentenceType::Release(gsa);

  auto* gsv = ParseAs<CNMEA_GPS::GSV>(
      "$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75");
  ASSERT_NE(gsv, nullptr);
  EXPECT_EQ(gsv->total_messages, 2);
  EXPECT_EQ(gsv->satellites_in_view, 8);
  EXPECT_EQ(gsv->satellites[3].prn, 14);
  EXPECT_EQ(gsv->satellites[3].snr, 45);
  CNMEASentenceType::Release(gsv);
}

TEST(NmeaSentenceFramework, PoolReusesObjectsNoLongerHeld) {
  CNMEASentenceType& type = CNMEA_GPS::VTG::Type;
  CNMEASentence* first = type.Obtain();
  first->use_count = 1;
  CNMEASentenceType::Release(first);
  EXPECT_EQ(type.Obtain(), first);  // back from the pool

  // A subscriber that keeps the object adds a use: the next Obtain makes another one.
  first->use_count = 2;
  CNMEASentenceType::Release(first);
  CNMEASentence* second = type.Obtain();
  EXPECT_NE(second, first);
  second->use_count = 1;
  CNMEASentenceType::Release(second);
  CNMEASentenceType::Release(first);
}

TEST(NmeaSentenceFramework, SubscribersOfAClassHearItsSentences) {
  struct Hearer : Listener<CNMEA_GPS::GGA> {
    void OnEvent(CNMEA_GPS::GGA& gga) override { altitudes.push_back(gga.altitude); }
    std::vector<float> altitudes;
  };
  EXPECT_FALSE(CNMEA_GPS::GGA::Type.HasSubscribers());
  Hearer hearer;
  EXPECT_TRUE(CNMEA_GPS::GGA::Type.HasSubscribers());
  auto* gga = ParseAs<CNMEA_GPS::GGA>("$GPGGA,1,4807.038,N,01131.000,E,1,08,0.9,12.5,M*00");
  ASSERT_NE(gga, nullptr);
  gga->type()->Fire(*gga);
  CNMEASentenceType::Release(gga);
  EXPECT_EQ(hearer.altitudes, std::vector<float>{12.5f});
}

TEST(NmeaSentenceFramework, StartSentencesParse) {
  CNMEASentenceTypeOf<NMEA_PVDQ::SetStartTimer> timer_type{NMEA_PVDQ::kNameOffset,
                                                          "PVDQ,SetStartTimer", true};
  ProprietaryAllowed on(true);
  auto* timer = ParseAs<NMEA_PVDQ::SetStartTimer>("$PVDQ,SetStartTimer,1700000000,5*00", &timer_type);
  ASSERT_NE(timer, nullptr);
  EXPECT_DOUBLE_EQ(timer->start_time, 1700000000.0);
  EXPECT_EQ(timer->period_minutes, 5);
  CNMEASentenceType::Release(timer);

  NMEA_PVDQ::SetStartLine line(nullptr);
  ASSERT_TRUE(line.Parse("$PVDQ,SetStartLine,50.1,-1.25,50.2,-1.5*00"));
  EXPECT_DOUBLE_EQ(line.left_lon, -1.25);
  EXPECT_DOUBLE_EQ(line.right_lat, 50.2);
}

// Notifications.

struct RecordingNotifier : UserNotificationManager::Notifier {
  void OnRaise(uint32_t id, intptr_t, intptr_t) override { log.push_back("raise " + std::to_string(id)); }
  void OnAcknowledge(uint32_t id) override { log.push_back("ack " + std::to_string(id)); }
  std::vector<std::string> log;
};

class NotificationTest : public ::testing::Test {
 protected:
  void SetUp() override { manager().AddNotifier(&notifier); }
  void TearDown() override {
    manager().AcknowledgeAll();
    manager().RemoveNotifier(&notifier);
  }
  static UserNotificationManager& manager() { return UserNotificationManager::Instance(); }
  RecordingNotifier notifier;
};

TEST_F(NotificationTest, RaisingTwiceKeepsOneEntry) {
  UserNotificationManager::Entry& first = manager().Raise(7, 1, 2);
  UserNotificationManager::Entry& second = manager().Raise(7, 1, 2);
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(manager().ActiveCount(), 1u);
  EXPECT_EQ(notifier.log, (std::vector<std::string>{"raise 7", "raise 7"}));
}

TEST_F(NotificationTest, AcknowledgingAnInactiveIdStillTellsNotifiers) {
  manager().Acknowledge(99);
  EXPECT_EQ(notifier.log, std::vector<std::string>{"ack 99"});
}

TEST_F(NotificationTest, AcknowledgeSentenceAcknowledgesEveryActiveAlarmInIdOrder) {
  // Nothing active: nothing happens.
  NMEA_PVDQ::AcknowledgeNotifications sentence(&NMEA_PVDQ::AcknowledgeNotifications::Type);
  Listener<NMEA_PVDQ::AcknowledgeNotifications>::Fire(sentence);
  EXPECT_TRUE(notifier.log.empty());

  std::vector<int> called;
  auto callback = [](void* user_data) {
    auto* pair = static_cast<std::pair<std::vector<int>*, int>*>(user_data);
    pair->first->push_back(pair->second);
  };
  std::pair<std::vector<int>*, int> for9{&called, 9}, for3{&called, 3};
  manager().Raise(9, 0, 0) = {callback, &for9};
  manager().Raise(3, 0, 0) = {callback, &for3};
  notifier.log.clear();

  Listener<NMEA_PVDQ::AcknowledgeNotifications>::Fire(sentence);
  EXPECT_EQ(called, (std::vector<int>{3, 9}));
  EXPECT_EQ(notifier.log, (std::vector<std::string>{"ack 3", "ack 9"}));
  EXPECT_EQ(manager().ActiveCount(), 0u);
}

}  // namespace
