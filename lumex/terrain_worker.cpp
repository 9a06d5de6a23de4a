#include "lumex/terrain_worker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <memory>

#include "charts/elevation_file.h"
#include "charts/old_quick_chart.h"
#include "lumex/map_polar.h"
#include "lumex/map_square.h"

namespace {
constexpr float kFullCircle = 6.2831855f;
// Added to the thread's nice value, so that drawing keeps the upper hand.
constexpr int kBelowNormal = 5;
}  // namespace

TerrainBuildResult CTerrainWorker::Build(const TerrainBuildJob& job,
                                         const std::atomic<bool>& run) {
  TerrainBuildResult result;
  if (!job.square) return result;
  const std::unique_ptr<COldQuickChart> chart = OpenOldQuickChart(job.chart_path, false);
  if (!chart) return result;
  const int n = job.texture_size;
  if (!run) return result;
  result.square_radius =
      job.square->LoadTexture(*chart, n, job.level, job.centre_lat, job.centre_lon);
  result.max_radius = job.horizon_factor * result.square_radius;
  if (run && job.ring) {
    job.ring->Build(*chart, 0.0f, kFullCircle, n / 2, 2 * n, run, job.centre_lat,
                    job.centre_lon, result.square_radius, result.max_radius);
  }
  if (!run) return result;
  CElevationFile elevation;
  if (!elevation.Open(job.elevation_path)) return result;
  job.square->Fill(&elevation, job.exaggeration);
  if (job.ring) job.ring->Fill(&elevation, job.exaggeration);
  result.ok = run && job.square->IsFilled() && job.square->HasTexture();
  return result;
}

bool CTerrainWorker::Start(TerrainBuildJob job, Done done) {
  if (busy()) return false;
  run_ = true;
  thread_ = std::thread([this, job = std::move(job), done = std::move(done)] {
    // Linux gives each thread its own nice value.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()),
                getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())) + kBelowNormal);
    const TerrainBuildResult result = Build(job, run_);
    if (run_ && done) done(result);
  });
  return true;
}

void CTerrainWorker::Stop() {
  run_ = false;
  Join();
}

void CTerrainWorker::Join() {
  if (thread_.joinable()) thread_.join();
}
