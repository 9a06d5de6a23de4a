// Listing 100,000 marks nearest first, as the marks list does when it is sorted by distance from
// the own position. Target: at most 2x the baseline, printed after the runs from the medians of
// five repetitions.
//
// - BM_MarkListByDistance: the mark list's Populate with the sort setting 2 (distance) and a
//   known own position; marks spread over about 100 km around it, a few of them deletion
//   records.
// - BM_StdSortOfDistances: the least such a list must do: std::sort of the same distances,
//   computed beforehand (a copy of them sorted in each iteration).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "bench/timing_reporter.h"
#include "overlays/model/mark_manager.h"
#include "viewer_lib/mark_list_delegate.h"

namespace {

constexpr size_t kMarks = 100'000;
constexpr double kOwnLat = 50.0, kOwnLon = -1.0;

CMarkManager& Marks() {
  static CMarkManager* manager = [] {
    auto* made = new CMarkManager;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> offset(-0.5, 0.5);
    for (size_t i = 0; i < kMarks; ++i) {
      auto mark = std::make_unique<COverlayMark>();
      mark->name = "M" + std::to_string(i);
      mark->latitude = kOwnLat + offset(random);
      mark->longitude = kOwnLon + offset(random);
      COverlayMark* added = made->AddMark(std::move(mark));
      if (i % 100 == 0) made->DeleteMark(added);
    }
    CDataGPSPosition fix;
    fix.valid = true;
    fix.latitude = kOwnLat;
    fix.longitude = kOwnLon;
    made->OnEvent(fix);
    return made;
  }();
  return *manager;
}

void BM_MarkListByDistance(benchmark::State& state) {
  Marks();
  CMarkManager::Settings().sort = 2;
  CMarkListDelegate delegate;
  std::vector<COverlayObject*> list;
  for (auto _ : state) {
    list.clear();
    delegate.Populate(list);
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kMarks));
}

void BM_StdSortOfDistances(benchmark::State& state) {
  const CMarkManager& marks = Marks();
  const CLocalProjection& own = marks.own_position();
  std::vector<double> distances;
  for (const auto& mark : marks.marks) {
    if (!mark->deleted) distances.push_back(own.DistanceTo(mark->latitude, mark->longitude));
  }
  std::vector<double> sorted;
  for (auto _ : state) {
    sorted = distances;
    std::sort(sorted.begin(), sorted.end());
    benchmark::DoNotOptimize(sorted.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kMarks));
}

void Medians(benchmark::internal::Benchmark* b) {
  b->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_MarkListByDistance)->Apply(Medians);
BENCHMARK(BM_StdSortOfDistances)->Apply(Medians);

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter);
  const double list = reporter.Time("BM_MarkListByDistance");
  const double baseline = reporter.Time("BM_StdSortOfDistances");
  if (list > 0 && baseline > 0) {
    std::printf("marks list by distance: %.2f ms, std::sort of the distances: %.2f ms, "
                "ratio %.2f (target <= 2)\n",
                list, baseline, list / baseline);
  }
  return 0;
}
