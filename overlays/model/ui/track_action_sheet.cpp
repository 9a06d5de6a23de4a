#include "overlays/model/ui/track_action_sheet.h"

#include <optional>

#include "core/ui/message_boxes.h"
#include "overlays/model/nearest_object.h"
#include "overlays/model/ui/overlay_action_sheet.h"
#include "overlays/model/track_manager.h"
#include "platform/os/numbers.h"

namespace {

using Sheet = COverlayActionSheet;

CTrackSection& SectionOf(void* object) { return *static_cast<CTrackSection*>(object); }

// Where the section's tapped point lies in its track.
struct TapPlace {
  bool track_start = false;  // the track's first point
  bool track_end = false;    // the track's last point
};

TapPlace PlaceOf(const CTrackSection& section) {
  const COverlayTrack& track = *section.owner;
  TapPlace place;
  place.track_start = track.sections.front().get() == &section && section.tapped_index <= 0;
  place.track_end = track.sections.back().get() == &section &&
                    section.tapped_index >= section.count - 1;
  return place;
}

// The nearest other track by the point end_of gives, from the position.
template <class EndOf>
COverlayTrack* NearestOtherTrack(const COverlayTrack& track, const std::optional<CTrackPoint>& from,
                                 EndOf end_of) {
  CTrackManager* manager = CTrackManager::Instance();
  if (manager == nullptr || !from) return nullptr;
  return NearestObject(manager->tracks, from->latitude, from->longitude,
                       [&](const COverlayTrack& other) -> std::optional<GeoPoint> {
                         if (&other == &track || other.deleted) return std::nullopt;
                         const std::optional<CTrackPoint> point = end_of(other);
                         if (!point) return std::nullopt;
                         return GeoPoint{point->latitude, point->longitude};
                       });
}

void Split(void* object) {
  CTrackSection& section = SectionOf(object);
  section.owner->SplitAt(&section, section.tapped_index);
}

void Append(void* object) {
  COverlayTrack& track = *SectionOf(object).owner;
  if (COverlayTrack* next = CTrackActionSheet::TrackToAppend(track)) track.Join(*next);
}

void JoinOnto(void* object) {
  COverlayTrack& track = *SectionOf(object).owner;
  if (COverlayTrack* previous = CTrackActionSheet::TrackToJoinOnto(track)) previous->Join(track);
}

void Convert(void* object) {
  COverlayTrack* track = SectionOf(object).owner;
  const std::string question = vd::os::FormatC(
      "Convert Track to Route: \"%s\".\n(Conversion discards speed/time data)\nAre you sure?",
      track->name.c_str());
  AskYesNo(
      nullptr, track, "Convert Track", question,
      [](void* context, int) {
        if (CTrackManager* manager = CTrackManager::Instance()) {
          manager->ConvertTrackToRoute(static_cast<COverlayTrack*>(context));
        }
      },
      nullptr);
}

void Delete(void* object) {
  COverlayTrack* track = SectionOf(object).owner;
  const std::string question =
      vd::os::FormatC("Delete Track: \"%s\".\nAre you sure?", track->name.c_str());
  AskYesNo(
      nullptr, track, "Delete Track", question,
      [](void* context, int) {
        if (CTrackManager* manager = CTrackManager::Instance()) {
          manager->DeleteTrack(static_cast<COverlayTrack*>(context));
        }
      },
      nullptr);
}

constexpr Sheet::Row kRows[] = {
    {"Edit Track", nullptr},      {"Split Track", Split},
    {"Join Track", Append},       {"Join Track", JoinOnto},
    {"Convert to Route", Convert}, {"Delete Track", Delete},
};

}  // namespace

COverlayTrack* CTrackActionSheet::TrackToAppend(const COverlayTrack& track) {
  return NearestOtherTrack(track, track.GetLastPoint(),
                           [](const COverlayTrack& other) { return other.GetFirstPoint(); });
}

COverlayTrack* CTrackActionSheet::TrackToJoinOnto(const COverlayTrack& track) {
  return NearestOtherTrack(track, track.GetFirstPoint(),
                           [](const COverlayTrack& other) { return other.GetLastPoint(); });
}

std::unique_ptr<CActionSheetMenu> CTrackActionSheet::Build(CTrackSection& section) {
  const COverlayTrack& track = *section.owner;
  const TapPlace place = PlaceOf(section);
  const uintptr_t locked_or = track.keep ? CActionSheetMenu::kRowDisabled : CActionSheetMenu::kRowShown;
  const uintptr_t states[] = {
      CActionSheetMenu::kRowShown,
      Sheet::ShownIf(!place.track_start && !place.track_end),
      Sheet::ShownIf(place.track_end && TrackToAppend(track) != nullptr),
      Sheet::ShownIf(place.track_start && TrackToJoinOnto(track) != nullptr),
      locked_or,
      track.keep ? CActionSheetMenu::kRowDisabled : CActionSheetMenu::kRowDestructive,
  };
  return Sheet::Build(track.name, kRows, states, &section);
}

bool CTrackActionSheet::Open(CTrackSection& section) {
  return section.owner != nullptr && Sheet::Show(*Build(section));
}
