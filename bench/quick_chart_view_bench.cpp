// The newer library's chart view painting a 1920 x 1080 window at level 0 from cached tiles.
// - A full paint with every tile cached; against one memcpy of the window's 32-bit pixels
//   (goal: at most 2 x).
// - A pan by 64 pixels with both places cached: the offset moves and the whole window is
//   painted again from the tiles; against the same memcpy (goal: at most 2 x).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/chart_bench_files.h"
#include "bench/timing_reporter.h"
#include "platform/ui/surface.h"
#include "viewer_lib/quick_chart_view.h"

namespace {

constexpr int kViewWidth = 1920;
constexpr int kViewHeight = 1080;
constexpr size_t kViewPixels = size_t(kViewWidth) * kViewHeight;

class BenchChart {
 public:
  BenchChart() : path_(folder_.path() + "/view.qct") {
    // 2560 x 1536 pixels: the window and a pan's width of room at level 0.
    if (!chart_bench::WriteBenchChart(path_, 40, 24, 0)) path_.clear();
  }
  const std::string& path() const { return path_; }

 private:
  vd::bench::ScratchFolder folder_;
  std::string path_;
};

const BenchChart& TheChart() {
  static const BenchChart chart;
  return chart;
}

// A view of the chart at level 0 in a window-sized image.
class ViewUnderTest {
 public:
  ViewUnderTest() : screen_(kViewWidth, kViewHeight, QImage::Format_RGB32) {
    view_.OnSize(0, 0, kViewWidth, kViewHeight);
    view_.OpenChartByPath(nullptr, TheChart().path(), false);
    while (view_.level() > 0) view_.ZoomStep(-1);
  }
  bool opened() const { return view_.chart() != nullptr && view_.level() == 0; }
  void Paint() {
    vd::ui::Surface dc(screen_);
    view_.OnDraw(dc, 0, 0, kViewWidth, kViewHeight);
  }
  // Paints until every visible tile is cached.
  void PaintUntilCached() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    do {
      Paint();
      if (view_.PendingTiles() != 0) std::this_thread::yield();
    } while (view_.PendingTiles() != 0 && std::chrono::steady_clock::now() < deadline);
  }
  CQuickChartView& view() { return view_; }

 private:
  QImage screen_;  // as a window's backing store on a 24-bit display
  CQuickChartView view_;
};

void BM_MemcpyWindowBaseline(benchmark::State& state) {
  std::vector<uint32_t> from(kViewPixels, 0xFF336699), to(kViewPixels);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kViewPixels * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kViewPixels * 4));
}

void BM_FullPaintCachedTiles(benchmark::State& state) {
  ViewUnderTest view;
  if (!view.opened()) {
    state.SkipWithError("the chart does not open");
    return;
  }
  view.PaintUntilCached();
  for (auto _ : state) view.Paint();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kViewPixels * 4));
}

void BM_Pan64CachedTiles(benchmark::State& state) {
  ViewUnderTest view;
  if (!view.opened()) {
    state.SkipWithError("the chart does not open");
    return;
  }
  // Both places cached.
  view.PaintUntilCached();
  view.view().Pan(64, 0);
  view.PaintUntilCached();
  float step = -64;
  for (auto _ : state) {
    view.view().Pan(step, 0);
    view.Paint();
    step = -step;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kViewPixels * 4));
}

BENCHMARK(BM_MemcpyWindowBaseline)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullPaintCachedTiles)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pan64CachedTiles)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter);
  const double copy = reporter.Time("BM_MemcpyWindowBaseline");
  const double paint = reporter.Time("BM_FullPaintCachedTiles");
  const double pan = reporter.Time("BM_Pan64CachedTiles");
  if (copy > 0 && paint > 0) {
    std::printf("full paint from cached tiles = %.2f x memcpy of the window (target <= 2.0)\n",
                paint / copy);
  }
  if (copy > 0 && pan > 0) {
    std::printf("pan by 64 pixels, cached tiles = %.2f x memcpy of the window (target <= 2.0)\n",
                pan / copy);
  }
  return 0;
}
