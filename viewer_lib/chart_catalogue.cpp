#include "viewer_lib/chart_catalogue.h"

#include <algorithm>
#include <cmath>

#include "core/file_utils.h"
#include "core/listener.h"
#include "core/path_utils.h"
#include "core/standard_folders.h"
#include "core/string_utils.h"
#include "geodesy/geo_bounds.h"
#include "platform/os/files.h"

namespace {

// A wanted scale of 0 asks for the most detailed chart: a tiny wanted scale does that.
constexpr double kSmallestWantedScale = 1e-08;

bool IsChartFileName(const std::string& name) { return PathHasExtension(name, "QCT"); }

ChartFolderCatalogue* current_catalogue = nullptr;

}  // namespace

bool ChartListOrder::Before(CChartOutline& a, CChartOutline& b) const {
  if (mode == 0) return CompareNatural(a.name, b.name) < 0;
  if (mode == 2 && reference && reference->lat_factor != 0) {
    const Reference& r = *reference;
    const bool a_in = a.ContainsPoint(r.lat, r.lon);
    const bool b_in = b.ContainsPoint(r.lat, r.lon);
    if (a_in != b_in) return a_in;
    if (!a_in) {
      const auto distance = [&r](const CChartOutline& c) {
        const double lat = (c.min_lat + c.max_lat) / 2;
        const double lon = (c.min_lon + c.max_lon) / 2;
        return std::hypot((lat - r.lat) * r.lat_factor, (lon - r.lon) * r.lon_factor);
      };
      return distance(a) < distance(b);
    }
  }
  return a.scale < b.scale;
}

ChartFolderCatalogue::ChartFolderCatalogue(ChartCatalogueFolders folders)
    : folders_(std::move(folders)) {
  for (const std::string& root :
       {folders_.documents, folders_.local_data + "/cache", folders_.local_data}) {
    Register(root);
  }
  std::string list;
  if (vd::os::ReadWholeFile(folders_.documents + "/" + kFolderListName, list)) {
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find('\n', start);
      if (end == std::string::npos) end = list.size();
      std::string line = list.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) Register(line);
      start = end + 1;
    }
  }
  Rescan();
}

ChartFolderCatalogue::~ChartFolderCatalogue() {
  if (current_catalogue == this) current_catalogue = nullptr;
}

ChartFolderCatalogue* ChartFolderCatalogue::Current() { return current_catalogue; }

void ChartFolderCatalogue::SetCurrent(ChartFolderCatalogue* catalogue) {
  current_catalogue = catalogue;
}

void ChartFolderCatalogue::Register(const std::string& folder) {
  if (folder.empty() || !vd::os::IsDirectory(folder)) return;
  roots_[GetFileUniqueId(folder)] = RootFolder{folder, 0};
}

void ChartFolderCatalogue::AddMapFolder(const std::string& folder) {
  const uint64_t id = GetFileUniqueId(folder);
  if (id != 0 && roots_.count(id)) return;
  vd::os::File list;
  if (list.Open(folders_.documents + "/" + kFolderListName, vd::os::File::Mode::Append)) {
    const std::string line = "\n" + folder;
    list.Write(line.data(), line.size());
  }
  Register(folder);
}

void ChartFolderCatalogue::MarkFolderChanged(const std::string& folder) {
  auto it = roots_.find(GetFileUniqueId(folder));
  if (it != roots_.end()) it->second.changed = 1;
}

void ChartFolderCatalogue::ScanFolder(const std::string& folder) {
  const uint64_t id = GetFileUniqueId(folder);
  if (id != 0 && !scanned_.emplace(id, folder).second) return;
  std::vector<vd::os::DirEntry> entries;
  if (!vd::os::ListFolder(folder, entries)) return;
  for (const vd::os::DirEntry& entry : entries) {
    if (entry.is_dir || !IsChartFileName(entry.name)) continue;
    auto record = std::make_unique<CChartOutline>();
    if (record->ReadHeader(folder + "/" + entry.name) && record->scale != 0) {
      Insert(std::move(record));
    }
  }
  for (const vd::os::DirEntry& entry : entries) {
    if (entry.is_dir) ScanFolder(folder + "/" + entry.name);
  }
}

void ChartFolderCatalogue::Rescan() {
  scanned_.clear();
  const std::string open_path = open_chart_ ? open_chart_->path() : std::string();
  open_chart_ = nullptr;
  charts_.clear();
  for (auto& [id, root] : roots_) {
    ScanFolder(root.path);
    root.changed = 0;
  }
  if (!folders_.default_charts.empty()) ScanFolder(folders_.default_charts);
  if (!open_path.empty() && vd::os::FileExists(open_path)) open_chart_ = FindOrAdd(open_path);
  Listener<ChartFolderCatalogue>::Fire(*this);
}

void ChartFolderCatalogue::RescanIfChanged() {
  if (std::any_of(roots_.begin(), roots_.end(),
                  [](const auto& root) { return root.second.changed != 0; })) {
    Rescan();
  }
}

void ChartFolderCatalogue::ChartsAt(double lat, double lon, std::vector<CChartOutline*>& out) {
  for (auto& [scale, record] : charts_) {
    if (record->ContainsPoint(lat, lon)) out.push_back(record.get());
  }
}

CChartOutline* ChartFolderCatalogue::BestScale(double lat, double lon, double wanted_scale,
                                               bool include_filtered) {
  CChartOutline* best = nullptr;
  double best_ratio = 0;
  for (auto& [scale, record] : charts_) {
    if (record->scale == 0 || (!include_filtered && !PassesKeys(*record)) ||
        !record->ContainsPoint(lat, lon)) {
      continue;
    }
    double ratio = wanted_scale / record->scale;
    if (ratio > 1) ratio = 1 / ratio;
    if (!best || ratio > best_ratio) {
      best = record.get();
      best_ratio = ratio;
    }
  }
  return best;
}

CChartOutline* ChartFolderCatalogue::FindBestScaleChart(double lat, double lon,
                                                        double wanted_scale,
                                                        bool include_filtered) {
  if (wanted_scale == 0) wanted_scale = kSmallestWantedScale;
  CChartOutline* best = BestScale(lat, lon, wanted_scale, include_filtered);
  if (!best && !include_filtered) best = BestScale(lat, lon, wanted_scale, true);
  return best;
}

ChartCatalogue::Charts::iterator ChartFolderCatalogue::OpenChartEntry() {
  return std::find_if(charts_.begin(), charts_.end(),
                      [this](const auto& entry) { return entry.second.get() == open_chart_; });
}

CChartOutline* ChartFolderCatalogue::NextChartAt(double lat, double lon) {
  if (!open_chart_) return nullptr;
  auto it = OpenChartEntry();
  if (it == charts_.end()) return nullptr;
  for (++it; it != charts_.end(); ++it) {
    if (Steppable(*it->second, lat, lon)) return it->second.get();
  }
  return nullptr;
}

CChartOutline* ChartFolderCatalogue::PrevChartAt(double lat, double lon) {
  if (!open_chart_) return nullptr;
  auto it = OpenChartEntry();
  if (it == charts_.end()) return nullptr;
  while (it != charts_.begin()) {
    --it;
    if (Steppable(*it->second, lat, lon)) return it->second.get();
  }
  return nullptr;
}

bool ChartFolderCatalogue::DeletePackage(CChartOutline* record) {
  const std::string path = record->path();
  if (vd::os::FileExists(path) && !vd::os::RemoveFile(path)) return false;
  const std::string store = ReplacePathExtension(path, "qc3");
  if (vd::os::IsDirectory(store)) {
    DeleteFolderTree(store);
  } else {
    vd::os::RemoveFile(store);
  }
  Remove(record);
  return true;
}

bool ChartFolderCatalogue::OverlapsBox(const CChartOutline& record, const GeoRect& rectangle) {
  const double south = std::min(rectangle.top, rectangle.bottom);
  const double north = std::max(rectangle.top, rectangle.bottom);
  return rectangle.left < record.max_lon && rectangle.right > record.min_lon &&
         south < record.max_lat && north > record.min_lat;
}

bool ChartFolderCatalogue::FilterInside(CChartOutline& record, std::vector<GeoPoint>& points) {
  if (!record.EnsurePoints()) return false;
  std::erase_if(points, [&record](const GeoPoint& p) {
    return !PointInPolygonVec(record.points, p.lat, p.lon);
  });
  return true;
}

bool ChartFolderCatalogue::UrlMatchesLocal(std::string_view url, std::string_view local_path) {
  const size_t at = url.find("/KVX/");
  if (at == std::string_view::npos) return false;
  const std::string_view rest = url.substr(at + 4);  // from the '/' after "KVX"
  return local_path.size() >= rest.size() && local_path.ends_with(rest);
}
