// The measurements of a route that need terrain heights: climb, descent and profile samples.
#include <algorithm>
#include <cmath>
#include <vector>

#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"

namespace {

// Terrain samples per nautical mile for climb and descent: 20 per kilometre.
constexpr double kClimbSamplesPerNm = 37.04;
constexpr double kMaxClimbSamples = 10000;

}  // namespace

void CObjRoute::SamplePositionsBetween(std::span<ProfileSample> records, int from, int to) {
  if (points_.empty()) return;
  const int count = static_cast<int>(points_.size());
  if (to < 0 || to >= count) to = count - 1;
  from = std::clamp(from, 0, to);
  const double span_length = DistanceBetween(from, to);
  RecomputeLength();
  std::vector<ProfileNode> nodes;
  nodes.reserve(static_cast<size_t>(to - from + 1));
  for (int i = from; i <= to; ++i) nodes.push_back({points_[i]->position, points_[i]});
  SampleEvenly(nodes, span_length, records);
}

void CObjRoute::SamplePositions(std::span<ProfileSample> records) {
  SamplePositionsBetween(records, 0, -1);
}

void CObjRoute::GetAscentDescentBetween(double& ascent, double& descent, int from, int to) {
  if (points_.empty()) return;
  const double samples =
      std::min(2 + std::floor(DistanceBetween(from, to) * kClimbSamplesPerNm), kMaxClimbSamples);
  std::vector<ProfileSample> records(static_cast<size_t>(samples));
  SamplePositionsBetween(records, from, to);
  ascent = descent = 0;
  for (size_t i = 1; i < records.size(); ++i) {
    const double rise = double{records[i].value} - records[i - 1].value;
    (rise > 0 ? ascent : descent) += std::abs(rise);
  }
}

void CObjRoute::GetAscentDescent(double& ascent, double& descent) {
  GetAscentDescentBetween(ascent, descent, 0, -1);
}
