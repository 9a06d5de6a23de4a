// Training files: one track per lap section, named and categorised by the activity, with
// heart rate and power or cadence.
#include "overlays/exchange/tcx_file.h"

#include <gtest/gtest.h>

#include <string>

#include "overlays/category.h"
#include "overlays/exchange/tests/gpx_test_world.h"

namespace {

using vd::test::GpxWorld;

std::string Point(const char* time, const char* position, const char* more = "") {
  return std::string("<Trackpoint><Time>") + time + "</Time>" + position + more + "</Trackpoint>";
}
std::string Position(const char* lat, const char* lon) {
  return std::string("<Position><LatitudeDegrees>") + lat + "</LatitudeDegrees><LongitudeDegrees>" +
         lon + "</LongitudeDegrees></Position>";
}

TEST(TcxFile, EachLapSectionBecomesATrack) {
  GpxWorld world;
  const std::string tcx =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<TrainingCenterDatabase xmlns=\"urn:tcx\" xmlns:ns3=\"urn:ext\"><Activities>"
      "<Activity Sport=\"Biking\"><Id>2023-11-14T22:13:20Z</Id>"
      "<Lap StartTime=\"x\"><Track>" +
      Point("2023-11-14T22:13:20Z", Position("50.5", "-1.5").c_str(),
            "<AltitudeMeters>12.5</AltitudeMeters><HeartRateBpm><Value>120</Value></HeartRateBpm>"
            "<Cadence>80</Cadence>") +
      Point("2023-11-14T22:13:25Z", "") +  // no position: skipped
      Point("2023-11-14T22:13:30Z", Position("50.6", "-1.6").c_str(),
            "<Cadence>85</Cadence><Extensions><ns3:TPX><ns3:Watts>250</ns3:Watts></ns3:TPX>"
            "</Extensions>") +
      Point("2023-11-14T22:13:40Z", Position("50.7", "-1.7").c_str(), "<Cadence>90</Cadence>") +
      "</Track><Track>" +
      Point("2023-11-14T22:20:00Z", Position("51", "-2").c_str(), "<Cadence>70</Cadence>") +
      "</Track></Lap><Lap><Track>" + Point("2023-11-14T22:30:00Z", Position("52", "-3").c_str()) +
      "</Track></Lap></Activity></Activities></TrainingCenterDatabase>\n";
  const ObjectList read = world.Read("ride.tcx", tcx);
  const auto tracks = GpxWorld::OfClass<CObjTrack>(read);
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks[0]->name, "2023-11-14T22:13:20Z lap 1 section 1");
  EXPECT_EQ(tracks[1]->name, "2023-11-14T22:13:20Z lap 1 section 2");
  EXPECT_EQ(tracks[2]->name, "2023-11-14T22:13:20Z lap 2 section 1");
  EXPECT_EQ(CCategory::GetNameOr(tracks[0]->category()), "Training:Biking");

  const CObjTrack& first = *tracks[0];
  ASSERT_EQ(first.points().size(), 3u);
  EXPECT_EQ(first.points()[0].altitude, 12.5f);
  EXPECT_EQ(first.points()[0].heart_rate, 120);
  EXPECT_EQ(first.points()[0].other, 80);
  EXPECT_EQ(first.points()[1].other, 250);  // power wins over cadence
  EXPECT_EQ(first.points()[2].other, 0);    // once power was seen cadence is not taken
  EXPECT_EQ(first.other_label, "Power (Watts)");
  EXPECT_EQ(first.created, 1700000000);
  EXPECT_EQ(first.modified, 1700000020);
  EXPECT_EQ(tracks[1]->other_label, "Cadence (rpm)");
  EXPECT_EQ(tracks[2]->other_label, "");
}

TEST(TcxFile, ReadsNothingWithoutActivities) {
  GpxWorld world;
  ObjectList list;
  const std::string path = world.dir.File("courses.TCX");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      path, "<TrainingCenterDatabase><Courses><Course/></Courses></TrainingCenterDatabase>"));
  const ExchangeRead result = ImportXmlTrackFile(path, list);
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(result.error, "Failed to read XML file: " + path + "\nno Activities element");
  EXPECT_TRUE(list.empty());
}

}  // namespace
