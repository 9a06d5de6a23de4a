#pragma once
// The viewer's catalogue of the raster charts in the registered map folders and the default
// chart folder: scans them for "*.QCT" files, keeps the folder list file, and answers the chart
// view's questions (charts at a position, the best chart for a scale, the next chart of less or
// more detail, the order of chart lists). Records are kept by scale, the most detailed first.
// Listener<ChartFolderCatalogue> subscribers hear of every rescan. User-interface thread only.
//
// It also downloads single charts and map packages (".vdpkg") from the map store into the local
// package folder and checks the local packages for updates by downloading them again. Downloads
// run with the progress dialog and return once they have ended.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "charts/chart_outline_catalogue.h"
#include "geodesy/geo_point.h"
#include "viewer_lib/geo_rect.h"

// Where the catalogue looks; no trailing '/'.
struct ChartCatalogueFolders {
  std::string documents;       // a root folder; holds the folder list file
  std::string local_data;      // a root folder, as is its "cache" subfolder
  std::string default_charts;  // scanned on every rescan
};

// The order of chart lists: mode 0 by name, 1 by scale (most detailed first), 2 charts at a
// reference position first, then nearer ones.
struct ChartListOrder {
  struct Reference {
    double lat = 0;
    double lon = 0;
    double lat_factor = 0;  // length of a degree of latitude, longitude in any common unit
    double lon_factor = 0;
  };
  int mode = 1;
  std::optional<Reference> reference;  // mode 2 sorts as mode 1 without one

  // Whether `a` comes before `b`.
  bool Before(CChartOutline& a, CChartOutline& b) const;
};

class QWidget;

class ChartFolderCatalogue : public ChartCatalogue {
 public:
  static constexpr char kFolderListName[] = "map_folders.txt";
  static constexpr char kDownloadTitle[] = "Downloading Map...";
  static constexpr char kNoPackagesCaption[] = "No Packages to Check";
  static constexpr char kNoPackagesText[] = "Check for Map Updates only works with KVX Packages";

  // Where packages go: the local application data folder (or, with the switch set, the
  // documents folder) + "/KVX".
  static std::string GetKvxBaseFolder();
  static inline bool kvx_in_documents = false;

  // Registers the root folders and those of the folder list file, then rescans.
  explicit ChartFolderCatalogue(ChartCatalogueFolders folders);
  ~ChartFolderCatalogue() override;

  // The program's catalogue, which the chart views use; null while there is none. A
  // catalogue stops being current when it is destroyed.
  static ChartFolderCatalogue* Current();
  static void SetCurrent(ChartFolderCatalogue* catalogue);
  // The current catalogue; the program's own (documents, local application data and default
  // chart folders, the map types chart lists show as keys) is made when there is none.
  static ChartFolderCatalogue& Obtain();

  // A folder not known yet by its unique identifier is appended to the folder list file (a file
  // that can't be written is skipped) and registered when it is a directory.
  void AddMapFolder(const std::string& folder);
  // Rebuilds the charts from the folders; the open chart is found again when its file is
  // still there. Subscribers are told afterwards.
  void Rescan();
  // Rescans when a root folder was marked changed.
  void RescanIfChanged();
  // Marks the root folder at `folder` changed (downloads into it do).
  void MarkFolderChanged(const std::string& folder);

  // Appends every chart whose outline contains the position, in catalogue order.
  void ChartsAt(double lat, double lon, std::vector<CChartOutline*>& out);
  // The chart at the position whose scale is nearest the wanted one by ratio (wanted 0: the
  // most detailed); among equals the earlier. Charts failing the key filter count only when
  // `include_filtered` is set, or when nothing else is found.
  CChartOutline* FindBestScaleChart(double lat, double lon, double wanted_scale,
                                    bool include_filtered);
  // From the open chart, the next chart of less (Next) or more (Prev) detail that contains
  // the position and passes the key filter; null without an open chart or at the end.
  CChartOutline* NextChartAt(double lat, double lon);
  CChartOutline* PrevChartAt(double lat, double lon);
  CChartOutline* FindOrAddEntry(const std::string& path) { return FindOrAdd(path); }
  // Deletes the chart file and its ".qc3" companion (a chunk store folder or a file), then the
  // record. False, with the record kept, when the chart file stays on disk.
  bool DeletePackage(CChartOutline* record);
  bool DeleteChart(CChartOutline* record) { return DeletePackage(record); }

  // The rectangle (x longitude, y latitude) and the record's bounding box share a positive area.
  static bool OverlapsBox(const CChartOutline& record, const GeoRect& rectangle);
  // Keeps the points (lat, lon) inside the record's outline; false, the list untouched, when
  // the record has no outline.
  static bool FilterInside(CChartOutline& record, std::vector<GeoPoint>& points);
  // The URL's part from "/KVX/" on (without "/KVX") ends the local path.
  static bool UrlMatchesLocal(std::string_view url, std::string_view local_path);

  // ---- Packages ----
  // The ".vdpkg" files of the package folder, by the numbers in their names.
  std::vector<std::string> PackageNames() const;
  // Downloads a chart or package (URL; a path without host is on the map store's server) into
  // the package folder: below it, the URL's path after "KVX", or the whole path. A package is
  // downloaded afresh and its charts fetched; a chart already there is not downloaded again.
  // The chart, or the package's charts and folders, join the catalogue. target: the local
  // path (empty for a URL that would leave the package folder). True when it all arrived.
  bool DownloadPackage(QWidget* window, const std::string& url, std::string& target);
  // As if the package or chart at `path` had just been downloaded: the package's missing
  // files are fetched and its charts read again.
  bool Refresh(QWidget* window, const std::string& path);
  // Downloads every local package again from the map store, one after another, until one
  // fails; without any, says so. True when every package came.
  bool CheckForUpdates(QWidget* window);
  // Set while a download runs.
  const std::string& pending_target() const { return pending_target_; }

  // Map types that pass the key filter of stepping and scale searches (the owner fills it,
  // normally from the map types chart lists show).
  std::set<std::string> keys;

 private:
  struct RootFolder {
    std::string path;
    uint64_t changed = 0;
  };
  void Register(const std::string& folder);
  // The end of a download of the pending target.
  bool CompleteDownload(bool ok);
  void OnPackageDownloaded(const std::string& package);
  void ScanFolder(const std::string& folder);
  bool PassesKeys(const CChartOutline& record) const { return keys.count(record.map_type) != 0; }
  CChartOutline* BestScale(double lat, double lon, double wanted_scale, bool include_filtered);
  // The open chart's place in the catalogue, charts_.end() without one.
  Charts::iterator OpenChartEntry();
  bool Steppable(CChartOutline& record, double lat, double lon) const {
    return PassesKeys(record) && record.ContainsPoint(lat, lon);
  }

  ChartCatalogueFolders folders_;
  std::map<uint64_t, RootFolder> roots_;
  std::map<uint64_t, std::string> scanned_;  // folders of the current pass
  std::string pending_target_;
  QWidget* pending_window_ = nullptr;
  bool rescan_request_ = false;
};
