// The chart view painting a 1920 x 1080 window at zoom 0.
// - First paint with a cold tile cache: the view queues every square, its helper thread decodes
//   them and posts them back, and the view paints what they cover as they come, as the
//   window's event loop does; against DecodeTile alone over the same chart tiles in a loop
//   (goal: at most 1.5 x).
// - A pan by 64 pixels with every tile cached: the origin moves and the whole window is
//   painted again from the tiles; against one memcpy of the window's 32-bit pixels (goal: at
//   most 2 x).
// - One A4 page at 300 dots per inch printed from a chart area (the chart rendered at full
//   resolution and stretched onto the page); against the first paint of a window of the same
//   pixel count with a cold tile cache (goal: at most 3 x).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/chart_bench_files.h"
#include "bench/timing_reporter.h"
#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "charts/qct_file_view.h"
#include "charts/tile_codec.h"
#include "corvex/ostrel_view.h"
#include "corvex/print_options.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"

namespace {

constexpr int kViewWidth = 1920;
constexpr int kViewHeight = 1080;
constexpr size_t kViewPixels = size_t(kViewWidth) * kViewHeight;
// The squares of one paint: (width / 128 + 2) x (height / 128 + 2) tiles of 128, each four
// chart tiles of 64 on a side.
constexpr int kChartColumns = 2 * (kViewWidth / COstrelView::kTileSide + 2);
constexpr int kChartRows = 2 * (kViewHeight / COstrelView::kTileSide + 2);
// An A4 page at 300 dots per inch, its size in 1/100 inch, and a chart that covers it.
constexpr int kPageWidth = 2480;
constexpr int kPageHeight = 3508;
constexpr vd::ui::Rect kPageHundredths{0, 0, 827, 1169};
constexpr int kPageChartColumns = kPageWidth / 64 + 2;
constexpr int kPageChartRows = kPageHeight / 64 + 2;

// A document with the chart's outline, and a window whose posted tiles reach the view when
// the benchmark dispatches them.
class BenchHost : public COstrelDocBase,
                  public CViewDocument,
                  public CViewWindow,
                  public CViewFrame {
 public:
  BenchHost()
      : messages([this](const vd::os::Message& m) -> intptr_t {
          return view && m.msg == vd::ui::kWmUser ? view->OnUserMessage(m.wparam, m.lparam) : 0;
        }) {}
  ~BenchHost() override {
    if (outline) outline->Release();
  }

  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  ObjectList* GetObjectList() override { return &objects; }
  COldChartOutline* FindOrAddChartOutline(const std::string&) override {
    if (!outline) {
      outline = new COldChartOutline;
      outline->AddRef();
      outline->visible = false;
      objects.push_back(outline);
    }
    return outline;
  }
  const CViewPlacement* GetPendingPlacement() const override { return nullptr; }
  bool MaximiseViews() const override { return false; }
  std::vector<CDocView*> GetChartViews() const override { return {}; }
  void ShowView(CDocView*) override {}
  bool SyncViews() const override { return false; }
  void SyncViewsTo(CDocView*, double, double) override {}

  vd::os::MessageWindow& MessageTarget() override { return messages; }
  void Invalidate(const vd::ui::Rect& rect) override {
    dirty = dirty.IsEmpty() ? rect
                            : vd::ui::Rect{std::min(dirty.left, rect.left),
                                           std::min(dirty.top, rect.top),
                                           std::max(dirty.right, rect.right),
                                           std::max(dirty.bottom, rect.bottom)};
  }
  bool SetTimer(uintptr_t, int) override { return true; }
  vd::ui::Size ScreenSize() const override { return screen; }
  QWidget* DialogOwner() override { return nullptr; }
  void SetStatusText(const std::string&) override {}
  void SetFrameTitle(const std::string&) override {}
  void MaximiseFrame() override {}
  void CloseFrame() override {}
  void SetFramePlacement(const CWindowPlacement&) override {}
  std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int) override { return nullptr; }
  void TrackContextMenu(const vd::ui::PopupMenu&, const vd::ui::Point&) override {}

  ObjectList objects;
  COldChartOutline* outline = nullptr;
  COstrelView* view = nullptr;
  vd::os::MessageWindow messages;
  vd::ui::Rect dirty;  // what the next paint covers
  vd::ui::Size screen{kViewWidth, kViewHeight};
};

// A view of the bench chart with its top-left chart pixel at the window's top-left.
class ViewUnderTest {
 public:
  explicit ViewUnderTest(const std::string& path, int width = kViewWidth,
                         int height = kViewHeight)
      : view_(host_, host_, host_), screen_(width, height, QImage::Format_RGB32) {
    host_.view = &view_;
    host_.screen = {std::max(width, kViewWidth), std::max(height, kViewHeight)};
    view_.OnSize(width, height);
    opened_ = view_.OpenChartFile(path);
    MoveTo(0);
  }
  ~ViewUnderTest() { host_.view = nullptr; }

  bool opened() const { return opened_; }
  void MoveTo(int x) { view_.CentreOn(x + kViewWidth / 2, kViewHeight / 2, 0); }
  void Paint() { Paint({0, 0, screen_.width(), screen_.height()}); }
  // The rectangle is taken by value: it is often the host's dirty rectangle, cleared here.
  void Paint(vd::ui::Rect rect) {
    host_.dirty = {};
    vd::ui::Surface surface(screen_);
    view_.OnDraw(surface, rect);
  }
  // The chart area of a page at 300 chart pixels per inch, printed onto the page's pixels.
  bool PrintPage(QImage& page) {
    vd::ui::Surface surface(page);
    surface.SetMapping({{}, {100, 100}, {}, {300, 300}});
    return view_.PrintBox(surface, {0, 0, kPageWidth, kPageHeight}, kPageHundredths,
                          CPrintOptions{});
  }
  // Hands every tile back and paints what they cover, as the window's loop would.
  void PaintTilesAsTheyCome() {
    while (view_.QueuedTileCount() > 0) {
      host_.messages.WaitAndDispatch(100);
      if (!host_.dirty.IsEmpty()) Paint(host_.dirty);
    }
  }

 private:
  BenchHost host_;
  COstrelView view_;
  QImage screen_;  // as a window's backing store on a 24-bit display
  bool opened_ = false;
};

class BenchChart {
 public:
  BenchChart(int columns = kChartColumns, int rows = kChartRows)
      : path_(folder_.path() + "/view.qct") {
    if (!chart_bench::WriteBenchChart(path_, columns, rows, 0) ||
        !vd::os::ReadWholeFile(path_, bytes_)) {
      path_.clear();
    }
  }
  const std::string& path() const { return path_; }
  // The stored bytes of every tile of the chart.
  std::vector<std::span<const uint8_t>> Tiles() const {
    const QctFileView file(
        std::span(reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size()));
    QuickChartHeader header;
    std::vector<std::span<const uint8_t>> tiles;
    if (!file.ReadHeader(header)) return tiles;
    for (int row = 0; row < kChartRows; ++row) {
      for (int col = 0; col < kChartColumns; ++col) {
        tiles.push_back(file.TileAt(header, col, row).bytes);
      }
    }
    return tiles;
  }

 private:
  chart_bench::ScratchFolder folder_;
  std::string path_;
  std::string bytes_;
};

const BenchChart& TheChart() {
  static const BenchChart chart;
  return chart;
}

const BenchChart& ThePageChart() {
  static const BenchChart chart(kPageChartColumns, kPageChartRows);
  return chart;
}

void BM_DecodeTilesBaseline(benchmark::State& state) {
  const std::vector<std::span<const uint8_t>> tiles = TheChart().Tiles();
  if (tiles.size() != size_t(kChartColumns) * kChartRows) {
    state.SkipWithError("no chart");
    return;
  }
  std::array<uint8_t, kTilePixels> out;
  for (auto _ : state) {
    for (const std::span<const uint8_t>& tile : tiles) {
      benchmark::DoNotOptimize(DecodeTile(tile, out));
      benchmark::ClobberMemory();
    }
  }
  state.counters["tiles"] = double(tiles.size());
}

// The first paint of a window of the chart's top-left corner, its tiles decoded as they come.
void FirstPaintColdCache(benchmark::State& state, const BenchChart& chart, int width, int height) {
  if (chart.path().empty()) {
    state.SkipWithError("no chart");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto view = std::make_unique<ViewUnderTest>(chart.path(), width, height);
    if (!view->opened()) {
      state.SkipWithError("the chart does not open");
      break;
    }
    state.ResumeTiming();
    view->Paint();
    view->PaintTilesAsTheyCome();
    state.PauseTiming();
    view.reset();
    state.ResumeTiming();
  }
}

void BM_FirstPaintColdCache(benchmark::State& state) {
  FirstPaintColdCache(state, TheChart(), kViewWidth, kViewHeight);
}

void BM_MemcpyWindowBaseline(benchmark::State& state) {
  std::vector<uint32_t> from(kViewPixels, 0xFF336699), to(kViewPixels);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kViewPixels * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kViewPixels * 4));
}

void BM_PanWarmCache(benchmark::State& state) {
  ViewUnderTest view(TheChart().path());
  if (!view.opened()) {
    state.SkipWithError("the chart does not open");
    return;
  }
  // Both places cached and drawn once.
  for (int x : {0, 64}) {
    view.MoveTo(x);
    view.Paint();
    view.PaintTilesAsTheyCome();
  }
  int x = 0;
  for (auto _ : state) {
    x = 64 - x;
    view.MoveTo(x);
    view.Paint();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kViewPixels * 4));
}

void BM_FirstPaintOfAPageSizedWindow(benchmark::State& state) {
  FirstPaintColdCache(state, ThePageChart(), kPageWidth, kPageHeight);
}

void BM_PrintA4Page(benchmark::State& state) {
  ViewUnderTest view(ThePageChart().path());
  if (!view.opened()) {
    state.SkipWithError("the chart does not open");
    return;
  }
  QImage page(kPageWidth, kPageHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    if (!view.PrintPage(page)) {
      state.SkipWithError("nothing printed");
      break;
    }
  }
}

BENCHMARK(BM_DecodeTilesBaseline)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPaintColdCache)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyWindowBaseline)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PanWarmCache)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstPaintOfAPageSizedWindow)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintA4Page)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter);
  const double decode = reporter.Time("BM_DecodeTilesBaseline");
  const double paint = reporter.Time("BM_FirstPaintColdCache");
  const double copy = reporter.Time("BM_MemcpyWindowBaseline");
  const double pan = reporter.Time("BM_PanWarmCache");
  if (decode > 0 && paint > 0) {
    std::printf("first paint, cold cache = %.2f x decoding its tiles (target <= 1.5)\n",
                paint / decode);
  }
  if (copy > 0 && pan > 0) {
    std::printf("pan by 64 pixels, warm cache = %.2f x memcpy of the window (target <= 2.0)\n",
                pan / copy);
  }
  const double screen = reporter.Time("BM_FirstPaintOfAPageSizedWindow");
  const double print = reporter.Time("BM_PrintA4Page");
  if (screen > 0 && print > 0) {
    std::printf("A4 page at 300 dpi = %.2f x painting its pixels to a window (target <= 3.0)\n",
                print / screen);
  }
  return 0;
}
