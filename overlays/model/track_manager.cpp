#include "overlays/model/track_manager.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/serializable_stream.h"
#include "geodesy/units.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/nearest_object.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/record_list.h"
#include "platform/os/numbers.h"

const CSerializable::TypeOf<CTrackManager> CTrackManager::cType(CTrackManager::kTypeId);

namespace {

// Live managers, oldest first: the newest is the program's.
std::vector<CTrackManager*>& Live() {
  static std::vector<CTrackManager*> live;
  return live;
}
CTrackManager::Persistant settings;

constexpr double kKnotsToMetresPerSecond = 0.5144444444444445;
constexpr double kMovingSpeed = 0.447;  // metres per second
// Loaded tracks denser than this (seconds per point) are thinned.
constexpr double kDenseInterval = 5.0;
constexpr size_t kDenseMinPoints = 100;
constexpr double kLoadThinTolerance = 4.0;  // square metres
constexpr double kConvertTolerance = 400.0;
constexpr double kStartWindow = 3600.0;  // seconds before a start that start a new track

// Tracks dropped on loading: never synchronised, and with nothing a user would keep.
bool PurgedOnLoad(const COverlayTrack& track) {
  return track.sync_id == 0 && (!track.HasPoints() || track.name.starts_with(":chunk"));
}

}  // namespace

CTrackManager::Persistant::Persistant() : PersistantData("CTrackManager") {}

void CTrackManager::Persistant::Exchange() { ExchangeBool("doRecordTrack", doRecordTrack); }

CTrackManager::Persistant& CTrackManager::Settings() { return settings; }

CTrackManager::CTrackManager() { Live().push_back(this); }

CTrackManager::~CTrackManager() {
  std::erase(Live(), this);
}

CTrackManager* CTrackManager::Instance() {
  return Live().empty() ? nullptr : Live().back();
}

bool CTrackManager::Serialize(CSerializableStream& stream) {
  if (stream.IsWriting()) {
    std::erase_if(tracks, [](const auto& track) { return track->deleted && track->purge; });
  }
  const size_t first_new = tracks.size();
  bool ok;
  {
    CSerializableStream::Block block(stream);
    ok = block.ok() && ExchangeRecordList(
                           stream, tracks, COverlayTrack::kMaxCount,
                           [] { return std::make_unique<COverlayTrack>(); },
                           [&](COverlayTrack& track) { return track.Serialize(stream); });
  }
  if (stream.IsReading()) {
    tracks.erase(std::remove_if(tracks.begin() + static_cast<std::ptrdiff_t>(first_new),
                                tracks.end(),
                                [](const auto& track) { return PurgedOnLoad(*track); }),
                 tracks.end());
    for (size_t i = first_new; i < tracks.size(); ++i) {
      COverlayTrack& track = *tracks[i];
      const size_t count = track.PointCount();
      if (count > kDenseMinPoints &&
          track.GetDuration() / static_cast<double>(count) < kDenseInterval &&
          track.Thin(kLoadThinTolerance)) {
        track.modified = GetNow();
      }
      track.AnnounceSections(COverlayObject::kAppeared);
    }
  }
  return ok && !stream.Failed();
}

COverlayTrack* CTrackManager::AddTrack(std::unique_ptr<COverlayTrack> track) {
  tracks.push_back(std::move(track));
  return tracks.back().get();
}

std::string CTrackManager::NextTrackName() const {
  int largest = 0;
  for (const auto& track : tracks) {
    const std::string& name = track->name;
    if (name.size() < 2 || name[0] != 'T') continue;
    int value = 0;
    const char* end = name.data() + name.size();
    const auto [stop, error] = std::from_chars(name.data() + 1, end, value);
    if (error == std::errc() && stop == end) largest = std::max(largest, value);
  }
  return vd::os::FormatC("T%d", largest + 1);
}

COverlayTrack* CTrackManager::FindTrackStartingNearest(double latitude, double longitude) const {
  return NearestObject(tracks, latitude, longitude,
                       [](const COverlayTrack& track) -> std::optional<GeoPoint> {
                         const std::optional<CTrackPoint> point = track.GetFirstPoint();
                         if (!point) return std::nullopt;
                         return GeoPoint{point->latitude, point->longitude};
                       });
}

COverlayTrack* CTrackManager::FindTrackEndingNearest(double latitude, double longitude) const {
  return NearestObject(tracks, latitude, longitude,
                       [](const COverlayTrack& track) -> std::optional<GeoPoint> {
                         const std::optional<CTrackPoint> point = track.GetLastPoint();
                         if (!point) return std::nullopt;
                         return GeoPoint{point->latitude, point->longitude};
                       });
}

COverlayTrack* CTrackManager::RecordingTrack() const {
  return IsRecording() && !tracks.empty() ? tracks.back().get() : nullptr;
}

std::optional<double> CTrackManager::LastFixTime() const {
  if (!last_fix_) return std::nullopt;
  return last_fix_->time;
}

void CTrackManager::SetRecording(bool on) {
  settings.doRecordTrack = on;
  settings.MarkDirty();
  PersistantData::SaveAll();
}

COverlayTrack* CTrackManager::StartNewTrack() {
  auto track = std::make_unique<COverlayTrack>();
  track->name = NextTrackName();
  return AddTrack(std::move(track));
}

void CTrackManager::ToggleRecording() {
  SetRecording(!settings.doRecordTrack);
  if (settings.doRecordTrack) {
    StartNewTrack();
  } else if (!tracks.empty() && !tracks.back()->deleted && tracks.back()->IsDisposable()) {
    DeleteTrack(tracks.back().get());
  }
  Listener<CTrackManager>::Fire(*this);
}

void CTrackManager::ResumeRecordingInto(COverlayTrack* track) {
  // Stopping must not dispose of the track that recording resumes into.
  if (settings.doRecordTrack) {
    COverlayTrack* newest = tracks.empty() ? nullptr : tracks.back().get();
    SetRecording(false);
    if (newest != nullptr && newest != track && !newest->deleted && newest->IsDisposable()) {
      DeleteTrack(newest);
    }
    Listener<CTrackManager>::Fire(*this);
  }
  const auto found = std::find_if(tracks.begin(), tracks.end(),
                                  [&](const auto& owned) { return owned.get() == track; });
  if (found != tracks.end()) std::rotate(found, found + 1, tracks.end());
  if (last_fix_) {
    track->AddPoint(CTrackPoint{last_fix_->latitude, last_fix_->longitude, last_fix_->time,
                                last_fix_->altitude, 0},
                    true);
  }
  SetRecording(true);
  Listener<CTrackManager>::Fire(*this);
}

void CTrackManager::DeleteTrack(COverlayTrack* track) {
  if (RecordingTrack() == track) {
    SetRecording(false);
    Listener<CTrackManager>::Fire(*this);
  }
  track->MarkDeleted();
  track->Reset();
  track->AnnounceSections(COverlayObject::kAppeared);
}

COverlayRoute* CTrackManager::ConvertTrackToRoute(COverlayTrack* track) {
  CMarkManager* marks = CMarkManager::Instance();
  if (marks == nullptr) return nullptr;
  auto route = std::make_unique<COverlayRoute>();
  route->name = track->name + "-converted";
  track->AppendToRoute(kConvertTolerance, *route);
  COverlayRoute* added = marks->AddRoute(std::move(route));
  added->AnnounceAll(COverlayObject::kAppeared);
  DeleteTrack(track);
  return added;
}

void CTrackManager::OnEvent(CDataGPSPosition& fix) {
  if (!fix.valid) return;
  last_fix_ = fix;
  if (!settings.doRecordTrack) return;
  const CTrackPoint point{fix.latitude, fix.longitude, fix.time, fix.altitude, 0};

  COverlayTrack* track = tracks.empty() ? nullptr : tracks.back().get();
  std::optional<CTrackPoint> last = track != nullptr ? track->GetLastPoint() : std::nullopt;
  if (track == nullptr || track->deleted ||
      (last && (fix.time - last->time > kNewTrackGap || fix.time < last->time))) {
    track = StartNewTrack();
    last.reset();
  }

  bool take = true;
  double dt = 0.0;
  double d = 0.0;
  if (last) {
    dt = fix.time - last->time;
    d = track->Plane().DistanceBetween(last->latitude, last->longitude, fix.latitude,
                                       fix.longitude);
    const CDataSpeedDirection& motion = fix.motion;
    bool turned = false;
    if (motion.source_kind == CDataSpeedDirection::kSource3 &&
        (motion.speed_source3 > 0.5 || motion.speed > 0.5)) {
      // The water and ground vectors part: current or leeway changed, worth a point at once.
      const double s1 = motion.speed_source3;
      const double s2 = motion.speed;
      const double east = s1 * motion.source3_direction.east - s2 * motion.ground_direction.east;
      const double north =
          s1 * motion.source3_direction.north - s2 * motion.ground_direction.north;
      turned = std::hypot(east, north) > (s1 + s2) * 0.125 + 0.25;
    }
    take = turned || (dt >= kMinStep && d >= kMinStep);
  }
  if (take) {
    if (last) {
      if (track->total_distance == 0.0) {
        track->moving_time = 0.0;
        track->max_speed = 0.0;
        track->total_distance = track->GetStats(track->moving_time, track->max_speed);
      }
      track->total_distance += d;
      const double speed =
          dt > 10.0 ? d / dt : fix.motion.GetSpeed() * kKnotsToMetresPerSecond;
      if (speed > kMovingSpeed) {
        track->moving_time += dt;
        track->max_speed = std::max(track->max_speed, speed);
      }
    }
    track->AddPoint(point, true);
  }
  Listener<COverlayTrack>::Fire(*track);
}

void CTrackManager::OnEvent(CDataStartTimer& timer) {
  if (!timer.new_track_at_start) return;
  if (timer.time_of_start <= 0) {
    if (settings.doRecordTrack) ToggleRecording();
    return;
  }
  const double ahead = timer.time_of_start - timer.clock;
  if (ahead <= -0.1 || ahead >= kStartWindow) return;
  if (settings.doRecordTrack) ToggleRecording();
  ToggleRecording();
  COverlayTrack* track = tracks.back().get();
  track->name = "Start at " + CUnits::FormatClockTime(timer.time_of_start);
  track->AnnounceSections(COverlayObject::kChanged);
}
