#include "viewer_lib/overlay_gpx_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/iso_time.h"
#include "core/persistent_value.h"
#include "core/xml_document.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/tests/model_test_support.h"
#include "overlays/model/track_manager.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChangeRecorder;
using vd::test::FileBytes;

class OverlayGpxFileTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation("Software\\Test\\OverlayGpx", dir.path()); }

  // Imports a document holding body inside "gpx"; ImportGpxDocument's result.
  bool Import(const std::string& body) {
    const std::string path = dir.File("in.gpx");
    EXPECT_TRUE(vd::os::SaveFileAtomically(
        path, "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\">" + body + "</gpx>\n"));
    return ImportGpxDocument(path);
  }

  // Writes the objects through GpxWriter to a file; its text.
  std::string WriteFile(std::initializer_list<const CSyncable*> objects) {
    const std::string path = dir.File("out.gpx");
    GpxWriter writer;
    EXPECT_TRUE(writer.Open(path));
    for (const CSyncable* object : objects) EXPECT_TRUE(writer.Write(*object));
    EXPECT_TRUE(writer.Close());
    return FileBytes(path);
  }

  vd::test::TempDir dir;
  CMarkManager marks;
  CTrackManager tracks;
};

COverlayMark* AddMark(CMarkManager& manager, const std::string& name, double lat, double lon) {
  auto mark = std::make_unique<COverlayMark>();
  mark->name = name;
  mark->latitude = lat;
  mark->longitude = lon;
  return manager.AddMark(std::move(mark));
}

TEST_F(OverlayGpxFileTest, FileIsDeclaredUtf8AndReadsBackEveryKind) {
  COverlayMark* mark = AddMark(marks, "Fish & chips ]]> here", 51.5, -0.125);
  mark->description = "Caf\xC3\xA9 by the quay";
  mark->link = "http://x.example/?a=1&b=\"2\"";
  mark->icon = "Anchor";
  mark->type = "food";
  mark->colour = 0xFF12AB34;
  mark->anchor_radius = 50.0f;
  mark->alarm_radius = 1100.0f;
  mark->sync_id = 0x1A2B;
  mark->created = TimeFrom1970(1'600'000'000.0);

  auto route = std::make_unique<COverlayRoute>();
  route->name = "R1";
  route->colour = 0x80FF0000;
  route->width = 3.5f;
  route->pattern = 3;
  for (int i = 0; i < 3; ++i) {
    auto point = std::make_unique<COverlayMark>(true);
    point->name = "P" + std::to_string(i);
    point->latitude = 50.0 + i * 0.01;
    point->longitude = 1.0;
    route->InsertPoint(std::move(point), route->points.size());
  }
  COverlayRoute* written_route = marks.AddRoute(std::move(route));

  // Two sections holding a-b and b-c are one segment a, b, c.
  auto track = std::make_unique<COverlayTrack>();
  track->name = "T1";
  for (int s = 0; s < 2; ++s) {
    auto section = std::make_unique<CTrackSection>(track.get());
    for (int i = 0; i < 2; ++i) {
      CTrackPoint point;
      point.latitude = 40.0 + (s + i) * 0.001;
      point.longitude = 2.0;
      point.time = 1'600'000'000.0 + (s + i) * 60;
      point.elevation = 12;
      section->Append(point);
    }
    track->sections.push_back(std::move(section));
  }
  COverlayTrack* written_track = tracks.AddTrack(std::move(track));

  const std::string text = WriteFile({mark, written_route, written_track});
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" \n", 0),
            0u);
  EXPECT_NE(text.find("<name><![CDATA[Fish & chips ]]]]><![CDATA[> here]]></name>\n"),
            std::string::npos);
  EXPECT_NE(text.find("<link href=\"http://x.example/?a=1&amp;b=&quot;2&quot;\"></link>"),
            std::string::npos);
  EXPECT_NE(text.find("<xgarmin:Proximity>-50.0</xgarmin:Proximity>"), std::string::npos);
  EXPECT_NE(text.find("<src>vdid:1A2B</src>"), std::string::npos);
  EXPECT_NE(text.find("<name>R1</name>\n"), std::string::npos);
  EXPECT_EQ(text.find("<trkseg>", text.find("<trkseg>") + 1), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "</gpx>\n");

  // Read into fresh managers: the texts, style and points come back as written.
  marks.marks.clear();
  marks.routes.clear();
  tracks.tracks.clear();
  CMarkManager other_marks;
  CTrackManager other_tracks;
  ChangeRecorder changes;
  ASSERT_TRUE(ImportGpxDocument(dir.File("out.gpx")));

  ASSERT_EQ(other_marks.marks.size(), 1u);
  const COverlayMark& read = *other_marks.marks[0];
  EXPECT_EQ(read.name, "Fish & chips ]]> here");
  EXPECT_EQ(read.description, "Caf\xC3\xA9 by the quay");
  EXPECT_EQ(read.link, "http://x.example/?a=1&b=\"2\"");
  EXPECT_EQ(read.icon, "Anchor");
  EXPECT_EQ(read.type, "food");
  EXPECT_EQ(read.colour, 0xFF12AB34u);
  EXPECT_FLOAT_EQ(read.anchor_radius, 50.0f);
  EXPECT_FLOAT_EQ(read.alarm_radius, 1100.0f);
  EXPECT_EQ(read.sync_id, 0x1A2Bu);
  EXPECT_DOUBLE_EQ(read.created, TimeFrom1970(1'600'000'000.0));
  EXPECT_DOUBLE_EQ(read.latitude, 51.5);
  EXPECT_DOUBLE_EQ(read.longitude, -0.125);
  EXPECT_TRUE(changes.Saw(&read, COverlayObject::kAppeared));

  ASSERT_EQ(other_marks.routes.size(), 1u);
  const COverlayRoute& read_route = *other_marks.routes[0];
  EXPECT_EQ(read_route.name, "R1");
  EXPECT_EQ(read_route.colour, 0x7FFF0000u);  // opacity 0.50 of 255, truncated
  EXPECT_FLOAT_EQ(read_route.width, 3.5f);
  EXPECT_EQ(read_route.pattern, 3);
  ASSERT_EQ(read_route.points.size(), 3u);
  EXPECT_EQ(read_route.points[2]->name, "P2");
  EXPECT_EQ(read_route.points[2]->parent, &read_route);
  EXPECT_EQ(read_route.points[2]->kind, COverlayObject::kRoutePoint);

  ASSERT_EQ(other_tracks.tracks.size(), 1u);
  const COverlayTrack& read_track = *other_tracks.tracks[0];
  EXPECT_EQ(read_track.PointCount(), 3u);
  const auto last = read_track.GetLastPoint();
  ASSERT_TRUE(last);
  EXPECT_DOUBLE_EQ(last->latitude, 40.002);
  EXPECT_DOUBLE_EQ(last->time, 1'600'000'120.0);
  EXPECT_EQ(last->elevation, 12);
}

TEST_F(OverlayGpxFileTest, KnownSyncIdUpdatesInPlaceAndDuplicatesAreDropped) {
  COverlayMark* known = AddMark(marks, "Old", 1.0, 1.0);
  known->sync_id = 0x1A2B;
  known->deleted = true;
  known->live = false;
  AddMark(marks, "Harbour", 10.0, 20.0);
  ChangeRecorder changes;
  ASSERT_TRUE(Import(
      "<wpt lat=\"5\" lon=\"6\"><name>New</name><src>vdid:1A2B</src></wpt>"
      "<wpt lat=\"10.00001\" lon=\"20\"><name>HARBOUR</name></wpt>"
      "<wpt><name>Origin</name><desc>Seen here Source: vdid:1F</desc></wpt>"));
  ASSERT_EQ(marks.marks.size(), 3u);
  EXPECT_EQ(known->name, "New");
  EXPECT_DOUBLE_EQ(known->latitude, 5.0);
  EXPECT_FALSE(known->deleted);
  EXPECT_TRUE(known->live);
  EXPECT_TRUE(changes.Saw(known, COverlayObject::kAppeared));
  const COverlayMark& origin = *marks.marks[2];
  EXPECT_EQ(origin.name, "Origin");
  EXPECT_EQ(origin.latitude, 0.0);
  EXPECT_EQ(origin.longitude, 0.0);
  EXPECT_EQ(origin.description, "Seen here ");
  EXPECT_EQ(origin.sync_id, 0x1Fu);  // taken from "desc" when there is no "src"
}

TEST_F(OverlayGpxFileTest, WaypointFieldsReadAsWritersLeaveThem) {
  struct Case {
    const char* body;
    const char* description;
    const char* icon;
  };
  const Case cases[] = {
      {"<desc>abc</desc><cmt>abc</cmt>", "abc", nullptr},
      {"<desc>abc</desc><cmt>xyz</cmt><sym>flag, blue</sym>", "abc xyz", "Flag_blue"},
      {"<cmt>xyz</cmt><sym>MOB</sym>", "xyz", "MOB"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    marks.marks.clear();
    const std::string name = "M" + std::to_string(++n);
    ASSERT_TRUE(Import("<wpt lat=\"1\" lon=\"2\"><name>" + name + "</name>" + c.body + "</wpt>"));
    ASSERT_EQ(marks.marks.size(), 1u);
    EXPECT_EQ(marks.marks[0]->description, c.description);
    if (c.icon != nullptr) {
      EXPECT_EQ(marks.marks[0]->icon, c.icon);
    }
  }
}

TEST_F(OverlayGpxFileTest, RoutesAndTracksTakeNamesStylesAndThinning) {
  // A straight line of points one second apart.
  std::string dense, sparse;
  for (int i = 0; i < 101; ++i) {
    const std::string point = "<trkpt lat=\"" + std::to_string(40.0 + i * 1e-5) +
                              "\" lon=\"2\"><time>" + FormatIsoTime(1'600'000'000.0 + i) +
                              "</time></trkpt>";
    dense += point;
    if (i < 100) sparse += point;
  }
  ASSERT_TRUE(Import("<rte><number>7</number><extensions><xstyle:line><color>00ff00</color>"
                     "<pattern>dot</pattern></xstyle:line></extensions>"
                     "<rtept lat=\"1\" lon=\"1\"/><rtept lat=\"2\" lon=\"2\"/></rte>"
                     "<trk><name>dense</name><trkseg>" + dense + "</trkseg></trk>"
                     "<trk><name>sparse</name><trkseg>" + sparse + "</trkseg></trk>"));
  ASSERT_EQ(marks.routes.size(), 1u);
  EXPECT_EQ(marks.routes[0]->name, "Route #7");
  EXPECT_EQ(marks.routes[0]->colour, 0xFF00FF00u);
  EXPECT_EQ(marks.routes[0]->pattern, 2);
  EXPECT_EQ(marks.routes[0]->points.size(), 2u);
  ASSERT_EQ(tracks.tracks.size(), 2u);
  EXPECT_LT(tracks.tracks[0]->PointCount(), 20u);  // a straight line thins to a few points
  EXPECT_EQ(tracks.tracks[1]->PointCount(), 101u);  // 100 points in sections sharing one

  // The same route again is a duplicate; a known id is read into its route.
  marks.routes[0]->sync_id = 0x99;
  ASSERT_TRUE(Import("<rte><number>7</number><rtept lat=\"1\" lon=\"1\"/>"
                     "<rtept lat=\"2\" lon=\"2\"/></rte>"
                     "<rte><name>Again</name><src>vdid:99</src><rtept lat=\"3\" lon=\"3\"/></rte>"));
  ASSERT_EQ(marks.routes.size(), 1u);
  EXPECT_EQ(marks.routes[0]->name, "Again");
  ASSERT_EQ(marks.routes[0]->points.size(), 1u);
  EXPECT_EQ(marks.routes[0]->points[0]->parent, marks.routes[0].get());
}

TEST_F(OverlayGpxFileTest, HelpersAndFailures) {
  uint32_t colour = 0x12345678;
  EXPECT_FALSE(ParseGpxColour("12zz", colour));
  EXPECT_EQ(colour, 0x12345678u);
  EXPECT_TRUE(ParseGpxColour("a0B1c2", colour));
  EXPECT_EQ(colour, 0xFFA0B1C2u);
  EXPECT_EQ(FindLinePattern("DASHDOTDOT"), 4);
  EXPECT_EQ(FindLinePattern("wavy"), 0);
  EXPECT_EQ(GetLinePatternName(5), nullptr);

  EXPECT_FALSE(ImportGpxDocument(dir.File("missing.gpx")));
  EXPECT_FALSE(Import(""));  // no objects
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("other.xml"), "<kml><wpt/></kml>"));
  EXPECT_FALSE(ImportGpxDocument(dir.File("other.xml")));

  // A writer that can't create its file writes nothing; an unclosed one leaves the target.
  GpxWriter writer;
  EXPECT_FALSE(writer.Open(dir.File("no/such/folder/x.gpx")));
  EXPECT_FALSE(writer.Close());
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("keep.gpx"), "old"));
  {
    GpxWriter unclosed;
    ASSERT_TRUE(unclosed.Open(dir.File("keep.gpx")));
  }
  EXPECT_EQ(FileBytes(dir.File("keep.gpx")), "old");
  std::string text;
  writer.Attach(text);
  EXPECT_TRUE(writer.Close());
  CXmlDocument document;
  CXmlNode* root = document.Parse(text);
  ASSERT_NE(root, nullptr);
  EXPECT_NE(root->FindNextDescendant("gpx"), nullptr);
}

}  // namespace
