#pragma once
// The terrain rebuild worker: builds the view's back square (and back horizon ring) around a new
// centre on its own thread while the front meshes are drawn. At most one build runs; it is
// cancelled cooperatively (between steps, and per chart tile inside the ring's build) and always
// joined, never abandoned while it still uses the meshes.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

class CMapPolar;
class CMapSquare;

// What one build needs; the worker reads only these while it runs.
struct TerrainBuildJob {
  std::string chart_path;
  std::string elevation_path;
  double centre_lat = 0;
  double centre_lon = 0;
  int texture_size = 0;   // texture pixels a side
  int level = 0;          // zoom shift of the texture request
  float horizon_factor = 0;
  float exaggeration = 1;
  CMapSquare* square = nullptr;  // built; must outlive the build
  CMapPolar* ring = nullptr;     // built when not null
};

struct TerrainBuildResult {
  bool ok = false;           // the square is filled and textured
  float square_radius = 0;   // metres
  float max_radius = 0;      // horizon factor x square radius
};

class CTerrainWorker {
 public:
  // Called on the worker thread when a build ends, successful or not; not when cancelled.
  using Done = std::function<void(const TerrainBuildResult& result)>;

  CTerrainWorker() = default;
  ~CTerrainWorker() { Stop(); }
  CTerrainWorker(const CTerrainWorker&) = delete;
  CTerrainWorker& operator=(const CTerrainWorker&) = delete;

  // Starts a build below normal priority; false (nothing started) while a thread has not been
  // joined yet.
  bool Start(TerrainBuildJob job, Done done);
  // Asks the build to stop and joins its thread.
  void Stop();
  // Joins the thread without asking it to stop.
  void Join();
  // A thread has been started and not joined.
  bool busy() const { return thread_.joinable(); }

  // One build on the calling thread: opens the chart and the elevation file, textures the
  // square around the centre, builds the ring out to horizon factor x its radius and fills
  // both. A chart or elevation file that does not open, or a cleared `run`, gives !ok.
  static TerrainBuildResult Build(const TerrainBuildJob& job, const std::atomic<bool>& run);

 private:
  std::thread thread_;
  std::atomic<bool> run_{false};
};
