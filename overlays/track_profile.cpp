// The profile series of a track and the area it encloses.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geodesy/degree_length.h"
#include "geodesy/plane_geometry.h"
#include "overlays/obj_track.h"

void CObjTrack::SamplePositions(std::span<ProfileSample> records) {
  std::fill(records.begin(), records.end(), ProfileSample{});
  RecomputeTotals();
  if (points_.empty()) return;
  std::vector<ProfileNode> nodes;
  nodes.reserve(points_.size());
  for (const CTrackpoint& point : points_) nodes.push_back({point.position, nullptr});
  SampleEvenly(nodes, total_distance, records);
}

template <class Value>
void CObjTrack::SampleValues(std::span<ProfileSample> records, Value value) const {
  double length = 0.0;
  for (size_t i = 0; i + 1 < points_.size(); ++i) {
    length += points_[i].position.DistanceTo(points_[i + 1].position);
  }
  if (length <= 0.0) return;
  const double n = static_cast<double>(records.size());
  size_t index = 0;
  double along = 0.0;
  for (size_t i = 0; i + 1 < points_.size(); ++i) {
    along += points_[i].position.DistanceTo(points_[i + 1].position);
    const auto end = static_cast<size_t>(std::min(std::floor(along / length * n + 0.5), n));
    for (; index < end; ++index) {
      records[index] = {value(points_[i]), nullptr, points_[i].position.lat,
                        points_[i].position.lon};
    }
  }
}

void CObjTrack::SampleAltitude(std::span<ProfileSample> records) const {
  SampleValues(records, [](const CTrackpoint& p) { return p.altitude; });
}

void CObjTrack::SampleSpeed(std::span<ProfileSample> records) const {
  SampleValues(records, [](const CTrackpoint& p) { return p.speed; });
}

void CObjTrack::SampleHeartRate(std::span<ProfileSample> records) const {
  SampleValues(records, [](const CTrackpoint& p) { return static_cast<float>(p.heart_rate); });
}

void CObjTrack::SampleOtherValue(std::span<ProfileSample> records) const {
  SampleValues(records, [this](const CTrackpoint& p) { return p.other * other_scale; });
}

double CObjTrack::GetEnclosedArea() const {
  if (points_.size() < 3) return 0.0;
  const CLatLon& origin = points_.front().position;
  const double x_scale = LonDegreeLength(origin.lat) * kMetresPerNauticalMile;
  const double y_scale = LatDegreeLength(origin.lat) * kMetresPerNauticalMile;
  std::vector<double> xs, ys;
  xs.reserve(points_.size());
  ys.reserve(points_.size());
  for (const CTrackpoint& point : points_) {
    xs.push_back((point.position.lon - origin.lon) * x_scale);
    ys.push_back((point.position.lat - origin.lat) * y_scale);
  }
  return PolygonArea(xs, ys);
}
