// A million positions over the UTM latitudes formatted as UTM text by the grid formatter,
// against the baseline of the grid library's UTM projection of the same positions followed
// by snprintf of the same text. The formatter should take at most 1.5 times the baseline's
// time; the ratio is printed after the runs.
#include <benchmark/benchmark.h>

#include <GeographicLib/UTMUPS.hpp>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/timing_reporter.h"
#include "geodesy/utm_grid_formatter.h"

namespace {

constexpr int kPositionCount = 1'000'000;

struct Position {
  double lat;
  double lon;
};

const std::vector<Position>& Positions() {
  static const std::vector<Position> positions = [] {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> lat(-80.0, 84.0);
    std::uniform_real_distribution<double> lon(-180.0, 180.0);
    std::vector<Position> out(kPositionCount);
    for (Position& p : out) p = {lat(random), lon(random)};
    return out;
  }();
  return positions;
}

void BM_FormatUtm(benchmark::State& state) {
  UTM_WGS84_Grid formatter;
  std::string text;
  for (auto _ : state) {
    for (const Position& p : Positions()) {
      if (!formatter.FormatPosition(p.lat, p.lon, text)) state.SkipWithError("format failed");
      benchmark::DoNotOptimize(text.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kPositionCount);
}

void BM_BaselineUtm(benchmark::State& state) {
  char text[64];
  for (auto _ : state) {
    for (const Position& p : Positions()) {
      int zone = 0;
      bool north = true;
      double x = 0.0;
      double y = 0.0;
      GeographicLib::UTMUPS::Forward(p.lat, p.lon, zone, north, x, y);
      std::snprintf(text, sizeof text, "%d%c %06.0fE %06.0fN", zone, north ? 'n' : 's', x, y);
      benchmark::DoNotOptimize(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPositionCount);
}

BENCHMARK(BM_FormatUtm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BaselineUtm)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter, [] { return !Positions().empty(); });
  const double ours = reporter.Time("BM_FormatUtm");
  const double baseline = reporter.Time("BM_BaselineUtm");
  if (ours > 0 && baseline > 0) {
    std::printf("UTM text: formatter %.1f ms, baseline %.1f ms, ratio %.2f (target <= 1.5)\n",
                ours, baseline, ours / baseline);
  }
  return 0;
}
