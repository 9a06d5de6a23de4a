#include "gps/nmea_waypoint_sentences.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::string NameOfWpl(const std::string& wpl) { return wpl.substr(wpl.rfind(',') + 1); }

TEST(NmeaWaypointSentences, MarkNamesAreUniqueWithinWhatIsSent) {
  std::vector<GpsMark> marks = {
      {"Harbour entrance north", {50.5, -1.25}},
      {"Harbour entrance south", {50.4, -1.25}},
      {"harbour!", {50.3, -1.25}},
      {"", {50.2, -1.25}},
      {"Ölberg", {50.1, -1.25}},
  };
  for (int i = 0; i < 12; ++i) marks.push_back({"Harbour " + std::to_string(i), {50, -1}});
  const std::vector<std::string> sentences = MakeMarkSentences(marks, 10);
  ASSERT_EQ(sentences.size(), marks.size());
  EXPECT_EQ(sentences[0], "$ECWPL,5030.000,N,00115.000,W,HARBOU");
  EXPECT_EQ(NameOfWpl(sentences[1]), "HARBO1");
  EXPECT_EQ(NameOfWpl(sentences[3]), "WPT");
  EXPECT_EQ(NameOfWpl(sentences[4]), "LBERG");
  std::set<std::string> names;
  for (const std::string& s : sentences) {
    const std::string name = NameOfWpl(s);
    EXPECT_LE(name.size(), 6u) << s;
    EXPECT_TRUE(names.insert(name).second) << s;
  }
  // A shorter name length is kept to.
  EXPECT_EQ(NameOfWpl(MakeMarkSentences({{"Harbour", {0, 0}}}, 3)[0]), "HAR");
}

TEST(NmeaWaypointSentences, RoutesNameEachMarkOnceAndListItsName) {
  const GpsMark a{"Start line", {50, -1}}, b{"Mid buoy", {50.1, -1}}, c{"Start buoy", {50.2, -1}};
  const std::vector<GpsRoute> routes = {{"Out", {a, b, c}}, {"Back", {c, b, a, b}}};
  std::string warning = "old";
  const std::vector<std::string> sentences = MakeRouteSentences(routes, 6, warning);
  EXPECT_TRUE(warning.empty());
  const std::vector<std::string> expected = {
      "$ECWPL,5000.000,N,00100.000,W,STARTL",
      "$ECWPL,5006.000,N,00100.000,W,MIDBUO",
      "$ECWPL,5012.000,N,00100.000,W,STARTB",
      "$ECRTE,2,1,c,01,STARTL,MIDBUO",
      "$ECRTE,2,2,c,01,STARTB",
      "$ECRTE,2,1,c,02,STARTB,MIDBUO",
      "$ECRTE,2,2,c,02,STARTL,MIDBUO",
  };
  EXPECT_EQ(sentences, expected);
}

TEST(NmeaWaypointSentences, LongRouteIsCutAndTheCutReported) {
  GpsRoute route{"Round the island", {}};
  for (int i = 0; i < 40; ++i) route.points.push_back({"P" + std::to_string(i), {10, i * 0.1}});
  std::string warning;
  const std::vector<std::string> sentences = MakeRouteSentences({route}, 6, warning);
  ASSERT_EQ(sentences.size(), 40u + 15u);  // every mark, and the first 30 in the route
  EXPECT_EQ(sentences.back(), "$ECRTE,15,15,c,01,P28,P29");
  EXPECT_EQ(warning, "Route \"Round the island\" has 40 points: only its first 30 were sent");
}

}  // namespace
