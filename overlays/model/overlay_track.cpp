#include "overlays/model/overlay_track.h"

#include <algorithm>
#include <numeric>

#include "core/iso_time.h"
#include "core/serializable_stream.h"
#include "core/xml_writer.h"
#include "geodesy/plane_geometry.h"
#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/overlay_route.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/record_list.h"
#include "overlays/model/track_manager.h"
#include "platform/os/numbers.h"

namespace {

constexpr double kMovingSpeed = 0.447;       // metres per second
constexpr double kSamePointDegrees2 = 1e-8;  // squared degrees

// Whether b lies within tolerance (square metres) of the segment from a to c.
bool WithinSegment(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                   double tolerance) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double sx = c.x - a.x;
  const double sy = c.y - a.y;
  const double d2 = dx * dx + dy * dy;
  if (d2 <= tolerance) return true;
  const double dot = dx * sx + dy * sy;
  const double s2 = sx * sx + sy * sy;
  if (dot < 0 || dot > s2) return false;
  const double cross = dx * sy - dy * sx;
  return s2 * tolerance >= cross * cross;
}

// The indices of the points kept by thinning: passes that test every second point against its
// neighbours' segment, repeated until a pass drops nothing.
std::vector<size_t> ThinIndices(const std::vector<PlanePoint>& points, double tolerance) {
  std::vector<size_t> kept(points.size());
  std::iota(kept.begin(), kept.end(), size_t{0});
  for (;;) {
    std::vector<size_t> next;
    next.reserve(kept.size());
    bool dropped = false;
    size_t k = 0;
    for (; k + 2 < kept.size(); k += 2) {
      next.push_back(kept[k]);
      if (WithinSegment(points[kept[k]], points[kept[k + 1]], points[kept[k + 2]], tolerance)) {
        dropped = true;
      } else {
        next.push_back(kept[k + 1]);
      }
    }
    for (; k < kept.size(); ++k) next.push_back(kept[k]);
    kept = std::move(next);
    if (!dropped) return kept;
  }
}

}  // namespace

COverlayTrack::COverlayTrack() : colour(COverlayGPSPosition::Settings().gc_color2) {}

bool COverlayTrack::Serialize(CSerializableStream& stream) {
  if (stream.IsReading()) sections.clear();
  bool ok;
  {
    CSerializableStream::Block block(stream);
    ok = block.ok() && stream.ExchangeString(name) && stream.ExchangeColour(colour) &&
         stream.ExchangeRaw(&width, sizeof width) &&
         ExchangeRecordList(
             stream, sections, kMaxCount, [this] { return std::make_unique<CTrackSection>(this); },
             [&](CTrackSection& section) { return section.Serialize(stream); }) &&
         stream.ExchangeString(description) && stream.ExchangeRaw(&pattern, sizeof pattern);
    if (ok && !(stream.IsReading() && stream.AtBlockEnd())) ok = SerializeBase(stream);
    ok = ok && stream.ExchangeString(type);
  }
  if (stream.IsReading()) {
    for (const auto& section : sections) section->owner = this;
    plane_set_ = false;
    total_distance = 0.0;
    if (const std::optional<CTrackPoint> first = GetFirstPoint(); first && first->time != 0) {
      created = TimeFrom1970(first->time);
    }
  }
  return ok && !stream.Failed();
}

void COverlayTrack::AppendRepacked(const CTrackPoint& point) {
  if (sections.empty()) sections.push_back(std::make_unique<CTrackSection>(this));
  if (sections.back()->Full()) {
    const CTrackPoint shared = sections.back()->Last();
    sections.push_back(std::make_unique<CTrackSection>(this));
    sections.back()->Append(shared);
  }
  sections.back()->Append(point);
}

bool COverlayTrack::AddPoint(const CTrackPoint& point, bool announce) {
  if (point.time != 0 && TimeFrom1970(point.time) > modified) modified = TimeFrom1970(point.time);
  AppendRepacked(point);
  if (announce) sections.back()->NotifyChange(COverlayObject::kAppeared);
  return true;
}

std::optional<CTrackPoint> COverlayTrack::GetFirstPoint() const {
  for (const auto& section : sections) {
    if (section->count > 0) return section->points[0];
  }
  return std::nullopt;
}

std::optional<CTrackPoint> COverlayTrack::GetLastPoint() const {
  for (auto section = sections.rbegin(); section != sections.rend(); ++section) {
    if ((*section)->count > 0) return (*section)->Last();
  }
  return std::nullopt;
}

size_t COverlayTrack::PointCount() const {
  size_t count = 0;
  for (const auto& section : sections) count += static_cast<size_t>(section->count);
  return count;
}

const CLocalProjection& COverlayTrack::Plane() {
  if (!plane_set_) {
    if (const std::optional<CTrackPoint> last = GetLastPoint()) {
      plane_.SetOrigin(last->latitude, last->longitude);
      plane_set_ = true;
    }
  }
  return plane_;
}

double COverlayTrack::GetStats(double& moving, double& maximum) {
  const CLocalProjection& plane = Plane();
  double distance = 0.0;
  for (const auto& section : sections) distance += SectionStats(*section, plane, moving, maximum);
  return distance;
}

double COverlayTrack::SectionStats(const CTrackSection& section, const CLocalProjection& plane,
                                   double& moving, double& maximum) {
  double distance = 0.0;
  double average = 0.0;
  for (int32_t i = 1; i < section.count; ++i) {
    const CTrackPoint& a = section.points[static_cast<size_t>(i - 1)];
    const CTrackPoint& b = section.points[static_cast<size_t>(i)];
    const double d = plane.DistanceBetween(a.latitude, a.longitude, b.latitude, b.longitude);
    const double dt = b.time - a.time;
    distance += d;
    if (dt <= 0.1) continue;
    const double v = d / dt;
    if (v > kMovingSpeed) moving += dt;
    // A speed well above the running average is taken for a spike.
    if (v < 1.25 * average) maximum = std::max(maximum, v);
    average = (v + average) / 2;
  }
  return distance;
}

double COverlayTrack::GetDuration() const {
  const std::optional<CTrackPoint> first = GetFirstPoint();
  if (!first) return 0.0;
  const CTrackManager* manager = CTrackManager::Instance();
  if (manager != nullptr && manager->RecordingTrack() == this) {
    if (const std::optional<double> now = manager->LastFixTime()) return *now - first->time;
  }
  return GetLastPoint()->time - first->time;
}

bool COverlayTrack::Thin(double tolerance) {
  const std::optional<CTrackPoint> first = GetFirstPoint();
  if (!first) return false;
  const CLocalProjection& plane = Plane();
  std::vector<std::vector<size_t>> kept_per_section;
  bool dropped = false;
  for (const auto& section : sections) {
    std::vector<PlanePoint> projected;
    for (int32_t i = 0; i < section->count; ++i) {
      const CTrackPoint& point = section->points[static_cast<size_t>(i)];
      const EastNorth en = plane.Project(point.latitude, point.longitude);
      projected.push_back({en.east_metres, en.north_metres});
    }
    kept_per_section.push_back(ThinIndices(projected, tolerance));
    dropped = dropped || kept_per_section.back().size() < projected.size();
  }
  if (!dropped) return false;
  std::vector<std::unique_ptr<CTrackSection>> old = std::move(sections);
  sections.clear();
  AppendRepacked(*first);
  for (size_t s = 0; s < old.size(); ++s) {
    const std::vector<size_t>& kept = kept_per_section[s];
    for (size_t j = 1; j < kept.size(); ++j) AppendRepacked(old[s]->points[kept[j]]);
  }
  total_distance = 0.0;
  return true;
}

size_t COverlayTrack::AppendToRoute(double tolerance, COverlayRoute& route) {
  Thin(tolerance);
  const size_t first_index = route.points.size();
  for (size_t s = 0; s < sections.size(); ++s) {
    const CTrackSection& section = *sections[s];
    // Every later section begins with the previous one's last point.
    for (int32_t i = s == 0 ? 0 : 1; i < section.count; ++i) {
      const CTrackPoint& point = section.points[static_cast<size_t>(i)];
      auto mark = std::make_unique<COverlayMark>(true);
      mark->latitude = point.latitude;
      mark->longitude = point.longitude;
      mark->icon = "Dot";
      mark->colour = route.colour;
      route.InsertPoint(std::move(mark), route.points.size());
    }
  }
  return first_index;
}

COverlayTrack* COverlayTrack::SplitAt(const CTrackSection* section, int32_t index) {
  CTrackManager* manager = CTrackManager::Instance();
  const auto found = std::find_if(sections.begin(), sections.end(),
                                  [&](const auto& owned) { return owned.get() == section; });
  if (manager == nullptr || found == sections.end()) return nullptr;
  auto split = std::make_unique<COverlayTrack>();
  split->name = name + "-split";
  split->colour = colour;
  split->width = width;
  split->pattern = pattern;
  split->type = type;
  auto after = found + 1;
  CTrackSection& given = **found;
  if (index <= 0) {
    after = found;
  } else if (index < given.count - 1) {
    auto tail = std::make_unique<CTrackSection>(split.get());
    for (int32_t i = index; i < given.count; ++i) {
      tail->Append(given.points[static_cast<size_t>(i)]);
    }
    given.count = index + 1;
    split->sections.push_back(std::move(tail));
  }
  for (auto moved = after; moved != sections.end(); ++moved) {
    (*moved)->owner = split.get();
    split->sections.push_back(std::move(*moved));
  }
  sections.erase(after, sections.end());
  if (const std::optional<CTrackPoint> first = split->GetFirstPoint(); first && first->time != 0) {
    split->created = TimeFrom1970(first->time);
  }
  modified = GetNow();
  plane_set_ = false;
  total_distance = 0.0;
  COverlayTrack* added = manager->AddTrack(std::move(split));
  AnnounceSections(COverlayObject::kAppeared);
  added->AnnounceSections(COverlayObject::kAppeared);
  return added;
}

void COverlayTrack::Join(COverlayTrack& other) {
  if (&other == this) return;
  modified = GetNow();
  const std::optional<CTrackPoint> last = GetLastPoint();
  const std::optional<CTrackPoint> start = other.GetFirstPoint();
  if (last && start) {
    const double d_lat = last->latitude - start->latitude;
    const double d_lon = last->longitude - start->longitude;
    if (d_lat * d_lat + d_lon * d_lon > kSamePointDegrees2) AppendRepacked(*start);
  }
  for (auto& section : other.sections) {
    section->owner = this;
    sections.push_back(std::move(section));
  }
  other.sections.clear();
  total_distance = 0.0;
  CTrackManager* manager = CTrackManager::Instance();
  const bool was_recording = manager != nullptr && manager->RecordingTrack() == &other;
  if (manager != nullptr) {
    manager->DeleteTrack(&other);
  } else {
    other.MarkDeleted();
    other.Reset();
  }
  if (was_recording) manager->ResumeRecordingInto(this);
  AnnounceSections(COverlayObject::kAppeared);
}

bool COverlayTrack::ExtendBounds(CGeoBounds& box) const {
  bool any = false;
  for (const auto& section : sections) {
    for (int32_t i = 0; i < section->count; ++i) {
      const CTrackPoint& point = section->points[static_cast<size_t>(i)];
      box.min_lat = std::min(box.min_lat, point.latitude);
      box.max_lat = std::max(box.max_lat, point.latitude);
      box.min_lon = std::min(box.min_lon, point.longitude);
      box.max_lon = std::max(box.max_lon, point.longitude);
      any = true;
    }
  }
  return any;
}

bool COverlayTrack::WriteGPX(std::string& out) const {
  if (sections.empty()) return true;
  out += "<trk>\n";
  XmlWriteElement(out, "name", name);
  if (!description.empty()) XmlWriteElement(out, "desc", description);
  if (sync_id != 0) XmlWriteElement(out, "src", GetSyncIdText());
  if (!type.empty()) XmlWriteElement(out, "type", type);
  COverlayRoute::WriteLineStyle(out, colour, width, pattern);
  out += "<trkseg>\n";
  for (size_t s = 0; s < sections.size(); ++s) {
    const CTrackSection& section = *sections[s];
    for (int32_t i = s == 0 ? 0 : 1; i < section.count; ++i) {
      const CTrackPoint& point = section.points[static_cast<size_t>(i)];
      out += vd::os::FormatC("<trkpt lat=\"%.10f\" lon=\"%.10f\">", point.latitude,
                             point.longitude);
      if (point.elevation != 0) out += vd::os::FormatC("<ele>%d</ele>", point.elevation);
      if (point.time != 0) out += "<time>" + FormatIsoTime(point.time) + "</time>";
      out += "</trkpt>\n";
    }
  }
  out += "</trkseg>\n</trk>\n";
  return true;
}

void COverlayTrack::AnnounceSections(int32_t code) {
  for (const auto& section : sections) section->NotifyChange(code);
}

void COverlayTrack::Reset() {
  sections.clear();
  plane_set_ = false;
  total_distance = 0.0;
  name.clear();
  description.clear();
  type.clear();
}

bool COverlayTrack::IsDisposable() const {
  return sections.empty() || name.starts_with(":chunk") || sections.front()->count < 3;
}
