#pragma once
// The program's one open elevation file and the offline data that belongs to a chart: an
// elevation file (kind "qed") or a search-data file (kind "vdq"). Such a file lies beside the
// chart or is fetched once from the maker's server: a redirect service names the download
// address, the file is downloaded into the map-store folder (and unpacked when it comes
// gzip-compressed), and the answer is cached in map-store folder + "/redir/<name>_<kind>.txt"
// (one line: the local path, or "none" when the server had nothing), so that the server is
// asked once per chart name and kind until a caller asks again.
//
// The application object owns one COfflineData and forwards its elevation and offline-data
// calls to it. Used on the user-interface thread only.
#include <functional>
#include <string>

#include "charts/elevation_file.h"
#include "core/download_progress.h"

// The redirect service's host ("name" or "name:port"); plain HTTP, port 80 by default. The
// setting below, when present, names another.
inline constexpr char kOfflineRedirectHost[] = "redir.vardune.com";
inline constexpr char kOfflineRedirectSetting[] = "offline_redirect_server";

// What the offline data asks of the program around it.
struct OfflineDataServices {
  // The map-store folder (CAppCommon::GetKvxFolder); it need not exist yet.
  std::function<std::string()> map_store_folder;
  // Downloads host + path into local_file, returning when the download has ended; the program
  // shows it under the modal progress dialog with `title`. The file must be replaced only by a
  // whole download. Not installed: a plain CHttpConnection::GetToFile without a dialog.
  std::function<void(const std::string& host, const std::string& path,
                     const std::string& local_file, const std::string& title, bool secure)>
      download;
  // Empty: the setting kOfflineRedirectSetting, else kOfflineRedirectHost.
  std::string redirect_host;
  // Runs the redirect look-up `ask`, which ends early once the cancel flag of the record it is
  // given is set, and returns once it has ended. The program runs it on a thread of its own
  // under the modal progress dialog with `title` and Cancel, so that a server that stops
  // answering never holds the window. Not installed: `ask` runs at once on the caller's thread.
  std::function<void(const std::string& title,
                     const std::function<void(CDownloadProgress& job)>& ask)>
      lookup;
};

class COfflineData {
 public:
  explicit COfflineData(OfflineDataServices services) : services_(std::move(services)) {}

  // The local file of the offline data `kind` ("qed" or "vdq") for the chart at chart_path
  // whose data is published as `name`: "" or "none" (the cached answer that the server has
  // nothing; it names no file) when there is none. An empty name looks only for the chart's
  // path with `kind` as extension. Unless `requery`, a cached answer that names an existing
  // file, or "none", is used without asking the server. A file found nowhere else may lie in
  // the chart's folder as "<name>.<kind>".
  std::string DownloadOfflineData(const std::string& chart_path, const std::string& name,
                                  const std::string& kind, bool requery);

  // DownloadOfflineData of kind "qed" without requery, then OpenElevationFile on the result.
  void FindElevationFile(const std::string& chart_path, const std::string& name);

  // Opens `path` with its extension replaced by ".qed" as the elevation file and stores that
  // path as the setting "qedfile". False when the file is missing (the open file stays) or does
  // not open (no elevation file is open afterwards).
  bool OpenElevationFile(const std::string& path);

  // Start-up: opens the file named by the setting "qedfile" (default program_folder +
  // "/elevation.qed") when it exists; the outcome is not reported.
  void OpenSavedElevationFile(const std::string& program_folder);

  // The program installs a download that shows its progress dialog (see OfflineDataServices).
  void set_download(decltype(OfflineDataServices::download) download) {
    services_.download = std::move(download);
  }
  void set_lookup(decltype(OfflineDataServices::lookup) lookup) {
    services_.lookup = std::move(lookup);
  }

  CElevationFile& elevation_file() { return elevation_file_; }
  const CElevationFile& elevation_file() const { return elevation_file_; }

 private:
  // Asks the redirect service where `name`'s data lives, fetches it into map_store and gives
  // the local path ("" when any step fails). cancelled: the user stopped the look-up, so
  // nothing is known about the data.
  std::string QueryServer(const std::string& map_store, const std::string& name,
                          const std::string& kind, bool& cancelled);

  OfflineDataServices services_;
  CElevationFile elevation_file_;
};

// Unpacks the gzip file `source` into `target`, replacing it only when the whole stream was
// read and written; false (and `target` untouched) on any failure, including a damaged or
// truncated stream.
bool GunzipFile(const std::string& source, const std::string& target);
