// The terrain worker builds the back meshes on its own thread and reports how the build ended.
#include "lumex/terrain_worker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <optional>

#include "charts/tests/qed_fixture.h"
#include "lumex/map_polar.h"
#include "lumex/map_square.h"
#include "lumex/tests/terrain_fixture.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

class TerrainWorkerTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::test::WriteTerrainWorld(dir_.File("c.qct"), dir_.File("e.qed"), 50.1, -5.1, 1.0 / 3600);
  }

  TerrainBuildJob Job(CMapSquare& square, CMapPolar* ring) {
    TerrainBuildJob job;
    job.chart_path = dir_.File("c.qct");
    job.elevation_path = dir_.File("e.qed");
    job.centre_lat = 50.05;
    job.centre_lon = -5.05;
    job.texture_size = 64;
    job.horizon_factor = 3.0f;
    job.exaggeration = 2.0f;
    job.square = &square;
    job.ring = ring;
    return job;
  }
  CMapSquare Square() {
    return CMapSquare(6, [](const SquareTextureRequest& r) {
      return vd::test::WriteTestDds(r.texture_path, r.width, r.height,
                                    [](int, int) { return 0x00FF0000u; });
    }, dir_.File("MapSquare.dds"));
  }

  vd::test::TempDir dir_;
};

// Waits for the worker's report.
struct Report {
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<TerrainBuildResult> result;

  CTerrainWorker::Done Callback() {
    return [this](const TerrainBuildResult& r) {
      std::lock_guard lock(mutex);
      result = r;
      changed.notify_all();
    };
  }
  bool Wait() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(60), [&] { return result.has_value(); });
  }
};

TEST_F(TerrainWorkerTest, BuildsTheBackMeshesAndReportsSuccessOrFailure) {
  struct Case {
    const char* name;
    const char* chart;
    const char* elevation;
    bool with_ring;
    bool ok;
  };
  const Case cases[] = {
      {"square and ring", "c.qct", "e.qed", true, true},
      {"square only", "c.qct", "e.qed", false, true},
      {"chart missing", "none.qct", "e.qed", true, false},
      {"elevation missing", "c.qct", "none.qed", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CMapSquare square = Square();
    CMapPolar ring(8, 16);
    TerrainBuildJob job = Job(square, c.with_ring ? &ring : nullptr);
    job.chart_path = dir_.File(c.chart);
    job.elevation_path = dir_.File(c.elevation);
    CTerrainWorker worker;
    Report report;
    ASSERT_TRUE(worker.Start(job, report.Callback()));
    ASSERT_TRUE(report.Wait()) << "a failed build is reported too";
    worker.Join();
    EXPECT_FALSE(worker.busy());
    EXPECT_EQ(report.result->ok, c.ok);
    EXPECT_EQ(square.IsFilled(), c.ok);
    if (c.ok) {
      EXPECT_GT(report.result->square_radius, 0);
      EXPECT_FLOAT_EQ(report.result->max_radius, 3.0f * report.result->square_radius);
      EXPECT_EQ(ring.IsFilled(), c.with_ring);
      if (c.with_ring) {
        EXPECT_FLOAT_EQ(ring.RowRadius(0), report.result->max_radius);
      }
    }
  }
}

TEST_F(TerrainWorkerTest, OneBuildAtATimeAndCancelledBuildsLeaveTheMeshesUnfilled) {
  CMapSquare square = Square();
  CTerrainWorker worker;
  Report report;
  ASSERT_TRUE(worker.Start(Job(square, nullptr), report.Callback()));
  EXPECT_FALSE(worker.Start(Job(square, nullptr), nullptr)) << "not joined yet";
  ASSERT_TRUE(report.Wait());
  EXPECT_FALSE(worker.Start(Job(square, nullptr), nullptr)) << "ended but not joined";
  worker.Join();
  Report second;
  EXPECT_TRUE(worker.Start(Job(square, nullptr), second.Callback()));
  worker.Stop();
  EXPECT_FALSE(worker.busy());

  CMapSquare idle = Square();
  const std::atomic<bool> stopped{false};
  EXPECT_FALSE(CTerrainWorker::Build(Job(idle, nullptr), stopped).ok);
  EXPECT_FALSE(idle.IsFilled());
}

}  // namespace
