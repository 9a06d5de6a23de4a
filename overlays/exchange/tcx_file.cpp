#include "overlays/exchange/tcx_file.h"

#include <algorithm>
#include <cmath>

#include "core/xml_node.h"
#include "overlays/exchange/gpx_file.h"
#include "overlays/obj_track.h"
#include "platform/os/numbers.h"

namespace {

// The number in the element at a path of child elements below node.
bool NumberAt(const CXmlNode& node, std::initializer_list<std::string_view> path, double& out) {
  const CXmlNode* at = &node;
  for (std::string_view name : path) {
    if (!(at = FindChildElement(*at, name))) return false;
  }
  std::string text;
  at->GetInnerText(text);
  double value = 0.0;
  if (!vd::os::ParseDouble(text, value) || !std::isfinite(value)) return false;
  out = value;
  return true;
}

int16_t ToInt16(double value) { return static_cast<int16_t>(std::clamp(value, 0.0, 32767.0)); }

// False when progress asked to stop.
bool ReadTrack(const CXmlNode& node, CObjTrack& track, ProgressSteps& steps, int64_t& done) {
  bool cadence_seen = false;
  bool power_seen = false;
  for (const CXmlNode& point : node.children()) {
    if (!steps(++done)) return false;
    if (!point.IsElementNamed("Trackpoint")) continue;
    std::string text;
    int32_t time = 0;
    if (GetChildText(point, "Time", text)) time = ParseGpxTime(text);
    double lat = 0.0;
    double lon = 0.0;
    if (!NumberAt(point, {"Position", "LatitudeDegrees"}, lat) ||
        !NumberAt(point, {"Position", "LongitudeDegrees"}, lon)) {
      continue;
    }
    double altitude = 0.0;
    NumberAt(point, {"AltitudeMeters"}, altitude);
    double value = 0.0;
    int16_t heart_rate = 0;
    if (NumberAt(point, {"HeartRateBpm", "Value"}, value)) heart_rate = ToInt16(value);
    int16_t other = 0;
    if (!power_seen && NumberAt(point, {"Cadence"}, value)) {
      other = ToInt16(value);
      cadence_seen = true;
    }
    if (NumberAt(point, {"Extensions", "TPX", "Watts"}, value)) {
      other = ToInt16(value);
      power_seen = true;
    }
    track.AddPoint(lat, lon, time, static_cast<float>(altitude), heart_rate, other);
  }
  if (power_seen) {
    track.other_label = "Power (Watts)";
  } else if (cadence_seen) {
    track.other_label = "Cadence (rpm)";
  }
  // Created and modified come from the points' earliest and latest times.
  track.RecomputeTotals();
  return true;
}

// The children of the Track elements below activities: the units of the reading's progress.
int64_t PointsBelow(const CXmlNode& activities) {
  int64_t points = 0;
  for (const CXmlNode& activity : activities.children()) {
    if (!activity.IsElementNamed("Activity")) continue;
    for (const CXmlNode& lap : activity.children()) {
      if (!lap.IsElementNamed("Lap")) continue;
      for (const CXmlNode& track : lap.children()) {
        if (track.IsElementNamed("Track")) points += track.children().size();
      }
    }
  }
  return points;
}

}  // namespace

int ReadTcx(const CXmlNode& database, ObjectList& list, const ProgressFn& progress) {
  const CXmlNode* activities = FindChildElement(database, "Activities");
  if (!activities) return 0;
  ProgressSteps steps(progress, progress ? PointsBelow(*activities) : 0);
  int64_t done = 0;
  int count = 0;
  for (const CXmlNode& activity : activities->children()) {
    if (!activity.IsElementNamed("Activity")) continue;
    const char* sport = activity.GetAttribute("Sport");
    std::string id;
    GetChildText(activity, "Id", id);
    int lap_number = 0;
    for (const CXmlNode& lap : activity.children()) {
      if (!lap.IsElementNamed("Lap")) continue;
      ++lap_number;
      int section = 0;
      for (const CXmlNode& track_node : lap.children()) {
        if (!track_node.IsElementNamed("Track")) continue;
        ++section;
        auto* track = new CObjTrack;
        track->AddRef();
        list.push_back(track);
        track->name = vd::os::FormatC("%s lap %d section %d", id.c_str(), lap_number, section);
        track->SetCategory(std::string("Training:") + (sport ? sport : ""));
        ++count;
        if (!ReadTrack(track_node, *track, steps, done)) return count;
      }
    }
  }
  return count;
}
