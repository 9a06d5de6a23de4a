#pragma once
// The chart program's one document. It holds one list of overlay objects in which the chart
// outlines (the chart library) and the user's marks, routes, tracks, notes and the GPS position
// live together, and stores it in two files:
//   - the configuration document ".vdn": the chart outlines, the path of the user-data file,
//     two view flags and the placement of the first chart window (layout below);
//   - the user-data file (data folder + "/userdata-Vardune-6.vdo"): every other object, in the
//     overlay file format (overlays/overlay_file.h).
// Both saves keep the previous file as a backup ("backup-Vardune-6.vdn" beside the .vdn,
// "backup.vdo" beside the user-data file); a damaged file is moved aside to its own name +
// ".corrupt" and the backup takes its place.
//
// The document is also the hub through which the program reaches objects and chart windows:
// it creates objects, keeps the GPS position object and the GPS track, opens chart views on a
// file or at a place, opens files and activity links by type, and carries the commands of the
// Overlay, Edit, Route, Track, Search and GPS menus. It talks to its chart views only through
// CDocView and to the frame window only through CChartFrameHost (corvex/chart_view_link.h).
//
// Configuration document layout (the overlay archive's encodings, little-endian):
//   int32 version                 8 when written; 7 and 8 are read
//   object list                   count, then the chart outlines as archived objects, their
//                                 class named "CChartOutline"
//   string user-data path         stored but not used when reading
//   byte show-alternate-view-outline, byte read-out-at-cursor     (version 8 only)
//   view records                  each: int32 0, chart path (string), latitude, longitude,
//                                 scale (doubles), lock, reserved (int32), then the frame's
//                                 flags, show state, minimised x, y, maximised x, y and normal
//                                 rectangle left, top, right, bottom (int32 each)
//   int32 2                       the end; any other tag before it is skipped
//
// User-interface thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "overlays/outline/old_chart_outline.h"
#include "app/gps_position_info.h"
#include "app/shell_services.h"
#include "corvex/chart_view_link.h"
#include "corvex/command_target.h"
#include "corvex/ostrel_view.h"
#include "overlays/exchange/exchange_read.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_track.h"

class COverlayArchive;
class CProgress;
class CObjRoute;
class CObjText;
class CObjWaypoint;
class QWidget;

// "Failed to open export file: <path>" in an error box.
void ReportOverlayWriteFailure(const std::string& path);

// A show/hide pattern as the matching dialog hands it on: empty becomes "*"; '*' is added at
// the end unless it ends in '$' or '*', and at the start unless it starts with '^' or '*'.
std::string NormaliseMatchPattern(const std::string& pattern);
// Whether a text matches a normalised pattern ('^' and '$' anchor it; letters without regard
// to case).
bool MatchesPattern(const std::string& text, const std::string& pattern);

// A window besides the chart views that follows the document's change hints (the overlay
// explorer, the property windows). It leaves the document before it is destroyed.
class CDocHintListener {
 public:
  virtual ~CDocHintListener() = default;
  // The hint of UpdateAllViews, after the chart views had it.
  virtual void OnDocumentHint(int hint, COstrelObject* object) = 0;
  // Every object is about to leave the document (it is emptied or destroyed).
  virtual void OnDocumentCleared() = 0;
  // The document is destroyed: it is not to be called any more.
  virtual void OnDocumentDestroyed() = 0;
};

class COstrelDoc : public COstrelDocBase,
                   public CTrackDocument,
                   public CCurrentPositionDocument,
                   public CChartOutlineDocument,
                   public CViewDocument,
                   public CCommandTarget {
 public:
  static constexpr int32_t kWrittenVersion = 8;
  static constexpr int32_t kOldestVersion = 7;
  static constexpr char kConfigBackupName[] = "backup-Vardune-6.vdn";
  // The setting holding the path of the configuration document.
  static constexpr char kConfigPathSetting[] = "default_vdn_file_6";

  // Reads the settings "show_charts" and "index_file"; the folders come from the application
  // object (CAppCommon::Instance()).
  COstrelDoc();
  // Writes "index_file", releases every object and clears the icon library.
  ~COstrelDoc() override;
  COstrelDoc(const COstrelDoc&) = delete;
  COstrelDoc& operator=(const COstrelDoc&) = delete;

  // The frame window that makes chart frames (null: no chart window can be opened) and the
  // owner of the document's dialogs and message boxes.
  void SetFrameHost(CChartFrameHost* host) { host_ = host; }
  CChartFrameHost* frame_host() const { return host_; }
  void SetMainWindow(QWidget* window) { main_window_ = window; }

  // ---- Configuration document and user-data file ----

  // Both directions of the configuration document. Loading reads the whole file before
  // anything of the document changes; a malformed file or a version outside 7..8 throws
  // COverlayArchiveException and leaves the document as it was. Loading then replaces the
  // object list with the file's outlines whose chart files can be read (or rescans the chart
  // folders when "chart_dirs"/"update" asks so), loads the user-data file of the data folder
  // (the stored path is not used; older file names are migrated) and asks for a chart view at
  // the first view record. Storing also saves the user-data file.
  void Serialize(COverlayArchive& archive);
  // A document without file: the backup beside the configured path when it opens, else an
  // empty document (chart views maximised) holding the user-data file. True.
  bool OnNewDocument();
  // Opens the file; when it fails, its backup is restored (the damaged file kept as
  // "<path>.corrupt") and opened, and failing that the document starts new. A file that
  // cannot be read and has no readable backup is kept as "<path>.corrupt" too, and the user
  // is told before the new document starts. True.
  bool OnOpenDocument(const std::string& path);
  // Writes the setting "default_vdn_file_6", copies the old file to the backup and writes the
  // file in full or not at all; also saves the user-data file. True when both were written.
  bool OnSaveDocument(const std::string& path);
  // Saves to the document's path without asking. When that fails the user is asked "Quit
  // anyway?": false on No (the caller then does not close). True without a path.
  bool SaveModified();

  // Adds the objects of an overlay file: appended to the list, or with merge added as an
  // import (duplicates checked) and shown on a chart. ask: an open-file dialog first (cancel
  // gives false). An empty path gives true. The user-data file itself is restored from its
  // backup when it can't be read.
  bool LoadUserData(const std::string& path, bool ask, bool merge);
  // Writes the objects that are not chart outlines and whose names are not empty and do not
  // begin with ':' (transient objects). An empty path means the user-data file, which is first
  // copied to its backup. ask: a save dialog first (cancel gives false), path then holds the
  // chosen file, and a failed write is reported to the user.
  bool SaveUserData(std::string& path, bool ask);
  // Saves objects to a file the user names, in the format of its extension.
  void SaveObjectList(const ObjectList& objects) { ExportObjects(objects); }

  void SetModifiedFlag(bool modified = true) { modified_ = modified; }
  bool IsModified() const { return modified_; }
  const std::string& GetPathName() const { return path_name_; }
  const std::string& user_data_path() const { return user_data_path_; }
  const std::string& search_index_path() const { return search_index_path_; }
  void set_search_index_path(std::string path) { search_index_path_ = std::move(path); }

  // The user-data file of the data folder.
  static std::string StandardUserDataPath();

  // ---- Flags ----
  // Set for a new document: each chart view maximises its frame when it first shows.
  bool maximise_views() const { return maximise_views_; }
  // Linked chart views follow each other (Sync Views).
  bool sync_views() const { return sync_views_; }
  void set_sync_views(bool on) { sync_views_ = on; }
  // Chart outlines are drawn (setting "show_charts").
  bool show_chart_outlines() const { return show_chart_outlines_; }
  // Stored in the configuration document; toggled by the chart views.
  bool show_alt_view_outline() const { return show_alt_view_outline_; }
  void set_show_alt_view_outline(bool on) { show_alt_view_outline_ = on; }
  bool read_out_at_cursor() const { return read_out_at_cursor_; }
  void set_read_out_at_cursor(bool on) { read_out_at_cursor_ = on; }
  // Where a chart view being made opens its chart; null except while one is made.
  const CViewPlacement* pending_placement() const {
    return pending_placement_ ? &*pending_placement_ : nullptr;
  }

  // ---- CViewDocument: what the chart views ask ----
  const CViewPlacement* GetPendingPlacement() const override { return pending_placement(); }
  bool MaximiseViews() const override { return maximise_views(); }
  std::vector<CDocView*> GetChartViews() const override { return views_; }
  void ShowView(CDocView* view) override {
    if (host_) host_->ShowFrameOf(view);
  }
  bool SyncViews() const override { return sync_views(); }

  // ---- COstrelDocBase ----
  // Every chart view but the sender (the data panes are told by the object itself).
  void UpdateAllViews(COstrelViewBase* sender, int hint, COstrelObject* object) override;
  ObjectList* GetObjectList() override { return &objects_; }
  // The frame's overlay explorer, then the selected object's property window.
  void ShowObjectPanes() override;
  // An overlay export through the save dialog to the writer the file's ending names.
  void ExportObjects(const ObjectList& objects);
  // The note on trail data before a user's first walking optimisation.
  void ShowOptimizeRouteHintOnce();
  // Every object whose name and category name match the normalised patterns is shown (hidden),
  // all in one undo step; the number matched.
  int ShowMatching(bool show, const std::string& name, const std::string& category);
  // The selected mark moved by the distance along the bearing, or a new mark made there (see
  // the Offset by command); false without a selected mark.
  bool OffsetSelectedMark(double distance_nm, double bearing_true, bool create_new);
  // Windows that follow the hints besides the chart views (each once).
  void AddHintListener(CDocHintListener* listener);
  void RemoveHintListener(CDocHintListener* listener);
  // The fly-through object forgets a destroyed object.
  void ForgetCurrentObject(COstrelObject* object) override;
  // The chart outline scoring best for the position (COldChartOutline::ScaleMatch with the
  // scale; the first of equals; none at 0) opens at factor x scale (scale 0: the chart's
  // own) through OpenChartViewAt.
  void OpenBestChartAt(double lat, double lon, double scale, double factor, int mode) override;
  // Every chart view showing the file (or its '\' spelling) reloads it.
  void RefreshViewsOfChartFile(const std::string& path) override;
  // The map-data downloads let go of a chart in this document's views and reopen it after.
  void InstallMapDataHooks();
  void RemoveMapDataHooks();
  void RefreshViewsOfChart(const COldChartOutline& outline);

  // ---- Chart views ----
  // Chart views join when made and leave when destroyed.
  void AddView(CDocView* view);
  void RemoveView(CDocView* view);
  const std::vector<CDocView*>& views() const { return views_; }
  // The view that follows the GPS position; the view sets it. Null when none.
  void SetGPSView(CDocView* view) { gps_view_ = view; }
  CDocView* GetGPSView() const { return gps_view_; }

  // The view showing the chart file. Otherwise, with create, the last chart view opens it, or
  // without chart views a new maximised frame does (GetFreeChartView). Null when there is
  // none or the chart can't be opened.
  CDocView* OpenChartView(const std::string& path, bool create);
  // The first chart view without a chart (its frame shown; a pending placement is opened in
  // it), else a new chart frame's view; null when none can be made.
  CDocView* GetFreeChartView();
  // A new chart frame showing the chart.
  CDocView* OpenChartInNewWindow(const std::string& path);
  // OpenChartView of the outline's chart, centred on the position at the scale.
  void OpenChartViewAt(COldChartOutline& outline, double lat, double lon, double scale,
                       int mode) override;
  // Imports the objects (duplicates checked; the list is emptied) and opens the best chart on
  // their extent.
  void AddObjectsAndShow(ObjectList& list);
  void OpenMapShop(const std::vector<GeoPoint>& area, const std::string& chart_path,
                   bool download_area) override;
  // Every other chart view that is not locked onto the GPS is centred on the position.
  void SyncViewsTo(CDocView* source, double lat, double lon) override;
  // (0, 0) hides the markers.
  void SetPositionMarkerInViews(double lat, double lon);

  // ---- Objects ----
  // Each is made with this document as owner, put in the list (marks at the tail; routes,
  // tracks and notes at the head) and selected. A new route gets a unique short name of at
  // most 10 characters, which also becomes its name; a new track starts in hand drawing.
  CObjWaypoint* NewMark();
  CObjRoute* NewRoute();
  CObjTrack* NewTrack();
  CObjText* NewText();
  // The own vessel: the list's first position object named as the setting "Vessel" says, else
  // a new one appended.
  CObjCurrentPosition* GetCurrentPositionObject();
  // The own vessel takes the fix; a valid position fix is recorded into the GPS track with the
  // track's interval, distance, partition and point-limit rules.
  void UpdateGPSPosition(const GPS_position_info& record);
  // Among visible, unlocked routes of at least 2 points, the one whose last (first) point is
  // nearest the position and nearer than best_nm, which is lowered to it; null when none is.
  CObjRoute* FindRouteEndNearest(double lat, double lon, double& best_nm) override;
  CObjRoute* FindRouteStartNearest(double lat, double lon, double& best_nm) override;
  // The route or track the last 3D fly-through was started for (not owned; may be null).
  COstrelObject* fly_through_object() const { return fly_through_object_; }
  void set_fly_through_object(COstrelObject* object) { fly_through_object_ = object; }

  // CTrackDocument: the GPS track, made and appended when there is none.
  CObjTrack* PeekGPSTrack() const override { return gps_track_; }
  void SetGPSTrack(CObjTrack* track) override { gps_track_ = track; }
  CObjTrack* GetGPSTrack() override;
  // CCurrentPositionDocument
  CObjCurrentPosition* PeekCurrentPosition() const override { return position_; }
  void SetCurrentPosition(CObjCurrentPosition* position) override { position_ = position; }

  // ---- Charts and files ----
  // Scans the chart folders of the setting "chart_dirs" into the list; every outline then
  // takes the show-chart-outlines flag as its visibility. first_load loads every map now
  // ("Loading maps..."); rebuild makes the conversions again.
  void RescanChartFolders(bool first_load = false, bool rebuild = false);
  // The outline whose chart file or source file is the path ('\' read as '/'); null when none.
  COldChartOutline* FindChartOutline(const std::string& path) const;
  // FindChartOutline, else the chart file added to the library; null when it can't be read.
  // Packages (".vdpkg") can't be installed by this version: reported, null.
  COldChartOutline* FindOrAddChartOutline(const std::string& path) override;
  // A path with a query is an activity link; otherwise by the name's ending: NMEA logs, charts
  // (opened in a view), search indexes, and overlay files of every other kind.
  void OpenFileByType(const std::string& path);
  // ".vdo" merged through LoadUserData; other kinds by their readers; unknown endings are
  // reported as "Unknown file type: <ending>".
  void ImportOverlayFile(const std::string& path);
  // Reads an NMEA log as a track (AddObjectsAndShow).
  void ImportNmeaFile(const std::string& path);
  // Runs an exchange reader of path on a list owned by this document under a progress window,
  // adds what it read (AddObjectsAndShow) and shows its error, if any. When the user cancels
  // in the progress window, what was read is dropped and the document stays as it was.
  void ImportIntoList(const std::string& path,
                      const std::function<ExchangeRead(ObjectList&, const ProgressFn&)>& read);
  // The progress of reading a file, shown in a window over the main window made at the first
  // report (into window, which the caller keeps while the reading lasts), saying text; Cancel
  // there stops the reading. Empty without a main window.
  ProgressFn ReadingProgress(std::unique_ptr<CProgress>& window, const std::string& text) const;
  // "fetch"/"open": query is the http(s) address of a chart; the part after "/KVX/" (else the
  // file name) names the file below the map store, which is opened, downloaded first when
  // missing or for "fetch". An address leaving the map store, or not of a ".qct" chart, is not
  // understood; packages are reported as not available. "view" (lat, lon, scale) opens the
  // best chart there; "mark" (lat, lon, name, icon, color, category, link) also adds a mark,
  // whose link is kept only when it is a web address or an existing document that is not a
  // program. Anything else shows "Activity Command not understood: "<command>"".
  void ExecuteActivityCommand(const std::string& command, const std::string& query);

  // ---- Menu commands ----
  // CCommandTarget: the commands of command_ids.h. Those of kUnavailableCommands
  // (ostrel_doc_commands.cpp) are known but never enabled.
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;
  bool IsCommandEnabled(int id);
  bool IsCommandChecked(int id);

  void OnUndo();
  void OnRedo();
  void OnImport();
  void OnImportNmea();
  static std::pair<int, int> GpsTransferOf(int command);
  // Import from / Export to GPS of one kind through the frame's GPS input; imports are saved.
  void OnGpsTransfer(int command);
  // Sends the selection (a mark's current route, a route or a track) to the GPS.
  void OnSendToGps();
  // Find Place: the place search, then a chart there (and a locked mark when asked for).
  void OnFindPlace();
  // Builds the search index in the data folder from a place list (tab-separated or delimited).
  void OnLoadPlaceList(bool tab_separated);
  // Replays the track as the GPS input (a demo NMEA file in the temp folder).
  void OnGpsDemo(CObjTrack& track);
  void OnExport(bool visible_only);
  void OnSaveOverlays();
  void OnSaveOverlaysAs();
  void OnShowAll(bool show);
  // index: position in the global category list (the last when the list is shorter).
  void OnShowCategory(size_t index, bool show);
  void OnShowRouteLabels(bool show);
  void OnShowWaypointLabels(bool show);
  void OnDeleteHidden();
  void OnDeleteAll();
  void OnMapList();
  void OnShowMapOutlines();
  void OnSyncViews();
  void OnLoadIndexFile();
  void OnMarkPosition();
  void OnDelete();
  void OnLock();
  void OnRouteLock();
  void OnHide();
  void OnSaveObjectAs();
  void OnInsertWaypoint();
  void OnAddWaypoint(bool after);
  void OnDropWaypoint();
  void OnDeleteCurrentRoute();
  void OnSplitRoute();
  // A selected mark inside a visible route splits the routes there; otherwise two routes that
  // meet at it are joined.
  void OnSplitJoinRoute();
  void OnReverseRoute();
  void OnRenumberWaypoints();
  void OnReducePoints();
  void OnRemoveSpike();

 private:
  struct LoadedConfig;

  // ---- Storage ----
  // Releases every object (notifications off); the selection, the GPS position object, the
  // GPS track and the fly-through object are forgotten.
  void DeleteContents();
  // Reads and applies a configuration document; false when it can't be read or is malformed
  // (the document then unchanged, and error, when given, says what failed). The path name is
  // not touched.
  bool ReadConfigFile(const std::string& path, std::string* error = nullptr);
  void ReadConfig(COverlayArchive& archive, LoadedConfig& config);
  void ApplyConfig(LoadedConfig& config);
  void StoreConfig(COverlayArchive& archive);
  // The configured path of the configuration document (the data folder's default when unset).
  std::string ConfigPath() const;
  // The data folder's user-data file, migrated from older names, then loaded (only_if_present:
  // only when the file exists; a missing file may otherwise come back from its backup).
  void LoadStandardUserData(bool only_if_present);

  // ---- Objects ----
  // Takes the list's reference and puts the object at the head or the tail.
  template <class T>
  T* Insert(T* object, bool at_head) {
    object->AddRef();
    if (at_head) {
      objects_.push_front(object);
    } else {
      objects_.push_back(object);
    }
    return object;
  }
  CObjRoute* FindRouteNearest(double lat, double lon, double& best_nm, bool at_end);
  // The outline scoring best for the position and scale, leaving out the chart except_path;
  // null when none scores above 0.
  COldChartOutline* BestOutlineAt(double lat, double lon, double scale,
                                  const std::string& except_path = "") const;
  // Notifications on again, then the views and the data panes: everything may have changed.
  void RefreshAfterBulkChange();

  // ---- Files ----
  // The extension of a path's file name in lower case ("" when it has none): what chooses an
  // overlay file's reader or writer.
  static std::string FileEnding(const std::string& path);
  // "<what> is not available in this version" in an error box.
  static void ReportNotAvailable(const std::string& what);
  void OpenChartFileByType(const std::string& path);
  void FetchChart(const std::string& url, bool always_download);
  void ShowActivityMark(const std::string& query);
  void ShowActivityView(const std::string& query);
  void ReportNotUnderstood(const std::string& command);

  // ---- Commands ----
  COstrelObject* Selected() const;
  struct NavigationTarget {
    CObjWaypoint* mark = nullptr;
    CObjRoute* route = nullptr;
  };
  NavigationTarget NavigationTargetOf(int command);
  bool SelectedIsUnlocked() const;
  bool CurrentRouteIsUnlocked() const;
  bool AllRoutesHaveLabels(bool on) const;
  bool AllMarksHaveHiddenNames(bool hidden) const;

  ObjectList objects_;
  std::vector<CDocView*> views_;
  std::vector<CDocHintListener*> hint_listeners_;
  CChartFrameHost* host_ = nullptr;
  QWidget* main_window_ = nullptr;
  CDocView* gps_view_ = nullptr;

  std::string path_name_;
  std::string user_data_path_;
  std::string search_index_path_;
  bool modified_ = false;
  // Whether the user-data file was written by the last storing Serialize.
  bool user_data_saved_ = true;

  CObjCurrentPosition* position_ = nullptr;
  CObjTrack* gps_track_ = nullptr;
  COstrelObject* fly_through_object_ = nullptr;
  std::optional<CViewPlacement> pending_placement_;

  bool maximise_views_ = false;
  bool sync_views_ = false;
  bool show_chart_outlines_ = true;
  bool show_alt_view_outline_ = false;
  bool read_out_at_cursor_ = false;
};

// Opens the link of the document's selected object (a mark's linked help topic, program,
// document or web address, as CObjWaypoint::OpenLink does); nothing for other objects or
// without a selection.
void OpenSelectedObjectLink(COstrelDoc* document);
