#include "viewer_lib/track_list.h"

#include "app/app_common.h"
#include "app/time_value.h"
#include "core/ui/message_boxes.h"
#include "geodesy/default_units.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/track_manager.h"
#include "viewer_lib/overlay_gpx_file.h"
#include "viewer_lib/overlay_share.h"
#include "viewer_lib/overlay_sync.h"

namespace {

QWidget* Owner(void* context) { return static_cast<QWidget*>(context); }

void DeleteAll(void* context) {
  AskYesNo(Owner(context), context, "Delete All Tracks", "Are you sure?",
           [](void*, int) {
             CTrackManager* manager = CTrackManager::Instance();
             if (manager == nullptr) return;
             for (size_t i = 0; i < manager->tracks.size(); ++i) {
               COverlayTrack* track = manager->tracks[i].get();
               if (!track->deleted) manager->DeleteTrack(track);
             }
           },
           nullptr);
}

void SaveAll(void* context) {
  ShareFile(Owner(context), std::make_unique<CShareItem>("tracks.gpx", [](const std::string& path) {
              GpxWriter writer;
              if (!writer.Open(path)) return false;
              if (CTrackManager* manager = CTrackManager::Instance()) {
                for (const auto& track : manager->tracks) {
                  if (!track->deleted) writer.Write(*track);
                }
              }
              return writer.Close();
            }));
}

void Load(void* context) { LoadSavedData(Owner(context)); }

template <bool Show>
void ShowAll(void*) {
  CTrackManager* manager = CTrackManager::Instance();
  if (manager == nullptr) return;
  for (const auto& track : manager->tracks) {
    if (track->deleted) continue;
    track->live = Show;
    track->AnnounceSections(COverlayObject::kAppeared);
  }
}

template <bool NotSyncable>
void SetNotSyncable(void*) {
  if (CTrackManager* manager = CTrackManager::Instance()) {
    for (const auto& track : manager->tracks) track->not_syncable = NotSyncable;
  }
}

void Sort(void*) { ShowListSheet(*BuildSortSheet()); }
void Sync(void* context) { OverlaySync_Run(Owner(context)); }

const COverlayListMenuRow kListMenu[] = {
    {"Delete all tracks", DeleteAll, CActionSheetMenu::kRowDestructive},
    {"Save all tracks", SaveAll, CActionSheetMenu::kRowShown},
    {"Load saved data", Load, CActionSheetMenu::kRowShown},
    {"Show all tracks", ShowAll<true>, CActionSheetMenu::kRowShown},
    {"Hide all tracks", ShowAll<false>, CActionSheetMenu::kRowShown},
    {"Make all tracks syncable", SetNotSyncable<false>, CActionSheetMenu::kRowShown},
    {"Make all tracks non-syncable", SetNotSyncable<true>, CActionSheetMenu::kRowShown},
    {"Sort", Sort, CActionSheetMenu::kRowShown},
    {"Cloud Sync", Sync, CActionSheetMenu::kRowShown},
};

}  // namespace

std::unique_ptr<CActionSheetMenu> CTrackList::BuildListMenu(QWidget* owner) {
  return BuildListSheet("Tracks menu", kListMenu, std::size(kListMenu), owner);
}

void CTrackList::GetRowText(COverlayTrack& track, COverlayListRow& row) {
  row.title = track.name;
  row.flag = false;
  if (!track.HasPoints()) {
    row.detail = "Empty track";
    return;
  }
  row.detail = "  " + FormatShortDate(TimeTo1970(track.created)) + ", ";
  double moving_time = 0.0;
  double max_speed = 0.0;
  CDefaultUnits::Global().AppendValueText(track.GetStats(moving_time, max_speed), row.detail);
  row.detail += ", ";
  row.detail += CAppCommon::FormatDuration(static_cast<int64_t>(track.GetDuration()));
}
