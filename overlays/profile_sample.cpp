#include "overlays/profile_sample.h"

#include <algorithm>
#include <cmath>

#include "charts/elevation_file.h"
#include "app/app_common.h"

float TerrainHeightAt(double lat, double lon) {
  const CAppCommon* app = CAppCommon::Instance();
  const CElevationFile* file = app ? app->GetElevationFile() : nullptr;
  if (!file) return 0.0f;
  const float height = file->GetHeight(lat, lon);
  return height == static_cast<float>(kNoElevation) ? 0.0f : height;
}

void SampleEvenly(std::span<const ProfileNode> nodes, double length,
                  std::span<ProfileSample> records) {
  std::fill(records.begin(), records.end(), ProfileSample{});
  if (nodes.empty() || records.empty()) return;
  const size_t n = records.size();
  size_t index = 0;
  double along = 0.0;
  for (size_t i = 0; i + 1 < nodes.size() && length > 0; ++i) {
    const CLatLon& a = nodes[i].position;
    const CLatLon& b = nodes[i + 1].position;
    along += a.DistanceTo(b);
    const double slot = std::floor(along / length * static_cast<double>(n));
    const auto end = static_cast<size_t>(std::clamp(slot, 0.0, static_cast<double>(n - 1)));
    if (end <= index) continue;
    const double count = static_cast<double>(end - index);
    records[index].mark = nodes[i].mark;
    for (size_t k = 0; index < end; ++k, ++index) {
      const double f = static_cast<double>(k) / count;
      records[index].lat = a.lat + (b.lat - a.lat) * f;
      records[index].lon = a.lon + (b.lon - a.lon) * f;
    }
  }
  for (; index < n; ++index) {
    records[index].lat = nodes.back().position.lat;
    records[index].lon = nodes.back().position.lon;
  }
  records.back().mark = nodes.back().mark;
  for (ProfileSample& record : records) record.value = TerrainHeightAt(record.lat, record.lon);
}
