#include "corvex/ostrel_doc.h"

#include <algorithm>

#include "app/app_common.h"
#include "core/object_arena.h"
#include "core/persistent_value.h"
#include "overlays/icon_library.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_waypoint.h"
#include "overlays/object_list.h"

namespace {

constexpr char kShowChartsSetting[] = "show_charts";
constexpr char kIndexFileSetting[] = "index_file";
// The own vessel's default name: a GPS track of a vessel so named keeps the track's own name.
constexpr char kDefaultVesselName[] = "Position";
constexpr size_t kRouteShortNameLength = 10;

std::string DataFolder() {
  const CAppCommon* app = CAppCommon::Instance();
  return app ? app->data_folder : std::string();
}

}  // namespace

COstrelDoc::COstrelDoc() {
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  show_chart_outlines_ = profile.GetInt(vd::kSettingsSection, kShowChartsSetting).value_or(1) != 0;
  search_index_path_ = profile.GetString(vd::kSettingsSection, kIndexFileSetting)
                           .value_or(DataFolder() + "/indexdata.vdq");
  InstallMapDataHooks();
}

COstrelDoc::~COstrelDoc() {
  RemoveMapDataHooks();
  vd::OpenAppProfile().SetString(vd::kSettingsSection, kIndexFileSetting, search_index_path_);
  DeleteContents();
  const std::vector<CDocHintListener*> listeners = std::move(hint_listeners_);
  hint_listeners_.clear();
  for (CDocHintListener* listener : listeners) listener->OnDocumentDestroyed();
  CIconLibrary::Get().Clear();
}

void COstrelDoc::DeleteContents() {
  const std::vector<CDocHintListener*> listeners = hint_listeners_;
  for (CDocHintListener* listener : listeners) listener->OnDocumentCleared();
  const bool notifications = COstrelObject::NotificationsEnabled();
  COstrelObject::SetNotificationsEnabled(false);
  if (COstrelObject* selected = COstrelObject::GetSelected(this)) selected->Deselect();
  // A view may still hold one of them for a moment: none is the document's any more.
  position_ = nullptr;
  gps_track_ = nullptr;
  fly_through_object_ = nullptr;
  // Head first through the live list: a route that goes takes the marks only it used out of
  // the list with it.
  while (!objects_.empty()) {
    COstrelObject* object = objects_.front();
    objects_.pop_front();
    object->Release();
  }
  COstrelObject::SetNotificationsEnabled(notifications);
  // A large document's memory goes back to the system, not only to the next one.
  vd::ReleaseFreedMemory();
}

// ---- Views ----

void COstrelDoc::AddView(CDocView* view) {
  if (view && std::find(views_.begin(), views_.end(), view) == views_.end()) {
    views_.push_back(view);
  }
}

void COstrelDoc::RemoveView(CDocView* view) {
  std::erase(views_, view);
  if (gps_view_ == view) gps_view_ = nullptr;
}

void COstrelDoc::UpdateAllViews(COstrelViewBase* sender, int hint, COstrelObject* object) {
  // A view may leave the document while it is told.
  const std::vector<CDocView*> views = views_;
  for (CDocView* view : views) {
    if (static_cast<COstrelViewBase*>(view) != sender &&
        std::find(views_.begin(), views_.end(), view) != views_.end()) {
      view->OnUpdate(sender, hint, object);
    }
  }
  const std::vector<CDocHintListener*> listeners = hint_listeners_;
  for (CDocHintListener* listener : listeners) {
    if (std::find(hint_listeners_.begin(), hint_listeners_.end(), listener) !=
        hint_listeners_.end())
      listener->OnDocumentHint(hint, object);
  }
}

void COstrelDoc::AddHintListener(CDocHintListener* listener) {
  if (listener && std::find(hint_listeners_.begin(), hint_listeners_.end(), listener) ==
                      hint_listeners_.end())
    hint_listeners_.push_back(listener);
}

void COstrelDoc::RemoveHintListener(CDocHintListener* listener) {
  std::erase(hint_listeners_, listener);
}

void COstrelDoc::ShowObjectPanes() {
  if (!host_) return;
  host_->ShowExplorerPanes();
  if (COstrelObject* selected = Selected()) host_->ShowProperties(selected);
}

void COstrelDoc::RefreshAfterBulkChange() {
  COstrelObject::SetNotificationsEnabled(true);
  UpdateAllViews(nullptr, kChangeAdded, nullptr);
  if (CAppCommon* app = CAppCommon::Instance()) app->BroadcastToDataWindows(nullptr, kChangeAdded);
}

void COstrelDoc::ForgetCurrentObject(COstrelObject* object) {
  if (fly_through_object_ == object) fly_through_object_ = nullptr;
}

// ---- Objects ----

CObjWaypoint* COstrelDoc::NewMark() {
  CCurrentOwnerScope owner(this);
  CObjWaypoint* mark = Insert(new CObjWaypoint, false);
  mark->Select(true);
  return mark;
}

CObjRoute* COstrelDoc::NewRoute() {
  CCurrentOwnerScope owner(this);
  CObjRoute* route = Insert(new CObjRoute, true);
  route->Select(true);
  MakeUniqueObjectName(*route, objects_, kRouteShortNameLength, "", true);
  route->name = route->short_name;
  return route;
}

CObjTrack* COstrelDoc::NewTrack() {
  CCurrentOwnerScope owner(this);
  CObjTrack* track = Insert(new CObjTrack, true);
  track->Select(true);
  track->drawing_state = 1;
  track->NotifyChange(kChangeEditState);
  return track;
}

CObjText* COstrelDoc::NewText() {
  CCurrentOwnerScope owner(this);
  CObjText* text = Insert(new CObjText, true);
  text->Select(true);
  return text;
}

CObjCurrentPosition* COstrelDoc::GetCurrentPositionObject() {
  if (position_) return position_;
  const std::string vessel = CObjCurrentPosition::GetVesselName();
  for (COstrelObject* object : objects_) {
    if (object->IsKindOf(CObjCurrentPosition::kClass) && object->name == vessel) {
      position_ = static_cast<CObjCurrentPosition*>(object);
      return position_;
    }
  }
  CCurrentOwnerScope owner(this);
  position_ = Insert(new CObjCurrentPosition, false);
  position_->name = vessel;
  return position_;
}

CObjTrack* COstrelDoc::GetGPSTrack() {
  if (gps_track_) return gps_track_;
  CCurrentOwnerScope owner(this);
  gps_track_ = Insert(new CObjTrack, false);
  gps_track_->total_distance = 0.0;
  gps_track_->undo_stamp = 0;
  if (position_ && position_->name != kDefaultVesselName) {
    gps_track_->name = "Track of " + position_->name;
  }
  return gps_track_;
}

void COstrelDoc::UpdateGPSPosition(const GPS_position_info& record) {
  CObjCurrentPosition* position = GetCurrentPositionObject();
  position->UpdateFromFix(record);
  // A satellite table arrives in a record whose position is an old one.
  if (record.valid && !record.satellite_update) GetGPSTrack()->RecordFix(*position);
}

CObjRoute* COstrelDoc::FindRouteNearest(double lat, double lon, double& best_nm, bool at_end) {
  const CLatLon position(lat, lon);
  CObjRoute* best = nullptr;
  for (COstrelObject* object : objects_) {
    if (!object->IsKindOf(CObjRoute::kClass) || !object->visible || object->locked) continue;
    auto* route = static_cast<CObjRoute*>(object);
    if (route->points().size() < 2) continue;
    const CObjWaypoint* end = at_end ? route->points().back() : route->points().front();
    const double distance = end->position.DistanceTo(position);
    if (distance < best_nm) {
      best_nm = distance;
      best = route;
    }
  }
  return best;
}

CObjRoute* COstrelDoc::FindRouteEndNearest(double lat, double lon, double& best_nm) {
  return FindRouteNearest(lat, lon, best_nm, true);
}

CObjRoute* COstrelDoc::FindRouteStartNearest(double lat, double lon, double& best_nm) {
  return FindRouteNearest(lat, lon, best_nm, false);
}
