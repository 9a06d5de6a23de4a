// The catalogue's downloads: charts and map packages from the map store into the local package
// folder, and the update check of the local packages.
#include <algorithm>
#include <memory>
#include <set>

#include "charts/map_store_query.h"
#include "charts/ui/package_download.h"
#include "charts/vdpkg_file.h"
#include "core/completion_callback.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/standard_folders.h"
#include "core/string_utils.h"
#include "core/ui/background_download.h"
#include "core/ui/message_boxes.h"
#include "core/url_utils.h"
#include "platform/os/files.h"
#include "viewer_lib/chart_catalogue.h"

namespace {

std::unique_ptr<ChartFolderCatalogue>& ProgramCatalogue() {
  static std::unique_ptr<ChartFolderCatalogue> catalogue;
  return catalogue;
}

// Runs a download with the progress dialog; true when the file arrived whole.
bool Download(QWidget* window, const std::string& host, bool secure, const std::string& path,
              const std::string& target) {
  int result = -1;
  CCompletionCallback done;
  done.Register([&result](int chained) { return result = chained; });
  DownloadWithProgress(window, host, path, target, ChartFolderCatalogue::kDownloadTitle, secure);
  RunPendingCallbacks(done);
  return result == 0 && vd::os::FileExists(target);
}

}  // namespace

std::string ChartFolderCatalogue::GetKvxBaseFolder() {
  return (kvx_in_documents ? GetDocumentsFolder() : GetLocalAppDataFolder()) + "/KVX";
}

ChartFolderCatalogue& ChartFolderCatalogue::Obtain() {
  if (ChartFolderCatalogue* current = Current()) return *current;
  auto& owned = ProgramCatalogue();
  owned = std::make_unique<ChartFolderCatalogue>(
      ChartCatalogueFolders{GetDocumentsFolder(), GetLocalAppDataFolder(), GetDefaultChartFolder()});
  owned->keys = CSelectMapTypes::Settings().show;
  SetCurrent(owned.get());
  return *owned;
}

std::vector<std::string> ChartFolderCatalogue::PackageNames() const {
  std::vector<std::string> names = ListFiles(GetKvxBaseFolder(), "*.vdpkg");
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareNatural(a, b) < 0;
  });
  return names;
}

bool ChartFolderCatalogue::DownloadPackage(QWidget* window, const std::string& url,
                                           std::string& target) {
  target.clear();
  std::string scheme, host, path;
  SplitUrl(url, scheme, host, path);
  bool secure = scheme == "https";
  if (host.empty()) CMapStoreQuery::StoreServer(secure, host);
  const size_t kvx = path.find("KVX");
  std::string relative = kvx != std::string::npos ? path.substr(kvx + 3) : path;
  while (!relative.empty() && relative[0] == '/') relative.erase(0, 1);
  // Names from a URL never leave the package folder.
  if (host.empty() || !CVdPkgFile::IsSafeName(relative)) return false;
  target = GetKvxBaseFolder() + "/" + relative;
  const bool package = PathHasExtension(target, "vdpkg");
  bool ok = true;
  if (package || !vd::os::FileExists(target)) {
    if (!vd::os::MakeFolders(GetPathDirectory(target))) return false;
    pending_target_ = target;
    pending_window_ = window;
    // A fresh copy replaces an old package only once it has arrived whole.
    ok = Download(window, host, secure, path, target);
  }
  pending_target_ = target;
  pending_window_ = window;
  return CompleteDownload(ok);
}

bool ChartFolderCatalogue::Refresh(QWidget* window, const std::string& path) {
  pending_target_ = path;
  pending_window_ = window;
  rescan_request_ = true;
  return CompleteDownload(true);
}

bool ChartFolderCatalogue::CompleteDownload(bool ok) {
  const std::string target = pending_target_;
  QWidget* window = pending_window_;
  if (ok) {
    if (PathHasExtension(target, "vdpkg")) {
      // Files that exist may still be stale: only a download that verified every file counts.
      ok = DownloadMapPackage(window, target);
      if (ok) OnPackageDownloaded(target);
    } else {
      CChartOutline* record = FindOrAddEntry(target);
      if (record != nullptr && rescan_request_) {
        Remove(record);
        FindOrAddEntry(target);
      }
      ok = record != nullptr;
    }
  }
  rescan_request_ = false;
  pending_target_.clear();
  pending_window_ = nullptr;
  return ok;
}

void ChartFolderCatalogue::OnPackageDownloaded(const std::string& package) {
  std::vector<std::string> files;
  ReadPackageFileList(package, files);
  std::set<std::string> folders;
  for (const std::string& file : files) folders.insert(GetPathDirectory(file));
  for (const std::string& folder : folders) {
    AddMapFolder(folder);
    MarkFolderChanged(folder);
  }
  if (rescan_request_) {
    for (const std::string& file : files) {
      if (!PathHasExtension(file, "qct")) continue;
      if (CChartOutline* record = Find(file)) Remove(record);
      FindOrAddEntry(file);
    }
  }
  RescanIfChanged();
}

bool ChartFolderCatalogue::CheckForUpdates(QWidget* window) {
  const std::vector<std::string> packages = PackageNames();
  if (packages.empty()) {
    vd::ui::RunMessageBox(window, kNoPackagesText, kNoPackagesCaption,
                          vd::ui::kMbOk | vd::ui::kMbIconWarning);
    return false;
  }
  bool secure = false;
  std::string host;
  CMapStoreQuery::StoreServer(secure, host);
  for (const std::string& name : packages) {
    std::string target;
    const std::string url = (secure ? "https://" : "http://") + host + "/KVX/" + name;
    if (!DownloadPackage(window, url, target)) return false;
  }
  return true;
}
