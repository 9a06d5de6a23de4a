// Tracks on screen and while recording.
//
// 1. Preparing (projection, simplification, time ticks) and drawing a 100,000-point track on a
//    1920x1080 image, against drawing the same pixels as one plain QPainter polyline of the
//    track's width with no per-point work. Target: at most 3 times the baseline.
// 2. Recording one fix into a track held at its point limit, with the running totals and the
//    redraw of the changed part (the new last leg), at limits of 1,000 and 4,000 points, with
//    the sliding (mode 1) and halving (mode 0) limits. The time per fix must not depend on the
//    track's size: target ratio 4,000 / 1,000 at most 1.5.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/chart_bench_files.h"
#include "bench/timing_reporter.h"
#include "charts/old_quick_chart.h"
#include "app/gps_position_info.h"
#include "core/persistent_value.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_track.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kNorth = 50.0;
constexpr double kWest = -3.0;
constexpr double kDegreesPerPixel = 1.0 / 3600.0;

class IdentityView : public CMappedView {
 public:
  vd::ui::Point ChartToClient(vd::ui::Point c) const override { return c; }
  float ScaleFactor() const override { return 1.0f; }
  void SetPositionMarker(double, double) override {}
};

// A chart whose pixels are the image's: pixel (0, 0) at 50N 3W, 1/3600 degree per pixel.
struct BenchChart {
  BenchChart() {
    vd::SetProfileLocation(vd::kDefaultProfileKey, folder.path());
    const std::string path = folder.path() + "/chart.qct";
    if (!chart_bench::WriteBenchChart(path, 2, 2, 0)) std::abort();
    chart = OpenOldQuickChart(path, false);
    if (!chart) std::abort();
  }
  chart_bench::ScratchFolder folder;
  std::unique_ptr<COldQuickChart> chart;
};

BenchChart& Chart() {
  static BenchChart chart;
  return chart;
}

CLatLon AtPixel(double x, double y) { return {kNorth - y * kDegreesPerPixel, kWest + x * kDegreesPerPixel}; }

// A boat's wandering path over the whole image: steps of 0.3 to 3 pixels, one a second,
// turning slowly and bouncing off the edges.
std::vector<CLatLon> Wander(size_t n) {
  std::mt19937_64 random(7);
  std::normal_distribution<double> turn(0.0, 0.05);
  std::uniform_real_distribution<double> step(0.3, 3.0);
  std::vector<CLatLon> path;
  double x = 100, y = 100, heading = 0.4;
  for (size_t i = 0; i < n; ++i) {
    heading += turn(random);
    const double s = step(random);
    double nx = x + std::cos(heading) * s, ny = y + std::sin(heading) * s;
    if (nx < 5 || nx > kWidth - 5) heading = M_PI - heading;
    if (ny < 5 || ny > kHeight - 5) heading = -heading;
    x = std::clamp(nx, 5.0, kWidth - 5.0);
    y = std::clamp(ny, 5.0, kHeight - 5.0);
    path.push_back(AtPixel(x, y));
  }
  return path;
}

// ---- 1. Drawing ----

constexpr size_t kDrawPoints = 100'000;

void BM_TrackPrepareAndDraw(benchmark::State& state) {
  COldQuickChart* chart = Chart().chart.get();
  auto* track = new CObjTrack;
  track->AddRef();
  const std::vector<CLatLon> path = Wander(kDrawPoints);
  for (size_t i = 0; i < path.size(); ++i) {
    track->AddPoint(path[i].lat, path[i].lon, static_cast<int32_t>(1'000'000 + i), 0, 0, 0);
  }
  track->RecomputeTotals();
  IdentityView view;
  CRubberBand band(&view);
  vd::ui::Image image(kWidth, kHeight, 0xFFFFFFFF);
  int drawn = 0;
  {
    CMappedObject record(&view);
    record.SetObject(track, chart);
    for (auto _ : state) {
      track->PrepareView(record, chart, band);
      vd::ui::Surface surface(image);
      vd::ui::Graphics graphics(surface);
      track->Draw(surface, graphics, record, false);
      drawn = record.point_count();
    }
  }
  state.counters["record_points"] = drawn;
  track->Release();
}

void BM_PlainPolyline(benchmark::State& state) {
  COldQuickChart* chart = Chart().chart.get();
  const std::vector<CLatLon> path = Wander(kDrawPoints);
  std::vector<QPoint> pixels;
  for (const CLatLon& p : path) {
    ScreenPoint s;
    chart->LatLonToPixel(p.lat, p.lon, s);
    pixels.emplace_back(s.x, s.y);
  }
  QImage image(kWidth, kHeight, QImage::Format_ARGB32);
  image.fill(Qt::white);
  for (auto _ : state) {
    QPainter painter(&image);
    painter.setPen(QPen(QColor(255, 0, 0), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(pixels.data(), static_cast<int>(pixels.size()));
  }
}

BENCHMARK(BM_TrackPrepareAndDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPolyline)->Unit(benchmark::kMillisecond);

// ---- 2. Recording ----

void BM_RecordFix(benchmark::State& state) {
  const int limit = static_cast<int>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  {
    auto profile = vd::OpenAppProfile();
    profile.SetInt(vd::kSettingsSection, "tk_max", limit);
    profile.SetInt(vd::kSettingsSection, "tk_mode", mode);
  }
  COldQuickChart* chart = Chart().chart.get();
  auto* track = new CObjTrack;  // reads the limits
  track->AddRef();
  // Fixes every 10 s moving 20 m, round and round a circle of about 500 pixels.
  int64_t i = 0;
  const auto next_fix = [&] {
    const double angle = static_cast<double>(i) * 0.002;
    GPS_position_info fix;
    fix.valid = 1;
    const CLatLon at = AtPixel(960 + 480 * std::cos(angle), 540 + 480 * std::sin(angle));
    fix.position = {at.lat, at.lon};
    fix.time = static_cast<int32_t>(1'000'000 + 10 * i);
    fix.speed = 4.0f;
    ++i;
    return fix;
  };
  while (track->points().size() < static_cast<size_t>(limit)) track->RecordFix(next_fix());
  vd::ui::Image image(kWidth, kHeight, 0xFFFFFFFF);
  vd::ui::Surface surface(image);
  const vd::ui::Pen pen{vd::ui::LineStyle::Solid, 2, track->colour};
  surface.SelectPen(pen);
  for (auto _ : state) {
    track->RecordFix(next_fix());
    // The changed part: the leg to the newest point.
    const auto& points = track->points();
    ScreenPoint a, b;
    chart->LatLonToPixel(points[points.size() - 2].position.lat,
                         points[points.size() - 2].position.lon, a);
    chart->LatLonToPixel(points.back().position.lat, points.back().position.lon, b);
    const vd::ui::Point leg[] = {{a.x, a.y}, {b.x, b.y}};
    surface.Polyline(leg);
    benchmark::DoNotOptimize(track->total_distance);
  }
  state.counters["points"] = static_cast<double>(track->points().size());
  track->Release();
}

BENCHMARK(BM_RecordFix)
    ->Args({1000, 1})
    ->Args({4000, 1})
    ->Args({1000, 0})
    ->Args({4000, 0})
    ->Unit(benchmark::kMicrosecond);

void PrintRatios(const vd::bench::TimingReporter& reporter) {
  const auto ratio = [](double a, double b) { return a > 0 && b > 0 ? a / b : 0.0; };
  std::printf("prepare+draw / plain polyline: %.2f (target <= 3)\n",
              ratio(reporter.Time("BM_TrackPrepareAndDraw"), reporter.Time("BM_PlainPolyline")));
  for (const char* mode : {"1", "0"}) {
    const double small = reporter.Time("BM_RecordFix", std::string("1000/") + mode);
    const double large = reporter.Time("BM_RecordFix", std::string("4000/") + mode);
    std::printf("record fix, mode %s, 4000 / 1000 points: %.2f (target <= 1.5)\n", mode,
                ratio(large, small));
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter);
  PrintRatios(reporter);
  return 0;
}
