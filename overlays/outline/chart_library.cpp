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

#include <QWidget>
#include <sys/stat.h>

#include "charts/chart_conversion.h"
#include "charts/converter_plugins.h"
#include "overlays/outline/old_chart_outline.h"
#include "charts/qct_reference_file.h"
#include "core/file_utils.h"
#include "overlays/outline/stored_path.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "platform/os/files.h"
#include "platform/os/volumes.h"
#include "platform/ui/message_box.h"
#include "platform/ui/window_messages.h"

namespace {

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

// Charts on removable discs are copied in (or stood for by a reference chart).
RemovableDiscTest& DiscTest() {
  static RemovableDiscTest test = [](const std::string& path) {
    return vd::os::IsOnOpticalDisc(path);
  };
  return test;
}

// The handle the plug-ins get for a window of the program.
ConverterWindow ConverterWindowOf(QWidget* widget) {
  QWidget* window = vd::ui::DialogOwner(widget);
  return window ? ConverterWindow(window->winId()) : 0;
}

// A chart on a removable disc, copied to `target` with its elevation and search-data
// companions; a failed copy may leave a reference chart in its place. False when there is
// nothing at the target to read.
bool CopyChartFromDisc(const std::string& path, const std::string& target) {
  if (CopyFileWithProgress(path, target)) {
    for (const char* companion : {".qed", ".vdq"}) {
      const std::string from = ReplaceFileExtension(path, companion);
      if (IsNotFolder(from)) CopyFileWithProgress(from, ReplaceFileExtension(target, companion));
    }
    return true;
  }
  return FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
                          "Copy failed: do you want to continue loading maps?") ==
             vd::ui::kIdYes &&
         QctMakeReferenceFile(path, target);
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

RemovableDiscTest SetRemovableDiscTest(RemovableDiscTest test) {
  return std::exchange(DiscTest(), std::move(test));
}

COldChartOutline* ImportChartFile(ObjectList& list, const std::string& path_in,
                                  CConverterPlugins& converter, bool loading) {
  const std::string path = StoredPathToLocal(path_in);
  const std::string folder = ConvertedChartFolder();
  ::mkdir(folder.c_str(), 0777);
  const bool chart_file = IsChartFilePath(path);
  const bool on_disc = chart_file && DiscTest()(path);
  // A chart read where it lies is listed once.
  if (chart_file && !on_disc) {
    for (COstrelObject* object : list) {
      COldChartOutline* outline = AsOutline(object);
      if (outline && outline->chart_path == path) return outline;
    }
  }
  // A converted or copied chart is made at `target`; a name taken by another source's chart
  // gets an "x" before its extension.
  std::string target = folder + "/" + GetPathTitle(path) + ".qct";
  for (;;) {
    COldChartOutline* same = nullptr;
    bool taken = false;
    for (COstrelObject* object : list) {
      COldChartOutline* outline = AsOutline(object);
      if (!outline || outline->chart_path != target) continue;
      if (outline->source_path == path) {
        same = outline;
      } else {
        taken = true;
      }
      break;
    }
    // A conversion of another source not listed (yet) is not overwritten either.
    if (!same && !chart_file && IsNotFolder(target) && ChartConvertedFrom(target) != path) {
      taken = true;
    }
    if (taken) {
      target.insert(target.size() - 4, "x");  // before ".qct"
      continue;
    }
    if (same) {
      if (!loading || !same->no_tiles) return same;
      RemoveOutline(list, same);  // made again below
    }
    break;
  }

  std::string chart = path;
  if (on_disc) {
    // The disc may be taken out: a full load copies the chart in, otherwise a reference chart
    // stands for it and brings the original in when opened.
    if (loading ? !CopyChartFromDisc(path, target) : !QctMakeReferenceFile(path, target)) {
      return nullptr;
    }
    chart = target;
  } else if (!chart_file) {
    if (ConvertChartFile(converter, path, target, !loading) != 0) return nullptr;
    chart = target;
  }

  auto outline = std::make_unique<COldChartOutline>();
  if (!ReadQuickChartHeader(*outline, chart)) return nullptr;
  // A converter that names no original still made the chart from this file.
  if (!chart_file && outline->source_path == outline->chart_path) outline->source_path = path;
  COldChartOutline* added = outline.release();
  added->AddRef();
  list.push_back(added);
  added->NotifyChange(kChangeAdded);
  return added;
}

COldChartOutline* ImportChartFile(ObjectList& list, const std::string& path, bool loading) {
  CConverterPlugins converter;
  converter.SetParentWindow(ConverterWindowOf(vd::ui::ActiveDialogOwner()));
  return ImportChartFile(list, path, converter, loading);
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
  const std::string converted = ConvertedChartFolder();

  std::set<std::string> files = ListChartFiles(folders, search_subdirs);
  std::set<std::string> converted_charts;
  AddFiles(converted, std::span(kChartExtensions), converted_charts);
  for (const std::string& chart : converted_charts) {
    // A rebuild makes the conversions again, but only of sources this scan meets: any other
    // chart of the folder could not be made again and stays.
    if (rebuild && files.count(ChartConvertedFrom(chart)) && vd::os::RemoveFile(chart)) continue;
    files.insert(chart);
  }

  if (files.empty()) {
    FormatMessageBox(vd::ui::kMbIconWarning,
                     "No chart or map files found\nUse the \"Add\" button to add a folder to be "
                     "searched");
    return;
  }
  CConverterPlugins converter;
  converter.SetParentWindow(ConverterWindowOf(parent ? parent : vd::ui::ActiveDialogOwner()));
  CProgress progress(first_load ? "Loading maps..." : "Refreshing map list...",
                     static_cast<int>(files.size()), parent);
  if (first_load) progress.MoveBy(-100, -200);
  for (const std::string& path : files) {
    if (!progress.StepIt()) return;
    converter.ClearFailure();
    if (ImportChartFile(list, path, converter, first_load)) continue;
    // A converter that failed without a word: the user learns which file was skipped and why
    // before choosing to go on. Other failures have shown their own message.
    std::string text = "Do you want to continue loading maps?";
    if (!converter.failure().empty()) {
      text = "Failed to load " + path + ": " + converter.failure() + ".\n\n" + text;
    }
    if (vd::ui::RunMessageBox(parent ? parent : vd::ui::ActiveDialogOwner(), text,
                              QGuiApplication::applicationDisplayName().toStdString(),
                              vd::ui::kMbYesNo | vd::ui::kMbIconQuestion) != vd::ui::kIdYes) {
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
