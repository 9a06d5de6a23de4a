// The configuration document and the user-data file: reading, writing, backups and recovery.
#include <unistd.h>

#include <algorithm>

#include "app/app_common.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "corvex/ostrel_doc.h"
#include "overlays/overlay_archive.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/window_messages.h"

namespace {

constexpr int32_t kViewRecordTag = 0;
constexpr int32_t kEndTag = 2;
constexpr char kChartDirsSection[] = "chart_dirs";
constexpr char kOverlayFilter[] = "Overlay object files (*.vdo)|*.vdo||";

std::string DataFolder() {
  const CAppCommon* app = CAppCommon::Instance();
  return app ? app->data_folder : std::string();
}

bool IsReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

bool CopyFile(const std::string& from, const std::string& to) {
  std::string bytes;
  return vd::os::ReadWholeFile(from, bytes) && vd::os::SaveFileAtomically(to, bytes);
}

std::string BackupOf(const std::string& config_path) {
  return GetFolderOfPath(config_path) + "/" + COstrelDoc::kConfigBackupName;
}

// A name that marks an object never saved.
bool IsTransient(const COstrelObject& object) {
  return object.name.empty() || object.name.front() == ':';
}

CViewPlacement ReadViewRecord(COverlayArchive& archive) {
  CViewPlacement p;
  p.chart_path = archive.ReadString();
  std::replace(p.chart_path.begin(), p.chart_path.end(), '\\', '/');
  p.lat = archive.ReadDouble();
  p.lon = archive.ReadDouble();
  p.scale = archive.ReadDouble();
  p.lock = archive.ReadInt32();
  p.reserved = archive.ReadInt32();
  CWindowPlacement& w = p.window;
  for (int32_t* field : {&w.flags, &w.show_cmd, &w.min_x, &w.min_y, &w.max_x, &w.max_y, &w.left,
                         &w.top, &w.right, &w.bottom}) {
    *field = archive.ReadInt32();
  }
  // A stored window always opens maximised.
  w.length = 44;
  w.show_cmd = kShowMaximized;
  return p;
}

void WriteViewRecord(COverlayArchive& archive, const CViewPlacement& p) {
  archive.WriteInt32(kViewRecordTag);
  archive.WriteString(p.chart_path);
  archive.WriteDouble(p.lat);
  archive.WriteDouble(p.lon);
  archive.WriteDouble(p.scale);
  archive.WriteInt32(p.lock);
  archive.WriteInt32(p.reserved);
  const CWindowPlacement& w = p.window;
  for (int32_t field : {w.flags, w.show_cmd, w.min_x, w.min_y, w.max_x, w.max_y, w.left, w.top,
                        w.right, w.bottom}) {
    archive.WriteInt32(field);
  }
}

}  // namespace

void ReportOverlayWriteFailure(const std::string& path) {
  FormatMessageBox(vd::ui::kMbIconError, "Failed to open export file: %s", path.c_str());
}

// What a configuration document holds, read in full before the document changes.
struct COstrelDoc::LoadedConfig {
  LoadedConfig() = default;
  LoadedConfig(const LoadedConfig&) = delete;
  LoadedConfig& operator=(const LoadedConfig&) = delete;
  ~LoadedConfig() {
    for (COstrelObject* outline : outlines) outline->Release();
  }

  ObjectList outlines;  // one reference each
  std::optional<bool> show_alt_view_outline;
  std::optional<bool> read_out_at_cursor;
  std::optional<CViewPlacement> first_view;
};

std::string COstrelDoc::StandardUserDataPath() { return UserDataFilePath(DataFolder()); }

std::string COstrelDoc::ConfigPath() const {
  const std::string path =
      vd::OpenAppProfile().GetString(vd::kSettingsSection, kConfigPathSetting).value_or("");
  return path.empty() ? DataFolder() + "/Vardune-6.vdn" : path;
}

// ---- Serialize ----

void COstrelDoc::Serialize(COverlayArchive& archive) {
  if (archive.IsStoring()) {
    StoreConfig(archive);
    return;
  }
  LoadedConfig config;
  ReadConfig(archive, config);
  archive.FinishLoad();
  ApplyConfig(config);
}

void COstrelDoc::ReadConfig(COverlayArchive& archive, LoadedConfig& config) {
  const int32_t version = archive.ReadInt32();
  if (version < kOldestVersion || version > kWrittenVersion) {
    throw COverlayArchiveException(COverlayArchiveException::kBadSchema,
                                   "unsupported configuration document version");
  }
  {
    CCurrentOwnerScope owner(this);
    const uint32_t count = archive.ReadCount(2);  // a reference takes 2 bytes at least
    for (uint32_t i = 0; i < count; ++i) {
      COldChartOutline* outline = archive.ReadObject<COldChartOutline>();
      // A reference to an outline read before names it once more: one entry is enough.
      if (!outline || std::find(config.outlines.begin(), config.outlines.end(), outline) !=
                          config.outlines.end()) {
        continue;
      }
      outline->AddRef();
      config.outlines.push_back(outline);
    }
  }
  archive.ReadString();  // the user-data path: always the data folder's file
  if (version > kOldestVersion) {
    config.show_alt_view_outline = archive.ReadByte() != 0;
    config.read_out_at_cursor = archive.ReadByte() != 0;
  }
  for (;;) {
    const int32_t tag = archive.ReadInt32();
    if (tag == kEndTag) break;
    if (tag != kViewRecordTag) continue;
    CViewPlacement placement = ReadViewRecord(archive);
    if (!config.first_view) config.first_view = std::move(placement);
  }
}

void COstrelDoc::ApplyConfig(LoadedConfig& config) {
  DeleteContents();
  user_data_path_.clear();
  const bool rescan = vd::OpenAppProfile().GetInt(kChartDirsSection, "update").value_or(0) != 0;
  COstrelObject::SetNotificationsEnabled(false);
  while (!config.outlines.empty()) {
    auto* outline = static_cast<COldChartOutline*>(config.outlines.front());
    config.outlines.pop_front();
    if (!rescan && IsReadable(outline->chart_path)) {
      objects_.push_back(outline);  // takes over the reference
    } else {
      outline->Release();
    }
  }
  if (rescan) RescanChartFolders();
  RefreshAfterBulkChange();

  if (config.show_alt_view_outline) show_alt_view_outline_ = *config.show_alt_view_outline;
  if (config.read_out_at_cursor) read_out_at_cursor_ = *config.read_out_at_cursor;
  LoadStandardUserData(false);
  modified_ = true;
  if (config.first_view) {
    pending_placement_ = std::move(config.first_view);
    GetFreeChartView();
    pending_placement_.reset();
  }
}

void COstrelDoc::StoreConfig(COverlayArchive& archive) {
  archive.WriteInt32(kWrittenVersion);
  ObjectList outlines;
  for (COstrelObject* object : objects_) {
    if (object->IsKindOf(COldChartOutline::kClass)) outlines.push_back(object);
  }
  {
    COldChartOutline::ConfigNameScope config_names;
    archive.WriteCount(static_cast<uint32_t>(outlines.size()));
    for (const COstrelObject* outline : outlines) archive.WriteObject(outline);
  }
  user_data_saved_ = SaveUserData(user_data_path_, false);
  archive.WriteString(user_data_path_);
  archive.WriteByte(show_alt_view_outline_ ? 1 : 0);
  archive.WriteByte(read_out_at_cursor_ ? 1 : 0);
  for (CDocView* view : views_) {
    CViewPlacement placement;
    if (!view->GetPlacement(placement) || placement.chart_path.empty()) continue;
    if (host_) host_->GetFramePlacement(view, placement.window);
    WriteViewRecord(archive, placement);
    break;
  }
  archive.WriteInt32(kEndTag);
}

// ---- Opening and saving ----

bool COstrelDoc::ReadConfigFile(const std::string& path, std::string* error) {
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read)) {
    if (error) *error = "The file could not be opened.";
    return false;
  }
  try {
    COverlayArchive archive(file, COverlayArchive::Mode::kLoad);
    archive.set_link_folder(GetFolderOfPath(path) + "/");
    Serialize(archive);
  } catch (const COverlayArchiveException& e) {
    if (error) *error = std::string("It is damaged or not a configuration document: ") + e.what();
    return false;
  }
  return true;
}

bool COstrelDoc::OnNewDocument() {
  DeleteContents();
  const std::string config = ConfigPath();
  const std::string backup = BackupOf(config);
  if (IsReadable(backup) && ReadConfigFile(backup)) {
    path_name_ = config;
    return true;
  }
  maximise_views_ = true;
  path_name_ = config;
  LoadStandardUserData(true);
  RefreshAfterBulkChange();
  modified_ = true;
  return true;
}

bool COstrelDoc::OnOpenDocument(const std::string& path) {
  if (path.empty() || !vd::os::FileExists(path)) return OnNewDocument();
  std::string error;
  if (ReadConfigFile(path, &error)) {
    path_name_ = path;
    return true;
  }
  const std::string backup = BackupOf(path);
  bool kept = false;
  if (IsReadable(backup)) {
    // Renaming over an older ".corrupt" file replaces it.
    kept = vd::os::RenameFile(path, path + ".corrupt");
    if (vd::os::RenameFile(backup, path)) {
      FormatMessageBox(vd::ui::kMbIconInformation,
                       "Restored file from backup...\n\n\"%s\" could not be read (%s), so its "
                       "backup took its place.%s",
                       path.c_str(), error.empty() ? "damaged" : error.c_str(),
                       kept ? (" The damaged file is kept as \"" + path + ".corrupt\".").c_str()
                            : "");
      if (ReadConfigFile(path)) {
        path_name_ = path;
        return true;
      }
    }
  } else {
    // Nothing to come back from: the damaged file goes aside, or the next save would write
    // over it.
    kept = vd::os::RenameFile(path, path + ".corrupt");
  }
  if (kept) {
    FormatMessageBox(vd::ui::kMbIconWarning, "Could not read %s\n%s\nIt was kept as %s.corrupt",
                     path.c_str(), error.c_str(), path.c_str());
  } else {
    FormatMessageBox(vd::ui::kMbIconWarning, "Could not read %s\n%s", path.c_str(),
                     error.c_str());
  }
  return OnNewDocument();
}

bool COstrelDoc::OnSaveDocument(const std::string& path) {
  vd::OpenAppProfile().SetString(vd::kSettingsSection, kConfigPathSetting, path);
  // A copy, not a move: the file stays in place whatever becomes of the save.
  if (::access(path.c_str(), W_OK) == 0) CopyFile(path, BackupOf(path));
  vd::os::AtomicFileWriter writer;
  if (!writer.Open(path)) {
    SaveUserData(user_data_path_, false);
    return false;
  }
  try {
    COverlayArchive archive(writer.file(), COverlayArchive::Mode::kStore);
    archive.set_link_folder(GetFolderOfPath(path) + "/");
    Serialize(archive);
    archive.Flush();
  } catch (const COverlayArchiveException&) {
    return false;  // the writer removes its temporary file
  }
  if (!writer.Commit()) return false;
  path_name_ = path;
  modified_ = false;
  return user_data_saved_;
}

bool COstrelDoc::SaveModified() {
  if (path_name_.empty()) return true;
  if (OnSaveDocument(path_name_)) return true;
  return FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconWarning, "%s", "Quit anyway?") ==
         vd::ui::kIdYes;
}

// ---- The user-data file ----

void COstrelDoc::LoadStandardUserData(bool only_if_present) {
  user_data_path_ = StandardUserDataPath();
  const bool seeded = SeedUserDataFile(DataFolder());
  if (only_if_present && !vd::os::FileExists(user_data_path_)) return;
  ResetOlderSchema();
  const bool had_backup = IsReadable(GetFolderOfPath(user_data_path_) + "/backup.vdo");
  if (LoadUserData(user_data_path_, false, false)) {
    KeepOlderUserDataFile(user_data_path_, seeded);
    return;
  }
  // Unreadable with no backup to come back from: the next save would write over it and the
  // one after over its backup copy. It goes aside as a damaged file with a backup would.
  if (!had_backup && vd::os::FileExists(user_data_path_) &&
      vd::os::RenameFile(user_data_path_, user_data_path_ + ".corrupt")) {
    FormatMessageBox(vd::ui::kMbIconWarning, "Could not read %s\nIt was kept as %s.corrupt",
                     user_data_path_.c_str(), user_data_path_.c_str());
  }
}

bool COstrelDoc::LoadUserData(const std::string& path, bool ask, bool merge) {
  std::string file = path;
  if (ask) {
    if (file.empty()) file = StandardUserDataPath();
    const std::optional<std::string> chosen =
        vd::ui::GetOpenFilePath(main_window_, "Open", kOverlayFilter, file);
    if (!chosen) return false;
    file = *chosen;
  }
  if (file.empty()) return true;
  ObjectList list;
  bool ok = false;
  std::string error;
  {
    CCurrentOwnerScope owner(this);
    COstrelObject::SetNotificationsEnabled(false);
    // Only the user-data file is restored from "backup.vdo": no other file keeps one. Its
    // start-up load tells the user itself (LoadStandardUserData). Its load is not offered a
    // Cancel: the next save would write the document left without it over the file.
    if (file == StandardUserDataPath()) {
      ok = LoadUserDataFile(file, list);
    } else {
      std::unique_ptr<CProgress> window;
      ok = ReadOverlayFileObjects(
          file, list, &error,
          ReadingProgress(window, "Loading " + GetPathFileName(file) + "..."));
    }
    if (ok && merge) {
      AddObjectsAndShow(list);
    } else if (ok) {
      objects_.splice(objects_.end(), list);
    }
  }
  RefreshAfterBulkChange();
  if (!ok && !error.empty()) {
    FormatMessageBox(vd::ui::kMbIconError, "Could not read %s\n%s\nNothing was added.",
                     file.c_str(), error.c_str());
  }
  return ok;
}

bool COstrelDoc::SaveUserData(std::string& path, bool ask) {
  if (COstrelObject* selected = COstrelObject::GetSelected(this)) selected->Deselect();
  if (path.empty()) path = StandardUserDataPath();
  if (ask) {
    const std::optional<std::string> chosen =
        vd::ui::GetSaveFilePath(main_window_, "Save As", kOverlayFilter, "vdo", path);
    if (!chosen) return false;
    path = *chosen;
  }
  bool saved = false;
  if (path == StandardUserDataPath()) {
    saved = SaveUserDataFile(path, objects_, !ask);
  } else {
    // Any other file: the same objects, without the user-data file's backup.
    ObjectList kept;
    for (COstrelObject* object : objects_) {
      if (!object->IsKindOf(COldChartOutline::kClass) && !IsTransient(*object)) {
        kept.push_back(object);
      }
    }
    saved = SaveObjectsToOverlayFile(path, kept, !ask);
  }
  // The user chose the file just now: tell him. Other callers report in their own way.
  if (!saved && ask) ReportOverlayWriteFailure(path);
  return saved;
}
