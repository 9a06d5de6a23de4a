// The exchange files against gpsbabel and xmllint: what this program writes is well-formed and
// reads into gpsbabel with the same points, and what gpsbabel writes imports correctly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "overlays/exchange/gpx_exchange.h"
#include "overlays/exchange/tests/gpx_test_world.h"
#include "overlays/category.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
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

// The fields a mark carries in GPX, free and as a route point, through this program's writer
// and reader, with gpsbabel reading the same file as the judge of what was written. Times are
// the marks' own (a file's times, not the time of the import).
TEST(XmlExchangePeer, MarkFieldsRoundTripAsGpsbabelReadsThem) {
  GpxWorld world;
  struct Row {
    const char* name;
    const char* comment;
    double lat, lon;
    int32_t time;
    const char* gpsbabel_time;  // "date,time" as gpsbabel's unicsv writes it in UTC
  };
  const Row free_rows[] = {
      {"Fish & Chips", "Quay, \"north\" side", 50.5, -1.25, 1559383200, "2019/06/01,10:00:00"},
      {"Caf\xC3\xA9 <\xC3\x98resund>", "", -33.875, 151.2, 946684799, "1999/12/31,23:59:59"},
  };
  const Row route_rows[] = {
      {"Start", "slack water", 49.5, -2.5, 1514862245, "2018/01/02,03:04:05"},
      {"Finish", "", 49.75, -2.25, 1514865845, "2018/01/02,04:04:05"},
  };
  std::vector<CObjWaypoint*> points;
  for (const Row* rows : {free_rows, route_rows}) {
    for (int i = 0; i < 2; ++i) {
      CObjWaypoint* mark = world.Mark(rows[i].name, rows[i].lat, rows[i].lon);
      mark->comment = rows[i].comment;
      mark->created = mark->modified = rows[i].time;
      mark->SetCategory("Harbours");
      mark->radius = 150.0f;
      mark->circle_mode = CObjWaypoint::kAnchorAlarm;
      if (rows == route_rows) points.push_back(mark);
    }
  }
  world.Route("Passage", points);
  const std::string written = world.dir.File("marks.gpx");
  ASSERT_TRUE(ExportXmlTrackFile(written, world.doc.objects));
  RunTool("xmllint", {"--noout", written});

  // gpsbabel's reading of the file: one line per mark, then per route point.
  for (const bool routes : {false, true}) {
    const std::string listed = world.dir.File(routes ? "routes.csv" : "marks.csv");
    std::vector<std::string> args = {"-i", "gpx", "-f", written, "-o", "unicsv,utc=0", "-F", listed};
    if (routes) args.insert(args.begin(), "-r");
    RunTool("gpsbabel", args);
    std::string text;
    ASSERT_TRUE(vd::os::ReadWholeFile(listed, text));
    for (const Row& row : routes ? route_rows : free_rows) {
      const std::string line = vd::os::FormatC("%.6f,%.6f,\"%s\"", row.lat, row.lon, row.name);
      const size_t at = text.find(line);
      ASSERT_NE(at, std::string::npos) << row.name << "\n" << text;
      std::string rest = text.substr(at, text.find('\n', at) - at);
      if (rest.ends_with('\r')) rest.pop_back();
      EXPECT_TRUE(rest.ends_with(row.gpsbabel_time)) << rest;
    }
  }

  // This program's reading of it gives every field back.
  const ObjectList read = world.ReadPath(written);
  const auto marks = GpxWorld::OfClass<CObjWaypoint>(read);
  ASSERT_EQ(marks.size(), 4u);
  for (size_t i = 0; i < marks.size(); ++i) {
    const Row& row = i < 2 ? free_rows[i] : route_rows[i - 2];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(marks[i]->name, row.name);
    EXPECT_EQ(marks[i]->comment, row.comment);
    EXPECT_NEAR(marks[i]->position.lat, row.lat, 1e-9);
    EXPECT_NEAR(marks[i]->position.lon, row.lon, 1e-9);
    EXPECT_EQ(marks[i]->modified, row.time);
    EXPECT_EQ(marks[i]->created, row.time);
    EXPECT_EQ(CCategory::GetNameOr(marks[i]->category()), "Harbours");
    EXPECT_EQ(marks[i]->radius, 150.0f);
    EXPECT_EQ(marks[i]->circle_mode, CObjWaypoint::kAnchorAlarm);
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
