// SimplifyPolyline on a nearly straight track (few points kept: long chords) and on a zigzag
// (every vertex kept) at 10,000 and 100,000 points. The cost must grow about linearly: after the
// runs the time at 100,000 points is printed as a multiple of the time at 10,000 (target: at
// most 15). Each iteration copies the track first, since simplification works in place; copying
// alone is measured as the baseline.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/timing_reporter.h"
#include "geodesy/plane_geometry.h"

namespace {

constexpr double kToleranceSquared = 1.0;

// Steps of about a metre on a slowly wandering heading, with 5 cm of position noise.
std::vector<PlanePoint> StraightTrack(size_t n) {
  std::mt19937_64 random(17);
  std::normal_distribution<double> wander(0.0, 2e-4);
  std::normal_distribution<double> noise(0.0, 0.05);
  std::uniform_real_distribution<double> step(0.8, 1.2);
  std::vector<PlanePoint> track;
  double heading = 0.3, x = 0.0, y = 0.0;
  for (size_t i = 0; i < n; ++i) {
    heading += wander(random);
    const double s = step(random);
    x += std::cos(heading) * s;
    y += std::sin(heading) * s;
    track.push_back({x + noise(random), y + noise(random)});
  }
  return track;
}

// Two metres either side of a straight line: twice the tolerance, so nothing can go.
std::vector<PlanePoint> ZigzagTrack(size_t n) {
  std::vector<PlanePoint> track;
  for (size_t i = 0; i < n; ++i) track.push_back({static_cast<double>(i), i % 2 ? 2.0 : -2.0});
  return track;
}

const std::vector<PlanePoint>& Track(bool zigzag, size_t n) {
  static std::map<std::pair<bool, size_t>, std::vector<PlanePoint>> tracks;
  std::vector<PlanePoint>& t = tracks[{zigzag, n}];
  if (t.empty()) t = zigzag ? ZigzagTrack(n) : StraightTrack(n);
  return t;
}

void Run(benchmark::State& state, bool zigzag, bool simplify) {
  const std::vector<PlanePoint>& source = Track(zigzag, static_cast<size_t>(state.range(0)));
  std::vector<PlanePoint> work;
  size_t kept = source.size();
  for (auto _ : state) {
    work = source;
    if (simplify) kept = SimplifyPolyline(work, kToleranceSquared);
    benchmark::DoNotOptimize(work.data());
  }
  state.counters["kept"] = static_cast<double>(kept);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(source.size()));
}

void BM_SimplifyStraight(benchmark::State& state) { Run(state, false, true); }
void BM_SimplifyZigzag(benchmark::State& state) { Run(state, true, true); }
void BM_CopyOnly(benchmark::State& state) { Run(state, false, false); }

BENCHMARK(BM_SimplifyStraight)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimplifyZigzag)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyOnly)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter);
  for (const char* name : {"BM_SimplifyStraight", "BM_SimplifyZigzag", "BM_CopyOnly"}) {
    const double small = reporter.Time(name, "10000");
    const double large = reporter.Time(name, "100000");
    if (small <= 0 || large <= 0) continue;
    std::printf("%-20s 10k %9.1f us, 100k %9.1f us, ratio %5.2f (target <= 15)\n", name, small,
                large, large / small);
  }
  return 0;
}
