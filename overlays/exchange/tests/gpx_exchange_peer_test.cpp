// The exchange files against gpsbabel and xmllint: what this program writes is well-formed and
// reads into gpsbabel with the same points, and what gpsbabel writes imports correctly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "overlays/exchange/gpx_exchange.h"
#include "overlays/exchange/tests/gpx_test_world.h"
#include "platform/os/process.h"

namespace {

using vd::test::GpxWorld;

constexpr int32_t kTime = 1700000000;

void RunTool(const std::string& program, const std::vector<std::string>& args) {
  const vd::os::SpawnResult result = vd::os::Spawn(program, args, true);
  ASSERT_TRUE(result.started) << program << ": " << result.error;
  ASSERT_EQ(result.exit_code, 0) << program << " failed";
}

void Convert(const std::string& in_format, const std::string& in, const std::string& out_format,
             const std::string& out) {
  RunTool("gpsbabel", {"-i", in_format, "-f", in, "-o", out_format, "-F", out});
}

// Marks with names that need escaping, a route and a timed track.
void Populate(GpxWorld& world) {
  const char* const names[] = {"Fish & Chips", "a < b > c", "He said \"hi\"", "x]]>y",
                               "Caf\xC3\xA9 \xE2\x82\xAC"};
  double lat = 50.0;
  for (const char* name : names) {
    CObjWaypoint* mark = world.Mark(name, lat, -1.0 - lat / 100);
    mark->modified = kTime;
    lat += 0.25;
  }
  CObjWaypoint* a = world.Mark("Start", 49.5, -2.5);
  CObjWaypoint* b = world.Mark("Finish", 49.75, -2.25);
  world.Route("Passage", {a, b});
  CObjTrack* track = world.Track("Morning & evening");
  for (int i = 0; i < 5; ++i) {
    track->AddPoint(48.0 + i * 0.01, 3.0 + i * 0.02, kTime + i * 30, 100.0f + i, 0, 0);
  }
}

TEST(XmlExchangePeer, GpxWrittenIsWellFormedAndReadsBackThroughGpsbabel) {
  GpxWorld world;
  Populate(world);
  const std::string written = world.dir.File("written.gpx");
  ASSERT_TRUE(ExportXmlTrackFile(written, world.doc.objects));
  RunTool("xmllint", {"--noout", written});
  const std::string copy = world.dir.File("copy.gpx");
  Convert("gpx", written, "gpx", copy);

  const ObjectList originals = world.doc.objects;
  const ObjectList read = world.ReadPath(copy);
  const auto marks = GpxWorld::OfClass<CObjWaypoint>(read);
  const auto routes = GpxWorld::OfClass<CObjRoute>(read);
  const auto tracks = GpxWorld::OfClass<CObjTrack>(read);
  const auto mine = GpxWorld::OfClass<CObjWaypoint>(originals);
  ASSERT_EQ(marks.size(), mine.size());
  for (size_t i = 0; i < marks.size(); ++i) {
    EXPECT_EQ(marks[i]->name, mine[i]->name);
    EXPECT_NEAR(marks[i]->position.lat, mine[i]->position.lat, 1e-9);
    EXPECT_NEAR(marks[i]->position.lon, mine[i]->position.lon, 1e-9);
    if (!marks[i]->HasRoutes()) {
      EXPECT_EQ(marks[i]->modified, kTime) << marks[i]->name;
    }
  }
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]->name, "Passage");
  ASSERT_EQ(routes[0]->points().size(), 2u);
  EXPECT_EQ(routes[0]->points()[1]->name, "Finish");
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0]->name, "Morning & evening");
  const auto& original = GpxWorld::OfClass<CObjTrack>(originals)[0]->points();
  ASSERT_EQ(tracks[0]->points().size(), original.size());
  for (size_t i = 0; i < original.size(); ++i) {
    EXPECT_NEAR(tracks[0]->points()[i].position.lat, original[i].position.lat, 1e-9);
    EXPECT_NEAR(tracks[0]->points()[i].position.lon, original[i].position.lon, 1e-9);
    EXPECT_EQ(tracks[0]->points()[i].time, original[i].time);
    EXPECT_EQ(tracks[0]->points()[i].altitude, static_cast<int>(original[i].altitude));
  }
}

TEST(XmlExchangePeer, ImportsWhatGpsbabelWrites) {
  GpxWorld world;
  // Marks from a simple text list.
  const std::string csv = world.dir.File("marks.csv");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      csv, "name,lat,lon\n\"Fish & Chips\",50.5,-1.25\n\"<Quay>\",-33.875,151.2\n"));
  for (const char* version : {"1.0", "1.1"}) {
    const std::string gpx = world.dir.File(std::string("marks") + version + ".gpx");
    Convert("unicsv", csv, std::string("gpx,gpxver=") + version, gpx);
    const auto marks = GpxWorld::OfClass<CObjWaypoint>(world.ReadPath(gpx));
    ASSERT_EQ(marks.size(), 2u) << version;
    EXPECT_EQ(marks[0]->name, "Fish & Chips");
    EXPECT_DOUBLE_EQ(marks[0]->position.lat, 50.5);
    EXPECT_DOUBLE_EQ(marks[0]->position.lon, -1.25);
    EXPECT_EQ(marks[1]->name, "<Quay>");
    EXPECT_DOUBLE_EQ(marks[1]->position.lat, -33.875);
  }

  // A LOC file this program writes, read by gpsbabel, gives the cache codes as names.
  CObjWaypoint* cache = world.Mark("Old mill & pond", 51.25, 0.5);
  cache->comment = "GC12AB";
  const std::string loc = world.dir.File("caches.loc");
  ASSERT_TRUE(ExportXmlTrackFile(loc, {cache}));
  RunTool("xmllint", {"--noout", loc});
  const std::string from_loc = world.dir.File("from_loc.gpx");
  Convert("geo", loc, "gpx", from_loc);
  const auto codes = GpxWorld::OfClass<CObjWaypoint>(world.ReadPath(from_loc));
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_EQ(codes[0]->name, "GC12AB");
  EXPECT_EQ(codes[0]->comment, "Old mill & pond");
  EXPECT_DOUBLE_EQ(codes[0]->position.lat, 51.25);

  // A training history made from a track.
  CObjTrack* track = world.Track("Ride");
  for (int i = 0; i < 4; ++i)
    track->AddPoint(47.0 + i * 0.001, 8.0, kTime + i * 10, 400.0f + i, 0, 0);
  const std::string track_gpx = world.dir.File("ride.gpx");
  ASSERT_TRUE(ExportXmlTrackFile(track_gpx, {track}));
  const std::string tcx = world.dir.File("ride.tcx");
  RunTool("gpsbabel", {"-i", "gpx", "-f", track_gpx, "-o", "gtrnctr,course=0", "-F", tcx});
  const auto tracks = GpxWorld::OfClass<CObjTrack>(world.ReadPath(tcx));
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0]->name, "2023-11-14T22:13:20Z lap 1 section 1");
  ASSERT_EQ(tracks[0]->points().size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(tracks[0]->points()[i].position.lat, track->points()[i].position.lat, 1e-6);
    EXPECT_EQ(tracks[0]->points()[i].time, track->points()[i].time);
    EXPECT_EQ(tracks[0]->points()[i].altitude, track->points()[i].altitude);
  }
}

}  // namespace
