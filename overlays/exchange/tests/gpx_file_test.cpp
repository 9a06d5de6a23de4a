// GPX files: what the writer puts out reads back into the same objects, and files written by
// other programs (prefixes, extensions, missing elements) read as they should.
#include "overlays/exchange/gpx_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "app/app_common.h"
#include "overlays/category.h"
#include "overlays/exchange/gpx_xml_check.h"
#include "overlays/exchange/tests/gpx_test_world.h"
#include "overlays/icon_library.h"
#include "overlays/obj_text.h"

namespace {

using vd::test::GpxWorld;

constexpr int32_t kTime = 1700000000;  // 2023-11-14T22:13:20Z

std::string Gpx(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<gpx:gpx version=\"1.1\" creator=\"other\" "
         "xmlns:gpx=\"http://www.topografix.com/GPX/1/1\">\n" +
         body + "</gpx:gpx>\n";
}

TEST(GpxFile, MarksRoutesAndTracksReadBackAsWritten) {
  GpxWorld world;
  CObjWaypoint* pub = world.Mark("Fish & Chips", 50.1234567891, -4.9876543219);
  pub->comment = "line one\nline two";
  pub->link = "http://example.org/a?b=1&c=\"2\"";
  pub->colour = 0x123456;  // red 0x56, green 0x34, blue 0x12
  pub->radius = 50.0f;
  pub->circle_mode = CObjWaypoint::kAnchorAlarm;
  pub->SetCategory("Pubs");
  pub->modified = kTime;
  CObjWaypoint* buoy = world.Mark("Buoy", 51.0, 1.0);
  buoy->radius = 20.0f;
  buoy->circle_mode = CObjWaypoint::kProximityAlarm;
  CObjWaypoint* start = world.Mark("Start", 52.0, 2.0);
  CObjWaypoint* end = world.Mark("End ]]> here", 52.5, 2.5);
  CObjRoute* route = world.Route("Passage", {start, end});
  route->colour = 0x0000FF;  // red
  route->thickness = 2;
  route->line_style = 3;
  route->transparency = 1;
  CObjTrack* track = world.Track("Morning");
  track->AddPoint(53.0, 3.0, kTime, 12.75f, 0, 0);
  track->AddPoint(53.1, 3.1, kTime + 60, -3.5f, 0, 0);
  track->AddPoint(53.2, 3.2, 0, 0.0f, 0, 0);
  track->colour = 0x00FF00;
  track->thickness = 3;
  track->line_style = 1;

  const std::string text = MakeGpxDocument(world.doc.objects);
  EXPECT_EQ(CheckXmlWellFormed(text), "");
  EXPECT_NE(text.find("<name><![CDATA[Fish & Chips]]></name>"), std::string::npos);
  EXPECT_NE(text.find("<xgarmin:Proximity>-50.0</xgarmin:Proximity>"), std::string::npos);
  EXPECT_NE(text.find("<xstyle:color>563412</xstyle:color>"), std::string::npos);
  EXPECT_NE(text.find("<trkpt lat=\"53.0000000000\" lon=\"3.0000000000\"><ele>12</ele>"
                      "<time>2023-11-14T22:13:20Z</time></trkpt>"),
            std::string::npos);

  const ObjectList read = world.Read("all.gpx", text);
  const auto marks = GpxWorld::OfClass<CObjWaypoint>(read);
  const auto routes = GpxWorld::OfClass<CObjRoute>(read);
  const auto tracks = GpxWorld::OfClass<CObjTrack>(read);
  ASSERT_EQ(marks.size(), 4u);  // two free marks, then the route's points
  ASSERT_EQ(routes.size(), 1u);
  ASSERT_EQ(tracks.size(), 1u);

  const CObjWaypoint& pub2 = *marks[0];
  EXPECT_EQ(pub2.name, "Fish & Chips");
  EXPECT_DOUBLE_EQ(pub2.position.lat, 50.1234567891);
  EXPECT_DOUBLE_EQ(pub2.position.lon, -4.9876543219);
  EXPECT_EQ(pub2.comment, "line one\nline two");
  EXPECT_EQ(pub2.link, pub->link);
  EXPECT_EQ(pub2.colour, 0x123456u);
  EXPECT_EQ(pub2.radius, 50.0f);
  EXPECT_EQ(pub2.circle_mode, CObjWaypoint::kAnchorAlarm);
  EXPECT_EQ(CCategory::GetNameOr(pub2.category()), "Pubs");
  EXPECT_EQ(pub2.created, kTime);
  EXPECT_EQ(pub2.modified, kTime);
  EXPECT_EQ(pub2.id(), pub->id());
  EXPECT_EQ(pub2.symbol, pub->symbol);
  EXPECT_FALSE(pub2.being_placed);
  EXPECT_EQ(marks[1]->circle_mode, CObjWaypoint::kProximityAlarm);
  EXPECT_EQ(marks[1]->radius, 20.0f);

  const CObjRoute& route2 = *routes[0];
  EXPECT_EQ(route2.name, "Passage");
  EXPECT_EQ(route2.id(), route->id());
  ASSERT_EQ(route2.points().size(), 2u);
  EXPECT_EQ(route2.points()[0], marks[2]);
  EXPECT_EQ(route2.points()[1]->name, "End ]]> here");
  EXPECT_EQ(route2.points()[1]->id(), end->id());
  EXPECT_EQ(route2.edit_state, CObjRoute::kNormal);
  EXPECT_EQ(route2.colour, 0x0000FFu);
  EXPECT_EQ(route2.thickness, 2);
  EXPECT_EQ(route2.line_style, 3);
  EXPECT_EQ(route2.transparency, 1);

  const CObjTrack& track2 = *tracks[0];
  EXPECT_EQ(track2.name, "Morning");
  EXPECT_EQ(track2.colour, 0x00FF00u);
  EXPECT_EQ(track2.thickness, 3);
  EXPECT_EQ(track2.line_style, 1);
  ASSERT_EQ(track2.points().size(), 3u);
  EXPECT_EQ(track2.points()[0].time, kTime);
  EXPECT_EQ(track2.points()[0].altitude, 12.0f);  // whole metres
  EXPECT_EQ(track2.points()[1].altitude, -3.0f);
  EXPECT_EQ(track2.points()[2].time, 0);
  EXPECT_DOUBLE_EQ(track2.points()[2].position.lon, 3.2);
}

TEST(GpxFile, LineStylesMapBothWays) {
  GpxWorld world;
  // Every index written reads back as itself.
  for (uint8_t index = 0; index < 5; ++index) {
    CObjTrack* track = world.Track("T");
    track->AddPoint(1.0, 1.0, 0, 0.0f, 0, 0);
    track->thickness = index % 4;
    track->line_style = index;
    track->transparency = index;
    const ObjectList read = world.Read("style.gpx", MakeGpxDocument({track}));
    ASSERT_EQ(read.size(), 1u);
    const auto* back = static_cast<const CObjTrack*>(read.front());
    EXPECT_EQ(back->thickness, index % 4);
    EXPECT_EQ(back->line_style, index);
    EXPECT_EQ(back->transparency, index);
  }
  // Values other programs write.
  struct Case {
    const char* width;
    const char* pattern;
    const char* opacity;
    uint8_t thickness, line_style, transparency;
  };
  const Case cases[] = {
      {"1.4", "dashdot", "0.5", 0, 3, 3}, {"2.9", "DOT", "1", 1, 2, 0},
      {"6.9", "Wavy", "0", 2, 0, 4},      {"7", "dashDotDot", "0.79", 3, 4, 2},
      {"0.26", "Solid", "1.7", 0, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string body = std::string("<trk><extensions><line><width>") + c.width +
                             "</width><pattern>" + c.pattern + "</pattern><opacity>" + c.opacity +
                             "</opacity></line></extensions></trk>";
    const ObjectList read = world.Read("other.gpx", Gpx(body));
    ASSERT_EQ(read.size(), 1u);
    const auto* track = static_cast<const CObjTrack*>(read.front());
    EXPECT_EQ(track->thickness, c.thickness) << c.width;
    EXPECT_EQ(track->line_style, c.line_style) << c.pattern;
    EXPECT_EQ(track->transparency, c.transparency) << c.opacity;
  }
}

TEST(GpxFile, ReadsWhatOtherProgramsWrite) {
  GpxWorld world;
  world.app.default_route_point_symbol = 7;
  world.app.default_route_point_colour = 0x00FFFF;
  const std::string body =
      "<gpx:wpt lat=\"10.5\" lon=\"-20.25\"><gpx:time>2023-11-15T00:13:20+02:00</gpx:time>"
      "<gpx:name>\n  Camp site  \n</gpx:name><gpx:cmt>by the river</gpx:cmt>"
      "<gpx:desc>Good spot</gpx:desc><gpx:src>survey</gpx:src>"
      "<gpx:url>http://old.example</gpx:url><gpx:link href=\"http://a.example/?x=1&amp;y=2\">"
      "<gpx:text>site</gpx:text></gpx:link><gpx:sym>Campground</gpx:sym>"
      "<gpx:extensions><other:thing xmlns:other=\"urn:x\"/></gpx:extensions></gpx:wpt>\n"
      "<gpx:wpt lat=\"1\" lon=\"2\"><gpx:desc>same</gpx:desc><gpx:cmt>same</gpx:cmt>"
      "<gpx:link><gpx:text>ignored</gpx:text>http://text.example</gpx:link></gpx:wpt>\n"
      "<gpx:rte><gpx:number>3</gpx:number>"
      "<gpx:rtept lat=\"1\" lon=\"1\"/><gpx:rtept lat=\"2\" lon=\"2\"><gpx:sym>Dot</gpx:sym>"
      "</gpx:rtept></gpx:rte>\n"
      "<gpx:rte><gpx:name>Empty</gpx:name></gpx:rte>\n"
      "<gpx:trk><gpx:number>4</gpx:number>"
      "<gpx:trkseg><gpx:trkpt lat=\"1\" lon=\"1\"><gpx:time>2023-11-14T22:13:20Z</gpx:time>"
      "<gpx:extensions><tp:TrackPointExtension xmlns:tp=\"urn:tp\"><tp:hr>140</tp:hr>"
      "<tp:atemp>21.36</tp:atemp></tp:TrackPointExtension></gpx:extensions></gpx:trkpt>"
      "<gpx:trkpt lat=\"1.1\" lon=\"1.1\"><gpx:time>2023-11-14T22:13:20Z</gpx:time></gpx:trkpt>"
      "</gpx:trkseg><gpx:trkseg><gpx:trkpt lat=\"1.2\" lon=\"1.2\"><gpx:ele>55.5</gpx:ele>"
      "<gpx:extensions><tp:TrackPointExtension xmlns:tp=\"urn:tp\"><tp:cad>88</tp:cad>"
      "</tp:TrackPointExtension></gpx:extensions></gpx:trkpt></gpx:trkseg></gpx:trk>\n"
      "<gpx:trk><gpx:trkseg><gpx:trkpt lat=\"5\" lon=\"5\"><gpx:extensions>"
      "<tp:TrackPointExtension xmlns:tp=\"urn:tp\"><tp:atemp>-4.2</tp:atemp>"
      "</tp:TrackPointExtension></gpx:extensions></gpx:trkpt></gpx:trkseg></gpx:trk>\n";
  const int32_t before = static_cast<int32_t>(time(nullptr));
  const ObjectList read = world.Read("other.gpx", Gpx(body));
  const auto marks = GpxWorld::OfClass<CObjWaypoint>(read);
  const auto routes = GpxWorld::OfClass<CObjRoute>(read);
  const auto tracks = GpxWorld::OfClass<CObjTrack>(read);
  ASSERT_EQ(marks.size(), 4u);
  ASSERT_EQ(routes.size(), 2u);
  ASSERT_EQ(tracks.size(), 2u);

  const CObjWaypoint& camp = *marks[0];
  EXPECT_EQ(camp.name, "Camp site");
  EXPECT_EQ(camp.modified, kTime);  // the offset applied
  EXPECT_EQ(camp.comment, "Good spot by the river Source: survey");
  EXPECT_EQ(camp.link, "http://a.example/?x=1&y=2");
  EXPECT_EQ(camp.GetSymbolName(), "Tent");
  EXPECT_EQ(camp.colour, CIconLibrary::SymbolDefaultColour(camp.symbol));
  EXPECT_EQ(CCategory::GetNameOr(camp.category()), "Marks");  // no type: the default kept
  EXPECT_EQ(marks[1]->comment, "same");
  EXPECT_EQ(marks[1]->link, "http://text.example");

  EXPECT_EQ(routes[0]->name, "Route #3");
  EXPECT_EQ(routes[0]->points()[0]->symbol, 7);
  EXPECT_EQ(routes[0]->points()[0]->colour, 0x00FFFFu);
  EXPECT_EQ(routes[0]->points()[1]->GetSymbolName(), "Dot");
  EXPECT_EQ(routes[0]->points()[1]->colour, CIconLibrary::SymbolDefaultColour(0));
  EXPECT_TRUE(routes[1]->points().empty());
  EXPECT_GE(routes[1]->created, before);  // not the "no point yet" start value

  const CObjTrack& track = *tracks[0];
  EXPECT_EQ(track.name, "Track #4");
  ASSERT_EQ(track.points().size(), 3u);  // both segments
  EXPECT_EQ(track.points()[0].time, kTime);
  EXPECT_EQ(track.points()[0].heart_rate, 140);
  EXPECT_EQ(track.points()[0].other, 214);  // 21.36 degrees
  EXPECT_EQ(track.points()[1].time, 0);     // the repeated time dropped, the point kept
  EXPECT_EQ(track.points()[2].altitude, 55.5f);
  EXPECT_EQ(track.points()[2].other, 88);
  EXPECT_EQ(track.other_label, "Cadence (rpm)");
  EXPECT_EQ(tracks[1]->other_label, "Temperature (degrees C)");
  EXPECT_EQ(tracks[1]->other_scale, 0.1f);
  EXPECT_EQ(tracks[1]->points()[0].other, -42);  // -4.2 degrees, not truncated to -4.1
}

// Altitudes no track reaches (or no number at all) are read as none, and a stored one of any
// size is written as none rather than turned into an int it doesn't fit.
TEST(GpxFile, AbsurdAltitudesAreNoAltitude) {
  GpxWorld world;
  const std::string body =
      "<gpx:trk><gpx:trkseg>"
      "<gpx:trkpt lat=\"1\" lon=\"1\"><gpx:ele>1e10</gpx:ele></gpx:trkpt>"
      "<gpx:trkpt lat=\"1.1\" lon=\"1\"><gpx:ele>-1e10</gpx:ele></gpx:trkpt>"
      "<gpx:trkpt lat=\"1.2\" lon=\"1\"><gpx:ele>nan</gpx:ele></gpx:trkpt>"
      "<gpx:trkpt lat=\"1.3\" lon=\"1\"><gpx:ele>8848.9</gpx:ele></gpx:trkpt>"
      "<gpx:trkpt lat=\"1.4\" lon=\"1\"><gpx:ele>-10994</gpx:ele></gpx:trkpt>"
      "</gpx:trkseg></gpx:trk>\n";
  const auto tracks = GpxWorld::OfClass<CObjTrack>(world.Read("high.gpx", Gpx(body)));
  ASSERT_EQ(tracks.size(), 1u);
  const auto& points = tracks[0]->points();
  ASSERT_EQ(points.size(), 5u);
  EXPECT_EQ(points[0].altitude, 0.0f);
  EXPECT_EQ(points[1].altitude, 0.0f);
  EXPECT_EQ(points[2].altitude, 0.0f);
  EXPECT_EQ(points[3].altitude, 8848.9f);
  EXPECT_EQ(points[4].altitude, -10994.0f);

  // A track whose stored points carry such values (an overlay file holds raw floats).
  CObjTrack* stored = world.Track("Stored");
  stored->AddPoint(2.0, 2.0, 0, 100.0f, 0, 0);
  stored->AddPoint(2.1, 2.0, 0, 200.0f, 0, 0);
  stored->mutable_points()[0].altitude = 3e9f;
  stored->mutable_points()[1].altitude = std::numeric_limits<float>::quiet_NaN();
  std::string out;
  WriteGpxTrack(out, *stored);
  EXPECT_EQ(out.find("<ele>"), std::string::npos) << out;
}

TEST(GpxFile, WritesOnlyWhatBelongsAndKeepsTheDocumentValid) {
  GpxWorld world;
  CObjWaypoint* a = world.Mark("A", 1.0, 1.0);
  CObjWaypoint* b = world.Mark("B", 2.0, 2.0);
  world.Route("R", {a, b});
  world.Route("Nothing", {});
  world.Track("No points");
  world.doc.Add(new CObjText);
  CObjTrack* ring = world.Track("Ring");
  ring->AddPoint(1.0, 1.0, 0, 0.0f, 0, 0);
  ring->AddPoint(1.0, 2.0, 0, 0.0f, 0, 0);
  ring->AddPoint(2.0, 2.0, 0, 0.0f, 0, 0);
  ring->closed = true;
  // Characters XML cannot hold, and bytes that are not UTF-8.
  a->name = "bell\x07 tab\t caf\xE9 \xC3\xA9";

  const std::string text = MakeGpxDocument(world.doc.objects);
  EXPECT_EQ(CheckXmlWellFormed(text), "");
  EXPECT_EQ(text.find("<wpt"), std::string::npos);  // route points are not free marks
  EXPECT_EQ(text.find("Nothing"), std::string::npos);
  EXPECT_EQ(text.find("No points"), std::string::npos);
  EXPECT_NE(text.find("<rtept lat=\"1.0000000000\""), std::string::npos);
  EXPECT_NE(text.find("<name>bell? tab\t caf? \xC3\xA9</name>"), std::string::npos);
  EXPECT_NE(text.find("<trkpt lat=\"2.0000000000\" lon=\"2.0000000000\"></trkpt>\n"
                      "<trkpt lat=\"1.0000000000\" lon=\"1.0000000000\"></trkpt>\n</trkseg>"),
            std::string::npos);

  const std::string empty = MakeGpxDocument({});
  EXPECT_EQ(CheckXmlWellFormed(empty), "");
  EXPECT_TRUE(
      empty.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<gpx version=\"1.1\"\n"
                        "creator=\"Vardune 6.4.3.1278\"\n"));
}

}  // namespace
