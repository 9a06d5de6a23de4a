// Drawing a 1920 x 1080 chart view at zoom 0 from its decoded tiles (the 128 x 128 tile images
// a view keeps, each already rendered and drawn a few times) against memcpy of the same number of
// 32-bit pixels. The view's line reports "vs_baseline" (its time over memcpy's; the goal is at
// most 4). For comparison, rendering the same view straight from the file (tiles decoded on
// the way) as palette indices and as 32-bit colours.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/chart_bench_files.h"
#include "charts/old_quick_chart.h"
#include "charts/ui/quick_chart_dib.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

constexpr int kViewWidth = 1920;
constexpr int kViewHeight = 1080;
constexpr size_t kViewPixels = size_t(kViewWidth) * kViewHeight;
constexpr int kSide = CQuickChartDib::kSide;

double memcpy_seconds = 0;

// A chart a little larger than the view.
class ViewChart {
 public:
  ViewChart() {
    const std::string path = folder_.path() + "/view.qct";
    if (chart_bench::WriteBenchChart(path, kViewWidth / 64 + 1, kViewHeight / 64 + 2, 0)) {
      chart_ = OpenOldQuickChart(path, false);
    }
  }
  COldQuickChart* chart() { return chart_.get(); }

 private:
  chart_bench::ScratchFolder folder_;
  std::unique_ptr<COldQuickChart> chart_;
};

template <class Work>
double TimePerIteration(benchmark::State& state, Work work) {
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    work();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kViewPixels * 4));
  return state.iterations() > 0 ? seconds / double(state.iterations()) : 0;
}

void BM_MemcpyViewBaseline(benchmark::State& state) {
  std::vector<uint32_t> from(kViewPixels, 0xFF336699), to(kViewPixels);
  memcpy_seconds = TimePerIteration(state, [&] {
    std::memcpy(to.data(), from.data(), kViewPixels * 4);
    benchmark::ClobberMemory();
  });
}

void BM_DrawViewFromTiles(benchmark::State& state) {
  ViewChart view;
  if (!view.chart()) {
    state.SkipWithError("no chart");
    return;
  }
  vd::ui::Image screen(kViewWidth, kViewHeight, 0xFF000000);
  std::vector<std::unique_ptr<CQuickChartDib>> tiles;
  std::vector<vd::ui::Point> places;
  for (int y = 0; y < kViewHeight; y += kSide) {
    for (int x = 0; x < kViewWidth; x += kSide) {
      tiles.push_back(std::make_unique<CQuickChartDib>());
      tiles.back()->Assign(view.chart(), x, y, 0);
      tiles.back()->Render();
      places.push_back({x, y});
    }
  }
  const auto draw_view = [&] {
    vd::ui::Surface surface(screen);
    for (size_t i = 0; i < tiles.size(); ++i) tiles[i]->Draw(surface, places[i]);
  };
  // By its third draw a tile keeps a copy ready for the screen.
  for (int i = 0; i < 3; ++i) draw_view();
  const double seconds = TimePerIteration(state, draw_view);
  if (memcpy_seconds > 0) state.counters["vs_baseline"] = seconds / memcpy_seconds;
}

void BM_RenderPaletteViewFromFile(benchmark::State& state) {
  ViewChart view;
  std::vector<uint8_t> indices(kViewPixels);
  if (!view.chart()) {
    state.SkipWithError("no chart");
    return;
  }
  const double seconds = TimePerIteration(state, [&] {
    view.chart()->RenderPaletteArea(0, 0, kViewWidth, kViewHeight, kViewWidth, 0, indices.data());
  });
  if (memcpy_seconds > 0) state.counters["vs_baseline"] = seconds / memcpy_seconds;
}

void BM_RenderColourViewFromFile(benchmark::State& state) {
  ViewChart view;
  std::vector<uint32_t> colours(kViewPixels);
  if (!view.chart()) {
    state.SkipWithError("no chart");
    return;
  }
  const double seconds = TimePerIteration(state, [&] {
    view.chart()->RenderArea(colours.data(), kViewWidth, {0, 0, kViewWidth, kViewHeight}, 0, 0, 0);
  });
  if (memcpy_seconds > 0) state.counters["vs_baseline"] = seconds / memcpy_seconds;
}

// The baseline runs first so that the others can report their ratios.
BENCHMARK(BM_MemcpyViewBaseline)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawViewFromTiles)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderPaletteViewFromFile)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderColourViewFromFile)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
