#include "charts/ui/package_download.h"

#include <cctype>

#include "charts/package_worker.h"
#include "charts/vdpkg_file.h"
#include "core/download_progress.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/string_utils.h"
#include "core/ui/dlg_progress.h"
#include "core/ui/message_boxes.h"

namespace {

constexpr int64_t kSpaceMargin = 1'000'000;

std::string& CurrentPackage() {
  static std::string path;
  return path;
}

// Whether the last package download brought every file.
bool& LastPackageComplete() {
  static bool complete = false;
  return complete;
}

// Why the descriptor can't be used, as a sentence.
std::string PackageFault(const std::string& package_path) {
  CVdPkgFile package(package_path);
  VdPkgEntry entry;
  while (package.ok() && package.NextEntry(entry)) {
  }
  std::string why = package.error().empty() ? "it can't be read" : package.error();
  if (why.starts_with("not ") || why.starts_with("can't ")) why = "The file is " + why;
  why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
  return why + ".";
}

}  // namespace

CDownloadProgress& PackageDownloadProgress() {
  static CDownloadProgress progress;
  return progress;
}

bool PackageFitsOnDisk(int64_t needed_bytes, int64_t free_bytes) {
  return free_bytes <= 0 || free_bytes - kSpaceMargin >= needed_bytes;
}

std::string NotEnoughSpaceText(const std::string& title, int64_t needed_bytes,
                               int64_t free_bytes) {
  return "The package \"" + title + "\" will take up " + FormatByteSize(needed_bytes) +
         ", but the device has only " + FormatByteSize(free_bytes) +
         " available.\n\nWould you like to continue?";
}

bool DownloadMapPackage(QWidget* parent, const std::string& package_path) {
  CDownloadProgress& progress = PackageDownloadProgress();
  if (progress.total.load() != 0 || progress.finished() || progress.thread.joinable()) return false;
  progress.Reset();
  CurrentPackage() = package_path;
  LastPackageComplete() = false;

  const int64_t needed = GetPackageMissingBytes(package_path);
  if (needed < 0) {
    ShowMessageBox(parent, "Error opening VD Package",
                   package_path + "\n\n" + PackageFault(package_path));
    return false;
  }
  const int64_t free_bytes = GetDiskFreeSpace64(GetPathDirectory(package_path));
  if (PackageFitsOnDisk(needed, free_bytes)) {
    StartPackageDownload(parent, 0);
    return LastPackageComplete();
  }
  AskYesNo(parent, parent, "Not enough space",
           NotEnoughSpaceText(ReadPackageTitle(package_path), needed, free_bytes),
           [](void* owner, int answer) {
             StartPackageDownload(static_cast<QWidget*>(owner), answer);
           },
           nullptr);
  return LastPackageComplete();
}

int StartPackageDownload(QWidget* parent, int answer) {
  CDownloadProgress& progress = PackageDownloadProgress();
  const std::string path = CurrentPackage();
  const std::string title = ReadPackageTitle(path);
  bool& complete = LastPackageComplete();
  complete = false;
  // The flag is read once RunWithProgress has joined the thread.
  progress.thread = std::thread([path, &progress, &complete] {
    complete = RunPackageDownload(path, progress);
  });
  RunWithProgress(parent, progress, "Downloading map package: " + title);
  // The record is idle again for the next package.
  progress.Reset();
  return answer;
}
