// Unique short names for overlay objects at 1,000 and 10,000 objects. The cost must grow no
// faster than n log n: after the runs each case's time at 10,000 is printed as a multiple of
// its time at 1,000 (target: at most 15), from the medians of five repetitions.
//
// - BM_NamePass: every object of a list gets a unique short name (6 characters, upper case), as
//   an export does. A third of the objects are called "Mark", the rest carry numbered names
//   from a small range, so long runs of clashes build up.
// - BM_OneCallLongChain: one new "Mark" against a list that already holds MARK, MARK1 ...
//   MARK<n-1>: the whole run of numbers has to be passed over.
// - BM_Baseline: what a pass must do at least: clear the short names and put every name into
//   a hash set.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/timing_reporter.h"
#include "overlays/object_list.h"
#include "overlays/ostrel_object.h"

namespace {

struct Objects {
  std::vector<std::unique_ptr<COstrelObject>> owned;
  ObjectList list;

  COstrelObject& Add(std::string name) {
    owned.push_back(std::make_unique<COstrelObject>());
    owned.back()->name = std::move(name);
    list.push_back(owned.back().get());
    return *owned.back();
  }
  void ClearShortNames() {
    for (auto& object : owned) object->short_name.clear();
  }
};

Objects& ExportList(size_t n) {
  static std::map<size_t, Objects> lists;
  Objects& objects = lists[n];
  if (objects.owned.empty()) {
    std::mt19937 random(7);
    for (size_t i = 0; i < n; ++i) {
      if (i % 3 == 0) {
        objects.Add("Mark");
      } else {
        objects.Add("Buoy " + std::to_string(random() % 50));
      }
    }
  }
  return objects;
}

Objects& ChainList(size_t n) {
  static std::map<size_t, Objects> lists;
  Objects& objects = lists[n];
  if (objects.owned.empty()) {
    objects.Add("x").short_name = "MARK";
    for (size_t i = 1; i < n; ++i) objects.Add("x").short_name = "MARK" + std::to_string(i);
  }
  return objects;
}

void BM_NamePass(benchmark::State& state) {
  Objects& objects = ExportList(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    objects.ClearShortNames();
    UniqueNameIndex index(objects.list);
    for (auto& object : objects.owned) index.MakeUnique(*object, 6, "-+", true);
    benchmark::DoNotOptimize(objects.owned.back()->short_name.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OneCallLongChain(benchmark::State& state) {
  Objects& objects = ChainList(static_cast<size_t>(state.range(0)));
  COstrelObject mark;
  for (auto _ : state) {
    mark.name = "Mark";
    mark.short_name.clear();
    MakeUniqueObjectName(mark, objects.list, 10, "", true);
    benchmark::DoNotOptimize(mark.short_name.data());
  }
  state.counters["chain"] = static_cast<double>(state.range(0));
}

void BM_Baseline(benchmark::State& state) {
  Objects& objects = ExportList(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    objects.ClearShortNames();
    std::unordered_set<std::string> names;
    for (auto& object : objects.owned) names.insert(object->name);
    benchmark::DoNotOptimize(names.size());
  }
}

// Both sizes, the medians of five repetitions.
void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(1'000)->Arg(10'000)->Repetitions(5)->ReportAggregatesOnly(true);
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_NamePass)->Apply(Sizes);
BENCHMARK(BM_OneCallLongChain)->Apply(Sizes);
BENCHMARK(BM_Baseline)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter);
  for (const char* name : {"BM_NamePass", "BM_OneCallLongChain", "BM_Baseline"}) {
    const double small = reporter.Time(name, "1000");
    const double large = reporter.Time(name, "10000");
    if (small <= 0 || large <= 0) continue;
    std::printf("%-20s 1k %9.1f us, 10k %9.1f us, ratio %5.2f (target <= 15)\n", name, small,
                large, large / small);
  }
  return 0;
}
