// Chart windows, the chart library, and files and activity links opened by type.
#include <sys/stat.h>

#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <set>

#include "charts/ui/map_data_download.h"
#include "charts/ui/package_download.h"
#include "charts/vdpkg_file.h"
#include "app/app_common.h"
#include "core/key_value_file.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "core/ui/background_download.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "core/url_utils.h"
#include "corvex/ostrel_doc.h"
#include "corvex/startup_files.h"
#include "geodesy/projection.h"
#include "overlays/exchange/gpx_exchange.h"
#include "overlays/exchange/nmea_log_file.h"
#include "overlays/exchange/shapefile.h"
#include "overlays/exchange/tagged_text_file.h"
#include "overlays/obj_waypoint.h"
#include "overlays/object_list.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"

namespace {

// Steps of the bar of a file's reading.
constexpr int kReadingProgressRange = 1000;

std::string ImportingText(const std::string& path) {
  return "Importing " + GetPathFileName(path) + "...";
}

// The place a new chart window opens at: the chart's own centre and scale, maximised.
CViewPlacement NewWindowPlacement(const std::string& chart_path) {
  CViewPlacement placement;
  placement.chart_path = chart_path;
  return placement;
}

std::string WithSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string WithBackslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// A path below a base folder taken from a link: not empty, relative, no "..", no NUL, no
// drive prefix and no empty part. '\' counts as a separator.
bool IsSafeRelativePath(std::string path) {
  path = WithSlashes(std::move(path));
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) return false;
  if (path.size() >= 2 && path[1] == ':') return false;
  for (const std::string& part : SplitString(path, "/")) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  return true;
}

// A position of an activity link; false when either value is missing or out of range.
bool ReadLinkPosition(const CKeyValueFile& values, double& lat, double& lon) {
  constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
  lat = values.GetDouble("lat", kMissing);
  lon = values.GetDouble("lon", kMissing);
  return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 &&
         std::fabs(lon) <= 180.0;
}

// "rrggbb" (two hex digits each, '#' allowed before) as a colour reference.
std::optional<vd::ui::ColourRef> ParseLinkColour(std::string text) {
  if (!text.empty() && text.front() == '#') text.erase(0, 1);
  if (text.size() != 6) return std::nullopt;
  uint32_t channels[3];
  for (int i = 0; i < 3; ++i) {
    const char high = text[2 * i];
    const char low = text[2 * i + 1];
    if (!std::isxdigit(static_cast<unsigned char>(high)) ||
        !std::isxdigit(static_cast<unsigned char>(low))) {
      return std::nullopt;
    }
    channels[i] = static_cast<uint32_t>(HexDigitValue(high) * 16 + HexDigitValue(low));
  }
  return channels[0] | channels[1] << 8 | channels[2] << 16;
}

// A link that a mark made from an activity link may keep: a web address, or a document that
// exists and is not a program.
bool IsSafeMarkLink(const std::string& link) {
  std::string lower = link;
  StringToLower(lower);
  if (lower.starts_with("http://") || lower.starts_with("https://")) return true;
  struct stat info {};
  return ::stat(link.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0;
}

}  // namespace

void COstrelDoc::ReportNotAvailable(const std::string& what) {
  FormatMessageBox(vd::ui::kMbIconError, "%s is not available in this version", what.c_str());
}

std::string COstrelDoc::FileEnding(const std::string& path) {
  std::string ending = GetExtensionOfPath(path);
  StringToLower(ending);
  return ending;
}

// ---- Chart views ----

COldChartOutline* COstrelDoc::BestOutlineAt(double lat, double lon, double scale,
                                            const std::string& except_path) const {
  COldChartOutline* best = nullptr;
  float best_score = 0.0f;
  for (COstrelObject* object : objects_) {
    if (!object->IsKindOf(COldChartOutline::kClass)) continue;
    auto* outline = static_cast<COldChartOutline*>(object);
    if (!except_path.empty() && outline->chart_path == except_path) continue;
    // Strictly better only: the first of equals wins.
    const float score = outline->ScaleMatch(lat, lon, scale);
    if (score > best_score) {
      best_score = score;
      best = outline;
    }
  }
  return best;
}

void COstrelDoc::OpenBestChartAt(double lat, double lon, double scale, double factor, int mode) {
  COldChartOutline* best = BestOutlineAt(lat, lon, scale);
  if (!best) return;
  OpenChartViewAt(*best, lat, lon, (scale == 0.0 ? best->scale : scale) * factor, mode);
}

void COstrelDoc::OpenChartViewAt(COldChartOutline& outline, double lat, double lon, double scale,
                                 int mode) {
  if (CDocView* view = OpenChartView(outline.chart_path, true)) {
    view->CentreAt(lat, lon, scale, mode);
  }
}

CDocView* COstrelDoc::OpenChartView(const std::string& path, bool create) {
  CDocView* last = nullptr;
  for (CDocView* view : views_) {
    if (view->GetChartPath() == path) return view;
    last = view;
  }
  if (!create) return nullptr;
  if (last) return last->OpenChartFile(path) ? last : nullptr;
  pending_placement_ = NewWindowPlacement(path);
  CDocView* view = GetFreeChartView();
  pending_placement_.reset();
  return view && view->GetChartPath() == path ? view : nullptr;
}

CDocView* COstrelDoc::OpenChartInNewWindow(const std::string& path) {
  if (!host_) return nullptr;
  pending_placement_ = NewWindowPlacement(path);
  CDocView* view = host_->CreateChartFrame();
  pending_placement_.reset();
  return view;
}

CDocView* COstrelDoc::GetFreeChartView() {
  for (CDocView* view : views_) {
    if (!view->GetChartPath().empty()) continue;
    if (host_) host_->ShowFrameOf(view);
    // A view made earlier has read its placement already: it gets the pending one here.
    if (pending_placement_ && !pending_placement_->chart_path.empty() &&
        view->OpenChartFile(pending_placement_->chart_path) &&
        (pending_placement_->lat != 0.0 || pending_placement_->lon != 0.0)) {
      view->CentreAt(pending_placement_->lat, pending_placement_->lon, pending_placement_->scale,
                     0);
    }
    return view;
  }
  return host_ ? host_->CreateChartFrame() : nullptr;
}

void COstrelDoc::AddObjectsAndShow(ObjectList& list) {
  if (list.empty()) return;
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
  const bool has_extent = GetListBounds(list, north, south, east, west);
  const CLatLon centre((north + south) / 2.0, (east + west) / 2.0);
  const double scale = has_extent ? CLatLon(south, west).DistanceTo(centre) * 0.0002 : 0.0;
  MergeImportedObjects(objects_, list);
  if (!has_extent) return;
  // The box of objects across the 180° meridian runs east beyond 180.
  const double lon = centre.lon > 180.0 ? centre.lon - 360.0 : centre.lon;
  OpenBestChartAt(centre.lat, lon, scale, 16.0, 1);
}

void COstrelDoc::OpenMapShop(const std::vector<GeoPoint>& area, const std::string& chart_path,
                             bool download_area) {
  if (!host_) return;
  std::vector<std::pair<double, double>> lon_lat;
  if (download_area && area.size() > 2) {
    for (const GeoPoint& point : area) lon_lat.emplace_back(point.lon, point.lat);
  }
  for (const std::string& path : host_->RunMapShop(area, chart_path)) {
    OpenFileByType(path);
    if (lon_lat.empty()) continue;
    // A package's first chart stands for it, as when it opens.
    const std::string chart = PathHasExtension(path, "vdpkg") ? ReadPackageInfo(path) : path;
    const COldChartOutline* outline = FindChartOutline(chart);
    // The views showing the chart let go of it meanwhile and open it again afterwards.
    if (outline && outline->IsChunkStore()) {
      DownloadMapData(main_window_, outline->chart_path, lon_lat, true, 0);
    }
  }
}

void COstrelDoc::SyncViewsTo(CDocView* source, double lat, double lon) {
  for (CDocView* view : views_) {
    if (view != source && !view->IsLockedOn()) view->CentreKeepingZoom(lat, lon);
  }
}

void COstrelDoc::SetPositionMarkerInViews(double lat, double lon) {
  for (CDocView* view : views_) view->SetPositionMarker(lat, lon);
}

namespace {

// The document whose views the map-data downloads stop and reopen.
COstrelDoc* g_map_data_document = nullptr;

}  // namespace

void COstrelDoc::InstallMapDataHooks() {
  g_map_data_document = this;
  MapDataChartHooks hooks;
  hooks.stop_chart = [this](const std::string& path) {
    for (CDocView* view : views_) {
      if (view->GetChartPath() == path) view->ParkChart();
    }
  };
  hooks.reload_chart = [this](const std::string& path) {
    const std::vector<CDocView*> views = views_;
    for (CDocView* view : views) {
      if (view->ParkedChartPath() == path) view->ReopenParkedChart();
    }
  };
  SetMapDataChartHooks(std::move(hooks));
}

void COstrelDoc::RemoveMapDataHooks() {
  if (g_map_data_document != this) return;
  g_map_data_document = nullptr;
  SetMapDataChartHooks({});
}

void COstrelDoc::RefreshViewsOfChartFile(const std::string& path) {
  const std::string backslashed = WithBackslashes(path);
  const std::vector<CDocView*> views = views_;
  for (CDocView* view : views) {
    const std::string shown = view->GetChartPath();
    if (!shown.empty() && (shown == path || shown == backslashed)) view->ReloadChartFile();
  }
}

void COstrelDoc::RefreshViewsOfChart(const COldChartOutline& outline) {
  RefreshViewsOfChartFile(outline.chart_path);
}

// ---- The chart library ----

void COstrelDoc::RescanChartFolders(bool first_load, bool rebuild) {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  std::vector<std::string> dirs;
  LoadChartDirs(profile, dirs);
  {
    CCurrentOwnerScope owner(this);
    RefreshChartList(objects_, std::set<std::string>(dirs.begin(), dirs.end()), first_load,
                     rebuild, main_window_);
  }
  for (COstrelObject* object : objects_) {
    if (object->IsKindOf(COldChartOutline::kClass)) object->SetVisible(show_chart_outlines_);
  }
  UpdateAllViews(nullptr, kChangeAdded, nullptr);
}

COldChartOutline* COstrelDoc::FindChartOutline(const std::string& path) const {
  const std::string wanted = WithSlashes(path);
  for (COstrelObject* object : objects_) {
    if (!object->IsKindOf(COldChartOutline::kClass)) continue;
    auto* outline = static_cast<COldChartOutline*>(object);
    if (outline->chart_path == wanted || outline->source_path == wanted) return outline;
  }
  return nullptr;
}

COldChartOutline* COstrelDoc::FindOrAddChartOutline(const std::string& path) {
  std::string chart = path;
  if (PathHasExtension(path, "vdpkg")) {
    // A package brings its files down first; its first chart stands for it.
    DownloadMapPackage(main_window_, path);
    chart = ReadPackageInfo(path);
    if (chart.empty() || !vd::os::FileExists(chart)) return nullptr;
  }
  if (COldChartOutline* outline = FindChartOutline(chart)) return outline;
  CCurrentOwnerScope owner(this);
  return AddChartToList(objects_, WithSlashes(chart));
}

// ---- Files by type ----

void COstrelDoc::OpenFileByType(const std::string& path) {
  std::string scheme, host, url_path, query;
  SplitUrlQuery(path, scheme, host, url_path, query);
  if (!query.empty()) {
    std::string command = url_path;
    while (!command.empty() && command.front() == '/') command.erase(0, 1);
    while (!command.empty() && command.back() == '/') command.pop_back();
    ExecuteActivityCommand(command.empty() ? host : command, query);
    return;
  }
  if (PathHasExtension(path, "nmea") || PathHasExtension(path, "txt")) {
    ImportNmeaFile(path);
  } else if (PathHasExtension(path, "qct") || PathHasExtension(path, "vdpkg")) {
    if (COldChartOutline* outline = FindOrAddChartOutline(path)) {
      OpenChartView(outline->chart_path, true);
    }
  } else if (PathHasExtension(path, "qed")) {
    if (CAppCommon* app = CAppCommon::Instance()) app->OpenElevationFile(path);
  } else if (PathHasExtension(path, "vdq")) {
    search_index_path_ = path;
  } else {
    ImportOverlayFile(path);
  }
}

void COstrelDoc::ImportOverlayFile(const std::string& path) {
  const std::string ending = FileEnding(path);
  if (ending == "vdo") {
    LoadUserData(path, false, true);
  } else if (ending == "csv") {
    std::string error;
    bool cancelled = false;
    {
      std::unique_ptr<CProgress> window;
      ::ImportTextFile(path, *this, &error, ReadingProgress(window, ImportingText(path)),
                       &cancelled);
    }
    if (!cancelled && !error.empty()) MessageBoxPrintf(main_window_, vd::ui::kMbIconError, "%s", error.c_str());
  } else if (ending == "loc" || ending == "gpx" || ending == "xml" || ending == "tcx") {
    ImportIntoList(path, [&](ObjectList& list, const ProgressFn& progress) {
      return ImportXmlTrackFile(path, list, progress);
    });
  } else if (ending == "nmea") {
    ImportNmeaFile(path);
  } else if (ending == "shp") {
    ShapefileImportOptions options;
    CProjection projection;
    if (host_ && host_->AskShapefileImport(path, options, projection)) {
      ImportIntoList(path, [&](ObjectList& list, const ProgressFn& progress) {
        return ImportShapefile(path, list, options, projection, progress);
      });
    }
  } else if (ending.empty()) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", "Unknown file type");
  } else {
    FormatMessageBox(vd::ui::kMbIconError, "Unknown file type: %s", ending.c_str());
  }
}

void COstrelDoc::ImportNmeaFile(const std::string& path) {
  ImportIntoList(path, [&](ObjectList& list, const ProgressFn& progress) {
    return ::ImportNmeaFile(path, list, progress);
  });
}

ProgressFn COstrelDoc::ReadingProgress(std::unique_ptr<CProgress>& window,
                                       const std::string& text) const {
  // Over the main window: the frame that hosts the chart windows is it.
  QWidget* parent = main_window_ ? main_window_ : dynamic_cast<QWidget*>(host_);
  if (!parent) return {};
  return [&window, parent, text](int64_t done, int64_t total) {
    if (!window) window = std::make_unique<CProgress>(text, kReadingProgressRange, parent);
    return window->SetPos64(done, total);
  };
}

void COstrelDoc::ImportIntoList(
    const std::string& path,
    const std::function<ExchangeRead(ObjectList&, const ProgressFn&)>& read) {
  ObjectList list;
  ExchangeRead result;
  {
    // The reader's objects belong to this document; the views hear of them once, at the end.
    CCurrentOwnerScope owner(this);
    const bool notifications = COstrelObject::NotificationsEnabled();
    COstrelObject::SetNotificationsEnabled(false);
    {
      std::unique_ptr<CProgress> window;
      result = read(list, ReadingProgress(window, ImportingText(path)));
    }
    if (result.cancelled) {
      for (COstrelObject* object : list) object->Release();
      list.clear();
    } else {
      AddObjectsAndShow(list);
    }
    COstrelObject::SetNotificationsEnabled(notifications);
  }
  if (result.cancelled) return;
  UpdateAllViews(nullptr, 0, nullptr);
  if (!result.error.empty()) MessageBoxPrintf(main_window_, vd::ui::kMbIconError, "%s", result.error.c_str());
}

// ---- Activity links ----

void COstrelDoc::ExecuteActivityCommand(const std::string& command, const std::string& query) {
  if (command == "fetch" || command == "open") {
    FetchChart(query, command == "fetch");
  } else if (command == "view") {
    ShowActivityView(query);
  } else if (command == "mark") {
    ShowActivityMark(query);
  } else {
    ReportNotUnderstood(command);
  }
}

void COstrelDoc::ReportNotUnderstood(const std::string& command) {
  FormatMessageBox(vd::ui::kMbOk, "Activity Command not understood: \"%s\"", command.c_str());
}

void COstrelDoc::FetchChart(const std::string& url, bool always_download) {
  std::string scheme, host, path, query;
  SplitUrlQuery(url, scheme, host, path, query);
  const bool package = PathHasExtension(path, "vdpkg");
  // A path below "/KVX/" keeps its folders below the map store; any other only its name.
  const size_t store_part = path.find("/KVX/");
  const std::string relative =
      store_part != std::string::npos ? path.substr(store_part + 5) : GetPathFileName(path);
  if ((scheme != "http" && scheme != "https") || host.empty() ||
      !(package || PathHasExtension(path, "qct")) || !IsSafeRelativePath(relative)) {
    ReportNotUnderstood(url);
    return;
  }
  const std::string local = CAppCommon::GetKvxFolder() + "/" + WithSlashes(relative);
  // A fresh copy replaces the old one only once it has arrived whole.
  if (always_download || !vd::os::FileExists(local)) {
    vd::os::MakeFolders(GetFolderOfPath(local));
    const std::string remote = query.empty() ? path : path + "?" + query;
    DownloadWithProgress(main_window_, host, remote, local, "Downloading file", scheme == "https");
  }
  if (vd::os::FileExists(local)) OpenFileByType(local);
}

void COstrelDoc::ShowActivityView(const std::string& query) {
  CKeyValueFile values;
  values.ParseLine(query);
  double lat = 0.0, lon = 0.0;
  if (!ReadLinkPosition(values, lat, lon)) {
    ReportNotUnderstood("view?" + query);
    return;
  }
  OpenBestChartAt(lat, lon, values.GetDouble("scale", 0.0) * 0.00004, 2.0, 1);
}

void COstrelDoc::ShowActivityMark(const std::string& query) {
  CKeyValueFile values;
  values.ParseLine(query);
  double lat = 0.0, lon = 0.0;
  if (!ReadLinkPosition(values, lat, lon)) {
    ReportNotUnderstood("mark?" + query);
    return;
  }
  OpenBestChartAt(lat, lon, 0.0, 2.0, 1);
  CCurrentOwnerScope owner(this);
  CObjWaypoint* mark = Insert(new CObjWaypoint, false);
  mark->position = {lat, lon};
  mark->name = values.GetStringOr("name", "Mark");
  mark->being_placed = false;
  if (const std::string* icon = values.Find("icon")) mark->SetSymbolByName(*icon);
  if (const std::string* text = values.Find("color")) {
    if (const auto colour = ParseLinkColour(*text)) mark->colour = *colour;
  }
  if (const std::string* category = values.Find("category")) mark->SetCategory(*category);
  if (const std::string* link = values.Find("link"); link && IsSafeMarkLink(*link)) {
    mark->link = *link;
  }
  mark->NotifyChange(kChangeModified);
}
