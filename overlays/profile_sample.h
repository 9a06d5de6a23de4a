#pragma once
// One sample of a profile along a route or track, as the profile panes draw it, and the
// sampling both objects share: positions at equal distances along a polyline, each with the
// terrain height under it.
#include <span>

#include "overlays/lat_lon.h"

class CObjWaypoint;

struct ProfileSample {
  float value = 0.0f;             // terrain height (metres) or the sampled track value
  CObjWaypoint* mark = nullptr;   // route samples: the mark a leg starts at, or the last mark
  double lat = 0.0;
  double lon = 0.0;
};

// A point of the polyline being sampled; mark may be null.
struct ProfileNode {
  CLatLon position;
  CObjWaypoint* mark = nullptr;
};

// The terrain height (metres) at a position from the application's elevation file; 0 where
// the file has no height or no file is open.
float TerrainHeightAt(double lat, double lon);

// Zeroes the records, then spreads them evenly over the polyline of `length` nautical miles
// (the sum of its legs): walking the legs, the records from the current index up to
// floor(distance so far / length * n) (at most n - 1) lie evenly on the leg, the first of them
// at the leg's start with its mark; the records left take the last node, and the last record
// its mark. Each record's value is the terrain height at its position. A polyline of no length
// puts every record on its last node. Nothing for no nodes.
void SampleEvenly(std::span<const ProfileNode> nodes, double length,
                  std::span<ProfileSample> records);
