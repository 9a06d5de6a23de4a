// Opening a chart costs the same whatever its size: the file is mapped, never read whole. A
// 1 GiB chart (512 x 512 tiles in 4 KiB slots, mostly holes) against a 1 MiB one (16 x 16
// tiles). Each iteration opens the chart and closes it again. The large chart's line reports
// "vs_baseline" (its time per open over the small chart's; the goal is at most 2) and
// "rss_added_MiB" (resident memory added by keeping it open; the goal is under 20).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench/chart_bench_files.h"
#include "charts/old_quick_chart.h"

namespace {

double small_seconds_per_open = 0;

double TimeOpens(benchmark::State& state, const std::string& path) {
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    auto chart = OpenOldQuickChart(path, false);
    benchmark::DoNotOptimize(chart.get());
    if (!chart) {
      state.SkipWithError("the chart does not open");
      break;
    }
    chart.reset();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return state.iterations() > 0 ? seconds / double(state.iterations()) : 0;
}

void BM_OpenOneMegabyteChartBaseline(benchmark::State& state) {
  chart_bench::ScratchFolder folder;
  const std::string path = folder.path() + "/small.qct";
  if (!chart_bench::WriteBenchChart(path, 16, 16, 0)) {
    state.SkipWithError("can't write the chart");
    return;
  }
  state.counters["file_MiB"] = double(*vd::os::FileSize(path)) / (1 << 20);
  small_seconds_per_open = TimeOpens(state, path);
}

void BM_OpenOneGigabyteChart(benchmark::State& state) {
  chart_bench::ScratchFolder folder;
  const std::string path = folder.path() + "/large.qct";
  if (!chart_bench::WriteBenchChart(path, 512, 512, 4096)) {
    state.SkipWithError("can't write the chart");
    return;
  }
  state.counters["file_MiB"] = double(*vd::os::FileSize(path)) / (1 << 20);
  const double seconds = TimeOpens(state, path);
  if (small_seconds_per_open > 0) state.counters["vs_baseline"] = seconds / small_seconds_per_open;
  const uint64_t before = chart_bench::ResidentBytes();
  const auto chart = OpenOldQuickChart(path, false);
  const uint64_t after = chart_bench::ResidentBytes();
  if (chart) state.counters["rss_added_MiB"] = (double(after) - double(before)) / (1 << 20);
}

// The baseline runs first so that the large chart can report its ratio.
BENCHMARK(BM_OpenOneMegabyteChartBaseline)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenOneGigabyteChart)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
