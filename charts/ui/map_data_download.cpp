#include "charts/ui/map_data_download.h"

#include <cinttypes>
#include <memory>

#include "charts/quick_chart.h"
#include "charts/quick_chart3.h"
#include "charts/ui/package_download.h"
#include "core/download_progress.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/string_utils.h"
#include "core/ui/dlg_progress.h"
#include "core/ui/message_boxes.h"
#include "platform/os/numbers.h"

namespace {

MapDataChartHooks& Hooks() {
  static MapDataChartHooks hooks;
  return hooks;
}

// What the download thread works on; the user-interface thread reads it only after joining.
struct MapDataJob {
  std::unique_ptr<CQuickChart> chart;
  std::vector<PlanePoint> cells;
  bool polygon = false;
  double corridor_m = 0;
  std::string free_space;  // of the chart's volume, for the whole-chart message
  ChunkDownloadCounts counts;
  CDownloadProgress* progress = nullptr;
  bool complete = false;
};

// Asked before every claim and during every transfer, on the download's threads.
bool KeepGoing(void* user) {
  auto* job = static_cast<MapDataJob*>(user);
  job->progress->total = job->counts.total.load();
  job->progress->done = job->counts.claimed.load();
  return !job->progress->cancel.load();
}

void RunJob(MapDataJob& job) {
  CDownloadProgress& progress = *job.progress;
  auto* chunked = dynamic_cast<CQuickChart3*>(job.chart.get());
  // Cancel also cuts short the look-up of the chart's server.
  if (chunked) chunked->SetLookupAbort(&KeepGoing, &job);
  if (job.cells.empty()) {
    if (chunked) {
      // The size comes from the server, so it is asked here rather than before the dialog.
      progress.SetMessage(std::string(kMapDataDownloadMessage) + " (Total size " +
                          FormatByteSizeLong(chunked->GetChunkFileSize()) +
                          ". Space available " + job.free_space + ")");
      job.complete = chunked->DownloadWholeChart(job.counts, &KeepGoing, &job);
    }
  } else if (job.polygon) {
    job.complete = job.chart->DownloadPolygon(job.cells, job.counts, &KeepGoing, &job);
  } else {
    job.complete = job.chart->DownloadRoute(job.cells, job.corridor_m, job.counts, &KeepGoing, &job);
  }
  if (!job.complete && !progress.cancel.load()) {
    const int64_t failed = job.counts.failed.load();
    const int64_t total = job.counts.total.load();
    if (total == 0 && failed == 0) {
      progress.SetErrorText("No map server offers the map data of this chart.");
    } else {
      progress.SetErrorText(vd::os::FormatC(
          "The map data could not be downloaded completely: %" PRId64 " of %" PRId64
          " map areas failed. What did arrive is kept; downloading again fetches the rest.",
          failed > 0 ? failed : total - job.counts.claimed.load(), total));
    }
  }
  progress.total = 0;
  progress.SetFinished();
}

bool Busy(const CDownloadProgress& progress) {
  return progress.total.load() != 0 || progress.finished() || progress.thread.joinable();
}

void StopChart(const std::string& path) {
  if (Hooks().stop_chart) Hooks().stop_chart(path);
}

void ReloadChart(const std::string& path) {
  if (Hooks().reload_chart) Hooks().reload_chart(path);
}

// The chart with its store open, or null (a box told why when the store can't be written).
std::unique_ptr<CQuickChart> OpenForDownload(QWidget* parent, const std::string& chart_path,
                                             bool& not_writable) {
  not_writable = false;
  std::unique_ptr<CQuickChart> chart = OpenChart(chart_path);
  if (!chart) return nullptr;
  if (!chart->OpenChunkStore() || !chart->HasChunkStore()) {
    not_writable = true;
    ShowMessageBox(parent, "Problem", "Map storage is not writable!");
    return nullptr;
  }
  return chart;
}

int Run(QWidget* parent, const std::string& chart_path, std::unique_ptr<MapDataJob> job) {
  CDownloadProgress& progress = PackageDownloadProgress();
  progress.Reset();
  job->progress = &progress;
  MapDataJob* running = job.get();
  progress.thread = std::thread([running] { RunJob(*running); });
  RunWithProgress(parent, progress, kMapDataDownloadMessage);
  const bool cancelled = progress.cancel.load();
  const bool complete = running->complete;
  // The record is idle again for the next download; the thread was joined.
  progress.Reset();
  job.reset();  // the chart goes before the views open it again
  ReloadChart(chart_path);
  if (cancelled) return kMapDataCancelled;
  return complete ? kMapDataComplete : kMapDataIncomplete;
}

}  // namespace

void SetMapDataChartHooks(MapDataChartHooks hooks) { Hooks() = std::move(hooks); }

int DownloadMapDataPixels(QWidget* parent, const std::string& chart_path,
                          std::vector<PlanePoint> cells, bool polygon, double corridor_m) {
  if (Busy(PackageDownloadProgress())) return kMapDataNotStarted;
  StopChart(chart_path);
  bool not_writable = false;
  auto job = std::make_unique<MapDataJob>();
  job->chart = OpenForDownload(parent, chart_path, not_writable);
  const bool whole = cells.empty();
  if (job->chart && whole && (job->chart->header().flags & kQctFlagOnline) != 0) {
    job->chart.reset();  // its chunks come only as they are viewed
  }
  if (!job->chart) {
    ReloadChart(chart_path);
    return not_writable ? kMapDataCancelled : kMapDataNotStarted;
  }
  job->cells = std::move(cells);
  job->polygon = polygon;
  job->corridor_m = corridor_m;
  if (whole) job->free_space = FormatByteSizeLong(GetDiskFreeSpace64(GetPathDirectory(chart_path)));
  return Run(parent, chart_path, std::move(job));
}

int DownloadMapData(QWidget* parent, const std::string& chart_path,
                    const std::vector<std::pair<double, double>>& lon_lat, bool polygon,
                    double corridor_m) {
  std::vector<PlanePoint> cells;
  {
    std::unique_ptr<CQuickChart> chart = OpenChart(chart_path);
    if (!chart) return kMapDataNotStarted;
    for (const auto& [lon, lat] : lon_lat) cells.push_back(chart->LatLonToPixel(lat, lon));
  }
  // No point, no area: never the whole chart by accident.
  if (cells.empty()) return kMapDataNotStarted;
  return DownloadMapDataPixels(parent, chart_path, std::move(cells), polygon, corridor_m);
}

int DownloadMapDataForChart(QWidget* parent, const std::string& chart_path) {
  return DownloadMapDataPixels(parent, chart_path, {}, false, 0);
}
