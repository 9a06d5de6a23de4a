#pragma once
// Map-data downloads of downloadable (chunk-store) charts: the chunks inside a polygon, along a
// route corridor, or of the whole chart, fetched by the chart's four-worker download on a
// thread of its own while the progress dialog shows how far it got and offers Cancel. The
// user-interface thread stays free meanwhile. Chunks are written into the chart's store as they
// arrive, so Cancel keeps what was fetched and the next download goes on from there; a failure
// leaves the store as it was apart from the chunks that came whole.
//
// The program's chart views let go of the chart before the download (its store gets one
// writer) and open it again afterwards, through the hooks the program installs.
//
// Shares the progress record of package downloads (PackageDownloadProgress): one download at a
// time; a download asked for while another runs is refused. User-interface thread only.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "geodesy/plane_geometry.h"

class QWidget;

struct MapDataChartHooks {
  // Every view showing the chart lets go of it.
  std::function<void(const std::string& chart_path)> stop_chart;
  // The views that showed it open it again.
  std::function<void(const std::string& chart_path)> reload_chart;
};
// Installed by the program at start-up; empty hooks do nothing.
void SetMapDataChartHooks(MapDataChartHooks hooks);

// The message of the progress dialog.
inline constexpr char kMapDataDownloadMessage[] = "Downloading map data...";

// Results of the downloads.
enum MapDataResult : int {
  kMapDataComplete = 1,     // every chunk asked for is in the store
  kMapDataNotStarted = 0,   // the chart does not open or is not downloadable, or busy
  kMapDataIncomplete = 2,   // ended with chunks missing; the error was shown
  kMapDataCancelled = -1,   // cancelled, or the store can't be written ("Map storage is not
                            // writable!" was shown)
};

// Downloads the chunks of the chart at chart_path inside the polygon of chart pixels (polygon
// true) or within corridor_m metres of the line through them (polygon false), or every chunk
// of the chart when `cells` is empty. Returns once the download has ended and the chart is
// open again in the views.
int DownloadMapDataPixels(QWidget* parent, const std::string& chart_path,
                          std::vector<PlanePoint> cells, bool polygon, double corridor_m);
// The same with points given as (longitude, latitude) pairs in degrees, converted through the
// chart's georeference.
int DownloadMapData(QWidget* parent, const std::string& chart_path,
                    const std::vector<std::pair<double, double>>& lon_lat, bool polygon,
                    double corridor_m);
// Every chunk of the chart; a chart whose chunks are fetched only while viewed (online flag) is
// not downloaded. The progress message adds the chart's size on its server and the free space.
int DownloadMapDataForChart(QWidget* parent, const std::string& chart_path);
