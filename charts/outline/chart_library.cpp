// The chart library's scan of the chart folders and the import of the files it finds.
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "charts/outline/old_chart_outline.h"
#include "charts/outline/stored_path.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "platform/os/files.h"
#include "platform/ui/window_messages.h"

namespace {

// Where converted charts go when the setting "qct_dir" is empty.
constexpr char kDefaultConvertedFolder[] = "./qct";

// The files ImportChartFile reads itself.
constexpr std::string_view kChartExtensions[] = {"QCT"};
// Extensions searched in every chart folder.
constexpr std::string_view kAlwaysSearched[] = {"QCT", "TIF", "NOS", "JGW", "PNG"};
// Extensions searched too, except in terrain cache folders (see IsTerrainCacheFolder), whose
// files of these kinds are not maps.
constexpr std::string_view kMapFormats[] = {"024", "025", "100", "250", "063", "KAP",
                                            "RML", "sph", "aer", "P24", "P25", "P1H",
                                            "P2H", "P63", "oph", "gph", "PHT", "PQD"};
// The sub-folder holding the header files ("*.hdr") of one map format.
constexpr char kHeaderFolder[] = "CHARTHDR";

// A stored folder text as a path: '/' separators, no trailing ones.
std::string FolderPath(std::string_view stored) {
  std::string folder = StoredPathToLocal(stored);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool HasAnyExtension(std::string_view name, std::span<const std::string_view> extensions) {
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](std::string_view ext) { return PathHasExtension(name, ext); });
}

bool IsChartFilePath(std::string_view path) { return HasAnyExtension(path, kChartExtensions); }

// The folder of converted charts: setting "qct_dir", '/' separated.
std::string ConvertedChartFolder(const vd::os::ProfileStore& profile) {
  const std::string folder =
      FolderPath(profile.GetString(vd::kSettingsSection, "qct_dir").value_or(""));
  return folder.empty() ? kDefaultConvertedFolder : folder;
}

// Sub-folders never searched: chunk caches ("...qcc"), the data folders of one map format
// ("ma" + 4 characters + "s" + more, exact case) and the lower-case header folder.
bool IsSkippedSubfolder(std::string_view name) {
  if (name.size() >= 3 && EqualsNoCase(name.substr(name.size() - 3), "qcc")) return true;
  if (name.size() > 6 && name.starts_with("ma") && name[6] == 's') return true;
  return name == "charthdr";
}

// Adds the folder and, depth first in name order, its sub-folders. A folder met before
// (through a link) is not entered again.
using FolderIds = std::set<std::pair<uint64_t, uint64_t>>;  // device, inode

void AddFolderTree(const std::string& folder, FolderIds& seen, std::vector<std::string>& out) {
  if (const auto id = vd::os::IdentifyFile(folder)) {
    if (!seen.insert({id->device, id->inode}).second) return;
  }
  out.push_back(folder);
  std::vector<vd::os::DirEntry> entries;
  if (!vd::os::ListFolder(folder, entries)) return;
  for (const vd::os::DirEntry& entry : entries) {
    if (entry.is_dir && !IsSkippedSubfolder(entry.name)) {
      AddFolderTree(folder + "/" + entry.name, seen, out);
    }
  }
}

// Adds the files of the folder with one of the extensions.
void AddFiles(const std::string& folder, std::span<const std::string_view> extensions,
              std::set<std::string>& out) {
  std::vector<vd::os::DirEntry> entries;
  if (!vd::os::ListFolder(folder, entries)) return;
  for (const vd::os::DirEntry& entry : entries) {
    if (!entry.is_dir && HasAnyExtension(entry.name, extensions)) {
      out.insert(folder + "/" + entry.name);
    }
  }
}

// A folder whose path holds "CACHE", "TERRAIN" and "PRO" in any case.
bool IsTerrainCacheFolder(std::string folder) {
  StringToUpper(folder);
  return folder.find("CACHE") != std::string::npos &&
         folder.find("TERRAIN") != std::string::npos && folder.find("PRO") != std::string::npos;
}

// Takes the outline out of the list and drops the list's reference; its views are told.
void RemoveOutline(ObjectList& list, COldChartOutline* outline) {
  if (outline->Delete(false) != COstrelObject::kDeleteNotInList) return;
  // The list is not the one of the outline's document.
  const auto entry = std::find(list.begin(), list.end(), outline);
  if (entry == list.end()) return;
  list.erase(entry);
  outline->Release();
}

COldChartOutline* AsOutline(COstrelObject* object) {
  return object->IsKindOf(COldChartOutline::kClass) ? static_cast<COldChartOutline*>(object)
                                                     : nullptr;
}

// The wait cursor while the scan runs (only where there is a graphical application).
class WaitCursor {
 public:
  WaitCursor() : shown_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (shown_) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }
  ~WaitCursor() {
    if (shown_) QGuiApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  const bool shown_;
};

}  // namespace

COldChartOutline* ImportChartFile(ObjectList& list, const std::string& path_in, bool loading) {
  const std::string path = StoredPathToLocal(path_in);
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  // A converted chart would be made at `target`; a name taken by another source's chart gets
  // an "x" before its extension.
  std::string target = ConvertedChartFolder(profile) + "/" + GetPathTitle(path) + ".qct";
  for (auto it = list.begin(); it != list.end();) {
    COldChartOutline* outline = AsOutline(*it);
    if (!outline || outline->chart_path != target) {
      ++it;
      continue;
    }
    if (outline->source_path != path) {
      target.insert(target.size() - 4, "x");  // before ".qct"
      it = list.begin();
      continue;
    }
    if (!loading || !outline->no_tiles) return outline;
    RemoveOutline(list, outline);  // made again below
    break;
  }
  // Other map formats are converted into `target` by the converter plug-ins, which this build
  // does not have.
  if (!IsChartFilePath(path)) return nullptr;

  auto outline = std::make_unique<COldChartOutline>();
  if (!ReadQuickChartHeader(*outline, path)) return nullptr;
  COldChartOutline* added = outline.release();
  added->AddRef();
  list.push_back(added);
  added->NotifyChange(kChangeAdded);
  return added;
}

COldChartOutline* AddChartToList(ObjectList& list, const std::string& path) {
  return ImportChartFile(list, path, false);
}

std::set<std::string> ListChartFiles(const std::set<std::string>& folders, bool search_subdirs) {
  std::vector<std::string> folder_list;
  FolderIds seen;
  for (const std::string& stored : folders) {
    const std::string folder = FolderPath(stored);
    if (search_subdirs) {
      AddFolderTree(folder, seen, folder_list);
    } else {
      folder_list.push_back(folder);
    }
  }
  std::set<std::string> files;
  for (const std::string& folder : folder_list) {
    AddFiles(folder, std::span(kAlwaysSearched), files);
    if (IsTerrainCacheFolder(folder)) continue;
    AddFiles(folder, std::span(kMapFormats), files);
    if (const auto headers = vd::os::FindFileNoCase(folder, kHeaderFolder)) {
      static constexpr std::string_view kHeaderFiles[] = {"hdr"};
      AddFiles(folder + "/" + *headers, std::span(kHeaderFiles), files);
    }
  }
  return files;
}

void RefreshChartList(ObjectList& list, const std::set<std::string>& folders, bool first_load,
                      bool rebuild, QWidget* parent) {
  WaitCursor wait;
  for (COstrelObject* object : ObjectList(list)) {
    COldChartOutline* outline = AsOutline(object);
    if (!outline) continue;
    if (rebuild) outline->RefreshViews();
    RemoveOutline(list, outline);
  }

  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  const bool search_subdirs = profile.GetInt(vd::kSettingsSection, "search_subdirs").value_or(1);
  const std::string converted = ConvertedChartFolder(profile);

  std::set<std::string> converted_charts;
  AddFiles(converted, std::span(kChartExtensions), converted_charts);
  std::set<std::string> files = ListChartFiles(folders, search_subdirs);
  // A rebuild would make the conversions again from their sources, but only a converter can,
  // and this build has none: every conversion is kept and listed as it is, so a rebuild
  // never loses a map.
  files.insert(converted_charts.begin(), converted_charts.end());

  if (files.empty()) {
    FormatMessageBox(vd::ui::kMbIconWarning,
                     "No chart or map files found\nUse the \"Add\" button to add a folder to be "
                     "searched");
    return;
  }
  CProgress progress(first_load ? "Loading maps..." : "Refreshing map list...",
                     static_cast<int>(files.size()), parent);
  if (first_load) progress.MoveBy(-100, -200);
  for (const std::string& path : files) {
    if (!progress.StepIt()) return;
    if (ImportChartFile(list, path, first_load)) continue;
    // Files of other formats are skipped without asking: there is nothing to convert them.
    if (!IsChartFilePath(path)) continue;
    if (FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
                         "Do you want to continue loading maps?") != vd::ui::kIdYes) {
      return;
    }
  }
}

COldChartOutline* SortOutlinesByScale(std::vector<COldChartOutline*>& outlines) {
  std::stable_sort(outlines.begin(), outlines.end(),
                   [](const COldChartOutline* a, const COldChartOutline* b) {
                     return a->scale > b->scale;
                   });
  return outlines.empty() ? nullptr : outlines.front();
}
