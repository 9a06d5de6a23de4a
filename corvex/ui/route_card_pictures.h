#pragma once
// The pictures of a route card, written as bitmap files beside the card: the overview map (the
// route's extent on the chart of the document's GPS view, else of the first chart window whose
// chart holds the route, with the route drawn on it) and the elevation profile of the route.
#include <string>

class CObjRoute;

// The overview map, at most `max_size` pixels on a side. False, nothing written, when no
// chart window shows a georeferenced chart or the file can't be written. `copyright` receives
// the chart's copyright text.
bool WriteRouteOverviewMap(CObjRoute& route, const std::string& path, int max_size,
                           std::string& copyright);
// The elevation profile, width x height pixels; false when the file can't be written.
bool WriteRouteProfile(CObjRoute& route, const std::string& path, int width, int height);
// The size a bitmap file's headers give; false when they can't be read.
bool ReadBitmapSize(const std::string& path, int& width, int& height);
