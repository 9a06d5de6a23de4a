#pragma once
// Overlay files written byte by byte whose marks and routes disagree about each other: a mark
// whose stored route list names a route that does not hold it. The route is read inside the
// mark's record and nothing else keeps it.
#include <string>

#include "overlays/object_factory.h"
#include "overlays/tests/archive_test_objects.h"

namespace vd::test {

// A mark record of the current schema; routes holds the bytes of its stored route list
// (count and references).
inline ArchiveBytes& MarkRecord(ArchiveBytes& b, std::string_view name, double lat, double lon,
                                const ArchiveBytes& routes, uint64_t id) {
  ArchiveBytes no_category;
  no_category.U16(0);
  b.Base(name, 1600000000, 1600000100, 0x3c000000, no_category, id);
  b.Raw(std::string_view(reinterpret_cast<const char*>(&lat), 8));
  b.Raw(std::string_view(reinterpret_cast<const char*>(&lon), 8));
  b.Raw(routes.data);
  b.Str("").I32(1).U32(0).I32(10).Str(name).I32(0).I32(0xFF);
  return b;
}

// A route record of the current schema; points holds the bytes of its point list.
inline ArchiveBytes& RouteRecord(ArchiveBytes& b, std::string_view name,
                                 const ArchiveBytes& points, uint64_t id) {
  ArchiveBytes no_category;
  no_category.U16(0);
  b.Base(name, 1600000000, 1600000100, 0x14000000, no_category, id);
  b.U8(0).Raw(points.data).I32(0xFF).U8(1).U8(0).U8(0);
  return b;
}

// The list holds one mark "Lone" whose route list names the route "Stray" (without points),
// read inside the mark's record. With complete false the list claims a second object that the
// file does not hold, so the load fails after both objects were made.
inline std::string MarkNamingAStrayRouteFile(bool complete) {
  ArchiveBytes stray_points;
  stray_points.U16(0);
  ArchiveBytes routes;
  routes.U16(1).NewClass("CObjRoute");
  RouteRecord(routes, "Stray", stray_points, 0x0000000A00000002);
  ArchiveBytes b;
  b.U16(complete ? 1 : 2).NewClass("CObjWaypoint");
  MarkRecord(b, "Lone", 50.5, -1.25, routes, 0x0000000A00000001);
  return b.data;
}

// A well-formed file: the route "Passage" through the marks "North" and "South", each of
// which names the route once in its list. Marks first, then the route, as a saved document
// lists them.
inline std::string RouteThroughTwoMarksFile() {
  ArchiveBytes b;
  b.U16(3);
  // Object numbers: 1 the mark class, 2 "North", 3 the route class, 4 "Passage", 5 "South".
  ArchiveBytes north_routes;
  north_routes.U16(1).NewClass("CObjRoute");
  ArchiveBytes points;
  points.U16(2).U16(2).U16(0x8001);
  ArchiveBytes south_routes;
  south_routes.U16(1).U16(4);
  MarkRecord(points, "South", 50.0, -1.0, south_routes, 0x0000000A00000005);
  RouteRecord(north_routes, "Passage", points, 0x0000000A00000004);
  b.NewClass("CObjWaypoint");
  MarkRecord(b, "North", 50.5, -1.0, north_routes, 0x0000000A00000003);
  b.U16(4).U16(5);
  return b.data;
}

}  // namespace vd::test
