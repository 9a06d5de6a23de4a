// The document's menu commands.
#include <algorithm>
#include <iterator>
#include <memory>

#include "charts/geo_name_database_builder.h"
#include "app/app_common.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "corvex/command_ids.h"
#include "corvex/ostrel_doc.h"
#include "gps/gps_params.h"
#include "overlays/category.h"
#include "overlays/exchange/gpx_exchange.h"
#include "overlays/lat_lon.h"
#include "overlays/exchange/object_email_upload.h"
#include "overlays/exchange/shapefile.h"
#include "overlays/exchange/tagged_text_file.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/object_list.h"
#include "overlays/overlay_file.h"
#include "overlays/road_routing.h"
#include "overlays/undo_ring.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/profile_store.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"

namespace {

constexpr char kImportFilter[] =
    "GPX files (*.gpx)|*.gpx|Vardune Overlay file (*.vdo)|*.vdo|Comma-separated text file "
    "(*.csv)|*.csv|ESRI Shape files (*.shp)|*.shp|Geocaching LOC files (*.loc)|*.loc|Garmin "
    "Training Center files (*.tcx)|*.tcx||";
constexpr char kNmeaFilter[] =
    "All files (*.*)|*.*|Text files (*.txt)|*.txt|NMEA files (*.nmea)|*.nmea||";
constexpr char kExportFilter[] =
    "GPX files (*.gpx)|*.gpx|Vardune Overlay file (*.vdo)|*.vdo|Comma-separated text file "
    "(*.csv)|*.csv|ESRI Shape files (*.shp)|*.shp|Geocaching LOC files (*.loc)|*.loc||";
constexpr char kIndexFilter[] = "Text files (*.vdq)|*.vdq||";
constexpr char kGeoFilter[] = "Geographic names files (*.geo)|*.geo||";
constexpr char kTextFilter[] = "Text files (*.txt)|*.txt||";
constexpr char kShowChartsSetting[] = "show_charts";
// The filter the Import and Export dialogs show first, the one last chosen in either (from 1).
constexpr char kFileTypeIndexSetting[] = "default_file_type_index";
constexpr int kImportFilterCount = 6;
constexpr int kExportFilterCount = 5;
// Shown before the first walking optimisation of a user.
constexpr char kOptimizeRouteHintSetting[] = "OptimizeRouteHint";
constexpr char kOptimizeRouteHint[] =
    "Note: Trail data is severely limited in some areas. If the result is not what you want, use "
    "the Undo button on the toolbar";

// The stored filter number for a dialog of `count` filters: 1 unless it is one of them.
int StoredFileTypeIndex(int count) {
  const int index = vd::OpenAppProfile().GetInt(vd::kSettingsSection, kFileTypeIndexSetting).value_or(1);
  return index >= 1 && index <= count ? index : 1;
}

void StoreFileTypeIndex(int index) {
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, kFileTypeIndexSetting, index);
}
// A label mode that shows the symbol only: the mark's name is hidden.
constexpr int32_t kNameHidden = CObjWaypoint::kLabelSymbolOnly;
constexpr int32_t kNameShown = 0;

// Commands this version cannot carry out: known here, never enabled. View Cloud Sync data
// opens the sync web page for the user's sign-in identifier, which nothing records.
constexpr int kUnavailableCommands[] = {
    kCmdWebCloudSync,
};

// The maker's web pages of the Web menu.
constexpr char kHomePage[] = "https://www.vardune.example/";
constexpr char kSupportPage[] = "https://www.vardune.example/support.htm?edition=VD&build=1278";

bool IsUnavailable(int id) {
  return std::find(std::begin(kUnavailableCommands), std::end(kUnavailableCommands), id) !=
         std::end(kUnavailableCommands);
}

bool InRange(int id, int first, int last) { return id >= first && id <= last; }

template <class T>
T* As(COstrelObject* object) {
  return object && object->IsKindOf(T::kClass) ? static_cast<T*>(object) : nullptr;
}

bool HasObjectOf(const ObjectList& list, const OverlayClass& cls) {
  return std::any_of(list.begin(), list.end(),
                     [&](const COstrelObject* object) { return object->IsKindOf(cls); });
}

bool AskYesNo(const char* question) {
  return FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion, "%s", question) ==
         vd::ui::kIdYes;
}

}  // namespace

// ---- Routing ----

bool COstrelDoc::OnUpdateCommand(int id, CCmdUI& ui) {
  if (IsUnavailable(id)) {
    ui.enabled = false;
    return true;
  }
  if (id == kCmdUnchangedEntry) return true;
  if (InRange(id, kCmdShowCategoryFirst, kCmdShowCategoryLast) ||
      InRange(id, kCmdHideCategoryFirst, kCmdHideCategoryLast)) {
    ui.enabled = true;
    return true;
  }
  COstrelObject* selected = Selected();
  CObjRoute* route = CObjRoute::FromSelection(this);
  switch (id) {
    case kCmdImport:
    case kCmdImportNmea:
    case kCmdExportAll:
    case kCmdExportVisible:
    case kCmdSaveOverlays:
    case kCmdSaveOverlaysAs:
    case kCmdShowAll:
    case kCmdHideAll:
    case kCmdDeleteHidden:
    case kCmdDeleteAll:
    case kCmdLoadIndexFile:
    case kCmdHide:
    case kCmdHideRoute:
    case kCmdHideTrack:
    case kCmdSaveObjectAs:
      ui.enabled = true;
      return true;
    case kCmdUndo:
      ui.enabled = CanUndo();
      return true;
    case kCmdRedo:
      ui.enabled = CanRedo();
      return true;
    case kCmdMapList:
      ui.enabled = host_ != nullptr;
      return true;
    case kCmdShowMapOutlines:
      ui.enabled = true;
      ui.checked = show_chart_outlines_;
      return true;
    case kCmdSyncViews:
      ui.enabled = true;
      ui.checked = sync_views_;
      return true;
    case kCmdShowRouteLabels:
    case kCmdHideRouteLabels:
      ui.enabled = HasObjectOf(objects_, CObjRoute::kClass);
      ui.checked = AllRoutesHaveLabels(id == kCmdShowRouteLabels);
      return true;
    case kCmdShowWaypointLabels:
    case kCmdHideWaypointLabels:
      ui.enabled = HasObjectOf(objects_, CObjWaypoint::kClass);
      ui.checked = AllMarksHaveHiddenNames(id == kCmdHideWaypointLabels);
      return true;
    case kCmdMarkPosition:
      ui.enabled = position_ && position_->valid;
      return true;
    case kCmdLock:
      ui.enabled = selected != nullptr;
      ui.checked = selected && selected->locked;
      return true;
    case kCmdRouteLock:
      ui.enabled = route != nullptr;
      ui.checked = route && route->locked;
      return true;
    case kCmdOpenFile: {
      const CObjWaypoint* mark = As<CObjWaypoint>(selected);
      ui.enabled = mark && !mark->link.empty();
      return true;
    }
    case kCmdSplitJoinRoute: {
      const CObjWaypoint* mark = As<CObjWaypoint>(selected);
      if (!mark) {
        ui.text = "Split/Join Route";
        ui.enabled = false;
      } else if (mark->IsInnerPointOfVisibleRoute()) {
        ui.text = "Split Routes";
        ui.enabled = !mark->locked;
      } else {
        ui.text = "Join Routes";
        CObjRoute* first = nullptr;
        CObjRoute* second = nullptr;
        ui.enabled = !mark->locked && mark->FindJoinableRoutes(first, second);
      }
      return true;
    }
    case kCmdSplitRoute: {
      const CObjRoute* selected_route = As<CObjRoute>(selected);
      ui.enabled =
          selected_route && !selected_route->locked && selected_route->CanSplitAtSelectedPoint();
      return true;
    }
    case kCmdDelete:
    case kCmdInsertWaypoint:
    case kCmdDropWaypoint:
    case kCmdReverseSelectedRoute:
    case kCmdRenumberWaypoints:
    case kCmdReducePoints:
    case kCmdRemoveSpike:
      ui.enabled = SelectedIsUnlocked();
      return true;
    case kCmdAddWaypointAfter:
    case kCmdAddWaypointBefore:
    case kCmdDeleteCurrentRoute:
    case kCmdReverseRoute:
      ui.enabled = CurrentRouteIsUnlocked();
      return true;
    case kCmdOptimizeWalking:
    case kCmdOptimizeCycling:
    case kCmdOptimizeDriving:
    case kCmdRouteToTrack:
      ui.enabled = As<CObjRoute>(selected) != nullptr;
      return true;
    case kCmdTrackToRoute:
    case kCmdGpsDemo:
      ui.enabled = As<CObjTrack>(selected) != nullptr;
      return true;
    case kCmdGotoMark:
    case kCmdGotoWaypoint:
    case kCmdFollowRoute: {
      const NavigationTarget target = NavigationTargetOf(id);
      ui.enabled = host_ && (target.mark || target.route);
      return true;
    }
    case kCmdFindPlace:
    case kCmdLoadGeoFile:
    case kCmdLoadTxtFile:
    case kCmdSendByEmail:
    case kCmdSyncToCloud:
    case kCmdWebHomePage:
    case kCmdWebSupport:
      ui.enabled = true;
      return true;
    case kCmdSendEmail:
      ui.enabled = selected != nullptr;
      return true;
    case kCmdIcons:
    case kCmdShowMatching:
    case kCmdHideMatching:
    case kCmdOffsetBy:
      ui.enabled = host_ != nullptr;
      return true;
    case kCmdImportGpsMarks:
    case kCmdImportGpsRoutes:
    case kCmdImportGpsTracks:
    case kCmdExportGpsMarks:
    case kCmdExportGpsRoutes:
    case kCmdExportGpsTracks:
    case kCmdSendToGps: {
      const auto [direction, kind] = GpsTransferOf(id);
      ui.enabled = host_ && host_->CanGpsTransfer(direction, kind);
      return true;
    }
    case kCmdElevationProfile:
      ui.enabled = host_ && (As<CObjRoute>(selected) || As<CObjTrack>(selected));
      return true;
    case kCmdRouteProfile:
    case kCmdRouteProperties:
    case kCmdRouteCard:
      ui.enabled = host_ && CObjRoute::Current() != nullptr;
      return true;
    case kCmdProperties:
      ui.enabled = host_ != nullptr;
      return true;
    case kCmdAltitudeProfile:
    case kCmdSpeedProfile:
    case kCmdHeartRateProfile:
      ui.enabled = host_ && As<CObjTrack>(selected) != nullptr;
      return true;
    case kCmdOtherProfile: {
      // Only a track with an extra series has that profile; the entry is named after it.
      const CObjTrack* track = As<CObjTrack>(selected);
      ui.enabled = host_ && track && !track->other_label.empty();
      if (track && !track->other_label.empty()) ui.text = track->other_label + " Profile";
      return true;
    }
    default:
      return false;
  }
}

bool COstrelDoc::IsCommandEnabled(int id) {
  CCmdUI ui;
  return OnUpdateCommand(id, ui) && ui.enabled;
}

bool COstrelDoc::IsCommandChecked(int id) {
  CCmdUI ui;
  return OnUpdateCommand(id, ui) && ui.checked;
}

bool COstrelDoc::OnCommand(int id) {
  CCmdUI ui;
  if (!OnUpdateCommand(id, ui)) return false;
  if (!ui.enabled) return true;  // known, but nothing to do now
  if (InRange(id, kCmdShowCategoryFirst, kCmdShowCategoryLast)) {
    OnShowCategory(static_cast<size_t>(id - kCmdShowCategoryFirst), true);
    return true;
  }
  if (InRange(id, kCmdHideCategoryFirst, kCmdHideCategoryLast)) {
    OnShowCategory(static_cast<size_t>(id - kCmdHideCategoryFirst), false);
    return true;
  }
  switch (id) {
    case kCmdUndo:
      OnUndo();
      break;
    case kCmdRedo:
      OnRedo();
      break;
    case kCmdImport:
      OnImport();
      break;
    case kCmdImportNmea:
      OnImportNmea();
      break;
    case kCmdExportAll:
      OnExport(false);
      break;
    case kCmdExportVisible:
      OnExport(true);
      break;
    case kCmdSaveOverlays:
      OnSaveOverlays();
      break;
    case kCmdSaveOverlaysAs:
      OnSaveOverlaysAs();
      break;
    case kCmdShowAll:
      OnShowAll(true);
      break;
    case kCmdHideAll:
      OnShowAll(false);
      break;
    case kCmdShowRouteLabels:
      OnShowRouteLabels(true);
      break;
    case kCmdHideRouteLabels:
      OnShowRouteLabels(false);
      break;
    case kCmdShowWaypointLabels:
      OnShowWaypointLabels(true);
      break;
    case kCmdHideWaypointLabels:
      OnShowWaypointLabels(false);
      break;
    case kCmdDeleteHidden:
      OnDeleteHidden();
      break;
    case kCmdDeleteAll:
      OnDeleteAll();
      break;
    case kCmdMapList:
      OnMapList();
      break;
    case kCmdShowMapOutlines:
      OnShowMapOutlines();
      break;
    case kCmdSyncViews:
      OnSyncViews();
      break;
    case kCmdLoadIndexFile:
      OnLoadIndexFile();
      break;
    case kCmdMarkPosition:
      OnMarkPosition();
      break;
    case kCmdDelete:
      OnDelete();
      break;
    case kCmdLock:
      OnLock();
      break;
    case kCmdRouteLock:
      OnRouteLock();
      break;
    case kCmdHide:
    case kCmdHideRoute:
    case kCmdHideTrack:
      OnHide();
      break;
    case kCmdOpenFile:
      OpenSelectedObjectLink(this);
      break;
    case kCmdSaveObjectAs:
      OnSaveObjectAs();
      break;
    case kCmdInsertWaypoint:
      OnInsertWaypoint();
      break;
    case kCmdAddWaypointAfter:
      OnAddWaypoint(true);
      break;
    case kCmdAddWaypointBefore:
      OnAddWaypoint(false);
      break;
    case kCmdDropWaypoint:
      OnDropWaypoint();
      break;
    case kCmdDeleteCurrentRoute:
      OnDeleteCurrentRoute();
      break;
    case kCmdSplitRoute:
      OnSplitRoute();
      break;
    case kCmdSplitJoinRoute:
      OnSplitJoinRoute();
      break;
    case kCmdReverseRoute:
    case kCmdReverseSelectedRoute:
      OnReverseRoute();
      break;
    case kCmdOptimizeWalking:
    case kCmdOptimizeCycling:
    case kCmdOptimizeDriving:
      if (CObjRoute* route = As<CObjRoute>(Selected())) {
        if (id == kCmdOptimizeWalking) ShowOptimizeRouteHintOnce();
        OptimiseRouteOnline(id == kCmdOptimizeWalking   ? "walking"
                            : id == kCmdOptimizeCycling ? "bicycling"
                                                        : "driving",
                            *route);
      }
      break;
    case kCmdRouteToTrack:
      if (CObjRoute* route = As<CObjRoute>(Selected())) route->ConvertToTrack();
      break;
    case kCmdTrackToRoute:
      if (CObjTrack* track = As<CObjTrack>(Selected())) track->ConvertToRoute();
      break;
    case kCmdGpsDemo:
      if (CObjTrack* track = As<CObjTrack>(Selected())) OnGpsDemo(*track);
      break;
    case kCmdFindPlace:
      OnFindPlace();
      break;
    case kCmdWebHomePage:
    case kCmdWebSupport:
      if (CAppCommon* app = CAppCommon::Instance())
        app->OpenURL(id == kCmdWebHomePage ? kHomePage : kSupportPage);
      break;
    case kCmdSendEmail:
    case kCmdSendByEmail:
      EmailObjectsAsGpx(Selected());
      break;
    case kCmdImportGpsMarks:
    case kCmdImportGpsRoutes:
    case kCmdImportGpsTracks:
    case kCmdExportGpsMarks:
    case kCmdExportGpsRoutes:
    case kCmdExportGpsTracks:
      OnGpsTransfer(id);
      break;
    case kCmdSendToGps:
      OnSendToGps();
      break;
    case kCmdSyncToCloud:
      CloudSyncUpload(Selected());
      break;
    case kCmdElevationProfile:
    case kCmdAltitudeProfile:
    case kCmdSpeedProfile:
    case kCmdHeartRateProfile:
    case kCmdOtherProfile:
      if (host_) host_->ShowProfile(id, Selected());
      break;
    case kCmdRouteProfile:
      if (host_) host_->ShowProfile(id, CObjRoute::Current());
      break;
    case kCmdProperties:
      ShowObjectPanes();
      break;
    case kCmdIcons:
      host_->ShowIconsDialog();
      break;
    case kCmdShowMatching:
    case kCmdHideMatching: {
      std::string name, category;
      const bool show = id == kCmdShowMatching;
      if (!host_->AskMatching(show, name, category)) break;
      const int matched = ShowMatching(show, name, category);
      FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconInformation, "Matched %d objects", matched);
      break;
    }
    case kCmdOffsetBy: {
      if (!As<CObjWaypoint>(Selected())) {
        FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconWarning, "%s",
                         "Select the mark to offset first.");
        break;
      }
      double distance = 0.0, bearing = 0.0;
      bool create_new = false;
      if (host_->AskOffset(distance, bearing, create_new))
        OffsetSelectedMark(distance, bearing, create_new);
      break;
    }
    case kCmdRouteProperties:
      if (host_ && CObjRoute::Current()) host_->ShowProperties(CObjRoute::Current());
      break;
    case kCmdRouteCard:
      if (host_ && CObjRoute::Current()) host_->ShowRouteCard(CObjRoute::Current());
      break;
    case kCmdLoadGeoFile:
    case kCmdLoadTxtFile:
      OnLoadPlaceList(id == kCmdLoadGeoFile);
      break;
    case kCmdGotoMark:
    case kCmdGotoWaypoint:
    case kCmdFollowRoute:
      if (const NavigationTarget target = NavigationTargetOf(id); host_ && (target.mark || target.route))
        host_->ShowNavigationPanes(target.mark, target.route);
      break;
    case kCmdRenumberWaypoints:
      OnRenumberWaypoints();
      break;
    case kCmdReducePoints:
      OnReducePoints();
      break;
    case kCmdRemoveSpike:
      OnRemoveSpike();
      break;
    default:
      break;
  }
  return true;
}

// ---- Helpers ----

COstrelObject* COstrelDoc::Selected() const { return COstrelObject::GetSelected(this); }

// What the navigation panes are given for the selection: a mark is gone to, a route followed
// (its next waypoint is gone to in turn). Goto takes the selected mark, and for a selected route
// follows it; Follow route takes the route of the selection (the route, or the current route
// whose point is selected), and for a mark of no such route goes to the mark. Other objects
// give nothing to navigate to.
COstrelDoc::NavigationTarget COstrelDoc::NavigationTargetOf(int command) {
  CObjWaypoint* mark = As<CObjWaypoint>(Selected());
  CObjRoute* route = CObjRoute::FromSelection(this);
  if (command == kCmdFollowRoute) return route ? NavigationTarget{nullptr, route} : NavigationTarget{mark, nullptr};
  return mark ? NavigationTarget{mark, nullptr} : NavigationTarget{nullptr, route};
}

bool COstrelDoc::SelectedIsUnlocked() const {
  const COstrelObject* selected = Selected();
  return selected && !selected->locked;
}

bool COstrelDoc::CurrentRouteIsUnlocked() const {
  const CObjRoute* route = CObjRoute::FromSelection(this);
  return route && !route->locked;
}

bool COstrelDoc::AllRoutesHaveLabels(bool on) const {
  return std::all_of(objects_.begin(), objects_.end(), [on](COstrelObject* object) {
    const CObjRoute* route = As<CObjRoute>(object);
    return !route || route->leg_labels == on;
  });
}

bool COstrelDoc::AllMarksHaveHiddenNames(bool hidden) const {
  return std::all_of(objects_.begin(), objects_.end(), [hidden](COstrelObject* object) {
    const CObjWaypoint* mark = As<CObjWaypoint>(object);
    return !mark || (mark->label_mode == kNameHidden) == hidden;
  });
}

void COstrelDoc::ExportObjects(const ObjectList& objects) {
  int filter = StoredFileTypeIndex(kExportFilterCount);
  const std::optional<std::string> path =
      vd::ui::GetSaveFilePath(main_window_, "Export", kExportFilter, "gpx", "", &filter);
  if (!path) return;
  StoreFileTypeIndex(filter);
  const std::string ending = FileEnding(*path);
  std::string error;
  if (ending == "vdo") {
    if (!SaveObjectsToOverlayFile(*path, objects, false)) ReportOverlayWriteFailure(*path);
  } else if (ending == "csv") {
    ExportTextFile(*path, objects, &error);
  } else if (ending == "gpx" || ending == "loc") {
    ExportXmlTrackFile(*path, objects, &error);
  } else if (ending == "shp") {
    ExportShapefiles(*path, objects, host_ ? host_->ShapefileKindChooser() : ShapeKindChooser(),
                     &error);
  } else {
    FormatMessageBox(vd::ui::kMbIconError, "%s", "Unknown file type");
  }
  if (!error.empty()) FormatMessageBox(vd::ui::kMbIconError, "%s", error.c_str());
}

// ---- Files ----

void COstrelDoc::OnUndo() {
  CCurrentOwnerScope owner(this);
  Undo(objects_);
}

void COstrelDoc::OnRedo() {
  CCurrentOwnerScope owner(this);
  Redo(objects_);
}

void COstrelDoc::OnImport() {
  int filter = StoredFileTypeIndex(kImportFilterCount);
  const std::optional<std::string> path =
      vd::ui::GetOpenFilePath(main_window_, "Import", kImportFilter, "", &filter);
  if (!path) return;
  StoreFileTypeIndex(filter);
  ImportOverlayFile(*path);
}

void COstrelDoc::ShowOptimizeRouteHintOnce() {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  if (profile.GetInt(vd::kSettingsSection, kOptimizeRouteHintSetting).value_or(0) != 0) return;
  FormatMessageBox(vd::ui::kMbIconInformation, "%s", kOptimizeRouteHint);
  profile.SetInt(vd::kSettingsSection, kOptimizeRouteHintSetting, 1);
}

void COstrelDoc::OnGpsDemo(CObjTrack& track) {
  const CAppCommon* app = CAppCommon::Instance();
  const std::string demo = (app ? app->temp_folder : vd::os::TempFolder()) + "/gps_demo.txt";
  // Written before the GPS input stops, so that a write the user cancels, or one that fails,
  // leaves the input running as it was; the file is replaced only once whole, so a replay of
  // an earlier demo goes on reading the old one meanwhile.
  bool stopped = false;
  bool written = false;
  {
    std::unique_ptr<CProgress> window;
    // The temporary folder's file: a link planted at its name is replaced, not written through.
    written = track.WriteNmeaFile(
        demo, vd::os::Links::kReplace,
        WatchForStop(ReadingProgress(window, "Writing the GPS demo file..."), stopped));
  }
  if (!written) {
    if (!stopped) {
      MessageBoxPrintf(main_window_, vd::ui::kMbIconError, "Failed to write the GPS demo file %s",
                       demo.c_str());
    }
    return;
  }
  if (host_) host_->StopGPS();
  // The replay is not recorded into the track it comes from.
  if (gps_track_ == &track) gps_track_ = nullptr;
  track.visible = false;
  track.NotifyChange(kChangeEditState);
  if (position_) position_->ClearTrail();
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  GPSParams params = LoadGPSParams(profile);
  if (params.saved_type == 0 && params.port != demo) {
    params.saved_type = params.type;
    params.saved_port = params.port;
  }
  params.port = demo;
  params.type = 1;
  if (host_) host_->StartGPS(params);
}

// Direction and kind of a GPS transfer command.
std::pair<int, int> COstrelDoc::GpsTransferOf(int command) {
  switch (command) {
    case kCmdImportGpsMarks: return {0, 2};
    case kCmdImportGpsRoutes: return {0, 3};
    case kCmdImportGpsTracks: return {0, 4};
    case kCmdExportGpsMarks: return {1, 2};
    case kCmdExportGpsTracks: return {1, 4};
    default: return {1, 3};  // Export Routes, Send to GPS
  }
}

void COstrelDoc::OnGpsTransfer(int command) {
  if (!host_) return;
  const auto [direction, kind] = GpsTransferOf(command);
  if (direction == 0) {
    CCurrentOwnerScope owner(this);
    if (host_->GpsTransfer(0, kind, objects_) == 0) host_->ShowGpsError();
    UpdateAllViews(nullptr, 0, nullptr);
    SaveModified();
  } else if (host_->GpsTransfer(1, kind, objects_) == 0) {
    host_->ShowGpsError();
  }
}

void COstrelDoc::OnSendToGps() {
  COstrelObject* object = Selected();
  if (!host_ || !object) return;
  int kind = -1;
  if (As<CObjWaypoint>(object)) {
    kind = 2;
    if (CObjRoute* route = CObjRoute::Current()) {
      object = route;
      kind = 3;
    }
  } else if (As<CObjRoute>(object)) {
    kind = 3;
  } else if (As<CObjTrack>(object)) {
    kind = 4;
  }
  if (kind < 0) return;
  ObjectList one{object};
  if (host_->GpsTransfer(1, kind, one) == 0) host_->ShowGpsError();
}

void COstrelDoc::OnImportNmea() {
  const std::optional<std::string> path =
      vd::ui::GetOpenFilePath(main_window_, "Import NMEA", kNmeaFilter);
  if (path) ImportNmeaFile(*path);
}

void COstrelDoc::OnExport(bool visible_only) {
  ObjectList objects;
  CollectObjectsOfClass(objects_, objects, visible_only, nullptr);
  ExportObjects(objects);
}

void COstrelDoc::OnSaveOverlays() {
  if (!SaveUserData(user_data_path_, false)) ReportOverlayWriteFailure(user_data_path_);
}

void COstrelDoc::OnSaveOverlaysAs() {
  // A copy elsewhere: later saves still go to the user-data file, which the next start loads.
  std::string path = user_data_path_;
  SaveUserData(path, true);
}

void COstrelDoc::OnLoadIndexFile() {
  const std::optional<std::string> path =
      vd::ui::GetOpenFilePath(main_window_, "Open", kIndexFilter, search_index_path_);
  if (path) search_index_path_ = *path;
}

void COstrelDoc::OnLoadPlaceList(bool tab_separated) {
  const std::optional<std::string> path = vd::ui::GetOpenFilePath(
      main_window_, "Open", tab_separated ? kGeoFilter : kTextFilter);
  if (!path) return;
  const CAppCommon* app = CAppCommon::Instance();
  search_index_path_ = (app ? app->data_folder : vd::os::TempFolder()) + "/indexdata.vdq";
  if (tab_separated) {
    BuildGeoNameDatabaseTab(*path, search_index_path_);
  } else {
    BuildGeoNameDatabaseCsv(*path, search_index_path_);
  }
}

void COstrelDoc::OnFindPlace() {
  if (!host_) return;
  // The place names of the chart in view come first: from beside it, or once from the
  // server (then kept for offline use).
  CDocView* chart_view = GetGPSView();
  if (!chart_view || chart_view->GetChartPath().empty()) {
    chart_view = nullptr;
    for (CDocView* view : views_) {
      if (!view->GetChartPath().empty()) {
        chart_view = view;
        break;
      }
    }
  }
  CAppCommon* app = CAppCommon::Instance();
  if (chart_view && app) {
    const std::string chart = chart_view->GetChartPath();
    const std::string found = app->DownloadOfflineData(chart, GetPathTitle(chart), "vdq", false);
    if (IsNotFolder(found)) search_index_path_ = found;
  }
  double lat = 0.0, lon = 0.0;
  if (CDocView* view = GetGPSView()) {
    CViewPlacement placement;
    if (view->GetPlacement(placement)) {
      lat = placement.lat;
      lon = placement.lon;
    }
  }
  std::string name;
  bool create_mark = false;
  if (!host_->FindPlace(search_index_path_, lat, lon, name, create_mark)) return;
  OpenBestChartAt(lat, lon, 0.0, 1.0, 1);
  if (!create_mark) return;
  CCurrentOwnerScope owner(this);
  auto* mark = new CObjWaypoint;
  mark->AddRef();
  objects_.push_back(mark);
  mark->position = {lat, lon};
  mark->being_placed = false;
  mark->name = mark->short_name = name;
  mark->SetCategory("Found locations");
  mark->locked = true;
  mark->Select(true);
  mark->NotifyChange(kChangeModified);
}

// ---- Showing and hiding ----

void COstrelDoc::OnShowAll(bool show) {
  SetVisibleWithUndo(show, objects_);
  show_chart_outlines_ = show;  // for this run only
  UpdateAllViews(nullptr, kChangeAdded, nullptr);
}

void COstrelDoc::OnShowCategory(size_t index, bool show) {
  const std::vector<CCategory*>& categories = CCategory::All();
  if (categories.empty()) return;
  ObjectList members;
  CollectObjectsInCategory(objects_, members, categories[std::min(index, categories.size() - 1)]);
  SetVisibleWithUndo(show, members);
  UpdateAllViews(nullptr, kChangeAdded, nullptr);
}

void COstrelDoc::OnShowRouteLabels(bool show) {
  for (COstrelObject* object : objects_) {
    if (CObjRoute* route = As<CObjRoute>(object)) route->leg_labels = show;
  }
  UpdateAllViews(nullptr, kChangeAdded, nullptr);
}

void COstrelDoc::OnShowWaypointLabels(bool show) {
  for (COstrelObject* object : objects_) {
    CObjWaypoint* mark = As<CObjWaypoint>(object);
    if (!mark) continue;
    if (!show) {
      mark->label_mode = kNameHidden;
    } else if (mark->label_mode == kNameHidden) {
      mark->label_mode = kNameShown;
    }
  }
  UpdateAllViews(nullptr, kChangeAdded, nullptr);
}

void COstrelDoc::OnShowMapOutlines() {
  show_chart_outlines_ = !show_chart_outlines_;
  for (COstrelObject* object : objects_) {
    if (object->IsKindOf(COldChartOutline::kClass)) object->SetVisible(show_chart_outlines_);
  }
  UpdateAllViews(nullptr, kChangeAdded, nullptr);
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, kShowChartsSetting,
                              show_chart_outlines_ ? 1 : 0);
}

// ---- Deleting ----

void COstrelDoc::OnDeleteHidden() {
  if (!AskYesNo("Delete all hidden marks, routes and tracks...\nAre you sure?")) return;
  COstrelObject::SetNotificationsEnabled(false);
  ObjectList hidden;
  for (COstrelObject* object : objects_) {
    if (!object->visible && !object->IsKindOf(COldChartOutline::kClass) && object->MayBeHidden()) {
      hidden.push_back(object);
    }
  }
  SaveUndoStep(hidden);
  DeleteMarkedObjects(hidden);
}

void COstrelDoc::OnDeleteAll() {
  if (!AskYesNo("Delete all Marks, Routes, Tracks...\nAre you sure?")) return;
  SaveUndoStep(objects_);
  COstrelObject::SetNotificationsEnabled(false);
  ObjectList doomed;
  for (COstrelObject* object : objects_) {
    if (!object->IsKindOf(COldChartOutline::kClass)) doomed.push_back(object);
  }
  user_data_path_.clear();
  DeleteMarkedObjects(doomed);
}

// ---- Chart windows ----

void COstrelDoc::OnMapList() {
  std::string path;
  bool new_window = false;
  if (!host_ || !host_->ChooseMap(path, new_window) || path.empty()) return;
  if (new_window) {
    OpenChartInNewWindow(path);
  } else {
    OpenChartView(path, true);
  }
}

void COstrelDoc::OnSyncViews() {
  sync_views_ = !sync_views_;
  if (!sync_views_ || views_.empty()) return;
  CDocView* first = views_.front();
  CViewPlacement place;
  if (!first->GetPlacement(place) || place.chart_path.empty()) return;
  if (views_.size() == 1) {
    std::string chart = place.chart_path;
    const COldChartOutline* outline = FindChartOutline(chart);
    if (outline && outline->IsChunkStore()) {
      const COldChartOutline* best = BestOutlineAt(place.lat, place.lon, place.scale, chart);
      if (!best) return;
      chart = best->chart_path;
    }
    CViewPlacement second;
    second.chart_path = chart;
    second.window.show_cmd = kShowNormal;
    pending_placement_ = second;
    GetFreeChartView();
    pending_placement_.reset();
  }
  if (host_) host_->TileFrames();
  SyncViewsTo(first, place.lat, place.lon);
}

// ---- The GPS position ----

void COstrelDoc::OnMarkPosition() {
  if (!position_ || !position_->valid) return;
  const GeoPoint where = position_->position;
  const int32_t time = position_->time;
  CCurrentOwnerScope owner(this);
  CObjWaypoint* mark = Insert(new CObjWaypoint, false);
  mark->position = {where.lat, where.lon};
  if (time != 0) {
    if (const CAppCommon* app = CAppCommon::Instance()) {
      mark->name = "Position at " + app->FormatDateTime(time, true);
    }
  }
  mark->being_placed = false;
  mark->SetLocked(true);
  mark->NotifyChange(kChangeModified);
}

// ---- The selected object ----

void COstrelDoc::OnDelete() {
  if (COstrelObject* selected = Selected()) selected->Delete(true);
}

void COstrelDoc::OnLock() {
  if (COstrelObject* selected = Selected()) selected->SetLocked(!selected->locked);
}

void COstrelDoc::OnRouteLock() {
  if (CObjRoute* route = CObjRoute::FromSelection(this)) route->SetLocked(!route->locked);
}

void COstrelDoc::OnHide() {
  COstrelObject* selected = Selected();
  if (!selected) return;
  SaveUndoForObject(*selected);
  selected->SetVisible(false);
  selected->NotifyChange(kChangeEditState);
}

void OpenSelectedObjectLink(COstrelDoc* document) {
  if (document == nullptr) return;
  if (CObjWaypoint* mark = As<CObjWaypoint>(COstrelObject::GetSelected(document))) mark->OpenLink();
}

void COstrelDoc::OnSaveObjectAs() {
  COstrelObject* selected = Selected();
  if (!selected) return;
  ObjectList objects;
  selected->CollectForUndo(objects);
  ExportObjects(objects);
}

// ---- Routes ----

void COstrelDoc::OnInsertWaypoint() {
  if (CObjRoute* route = As<CObjRoute>(Selected())) route->StartInsertAtSelected();
}

void COstrelDoc::OnAddWaypoint(bool after) {
  CObjWaypoint* mark = As<CObjWaypoint>(Selected());
  if (!mark) return;
  if (after) {
    mark->InsertAfterInCurrentRoute();
  } else {
    mark->InsertBeforeInCurrentRoute();
  }
}

void COstrelDoc::OnDropWaypoint() {
  CObjRoute* route = CObjRoute::FromSelection(this);
  CObjWaypoint* mark = As<CObjWaypoint>(Selected());
  if (route && mark) route->RemoveWaypoint(mark);
}

void COstrelDoc::OnDeleteCurrentRoute() { CObjWaypoint::DeleteCurrentRoute(true); }

void COstrelDoc::OnSplitRoute() {
  if (CObjRoute* route = As<CObjRoute>(Selected())) route->SplitAtSelectedPoint();
}

void COstrelDoc::OnSplitJoinRoute() {
  CObjWaypoint* mark = As<CObjWaypoint>(Selected());
  if (!mark) return;
  if (mark->IsInnerPointOfVisibleRoute()) {
    mark->SplitRoutesHere();
    return;
  }
  CObjRoute* first = nullptr;
  CObjRoute* second = nullptr;
  if (mark->FindJoinableRoutes(first, second)) first->Join(second);
}

void COstrelDoc::OnReverseRoute() {
  if (CObjRoute* route = CObjRoute::FromSelection(this)) route->Reverse();
}

void COstrelDoc::OnRenumberWaypoints() {
  if (CObjRoute* route = As<CObjRoute>(Selected())) route->RenumberWaypoints();
}

// ---- Tracks ----

void COstrelDoc::OnReducePoints() {
  CObjTrack* track = As<CObjTrack>(Selected());
  if (!track) return;
  track->Thin();
  track->NotifyChange(kChangeModified);
}

void COstrelDoc::OnRemoveSpike() {
  if (CObjTrack* track = As<CObjTrack>(Selected())) track->DeleteSpike();
}

std::string NormaliseMatchPattern(const std::string& pattern) {
  std::string out = pattern.empty() ? "*" : pattern;
  if (out.back() != '$' && out.back() != '*') out += '*';
  if (out.front() != '^' && out.front() != '*') out.insert(out.begin(), '*');
  return out;
}

bool MatchesPattern(const std::string& text, const std::string& pattern) {
  std::string_view p = pattern;
  // The matcher takes the whole text: the anchors only say so.
  if (!p.empty() && p.front() == '^') p.remove_prefix(1);
  if (!p.empty() && p.back() == '$') p.remove_suffix(1);
  return WildcardMatchNoCase(text, p);
}

int COstrelDoc::ShowMatching(bool show, const std::string& name, const std::string& category) {
  ObjectList matched;
  for (COstrelObject* object : objects_) {
    if (MatchesPattern(object->name, name) &&
        MatchesPattern(CCategory::GetNameOr(object->category()), category))
      matched.push_back(object);
  }
  if (!matched.empty()) SetVisibleWithUndo(show, matched);
  UpdateAllViews(nullptr, kChangeDisplay, nullptr);
  return static_cast<int>(matched.size());
}

bool COstrelDoc::OffsetSelectedMark(double distance_nm, double bearing_true, bool create_new) {
  CObjWaypoint* mark = As<CObjWaypoint>(Selected());
  if (!mark) return false;
  double lat = mark->position.lat, lon = mark->position.lon;
  OffsetPointByBearing(lat, lon, distance_nm, static_cast<float>(bearing_true));
  if (!create_new) {
    SaveUndoForObject(*mark);
    mark->position = {lat, lon};
    mark->NotifyRoutes(kChangeModified);
    mark->NotifyChange(kChangeModified);
    return true;
  }
  CObjRoute* route = CObjRoute::Current();
  const bool extends_route = route && !route->points().empty() && route->points().back() == mark;
  const std::string name =
      extends_route ? IncrementTrailingNumber(mark->name) : mark->name + "-offset";
  CObjWaypoint* made = NewMark();
  made->Set(lat, lon, name, "", mark->symbol, mark->label_mode);
  made->name = name;
  made->colour = mark->colour;
  made->SetCategory(mark->category());
  made->NotifyChange(kChangeCategory);
  if (extends_route) {
    route->LinkWaypoint(made);
    route->EndEditing();
    route->NotifyChange(kChangeModified);
  }
  made->Select(true);
  return true;
}
