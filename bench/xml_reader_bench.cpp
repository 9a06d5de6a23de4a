// Building the whole XML tree of a 50 MB GPX track of 500,000 points, against the baseline of
// expat parsing the same mapped file with handlers that only count elements. Targets: the
// reader reaches at least half of expat's throughput ("vs_expat" >= 0.5), and the memory the
// reader holds at its peak stays within 4 times the file size ("peak_x_file" <= 4).
//
// Memory is counted by replacing the global allocation functions: every byte obtained through
// operator new (the tree's storage and the reader's working vectors) is counted with the size
// the C library really reserved for it. The file itself is mapped, not copied.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "bench/gpx_track_bench.h"
#include "core/xml_document.h"

namespace {

std::atomic<size_t> allocated_now{0};
std::atomic<size_t> allocated_peak{0};

void* CountedAllocate(size_t bytes) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) throw std::bad_alloc();
  size_t now = allocated_now += malloc_usable_size(p);
  size_t peak = allocated_peak.load();
  while (now > peak && !allocated_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void CountedFree(void* p) {
  if (!p) return;
  allocated_now -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace

void* operator new(size_t bytes) { return CountedAllocate(bytes); }
void* operator new[](size_t bytes) { return CountedAllocate(bytes); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

namespace {

constexpr int kTrackPoints = 500'000;

using vd::bench::BytesPerSecond;
using vd::bench::GpxTrackFile;

const GpxTrackFile& File() {
  static const GpxTrackFile file(kTrackPoints);
  return file;
}

double expat_bytes_per_second = 0;

void BM_ExpatParseBaseline(benchmark::State& state) {
  vd::bench::RunExpatBaseline(state, File(), expat_bytes_per_second);
}

void BM_XmlDocumentLoad(benchmark::State& state) {
  const GpxTrackFile& gpx = File();
  if (gpx.path().empty()) {
    state.SkipWithError("can't make the GPX file");
    return;
  }
  size_t peak = 0, kept = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    {
      CXmlDocument document;  // freed inside the timing, as expat's parser is
      const size_t before = allocated_now;
      allocated_peak = before;
      CXmlNode* root = document.Load(gpx.path());
      peak = std::max(peak, allocated_peak.load() - before);
      kept = allocated_now - before;
      if (!root || !root->FindChild("gpx")) state.SkipWithError("no tree");
      benchmark::DoNotOptimize(root);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gpx.size()));
  state.counters["peak_x_file"] = static_cast<double>(peak) / static_cast<double>(gpx.size());
  state.counters["tree_x_file"] = static_cast<double>(kept) / static_cast<double>(gpx.size());
  if (expat_bytes_per_second > 0) {
    state.counters["vs_expat"] =
        BytesPerSecond(state, gpx.size(), seconds) / expat_bytes_per_second;
  }
}

// The baseline runs first so that the reader can report its ratio.
BENCHMARK(BM_ExpatParseBaseline)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlDocumentLoad)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
